#ifndef RUVO_NEURALNETS_TARCSITERATOR_H
#define RUVO_NEURALNETS_TARCSITERATOR_H

// Arc iterators: pull, one by one, the arcs entering one neuron, either from every layer
// (TConnInAllArcsIterator) or from one given layer (TConnInLayerArcsIterator). Start positions
// the iterator before the first arc; Next and Prev move and answer whether they now stand on an
// arc. Until the first successful move the accessors answer -1 and null.

namespace ruvo {

class TBasicNetwork;
class TBasicNeuron;
class TBasicConnections;

class TArcsIterator {
public:
    TArcsIterator() = default;
    TArcsIterator(const TArcsIterator&) = delete;
    TArcsIterator& operator=(const TArcsIterator&) = delete;

    virtual int GetFromLayer() const = 0;
    virtual int GetToLayer() const = 0;
    virtual int GetFromIndex() const = 0;
    virtual int GetToIndex() const = 0;
    virtual TBasicNeuron* GetToNode() const = 0;
    virtual TBasicNeuron* GetFromNode() const = 0;
    virtual double* GetWeight() const = 0;
    // The answer of IsOnArc.
    virtual bool HasArc() const;
    virtual bool IsOnArc() const = 0;
    virtual bool Next() = 0;
    virtual bool Prev() = 0;
    // Positions the iterator before the first arc into neuron (its layerNum and index).
    virtual void Start(TBasicNeuron* neuron) = 0;
    virtual ~TArcsIterator();
};

// Arcs entering one neuron from all layers. The state is shared with its implementation.
class TInAllArcsIterator : public TArcsIterator {
public:
    explicit TInAllArcsIterator(TBasicNetwork* network);

    // Start(neuron->layerNum, neuron->index).
    void Start(TBasicNeuron* neuron) override;
    // Does nothing here.
    virtual void Start(int toLayer, int toNeuron);

    TBasicNetwork* network;  // not owned
    int fromLayer;           // current from-layer
    int fromIndex;           // current from-neuron
    int toLayer;
    int toIndex;
    TBasicNeuron* fromNode;
    TBasicNeuron* toNode;
    double* weight;           // the current arc's weight
    int lastIndex;            // index of the last neuron of the current from-layer
    TBasicConnections* conn;  // current matrix, null when standing on no arc
};

// Arcs entering one neuron from one from-layer.
class TInLayerArcsIterator : public TArcsIterator {
public:
    explicit TInLayerArcsIterator(TBasicNetwork* network);

    // Start(neuron->layerNum, neuron->index, 0).
    void Start(TBasicNeuron* neuron) override;
    // Does nothing here.
    virtual void Start(int toLayer, int toNeuron, int fromLayer);

    TBasicNetwork* network;  // not owned
    int fromLayer;
    int fromIndex;  // -1 before the first arc, lastIndex + 1 after the last
    int toLayer;
    int toIndex;
    TBasicNeuron* fromNode;
    TBasicNeuron* toNode;
    double* weight;
    int lastIndex;
    TBasicConnections* conn;  // the matrix from fromLayer to toLayer once started
};

// Walks the from-layers upwards from 0; a from-layer counts when its matrix IsConnected and it
// has neurons; within it, every from-neuron in order (pruned arcs included).
class TConnInAllArcsIterator : public TInAllArcsIterator {
public:
    explicit TConnInAllArcsIterator(TBasicNetwork* network);

    int GetFromLayer() const override;
    int GetToLayer() const override;
    int GetFromIndex() const override;
    int GetToIndex() const override;
    TBasicNeuron* GetToNode() const override;
    TBasicNeuron* GetFromNode() const override;
    double* GetWeight() const override;
    bool IsOnArc() const override;
    bool Next() override;
    bool Prev() override;
    using TInAllArcsIterator::Start;
    void Start(int toLayer, int toNeuron) override;

private:
    void StandOn(int layer, int neuron);
};

// Walks the from-neurons of one from-layer in order; does not consult IsConnected.
class TConnInLayerArcsIterator : public TInLayerArcsIterator {
public:
    explicit TConnInLayerArcsIterator(TBasicNetwork* network);

    int GetFromLayer() const override;
    int GetToLayer() const override;
    int GetFromIndex() const override;
    int GetToIndex() const override;
    TBasicNeuron* GetToNode() const override;
    TBasicNeuron* GetFromNode() const override;
    double* GetWeight() const override;
    bool IsOnArc() const override;
    bool Next() override;
    bool Prev() override;
    using TInLayerArcsIterator::Start;
    void Start(int toLayer, int toNeuron, int fromLayer) override;

private:
    void StandOn(int neuron);
};

}  // namespace ruvo

#endif
