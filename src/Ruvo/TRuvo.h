#ifndef RUVO_RUVO_TRUVO_H
#define RUVO_RUVO_TRUVO_H

// The fuzzy neural network: six layers whose forward pass fuzzifies each input with triangular
// membership functions, combines the membership degrees through two sigmoid layers (rules and
// actions) and defuzzifies each output as the centre of gravity of its output membership
// functions.
//
//   layer 0  TSimpleLayer       no neurons (the bias position, empty)
//   layer 1  TSimpleInputLayer  one neuron per input, "linear"
//   layer 2  TConditionLayer    one neuron per input membership function, "Ruvo-condition"
//   layer 3  TSimpleLayer       one neuron per rule, "sigmoid"
//   layer 4  TSimpleLayer       one neuron per output membership function, "sigmoid"
//   layer 5  TRuvoOutputLayer   one neuron per output, "cog"
//
// Weight layer k (1 to 4) is the matrix from layer k to layer k + 1. The membership-function
// centres are the weights of weight layers 1 (TToConditionConnections) and 4
// (TToOutputConnections); weight layers 2 and 3 are TPrunedConnections.
//
// Errors of the public operations are TException objects of kind "Bad Parameter" (or "Null
// Pointer Parameter" for a null data set) located at "TRuvo::<operation>". Each single-weight
// operation checks before it changes anything.

#include "NeuralNets/TBasicNetwork.h"

namespace ruvo {

class Data;
class TConditionLayer;
class TRuvoOutputLayer;

class TRuvo : public TConnectedNetwork {
public:
    // Initialises nothing: the network file reader calls Init(6) and installs the layers and
    // matrices itself.
    TRuvo();
    // Builds the six layers and the four matrices for numInputs inputs with mfPerInput[i]
    // membership functions each, numRules rules, and numOutputs outputs with mfPerOutput[o]
    // functions each. Input and output centres start evenly spaced on [0, 1]; the inner weights
    // are 0.0 and trainable. Raises "Must be >= 2 MF per input" or "Must be >= 2 MF per output"
    // (at "TRuvo::TRuvo") for a count below 2.
    TRuvo(
        int numInputs, const int* mfPerInput, int numRules, const int* mfPerOutput, int numOutputs);
    TRuvo(const TRuvo&) = delete;
    TRuvo& operator=(const TRuvo&) = delete;

    ~TRuvo() override;
    // Replaces an unconnected cell by TToConditionConnections for (1, 2), TToOutputConnections
    // for (4, 5) and TPrunedConnections for any other pair; a connected cell is left as it is.
    void CreateConnections(int fromLayer, int toLayer) override;
    const char* GetNetworkType() const override;  // "Ruvo"
    using TConnectedNetwork::Recall;

    // Weight (from, to) of weight layer weightLayer; from and to are neuron indices of layers k
    // and k + 1. Weight layers 1 and 4: the centre of an existing arc. Weight layers 2 and 3: the
    // stored weight, pruned or not. Raises "Invalid weight layer" outside 1 ... 4 and "Invalid
    // weight number" for an arc that does not exist (weight layers 1 and 4) or indices outside
    // the layer sizes (weight layers 2 and 3).
    void GetWeightValue(int weightLayer, int from, int to, double* value);
    // Sets the weight GetWeightValue reads, with the same checks. A pruned weight of weight layer
    // 2 or 3 takes the value but stays pruned.
    void SetWeightValue(int weightLayer, int from, int to, double value);
    // *count and a new array (the caller releases it with delete[]) of every weight of the layer:
    // weight layer 1 in condition-neuron order, weight layer 4 in action-neuron order, weight
    // layers 2 and 3 ordered by from-neuron, then to-neuron (element f * n_to + t), pruned weights
    // included. Raises "Invalid weight layer" outside 1 ... 4 before anything is allocated.
    void GetWeightLayer(int weightLayer, int* count, double** values);
    // Sets every weight of the layer from values, in GetWeightLayer's order, element by element.
    void SetWeightLayer(int weightLayer, const double* values);
    // Note the order: to-neuron first. Weight layer 1: the centre of condition neuron `to`
    // becomes untrainable, in the neuron and in the input-to-condition matrix (from is not used;
    // "Invalid weight number" unless `to` is a condition neuron). Weight layers 2 to 4: the
    // matrix's FreezeWeight(from, to), "Invalid weight number" unless the arc exists.
    void FreezeWeight(int weightLayer, int to, int from);
    // The same, making the weight trainable.
    void UnfreezeWeight(int weightLayer, int to, int from);
    // *exists = whether arc (from, to) of the weight layer exists. Raises "Invalid weight layer"
    // outside 1 ... 4 and "Invalid node number" unless from is a neuron of layer k and to one of
    // layer k + 1.
    void WeightExists(int weightLayer, int from, int to, bool* exists);

    // *value = the activation of neuron node of layer `layer` as left by the last recall. Raises
    // "Invalid node layer" outside 0 ... 5 and "Invalid node number" outside the layer's neurons.
    void GetActivationValue(int layer, int node, double* value);
    // The sizes of layers 1 to 5 and new copies (the caller releases them with delete[]) of the
    // membership-function counts per input and per output.
    void GetStructure(int* numInputs,
                      int* numConditions,
                      int** mfPerInput,
                      int* numRules,
                      int* numActions,
                      int** mfPerOutput,
                      int* numOutputs);
    // Spaces the input centres evenly, randomises the trainable weights of weight layers 2 and 3
    // in [min, max) (min == max sets them to min), and spaces the output centres evenly.
    // REQUIRES: min <= max ("Minimum <= Maximum").
    void InitWeights(double min, double max);

    // Recalls the network on every row slot of data, oldest row first, and sets *result to a new
    // data set (owned by the caller) of as many slots holding each row's input vector and output
    // vector. Raises "Null data pointer" ("Null Pointer Parameter") for a null data set and
    // "Invalid Input Data Column" when data delivers fewer inputs than the network has.
    void Recall(Data* data, Data** result);
    // As Recall, but the result holds the output vectors only.
    void RecallOutputOnly(Data* data, Data** result);
    // Recalls every row slot of data and sets *error to the root-mean-square error of the outputs
    // against the data's targets. Raises as Recall, and "Invalid Output Data Column" when data
    // delivers fewer targets than the network has outputs.
    void RecallOutputOnly(Data* data, double* error);

private:
    // The matrix of weight layer k: from layer k to layer k + 1.
    TBasicConnections* WeightMatrix(int weightLayer) const;
    // Shared checks of GetWeightValue and SetWeightValue: the stored weight (from, to) of the
    // weight layer, or their exception at location.
    double* CheckedWeight(int weightLayer, int from, int to, const char* location) const;
    // Layers 2 and 5 as their fuzzy classes; raise "Invalid weight layer" at location when the
    // network (as read from a file) holds another class there.
    TConditionLayer* ConditionLayer(const char* location) const;
    TRuvoOutputLayer* OutputLayer(const char* location) const;
    // Shared body of FreezeWeight and UnfreezeWeight.
    void SetTrainable(int weightLayer, int to, int from, bool trainable, const char* location);
    // Shared body of the recalls on data sets: recalls every row slot; each row's input and output
    // vectors go to result (when given, with or without the inputs) and each row's targets and
    // outputs to the RMS measure (when error is given).
    void RecallData(
        Data* data, Data** result, bool withInputs, double* error, const char* location);
};

}  // namespace ruvo

#endif
