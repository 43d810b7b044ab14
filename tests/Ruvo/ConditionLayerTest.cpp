#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "FuzzyTestUtil.h"
#include "KQmessage/KQML.h"
#include "NeuralNets/ActFunctions.h"
#include "NeuralNets/TBasicNetwork.h"
#include "Ruvo/TConditionLayer.h"
#include "Ruvo/TRuvo.h"

namespace ruvo {
namespace {

using fuzzytest::Activations;
using fuzzytest::BuildRuvo;
using fuzzytest::Conditions;
using fuzzytest::ExpectTException;

// Puts values into the input layer and fuzzifies them.
std::vector<double> Fuzzify(TBasicNetwork* net, const std::vector<double>& values) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        net->layers[1]->activations[i] = values[i];
    }
    net->layers[2]->Recall(nullptr);
    return Activations(net->layers[2]);
}

TEST(TConditionLayerTest, MembershipDegreesOfThreeFunctions) {
    std::unique_ptr<TRuvo> net = BuildRuvo({3}, 1, {2});  // centres 0, 0.5, 1
    struct Row {
        double x;
        std::vector<double> degrees;
    };
    const Row kRows[] = {
        {0.25, {0.5, 0.5, 0.0}}, {0.5, {0.0, 1.0, 0.0}}, {-3.0, {1.0, 0.0, 0.0}},
        {7.0, {0.0, 0.0, 1.0}},  {1.0, {0.0, 0.0, 1.0}}, {0.0, {1.0, 0.0, 0.0}},
        {0.75, {0.0, 0.5, 0.5}}, {0.1, {0.8, 0.2, 0.0}}, {0.9, {0.0, 0.2, 0.8}},
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(testing::Message() << "x=" << row.x);
        const std::vector<double> degrees = Fuzzify(net.get(), {row.x});
        ASSERT_EQ(degrees.size(), 3u);
        for (int j = 0; j < 3; ++j) {
            EXPECT_DOUBLE_EQ(degrees[j], row.degrees[j]) << "neuron " << j;
        }
    }
}

// The rules applied one by one to a middle function with centre 0.5 between 0.2 and 0.9, so
// that both slopes differ and a wrong neighbour or a wrong rule order shows.
TEST(TConditionLayerTest, MembershipRulesOfUnevenNeighbours) {
    std::unique_ptr<TRuvo> net = BuildRuvo({3}, 1, {2});
    const double centres[] = {0.2, 0.5, 0.9};
    net->SetWeightLayer(1, centres);
    struct Row {
        double x;
        double first;
        double middle;
        double last;
    };
    const Row kRows[] = {
        {0.2, 1.0, 0.0, 0.0},
        {0.35, 1.0 - (0.35 - 0.2) / (0.5 - 0.2), 1.0 - (0.5 - 0.35) / (0.5 - 0.2), 0.0},
        {0.5, 0.0, 1.0, 0.0},
        {0.7, 0.0, 1.0 - (0.7 - 0.5) / (0.9 - 0.5), 1.0 - (0.9 - 0.7) / (0.9 - 0.5)},
        {0.9, 0.0, 0.0, 1.0},
        {0.1, 1.0, 0.0, 0.0},
        {1.5, 0.0, 0.0, 1.0},
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(testing::Message() << "x=" << row.x);
        const std::vector<double> degrees = Fuzzify(net.get(), {row.x});
        EXPECT_DOUBLE_EQ(degrees[1], row.middle);
        EXPECT_DOUBLE_EQ(degrees[2], row.last);
        EXPECT_DOUBLE_EQ(degrees[0], row.first);
    }
}

TEST(TConditionLayerTest, EachInputFeedsItsOwnFunctions) {
    std::unique_ptr<TRuvo> net = BuildRuvo({2, 3}, 1, {2});
    const std::vector<double> degrees = Fuzzify(net.get(), {0.3, 0.8});
    const double expected[] = {0.7, 0.3, 0.0, 0.4, 0.6};
    ASSERT_EQ(degrees.size(), 5u);
    for (int j = 0; j < 5; ++j) {
        EXPECT_NEAR(degrees[j], expected[j], 1e-15) << "neuron " << j;
    }
}

TEST(TConditionLayerTest, NotANumberInputGivesNoDegreeAndNoCrash) {
    std::unique_ptr<TRuvo> net = BuildRuvo({3}, 1, {2});
    const std::vector<double> degrees =
        Fuzzify(net.get(), {std::numeric_limits<double>::quiet_NaN()});
    for (double degree : degrees) {
        EXPECT_EQ(degree, 0.0);
    }
}

TEST(TConditionLayerTest, SetInputMFsLinksWithinEachInputAndSpacesCentres) {
    std::unique_ptr<TRuvo> net = BuildRuvo({2, 5}, 1, {2});
    TConditionLayer* layer = Conditions(net.get());
    const double centres[] = {0.0, 1.0, 0.0, 0.25, 0.5, 0.75, 1.0};
    const int inputOf[] = {0, 0, 1, 1, 1, 1, 1};
    for (int j = 0; j < 7; ++j) {
        SCOPED_TRACE(testing::Message() << "neuron " << j);
        EXPECT_EQ(layer->nodes[j].centre, centres[j]);
        EXPECT_EQ(layer->inputOf[j], inputOf[j]);
        const bool first = j == 0 || j == 2;
        const bool last = j == 1 || j == 6;
        EXPECT_EQ(layer->nodes[j].prevMF, first ? nullptr : &layer->nodes[j - 1]);
        EXPECT_EQ(layer->nodes[j].nextMF, last ? nullptr : &layer->nodes[j + 1]);
        EXPECT_EQ(layer->nodes[j].actFunction, &ActRuvoCondition);
        EXPECT_TRUE(layer->nodes[j].trainable);
    }
    EXPECT_EQ(layer->numInputs, 2);
    EXPECT_STREQ(layer->GetLayerType(), "FuzzyCondition");
    EXPECT_EQ(layer->GetLayerCode(), 4);
}

TEST(TConditionLayerTest, ResetCentresRestoresEvenSpacing) {
    std::unique_ptr<TRuvo> net = BuildRuvo({3, 2}, 1, {2});
    TConditionLayer* layer = Conditions(net.get());
    for (int j = 0; j < 5; ++j) {
        layer->nodes[j].centre = 9.0;
    }
    layer->ResetCentres(1);  // only the first input
    EXPECT_EQ(layer->nodes[0].centre, 0.0);
    EXPECT_EQ(layer->nodes[1].centre, 0.5);
    EXPECT_EQ(layer->nodes[2].centre, 1.0);
    EXPECT_EQ(layer->nodes[3].centre, 9.0);
    layer->ResetCentres(2);
    EXPECT_EQ(layer->nodes[3].centre, 0.0);
    EXPECT_EQ(layer->nodes[4].centre, 1.0);
}

TEST(TConditionLayerTest, IndicesOfAnInputsFunctions) {
    std::unique_ptr<TRuvo> net = BuildRuvo({2, 3}, 1, {2});
    TConditionLayer* layer = Conditions(net.get());
    const int positions[] = {0, 1, 0, 1, 2};
    for (int j = 0; j < 5; ++j) {
        EXPECT_EQ(layer->GetMFIndexInInput(j), positions[j]) << "neuron " << j;
    }
    int* indices = nullptr;
    ASSERT_EQ(layer->GetInputMFIndices(1, &indices), 3);
    const std::vector<int> got(indices, indices + 3);
    delete[] indices;
    EXPECT_EQ(got, (std::vector<int>{2, 3, 4}));
}

TEST(TConditionLayerTest, RemoveNeuronLeavesLayerUnchanged) {
    std::unique_ptr<TRuvo> net = BuildRuvo({3}, 1, {2});
    TConditionLayer* layer = Conditions(net.get());
    layer->RemoveNeuron(1);
    EXPECT_EQ(layer->numNeurons, 3);
    EXPECT_EQ(layer->nodes[1].centre, 0.5);
    EXPECT_EQ(layer->nodes[1].nextMF, &layer->nodes[2]);
}

TEST(TConditionLayerTest, CloneKeepsCentresTrainableFlagsAndFunctions) {
    std::unique_ptr<TRuvo> net = BuildRuvo({3, 2}, 1, {2});
    const double centres[] = {0.1, 0.3, 0.95, 0.2, 0.6};
    net->SetWeightLayer(1, centres);
    net->FreezeWeight(1, 3, 1);
    TBasicNetwork copy(*net);
    TConditionLayer* cloned = Conditions(&copy);
    ASSERT_NE(cloned, nullptr);
    for (int j = 0; j < 5; ++j) {
        SCOPED_TRACE(testing::Message() << "neuron " << j);
        EXPECT_EQ(cloned->nodes[j].centre, centres[j]);
        EXPECT_EQ(cloned->nodes[j].trainable, j != 3);
        EXPECT_EQ(cloned->nodes[j].layer, cloned);
        EXPECT_EQ(cloned->nodes[j].activation, &cloned->activations[j]);
        EXPECT_EQ(cloned->nodes[j].actFunction, &ActRuvoCondition);
    }
    // The links point into the clone, so it fuzzifies with its own centres.
    EXPECT_EQ(cloned->nodes[1].prevMF, &cloned->nodes[0]);
    EXPECT_EQ(cloned->nodes[2].nextMF, nullptr);
    EXPECT_EQ(cloned->nodes[3].prevMF, nullptr);
    EXPECT_EQ(Fuzzify(&copy, {0.2, 0.4}), Fuzzify(net.get(), {0.2, 0.4}));
    cloned->nodes[0].centre = 0.0;
    EXPECT_EQ(Conditions(net.get())->nodes[0].centre, 0.1);
}

TEST(TConditionLayerTest, RegistryFindsMembershipFunctionInAnyCase) {
    std::unique_ptr<TRuvo> net = BuildRuvo({2}, 1, {2});
    for (const char* name : {"Ruvo-condition", "RUVO-CONDITION", "ruvo-Condition"}) {
        EXPECT_EQ(net->registry->Lookup(name), &ActRuvoCondition) << name;
    }
    EXPECT_STREQ(net->registry->GetName(ActRuvoCondition), "Ruvo-condition");
}

TEST(TConditionLayerTest, MembershipFunctionThroughNeuronAndLayer) {
    std::unique_ptr<TRuvo> net = BuildRuvo({3}, 1, {2});
    TConditionLayer* layer = Conditions(net.get());
    layer->nodes[1].Activate(0.25);
    EXPECT_EQ(layer->activations[1], 0.5);
    double net3[] = {0.75, 0.75, 0.75};
    layer->ApplyActFunctions(net3);
    EXPECT_EQ(Activations(layer), (std::vector<double>{0.0, 0.5, 0.5}));
}

// A network file can give a plain neuron the membership function; it has no centre to read.
TEST(TConditionLayerTest, MembershipFunctionOnPlainNeuronRaises) {
    std::unique_ptr<TRuvo> net = BuildRuvo({2}, 1, {2});
    TBasicNeuron* rule = net->layers[3]->GetNeuron(0);
    ExpectTException([&] { ActRuvoCondition(rule, 0.5); },
                     "Ruvo-condition needs a neuron of a condition layer", "Bad Parameter",
                     "ActRuvoCondition");
}

// A network file can describe more inputs in the condition layer than its source layer has.
TEST(TConditionLayerTest, RecallWithTooFewSourceNeuronsRaises) {
    TBasicNetwork net(3);
    net.layers[0] = new TSimpleLayer(&net, 0, 0);
    net.layers[1] = new TSimpleInputLayer(&net, 1, 1);
    TConditionLayer* layer = new TConditionLayer(&net, 2, 4);
    net.layers[2] = layer;
    const int counts[] = {2, 2};
    layer->SetInputMFs(2, counts);
    ExpectTException([&] { layer->Recall(nullptr); },
                     "Condition layer has more inputs than its source layer", "Bad Parameter",
                     "TConditionLayer::Recall");
}

TEST(TConditionLayerDeathTest, FewerThanTwoFunctionsPerInput) {
    TBasicNetwork net(3);
    net.layers[0] = new TSimpleLayer(&net, 0, 0);
    net.layers[1] = new TSimpleInputLayer(&net, 1, 2);
    TConditionLayer* layer = new TConditionLayer(&net, 2, 3);
    net.layers[2] = layer;
    const int counts[] = {2, 1};
    EXPECT_DEATH(layer->SetInputMFs(2, counts), "NdxMF >= 2");
}

TEST(TConditionLayerDeathTest, InsertNeuronIsUnsupported) {
    std::unique_ptr<TRuvo> net = BuildRuvo({2}, 1, {2});
    EXPECT_DEATH(net->layers[2]->InsertNeuron(0), "false");
}

}  // namespace
}  // namespace ruvo
