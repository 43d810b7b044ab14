#ifndef RUVO_RUVO_TCONDITIONLAYER_H
#define RUVO_RUVO_TCONDITIONLAYER_H

// The condition layer of the fuzzy network fuzzifies the network's inputs: one neuron per input
// membership function, the functions of one input on consecutive neurons, each neuron's
// activation the degree to which its input's value belongs to its triangular function. The
// centres live in the neurons; the input-to-condition matrix (TToConditionConnections) exposes
// them as weights.

#include "NeuralNets/TBasicLayer.h"

namespace ruvo {

// One triangular membership function: 1 at its centre, falling linearly to 0 at the centres of
// its neighbours in the same input; the first function of an input stays 1 below its centre and
// the last stays 1 above its centre.
class TConditionNeuron : public TBasicNeuron {
public:
    // Centre 0.0, no neighbours, trainable.
    TConditionNeuron();

    double centre;
    TConditionNeuron* prevMF;  // previous function of the same input, or null for the first
    TConditionNeuron* nextMF;  // next function of the same input, or null for the last
    bool trainable;            // the centre's trainable flag, kept by TRuvo's Freeze/Unfreeze
};

// The membership degree of a neuron with centre m, neighbour centres p (prevMF) and q (nextMF) at
// input value x; the first rule that applies gives it:
//   1. no prevMF and x <= m: 1        2. no nextMF and x >= m: 1
//   3. x >= m and x < q: 1 - (x - m) / (q - m)
//   4. x > m: 0                        5. x > p: 1 - (m - x) / (m - p)
//   6. otherwise: 0
// For ordered values rule 3 is reached with x >= m only when nextMF exists and rule 5 only when
// prevMF exists; a value or centre that is not a number fails every comparison, so rules 3 and 5
// test the neighbour's presence too and such a neuron ends at rule 6.
inline double MembershipDegree(const TConditionNeuron& neuron, double x) {
    const double m = neuron.centre;
    if (neuron.prevMF == nullptr && x <= m) {
        return 1.0;
    }
    if (neuron.nextMF == nullptr && x >= m) {
        return 1.0;
    }
    if (neuron.nextMF != nullptr && x >= m && x < neuron.nextMF->centre) {
        return 1.0 - (x - m) / (neuron.nextMF->centre - m);
    }
    if (x > m) {
        return 0.0;
    }
    if (neuron.prevMF != nullptr && x > neuron.prevMF->centre) {
        return 1.0 - (m - x) / (m - neuron.prevMF->centre);
    }
    return 0.0;
}

// Layer type "FuzzyCondition". The layer's source is the layer numbered layerNum - 1 (the input
// layer of the fuzzy network): neuron j fuzzifies that layer's activation inputOf[j].
class TConditionLayer : public TBasicLayer {
public:
    // A layer of n condition neurons, each with the "Ruvo-condition" function. SetInputMFs must
    // follow before the layer is recalled.
    TConditionLayer(TBasicNetwork* network, int index, int n);

    TBasicNeuron* GetNeuron(int i) override;
    // Fuzzification: net input j = source activation inputOf[j], then each neuron's function
    // (the common one when set). The argument is not used. Raises TException when the source
    // layer has fewer neurons than this layer has inputs (a network file can build such a net).
    void Recall(const double* input) override;
    const char* GetLayerType() const override;  // "FuzzyCondition"
    void Destroy() override;
    // Same index and size on network, the same layout, the neurons' functions, and the source's
    // centres and trainable flags (not the even spacing).
    TBasicLayer* Clone(TBasicNetwork* network) const override;
    // Does nothing: the neurons are fixed by the membership functions.
    void RemoveNeuron(int i) override;
    ~TConditionLayer() override;
    virtual int GetLayerCode() const;  // 4

    // Sets the layout: numInputs inputs, mfPerInput[i] consecutive neurons for input i. Links the
    // neighbours, gives every neuron the "Ruvo-condition" function (the layer's common function
    // is left as it is) and spaces the centres evenly (ResetCentres).
    // REQUIRES: every count >= 2 ("NdxMF >= 2"); the counts add up to numNeurons.
    void SetInputMFs(int numInputs, const int* mfPerInput);
    // Spaces the centres of inputs 0 ... numInputs - 1 evenly on [0, 1]: for k functions the s-th
    // (s = 0 ... k - 1) gets s / (k - 1), the first exactly 0.0 and the last exactly 1.0.
    // REQUIRES: numInputs <= this->numInputs; every count >= 2 ("NdxMF >= 2").
    void ResetCentres(int numInputs);
    // Returns mfPerInput[input] and sets *indices to a new array (the caller releases it with
    // delete[]) of the neurons of that input, ascending. REQUIRES: 0 <= input < numInputs.
    int GetInputMFIndices(int input, int** indices) const;
    // Position of neuron j among its input's functions. REQUIRES: 0 <= j < numNeurons.
    int GetMFIndexInInput(int j) const;
    // First neuron of input i: the sum of mfPerInput over the inputs before i.
    // REQUIRES: 0 <= i <= numInputs.
    int FirstMFOfInput(int i) const;

    TConditionNeuron* nodes;  // owned, numNeurons neurons
    int* inputOf;             // owned, numNeurons entries; null until SetInputMFs
    int* mfPerInput;          // owned, numInputs counts; null until SetInputMFs
    int numInputs;            // 0 until SetInputMFs
};

}  // namespace ruvo

#endif
