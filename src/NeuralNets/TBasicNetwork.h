#ifndef RUVO_NEURALNETS_TBASICNETWORK_H
#define RUVO_NEURALNETS_TBASICNETWORK_H

// The layered network: an ordered list of layers, a square table of connection matrices (one for
// every ordered pair of layers, TEmptyConnections where there are no arcs) and a registry of
// activation functions. Collaborating classes read and write the public members directly.
//
// Neurons are numbered across the network in layer order: neuron k of layer L has the global
// number (neurons of layers 0 .. L-1) + k.

#include "NeuralNets/ActFunctions.h"
#include "NeuralNets/TArcsIterator.h"
#include "NeuralNets/TBasicConnections.h"
#include "NeuralNets/TBasicLayer.h"
#include "NeuralNets/TIterateObj.h"

namespace ruvo {

class TBasicNetwork {
public:
    // Initialises nothing; for derived classes that call Init themselves.
    TBasicNetwork();
    // Init(n_layers).
    explicit TBasicNetwork(int n_layers);
    // Deep copy: every layer and matrix cloned (keeping their classes), a new registry. The copy
    // is a plain TBasicNetwork whatever the class of x.
    TBasicNetwork(const TBasicNetwork& x);
    // Self-assignment changes nothing; otherwise the network is rebuilt as by the copy
    // constructor.
    TBasicNetwork& operator=(const TBasicNetwork& x);

    // Destroys the matrices in storage order, then the layers in index order, then the registry.
    // Empty slots (a network abandoned half-built) are skipped.
    virtual ~TBasicNetwork();
    // Sum over the matrices of their GetNumWeights(mask).
    virtual int GetNumWeights(int mask);
    // All selected weights as one vector: from-layer in the outer loop, to-layer in the inner
    // loop, each matrix in its own order. Returns the number written.
    virtual int GetWeights(double* weights, int mask);
    // Reads the vector GetWeights writes; returns the number read.
    virtual int SetWeights(const double* weights, int mask);
    // Every matrix's RandomizeWeights(min, max), in the order of GetWeights. (0, 0) sets every
    // trainable weight to 0 and draws nothing.
    virtual void RandomizeWeights(double min, double max);
    // Puts a matrix of this class's kind into cell (fromLayer, toLayer) unless it IsConnected
    // already (then nothing changes). A plain network creates TPrunedConnections.
    virtual void CreateConnections(int fromLayer, int toLayer);
    // Replaces the cell's matrix by a new TEmptyConnections.
    virtual void DeleteConnections(int fromLayer, int toLayer);
    // Recalls every layer in index order, then copies the output layer's activations to output.
    // input holds at least the input layer's size, output the output layer's size.
    virtual void Recall(const double* input, double* output);
    virtual const char* GetNetworkType() const;  // "Basic"
    // A new arc iterator owned by the caller; internal error for a plain network.
    virtual TArcsIterator* NewArcsIterator();

    // Sets numLayers, inLayer = 1, outLayer = n_layers - 1, empty layer slots, a TEmptyConnections
    // in every cell (to-layer outer loop, from-layer inner loop), and the registry with the
    // standard functions. The creator must then install a layer in every slot.
    void Init(int n_layers);

    int GetNumNeurons() const;
    // The neuron with global number index. REQUIRES: 0 <= index < GetNumNeurons().
    TBasicNeuron* GetNeuron(int index);

    // Inserts a neuron at position node of hidden layer LayerNum; its new arcs get random weights
    // in [min, max) (attached) or are absent where the matrix allows it.
    void InsertNeuron(int LayerNum, int node, double min, double max, bool attached);
    // Removes neuron node of hidden layer LayerNum with its arcs.
    void RemoveNeuron(int LayerNum, int node);
    // Removes every hidden neuron below the output layer that has no outgoing arc; returns how
    // many.
    int PruneNeurons();
    // Inserts layer (created for this network; the network takes ownership) at position LayerNum,
    // 0 <= LayerNum <= numLayers, with empty matrices to and from it; later layers move up.
    void InsertLayer(int LayerNum, TBasicLayer* layer);
    // Removes hidden layer LayerNum with its matrices; later layers move down.
    void RemoveLayer(int LayerNum);
    // Visits the arcs entering neuron toNode of layer toLayer, from-layer 0 upwards.
    void IterateNodeInArcs(TIterateObj& visitor, int toLayer, int toNode, int mask);
    // Visits the arcs leaving neuron fromNode of layer fromLayer, to-layer 0 upwards.
    void IterateNodeOutArcs(TIterateObj& visitor, int fromLayer, int fromNode, int mask);

    int numLayers;
    TBasicLayer** layers;  // owned, numLayers slots; layer i has layerNum i
    int inLayer;
    int outLayer;
    // Owned, numLayers * numLayers matrices; the one from fromLayer to toLayer is element
    // toLayer * numLayers + fromLayer.
    TBasicConnections** priv_conns;
    // Owned, numLayers row pointers into priv_conns: priv_conns_index[toLayer][fromLayer].
    TBasicConnections*** priv_conns_index;
    TFnRegistry* registry;  // owned

private:
    void CopyFrom(const TBasicNetwork& x);
    void Release();
    void CheckHiddenLayer(int LayerNum) const;
};

// A network whose connect operation creates fully connected matrices and that hands out arc
// iterators.
class TConnectedNetwork : public TBasicNetwork {
public:
    // Initialises nothing; the fuzzy network calls Init itself.
    TConnectedNetwork();
    explicit TConnectedNetwork(int n_layers);
    // Init(n_layers), then a TSimpleInputLayer of numNeurons[inLayer] neurons at inLayer and a
    // TSimpleLayer of numNeurons[i] neurons at every other position i. No connections.
    TConnectedNetwork(int n_layers, const int* numNeurons);

    // Creates TConnectedConnections.
    void CreateConnections(int fromLayer, int toLayer) override;
    const char* GetNetworkType() const override;  // "Connected"
    // A new TConnInAllArcsIterator over this network, owned by the caller.
    TArcsIterator* NewArcsIterator() override;
};

}  // namespace ruvo

#endif
