#include <cstddef>
#include <cstdio>
#include <memory>

#include "KQmessage/Check.h"
#include "NeuralNets/TBasicNetwork.h"

namespace ruvo {

// ---------------------------------------------------------------------------------------------
// Neurons

TBasicNeuron::TBasicNeuron()
    : layerNum(0), index(0), activation(nullptr), layer(nullptr), actFunction(ActError) {}

TBasicNeuron::~TBasicNeuron() = default;

void TBasicNeuron::Activate(double net) {
    actFunction(this, net);
}

int TBasicNeuron::GetNumParameters() const {
    return 0;
}

void TBasicNeuron::GetParameters(double*) const {}

void TBasicNeuron::SetParameters(const double*) {}

const char* TBasicNeuron::GetParameterName(int) const {
    RUVO_CHECK_TEXT(false, "false");
    return nullptr;
}

void TBasicNeuron::CopyFrom(const TBasicNeuron*) {}

void TBasicNeuron::SetActFunction(TActFunction fn) {
    actFunction = fn;
    if (layer != nullptr) {
        layer->actFunction = nullptr;
    }
}

void TBasicNeuron::CopyNeuron(const TBasicNeuron* source, TBasicLayer* owner, double* value) {
    layerNum = source->layerNum;
    index = source->index;
    actFunction = source->actFunction;
    CopyFrom(source);
    layer = owner;
    activation = value;
}

TGainNeuron::TGainNeuron() : gain(1.0) {}

int TGainNeuron::GetNumParameters() const {
    return 1;
}

void TGainNeuron::GetParameters(double* values) const {
    values[0] = gain;
}

void TGainNeuron::SetParameters(const double* values) {
    gain = values[0];
}

const char* TGainNeuron::GetParameterName(int i) const {
    RUVO_CHECK(i == 0);
    return "Gain";
}

// ---------------------------------------------------------------------------------------------
// Neuron arrays shared by the simple and the gain layer

namespace {

// Copies a gain along with the base fields; the gain layer does this itself, not CopyFrom.
void CopyExtra(TBasicNeuron*, const TBasicNeuron*) {}
void CopyExtra(TGainNeuron* target, const TGainNeuron* source) {
    target->gain = source->gain;
}

// The activation pass of a layer with a contiguous neuron array: the common function fn, or each
// neuron's own when fn is null, applied to net[i] for every neuron i. No virtual call per neuron.
template <class Neuron>
void ApplyToNeurons(Neuron* nodes, int count, TActFunction fn, const double* net) {
    if (fn != nullptr) {
        for (int i = 0; i < count; ++i) {
            fn(&nodes[i], net[i]);
        }
    } else {
        for (int i = 0; i < count; ++i) {
            nodes[i].actFunction(&nodes[i], net[i]);
        }
    }
}

// Fresh neurons attached to layer with the "error" function, layerNum and index set.
template <class Neuron>
Neuron* NewNeurons(TBasicLayer* layer, int count) {
    Neuron* nodes = new Neuron[count];
    RUVO_CHECK(nodes != NULL);
    for (int i = 0; i < count; ++i) {
        nodes[i].layer = layer;
        nodes[i].activation = layer->activations + i;
        nodes[i].layerNum = layer->layerNum;
        nodes[i].index = i;
        nodes[i].actFunction = ActError;
    }
    return nodes;
}

// Copies source[0 .. count-1] into target, attaching them to layer.
template <class Neuron>
void CopyNeurons(Neuron* target, const Neuron* source, int count, TBasicLayer* layer) {
    for (int i = 0; i < count; ++i) {
        target[i].CopyNeuron(&source[i], layer, layer->activations + i);
        CopyExtra(&target[i], &source[i]);
    }
}

// Replaces *nodes (count neurons) by a new array without neuron k; the moved neurons take their
// new positions as indices.
template <class Neuron>
void DropNeuron(Neuron** nodes, int count, int k, TBasicLayer* layer) {
    RUVO_CHECK(0 <= k && k < count);
    std::unique_ptr<Neuron[]> result(new Neuron[count - 1]);
    for (int i = 0; i < count - 1; ++i) {
        const Neuron& source = (*nodes)[i < k ? i : i + 1];
        result[i].CopyNeuron(&source, layer, layer->activations + i);
        CopyExtra(&result[i], &source);
        result[i].index = i;
    }
    delete[] * nodes;
    *nodes = result.release();
}

// A new array with a new neuron at k. REQUIRES: layer->activations already has count + 1 values.
template <class Neuron>
Neuron* WithNeuron(const Neuron* nodes, int count, int k, TBasicLayer* layer) {
    RUVO_CHECK(0 <= k && k <= count);
    std::unique_ptr<Neuron[]> result(new Neuron[count + 1]);
    for (int i = 0; i < count; ++i) {
        const int position = i < k ? i : i + 1;
        result[position].CopyNeuron(&nodes[i], layer, layer->activations + position);
        CopyExtra(&result[position], &nodes[i]);
        result[position].index = position;
    }
    Neuron& added = result[k];
    added.layerNum = layer->layerNum;
    added.index = k;
    added.layer = layer;
    added.activation = layer->activations + k;
    added.actFunction = layer->actFunction != nullptr ? layer->actFunction : ActError;
    return result.release();
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TBasicLayer

TBasicLayer::TBasicLayer(TBasicNetwork* net, int number, int count)
    : network(net),
      actFunction(nullptr),
      numNeurons(count),
      layerNum(number),
      activations(new double[count]()),
      numDimensions(0),
      dimensions(nullptr) {
    RUVO_CHECK(count >= 0);
}

TBasicLayer::~TBasicLayer() {
    delete[] activations;
    delete[] dimensions;
}

void TBasicLayer::ApplyActFunctions(double* net) {
    if (actFunction != nullptr) {
        for (int i = 0; i < numNeurons; ++i) {
            actFunction(GetNeuron(i), net[i]);
        }
    } else {
        for (int i = 0; i < numNeurons; ++i) {
            TBasicNeuron* neuron = GetNeuron(i);
            neuron->actFunction(neuron, net[i]);
        }
    }
}

void TBasicLayer::RecallFrom(const double* input, const char* warning) {
    if (layerNum == network->inLayer) {
        std::fprintf(stderr, "%s\n", warning);
        for (int i = 0; i < numNeurons; ++i) {
            activations[i] = input[i];
        }
    } else {
        for (int i = 0; i < numNeurons; ++i) {
            activations[i] = 0.0;
        }
    }
    // Only lower-numbered layers feed a layer.
    TBasicConnections** row = network->priv_conns_index[layerNum];
    for (int i = 0; i < layerNum; ++i) {
        row[i]->Propagate(activations);
    }
    ApplyActFunctions(activations);
}

void TBasicLayer::Recall(const double* input) {
    RecallFrom(input, "!Warning: changed input layer (TSimpleLayer)");
}

void TBasicLayer::InsertNeuron(int) {
    RUVO_CHECK_TEXT(false, "false");
}

void TBasicLayer::SetActFunction(TActFunction fn) {
    actFunction = fn;
    for (int i = 0; i < numNeurons; ++i) {
        GetNeuron(i)->actFunction = fn;
    }
}

TActFunction TBasicLayer::GetActFunction() {
    if (actFunction != nullptr) {
        return actFunction;
    }
    if (numNeurons == 0) {
        actFunction = ActNull;
        return actFunction;
    }
    const TActFunction first = GetNeuron(0)->actFunction;
    for (int i = 1; i < numNeurons; ++i) {
        if (GetNeuron(i)->actFunction != first) {
            return nullptr;
        }
    }
    actFunction = first;
    return actFunction;
}

void TBasicLayer::SetDimensions(int count, const int* parameters) {
    RUVO_CHECK(count >= 0);
    int* copy = nullptr;
    if (count > 0) {
        RUVO_CHECK_TEXT(parameters != nullptr, "dimensions != NULL");
        copy = new int[count];
        for (int i = 0; i < count; ++i) {
            copy[i] = parameters[i];
        }
    }
    delete[] dimensions;
    dimensions = copy;
    numDimensions = count;
}

void TBasicLayer::GetDimensions(int* parameters) const {
    if (numDimensions == 0) {
        return;
    }
    RUVO_CHECK(parameters != NULL);
    for (int i = 0; i < numDimensions; ++i) {
        parameters[i] = dimensions[i];
    }
}

void TBasicLayer::CopyBaseFrom(const TBasicLayer* source) {
    RUVO_CHECK(source->numNeurons == numNeurons);
    ReplaceActivations(source->numNeurons);
    SetDimensions(source->numDimensions, source->dimensions);
    actFunction = source->actFunction;
}

void TBasicLayer::ReplaceActivations(int count) {
    double* fresh = new double[count]();
    delete[] activations;
    activations = fresh;
}

// ---------------------------------------------------------------------------------------------
// TSimpleLayer

TSimpleLayer::TSimpleLayer(TBasicNetwork* net, int number, int count)
    : TBasicLayer(net, number, count), nodes(NewNeurons<TBasicNeuron>(this, count)) {}

TSimpleLayer::~TSimpleLayer() {
    delete[] nodes;
}

void TSimpleLayer::ApplyActFunctions(double* net) {
    ApplyToNeurons(nodes, numNeurons, actFunction, net);
}

TBasicNeuron* TSimpleLayer::GetNeuron(int i) {
    RUVO_CHECK(0 <= i && i < numNeurons);
    return &nodes[i];
}

const char* TSimpleLayer::GetLayerType() const {
    return "Simple";
}

void TSimpleLayer::Destroy() {
    delete this;
}

TBasicLayer* TSimpleLayer::Clone(TBasicNetwork* net) const {
    std::unique_ptr<TSimpleLayer> copy(new TSimpleLayer(net, layerNum, numNeurons));
    copy->CopyBaseFrom(this);
    copy->CopyNeuronsFrom(this);
    return copy.release();
}

void TSimpleLayer::CopyNeuronsFrom(const TSimpleLayer* source) {
    RUVO_CHECK(source->numNeurons == numNeurons);
    CopyNeurons(nodes, source->nodes, numNeurons, this);
}

void TSimpleLayer::RemoveNeuron(int i) {
    DropNeuron(&nodes, numNeurons, i, this);
}

void TSimpleLayer::InsertNeuron(int i) {
    RUVO_CHECK(0 <= i && i <= numNeurons);
    ReplaceActivations(numNeurons + 1);
    TBasicNeuron* fresh = WithNeuron(nodes, numNeurons, i, this);
    delete[] nodes;
    nodes = fresh;
}

int TSimpleLayer::GetLayerCode() const {
    return 1;
}

// ---------------------------------------------------------------------------------------------
// TSimpleInputLayer

TSimpleInputLayer::TSimpleInputLayer(TBasicNetwork* net, int number, int count)
    : TSimpleLayer(net, number, count) {
    SetActFunction(ActLinear);
}

void TSimpleInputLayer::Recall(const double* input) {
    if (layerNum == network->inLayer) {
        for (int i = 0; i < numNeurons; ++i) {
            activations[i] = input[i];
        }
    } else {
        std::fprintf(stderr, "!Warning: changed input layer (TSimpleInputLayer)\n");
        for (int i = 0; i < numNeurons; ++i) {
            activations[i] = 0.0;
        }
    }
}

const char* TSimpleInputLayer::GetLayerType() const {
    return "Input";
}

TBasicLayer* TSimpleInputLayer::Clone(TBasicNetwork* net) const {
    std::unique_ptr<TSimpleInputLayer> copy(new TSimpleInputLayer(net, layerNum, numNeurons));
    copy->CopyBaseFrom(this);
    copy->CopyNeuronsFrom(this);
    return copy.release();
}

// ---------------------------------------------------------------------------------------------
// TGainLayer

TGainLayer::TGainLayer(TBasicNetwork* net, int number, int count, double gain)
    : TBasicLayer(net, number, count), nodes(NewNeurons<TGainNeuron>(this, count)) {
    SetGain(gain);
}

TGainLayer::~TGainLayer() {
    delete[] nodes;
}

void TGainLayer::ApplyActFunctions(double* net) {
    ApplyToNeurons(nodes, numNeurons, actFunction, net);
}

TBasicNeuron* TGainLayer::GetNeuron(int i) {
    RUVO_CHECK(0 <= i && i < numNeurons);
    return &nodes[i];
}

const char* TGainLayer::GetLayerType() const {
    return "Gain";
}

void TGainLayer::Destroy() {
    delete this;
}

TBasicLayer* TGainLayer::Clone(TBasicNetwork* net) const {
    std::unique_ptr<TGainLayer> copy(new TGainLayer(net, layerNum, numNeurons, 1.0));
    copy->CopyBaseFrom(this);
    CopyNeurons(copy->nodes, nodes, numNeurons, copy.get());
    return copy.release();
}

void TGainLayer::RemoveNeuron(int i) {
    DropNeuron(&nodes, numNeurons, i, this);
}

void TGainLayer::InsertNeuron(int i) {
    RUVO_CHECK(0 <= i && i <= numNeurons);
    ReplaceActivations(numNeurons + 1);
    TGainNeuron* fresh = WithNeuron(nodes, numNeurons, i, this);
    // The new neuron takes neuron 0's gain (1.0 in a layer that had none).
    fresh[i].gain = numNeurons > 0 ? nodes[0].gain : 1.0;
    delete[] nodes;
    nodes = fresh;
}

void TGainLayer::SetGain(double gain) {
    for (int i = 0; i < numNeurons; ++i) {
        nodes[i].gain = gain;
    }
}

}  // namespace ruvo
