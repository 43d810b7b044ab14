#ifndef RUVO_RUVO_TRUVOOUTPUTLAYER_H
#define RUVO_RUVO_TRUVOOUTPUTLAYER_H

// The defuzzification layer, the output layer of the fuzzy network. Each neuron is one output;
// the preceding (action) layer holds one neuron per output membership function, grouped by output
// in output order, and each output is the centre of gravity of its functions: the average of
// their centres weighted by the activations of their action neurons. The centres are the weights
// of the TToOutputConnections matrix from the action layer.

#include "NeuralNets/TBasicLayer.h"

namespace ruvo {

// Layer type "Defuzzify"; its neurons are plain neurons carrying the "cog" function, which names
// the method in the network file and is never applied.
class TRuvoOutputLayer : public TSimpleLayer {
public:
    // numOutputs plain neurons. SetOutputMFs must follow before the layer is recalled.
    TRuvoOutputLayer(TBasicNetwork* network, int index, int numOutputs);

    // Defuzzification, for every output o with action neurons a of o:
    //   y = (sum of activation(a) * centre(a)) / (sum of activation(a)),
    // or 0 when either sum is 0. The argument is not used. An output outside [0, 1] (or not a
    // number), which centres or weights from a network file can cause, is written on a line of
    // standard output and reported on standard error as the violated condition
    // "(ActActivation >= 0) && (ActActivation <= 1)"; the program then ends with status 1. A
    // preceding matrix that is not a TToOutputConnections matching this layout raises TException.
    void Recall(const double* input) override;
    const char* GetLayerType() const override;  // "Defuzzify"
    void Destroy() override;
    // Same index and size on network, the same layout, then the base-layer and neuron copies.
    TBasicLayer* Clone(TBasicNetwork* network) const override;
    ~TRuvoOutputLayer() override;
    int GetLayerCode() const override;  // 5

    // Stores totalMFs and a copy of the numNeurons counts, and builds outputOf: mfPerOutput[o]
    // consecutive entries o for each output o. REQUIRES: the counts add up to totalMFs.
    void SetOutputMFs(int totalMFs, const int* mfPerOutput);
    // Position of action neuron a among its output's functions. REQUIRES: 0 <= a < totalMFs.
    int GetMFIndexInOutput(int a) const;
    // First action neuron of output o: the sum of mfPerOutput over the outputs before o.
    // REQUIRES: 0 <= o <= numNeurons.
    int FirstMFOfOutput(int o) const;

    int totalMFs;      // number of output membership functions (the action layer's size)
    int* mfPerOutput;  // owned, numNeurons counts; null until SetOutputMFs
    int* outputOf;     // owned, totalMFs entries: the output of action neuron a; null until set
};

}  // namespace ruvo

#endif
