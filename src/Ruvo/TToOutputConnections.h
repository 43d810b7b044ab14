#ifndef RUVO_RUVO_TTOOUTPUTCONNECTIONS_H
#define RUVO_RUVO_TTOOUTPUTCONNECTIONS_H

// The matrix from the fuzzy network's action layer to its defuzzification layer. Each action
// neuron has one arc, to the output whose membership function it is; the arc's weight is that
// function's centre. Through this matrix the output centres are counted, read, written,
// randomised, frozen, saved and walked by the training visitors like ordinary weights; the
// defuzzification layer reads the centres directly.

#include "NeuralNets/TBasicConnections.h"

namespace ruvo {

class TRuvoOutputLayer;

// Arc (a, o), a an action neuron and o an output, exists when outputOf[a] == o; its weight is
// centres[a] and its flags byte flags[a].
class TToOutputConnections : public TBasicConnections {
public:
    // Takes the network's layer `to` as the output layer and makes one centre and one flags byte
    // (FMaskAll) per neuron of layer `from`. When the output layer's layout is set and matches,
    // the centres start evenly spaced (ResetCentres), else at 0.0. Raises TException when layer
    // `to` is not a TRuvoOutputLayer (a network file can ask for this).
    TToOutputConnections(TBasicNetwork* network, int from, int to);

    bool IsConnected() const override;  // true
    // centres[from]; `to` is not used. REQUIRES: 0 <= from < n_action.
    double* GetWeight(int from, int to) override;
    // 0 <= from < n_action, 0 <= to < number of outputs and outputOf[from] == to.
    bool IsValid(int from, int to) const override;
    // IsValid and the arc's FMaskTrainable bit, so a frozen centre is saved as frozen.
    bool IsTrainable(int from, int to) const override;
    void PruneWeight(int from, int to) override;     // no effect: every arc exists
    void AddWeight(int from, int to) override;       // no effect
    void UnfreezeWeight(int from, int to) override;  // SetFlags(from, to, FMaskAll)
    void FreezeWeight(int from, int to) override;    // SetFlags(from, to, FMaskExists)
    // The arcs (a, to) for the action neurons a of output `to`, ascending, that pass the mask.
    void IterateInArcs(TIterateObj& visitor, int to, int mask) override;
    // The one arc (from, outputOf[from]), if it passes the mask test.
    void IterateOutArcs(TIterateObj& visitor, int from, int mask) override;
    // For a = 0 ... n_action - 1: arc (a, outputOf[a]) if it passes the mask test.
    void IterateArcs(TIterateObj& visitor, int mask) override;
    // As IterateArcs; the peer pointers are centres[a] of the peer matrices.
    void IterateArcs2(TIterateObj2& visitor, TBasicNetwork* network2, int mask) override;
    void IterateArcs3(TIterateObj3& visitor,
                      TBasicNetwork* network2,
                      TBasicNetwork* network3,
                      int mask) override;
    const char* GetConnectionsNType() const override;      // "ToOutputConnections"
    char GetFlags(int from, int to) const override;        // flags[from]
    void SetFlags(int from, int to, char value) override;  // flags[from] := value, any value
    void Destroy() override;
    // Same layer numbers on network, centres copied, flags starting at FMaskAll.
    TBasicConnections* Clone(TBasicNetwork* network) const override;
    // The action layer's neurons are fixed here: both are internal errors ("false").
    void DeleteFromNeuron(int index) override;
    void DeleteToNeuron(int index) override;
    ~TToOutputConnections() override;

    // Spaces the centres of every output evenly on [0, 1]: for k functions the s-th (s = 0 ...
    // k - 1) gets s / (k - 1), the first exactly 0.0 and the last exactly 1.0.
    // REQUIRES: every count >= 2 ("NdxMF >= 2").
    void ResetCentres();

    TRuvoOutputLayer* outputLayer;  // the network's layer `to`; not owned
    double* centres;                // owned, one centre per action neuron
    unsigned char* flags;           // owned, one flags byte per action neuron

private:
    // Number of action neurons the centres and flags were made for.
    int numArcs;
};

}  // namespace ruvo

#endif
