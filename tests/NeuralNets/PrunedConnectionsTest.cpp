#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
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
using test::NextRandomWeights;
using test::TRecordArcs;
using test::WeightsOf;

// A plain network 0, 2 inputs, 3 outputs with the prunable matrix 1 -> 2, weights 10f + t + 1.
struct Pruned {
    Pruned() : net(MakeBasicNetwork({0, 2, 3})) {
        net->CreateConnections(1, 2);
        conn = static_cast<TPrunedConnections*>(Cell(*net, 1, 2));
        FillWeights(conn, [](int f, int t) { return 10.0 * f + t + 1; });
    }
    std::unique_ptr<TBasicNetwork> net;
    TPrunedConnections* conn;
};

TEST(TPrunedConnectionsTest, NewMatrixIsFullyConnectedAndTrainable) {
    auto net = MakeBasicNetwork({0, 2, 3});
    net->CreateConnections(1, 2);
    TBasicConnections* conn = Cell(*net, 1, 2);
    EXPECT_STREQ(conn->GetConnectionsNType(), "Pruneable");
    EXPECT_EQ(conn->GetNumWeights(FMaskExists), 6);
    EXPECT_EQ(conn->GetNumWeights(FMaskAll), 6);
    EXPECT_EQ(conn->GetNumWeights(0), 6);
    for (int f = 0; f < 2; ++f) {
        for (int t = 0; t < 3; ++t) {
            EXPECT_EQ(conn->GetFlags(f, t), FMaskAll);
            EXPECT_EQ(*conn->GetWeight(f, t), 0.0);
        }
    }
}

TEST(TPrunedConnectionsTest, StorageOfWeightsAndFlagsIsRowByToNeuron) {
    Pruned m;
    m.conn->FreezeWeight(1, 0);
    EXPECT_EQ(std::vector<double>(m.conn->array_weights, m.conn->array_weights + 6),
              (std::vector<double>{1, 11, 2, 12, 3, 13}));
    EXPECT_EQ(m.conn->array_masks[1], FMaskExists);
    for (int t = 0; t < 3; ++t) {
        EXPECT_EQ(m.conn->index_weights[t], m.conn->array_weights + 2 * t);
        EXPECT_EQ(m.conn->index_masks[t], m.conn->array_masks + 2 * t);
    }
    // Unlike the fully connected matrix, GetWeights follows the storage (visiting) order.
    EXPECT_EQ(WeightsOf(m.conn, FMaskExists), (std::vector<double>{1, 11, 2, 12, 3, 13}));
    EXPECT_EQ(WeightsOf(m.conn, FMaskAll), (std::vector<double>{1, 2, 12, 3, 13}));
}

TEST(TPrunedConnectionsTest, PrunedArcIsNotCountedVisitedOrPropagated) {
    Pruned m;
    m.conn->PruneWeight(1, 2);
    EXPECT_FALSE(m.conn->IsValid(1, 2));
    EXPECT_FALSE(m.conn->IsTrainable(1, 2));
    EXPECT_EQ(m.conn->GetFlags(1, 2), 0);
    EXPECT_EQ(*m.conn->GetWeight(1, 2), 0.0);
    EXPECT_EQ(m.conn->GetNumWeights(FMaskExists), 5);
    // A value written into the pruned weight is stored but never used.
    *m.conn->GetWeight(1, 2) = 1000.0;
    m.net->layers[1]->activations[0] = 1.0;
    m.net->layers[1]->activations[1] = 1.0;
    std::vector<double> net = {0.5, 0.5, 0.5};
    m.conn->Propagate(net.data());
    EXPECT_EQ(net, (std::vector<double>{0.5 + 12.0, 0.5 + 14.0, 0.5 + 3.0}));
    TRecordArcs visitor;
    m.conn->IterateArcs(visitor, FMaskExists);
    EXPECT_EQ(visitor.arcs.size(), 5u);
    EXPECT_EQ(visitor.arcs.back().from, 0);
    EXPECT_EQ(visitor.arcs.back().to, 2);
}

// The three weight states and the operations between them.
struct StateRow {
    const char* what;
    int startFlags;  // 0 absent, 1 frozen, 3 trainable
    void (TBasicConnections::*op)(int, int);
    int flags;
    double weight;
};

TEST(TPrunedConnectionsTest, WeightStateTransitions) {
    const StateRow kRows[] = {
        {"prune trainable", FMaskAll, &TBasicConnections::PruneWeight, 0, 0.0},
        {"prune frozen", FMaskExists, &TBasicConnections::PruneWeight, 0, 0.0},
        {"prune absent", 0, &TBasicConnections::PruneWeight, 0, 0.0},
        {"add absent", 0, &TBasicConnections::AddWeight, FMaskAll, 0.0},
        {"add trainable keeps value", FMaskAll, &TBasicConnections::AddWeight, FMaskAll, 0.7},
        {"add frozen keeps state", FMaskExists, &TBasicConnections::AddWeight, FMaskExists, 0.7},
        {"freeze trainable", FMaskAll, &TBasicConnections::FreezeWeight, FMaskExists, 0.7},
        {"freeze absent", 0, &TBasicConnections::FreezeWeight, 0, 0.0},
        {"unfreeze frozen", FMaskExists, &TBasicConnections::UnfreezeWeight, FMaskAll, 0.7},
        {"unfreeze absent", 0, &TBasicConnections::UnfreezeWeight, 0, 0.0},
        {"unfreeze trainable", FMaskAll, &TBasicConnections::UnfreezeWeight, FMaskAll, 0.7},
    };
    for (const StateRow& row : kRows) {
        SCOPED_TRACE(row.what);
        Pruned m;
        if (row.startFlags == 0) {
            m.conn->PruneWeight(1, 1);
        } else {
            *m.conn->GetWeight(1, 1) = 0.7;
            if (row.startFlags == FMaskExists) {
                m.conn->FreezeWeight(1, 1);
            }
        }
        ASSERT_EQ(m.conn->GetFlags(1, 1), row.startFlags);
        (m.conn->*row.op)(1, 1);
        EXPECT_EQ(m.conn->GetFlags(1, 1), row.flags);
        EXPECT_EQ(*m.conn->GetWeight(1, 1), row.weight);
        EXPECT_EQ(m.conn->IsValid(1, 1), (row.flags & FMaskExists) != 0);
        EXPECT_EQ(m.conn->IsTrainable(1, 1), (row.flags & FMaskTrainable) != 0);
        // Only the one weight changed.
        EXPECT_EQ(*m.conn->GetWeight(0, 1), 2.0);
        EXPECT_EQ(m.conn->GetFlags(0, 1), FMaskAll);
    }
}

TEST(TPrunedConnectionsTest, FrozenWeightIsUsedButNotTrainedOrRandomized) {
    Pruned m;
    m.conn->FreezeWeight(0, 0);
    EXPECT_EQ(m.conn->GetFlags(0, 0), FMaskExists);
    EXPECT_TRUE(m.conn->IsValid(0, 0));
    EXPECT_FALSE(m.conn->IsTrainable(0, 0));
    EXPECT_EQ(m.conn->GetNumWeights(FMaskExists), 6);
    EXPECT_EQ(m.conn->GetNumWeights(0), 5);
    EXPECT_EQ(m.conn->GetNumWeights(FMaskAll), 5);

    ResetRandomGenerator();
    const std::vector<double> drawn = NextRandomWeights(6, -1.0, 1.0);
    m.conn->RandomizeWeights(-1.0, 1.0);
    EXPECT_EQ(*m.conn->GetWeight(0, 0), 1.0);
    // Five draws for the five trainable weights, in storage order.
    EXPECT_EQ(WeightsOf(m.conn, 0), std::vector<double>(drawn.begin(), drawn.begin() + 5));
    EXPECT_EQ(RandomWeight(-1.0, 1.0), drawn[5]);

    m.conn->RandomizeWeights(0.0, 0.0);
    EXPECT_EQ(WeightsOf(m.conn, FMaskExists), (std::vector<double>{1, 0, 0, 0, 0, 0}));

    m.net->layers[1]->activations[0] = 3.0;
    m.net->layers[1]->activations[1] = 0.0;
    std::vector<double> net = {0.0, 0.0, 0.0};
    m.conn->Propagate(net.data());
    EXPECT_EQ(net, (std::vector<double>{3.0, 0.0, 0.0}));
}

TEST(TPrunedConnectionsTest, IterationPassesTheMaskTestAndTheTrainableFlag) {
    Pruned m;
    m.conn->PruneWeight(0, 0);
    m.conn->FreezeWeight(1, 1);
    struct Row {
        int mask;
        std::vector<std::pair<int, int>> arcs;
    };
    const Row kRows[] = {
        {FMaskExists, {{1, 0}, {0, 1}, {1, 1}, {0, 2}, {1, 2}}},
        {FMaskAll, {{1, 0}, {0, 1}, {0, 2}, {1, 2}}},
        {0, {{1, 0}, {0, 1}, {0, 2}, {1, 2}}},
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(testing::Message() << "mask " << row.mask);
        TRecordArcs visitor;
        m.conn->IterateArcs(visitor, row.mask);
        EXPECT_EQ(visitor.Pairs(), row.arcs);
        for (const auto& arc : visitor.arcs) {
            EXPECT_EQ(arc.trainable, arc.from == 1 && arc.to == 1 ? 0 : 1);
            EXPECT_EQ(arc.weight, m.conn->GetWeight(arc.from, arc.to));
        }
    }
    TRecordArcs in;
    m.conn->IterateInArcs(in, 1, FMaskAll);
    EXPECT_EQ(in.Pairs(), (std::vector<std::pair<int, int>>{{0, 1}}));
    TRecordArcs out;
    m.conn->IterateOutArcs(out, 1, FMaskExists);
    EXPECT_EQ(out.Pairs(), (std::vector<std::pair<int, int>>{{1, 0}, {1, 1}, {1, 2}}));
}

TEST(TPrunedConnectionsTest, SetFlagsStoresAnyByteAndTheBulkFlagOperations) {
    Pruned m;
    m.conn->SetFlags(0, 2, 2);
    EXPECT_EQ(m.conn->GetFlags(0, 2), 2);
    EXPECT_FALSE(m.conn->IsValid(0, 2));
    m.conn->SetFlags(0, 2, FMaskAll);

    m.conn->FreezeWeight(1, 0);
    std::unique_ptr<char[]> flags(m.conn->GetAllFlags());
    EXPECT_EQ(std::vector<char>(flags.get(), flags.get() + 6),
              (std::vector<char>{3, 1, 3, 3, 3, 3}));
    const unsigned char kNew[] = {1, 3, 0, 3, 1, 3};
    m.conn->SetAllFlags(kNew);
    EXPECT_EQ(m.conn->GetFlags(0, 0), 1);
    EXPECT_EQ(m.conn->GetFlags(1, 0), 3);
    EXPECT_EQ(m.conn->GetFlags(0, 1), 0);
    m.conn->FreezeAll();
    EXPECT_EQ(m.conn->GetNumWeights(0), 0);
    EXPECT_EQ(m.conn->GetNumWeights(FMaskExists), 5);
}

TEST(TPrunedConnectionsTest, InsertedRowIsAbsentOrDrawnByTheAttachedFlag) {
    for (bool attached : {false, true}) {
        SCOPED_TRACE(attached ? "attached" : "unattached");
        Pruned m;
        m.conn->FreezeWeight(1, 0);
        ResetRandomGenerator();
        const std::vector<double> drawn = NextRandomWeights(2, -1.0, 1.0);
        RuvoRandom();
        RuvoRandom();
        const std::uint32_t afterTwoDraws = GetRandomSeed();
        ResetRandomGenerator();
        ++m.net->layers[2]->numNeurons;
        m.conn->InsertToNeuron(0, -1.0, 1.0, attached);
        for (int f = 0; f < 2; ++f) {
            EXPECT_EQ(m.conn->GetFlags(f, 0), attached ? FMaskAll : 0);
            EXPECT_EQ(*m.conn->GetWeight(f, 0), attached ? drawn[f] : 0.0);
        }
        EXPECT_EQ(GetRandomSeed(), attached ? afterTwoDraws : 1u);
        // The old rows moved up by one with their flags.
        EXPECT_EQ(m.conn->GetFlags(1, 1), FMaskExists);
        EXPECT_EQ(*m.conn->GetWeight(1, 1), 11.0);
        EXPECT_EQ(*m.conn->GetWeight(0, 3), 3.0);
        --m.net->layers[2]->numNeurons;
        m.conn->DeleteToNeuron(0);
        EXPECT_EQ(WeightsOf(m.conn, FMaskExists), (std::vector<double>{1, 11, 2, 12, 3, 13}));
        EXPECT_EQ(m.conn->GetFlags(1, 0), FMaskExists);
    }
}

TEST(TPrunedConnectionsTest, InsertedColumnAndDeletedColumnKeepTheFlags) {
    Pruned m;
    m.conn->PruneWeight(1, 2);
    ++m.net->layers[1]->numNeurons;
    m.conn->InsertFromNeuron(1, 0.0, 1.0, false);
    EXPECT_EQ(m.conn->GetFlags(1, 0), 0);
    EXPECT_EQ(m.conn->GetFlags(2, 2), 0);
    EXPECT_EQ(*m.conn->GetWeight(2, 1), 12.0);
    EXPECT_EQ(m.conn->GetNumWeights(FMaskExists), 5);
    --m.net->layers[1]->numNeurons;
    m.conn->DeleteFromNeuron(0);
    EXPECT_EQ(m.conn->GetFlags(0, 0), 0);  // the inserted column is now column 0
    EXPECT_EQ(*m.conn->GetWeight(1, 1), 12.0);
    EXPECT_EQ(m.conn->GetFlags(1, 2), 0);
}

TEST(TPrunedConnectionsTest, CloneHasItsOwnWeightsAndFlags) {
    Pruned m;
    m.conn->FreezeWeight(0, 1);
    m.conn->PruneWeight(1, 2);
    auto other = MakeBasicNetwork({0, 2, 3});
    std::unique_ptr<TBasicConnections, void (*)(TBasicConnections*)> copy(
        m.conn->Clone(other.get()), [](TBasicConnections* c) { c->Destroy(); });
    EXPECT_STREQ(copy->GetConnectionsNType(), "Pruneable");
    for (int f = 0; f < 2; ++f) {
        for (int t = 0; t < 3; ++t) {
            EXPECT_EQ(copy->GetFlags(f, t), m.conn->GetFlags(f, t));
            EXPECT_EQ(*copy->GetWeight(f, t), *m.conn->GetWeight(f, t));
        }
    }
    copy->FreezeWeight(0, 0);
    *copy->GetWeight(1, 1) = -5.0;
    EXPECT_EQ(m.conn->GetFlags(0, 0), FMaskAll);
    EXPECT_EQ(*m.conn->GetWeight(1, 1), 12.0);
}

// The class replaces the visitor-based defaults of its base by direct loops; both must give the
// same results, draws included.
TEST(TPrunedConnectionsTest, DirectLoopsMatchTheVisitorDefaults) {
    Pruned a;
    Pruned b;
    for (Pruned* m : {&a, &b}) {
        m->conn->PruneWeight(0, 0);
        m->conn->FreezeWeight(1, 1);
        m->conn->SetFlags(0, 2, 2);  // an odd byte: trainable without existing
        m->net->layers[1]->activations[0] = 0.25;
        m->net->layers[1]->activations[1] = -2.0;
    }
    TBasicConnections* base = b.conn;
    for (int mask : {0, FMaskExists, FMaskAll}) {
        SCOPED_TRACE(testing::Message() << "mask " << mask);
        EXPECT_EQ(a.conn->GetNumWeights(mask), base->TBasicConnections::GetNumWeights(mask));
        std::vector<double> x(6, -1.0);
        std::vector<double> y(6, -1.0);
        EXPECT_EQ(a.conn->GetWeights(x.data(), mask),
                  base->TBasicConnections::GetWeights(y.data(), mask));
        EXPECT_EQ(x, y);
        const std::vector<double> values = {9, 8, 7, 6, 5, 4};
        EXPECT_EQ(a.conn->SetWeights(values.data(), mask),
                  base->TBasicConnections::SetWeights(values.data(), mask));
        EXPECT_EQ(WeightsOf(a.conn, FMaskExists), WeightsOf(b.conn, FMaskExists));
    }
    std::vector<double> x = {1.0, 2.0, 3.0};
    std::vector<double> y = x;
    a.conn->Propagate(x.data());
    base->TBasicConnections::Propagate(y.data());
    EXPECT_EQ(x, y);
    // Randomising goes by the trainable bit alone, so it is compared on the three states the
    // operations produce.
    a.conn->SetFlags(0, 2, FMaskAll);
    b.conn->SetFlags(0, 2, FMaskAll);
    ResetRandomGenerator();
    a.conn->RandomizeWeights(-0.5, 0.5);
    const std::uint32_t afterDirect = GetRandomSeed();
    ResetRandomGenerator();
    base->TBasicConnections::RandomizeWeights(-0.5, 0.5);
    EXPECT_EQ(GetRandomSeed(), afterDirect);
    EXPECT_EQ(WeightsOf(a.conn, FMaskExists), WeightsOf(b.conn, FMaskExists));
}

TEST(TPrunedConnectionsTest, PeerWalksHandOverTheSameArcInEveryNetwork) {
    Pruned a;
    Pruned b;
    Pruned c;
    for (Pruned* m : {&a, &b, &c}) {
        m->conn->FreezeWeight(0, 1);
    }
    *b.conn->GetWeight(1, 2) = 100.0;
    *c.conn->GetWeight(1, 2) = 200.0;
    struct Record3 : TIterateObj3 {
        void Visit() override {
            pairs.emplace_back(fromNeuron, toNeuron);
            offsets2.push_back(weight2 - static_cast<TPrunedConnections*>(conn2)->array_weights);
            offsets3.push_back(weight3 - static_cast<TPrunedConnections*>(conn3)->array_weights);
            last2 = *weight2;
            last3 = *weight3;
        }
        std::vector<std::pair<int, int>> pairs;
        std::vector<long> offsets2;
        std::vector<long> offsets3;
        double last2 = 0.0;
        double last3 = 0.0;
    } visitor;
    a.conn->IterateArcs3(visitor, b.net.get(), c.net.get(), 0);
    EXPECT_EQ(visitor.pairs,
              (std::vector<std::pair<int, int>>{{0, 0}, {1, 0}, {1, 1}, {0, 2}, {1, 2}}));
    EXPECT_EQ(visitor.offsets2, (std::vector<long>{0, 1, 3, 4, 5}));
    EXPECT_EQ(visitor.offsets3, visitor.offsets2);
    EXPECT_EQ(visitor.last2, 100.0);
    EXPECT_EQ(visitor.last3, 200.0);
}

// The forward sums of the two contiguous classes against the generic visitor sum, bit for bit:
// sizes around the four rows summed side by side, order-sensitive values (1e16 + 1 - 1e16), exact
// cancellation and negative zeros, pruned arcs whose stored weight is a NaN or an infinity, and a
// matrix from a layer to itself, where a row must see the rows before it already added.
struct ForwardRow {
    const char* name;
    bool fully;  // TConnectedConnections rather than TPrunedConnections
    int nFrom;
    int nTo;
    bool selfLoop;  // from layer 2 to layer 2
    bool prune;     // prune every third arc, storing NaN, infinity or -0.0 in it
};

template <class Matrix>
std::vector<double> ForwardSums(const ForwardRow& row, bool generic) {
    auto net = MakeBasicNetwork({0, row.nFrom, row.selfLoop ? row.nFrom : row.nTo});
    const int from = row.selfLoop ? 2 : 1;
    std::unique_ptr<Matrix, void (*)(Matrix*)> conn(new Matrix(net.get(), from, 2),
                                                    [](Matrix* m) { m->Destroy(); });
    const double kBig[] = {1e16, 1.0, -1e16, 0.5, -0.0, 3.0, -1.0, 1e-300};
    const double kPruned[] = {std::nan(""), HUGE_VAL, -HUGE_VAL, -0.0};
    for (int t = 0; t < conn->NumTo(); ++t) {
        for (int f = 0; f < conn->NumFrom(); ++f) {
            *conn->GetWeight(f, t) = kBig[(3 * f + 5 * t) % 8] * (t % 2 == 0 ? 1.0 : -0.75);
            if (row.prune && (f + 2 * t) % 3 == 0) {
                conn->PruneWeight(f, t);
                *conn->GetWeight(f, t) = kPruned[(f + t) % 4];
            }
        }
    }
    double* acts = net->layers[from]->activations;
    for (int f = 0; f < conn->NumFrom(); ++f) {
        acts[f] = kBig[(f + 1) % 8];
    }
    double* sums = net->layers[2]->activations;
    if (!row.selfLoop) {
        for (int t = 0; t < conn->NumTo(); ++t) {
            sums[t] = t % 3 == 0 ? -0.0 : 0.25 * t;
        }
    }
    if (generic) {
        conn->TBasicConnections::Propagate(sums);
    } else {
        conn->Propagate(sums);
    }
    return std::vector<double>(sums, sums + net->layers[2]->numNeurons);
}

TEST(TContiguousMatricesTest, ForwardSumsMatchTheGenericSumBitForBit) {
    const ForwardRow kRows[] = {
        {"pruned 9 x 11", false, 9, 11, false, true},
        {"pruned, all arcs, 7 x 8", false, 7, 8, false, false},
        {"pruned, one row", false, 5, 1, false, true},
        {"pruned, layer to itself", false, 6, 6, true, true},
        {"fully connected 9 x 11", true, 9, 11, false, false},
        {"fully connected 3 x 4", true, 3, 4, false, false},
        {"fully connected, layer to itself", true, 7, 7, true, false},
    };
    for (const ForwardRow& row : kRows) {
        SCOPED_TRACE(row.name);
        std::vector<double> direct;
        std::vector<double> generic;
        if (row.fully) {
            direct = ForwardSums<TConnectedConnections>(row, false);
            generic = ForwardSums<TConnectedConnections>(row, true);
        } else {
            direct = ForwardSums<TPrunedConnections>(row, false);
            generic = ForwardSums<TPrunedConnections>(row, true);
        }
        ASSERT_EQ(direct.size(), generic.size());
        EXPECT_EQ(std::memcmp(direct.data(), generic.data(), direct.size() * sizeof(double)), 0)
            << testing::PrintToString(direct) << " vs " << testing::PrintToString(generic);
    }
}

TEST(TPrunedConnectionsDeathTest, IndicesOutsideTheLayers) {
    Pruned m;
    EXPECT_DEATH(m.conn->GetWeight(0, 3), "0 <= from < n_from && 0 <= to < n_to");
    EXPECT_DEATH(m.conn->PruneWeight(-1, 0), "0 <= from < n_from && 0 <= to < n_to");
    EXPECT_DEATH(m.conn->IsValid(2, 0), "0 <= from < n_from && 0 <= to < n_to");
}

}  // namespace
}  // namespace ruvo
