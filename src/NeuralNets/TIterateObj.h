#ifndef RUVO_NEURALNETS_TITERATEOBJ_H
#define RUVO_NEURALNETS_TITERATEOBJ_H

// Weight visitors. A connection matrix binds a visitor to its layer pair (Bind), then, for each
// selected arc, stores the arc in the visitor's fields and calls Visit once. Visitors live on the
// stack of the code that walks the arcs; a visitor handed to several matrices in turn keeps its
// counters and sums across them.
//
// Three families by the number of networks seen at once: TIterateObj (one), TIterateObj2 (two of
// the same shape, e.g. a network and its gradients) and TIterateObj3 (three). In the two- and
// three-network families the first network is the one whose matrix runs the walk, and the peer
// matrices of the same layer pair must have the same type.

namespace ruvo {

class TBasicNetwork;
class TBasicLayer;
class TBasicConnections;

class TIterateObj {
public:
    TIterateObj();

    // Called once per selected arc, after the fields below are set. Does nothing here.
    virtual void Visit();

    // Records the arc context of the pair (from, to): layer numbers, layer objects, activation
    // arrays, and the matrix of the pair in the from-layer's network.
    void Bind(TBasicLayer* from, TBasicLayer* to);

    int fromLayer;
    int toLayer;
    int fromNeuron;
    int toNeuron;
    TBasicConnections* conn;
    double* weight;  // the current arc's weight; may be read and written
    char trainable;  // 1 when the current arc is trainable, 0 when frozen
    TBasicLayer* fromLayerObj;
    TBasicLayer* toLayerObj;
    double* fromActs;
    double* toActs;
};

class TIterateObj2 {
public:
    TIterateObj2();
    // Binds to the pair (fromLayer, toLayer) and sets the initial neuron indices.
    TIterateObj2(TBasicNetwork* network1,
                 TBasicNetwork* network2,
                 int fromLayer,
                 int toLayer,
                 int fromNeuron,
                 int toNeuron);

    virtual void Visit();

    // Records the context of the pair in both networks. The two matrices must have the same type.
    void Bind(TBasicNetwork* network1, TBasicNetwork* network2, int fromLayer, int toLayer);

    int fromLayer;
    int toLayer;
    int fromNeuron;
    int toNeuron;
    TBasicConnections* conn1;
    TBasicConnections* conn2;
    double* weight1;
    double* weight2;
    char trainable;
    TBasicLayer* fromLayerObj1;
    TBasicLayer* toLayerObj1;
    TBasicLayer* fromLayerObj2;
    TBasicLayer* toLayerObj2;
    double* fromActs1;
    double* toActs1;
    double* fromActs2;
    double* toActs2;
};

class TIterateObj3 {
public:
    TIterateObj3();
    TIterateObj3(TBasicNetwork* network1,
                 TBasicNetwork* network2,
                 TBasicNetwork* network3,
                 int fromLayer,
                 int toLayer,
                 int fromNeuron,
                 int toNeuron);

    virtual void Visit();

    // Records the context of the pair in all three networks; the matrices must have one type.
    void Bind(TBasicNetwork* network1,
              TBasicNetwork* network2,
              TBasicNetwork* network3,
              int fromLayer,
              int toLayer);

    int fromLayer;
    int toLayer;
    int fromNeuron;
    int toNeuron;
    TBasicConnections* conn1;
    TBasicConnections* conn2;
    TBasicConnections* conn3;
    double* weight1;
    double* weight2;
    double* weight3;
    char trainable;
    TBasicLayer* fromLayerObj1;
    TBasicLayer* toLayerObj1;
    TBasicLayer* fromLayerObj2;
    TBasicLayer* toLayerObj2;
    TBasicLayer* fromLayerObj3;
    TBasicLayer* toLayerObj3;
    double* fromActs1;
    double* toActs1;
    double* fromActs2;
    double* toActs2;
    double* fromActs3;
    double* toActs3;
};

// sum += fromActs[fromNeuron] * weight: the weighted sum into one to-neuron.
class TIterateObjAggregate : public TIterateObj {
public:
    TIterateObjAggregate();
    void Visit() override;
    double sum;
};

// Counts the arcs visited.
class TIterateObjGetNumWeights : public TIterateObj {
public:
    TIterateObjGetNumWeights();
    void Visit() override;
    int count;
};

// Copies each visited weight to *cursor and advances it.
class TIterateObjGetWeights : public TIterateObj {
public:
    explicit TIterateObjGetWeights(double* buffer);
    void Visit() override;
    int count;
    double* cursor;
};

// Copies *cursor into each visited weight and advances it.
class TIterateObjSetWeights : public TIterateObj {
public:
    explicit TIterateObjSetWeights(const double* buffer);
    void Visit() override;
    int count;
    const double* cursor;
};

// Gives each visited weight a random value in [min, max) (RandomWeight); min == max sets min and
// draws nothing.
class TIterateObjRandomize : public TIterateObj {
public:
    TIterateObjRandomize(double min, double max);
    void Visit() override;
    double min;
    double max;
};

// buffer[count++] = flags of the visited arc.
class TIterateObjGetFlags : public TIterateObj {
public:
    explicit TIterateObjGetFlags(char* buffer);
    void Visit() override;
    int count;
    char* buffer;
};

// Sets the flags of the visited arc to buffer[count++].
class TIterateObjSetFlags : public TIterateObj {
public:
    explicit TIterateObjSetFlags(const unsigned char* buffer);
    void Visit() override;
    int count;
    const unsigned char* buffer;
};

// Freezes each visited arc.
class TIterateObjAllUntrainable : public TIterateObj {
public:
    void Visit() override;
};

// Counts the arcs shown; the network's neuron pruning uses it to find neurons without outgoing
// arcs.
class TIterateObjPruneNode : public TIterateObj {
public:
    TIterateObjPruneNode();
    void Visit() override;
    int count;
};

}  // namespace ruvo

#endif
