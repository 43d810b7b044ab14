#include "Ruvo/TToOutputConnections.h"

#include <memory>

#include "KQmessage/Check.h"
#include "KQmessage/KQML.h"
#include "NeuralNets/TBasicNetwork.h"
#include "Ruvo/CentreMatrixTools.h"
#include "Ruvo/TRuvoOutputLayer.h"

namespace ruvo {

namespace {

// True when the output layer's layout describes exactly numArcs action neurons, each output with
// at least two functions, so the centres can be spaced.
bool LayoutFits(const TRuvoOutputLayer* layer, int numArcs) {
    if (layer->mfPerOutput == nullptr || layer->totalMFs != numArcs) {
        return false;
    }
    for (int o = 0; o < layer->numNeurons; ++o) {
        if (layer->mfPerOutput[o] < 2) {
            return false;
        }
    }
    return true;
}

}  // namespace

TToOutputConnections::TToOutputConnections(TBasicNetwork* net, int fromLayer, int toLayer)
    : TBasicConnections(net, fromLayer, toLayer),
      outputLayer(dynamic_cast<TRuvoOutputLayer*>(LayerAt(net, toLayer))),
      centres(nullptr),
      flags(nullptr),
      numArcs(0) {
    const TBasicLayer* actions = LayerAt(net, fromLayer);
    if (outputLayer == nullptr || actions == nullptr) {
        throw TException("ToOutputConnections need an action layer and a defuzzify layer",
                         "Bad Parameter", "TToOutputConnections::TToOutputConnections", nullptr);
    }
    numArcs = actions->numNeurons;
    std::unique_ptr<double[]> newCentres(new double[numArcs]());
    flags = new unsigned char[numArcs];
    centres = newCentres.release();
    for (int a = 0; a < numArcs; ++a) {
        flags[a] = FMaskAll;
    }
    // Until the creator sets them, the centres are evenly spaced as ResetCentres gives them.
    if (LayoutFits(outputLayer, numArcs)) {
        ResetCentres();
    }
}

TToOutputConnections::~TToOutputConnections() {
    delete[] centres;
    delete[] flags;
}

bool TToOutputConnections::IsConnected() const {
    return true;
}

double* TToOutputConnections::GetWeight(int f, int /*to*/) {
    RUVO_CHECK(f >= 0 && f < numArcs);
    return &centres[f];
}

bool TToOutputConnections::IsValid(int f, int t) const {
    return f >= 0 && f < numArcs && f < outputLayer->totalMFs && outputLayer->outputOf != nullptr &&
           t >= 0 && t < outputLayer->numNeurons && outputLayer->outputOf[f] == t;
}

bool TToOutputConnections::IsTrainable(int f, int t) const {
    return IsValid(f, t) && (flags[f] & FMaskTrainable) != 0;
}

void TToOutputConnections::PruneWeight(int /*from*/, int /*to*/) {}

void TToOutputConnections::AddWeight(int /*from*/, int /*to*/) {}

void TToOutputConnections::UnfreezeWeight(int f, int t) {
    SetFlags(f, t, FMaskAll);
}

void TToOutputConnections::FreezeWeight(int f, int t) {
    SetFlags(f, t, FMaskExists);
}

// Every walk visits arc (a, outputOf[a]) for some action neurons a: the per-arc work is one flags
// test and one Visit. Action neurons beyond the output layer's layout have no arc.

namespace {

// Shows the visitor the arcs (a, outputOf[a]) of the action neurons a of the layout, ascending,
// that pass the mask test; centres(a) stores the weight pointers of arc a. No arcs while the
// layer has no layout.
template <class Visitor, class Centres>
void VisitAllArcs(Visitor& visitor,
                  const TRuvoOutputLayer* layer,
                  const unsigned char* flags,
                  int numArcs,
                  int mask,
                  Centres centres) {
    const int* outputOf = layer->outputOf;
    if (outputOf == nullptr) {
        return;
    }
    const int count = numArcs < layer->totalMFs ? numArcs : layer->totalMFs;
    VisitFlaggedArcs(visitor, flags, 0, count, mask, [&](int a) {
        visitor.fromNeuron = a;
        visitor.toNeuron = outputOf[a];
        centres(a);
    });
}

}  // namespace

void TToOutputConnections::IterateInArcs(TIterateObj& visitor, int t, int mask) {
    visitor.Bind(network->layers[from], network->layers[to]);
    if (t < 0 || t >= outputLayer->numNeurons || outputLayer->mfPerOutput == nullptr) {
        return;
    }
    const int first = outputLayer->FirstMFOfOutput(t);
    const int end = first + outputLayer->mfPerOutput[t];
    VisitFlaggedArcs(visitor, flags, first, end < numArcs ? end : numArcs, mask, [&](int a) {
        visitor.fromNeuron = a;
        visitor.toNeuron = t;
        visitor.weight = &centres[a];
    });
}

void TToOutputConnections::IterateOutArcs(TIterateObj& visitor, int f, int mask) {
    visitor.Bind(network->layers[from], network->layers[to]);
    if (f < 0 || f >= numArcs || f >= outputLayer->totalMFs || outputLayer->outputOf == nullptr) {
        return;
    }
    const int t = outputLayer->outputOf[f];
    VisitFlaggedArcs(visitor, flags, f, f + 1, mask, [&](int a) {
        visitor.fromNeuron = a;
        visitor.toNeuron = t;
        visitor.weight = &centres[a];
    });
}

void TToOutputConnections::IterateArcs(TIterateObj& visitor, int mask) {
    visitor.Bind(network->layers[from], network->layers[to]);
    VisitAllArcs(visitor, outputLayer, flags, numArcs, mask,
                 [&](int a) { visitor.weight = &centres[a]; });
}

void TToOutputConnections::IterateArcs2(TIterateObj2& visitor, TBasicNetwork* network2, int mask) {
    visitor.Bind(network, network2, from, to);
    // Bind checked that the peer matrix has this matrix's type name, so it is of this class.
    TToOutputConnections* peer = static_cast<TToOutputConnections*>(visitor.conn2);
    RUVO_CHECK(peer->numArcs == numArcs);
    VisitAllArcs(visitor, outputLayer, flags, numArcs, mask, [&](int a) {
        visitor.weight1 = &centres[a];
        visitor.weight2 = &peer->centres[a];
    });
}

void TToOutputConnections::IterateArcs3(TIterateObj3& visitor,
                                        TBasicNetwork* network2,
                                        TBasicNetwork* network3,
                                        int mask) {
    visitor.Bind(network, network2, network3, from, to);
    TToOutputConnections* peer2 = static_cast<TToOutputConnections*>(visitor.conn2);
    TToOutputConnections* peer3 = static_cast<TToOutputConnections*>(visitor.conn3);
    RUVO_CHECK(peer2->numArcs == numArcs && peer3->numArcs == numArcs);
    VisitAllArcs(visitor, outputLayer, flags, numArcs, mask, [&](int a) {
        visitor.weight1 = &centres[a];
        visitor.weight2 = &peer2->centres[a];
        visitor.weight3 = &peer3->centres[a];
    });
}

const char* TToOutputConnections::GetConnectionsNType() const {
    return "ToOutputConnections";
}

char TToOutputConnections::GetFlags(int f, int /*to*/) const {
    RUVO_CHECK(f >= 0 && f < numArcs);
    return static_cast<char>(flags[f]);
}

void TToOutputConnections::SetFlags(int f, int /*to*/, char value) {
    RUVO_CHECK(f >= 0 && f < numArcs);
    flags[f] = static_cast<unsigned char>(value);
}

void TToOutputConnections::Destroy() {
    delete this;
}

TBasicConnections* TToOutputConnections::Clone(TBasicNetwork* net) const {
    std::unique_ptr<TToOutputConnections> copy(new TToOutputConnections(net, from, to));
    RUVO_CHECK(copy->numArcs == numArcs);
    for (int a = 0; a < numArcs; ++a) {
        copy->centres[a] = centres[a];
    }
    return copy.release();
}

void TToOutputConnections::DeleteFromNeuron(int /*index*/) {
    RUVO_CHECK(false);
}

void TToOutputConnections::DeleteToNeuron(int /*index*/) {
    RUVO_CHECK(false);
}

void TToOutputConnections::ResetCentres() {
    RUVO_CHECK(outputLayer->mfPerOutput != nullptr || outputLayer->numNeurons == 0);
    RUVO_CHECK(outputLayer->totalMFs == numArcs);
    int first = 0;
    for (int o = 0; o < outputLayer->numNeurons; ++o) {
        const int k = outputLayer->mfPerOutput[o];
        RUVO_CHECK_TEXT(k >= 2, "NdxMF >= 2");
        centres[first] = 0.0;
        for (int s = 1; s <= k - 2; ++s) {
            centres[first + s] = static_cast<double>(s) / (k - 1);
        }
        centres[first + k - 1] = 1.0;
        first += k;
    }
}

}  // namespace ruvo
