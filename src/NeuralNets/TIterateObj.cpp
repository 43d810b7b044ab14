#include "NeuralNets/TIterateObj.h"

#include <cstring>

#include "KQmessage/Check.h"
#include "NeuralNets/TBasicNetwork.h"

namespace ruvo {

namespace {

bool SameType(const TBasicConnections* a, const TBasicConnections* b) {
    return std::strcmp(a->GetConnectionsNType(), b->GetConnectionsNType()) == 0;
}

// Records the layer objects and activation arrays of the pair (fromL, toL) in network, one
// network's side of a visitor's fields.
void RecordPair(TBasicNetwork* network,
                int fromL,
                int toL,
                TBasicLayer** fromObj,
                TBasicLayer** toObj,
                double** fromActs,
                double** toActs) {
    *fromObj = network->layers[fromL];
    *toObj = network->layers[toL];
    *fromActs = (*fromObj)->activations;
    *toActs = (*toObj)->activations;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The three families

TIterateObj::TIterateObj()
    : fromLayer(0),
      toLayer(0),
      fromNeuron(0),
      toNeuron(0),
      conn(nullptr),
      weight(nullptr),
      trainable(0),
      fromLayerObj(nullptr),
      toLayerObj(nullptr),
      fromActs(nullptr),
      toActs(nullptr) {}

void TIterateObj::Visit() {}

void TIterateObj::Bind(TBasicLayer* from, TBasicLayer* to) {
    fromLayer = from->layerNum;
    toLayer = to->layerNum;
    fromLayerObj = from;
    toLayerObj = to;
    fromActs = from->activations;
    toActs = to->activations;
    conn = from->network->priv_conns_index[toLayer][fromLayer];
}

TIterateObj2::TIterateObj2()
    : fromLayer(0),
      toLayer(0),
      fromNeuron(0),
      toNeuron(0),
      conn1(nullptr),
      conn2(nullptr),
      weight1(nullptr),
      weight2(nullptr),
      trainable(0),
      fromLayerObj1(nullptr),
      toLayerObj1(nullptr),
      fromLayerObj2(nullptr),
      toLayerObj2(nullptr),
      fromActs1(nullptr),
      toActs1(nullptr),
      fromActs2(nullptr),
      toActs2(nullptr) {}

TIterateObj2::TIterateObj2(
    TBasicNetwork* network1, TBasicNetwork* network2, int fromL, int toL, int fromN, int toN)
    : TIterateObj2() {
    Bind(network1, network2, fromL, toL);
    fromNeuron = fromN;
    toNeuron = toN;
}

void TIterateObj2::Visit() {}

void TIterateObj2::Bind(TBasicNetwork* network1, TBasicNetwork* network2, int fromL, int toL) {
    fromLayer = fromL;
    toLayer = toL;
    conn1 = network1->priv_conns_index[toL][fromL];
    conn2 = network2->priv_conns_index[toL][fromL];
    RUVO_CHECK_TEXT(SameType(conn1, conn2),
                    "conn1 -> GetConnectionsNType() == conn2 -> GetConnectionsNType()");
    RecordPair(network1, fromL, toL, &fromLayerObj1, &toLayerObj1, &fromActs1, &toActs1);
    RecordPair(network2, fromL, toL, &fromLayerObj2, &toLayerObj2, &fromActs2, &toActs2);
}

TIterateObj3::TIterateObj3()
    : fromLayer(0),
      toLayer(0),
      fromNeuron(0),
      toNeuron(0),
      conn1(nullptr),
      conn2(nullptr),
      conn3(nullptr),
      weight1(nullptr),
      weight2(nullptr),
      weight3(nullptr),
      trainable(0),
      fromLayerObj1(nullptr),
      toLayerObj1(nullptr),
      fromLayerObj2(nullptr),
      toLayerObj2(nullptr),
      fromLayerObj3(nullptr),
      toLayerObj3(nullptr),
      fromActs1(nullptr),
      toActs1(nullptr),
      fromActs2(nullptr),
      toActs2(nullptr),
      fromActs3(nullptr),
      toActs3(nullptr) {}

TIterateObj3::TIterateObj3(TBasicNetwork* network1,
                           TBasicNetwork* network2,
                           TBasicNetwork* network3,
                           int fromL,
                           int toL,
                           int fromN,
                           int toN)
    : TIterateObj3() {
    Bind(network1, network2, network3, fromL, toL);
    fromNeuron = fromN;
    toNeuron = toN;
}

void TIterateObj3::Visit() {}

void TIterateObj3::Bind(
    TBasicNetwork* network1, TBasicNetwork* network2, TBasicNetwork* network3, int fromL, int toL) {
    fromLayer = fromL;
    toLayer = toL;
    conn1 = network1->priv_conns_index[toL][fromL];
    conn2 = network2->priv_conns_index[toL][fromL];
    conn3 = network3->priv_conns_index[toL][fromL];
    RUVO_CHECK_TEXT(SameType(conn1, conn2),
                    "conn1 -> GetConnectionsNType() == conn2 -> GetConnectionsNType()");
    RUVO_CHECK_TEXT(SameType(conn1, conn3),
                    "conn1 -> GetConnectionsNType() == conn3 -> GetConnectionsNType()");
    RecordPair(network1, fromL, toL, &fromLayerObj1, &toLayerObj1, &fromActs1, &toActs1);
    RecordPair(network2, fromL, toL, &fromLayerObj2, &toLayerObj2, &fromActs2, &toActs2);
    RecordPair(network3, fromL, toL, &fromLayerObj3, &toLayerObj3, &fromActs3, &toActs3);
}

// ---------------------------------------------------------------------------------------------
// Visitors of the generic matrix operations

TIterateObjAggregate::TIterateObjAggregate() : sum(0.0) {}

void TIterateObjAggregate::Visit() {
    sum += fromActs[fromNeuron] * *weight;
}

TIterateObjGetNumWeights::TIterateObjGetNumWeights() : count(0) {}

void TIterateObjGetNumWeights::Visit() {
    ++count;
}

TIterateObjGetWeights::TIterateObjGetWeights(double* buffer) : count(0), cursor(buffer) {}

void TIterateObjGetWeights::Visit() {
    *cursor++ = *weight;
    ++count;
}

TIterateObjSetWeights::TIterateObjSetWeights(const double* buffer) : count(0), cursor(buffer) {}

void TIterateObjSetWeights::Visit() {
    *weight = *cursor++;
    ++count;
}

TIterateObjRandomize::TIterateObjRandomize(double low, double high) : min(low), max(high) {}

void TIterateObjRandomize::Visit() {
    *weight = RandomBoundsEqual(min, max) ? min : RandomWeight(min, max);
}

TIterateObjGetFlags::TIterateObjGetFlags(char* flags) : count(0), buffer(flags) {}

void TIterateObjGetFlags::Visit() {
    buffer[count] = conn->GetFlags(fromNeuron, toNeuron);
    ++count;
}

TIterateObjSetFlags::TIterateObjSetFlags(const unsigned char* flags) : count(0), buffer(flags) {}

void TIterateObjSetFlags::Visit() {
    conn->SetFlags(fromNeuron, toNeuron, static_cast<char>(buffer[count]));
    ++count;
}

void TIterateObjAllUntrainable::Visit() {
    conn->FreezeWeight(fromNeuron, toNeuron);
}

TIterateObjPruneNode::TIterateObjPruneNode() : count(0) {}

void TIterateObjPruneNode::Visit() {
    ++count;
}

}  // namespace ruvo
