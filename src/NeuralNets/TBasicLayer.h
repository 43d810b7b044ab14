#ifndef RUVO_NEURALNETS_TBASICLAYER_H
#define RUVO_NEURALNETS_TBASICLAYER_H

// Neurons and layers. A layer holds its neurons contiguously and one `activations` array that
// receives the net inputs and then, in place, the activations during recall. Neuron i of a layer
// is `nodes` element i; its `activation` points at `activations` element i.

#include "NeuralNets/ActFunctions.h"

namespace ruvo {

class TBasicNetwork;
class TBasicLayer;

// A neuron: its position, its activation value (owned by the layer), its layer and its
// activation function.
class TBasicNeuron {
public:
    // A neuron with no layer yet and the "error" function.
    TBasicNeuron();
    TBasicNeuron(const TBasicNeuron&) = default;
    TBasicNeuron& operator=(const TBasicNeuron&) = default;

    virtual ~TBasicNeuron();
    // Applies the neuron's own function to net.
    virtual void Activate(double net);
    virtual int GetNumParameters() const;
    virtual void GetParameters(double* values) const;
    virtual void SetParameters(const double* values);
    // A basic neuron has no parameters: always an internal error.
    virtual const char* GetParameterName(int i) const;
    // Hook called whenever a layer copies source into this neuron (clone, insertion, removal),
    // after the base fields are copied. Copies nothing here.
    virtual void CopyFrom(const TBasicNeuron* source);

    // Sets this neuron's function and clears its layer's common function.
    void SetActFunction(TActFunction fn);
    TActFunction GetActFunction() const { return actFunction; }

    // Copies layerNum, index and actFunction of source, calls CopyFrom(source), and attaches this
    // neuron to layer with its activation at value. Used by every layer that copies neurons.
    void CopyNeuron(const TBasicNeuron* source, TBasicLayer* owner, double* value);

    int layerNum;
    int index;
    double* activation;  // element of the layer's `activations`; not owned
    TBasicLayer* layer;  // not owned
    TActFunction actFunction;
};

// A neuron with a gain, used by the gain functions.
class TGainNeuron : public TBasicNeuron {
public:
    TGainNeuron();  // gain 1.0

    int GetNumParameters() const override;               // 1
    void GetParameters(double* values) const override;   // values[0] = gain
    void SetParameters(const double* values) override;   // gain = values[0]
    const char* GetParameterName(int i) const override;  // REQUIRES: i == 0; "Gain"

    double gain;
};

// The base of every layer. Owned by its network and released through Destroy.
class TBasicLayer {
public:
    // Allocates `activations` (all 0.0); no common function, no dimensions.
    TBasicLayer(TBasicNetwork* network, int layerNum, int numNeurons);
    TBasicLayer(const TBasicLayer&) = delete;
    TBasicLayer& operator=(const TBasicLayer&) = delete;

    // Applies the common function, or each neuron's own when none is set, to net[i] for every
    // neuron i; each result goes through the neuron's `activation` pointer. The layer passes its
    // own `activations` as net.
    virtual void ApplyActFunctions(double* net);
    // REQUIRES: 0 <= i < numNeurons.
    virtual TBasicNeuron* GetNeuron(int i) = 0;
    // Forward pass: input values at the network's input position (with a warning, since this is
    // not an input layer class), else zeros; then every lower-numbered layer's matrix adds its
    // weighted sums; then the activation functions.
    virtual void Recall(const double* input);
    virtual const char* GetLayerType() const = 0;
    // Releases the layer (delete this); the destructor releases the arrays and the neurons.
    virtual void Destroy() = 0;
    // A new layer of the same class, same layerNum and size, for network: zero activations, the
    // same dimensions, common function and neuron state.
    virtual TBasicLayer* Clone(TBasicNetwork* network) const = 0;
    // Drops neuron i (0 <= i < numNeurons); the network decreases numNeurons afterwards.
    virtual void RemoveNeuron(int i) = 0;
    // Inserts a new neuron at i (0 <= i <= numNeurons); the network increases numNeurons
    // afterwards. Internal error in a class that does not support it.
    virtual void InsertNeuron(int i);
    virtual ~TBasicLayer();

    // Sets the common function and every neuron's function to fn.
    void SetActFunction(TActFunction fn);
    // The common function. When none is recorded: "null" for a layer without neurons, else
    // neuron 0's function if every neuron has it; either answer is then recorded. Null (and
    // nothing recorded) when the neurons differ.
    TActFunction GetActFunction();

    // Stores a copy of count sizes (count 0 stores none and parameters may be null).
    void SetDimensions(int count, const int* parameters);
    // Copies the stored sizes to parameters; does nothing when there are none.
    void GetDimensions(int* parameters) const;

    // The base part of Clone: activations cleared, dimensions and common function copied from
    // source. REQUIRES: the same numNeurons as source.
    void CopyBaseFrom(const TBasicLayer* source);

    TBasicNetwork* network;    // not owned
    TActFunction actFunction;  // common function, or null while none is recorded
    int numNeurons;
    int layerNum;         // the layer's position in its network
    double* activations;  // owned, numNeurons values (at least)
    int numDimensions;
    int* dimensions;  // owned, numDimensions sizes, or null

protected:
    // Shared part of the two Recall variants: copies input (or clears), propagates, applies.
    void RecallFrom(const double* input, const char* warning);
    // Replaces `activations` by a cleared array of count values.
    void ReplaceActivations(int count);
};

// A layer of plain neurons.
class TSimpleLayer : public TBasicLayer {
public:
    // Every neuron gets the "error" function until a real one is set.
    TSimpleLayer(TBasicNetwork* network, int layerNum, int numNeurons);

    void ApplyActFunctions(double* net) override;
    TBasicNeuron* GetNeuron(int i) override;
    const char* GetLayerType() const override;  // "Simple"
    void Destroy() override;
    TBasicLayer* Clone(TBasicNetwork* network) const override;
    void RemoveNeuron(int i) override;
    void InsertNeuron(int i) override;
    ~TSimpleLayer() override;
    virtual int GetLayerCode() const;  // 1

    // The neuron part of Clone: copies every neuron of source (same numNeurons) into nodes.
    void CopyNeuronsFrom(const TSimpleLayer* source);

    TBasicNeuron* nodes;  // owned, numNeurons neurons
};

// The input layer: at the network's input position it copies the input vector unchanged.
class TSimpleInputLayer : public TSimpleLayer {
public:
    // A simple layer with the "linear" function.
    TSimpleInputLayer(TBasicNetwork* network, int layerNum, int numNeurons);

    // Input values at the input position; elsewhere a warning and zeros. No function is applied
    // and no matrix is consulted.
    void Recall(const double* input) override;
    const char* GetLayerType() const override;  // "Input"
    TBasicLayer* Clone(TBasicNetwork* network) const override;
};

// A layer of gain neurons.
class TGainLayer : public TBasicLayer {
public:
    TGainLayer(TBasicNetwork* network, int layerNum, int numNeurons, double gain);

    void ApplyActFunctions(double* net) override;
    TBasicNeuron* GetNeuron(int i) override;
    const char* GetLayerType() const override;  // "Gain"
    void Destroy() override;
    TBasicLayer* Clone(TBasicNetwork* network) const override;
    void RemoveNeuron(int i) override;
    void InsertNeuron(int i) override;
    ~TGainLayer() override;

    // Gives every neuron the same gain.
    void SetGain(double gain);

    TGainNeuron* nodes;  // owned, numNeurons neurons
};

}  // namespace ruvo

#endif
