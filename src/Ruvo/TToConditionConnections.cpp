#include "Ruvo/TToConditionConnections.h"

#include "KQmessage/Check.h"
#include "KQmessage/KQML.h"
#include "NeuralNets/TBasicNetwork.h"
#include "Ruvo/CentreMatrixTools.h"
#include "Ruvo/TConditionLayer.h"

namespace ruvo {

TToConditionConnections::TToConditionConnections(TBasicNetwork* net, int fromLayer, int toLayer)
    : TBasicConnections(net, fromLayer, toLayer),
      conditionLayer(dynamic_cast<TConditionLayer*>(LayerAt(net, toLayer))),
      flags(nullptr),
      numArcs(0) {
    if (conditionLayer == nullptr || LayerAt(net, fromLayer) == nullptr) {
        throw TException("ToConditionConnections need an input layer and a condition layer",
                         "Bad Parameter", "TToConditionConnections::TToConditionConnections",
                         nullptr);
    }
    numArcs = conditionLayer->numNeurons;
    flags = new unsigned char[numArcs];
    for (int j = 0; j < numArcs; ++j) {
        flags[j] = FMaskAll;
    }
}

TToConditionConnections::~TToConditionConnections() {
    delete[] flags;
}

bool TToConditionConnections::IsConnected() const {
    return true;
}

double* TToConditionConnections::GetWeight(int /*from*/, int t) {
    RUVO_CHECK(t >= 0 && t < numArcs);
    return &conditionLayer->nodes[t].centre;
}

bool TToConditionConnections::IsValid(int f, int t) const {
    return t >= 0 && t < numArcs && conditionLayer->inputOf != nullptr &&
           conditionLayer->inputOf[t] == f;
}

bool TToConditionConnections::IsTrainable(int f, int t) const {
    return IsValid(f, t) && (flags[t] & FMaskTrainable) != 0;
}

void TToConditionConnections::PruneWeight(int /*from*/, int /*to*/) {}

void TToConditionConnections::AddWeight(int /*from*/, int /*to*/) {}

void TToConditionConnections::UnfreezeWeight(int f, int t) {
    SetFlags(f, t, FMaskAll);
}

void TToConditionConnections::FreezeWeight(int f, int t) {
    SetFlags(f, t, FMaskExists);
}

// Every walk visits arc (inputOf[j], j) for some condition neurons j: the per-arc work is one
// flags test and one Visit.

namespace {

// Shows the visitor the arcs (inputOf[j], j), j = 0 ... numArcs - 1, that pass the mask test;
// centres(j) stores the weight pointers of arc j. No arcs while the layer has no layout.
template <class Visitor, class Centres>
void VisitAllArcs(Visitor& visitor,
                  const TConditionLayer* layer,
                  const unsigned char* flags,
                  int numArcs,
                  int mask,
                  Centres centres) {
    const int* inputOf = layer->inputOf;
    if (inputOf == nullptr) {
        return;
    }
    VisitFlaggedArcs(visitor, flags, 0, numArcs, mask, [&](int j) {
        visitor.fromNeuron = inputOf[j];
        visitor.toNeuron = j;
        centres(j);
    });
}

}  // namespace

void TToConditionConnections::IterateInArcs(TIterateObj& visitor, int t, int mask) {
    visitor.Bind(network->layers[from], network->layers[to]);
    if (t < 0 || t >= numArcs || conditionLayer->inputOf == nullptr) {
        return;
    }
    const int f = conditionLayer->inputOf[t];
    TConditionNeuron* nodes = conditionLayer->nodes;
    VisitFlaggedArcs(visitor, flags, t, t + 1, mask, [&](int j) {
        visitor.fromNeuron = f;
        visitor.toNeuron = j;
        visitor.weight = &nodes[j].centre;
    });
}

void TToConditionConnections::IterateOutArcs(TIterateObj& visitor, int f, int mask) {
    visitor.Bind(network->layers[from], network->layers[to]);
    if (f < 0 || f >= conditionLayer->numInputs) {
        return;
    }
    const int first = conditionLayer->FirstMFOfInput(f);
    const int end = first + conditionLayer->mfPerInput[f];
    TConditionNeuron* nodes = conditionLayer->nodes;
    VisitFlaggedArcs(visitor, flags, first, end < numArcs ? end : numArcs, mask, [&](int j) {
        visitor.fromNeuron = f;
        visitor.toNeuron = j;
        visitor.weight = &nodes[j].centre;
    });
}

void TToConditionConnections::IterateArcs(TIterateObj& visitor, int mask) {
    visitor.Bind(network->layers[from], network->layers[to]);
    TConditionNeuron* nodes = conditionLayer->nodes;
    VisitAllArcs(visitor, conditionLayer, flags, numArcs, mask,
                 [&](int j) { visitor.weight = &nodes[j].centre; });
}

void TToConditionConnections::IterateArcs2(TIterateObj2& visitor,
                                           TBasicNetwork* network2,
                                           int mask) {
    visitor.Bind(network, network2, from, to);
    // Bind checked that the peer matrix has this matrix's type name, so it is of this class.
    const TToConditionConnections* peer =
        static_cast<const TToConditionConnections*>(visitor.conn2);
    RUVO_CHECK(peer->numArcs == numArcs);
    TConditionNeuron* nodes = conditionLayer->nodes;
    TConditionNeuron* nodes2 = peer->conditionLayer->nodes;
    VisitAllArcs(visitor, conditionLayer, flags, numArcs, mask, [&](int j) {
        visitor.weight1 = &nodes[j].centre;
        visitor.weight2 = &nodes2[j].centre;
    });
}

void TToConditionConnections::IterateArcs3(TIterateObj3& visitor,
                                           TBasicNetwork* network2,
                                           TBasicNetwork* network3,
                                           int mask) {
    visitor.Bind(network, network2, network3, from, to);
    const TToConditionConnections* peer2 =
        static_cast<const TToConditionConnections*>(visitor.conn2);
    const TToConditionConnections* peer3 =
        static_cast<const TToConditionConnections*>(visitor.conn3);
    RUVO_CHECK(peer2->numArcs == numArcs && peer3->numArcs == numArcs);
    TConditionNeuron* nodes = conditionLayer->nodes;
    TConditionNeuron* nodes2 = peer2->conditionLayer->nodes;
    TConditionNeuron* nodes3 = peer3->conditionLayer->nodes;
    VisitAllArcs(visitor, conditionLayer, flags, numArcs, mask, [&](int j) {
        visitor.weight1 = &nodes[j].centre;
        visitor.weight2 = &nodes2[j].centre;
        visitor.weight3 = &nodes3[j].centre;
    });
}

const char* TToConditionConnections::GetConnectionsNType() const {
    return "ToConditionConnections";
}

char TToConditionConnections::GetFlags(int /*from*/, int t) const {
    RUVO_CHECK(t >= 0 && t < numArcs);
    return static_cast<char>(flags[t]);
}

void TToConditionConnections::SetFlags(int /*from*/, int t, char value) {
    RUVO_CHECK(t >= 0 && t < numArcs);
    flags[t] = static_cast<unsigned char>(value);
}

void TToConditionConnections::Destroy() {
    delete this;
}

TBasicConnections* TToConditionConnections::Clone(TBasicNetwork* net) const {
    return new TToConditionConnections(net, from, to);
}

void TToConditionConnections::DeleteFromNeuron(int /*index*/) {
    RUVO_CHECK(false);
}

void TToConditionConnections::DeleteToNeuron(int /*index*/) {
    RUVO_CHECK(false);
}

}  // namespace ruvo
