#include <gtest/gtest.h>

#include <memory>
#include <tuple>
#include <vector>

#include "NetTestUtil.h"
#include "NeuralNets/TBasicNetwork.h"
#include "NeuralNets/TConnectedConnections.h"
#include "NeuralNets/TPrunedConnections.h"

namespace ruvo {
namespace {

using test::Cell;
using test::FillWeights;
using test::MakeBasicNetwork;
using test::MakeConnectedNetwork;
using test::TRecordArcs;
using test::WeightsOf;

// A prunable 2 x 3 matrix with 2 of its 6 arcs frozen.
struct TwoFrozen {
    TwoFrozen() : net(MakeBasicNetwork({0, 2, 3})) {
        net->CreateConnections(1, 2);
        conn = Cell(*net, 1, 2);
        FillWeights(conn, [](int f, int t) { return 1.0 + 10.0 * f + t; });
        conn->FreezeWeight(0, 1);
        conn->FreezeWeight(1, 2);
    }
    std::unique_ptr<TBasicNetwork> net;
    TBasicConnections* conn;
};

// The generic operations, called through the base class so the visitors do the work.
TEST(TIterateObjTest, GenericCountsCopiesAndRandomizeRespectTheMask) {
    TwoFrozen m;
    TBasicConnections* c = m.conn;
    EXPECT_EQ(c->TBasicConnections::GetNumWeights(FMaskExists), 6);
    EXPECT_EQ(c->TBasicConnections::GetNumWeights(0), 4);

    for (int mask : {0, FMaskExists}) {
        SCOPED_TRACE(testing::Message() << "mask " << mask);
        std::vector<double> buffer(6, -1.0);
        const int got = c->TBasicConnections::GetWeights(buffer.data(), mask);
        const std::vector<double> before = WeightsOf(c, FMaskExists);
        const int set = c->TBasicConnections::SetWeights(buffer.data(), mask);
        EXPECT_EQ(got, set);
        EXPECT_EQ(WeightsOf(c, FMaskExists), before);
    }

    c->TBasicConnections::RandomizeWeights(0.5, 0.5);
    EXPECT_EQ(WeightsOf(c, FMaskExists), (std::vector<double>{0.5, 0.5, 2.0, 0.5, 0.5, 13.0}));
    c->TBasicConnections::RandomizeWeights(-1.0, 1.0);
    for (int f = 0; f < 2; ++f) {
        for (int t = 0; t < 3; ++t) {
            if (c->IsTrainable(f, t)) {
                EXPECT_GE(*c->GetWeight(f, t), -1.0);
                EXPECT_LT(*c->GetWeight(f, t), 1.0);
            }
        }
    }
    EXPECT_EQ(*c->GetWeight(0, 1), 2.0);
}

TEST(TIterateObjTest, GenericPropagateAddsAndUsesFrozenArcs) {
    TwoFrozen m;
    m.net->layers[1]->activations[0] = 1.0;
    m.net->layers[1]->activations[1] = 2.0;
    std::vector<double> net = {1.0, 1.0, 1.0};
    m.conn->TBasicConnections::Propagate(net.data());
    EXPECT_EQ(net, (std::vector<double>{1.0 + 1 + 22, 1.0 + 2 + 24, 1.0 + 3 + 26}));
}

TEST(TIterateObjTest, VisitorsKeepTheirCountersAcrossMatrices) {
    auto net = MakeConnectedNetwork({1, 2, 3});
    net->CreateConnections(0, 2);
    net->CreateConnections(1, 2);
    TIterateObjGetNumWeights counter;
    net->IterateNodeInArcs(counter, 2, 1, FMaskExists);
    EXPECT_EQ(counter.count, 3);
    TRecordArcs recorder;
    net->IterateNodeInArcs(recorder, 2, 1, 0);
    EXPECT_EQ(recorder.Pairs(), (std::vector<std::pair<int, int>>{{0, 1}, {0, 1}, {1, 1}}));
    EXPECT_EQ(recorder.fromLayer, 1);  // bound by the last matrix walked
    TRecordArcs out;
    net->IterateNodeOutArcs(out, 1, 0, 0);
    EXPECT_EQ(out.Pairs(), (std::vector<std::pair<int, int>>{{0, 0}, {0, 1}, {0, 2}}));
}

TEST(TIterateObjTest, BindRecordsTheArcContext) {
    auto net = MakeBasicNetwork({0, 2, 3});
    net->CreateConnections(1, 2);
    TIterateObj visitor;
    visitor.Bind(net->layers[1], net->layers[2]);
    EXPECT_EQ(visitor.fromLayer, 1);
    EXPECT_EQ(visitor.toLayer, 2);
    EXPECT_EQ(visitor.conn, Cell(*net, 1, 2));
    EXPECT_EQ(visitor.fromActs, net->layers[1]->activations);
    EXPECT_EQ(visitor.toActs, net->layers[2]->activations);

    TBasicNetwork copy(*net);
    TIterateObj2 two(net.get(), &copy, 1, 2, 1, 0);
    EXPECT_EQ(two.conn1, Cell(*net, 1, 2));
    EXPECT_EQ(two.conn2, Cell(copy, 1, 2));
    EXPECT_EQ(two.fromNeuron, 1);
    EXPECT_EQ(two.toActs2, copy.layers[2]->activations);
    TIterateObj3 three(net.get(), &copy, &copy, 1, 2, 0, 2);
    EXPECT_EQ(three.conn3, Cell(copy, 1, 2));
    EXPECT_EQ(three.toNeuron, 2);
    EXPECT_EQ(three.fromLayerObj3, copy.layers[1]);
}

TEST(TIterateObjTest, FlagsVisitorsCopyTheFlagsOfExistingArcs) {
    TwoFrozen m;
    m.conn->PruneWeight(0, 0);
    std::vector<char> flags(5, 'x');
    TIterateObjGetFlags get(flags.data());
    m.conn->IterateArcs(get, FMaskExists);
    EXPECT_EQ(get.count, 5);
    EXPECT_EQ(flags, (std::vector<char>{3, 1, 3, 3, 1}));
    const std::vector<unsigned char> all(5, FMaskAll);
    TIterateObjSetFlags set(all.data());
    m.conn->IterateArcs(set, FMaskExists);
    EXPECT_EQ(m.conn->GetNumWeights(0), 5);
    TIterateObjAllUntrainable freeze;
    m.conn->IterateArcs(freeze, FMaskExists);
    EXPECT_EQ(m.conn->GetNumWeights(0), 0);
}

// ---------------------------------------------------------------------------------------------
// Arc iterators

// Network with layers 0 (1), 1 (2), 2 (3), 3 (2); cells into layer 3 from 1 and 2 only.
std::unique_ptr<TConnectedNetwork> IteratorNetwork() {
    auto net = MakeConnectedNetwork({1, 2, 3, 2});
    net->CreateConnections(1, 3);
    net->CreateConnections(2, 3);
    net->CreateConnections(0, 2);
    FillWeights(Cell(*net, 1, 3), [](int f, int t) { return 100.0 + 10 * f + t; });
    FillWeights(Cell(*net, 2, 3), [](int f, int t) { return 200.0 + 10 * f + t; });
    return net;
}

using Arc = std::tuple<int, int, double>;  // from-layer, from-neuron, weight

Arc Current(const TArcsIterator& it) {
    return Arc(it.GetFromLayer(), it.GetFromIndex(), *it.GetWeight());
}

TEST(TConnInAllArcsIteratorTest, WalksEveryConnectedLayerInOrderAndBack) {
    auto net = IteratorNetwork();
    std::unique_ptr<TArcsIterator> it(net->NewArcsIterator());
    it->Start(net->layers[3]->GetNeuron(1));
    EXPECT_FALSE(it->IsOnArc());
    EXPECT_FALSE(it->HasArc());
    std::vector<Arc> forward;
    while (it->Next()) {
        EXPECT_EQ(it->GetToLayer(), 3);
        EXPECT_EQ(it->GetToIndex(), 1);
        EXPECT_EQ(it->GetToNode(), net->layers[3]->GetNeuron(1));
        EXPECT_EQ(it->GetFromNode(),
                  net->layers[it->GetFromLayer()]->GetNeuron(it->GetFromIndex()));
        EXPECT_TRUE(it->IsOnArc());
        forward.push_back(Current(*it));
    }
    const std::vector<Arc> kArcs = {Arc(1, 0, 101), Arc(1, 1, 111), Arc(2, 0, 201), Arc(2, 1, 211),
                                    Arc(2, 2, 221)};
    EXPECT_EQ(forward, kArcs);
    EXPECT_FALSE(it->IsOnArc());
    EXPECT_FALSE(it->Next());

    std::vector<Arc> backward;
    while (it->Prev()) {
        backward.push_back(Current(*it));
    }
    EXPECT_EQ(backward, std::vector<Arc>(kArcs.rbegin(), kArcs.rend()));

    it->Start(net->layers[3]->GetNeuron(0));
    EXPECT_FALSE(it->Prev());
    ASSERT_TRUE(it->Next());
    EXPECT_EQ(Current(*it), Arc(1, 0, 100));
}

TEST(TConnInAllArcsIteratorTest, PrunedArcsAreWalkedToo) {
    auto net = MakeBasicNetwork({0, 2, 1});
    net->CreateConnections(1, 2);
    Cell(*net, 1, 2)->PruneWeight(0, 0);
    TConnInAllArcsIterator it(net.get());
    it.Start(2, 0);
    int count = 0;
    while (it.Next()) {
        ++count;
    }
    EXPECT_EQ(count, 2);
}

TEST(TConnInLayerArcsIteratorTest, WalksOneFromLayer) {
    auto net = IteratorNetwork();
    TConnInLayerArcsIterator it(net.get());
    it.Start(3, 1, 2);
    EXPECT_FALSE(it.IsOnArc());
    std::vector<Arc> arcs;
    while (it.Next()) {
        arcs.push_back(Current(it));
    }
    EXPECT_EQ(arcs, (std::vector<Arc>{Arc(2, 0, 201), Arc(2, 1, 211), Arc(2, 2, 221)}));
    ASSERT_TRUE(it.Prev());
    EXPECT_EQ(Current(it), Arc(2, 2, 221));
    ASSERT_TRUE(it.Prev());
    ASSERT_TRUE(it.Prev());
    EXPECT_EQ(Current(it), Arc(2, 0, 201));
    EXPECT_FALSE(it.Prev());
    EXPECT_FALSE(it.IsOnArc());

    it.Start(net->layers[2]->GetNeuron(2));  // from-layer 0
    ASSERT_TRUE(it.Next());
    EXPECT_EQ(it.GetFromLayer(), 0);
    EXPECT_EQ(it.GetWeight(), Cell(*net, 0, 2)->GetWeight(0, 2));
    EXPECT_FALSE(it.Next());
}

}  // namespace
}  // namespace ruvo
