#ifndef RUVO_NEURALNETS_TBASICCONNECTIONS_H
#define RUVO_NEURALNETS_TBASICCONNECTIONS_H

// Connection matrices: the weights of the arcs from the neurons of one layer (the from-layer) to
// the neurons of another (the to-layer). An arc is (from, to), neuron indices in the from-layer
// and the to-layer counted from 0, always given in that order. A matrix never stores the layer
// sizes: it reads them from its network at every use, so the network changes a layer's size
// before it asks the matrix to follow an inserted or removed neuron.

#include <cstdint>

namespace ruvo {

class TBasicNetwork;
class TIterateObj;
class TIterateObj2;
class TIterateObj3;

// Flags byte of a weight. In use: 0 (absent), FMaskExists (exists, frozen), FMaskAll (exists,
// trainable). A mask argument FMaskExists selects the existing arcs; any other value selects the
// existing trainable arcs.
constexpr int FMaskExists = 1;
constexpr int FMaskTrainable = 2;
constexpr int FMaskAll = 3;

// True when the flags byte passes the mask test described above.
inline bool PassesMask(int flags, int mask) {
    return mask == FMaskExists ? (flags & FMaskExists) != 0 : (flags & FMaskAll) == FMaskAll;
}

// The program's pseudo-random generator: seed <- seed * 22695477 + 1 (mod 2^32), result
// (seed >> 16) & 32767. The program never seeds it, so every run draws the same sequence, starting
// from seed 1.
int RuvoRandom();
// Restarts the sequence from seed 1, as at program start. For tests.
void ResetRandomGenerator();
// The current seed; lets tests check that an operation drew no number.
std::uint32_t GetRandomSeed();
// One random weight: min + ((r mod 32767) * (1 / 32767)) * (max - min) with r = RuvoRandom(),
// evaluated at extended precision and rounded to double once; lies in [min, max).
double RandomWeight(double min, double max);
// The shortcut test of the randomising operations: true when min equals max, or either is not a
// number; then the weights are set to min and nothing is drawn.
inline bool RandomBoundsEqual(double min, double max) {
    return !(min < max) && !(min > max);
}

// The matrix interface. Every layer pair of a network holds one object of a subclass; the
// defaults here are built on the iteration operations and the visitors (TIterateObj.h).
class TBasicConnections {
public:
    TBasicConnections(TBasicNetwork* network, int from, int to);
    TBasicConnections(const TBasicConnections&) = delete;
    TBasicConnections& operator=(const TBasicConnections&) = delete;

    // True for every matrix that can hold arcs.
    virtual bool IsConnected() const;
    // Number of arcs selected by mask (default: counted with IterateArcs).
    virtual int GetNumWeights(int mask);
    // Writes the selected weights to buffer[0 ...]; returns how many (default: IterateArcs
    // order).
    virtual int GetWeights(double* buffer, int mask);
    // Sets the selected weights from buffer[0 ...]; returns how many (default: IterateArcs order).
    virtual int SetWeights(const double* buffer, int mask);
    // Random values in [min, max) for the existing trainable weights (RandomWeight); min == max
    // sets them to min and draws nothing.
    virtual void RandomizeWeights(double min, double max);
    // Pointer to the stored weight of arc (from, to).
    virtual double* GetWeight(int from, int to) = 0;
    // net[t] += sum over the existing arcs (f, t) of weight * activation of from-neuron f, for
    // every to-neuron t. The array is added to, never cleared.
    virtual void Propagate(double* net);
    virtual bool IsValid(int from, int to) const = 0;
    // Default: same answer as IsValid.
    virtual bool IsTrainable(int from, int to) const;
    // The four weight-changing operations are internal errors unless a class supports them.
    virtual void PruneWeight(int from, int to);
    virtual void AddWeight(int from, int to);
    virtual void UnfreezeWeight(int from, int to);
    virtual void FreezeWeight(int from, int to);
    // Visits the selected arcs entering to-neuron to.
    virtual void IterateInArcs(TIterateObj& visitor, int to, int mask) = 0;
    // Visits the selected arcs leaving from-neuron from.
    virtual void IterateOutArcs(TIterateObj& visitor, int from, int mask) = 0;
    // Visits all selected arcs, in the class's order.
    virtual void IterateArcs(TIterateObj& visitor, int mask) = 0;
    // As IterateArcs, also handing over the same weight in the matrix of network2 for this layer
    // pair (which must be of the same type).
    virtual void IterateArcs2(TIterateObj2& visitor, TBasicNetwork* network2, int mask) = 0;
    // As IterateArcs2 with a third network.
    virtual void IterateArcs3(TIterateObj3& visitor,
                              TBasicNetwork* network2,
                              TBasicNetwork* network3,
                              int mask) = 0;
    virtual const char* GetConnectionsNType() const = 0;
    // Default: FMaskAll (a matrix without flags storage).
    virtual char GetFlags(int from, int to) const;
    // Default: accepts only FMaskAll or FMaskExists and changes nothing.
    virtual void SetFlags(int from, int to, char value);
    // Releases the matrix (delete this); the destructor releases its storage.
    virtual void Destroy() = 0;
    // A new matrix of the same class and layer numbers on network, with a copy of the weights.
    virtual TBasicConnections* Clone(TBasicNetwork* network) const = 0;
    // The from-layer has just lost neuron index: drop its arcs, renumber the later ones down.
    virtual void DeleteFromNeuron(int index) = 0;
    // The to-layer has just lost neuron index.
    virtual void DeleteToNeuron(int index) = 0;
    // The from-layer has just gained a neuron at index: renumber, and add its arcs with random
    // weights in [min, max) (attached) or as absent arcs. Internal error unless supported.
    virtual void InsertFromNeuron(int index, double min, double max, bool attached);
    // The same for the to-layer.
    virtual void InsertToNeuron(int index, double min, double max, bool attached);
    virtual ~TBasicConnections();

    // A new array (owned by the caller, delete[]) of the flags of the existing arcs in
    // IterateArcs order.
    char* GetAllFlags();
    // Sets the flags of the existing arcs, in IterateArcs order, from flags.
    void SetAllFlags(const unsigned char* flags);
    // Makes every existing arc untrainable.
    void FreezeAll();

    // Current sizes of the from-layer and the to-layer, read from the network.
    int NumFrom() const;
    int NumTo() const;
    // Internal error unless 0 <= f < NumFrom() and 0 <= t < NumTo().
    void CheckArc(int f, int t) const;

    TBasicNetwork* network;  // not owned
    int from;                // from-layer number
    int to;                  // to-layer number
};

// The absence of arcs between two layers: no weights, nothing to propagate or visit.
class TEmptyConnections : public TBasicConnections {
public:
    TEmptyConnections(TBasicNetwork* network, int from, int to);

    bool IsConnected() const override;  // false
    int GetNumWeights(int mask) override;
    int GetWeights(double* buffer, int mask) override;
    int SetWeights(const double* buffer, int mask) override;
    void RandomizeWeights(double min, double max) override;
    double* GetWeight(int from, int to) override;  // internal error: there is no weight
    void Propagate(double* net) override;
    bool IsValid(int from, int to) const override;  // false
    void IterateInArcs(TIterateObj& visitor, int to, int mask) override;
    void IterateOutArcs(TIterateObj& visitor, int from, int mask) override;
    void IterateArcs(TIterateObj& visitor, int mask) override;
    void IterateArcs2(TIterateObj2& visitor, TBasicNetwork* network2, int mask) override;
    void IterateArcs3(TIterateObj3& visitor,
                      TBasicNetwork* network2,
                      TBasicNetwork* network3,
                      int mask) override;
    const char* GetConnectionsNType() const override;  // "Empty"
    void Destroy() override;
    TBasicConnections* Clone(TBasicNetwork* network) const override;
    void DeleteFromNeuron(int index) override;
    void DeleteToNeuron(int index) override;
    void InsertFromNeuron(int index, double min, double max, bool attached) override;
    void InsertToNeuron(int index, double min, double max, bool attached) override;
};

}  // namespace ruvo

#endif
