#ifndef RUVO_NEURALNETS_TPRUNEDCONNECTIONS_H
#define RUVO_NEURALNETS_TPRUNEDCONNECTIONS_H

// The prunable matrix: the storage of the fully connected matrix plus one flags byte per weight,
// so single weights can be pruned (flags 0), frozen (1) and made trainable again (3). Every
// operation that reads, visits, propagates or randomises weights consults the flags.

#include "NeuralNets/TBasicConnections.h"

namespace ruvo {

// Weight (f, t) is index_weights[t][f] and its flags index_masks[t][f]; both arrays are row by
// to-neuron (index_weights[t] = array_weights + t * n_from, likewise for the masks). Apart from
// SetFlags and writes through GetWeight, a weight without the FMaskExists bit is 0.0 with no
// FMaskTrainable bit; a stored value of a pruned weight is never used.
class TPrunedConnections : public TBasicConnections {
public:
    // Storage for the current layer sizes, every weight 0.0 with flags FMaskAll.
    TPrunedConnections(TBasicNetwork* network, int from, int to);

    // GetNumWeights, GetWeights and SetWeights are the visitor-based defaults, written out as
    // direct loops with the same results: the arcs passing the mask test, row by to-neuron.
    int GetNumWeights(int mask) override;
    int GetWeights(double* buffer, int mask) override;
    int SetWeights(const double* buffer, int mask) override;
    // Every weight with the FMaskTrainable bit, in storage order, one draw each.
    void RandomizeWeights(double min, double max) override;
    double* GetWeight(int from, int to) override;  // whatever the flags
    // Existing arcs only (frozen ones included).
    void Propagate(double* net) override;
    bool IsValid(int from, int to) const override;      // FMaskExists bit
    bool IsTrainable(int from, int to) const override;  // FMaskTrainable bit
    void PruneWeight(int from, int to) override;        // flags 0, weight 0.0
    void AddWeight(int from, int to) override;          // absent -> FMaskAll with 0.0
    void UnfreezeWeight(int from, int to) override;     // existing -> FMaskTrainable set
    void FreezeWeight(int from, int to) override;       // FMaskTrainable cleared
    // Visiting orders as for the fully connected matrix, skipping arcs that fail the mask test.
    void IterateInArcs(TIterateObj& visitor, int to, int mask) override;
    void IterateOutArcs(TIterateObj& visitor, int from, int mask) override;
    void IterateArcs(TIterateObj& visitor, int mask) override;
    void IterateArcs2(TIterateObj2& visitor, TBasicNetwork* network2, int mask) override;
    void IterateArcs3(TIterateObj3& visitor,
                      TBasicNetwork* network2,
                      TBasicNetwork* network3,
                      int mask) override;
    const char* GetConnectionsNType() const override;  // "Pruneable"
    char GetFlags(int from, int to) const override;
    void SetFlags(int from, int to, char value) override;  // any value
    void Destroy() override;
    TBasicConnections* Clone(TBasicNetwork* network) const override;
    void DeleteFromNeuron(int index) override;
    void DeleteToNeuron(int index) override;
    // The new column: attached gives random weights (one draw each, in to-neuron order, no
    // shortcut for min == max) with FMaskAll; unattached gives absent arcs and draws nothing.
    void InsertFromNeuron(int index, double min, double max, bool attached) override;
    // The same for a new row, in from-neuron order.
    void InsertToNeuron(int index, double min, double max, bool attached) override;
    ~TPrunedConnections() override;

    double* array_weights;        // owned, n_from * n_to
    double** index_weights;       // owned, n_to row pointers into array_weights
    unsigned char* array_masks;   // owned, n_from * n_to flags bytes
    unsigned char** index_masks;  // owned, n_to row pointers into array_masks

private:
    // Replaces the storage by one of nFrom * nTo weights (0.0, flags 0) and sets the row pointers.
    void Allocate(int nFrom, int nTo);
};

}  // namespace ruvo

#endif
