#include "Ruvo/TRuvo.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "DataObject/Data.h"
#include "KQmessage/Check.h"
#include "KQmessage/KQML.h"
#include "NeuralNets/TErrorObj.h"
#include "NeuralNets/TPrunedConnections.h"
#include "Ruvo/TConditionLayer.h"
#include "Ruvo/TRuvoOutputLayer.h"
#include "Ruvo/TToConditionConnections.h"
#include "Ruvo/TToOutputConnections.h"

namespace ruvo {

namespace {

constexpr int kNumLayers = 6;

const char kBadParameter[] = "Bad Parameter";
const char kInvalidWeightLayer[] = "Invalid weight layer";
const char kInvalidWeightNumber[] = "Invalid weight number";
const char kInvalidNodeNumber[] = "Invalid node number";

struct DestroyDeleter {
    template <class T>
    void operator()(T* p) const {
        p->Destroy();
    }
};

[[noreturn]] void Raise(const char* message, const char* location) {
    throw TException(message, kBadParameter, location, nullptr);
}

void CheckWeightLayer(int weightLayer, const char* location) {
    if (weightLayer < 1 || weightLayer > 4) {
        Raise(kInvalidWeightLayer, location);
    }
}

}  // namespace

TRuvo::TRuvo() : TConnectedNetwork() {}

TRuvo::TRuvo(
    int numInputs, const int* mfPerInput, int numRules, const int* mfPerOutput, int numOutputs)
    : TConnectedNetwork() {
    RUVO_CHECK(numInputs >= 0 && numRules >= 0 && numOutputs >= 0);
    RUVO_CHECK(numInputs == 0 || mfPerInput != nullptr);
    RUVO_CHECK(numOutputs == 0 || mfPerOutput != nullptr);
    Init(kNumLayers);
    // Placeholders first, so that a failed check below leaves a complete network, which the base
    // destructor releases.
    for (int i = 0; i < kNumLayers; ++i) {
        layers[i] = new TSimpleLayer(this, i, 0);
    }
    int totalInputMFs = 0;
    for (int i = 0; i < numInputs; ++i) {
        if (mfPerInput[i] < 2) {
            Raise("Must be >= 2 MF per input", "TRuvo::TRuvo");
        }
        totalInputMFs += mfPerInput[i];
    }
    int totalOutputMFs = 0;
    for (int o = 0; o < numOutputs; ++o) {
        if (mfPerOutput[o] < 2) {
            Raise("Must be >= 2 MF per output", "TRuvo::TRuvo");
        }
        totalOutputMFs += mfPerOutput[o];
    }

    // The fuzzy layers replace the placeholders in layer order; each is held by a unique_ptr
    // until its slot takes it, so nothing leaks if an allocation fails.
    using LayerPtr = std::unique_ptr<TBasicLayer, DestroyDeleter>;
    const auto install = [this](int index, LayerPtr layer) {
        layers[index]->Destroy();
        layers[index] = layer.release();
    };
    install(0, LayerPtr(new TSimpleLayer(this, 0, 0)));
    install(1, LayerPtr(new TSimpleInputLayer(this, 1, numInputs)));
    std::unique_ptr<TConditionLayer, DestroyDeleter> conditions(
        new TConditionLayer(this, 2, totalInputMFs));
    conditions->SetInputMFs(numInputs, mfPerInput);
    install(2, LayerPtr(conditions.release()));
    install(3, LayerPtr(new TSimpleLayer(this, 3, numRules)));
    install(4, LayerPtr(new TSimpleLayer(this, 4, totalOutputMFs)));
    std::unique_ptr<TRuvoOutputLayer, DestroyDeleter> outputs(
        new TRuvoOutputLayer(this, 5, numOutputs));
    outputs->SetOutputMFs(totalOutputMFs, mfPerOutput);
    install(5, LayerPtr(outputs.release()));

    layers[1]->SetActFunction(ActLinear);
    layers[2]->SetActFunction(ActRuvoCondition);
    layers[3]->SetActFunction(ActSigmoid);
    layers[4]->SetActFunction(ActSigmoid);
    layers[5]->SetActFunction(ActCog);

    // The output matrix starts with evenly spaced centres (its layout is set above).
    CreateConnections(1, 2);
    CreateConnections(2, 3);
    CreateConnections(3, 4);
    CreateConnections(4, 5);
}

TRuvo::~TRuvo() {}

void TRuvo::CreateConnections(int fromLayer, int toLayer) {
    RUVO_CHECK(fromLayer >= 0 && fromLayer < numLayers && toLayer >= 0 && toLayer < numLayers);
    TBasicConnections*& cell = priv_conns_index[toLayer][fromLayer];
    if (cell->IsConnected()) {
        return;
    }
    // The new matrix is made before the placeholder goes, so a matrix that cannot be made (a
    // network file naming wrong layers) leaves the table whole.
    std::unique_ptr<TBasicConnections, DestroyDeleter> made;
    if (fromLayer == 1 && toLayer == 2) {
        made.reset(new TToConditionConnections(this, fromLayer, toLayer));
    } else if (fromLayer == 4 && toLayer == 5) {
        made.reset(new TToOutputConnections(this, fromLayer, toLayer));
    } else {
        made.reset(new TPrunedConnections(this, fromLayer, toLayer));
    }
    cell->Destroy();
    cell = made.release();
}

const char* TRuvo::GetNetworkType() const {
    return "Ruvo";
}

// --------------------------------------------------------------------------------------------
// Weights by weight layer

TBasicConnections* TRuvo::WeightMatrix(int weightLayer) const {
    return priv_conns_index[weightLayer + 1][weightLayer];
}

TConditionLayer* TRuvo::ConditionLayer(const char* location) const {
    TConditionLayer* layer = dynamic_cast<TConditionLayer*>(layers[2]);
    if (layer == nullptr) {
        Raise(kInvalidWeightLayer, location);
    }
    return layer;
}

TRuvoOutputLayer* TRuvo::OutputLayer(const char* location) const {
    TRuvoOutputLayer* layer = dynamic_cast<TRuvoOutputLayer*>(layers[5]);
    if (layer == nullptr) {
        Raise(kInvalidWeightLayer, location);
    }
    return layer;
}

namespace {

// True when from is a neuron of layer k and to one of layer k + 1.
bool InLayers(const TBasicNetwork& network, int weightLayer, int from, int to) {
    return from >= 0 && from < network.layers[weightLayer]->numNeurons && to >= 0 &&
           to < network.layers[weightLayer + 1]->numNeurons;
}

}  // namespace

// Weight layers 1 and 4 hold only the arcs of the membership layout, so a missing arc is an
// invalid weight number. Weight layers 2 and 3 read any stored weight, pruned or not; indices
// outside the layer sizes (and a layer pair without a matrix, possible in a network file) are an
// invalid weight number too, instead of a read outside the storage.
double* TRuvo::CheckedWeight(int weightLayer, int from, int to, const char* location) const {
    CheckWeightLayer(weightLayer, location);
    TBasicConnections* matrix = WeightMatrix(weightLayer);
    if (!InLayers(*this, weightLayer, from, to) || !matrix->IsConnected()) {
        Raise(kInvalidWeightNumber, location);
    }
    if ((weightLayer == 1 || weightLayer == 4) && !matrix->IsValid(from, to)) {
        Raise(kInvalidWeightNumber, location);
    }
    return matrix->GetWeight(from, to);
}

void TRuvo::GetWeightValue(int weightLayer, int from, int to, double* value) {
    *value = *CheckedWeight(weightLayer, from, to, "TRuvo::GetWeightValue");
}

void TRuvo::SetWeightValue(int weightLayer, int from, int to, double value) {
    *CheckedWeight(weightLayer, from, to, "TRuvo::SetWeightValue") = value;
}

// The element orders of the weight layers: weight layer 1 by condition neuron (input by input),
// weight layer 4 by action neuron (output by output), weight layers 2 and 3 by from-neuron, then
// to-neuron. The array is built completely before it is handed over, so a failure part-way
// leaves nothing allocated.
void TRuvo::GetWeightLayer(int weightLayer, int* count, double** values) {
    const char* const location = "TRuvo::GetWeightLayer";
    CheckWeightLayer(weightLayer, location);
    const int fromCount = layers[weightLayer]->numNeurons;
    const int toCount = layers[weightLayer + 1]->numNeurons;
    int n = 0;
    std::unique_ptr<double[]> buffer;
    if (weightLayer == 1) {
        const TConditionLayer* conditions = ConditionLayer(location);
        n = toCount;
        buffer.reset(new double[n]());
        int j = 0;
        for (int i = 0; i < conditions->numInputs; ++i) {
            for (int s = 0; s < conditions->mfPerInput[i] && j < n; ++s, ++j) {
                GetWeightValue(1, i, j, &buffer[j]);
            }
        }
    } else if (weightLayer == 4) {
        const TRuvoOutputLayer* outputs = OutputLayer(location);
        n = fromCount;
        buffer.reset(new double[n]());
        int a = 0;
        for (int o = 0; o < outputs->numNeurons; ++o) {
            for (int s = 0; s < outputs->mfPerOutput[o] && a < n; ++s, ++a) {
                GetWeightValue(4, a, o, &buffer[a]);
            }
        }
    } else {
        n = fromCount * toCount;
        buffer.reset(new double[n]());
        for (int f = 0; f < fromCount; ++f) {
            for (int t = 0; t < toCount; ++t) {
                GetWeightValue(weightLayer, f, t, &buffer[f * toCount + t]);
            }
        }
    }
    *count = n;
    *values = buffer.release();
}

void TRuvo::SetWeightLayer(int weightLayer, const double* values) {
    const char* const location = "TRuvo::SetWeightLayer";
    CheckWeightLayer(weightLayer, location);
    const int fromCount = layers[weightLayer]->numNeurons;
    const int toCount = layers[weightLayer + 1]->numNeurons;
    if (weightLayer == 1) {
        const TConditionLayer* conditions = ConditionLayer(location);
        int j = 0;
        for (int i = 0; i < conditions->numInputs; ++i) {
            for (int s = 0; s < conditions->mfPerInput[i] && j < toCount; ++s, ++j) {
                SetWeightValue(1, i, j, values[j]);
            }
        }
    } else if (weightLayer == 4) {
        const TRuvoOutputLayer* outputs = OutputLayer(location);
        int a = 0;
        for (int o = 0; o < outputs->numNeurons; ++o) {
            for (int s = 0; s < outputs->mfPerOutput[o] && a < fromCount; ++s, ++a) {
                SetWeightValue(4, a, o, values[a]);
            }
        }
    } else {
        for (int f = 0; f < fromCount; ++f) {
            for (int t = 0; t < toCount; ++t) {
                SetWeightValue(weightLayer, f, t, values[f * toCount + t]);
            }
        }
    }
}

// Weight layer 1: the centre's trainable flag lives both in the condition neuron and in the flags
// of the input-to-condition matrix, which training and saving read; both are changed.
void TRuvo::SetTrainable(int weightLayer, int to, int from, bool trainable, const char* location) {
    CheckWeightLayer(weightLayer, location);
    TBasicConnections* matrix = WeightMatrix(weightLayer);
    if (weightLayer == 1) {
        TConditionLayer* conditions = ConditionLayer(location);
        if (to < 0 || to >= conditions->numNeurons || conditions->inputOf == nullptr) {
            Raise(kInvalidWeightNumber, location);
        }
        conditions->nodes[to].trainable = trainable;
        const int input = conditions->inputOf[to];
        if (InLayers(*this, 1, input, to) && matrix->IsValid(input, to)) {
            if (trainable) {
                matrix->UnfreezeWeight(input, to);
            } else {
                matrix->FreezeWeight(input, to);
            }
        }
        return;
    }
    if (!InLayers(*this, weightLayer, from, to) || !matrix->IsValid(from, to)) {
        Raise(kInvalidWeightNumber, location);
    }
    if (trainable) {
        matrix->UnfreezeWeight(from, to);
    } else {
        matrix->FreezeWeight(from, to);
    }
}

void TRuvo::FreezeWeight(int weightLayer, int to, int from) {
    SetTrainable(weightLayer, to, from, false, "TRuvo::FreezeWeight");
}

void TRuvo::UnfreezeWeight(int weightLayer, int to, int from) {
    SetTrainable(weightLayer, to, from, true, "TRuvo::UnfreezeWeight");
}

void TRuvo::WeightExists(int weightLayer, int from, int to, bool* exists) {
    const char* const location = "TRuvo::WeightExists";
    CheckWeightLayer(weightLayer, location);
    if (!InLayers(*this, weightLayer, from, to)) {
        Raise(kInvalidNodeNumber, location);
    }
    if (weightLayer == 1) {
        const TConditionLayer* conditions = ConditionLayer(location);
        *exists = conditions->inputOf != nullptr && conditions->inputOf[to] == from;
    } else if (weightLayer == 4) {
        const TRuvoOutputLayer* outputs = OutputLayer(location);
        *exists = outputs->outputOf != nullptr && from < outputs->totalMFs &&
                  outputs->outputOf[from] == to;
    } else {
        *exists = WeightMatrix(weightLayer)->IsValid(from, to);
    }
}

// --------------------------------------------------------------------------------------------
// Activations, structure, initialisation

void TRuvo::GetActivationValue(int layer, int node, double* value) {
    const char* const location = "TRuvo::GetActivationValue";
    if (layer < 0 || layer >= numLayers) {
        Raise("Invalid node layer", location);
    }
    if (node < 0 || node >= layers[layer]->numNeurons) {
        Raise(kInvalidNodeNumber, location);
    }
    *value = layers[layer]->activations[node];
}

void TRuvo::GetStructure(int* numInputs,
                         int* numConditions,
                         int** mfPerInput,
                         int* numRules,
                         int* numActions,
                         int** mfPerOutput,
                         int* numOutputs) {
    const int inputs = layers[1]->numNeurons;
    const int outputs = layers[5]->numNeurons;
    // The copies have one count per input and per output; counts a layer does not hold read 0.
    std::unique_ptr<int[]> inputCounts(new int[inputs]());
    std::unique_ptr<int[]> outputCounts(new int[outputs]());
    if (const TConditionLayer* conditions = dynamic_cast<const TConditionLayer*>(layers[2])) {
        std::copy(conditions->mfPerInput,
                  conditions->mfPerInput + std::min(inputs, conditions->numInputs),
                  inputCounts.get());
    }
    if (const TRuvoOutputLayer* defuzzify = dynamic_cast<const TRuvoOutputLayer*>(layers[5])) {
        if (defuzzify->mfPerOutput != nullptr) {
            std::copy(defuzzify->mfPerOutput, defuzzify->mfPerOutput + outputs, outputCounts.get());
        }
    }
    *numInputs = inputs;
    *numConditions = layers[2]->numNeurons;
    *numRules = layers[3]->numNeurons;
    *numActions = layers[4]->numNeurons;
    *numOutputs = outputs;
    *mfPerInput = inputCounts.release();
    *mfPerOutput = outputCounts.release();
}

void TRuvo::InitWeights(double min, double max) {
    RUVO_CHECK_TEXT(min <= max, "Minimum <= Maximum");
    if (TConditionLayer* conditions = dynamic_cast<TConditionLayer*>(layers[2])) {
        conditions->ResetCentres(conditions->numInputs);
    }
    WeightMatrix(2)->RandomizeWeights(min, max);
    WeightMatrix(3)->RandomizeWeights(min, max);
    if (TToOutputConnections* centres = dynamic_cast<TToOutputConnections*>(WeightMatrix(4))) {
        centres->ResetCentres();
    }
}

// --------------------------------------------------------------------------------------------
// Recall of data sets

void TRuvo::RecallData(
    Data* data, Data** result, bool withInputs, double* error, const char* location) {
    if (data == nullptr) {
        throw TException("Null data pointer", "Null Pointer Parameter", location, nullptr);
    }
    const int numInputs = layers[inLayer]->numNeurons;
    const int numOutputs = layers[outLayer]->numNeurons;
    const int rows = data->MbrNdxRows;
    // What one GetNext delivers: the selected columns, or all of them.
    const int dataInputs = std::max(data->MbrNdxInputs, 0);
    const int dataOutputs = std::max(data->MbrNdxOutputs, 0);
    const int deliveredInputs = std::max(data->DeliveredInputs(), 0);
    const int deliveredOutputs = std::max(data->DeliveredOutputs(), 0);
    if (rows > 0 && deliveredInputs < numInputs) {
        Raise("Invalid Input Data Column", location);
    }
    if (rows > 0 && error != nullptr && deliveredOutputs < numOutputs) {
        Raise("Invalid Output Data Column", location);
    }

    // Buffers large enough for everything GetNext may write and everything the network reads.
    std::vector<double> inputs(std::max({numInputs, dataInputs, deliveredInputs, 1}), 0.0);
    std::vector<double> targets(std::max({numOutputs, dataOutputs, deliveredOutputs, 1}), 0.0);
    std::vector<double> outputs(std::max(numOutputs, 1), 0.0);

    data->Rewind();
    std::unique_ptr<Data> recalled;
    if (result != nullptr) {
        recalled.reset(new Data(rows, withInputs ? numInputs : 0, numOutputs, false));
    }
    TErrorRMSObj measure(numOutputs);
    for (int r = 0; r < rows; ++r) {
        data->GetNext(inputs.data(), targets.data(), nullptr);
        Recall(inputs.data(), outputs.data());
        if (recalled) {
            recalled->AppendRow(withInputs ? inputs.data() : nullptr, outputs.data(), nullptr);
        }
        if (error != nullptr) {
            measure.Accumulate(targets.data(), outputs.data());
        }
    }
    if (result != nullptr) {
        *result = recalled.release();
    }
    if (error != nullptr) {
        *error = measure.GetError();
    }
}

void TRuvo::Recall(Data* data, Data** result) {
    RecallData(data, result, true, nullptr, "TRuvo::Recall");
}

void TRuvo::RecallOutputOnly(Data* data, Data** result) {
    RecallData(data, result, false, nullptr, "TRuvo::RecallOutputOnly");
}

void TRuvo::RecallOutputOnly(Data* data, double* error) {
    RecallData(data, nullptr, false, error, "TRuvo::RecallOutputOnly");
}

}  // namespace ruvo
