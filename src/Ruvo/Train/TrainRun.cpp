#include <cstdio>
#include <memory>
#include <new>
#include <sstream>
#include <string>

#include "DataObject/Data.h"
#include "FileHandler/Filer.h"
#include "FileHandler/NetworkFile.h"
#include "FileHandler/ParseTools.h"
#include "KQmessage/KQML.h"
#include "Ruvo/TRuvo.h"
#include "Ruvo/TRuvoBP.h"
#include "Ruvo/Train/AtomicFile.h"
#include "Ruvo/Train/TrainSettings.h"

namespace ruvo {

namespace {

// A problem the run finds in the user's files before training starts; reported on standard
// error with exit status 1.
struct RunError {
    std::string message;
};

// Checks that the data set fits the network: the delivered input columns (after the feature
// selection) and the output columns must match the network's inputs and outputs.
void CheckDataFitsNetwork(const TrainSettings& settings, const Data& data, const TRuvo& network) {
    const std::string file = "Training file " + settings.trainingFile;
    const int networkInputs = network.layers[network.inLayer]->numNeurons;
    const int networkOutputs = network.layers[network.outLayer]->numNeurons;
    if (data.MbrNdxRows <= 0) {
        throw RunError{file + " holds no rows"};
    }
    if (settings.numFeatures > 0) {
        if (settings.numFeatures != networkInputs) {
            throw RunError{"#Features is " + std::to_string(settings.numFeatures) +
                           " but the network has " + std::to_string(networkInputs) + " inputs"};
        }
        for (std::int32_t column : settings.features) {
            if (column < 0 || column >= data.MbrNdxInputs) {
                throw RunError{"Feature column " + std::to_string(column) + " is outside the " +
                               std::to_string(data.MbrNdxInputs) + " input columns of " +
                               settings.trainingFile};
            }
        }
    } else if (data.MbrNdxInputs != networkInputs) {
        throw RunError{file + " has " + std::to_string(data.MbrNdxInputs) +
                       " input columns but the network has " + std::to_string(networkInputs) +
                       " inputs"};
    }
    if (data.MbrNdxOutputs != networkOutputs) {
        throw RunError{file + " has " + std::to_string(data.MbrNdxOutputs) +
                       " output columns but the network has " + std::to_string(networkOutputs) +
                       " outputs"};
    }
}

// The run itself; every failure leaves through an exception that RunTraining reports.
void Train(const TrainSettings& settings, const char** currentFile) {
    FileTools networkTools;
    FileTools dataTools;

    *currentFile = settings.weightFile.c_str();
    std::unique_ptr<TBasicNetwork> loaded(LoadNetwork(networkTools, settings.weightFile.c_str()));
    TRuvo* network = dynamic_cast<TRuvo*>(loaded.get());
    if (network == nullptr || network->numLayers != 6) {
        throw RunError{"The network in " + settings.weightFile +
                       " is not a six-layer fuzzy (RUVO) network"};
    }

    *currentFile = settings.trainingFile.c_str();
    Data* rawData = nullptr;
    const int code = ReadTrainingData(dataTools, settings.trainingFile.c_str(), &rawData);
    std::unique_ptr<Data> data(rawData);
    if (code == kFilerCannotOpen) {
        throw RunError{"Cannot open training file " + settings.trainingFile};
    }
    if (!data) {
        throw RunError{"Training file " + settings.trainingFile + " holds no training data set"};
    }
    *currentFile = nullptr;

    CheckDataFitsNetwork(settings, *data, *network);
    if (settings.numFeatures > 0) {
        data->SelectInputs(settings.numFeatures, settings.features.data());
    }

    TRuvoBP trainer(network);
    TKQstructure params("Params");
    params.SetReal("LearningRate", settings.learningRate);
    params.SetReal("Momentum", settings.momentum);
    if (settings.batch) {
        params.SetString("batch", "true");
    }

    for (std::int32_t epoch = 1; epoch <= settings.epochs; ++epoch) {
        const float error = static_cast<float>(trainer.TrainEpoch(data.get(), &params));
        std::printf("%d %g\n", epoch, static_cast<double>(error));
        std::fflush(stdout);
    }

    std::ostringstream text;
    WriteNetwork(networkTools, text, network);
    std::string writeError;
    if (!WriteFileAtomically(settings.destinationFile, text.str(), &writeError)) {
        throw RunError{writeError};
    }
}

}  // namespace

int RunTraining(const TrainSettings& settings) {
    const char* currentFile = nullptr;
    try {
        Train(settings, &currentFile);
        return 0;
    } catch (const FileTools::Error& e) {
        std::fflush(stdout);
        std::printf("%s\n", e.message.c_str());
        std::fflush(stdout);
        if (currentFile != nullptr && e.line > 0) {
            std::fprintf(stderr, "TrainRuvo: %s, line %ld: %s\n", currentFile,
                         static_cast<long>(e.line), e.message.c_str());
        } else if (currentFile != nullptr) {
            std::fprintf(stderr, "TrainRuvo: %s: %s\n", currentFile, e.message.c_str());
        }
    } catch (const TException& e) {
        std::fprintf(stderr, "%s\n%s\n%s\n", e.message ? e.message : "", e.kind ? e.kind : "",
                     e.location ? e.location : "");
    } catch (const RunError& e) {
        std::fprintf(stderr, "TrainRuvo: %s\n", e.message.c_str());
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "TrainRuvo: out of memory\n");
    }
    return 1;
}

}  // namespace ruvo
