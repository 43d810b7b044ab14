// The network file writer: one canonical form of the grammar the reader accepts (see
// NetworkFile.cpp), written statement by statement with the FileTools writers.

#include <algorithm>
#include <fstream>
#include <iomanip>
#include <string>
#include <vector>

#include "FileHandler/NetworkFile.h"
#include "FileHandler/ParseTools.h"
#include "FileHandler/SaveRuvo.h"
#include "KQmessage/Check.h"
#include "KQmessage/KQML.h"
#include "NeuralNets/TBasicNetwork.h"
#include "Ruvo/TConditionLayer.h"
#include "Ruvo/TRuvoOutputLayer.h"

namespace ruvo {

namespace {

// Every number the writer formats has this precision: the stream's significant digits for the
// Matrix cells, the decimals of the neuron parameters and weight-list weights.
constexpr int kPrecision = 15;

void WriteLayer(FileTools& tools, std::ostream& out, TBasicNetwork* network, TBasicLayer* layer) {
    tools.WriteNewLine(out);
    tools.WriteIntegerAssign(out, "Layer", layer->layerNum, true);
    tools.WriteAssign(out, "LayerType", layer->GetLayerType(), true);
    tools.WriteIntegerAssign(out, "NumberOfNeurons", layer->numNeurons, true);
    const TActFunction common = layer->GetActFunction();
    if (common != nullptr) {
        tools.OpenBracket(out, true);
        tools.WriteTag(out, "All", false);
        tools.WriteAssign(out, "ActivationFunction", network->registry->GetName(common), false);
        tools.CloseBracket(out, true, true);
    }
    if (strcasecmp(layer->GetLayerType(), "FuzzyCondition") == 0) {
        auto* condition = dynamic_cast<TConditionLayer*>(layer);
        RUVO_CHECK(condition != nullptr);
        WriteInputMFBlock(out, condition);
    } else if (strcasecmp(layer->GetLayerType(), "Defuzzify") == 0) {
        auto* output = dynamic_cast<TRuvoOutputLayer*>(layer);
        RUVO_CHECK(output != nullptr);
        WriteOutputMFBlock(out, output);
    }

    const int n = layer->numNeurons;
    if (n > 0) {
        // A parameter is common when every neuron has neuron 0's value (compared exactly) under
        // the same name.
        TBasicNeuron* first = layer->GetNeuron(0);
        const int k = first->GetNumParameters();
        size_t size = static_cast<size_t>(k);
        for (int i = 1; i < n; ++i) {
            size = std::max(size, static_cast<size_t>(layer->GetNeuron(i)->GetNumParameters()));
        }
        std::vector<double> firstValues(size);
        std::vector<double> values(size);
        first->GetParameters(firstValues.data());
        std::vector<char> isCommon(static_cast<size_t>(k), 1);
        for (int i = 1; i < n && k > 0; ++i) {
            TBasicNeuron* neuron = layer->GetNeuron(i);
            const int count = neuron->GetNumParameters();
            neuron->GetParameters(values.data());
            for (int p = 0; p < k; ++p) {
                const size_t q = static_cast<size_t>(p);
                if (p >= count || values[q] != firstValues[q] ||
                    strcasecmp(neuron->GetParameterName(p), first->GetParameterName(p)) != 0) {
                    isCommon[q] = 0;
                }
            }
        }
        bool allCommon = true;
        for (int p = 0; p < k; ++p) {
            if (isCommon[static_cast<size_t>(p)]) {
                tools.OpenBracket(out, true);
                tools.WriteTag(out, "All", false);
                tools.WriteRealAssign(out, first->GetParameterName(p),
                                      firstValues[static_cast<size_t>(p)], kPrecision, false);
                tools.CloseBracket(out, true, true);
            } else {
                allCommon = false;
            }
        }
        if (common == nullptr || !allCommon) {
            tools.WriteTag(out, "Neurons", true);
            for (int i = 0; i < n; ++i) {
                TBasicNeuron* neuron = layer->GetNeuron(i);
                tools.OpenBracket(out, true);
                tools.WriteIntegerAssign(out, "Neuron", i, false);
                if (common == nullptr) {
                    tools.WriteAssign(out, "ActivationFunction",
                                      network->registry->GetName(neuron->GetActFunction()), false);
                }
                if (!allCommon) {
                    neuron->GetParameters(values.data());
                    for (int p = 0; p < k; ++p) {
                        if (!isCommon[static_cast<size_t>(p)]) {
                            tools.WriteRealAssign(out, neuron->GetParameterName(p),
                                                  values[static_cast<size_t>(p)], kPrecision,
                                                  false);
                        }
                    }
                }
                tools.CloseBracket(out, true, true);
            }
            tools.WriteEndTag(out, "Neurons");
        }
    }
    tools.WriteEndTag(out, "Layer");
}

// The Matrix body: a header comment naming the to-neurons, then one row per from-neuron with a
// cell per to-neuron (the weight, or "-" where there is none) and, when the matrix is freezable,
// its trainability letter: "-" no weight, "T" trainable, "F" frozen.
void WriteMatrixBody(FileTools& tools,
                     std::ostream& out,
                     TBasicConnections* matrix,
                     int numFrom,
                     int numTo,
                     bool prunable) {
    tools.OpenBracket(out, true);
    tools.WriteTag(out, "Matrix", false);
    tools.WriteTag(out, "Weights", false);
    if (prunable) {
        tools.WriteTag(out, "TrainableInfo", false);
    }
    tools.CloseBracket(out, true, true);

    out << "/* To->";
    for (int t = 0; t < numTo; ++t) {
        const int width = t == 0 ? (prunable ? 15 : 13) : (prunable ? 23 : 21);
        out << std::setw(width) << t;
    }
    out << "  From */\n";
    for (int f = 0; f < numFrom; ++f) {
        for (int t = 0; t < numTo; ++t) {
            const bool valid = matrix->IsValid(f, t);
            if (valid) {
                out << std::setw(20) << *matrix->GetWeight(f, t) << ' ';
            } else {
                out << std::setw(20) << "-" << ' ';
            }
            if (prunable) {
                out << (!valid ? "- " : matrix->IsTrainable(f, t) ? "T " : "F ");
            }
        }
        out << " /* " << f << " */\n";
    }
    tools.WriteEndTag(out, "Matrix");
}

void WriteConnections(FileTools& tools, std::ostream& out, TBasicNetwork* network, int f, int t) {
    TBasicConnections* matrix = network->priv_conns_index[t][f];
    const char* type = matrix->GetConnectionsNType();
    tools.WriteNewLine(out);
    tools.WriteTag(out, "ConnectionLayer", true);
    tools.WriteIntegerAssign(out, "LayerFrom", f, true);
    tools.WriteIntegerAssign(out, "LayerTo", t, true);
    tools.WriteAssign(out, "ConnectionType", type, true);
    // Every matrix but the fully connected one can lose and freeze weights.
    const bool prunable = strcasecmp(type, "FullyConnected") != 0;
    tools.OpenBracket(out, true);
    tools.WriteTag(out, "Attributes", false);
    tools.WriteTag(out, prunable ? "Pruneable" : "UnPrunable", false);
    tools.WriteTag(out, prunable ? "Freezable" : "UnFreezable", false);
    tools.CloseBracket(out, true, true);

    TIterateObjCount counter;
    matrix->IterateArcs(counter, FMaskExists);
    const int numFrom = network->layers[f]->numNeurons;
    const int numTo = network->layers[t]->numNeurons;
    // A matrix holding fewer than 35 percent of its possible weights is written as a list.
    if (0.35 * (static_cast<double>(numFrom) * static_cast<double>(numTo)) > counter.count) {
        tools.WriteTag(out, "WeightList", true);
        TIterateObjSaveWeights saver(out, tools, prunable, kPrecision);
        matrix->IterateArcs(saver, FMaskExists);
        tools.WriteEndTag(out, "WeightList");
    } else {
        WriteMatrixBody(tools, out, matrix, numFrom, numTo, prunable);
    }
    tools.WriteEndTag(out, "ConnectionLayer");
}

}  // namespace

void TIterateObjCount::Visit() {
    ++count;
}

TIterateObjSaveWeights::TIterateObjSaveWeights(std::ostream& stream,
                                               FileTools& fileTools,
                                               bool writeTrainable,
                                               int digits)
    : out(&stream), tools(&fileTools), saveTrainable(writeTrainable), precision(digits) {}

void TIterateObjSaveWeights::Visit() {
    tools->OpenBracket(*out, true);
    tools->WriteIntegerAssign(*out, "From", fromNeuron, false);
    tools->WriteIntegerAssign(*out, "To", toNeuron, false);
    tools->WriteRealAssign(*out, "Weight", *weight, precision, false);
    if (saveTrainable) {
        tools->WriteTag(*out, trainable ? "Trainable" : "UnTrainable", false);
    }
    tools->CloseBracket(*out, true, true);
}

void WriteNetwork(FileTools& tools, std::ostream& out, TBasicNetwork* network) {
    RUVO_CHECK(network != nullptr);
    const int n = network->numLayers;
    out.precision(kPrecision);
    out.unsetf(std::ios::floatfield);  // general notation for the Matrix cells
    tools.WriteFormatVersion(out);
    tools.WriteTag(out, "NeuralNetwork", true);
    tools.WriteAssign(out, "NetworkType", network->GetNetworkType(), true);
    tools.WriteNewLine(out);

    tools.WriteTag(out, "NetworkInformation", true);
    tools.WriteIntegerAssign(out, "NumberOfLayers", n, true);
    tools.WriteIntegerAssign(out, "InputLayer", network->inLayer, true);
    tools.WriteIntegerAssign(out, "OutputLayer", network->outLayer, true);
    tools.WriteIntegerAssign(out, "NumberOfInputs", network->layers[network->inLayer]->numNeurons,
                             true);
    tools.WriteIntegerAssign(out, "NumberOfOutputs", network->layers[network->outLayer]->numNeurons,
                             true);
    const TActFunction bias = network->registry->Find("bias");
    for (int i = 0; i < n; ++i) {
        TBasicLayer* layer = network->layers[i];
        if (layer->numNeurons >= 1 && layer->GetActFunction() == bias) {
            if (layer->numNeurons > 1) {
                tools.Fail(out, "Illegal number of bias nodes");
            }
            tools.WriteIntegerAssign(out, "BiasLayer", i, true);
        }
    }
    tools.WriteEndTag(out, "NetworkInformation");

    for (int i = 0; i < n; ++i) {
        WriteLayer(tools, out, network, network->layers[i]);
    }
    // From-layer in the outer loop, to-layer in the inner one.
    for (int f = 0; f < n; ++f) {
        for (int t = 0; t < n; ++t) {
            if (network->priv_conns_index[t][f]->IsConnected()) {
                WriteConnections(tools, out, network, f, t);
            }
        }
    }
    tools.WriteNewLine(out);
    tools.WriteEndTag(out, "NeuralNetwork");
}

void SaveNetwork(FileTools& tools, const char* fileName, TBasicNetwork* network) {
    RUVO_CHECK(fileName != nullptr);
    std::ofstream out(fileName, std::ios::out | std::ios::trunc);
    if (!out.is_open()) {
        throw FileTools::Error("Error on File Open", &out, 0);
    }
    WriteNetwork(tools, out, network);
    out.close();
    if (out.fail()) {
        throw FileTools::Error("Error on File Write", &out, 0);
    }
}

}  // namespace ruvo
