#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

#include "FuzzyTestUtil.h"
#include "NeuralNets/TBasicConnections.h"
#include "NeuralNets/TBasicNetwork.h"
#include "NeuralNets/TIterateObj.h"
#include "Ruvo/TConditionLayer.h"
#include "Ruvo/TRuvo.h"
#include "Ruvo/TToConditionConnections.h"
#include "Ruvo/TToOutputConnections.h"

namespace ruvo {
namespace {

using fuzzytest::BuildRuvo;
using fuzzytest::Conditions;
using fuzzytest::ExpectTException;
using fuzzytest::InputCentres;
using fuzzytest::OutputCentres;

using Arc = std::pair<int, int>;

// Records the arcs a walk shows, with their trainable flags and weight pointers.
class RecordArcs : public TIterateObj {
public:
    void Visit() override {
        arcs.emplace_back(fromNeuron, toNeuron);
        trainables.push_back(trainable);
        weights.push_back(weight);
    }
    std::vector<Arc> arcs;
    std::vector<char> trainables;
    std::vector<double*> weights;
};

class RecordArcs2 : public TIterateObj2 {
public:
    void Visit() override {
        arcs.emplace_back(fromNeuron, toNeuron);
        firsts.push_back(weight1);
        seconds.push_back(weight2);
    }
    std::vector<Arc> arcs;
    std::vector<double*> firsts;
    std::vector<double*> seconds;
};

class RecordArcs3 : public TIterateObj3 {
public:
    void Visit() override {
        arcs.emplace_back(fromNeuron, toNeuron);
        thirds.push_back(weight3);
    }
    std::vector<Arc> arcs;
    std::vector<double*> thirds;
};

std::vector<double> Weights(TBasicConnections* matrix, int mask) {
    std::vector<double> w(static_cast<std::size_t>(matrix->GetNumWeights(mask)));
    EXPECT_EQ(matrix->GetWeights(w.data(), mask), static_cast<int>(w.size()));
    return w;
}

// ---------------------------------------------------------------------------------------------
// Input-to-condition matrix

TEST(TToConditionConnectionsTest, ArcsFollowTheMembershipLayout) {
    std::unique_ptr<TRuvo> net = BuildRuvo({2, 3}, 1, {2});
    TToConditionConnections* matrix = InputCentres(net.get());
    ASSERT_NE(matrix, nullptr);
    EXPECT_TRUE(matrix->IsConnected());
    EXPECT_STREQ(matrix->GetConnectionsNType(), "ToConditionConnections");
    RecordArcs walk;
    matrix->IterateArcs(walk, FMaskExists);
    EXPECT_EQ(walk.arcs, (std::vector<Arc>{{0, 0}, {0, 1}, {1, 2}, {1, 3}, {1, 4}}));
    EXPECT_EQ(walk.fromLayer, 1);
    EXPECT_EQ(walk.toLayer, 2);
    EXPECT_EQ(matrix->GetNumWeights(FMaskExists), 5);
    EXPECT_EQ(matrix->GetNumWeights(0), 5);
    EXPECT_EQ(Weights(matrix, FMaskExists), (std::vector<double>{0.0, 1.0, 0.0, 0.5, 1.0}));

    struct Row {
        int from;
        int to;
        bool valid;
    };
    const Row kRows[] = {{0, 0, true},  {0, 1, true},  {0, 2, false}, {1, 2, true},  {1, 4, true},
                         {1, 0, false}, {2, 4, false}, {1, 5, false}, {0, -1, false}};
    for (const Row& row : kRows) {
        SCOPED_TRACE(testing::Message() << "(" << row.from << ", " << row.to << ")");
        EXPECT_EQ(matrix->IsValid(row.from, row.to), row.valid);
        EXPECT_EQ(matrix->IsTrainable(row.from, row.to), row.valid);
    }
}

TEST(TToConditionConnectionsTest, WeightIsTheCentreWhateverTheFromIndex) {
    std::unique_ptr<TRuvo> net = BuildRuvo({2, 3}, 1, {2});
    TToConditionConnections* matrix = InputCentres(net.get());
    EXPECT_EQ(matrix->GetWeight(7, 3), &Conditions(net.get())->nodes[3].centre);
    *matrix->GetWeight(1, 3) = 0.4;
    EXPECT_EQ(Conditions(net.get())->nodes[3].centre, 0.4);
    const std::vector<double> in = {0.0, 0.2, 0.9, 0.1, 0.7};
    EXPECT_EQ(matrix->SetWeights(in.data(), FMaskExists), 5);
    EXPECT_EQ(Weights(matrix, FMaskExists), in);
}

TEST(TToConditionConnectionsTest, FreezingChangesFlagsCountsAndTrainability) {
    std::unique_ptr<TRuvo> net = BuildRuvo({2, 3}, 1, {2});
    TToConditionConnections* matrix = InputCentres(net.get());
    matrix->FreezeWeight(1, 3);
    EXPECT_EQ(matrix->GetFlags(1, 3), FMaskExists);
    EXPECT_EQ(matrix->GetFlags(0, 3), FMaskExists);  // one arc per neuron: from is not used
    EXPECT_TRUE(matrix->IsValid(1, 3));
    EXPECT_FALSE(matrix->IsTrainable(1, 3));  // what the network file writer saves
    EXPECT_EQ(matrix->GetNumWeights(0), 4);
    EXPECT_EQ(matrix->GetNumWeights(FMaskAll), 4);
    EXPECT_EQ(matrix->GetNumWeights(FMaskExists), 5);

    RecordArcs walk;
    matrix->IterateArcs(walk, FMaskExists);
    EXPECT_EQ(walk.trainables, (std::vector<char>{1, 1, 1, 0, 1}));

    RecordArcs trainableOut;
    matrix->IterateOutArcs(trainableOut, 1, FMaskAll);
    EXPECT_EQ(trainableOut.arcs, (std::vector<Arc>{{1, 2}, {1, 4}}));
    RecordArcs allOut;
    matrix->IterateOutArcs(allOut, 1, FMaskExists);
    EXPECT_EQ(allOut.arcs, (std::vector<Arc>{{1, 2}, {1, 3}, {1, 4}}));

    matrix->UnfreezeWeight(1, 3);
    EXPECT_EQ(matrix->GetFlags(1, 3), FMaskAll);
    EXPECT_TRUE(matrix->IsTrainable(1, 3));
    EXPECT_EQ(matrix->GetNumWeights(0), 5);
}

TEST(TToConditionConnectionsTest, InArcsAndPruning) {
    std::unique_ptr<TRuvo> net = BuildRuvo({2, 3}, 1, {2});
    TToConditionConnections* matrix = InputCentres(net.get());
    RecordArcs in;
    matrix->IterateInArcs(in, 3, FMaskExists);
    EXPECT_EQ(in.arcs, (std::vector<Arc>{{1, 3}}));
    EXPECT_EQ(in.weights, (std::vector<double*>{matrix->GetWeight(1, 3)}));
    matrix->FreezeWeight(1, 3);
    RecordArcs frozen;
    matrix->IterateInArcs(frozen, 3, 0);
    EXPECT_TRUE(frozen.arcs.empty());

    matrix->PruneWeight(1, 2);
    matrix->AddWeight(0, 2);
    EXPECT_TRUE(matrix->IsValid(1, 2));
    EXPECT_FALSE(matrix->IsValid(0, 2));
    EXPECT_EQ(matrix->GetNumWeights(FMaskExists), 5);
}

TEST(TToConditionConnectionsTest, RandomizeTouchesOnlyTrainableCentres) {
    std::unique_ptr<TRuvo> net = BuildRuvo({2, 3}, 1, {2});
    TToConditionConnections* matrix = InputCentres(net.get());
    matrix->FreezeWeight(1, 3);
    matrix->RandomizeWeights(0.25, 0.25);
    EXPECT_EQ(Weights(matrix, FMaskExists), (std::vector<double>{0.25, 0.25, 0.25, 0.5, 0.25}));
}

TEST(TToConditionConnectionsTest, CloneUsesTheCopysCentresWithAllArcsTrainable) {
    std::unique_ptr<TRuvo> net = BuildRuvo({2, 3}, 1, {2});
    net->FreezeWeight(1, 3, 1);
    TBasicNetwork copy(*net);
    TToConditionConnections* cloned = InputCentres(&copy);
    ASSERT_NE(cloned, nullptr);
    EXPECT_EQ(cloned->conditionLayer, Conditions(&copy));
    for (int j = 0; j < 5; ++j) {
        EXPECT_EQ(cloned->GetFlags(0, j), FMaskAll) << "neuron " << j;
    }
    EXPECT_EQ(cloned->GetWeight(1, 3), &Conditions(&copy)->nodes[3].centre);
}

TEST(TToConditionConnectionsTest, WalksOverSeveralNetworksPairTheSameCentres) {
    std::unique_ptr<TRuvo> net = BuildRuvo({2, 3}, 1, {2});
    InputCentres(net.get())->FreezeWeight(0, 0);
    TBasicNetwork second(*net);
    TBasicNetwork third(*net);
    RecordArcs2 walk2;
    InputCentres(net.get())->IterateArcs2(walk2, &second, 0);
    EXPECT_EQ(walk2.arcs, (std::vector<Arc>{{0, 1}, {1, 2}, {1, 3}, {1, 4}}));
    for (std::size_t k = 0; k < walk2.arcs.size(); ++k) {
        const int j = walk2.arcs[k].second;
        EXPECT_EQ(walk2.firsts[k], &Conditions(net.get())->nodes[j].centre);
        EXPECT_EQ(walk2.seconds[k], &Conditions(&second)->nodes[j].centre);
    }
    RecordArcs3 walk3;
    InputCentres(net.get())->IterateArcs3(walk3, &second, &third, FMaskExists);
    ASSERT_EQ(walk3.arcs.size(), 5u);
    EXPECT_EQ(walk3.thirds[4], &Conditions(&third)->nodes[4].centre);
}

// A network file can name this matrix between layers that are not a condition layer's.
TEST(TToConditionConnectionsTest, ConstructionOverAnotherLayerClassRaises) {
    std::unique_ptr<TRuvo> net = BuildRuvo({2}, 1, {2});
    ExpectTException([&] { TToConditionConnections matrix(net.get(), 2, 3); },
                     "ToConditionConnections need an input layer and a condition layer",
                     "Bad Parameter", "TToConditionConnections::TToConditionConnections");
}

TEST(TToConditionConnectionsDeathTest, NeuronEditsAreUnsupported) {
    std::unique_ptr<TRuvo> net = BuildRuvo({2, 3}, 1, {2});
    TToConditionConnections* matrix = InputCentres(net.get());
    EXPECT_DEATH(matrix->InsertToNeuron(0, 0.0, 1.0, true), "false");
    EXPECT_DEATH(matrix->InsertFromNeuron(0, 0.0, 1.0, true), "false");
    EXPECT_DEATH(matrix->DeleteToNeuron(0), "false");
    EXPECT_DEATH(matrix->DeleteFromNeuron(0), "false");
}

// ---------------------------------------------------------------------------------------------
// Action-to-output matrix

TEST(TToOutputConnectionsTest, ArcsFollowTheOutputLayout) {
    std::unique_ptr<TRuvo> net = BuildRuvo({2}, 1, {2, 4});
    TToOutputConnections* matrix = OutputCentres(net.get());
    ASSERT_NE(matrix, nullptr);
    EXPECT_TRUE(matrix->IsConnected());
    EXPECT_STREQ(matrix->GetConnectionsNType(), "ToOutputConnections");
    RecordArcs walk;
    matrix->IterateArcs(walk, FMaskExists);
    EXPECT_EQ(walk.arcs, (std::vector<Arc>{{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 1}, {5, 1}}));
    EXPECT_EQ(walk.weights[3], &matrix->centres[3]);

    RecordArcs in;
    matrix->IterateInArcs(in, 1, FMaskExists);
    EXPECT_EQ(in.arcs, (std::vector<Arc>{{2, 1}, {3, 1}, {4, 1}, {5, 1}}));
    RecordArcs out;
    matrix->IterateOutArcs(out, 3, FMaskExists);
    EXPECT_EQ(out.arcs, (std::vector<Arc>{{3, 1}}));

    struct Row {
        int from;
        int to;
        bool valid;
    };
    const Row kRows[] = {{0, 0, true},  {1, 0, true},  {1, 1, false},  {2, 1, true}, {5, 1, true},
                         {2, 0, false}, {6, 1, false}, {-1, 0, false}, {0, 2, false}};
    for (const Row& row : kRows) {
        SCOPED_TRACE(testing::Message() << "(" << row.from << ", " << row.to << ")");
        EXPECT_EQ(matrix->IsValid(row.from, row.to), row.valid);
        EXPECT_EQ(matrix->IsTrainable(row.from, row.to), row.valid);
    }
}

TEST(TToOutputConnectionsTest, ResetCentresSpacesEachOutput) {
    std::unique_ptr<TRuvo> net = BuildRuvo({2}, 1, {2, 4});
    TToOutputConnections* matrix = OutputCentres(net.get());
    for (int a = 0; a < 6; ++a) {
        matrix->centres[a] = 7.0;
    }
    matrix->ResetCentres();
    const double expected[] = {0.0, 1.0, 0.0, 1.0 / 3.0, 2.0 / 3.0, 1.0};
    for (int a = 0; a < 6; ++a) {
        EXPECT_DOUBLE_EQ(matrix->centres[a], expected[a]) << "action " << a;
    }
    EXPECT_EQ(matrix->centres[5], 1.0);
    EXPECT_EQ(matrix->GetWeight(4, 99), &matrix->centres[4]);
}

TEST(TToOutputConnectionsTest, FreezingAndPruning) {
    std::unique_ptr<TRuvo> net = BuildRuvo({2}, 1, {2, 3});
    TToOutputConnections* matrix = OutputCentres(net.get());
    matrix->FreezeWeight(3, 1);
    EXPECT_EQ(matrix->GetFlags(3, 1), FMaskExists);
    EXPECT_FALSE(matrix->IsTrainable(3, 1));
    EXPECT_TRUE(matrix->IsValid(3, 1));
    EXPECT_EQ(matrix->GetNumWeights(0), 4);
    EXPECT_EQ(matrix->GetNumWeights(FMaskExists), 5);
    RecordArcs in;
    matrix->IterateInArcs(in, 1, FMaskAll);
    EXPECT_EQ(in.arcs, (std::vector<Arc>{{2, 1}, {4, 1}}));
    matrix->PruneWeight(0, 0);
    EXPECT_TRUE(matrix->IsValid(0, 0));
    matrix->UnfreezeWeight(3, 1);
    EXPECT_TRUE(matrix->IsTrainable(3, 1));
    matrix->SetFlags(2, 1, 0);
    EXPECT_EQ(matrix->GetFlags(2, 1), 0);
    EXPECT_EQ(matrix->GetNumWeights(FMaskExists), 4);
}

TEST(TToOutputConnectionsTest, CloneHasItsOwnCentresAndTrainableArcs) {
    std::unique_ptr<TRuvo> net = BuildRuvo({2}, 1, {2, 3});
    const double centres[] = {0.1, 0.9, 0.2, 0.5, 0.8};
    net->SetWeightLayer(4, centres);
    OutputCentres(net.get())->FreezeWeight(2, 1);
    TBasicNetwork copy(*net);
    TToOutputConnections* cloned = OutputCentres(&copy);
    ASSERT_NE(cloned, nullptr);
    EXPECT_NE(cloned->centres, OutputCentres(net.get())->centres);
    EXPECT_EQ(std::vector<double>(cloned->centres, cloned->centres + 5),
              std::vector<double>(centres, centres + 5));
    for (int a = 0; a < 5; ++a) {
        EXPECT_EQ(cloned->GetFlags(a, 0), FMaskAll) << "action " << a;
    }
    cloned->centres[0] = 0.5;
    EXPECT_EQ(OutputCentres(net.get())->centres[0], 0.1);

    RecordArcs2 walk;
    OutputCentres(net.get())->IterateArcs2(walk, &copy, 0);
    EXPECT_EQ(walk.arcs, (std::vector<Arc>{{0, 0}, {1, 0}, {3, 1}, {4, 1}}));
    EXPECT_EQ(walk.seconds[2], &cloned->centres[3]);
}

TEST(TToOutputConnectionsTest, ConstructionOverAnotherLayerClassRaises) {
    std::unique_ptr<TRuvo> net = BuildRuvo({2}, 1, {2});
    ExpectTException([&] { TToOutputConnections matrix(net.get(), 3, 4); },
                     "ToOutputConnections need an action layer and a defuzzify layer",
                     "Bad Parameter", "TToOutputConnections::TToOutputConnections");
}

TEST(TToOutputConnectionsDeathTest, NeuronEditsAreUnsupported) {
    std::unique_ptr<TRuvo> net = BuildRuvo({2}, 1, {2});
    TToOutputConnections* matrix = OutputCentres(net.get());
    EXPECT_DEATH(matrix->InsertToNeuron(0, 0.0, 1.0, true), "false");
    EXPECT_DEATH(matrix->InsertFromNeuron(0, 0.0, 1.0, false), "false");
    EXPECT_DEATH(matrix->DeleteToNeuron(0), "false");
    EXPECT_DEATH(matrix->DeleteFromNeuron(0), "false");
}

}  // namespace
}  // namespace ruvo
