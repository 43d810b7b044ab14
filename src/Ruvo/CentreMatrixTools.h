#ifndef RUVO_RUVO_CENTREMATRIXTOOLS_H
#define RUVO_RUVO_CENTREMATRIXTOOLS_H

// What the two centre matrices (TToConditionConnections, TToOutputConnections) share: finding
// their layers, and the walk over their arcs. In both, the k-th arc has its own flags byte
// flags[k] and its own centre; they differ only in which end of the arc k numbers and where the
// centre is stored.

#include "NeuralNets/TBasicConnections.h"
#include "NeuralNets/TBasicNetwork.h"

namespace ruvo {

// The network's layer `index`, or null when there is no such layer (yet).
inline TBasicLayer* LayerAt(const TBasicNetwork* network, int index) {
    if (network == nullptr || network->layers == nullptr || index < 0 ||
        index >= network->numLayers) {
        return nullptr;
    }
    return network->layers[index];
}

// For k = begin ... end - 1, ascending, whose flags byte passes the mask test: setArc(k) stores
// the arc's neuron indices and weight pointers in the visitor, then the arc's trainable bit is
// stored and the visitor is shown the arc. Visitor is TIterateObj, TIterateObj2 or TIterateObj3.
// Inlined, so that the walk costs one flags test and one Visit per arc.
template <class Visitor, class SetArc>
inline void VisitFlaggedArcs(
    Visitor& visitor, const unsigned char* flags, int begin, int end, int mask, SetArc setArc) {
    for (int k = begin; k < end; ++k) {
        if (!PassesMask(flags[k], mask)) {
            continue;
        }
        setArc(k);
        visitor.trainable = (flags[k] & FMaskTrainable) != 0 ? 1 : 0;
        visitor.Visit();
    }
}

}  // namespace ruvo

#endif
