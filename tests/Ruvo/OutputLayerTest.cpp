#include <gtest/gtest.h>

#include <iostream>
#include <limits>
#include <memory>
#include <vector>

#include "FuzzyTestUtil.h"
#include "NeuralNets/ActFunctions.h"
#include "NeuralNets/TBasicNetwork.h"
#include "Ruvo/TRuvo.h"
#include "Ruvo/TRuvoOutputLayer.h"
#include "Ruvo/TToOutputConnections.h"

namespace ruvo {
namespace {

using fuzzytest::Activations;
using fuzzytest::BuildRuvo;
using fuzzytest::Defuzzify;
using fuzzytest::ExpectTException;
using fuzzytest::OutputCentres;

// Sets the action activations and the output centres, then defuzzifies.
std::vector<double> Defuzzified(TRuvo* net,
                                const std::vector<double>& actions,
                                const std::vector<double>& centres) {
    net->SetWeightLayer(4, centres.data());
    for (std::size_t a = 0; a < actions.size(); ++a) {
        net->layers[4]->activations[a] = actions[a];
    }
    net->layers[5]->Recall(nullptr);
    return Activations(net->layers[5]);
}

TEST(TRuvoOutputLayerTest, CentreOfGravityOfOneOutput) {
    std::unique_ptr<TRuvo> net = BuildRuvo({2}, 1, {2});
    struct Row {
        const char* name;
        std::vector<double> actions;
        std::vector<double> centres;
        double output;
    };
    const Row kRows[] = {
        {"weighted", {0.2, 0.6}, {0.0, 1.0}, (0.0 * 0.2 + 0.6 * 1.0) / (0.2 + 0.6)},
        {"no activation", {0.0, 0.0}, {0.0, 1.0}, 0.0},
        {"only the zero centre active", {0.7, 0.0}, {0.0, 1.0}, 0.0},
        {"one active function", {0.0, 0.3}, {0.2, 0.8}, 0.8},
        {"inner centres", {0.5, 0.5}, {0.2, 0.6}, (0.5 * 0.2 + 0.5 * 0.6) / (0.5 + 0.5)},
        {"boundary 1", {0.0, 0.9}, {0.0, 1.0}, 1.0},
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        const std::vector<double> out = Defuzzified(net.get(), row.actions, row.centres);
        ASSERT_EQ(out.size(), 1u);
        EXPECT_DOUBLE_EQ(out[0], row.output);
    }
    EXPECT_DOUBLE_EQ(Defuzzified(net.get(), {0.2, 0.6}, {0.0, 1.0})[0], 0.75);
}

TEST(TRuvoOutputLayerTest, EachOutputUsesOnlyItsOwnActions) {
    std::unique_ptr<TRuvo> net = BuildRuvo({2}, 1, {2, 3});
    const std::vector<double> centres = {0.0, 1.0, 0.0, 0.5, 1.0};
    const std::vector<double> before = Defuzzified(net.get(), {0.2, 0.6, 0.1, 0.2, 0.3}, centres);
    const std::vector<double> after = Defuzzified(net.get(), {0.2, 0.6, 0.9, 0.2, 0.3}, centres);
    ASSERT_EQ(before.size(), 2u);
    EXPECT_DOUBLE_EQ(before[0], 0.75);
    EXPECT_DOUBLE_EQ(before[1], (0.1 * 0.0 + 0.2 * 0.5 + 0.3 * 1.0) / (0.1 + 0.2 + 0.3));
    EXPECT_EQ(after[0], before[0]);
    EXPECT_DOUBLE_EQ(after[1], (0.9 * 0.0 + 0.2 * 0.5 + 0.3 * 1.0) / (0.9 + 0.2 + 0.3));
}

TEST(TRuvoOutputLayerTest, LayoutAndPositions) {
    std::unique_ptr<TRuvo> net = BuildRuvo({2}, 1, {2, 3});
    TRuvoOutputLayer* layer = Defuzzify(net.get());
    EXPECT_EQ(layer->totalMFs, 5);
    EXPECT_EQ(std::vector<int>(layer->outputOf, layer->outputOf + 5),
              (std::vector<int>{0, 0, 1, 1, 1}));
    const int positions[] = {0, 1, 0, 1, 2};
    for (int a = 0; a < 5; ++a) {
        EXPECT_EQ(layer->GetMFIndexInOutput(a), positions[a]) << "action " << a;
    }
    EXPECT_STREQ(layer->GetLayerType(), "Defuzzify");
    EXPECT_EQ(layer->GetLayerCode(), 5);
    EXPECT_EQ(layer->GetActFunction(), &ActCog);
}

TEST(TRuvoOutputLayerTest, CloneKeepsLayoutAndRecallsLikeTheSource) {
    std::unique_ptr<TRuvo> net = BuildRuvo({2}, 2, {2, 3});
    const double centres[] = {0.1, 0.9, 0.0, 0.4, 1.0};
    net->SetWeightLayer(4, centres);
    TBasicNetwork copy(*net);
    TRuvoOutputLayer* cloned = Defuzzify(&copy);
    ASSERT_NE(cloned, nullptr);
    EXPECT_EQ(cloned->totalMFs, 5);
    EXPECT_NE(cloned->mfPerOutput, Defuzzify(net.get())->mfPerOutput);
    EXPECT_EQ(std::vector<int>(cloned->mfPerOutput, cloned->mfPerOutput + 2),
              (std::vector<int>{2, 3}));
    EXPECT_EQ(cloned->GetActFunction(), &ActCog);
    const double actions[] = {0.3, 0.5, 0.2, 0.7, 0.1};
    for (int a = 0; a < 5; ++a) {
        net->layers[4]->activations[a] = actions[a];
        copy.layers[4]->activations[a] = actions[a];
    }
    net->layers[5]->Recall(nullptr);
    cloned->Recall(nullptr);
    EXPECT_EQ(Activations(cloned), Activations(net->layers[5]));
}

// A network file can place a Defuzzify layer over a matrix that holds no centres.
TEST(TRuvoOutputLayerTest, RecallWithoutOutputMatrixRaises) {
    std::unique_ptr<TRuvo> net = BuildRuvo({2}, 1, {2});
    net->DeleteConnections(4, 5);
    ExpectTException([&] { net->layers[5]->Recall(nullptr); },
                     "Defuzzify layer needs ToOutputConnections from its action layer",
                     "Bad Parameter", "TRuvoOutputLayer::Recall");
}

// Writes standard output into standard error, so that the death test's pattern sees the value
// line followed by the report.
void RecallWithStdoutOnStderr(TBasicLayer* layer) {
    std::cout.rdbuf(std::cerr.rdbuf());
    layer->Recall(nullptr);
}

TEST(TRuvoOutputLayerDeathTest, OutputAboveOneIsReportedAndEndsTheRun) {
    std::unique_ptr<TRuvo> net = BuildRuvo({2}, 1, {2});
    net->SetWeightValue(4, 1, 0, 2.0);
    net->layers[4]->activations[0] = 0.0;
    net->layers[4]->activations[1] = 0.5;
    EXPECT_EXIT(RecallWithStdoutOnStderr(net->layers[5]), testing::ExitedWithCode(1),
                "^2\n.*\\(ActActivation >= 0\\) && \\(ActActivation <= 1\\)");
}

TEST(TRuvoOutputLayerDeathTest, NegativeAndNotANumberOutputsAreReported) {
    struct Row {
        const char* name;
        double centre;
        const char* line;
    };
    const Row kRows[] = {
        {"negative", -0.5, "^-0.5\n"},
        {"not a number", std::numeric_limits<double>::quiet_NaN(), "^-?nan\n"},
        {"infinite", std::numeric_limits<double>::infinity(), "^inf\n"},
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        std::unique_ptr<TRuvo> net = BuildRuvo({2}, 1, {2});
        net->SetWeightValue(4, 0, 0, row.centre);
        net->layers[4]->activations[0] = 0.5;
        net->layers[4]->activations[1] = 0.0;
        EXPECT_EXIT(RecallWithStdoutOnStderr(net->layers[5]), testing::ExitedWithCode(1),
                    std::string(row.line) + ".*ActActivation >= 0");
    }
}

}  // namespace
}  // namespace ruvo
