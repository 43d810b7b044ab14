#ifndef RUVO_RUVO_TTOCONDITIONCONNECTIONS_H
#define RUVO_RUVO_TTOCONDITIONCONNECTIONS_H

// The matrix from the fuzzy network's input layer to its condition layer. Input i has one arc to
// each condition neuron that is one of its membership functions; the arc's weight is that
// function's centre, stored in the condition neuron itself. Through this matrix the input centres
// are counted, read, written, randomised, frozen, saved and walked by the training visitors like
// ordinary weights; it takes no part in the forward pass (the condition layer reads its source
// layer directly).

#include "NeuralNets/TBasicConnections.h"

namespace ruvo {

class TConditionLayer;

// Arc (i, j), i an input and j a condition neuron, exists when inputOf[j] == i. A condition
// neuron has exactly one incoming arc, so flags[j] is that arc's flags byte.
class TToConditionConnections : public TBasicConnections {
public:
    // Takes the network's layer `to` as the condition layer and gives every arc FMaskAll. Raises
    // TException when that layer is not a TConditionLayer (a network file can ask for this).
    TToConditionConnections(TBasicNetwork* network, int from, int to);

    bool IsConnected() const override;  // true
    // The centre of condition neuron `to`; `from` is not used. REQUIRES: 0 <= to < n_cond.
    double* GetWeight(int from, int to) override;
    // 0 <= to < n_cond and inputOf[to] == from.
    bool IsValid(int from, int to) const override;
    // IsValid and the arc's FMaskTrainable bit, so a frozen centre is saved as frozen.
    bool IsTrainable(int from, int to) const override;
    void PruneWeight(int from, int to) override;     // no effect: every arc exists
    void AddWeight(int from, int to) override;       // no effect
    void UnfreezeWeight(int from, int to) override;  // SetFlags(from, to, FMaskAll)
    void FreezeWeight(int from, int to) override;    // SetFlags(from, to, FMaskExists)
    // The one arc (inputOf[to], to), if it passes the mask test.
    void IterateInArcs(TIterateObj& visitor, int to, int mask) override;
    // The arcs (from, j) for the neurons j of input `from`, ascending, that pass the mask test.
    void IterateOutArcs(TIterateObj& visitor, int from, int mask) override;
    // For j = 0 ... n_cond - 1: arc (inputOf[j], j) if it passes the mask test.
    void IterateArcs(TIterateObj& visitor, int mask) override;
    // As IterateArcs; the peer pointers are the centres of neuron j in the peer networks.
    void IterateArcs2(TIterateObj2& visitor, TBasicNetwork* network2, int mask) override;
    void IterateArcs3(TIterateObj3& visitor,
                      TBasicNetwork* network2,
                      TBasicNetwork* network3,
                      int mask) override;
    const char* GetConnectionsNType() const override;      // "ToConditionConnections"
    char GetFlags(int from, int to) const override;        // flags[to]
    void SetFlags(int from, int to, char value) override;  // flags[to] := value, any value
    void Destroy() override;
    // Same layer numbers on network, whose condition layer (cloned first) holds the centres; the
    // flags start at FMaskAll.
    TBasicConnections* Clone(TBasicNetwork* network) const override;
    // The condition layer's neurons are fixed: both are internal errors ("false").
    void DeleteFromNeuron(int index) override;
    void DeleteToNeuron(int index) override;
    ~TToConditionConnections() override;

    TConditionLayer* conditionLayer;  // the network's layer `to`; not owned
    unsigned char* flags;             // owned, one flags byte per condition neuron

private:
    // Number of arcs (condition neurons) the flags were made for.
    int numArcs;
};

}  // namespace ruvo

#endif
