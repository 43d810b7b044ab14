#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <utility>
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
using test::NextRandomWeights;
using test::TRecordArcs;
using test::WeightsOf;

// ---------------------------------------------------------------------------------------------
// The random generator

TEST(RandomGeneratorTest, FirstValuesFromSeedOneFollowTheFormula) {
    ResetRandomGenerator();
    EXPECT_EQ(GetRandomSeed(), 1u);
    // The known start of the sequence ...
    const int kFirst[] = {346, 130, 10982, 1090, 11656, 7117};
    // ... and the formula it comes from, replayed independently.
    std::uint32_t seed = 1;
    for (int expected : kFirst) {
        seed = seed * 22695477u + 1u;
        const int formula = static_cast<int>((seed >> 16) & 32767u);
        EXPECT_EQ(formula, expected);
        EXPECT_EQ(RuvoRandom(), expected);
        EXPECT_EQ(GetRandomSeed(), seed);
    }
}

TEST(RandomGeneratorTest, RandomWeightIsRoundedOnceFromExtendedPrecision) {
    ResetRandomGenerator();
    const double kBounds[][2] = {{-1.0, 1.0}, {0.1, 0.7}, {-0.3, 0.0}, {5.0, 5.5}};
    for (const auto& bounds : kBounds) {
        SCOPED_TRACE(testing::Message() << bounds[0] << ".." << bounds[1]);
        const std::uint32_t before = GetRandomSeed();
        const int r = RuvoRandom();
        ResetRandomGenerator();
        while (GetRandomSeed() != before) {
            RuvoRandom();
        }
        const long double expected =
            static_cast<long double>(bounds[0]) +
            (static_cast<long double>(r % 32767) * (1.0L / 32767.0L)) *
                (static_cast<long double>(bounds[1]) - static_cast<long double>(bounds[0]));
        EXPECT_EQ(RandomWeight(bounds[0], bounds[1]), static_cast<double>(expected));
    }
}

TEST(RandomGeneratorTest, ValuesStayBelowTheUpperBound) {
    ResetRandomGenerator();
    for (int i = 0; i < 100000; ++i) {
        const double value = RandomWeight(-1.0, 1.0);
        ASSERT_GE(value, -1.0);
        ASSERT_LT(value, 1.0);
    }
}

// ---------------------------------------------------------------------------------------------
// TEmptyConnections

TEST(TEmptyConnectionsTest, HasNoArcsAndDoesNothing) {
    auto net = MakeBasicNetwork({0, 2, 3});
    TBasicConnections* empty = Cell(*net, 1, 2);
    EXPECT_FALSE(empty->IsConnected());
    EXPECT_STREQ(empty->GetConnectionsNType(), "Empty");
    EXPECT_FALSE(empty->IsValid(0, 0));
    EXPECT_FALSE(empty->IsTrainable(0, 0));
    for (int mask : {0, FMaskExists, FMaskAll}) {
        EXPECT_EQ(empty->GetNumWeights(mask), 0);
    }
    double buffer[2] = {7.0, 8.0};
    EXPECT_EQ(empty->GetWeights(buffer, FMaskExists), 0);
    EXPECT_EQ(empty->SetWeights(buffer, FMaskExists), 0);
    EXPECT_EQ(buffer[0], 7.0);
    std::vector<double> net3 = {1.0, 2.0, 3.0};
    empty->Propagate(net3.data());
    EXPECT_EQ(net3, (std::vector<double>{1.0, 2.0, 3.0}));
    const std::uint32_t seed = GetRandomSeed();
    empty->RandomizeWeights(-1.0, 1.0);
    EXPECT_EQ(GetRandomSeed(), seed);
    TRecordArcs visitor;
    empty->IterateArcs(visitor, FMaskExists);
    EXPECT_TRUE(visitor.arcs.empty());
    TBasicConnections* copy = empty->Clone(net.get());
    EXPECT_STREQ(copy->GetConnectionsNType(), "Empty");
    EXPECT_EQ(copy->from, 1);
    EXPECT_EQ(copy->to, 2);
    copy->Destroy();
}

TEST(TEmptyConnectionsDeathTest, HasNoWeightToChange) {
    auto net = MakeBasicNetwork({0, 2, 3});
    TBasicConnections* empty = Cell(*net, 1, 2);
    EXPECT_DEATH(empty->GetWeight(0, 0), "false");
    EXPECT_DEATH(empty->PruneWeight(0, 0), "false");
    EXPECT_DEATH(empty->AddWeight(0, 0), "false");
    EXPECT_DEATH(empty->FreezeWeight(0, 0), "false");
    EXPECT_DEATH(empty->UnfreezeWeight(0, 0), "false");
}

// ---------------------------------------------------------------------------------------------
// TConnectedConnections

// A connected network 0, 2 inputs, 3 outputs with the matrix 1 -> 2.
struct TwoByThree {
    TwoByThree() : net(MakeConnectedNetwork({0, 2, 3})) {
        net->CreateConnections(1, 2);
        conn = static_cast<TConnectedConnections*>(Cell(*net, 1, 2));
    }
    std::unique_ptr<TConnectedNetwork> net;
    TConnectedConnections* conn;
};

TEST(TConnectedConnectionsTest, NewMatrixIsAllZeroAndAllTrainable) {
    TwoByThree m;
    EXPECT_STREQ(m.conn->GetConnectionsNType(), "FullyConnected");
    EXPECT_TRUE(m.conn->IsConnected());
    for (int mask : {0, FMaskExists, FMaskAll}) {
        EXPECT_EQ(m.conn->GetNumWeights(mask), 6);
    }
    for (int f = 0; f < 2; ++f) {
        for (int t = 0; t < 3; ++t) {
            EXPECT_EQ(*m.conn->GetWeight(f, t), 0.0);
            EXPECT_TRUE(m.conn->IsValid(f, t));
            EXPECT_TRUE(m.conn->IsTrainable(f, t));
            EXPECT_EQ(m.conn->GetFlags(f, t), FMaskAll);
        }
    }
}

TEST(TConnectedConnectionsTest, StorageIsRowByToNeuronButGetWeightsIsByFromNeuron) {
    TwoByThree m;
    FillWeights(m.conn, [](int f, int t) { return 10.0 * f + t; });
    // Storage: row t holds the arcs into to-neuron t.
    EXPECT_EQ(std::vector<double>(m.conn->array_weights, m.conn->array_weights + 6),
              (std::vector<double>{0, 10, 1, 11, 2, 12}));
    for (int t = 0; t < 3; ++t) {
        EXPECT_EQ(m.conn->index_weights[t], m.conn->array_weights + 2 * t);
    }
    for (int mask : {0, FMaskExists}) {
        EXPECT_EQ(WeightsOf(m.conn, mask), (std::vector<double>{0, 1, 2, 10, 11, 12}));
    }
    TRecordArcs visitor;
    m.conn->IterateArcs(visitor, FMaskExists);
    const std::vector<std::pair<int, int>> kStorageOrder = {{0, 0}, {1, 0}, {0, 1},
                                                            {1, 1}, {0, 2}, {1, 2}};
    EXPECT_EQ(visitor.Pairs(), kStorageOrder);
    for (const auto& arc : visitor.arcs) {
        EXPECT_EQ(arc.weight, m.conn->GetWeight(arc.from, arc.to));
        EXPECT_EQ(arc.trainable, 1);
    }
}

TEST(TConnectedConnectionsTest, SetWeightsReadsTheFromNeuronOrder) {
    TwoByThree m;
    const std::vector<double> values = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(m.conn->SetWeights(values.data(), 0), 6);
    EXPECT_EQ(*m.conn->GetWeight(0, 2), 3.0);
    EXPECT_EQ(*m.conn->GetWeight(1, 0), 4.0);
    EXPECT_EQ(WeightsOf(m.conn, 0), values);
}

TEST(TConnectedConnectionsTest, InAndOutArcsOfOneNeuron) {
    TwoByThree m;
    TRecordArcs in;
    m.conn->IterateInArcs(in, 2, FMaskExists);
    EXPECT_EQ(in.Pairs(), (std::vector<std::pair<int, int>>{{0, 2}, {1, 2}}));
    TRecordArcs out;
    m.conn->IterateOutArcs(out, 1, FMaskExists);
    EXPECT_EQ(out.Pairs(), (std::vector<std::pair<int, int>>{{1, 0}, {1, 1}, {1, 2}}));
    EXPECT_EQ(out.arcs[2].weight, m.conn->GetWeight(1, 2));
    EXPECT_EQ(out.fromLayer, 1);
    EXPECT_EQ(out.toLayer, 2);
    EXPECT_EQ(out.conn, m.conn);
    EXPECT_EQ(out.fromActs, m.net->layers[1]->activations);
    EXPECT_EQ(out.toLayerObj, m.net->layers[2]);
}

TEST(TConnectedConnectionsTest, RandomizeWeightsDrawsInStorageOrderAndSkipsDrawsForEqualBounds) {
    TwoByThree m;
    ResetRandomGenerator();
    const std::vector<double> expected = NextRandomWeights(6, -1.0, 1.0);
    m.conn->RandomizeWeights(-1.0, 1.0);
    EXPECT_EQ(std::vector<double>(m.conn->array_weights, m.conn->array_weights + 6), expected);
    for (double w : expected) {
        EXPECT_GE(w, -1.0);
        EXPECT_LT(w, 1.0);
    }
    const std::uint32_t seed = GetRandomSeed();
    m.conn->RandomizeWeights(0.5, 0.5);
    EXPECT_EQ(GetRandomSeed(), seed);
    EXPECT_EQ(WeightsOf(m.conn, 0), std::vector<double>(6, 0.5));

    // The matrices compare the bounds exactly: a bound that is not a number is not equal to the
    // other, so one number is still drawn per weight.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    ResetRandomGenerator();
    for (int i = 0; i < 6; ++i) {
        RandomWeight(-1.0, 1.0);
    }
    const std::uint32_t afterSix = GetRandomSeed();
    ResetRandomGenerator();
    m.conn->RandomizeWeights(nan, nan);
    EXPECT_EQ(GetRandomSeed(), afterSix);
}

TEST(TConnectedConnectionsTest, PropagateAddsToTheNetInput) {
    TwoByThree m;
    FillWeights(m.conn, [](int f, int t) { return 10.0 * f + t; });
    m.net->layers[1]->activations[0] = 2.0;
    m.net->layers[1]->activations[1] = 0.5;
    std::vector<double> net = {100.0, 200.0, 300.0};
    m.conn->Propagate(net.data());
    EXPECT_EQ(net, (std::vector<double>{100.0 + 5.0, 200.0 + 2.0 + 5.5, 300.0 + 4.0 + 6.0}));
}

TEST(TConnectedConnectionsTest, AddAndUnfreezeDoNothingAndFlagsAllIsAccepted) {
    TwoByThree m;
    FillWeights(m.conn, [](int f, int t) { return 1.0 + f + t; });
    m.conn->AddWeight(1, 1);
    m.conn->UnfreezeWeight(1, 1);
    m.conn->SetFlags(1, 1, FMaskExists);
    m.conn->SetFlags(1, 1, FMaskAll);
    EXPECT_EQ(*m.conn->GetWeight(1, 1), 3.0);
    EXPECT_TRUE(m.conn->IsTrainable(1, 1));
    EXPECT_EQ(m.conn->GetFlags(1, 1), FMaskAll);
}

TEST(TConnectedConnectionsTest, CloneHasItsOwnStorage) {
    TwoByThree m;
    FillWeights(m.conn, [](int f, int t) { return 10.0 * f + t; });
    auto other = MakeConnectedNetwork({0, 2, 3});
    TBasicConnections* copy = m.conn->Clone(other.get());
    EXPECT_STREQ(copy->GetConnectionsNType(), "FullyConnected");
    EXPECT_EQ(copy->network, other.get());
    EXPECT_EQ(WeightsOf(copy, 0), WeightsOf(m.conn, 0));
    *copy->GetWeight(1, 2) = -1.0;
    EXPECT_EQ(*m.conn->GetWeight(1, 2), 12.0);
    copy->Destroy();
}

// Matrix-level neuron edits: the layer's size changes first, then the matrix follows.
TEST(TConnectedConnectionsTest, DeletingAFromNeuronKeepsTheOthers) {
    auto net = MakeConnectedNetwork({0, 3, 2});
    net->CreateConnections(1, 2);
    TBasicConnections* conn = Cell(*net, 1, 2);
    FillWeights(conn, [](int f, int t) { return 10.0 * f + t; });
    --net->layers[1]->numNeurons;
    conn->DeleteFromNeuron(1);
    EXPECT_EQ(WeightsOf(conn, 0), (std::vector<double>{0, 1, 20, 21}));
    --net->layers[2]->numNeurons;
    conn->DeleteToNeuron(0);
    EXPECT_EQ(WeightsOf(conn, 0), (std::vector<double>{1, 21}));
}

TEST(TConnectedConnectionsTest, InsertingAFromNeuronShiftsTheOthersAndDrawsTheNewColumn) {
    auto net = MakeConnectedNetwork({0, 2, 3});
    net->CreateConnections(1, 2);
    TBasicConnections* conn = Cell(*net, 1, 2);
    FillWeights(conn, [](int f, int t) { return 10.0 * f + t; });
    ResetRandomGenerator();
    const std::vector<double> drawn = NextRandomWeights(3, -1.0, 1.0);
    ++net->layers[1]->numNeurons;
    conn->InsertFromNeuron(0, -1.0, 1.0, true);
    // By from-neuron: the new neuron 0 (drawn in to-neuron order), then old 0 and old 1.
    EXPECT_EQ(WeightsOf(conn, 0),
              (std::vector<double>{drawn[0], drawn[1], drawn[2], 0, 1, 2, 10, 11, 12}));
    const std::vector<double> row = NextRandomWeights(3, 0.0, 2.0);
    ++net->layers[2]->numNeurons;
    conn->InsertToNeuron(3, 0.0, 2.0, true);
    for (int f = 0; f < 3; ++f) {
        EXPECT_EQ(*conn->GetWeight(f, 3), row[f]);
    }
    --net->layers[1]->numNeurons;
    conn->DeleteFromNeuron(0);
    --net->layers[2]->numNeurons;
    conn->DeleteToNeuron(3);
    EXPECT_EQ(WeightsOf(conn, 0), (std::vector<double>{0, 1, 2, 10, 11, 12}));
}

TEST(TConnectedConnectionsDeathTest, OperationsTheClassDoesNotSupport) {
    TwoByThree m;
    EXPECT_DEATH(m.conn->PruneWeight(0, 0), "false");
    EXPECT_DEATH(m.conn->FreezeWeight(0, 0), "false");
    EXPECT_DEATH(m.conn->FreezeAll(), "false");
    EXPECT_DEATH(m.conn->SetFlags(0, 1, 2), "\\(val==FMaskAll\\) \\|\\| \\(val==FMaskExists\\)");
    EXPECT_DEATH(m.conn->SetFlags(0, 1, 0), "val==FMaskAll");
    ++m.net->layers[1]->numNeurons;
    EXPECT_DEATH(m.conn->InsertFromNeuron(0, 0.0, 1.0, false), "attached");
    --m.net->layers[1]->numNeurons;
    EXPECT_DEATH(m.conn->GetWeight(2, 0), "0 <= from < n_from");
}

TEST(TConnectedConnectionsDeathTest, PeerMatricesMustHaveTheSameType) {
    auto connected = MakeConnectedNetwork({0, 2, 3});
    connected->CreateConnections(1, 2);
    auto basic = MakeBasicNetwork({0, 2, 3});
    basic->CreateConnections(1, 2);  // prunable
    auto third = MakeConnectedNetwork({0, 2, 3});
    third->CreateConnections(1, 2);
    TIterateObj2 two;
    EXPECT_DEATH(two.Bind(connected.get(), basic.get(), 1, 2),
                 "conn1 -> GetConnectionsNType\\(\\) == conn2 -> GetConnectionsNType\\(\\)");
    EXPECT_DEATH(Cell(*connected, 1, 2)->IterateArcs2(two, basic.get(), 0),
                 "conn1 -> GetConnectionsNType\\(\\) == conn2 -> GetConnectionsNType\\(\\)");
    TIterateObj3 three;
    EXPECT_DEATH(Cell(*connected, 1, 2)->IterateArcs3(three, third.get(), basic.get(), 0),
                 "conn1 -> GetConnectionsNType\\(\\) == conn3 -> GetConnectionsNType\\(\\)");
}

TEST(TConnectedConnectionsTest, PeerWalksHandOverTheSameArcInEveryNetwork) {
    TwoByThree a;
    TwoByThree b;
    TwoByThree c;
    FillWeights(a.conn, [](int f, int t) { return 10.0 * f + t; });
    FillWeights(b.conn, [](int f, int t) { return 100.0 + 10.0 * f + t; });
    FillWeights(c.conn, [](int f, int t) { return 200.0 + 10.0 * f + t; });
    struct Check3 : TIterateObj3 {
        void Visit() override {
            EXPECT_EQ(*weight2, *weight1 + 100.0);
            EXPECT_EQ(*weight3, *weight1 + 200.0);
            EXPECT_EQ(*weight1, 10.0 * fromNeuron + toNeuron);
            EXPECT_EQ(trainable, 1);
            ++visits;
        }
        int visits = 0;
    } visitor;
    a.conn->IterateArcs3(visitor, b.net.get(), c.net.get(), 0);
    EXPECT_EQ(visitor.visits, 6);
    EXPECT_EQ(visitor.conn3, c.conn);
    EXPECT_EQ(visitor.toActs2, b.net->layers[2]->activations);
}

}  // namespace
}  // namespace ruvo
