#ifndef RUVO_NEURALNETS_TCONNECTEDCONNECTIONS_H
#define RUVO_NEURALNETS_TCONNECTEDCONNECTIONS_H

// The fully connected matrix: every arc exists and is trainable; there are no flags.

#include "NeuralNets/TBasicConnections.h"

namespace ruvo {

// Storage is row by to-neuron: weight (f, t) is index_weights[t][f], and index_weights[t] is
// array_weights + t * n_from, so all arcs into one to-neuron are contiguous.
class TConnectedConnections : public TBasicConnections {
public:
    // Storage for the current layer sizes, every weight 0.0.
    TConnectedConnections(TBasicNetwork* network, int from, int to);

    bool IsConnected() const override;     // true
    int GetNumWeights(int mask) override;  // n_from * n_to whatever the mask
    // All weights ordered by from-neuron: for f, for t, weight (f, t). The mask is ignored. Note
    // that this differs from the storage and visiting order.
    int GetWeights(double* buffer, int mask) override;
    int SetWeights(const double* buffer, int mask) override;
    // Every weight, in storage order.
    void RandomizeWeights(double min, double max) override;
    double* GetWeight(int from, int to) override;
    void Propagate(double* net) override;
    bool IsValid(int from, int to) const override;      // true
    bool IsTrainable(int from, int to) const override;  // true
    void AddWeight(int from, int to) override;          // nothing to do
    void UnfreezeWeight(int from, int to) override;     // nothing to do
    // Visiting orders, all arcs trainable, masks ignored: IterateArcs* row by to-neuron (t outer,
    // f inner); IterateInArcs f = 0 .. n_from-1; IterateOutArcs t = 0 .. n_to-1.
    void IterateInArcs(TIterateObj& visitor, int to, int mask) override;
    void IterateOutArcs(TIterateObj& visitor, int from, int mask) override;
    void IterateArcs(TIterateObj& visitor, int mask) override;
    void IterateArcs2(TIterateObj2& visitor, TBasicNetwork* network2, int mask) override;
    void IterateArcs3(TIterateObj3& visitor,
                      TBasicNetwork* network2,
                      TBasicNetwork* network3,
                      int mask) override;
    const char* GetConnectionsNType() const override;  // "FullyConnected"
    char GetFlags(int from, int to) const override;    // FMaskAll
    void Destroy() override;
    TBasicConnections* Clone(TBasicNetwork* network) const override;
    void DeleteFromNeuron(int index) override;
    void DeleteToNeuron(int index) override;
    // REQUIRES: attached (every from-neuron of a fully connected matrix has all its arcs). The
    // new weights are drawn in to-neuron order.
    void InsertFromNeuron(int index, double min, double max, bool attached) override;
    // REQUIRES: attached. The new weights are drawn in from-neuron order.
    void InsertToNeuron(int index, double min, double max, bool attached) override;
    ~TConnectedConnections() override;

    double* array_weights;   // owned, n_from * n_to
    double** index_weights;  // owned, n_to row pointers into array_weights

private:
    // Replaces the storage by one of nFrom * nTo weights (cleared) and sets the row pointers.
    void Allocate(int nFrom, int nTo);
};

}  // namespace ruvo

#endif
