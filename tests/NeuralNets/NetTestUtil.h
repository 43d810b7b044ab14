#ifndef RUVO_TESTS_NEURALNETS_NETTESTUTIL_H
#define RUVO_TESTS_NEURALNETS_NETTESTUTIL_H

// Small vocabulary for the network-core tests: networks of given layer sizes, filling and reading
// matrices, recording visited arcs.

#include <memory>
#include <utility>
#include <vector>

#include "NeuralNets/TBasicNetwork.h"

namespace ruvo {
namespace test {

// A plain network with one layer per size: a TSimpleInputLayer at position 1 and TSimpleLayer
// elsewhere, every layer but the input one given fn. No connections.
inline std::unique_ptr<TBasicNetwork> MakeBasicNetwork(const std::vector<int>& sizes,
                                                       TActFunction fn = ActLinear) {
    std::unique_ptr<TBasicNetwork> net(new TBasicNetwork(static_cast<int>(sizes.size())));
    for (int i = 0; i < net->numLayers; ++i) {
        if (i == net->inLayer) {
            net->layers[i] = new TSimpleInputLayer(net.get(), i, sizes[i]);
        } else {
            net->layers[i] = new TSimpleLayer(net.get(), i, sizes[i]);
            net->layers[i]->SetActFunction(fn);
        }
    }
    return net;
}

// The same as a TConnectedNetwork.
inline std::unique_ptr<TConnectedNetwork> MakeConnectedNetwork(const std::vector<int>& sizes,
                                                               TActFunction fn = ActLinear) {
    std::unique_ptr<TConnectedNetwork> net(
        new TConnectedNetwork(static_cast<int>(sizes.size()), sizes.data()));
    for (int i = 0; i < net->numLayers; ++i) {
        if (i != net->inLayer) {
            net->layers[i]->SetActFunction(fn);
        }
    }
    return net;
}

inline TBasicConnections* Cell(TBasicNetwork& net, int from, int to) {
    return net.priv_conns_index[to][from];
}

// Sets weight (f, t) of a matrix to value(f, t) through GetWeight.
template <class Fn>
void FillWeights(TBasicConnections* conn, Fn value) {
    for (int f = 0; f < conn->NumFrom(); ++f) {
        for (int t = 0; t < conn->NumTo(); ++t) {
            *conn->GetWeight(f, t) = value(f, t);
        }
    }
}

inline std::vector<double> WeightsOf(TBasicConnections* conn, int mask) {
    std::vector<double> buffer(static_cast<std::size_t>(conn->GetNumWeights(mask)) + 1, -99.0);
    const int written = conn->GetWeights(buffer.data(), mask);
    buffer.resize(static_cast<std::size_t>(written));
    return buffer;
}

inline std::vector<double> WeightsOf(TBasicNetwork& net, int mask) {
    std::vector<double> buffer(static_cast<std::size_t>(net.GetNumWeights(mask)) + 1, -99.0);
    const int written = net.GetWeights(buffer.data(), mask);
    buffer.resize(static_cast<std::size_t>(written));
    return buffer;
}

// One visited arc: (from, to), trainable flag and weight pointer.
struct VisitedArc {
    int from;
    int to;
    int trainable;
    double* weight;
    bool operator==(const VisitedArc& o) const {
        return from == o.from && to == o.to && trainable == o.trainable && weight == o.weight;
    }
};

// Records every arc it is shown.
class TRecordArcs : public TIterateObj {
public:
    void Visit() override { arcs.push_back({fromNeuron, toNeuron, trainable, weight}); }
    std::vector<std::pair<int, int>> Pairs() const {
        std::vector<std::pair<int, int>> pairs;
        for (const VisitedArc& arc : arcs) {
            pairs.emplace_back(arc.from, arc.to);
        }
        return pairs;
    }
    std::vector<VisitedArc> arcs;
};

// The first count numbers RandomWeight(min, max) gives from the current generator state; the
// state is restored afterwards.
inline std::vector<double> NextRandomWeights(int count, double min, double max) {
    const std::uint32_t seed = GetRandomSeed();
    std::vector<double> values;
    for (int i = 0; i < count; ++i) {
        values.push_back(RandomWeight(min, max));
    }
    // Rewind by replaying from seed 1 up to the saved state.
    ResetRandomGenerator();
    while (GetRandomSeed() != seed) {
        RuvoRandom();
    }
    return values;
}

}  // namespace test
}  // namespace ruvo

#endif
