#include "NeuralNets/TArcsIterator.h"

#include "KQmessage/Check.h"
#include "NeuralNets/TBasicNetwork.h"

namespace ruvo {

bool TArcsIterator::HasArc() const {
    return IsOnArc();
}

TArcsIterator::~TArcsIterator() = default;

// ---------------------------------------------------------------------------------------------
// Bases holding the state

TInAllArcsIterator::TInAllArcsIterator(TBasicNetwork* net)
    : network(net),
      fromLayer(-1),
      fromIndex(-1),
      toLayer(-1),
      toIndex(-1),
      fromNode(nullptr),
      toNode(nullptr),
      weight(nullptr),
      lastIndex(-1),
      conn(nullptr) {}

void TInAllArcsIterator::Start(TBasicNeuron* neuron) {
    Start(neuron->layerNum, neuron->index);
}

void TInAllArcsIterator::Start(int, int) {}

TInLayerArcsIterator::TInLayerArcsIterator(TBasicNetwork* net)
    : network(net),
      fromLayer(-1),
      fromIndex(-1),
      toLayer(-1),
      toIndex(-1),
      fromNode(nullptr),
      toNode(nullptr),
      weight(nullptr),
      lastIndex(-1),
      conn(nullptr) {}

void TInLayerArcsIterator::Start(TBasicNeuron* neuron) {
    Start(neuron->layerNum, neuron->index, 0);
}

void TInLayerArcsIterator::Start(int, int, int) {}

// ---------------------------------------------------------------------------------------------
// TConnInAllArcsIterator

TConnInAllArcsIterator::TConnInAllArcsIterator(TBasicNetwork* net) : TInAllArcsIterator(net) {}

int TConnInAllArcsIterator::GetFromLayer() const {
    return fromLayer;
}

int TConnInAllArcsIterator::GetToLayer() const {
    return toLayer;
}

int TConnInAllArcsIterator::GetFromIndex() const {
    return fromIndex;
}

int TConnInAllArcsIterator::GetToIndex() const {
    return toIndex;
}

TBasicNeuron* TConnInAllArcsIterator::GetToNode() const {
    return toNode;
}

TBasicNeuron* TConnInAllArcsIterator::GetFromNode() const {
    return fromNode;
}

double* TConnInAllArcsIterator::GetWeight() const {
    return weight;
}

bool TConnInAllArcsIterator::IsOnArc() const {
    return conn != nullptr;
}

void TConnInAllArcsIterator::Start(int layer, int neuron) {
    RUVO_CHECK(0 <= layer && layer < network->numLayers);
    toLayer = layer;
    toIndex = neuron;
    toNode = network->layers[layer]->GetNeuron(neuron);
    fromLayer = -1;
    fromIndex = -1;
    fromNode = nullptr;
    weight = nullptr;
    lastIndex = -1;
    conn = nullptr;
}

void TConnInAllArcsIterator::StandOn(int layer, int neuron) {
    fromLayer = layer;
    fromIndex = neuron;
    conn = network->priv_conns_index[toLayer][layer];
    lastIndex = network->layers[layer]->numNeurons - 1;
    fromNode = network->layers[layer]->GetNeuron(neuron);
    weight = conn->GetWeight(neuron, toIndex);
}

bool TConnInAllArcsIterator::Next() {
    RUVO_CHECK(toLayer >= 0);  // started
    if (conn != nullptr && fromIndex < lastIndex) {
        StandOn(fromLayer, fromIndex + 1);
        return true;
    }
    while (fromLayer < network->numLayers - 1) {
        ++fromLayer;
        if (network->priv_conns_index[toLayer][fromLayer]->IsConnected() &&
            network->layers[fromLayer]->numNeurons > 0) {
            StandOn(fromLayer, 0);
            return true;
        }
    }
    // Past the last layer, so that Prev comes back to the last arc.
    fromLayer = network->numLayers;
    conn = nullptr;
    return false;
}

bool TConnInAllArcsIterator::Prev() {
    RUVO_CHECK(toLayer >= 0);  // started
    if (conn != nullptr && fromIndex > 0) {
        StandOn(fromLayer, fromIndex - 1);
        return true;
    }
    while (fromLayer > 0) {
        --fromLayer;
        if (network->priv_conns_index[toLayer][fromLayer]->IsConnected() &&
            network->layers[fromLayer]->numNeurons > 0) {
            StandOn(fromLayer, network->layers[fromLayer]->numNeurons - 1);
            return true;
        }
    }
    // Before the first layer, so that Next comes back to the first arc.
    fromLayer = -1;
    conn = nullptr;
    return false;
}

// ---------------------------------------------------------------------------------------------
// TConnInLayerArcsIterator

TConnInLayerArcsIterator::TConnInLayerArcsIterator(TBasicNetwork* net)
    : TInLayerArcsIterator(net) {}

int TConnInLayerArcsIterator::GetFromLayer() const {
    return fromLayer;
}

int TConnInLayerArcsIterator::GetToLayer() const {
    return toLayer;
}

int TConnInLayerArcsIterator::GetFromIndex() const {
    return fromIndex;
}

int TConnInLayerArcsIterator::GetToIndex() const {
    return toIndex;
}

TBasicNeuron* TConnInLayerArcsIterator::GetToNode() const {
    return toNode;
}

TBasicNeuron* TConnInLayerArcsIterator::GetFromNode() const {
    return fromNode;
}

double* TConnInLayerArcsIterator::GetWeight() const {
    return weight;
}

bool TConnInLayerArcsIterator::IsOnArc() const {
    return conn != nullptr && fromIndex >= 0 && fromIndex <= lastIndex;
}

void TConnInLayerArcsIterator::Start(int layer, int neuron, int source) {
    RUVO_CHECK(0 <= layer && layer < network->numLayers);
    RUVO_CHECK(0 <= source && source < network->numLayers);
    toLayer = layer;
    toIndex = neuron;
    toNode = network->layers[layer]->GetNeuron(neuron);
    fromLayer = source;
    fromIndex = -1;
    fromNode = nullptr;
    weight = nullptr;
    lastIndex = network->layers[source]->numNeurons - 1;
    conn = network->priv_conns_index[layer][source];
}

void TConnInLayerArcsIterator::StandOn(int neuron) {
    fromIndex = neuron;
    fromNode = network->layers[fromLayer]->GetNeuron(neuron);
    weight = conn->GetWeight(neuron, toIndex);
}

bool TConnInLayerArcsIterator::Next() {
    RUVO_CHECK(conn != nullptr);  // started
    if (fromIndex < lastIndex) {
        StandOn(fromIndex + 1);
        return true;
    }
    fromIndex = lastIndex + 1;
    fromNode = nullptr;
    weight = nullptr;
    return false;
}

bool TConnInLayerArcsIterator::Prev() {
    RUVO_CHECK(conn != nullptr);  // started
    if (fromIndex > 0) {
        StandOn(fromIndex - 1);
        return true;
    }
    fromIndex = -1;
    fromNode = nullptr;
    weight = nullptr;
    return false;
}

}  // namespace ruvo
