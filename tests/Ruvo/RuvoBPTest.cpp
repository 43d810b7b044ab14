#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "DataObject/Data.h"
#include "FuzzyTestUtil.h"
#include "KQmessage/KQML.h"
#include "NeuralNets/TBasicNetwork.h"
#include "Ruvo/TRuvo.h"
#include "Ruvo/TRuvoBP.h"

namespace ruvo {
namespace {

using fuzzytest::BuildWorkedRuvo;
using fuzzytest::Sigmoid;
using fuzzytest::WeightLayer;

// ---------------------------------------------------------------------------------------------
// Vocabulary

std::vector<double> Weights(TBasicNetwork* net, int mask) {
    std::vector<double> w(static_cast<std::size_t>(net->GetNumWeights(mask)));
    net->GetWeights(w.data(), mask);
    return w;
}

bool BitIdentical(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

std::unique_ptr<TKQstructure> Params(const std::vector<std::pair<const char*, const char*>>& keys) {
    auto params = std::make_unique<TKQstructure>("Params");
    for (const auto& key : keys) {
        params->SetString(key.first, key.second);
    }
    return params;
}

// Samples of a smooth function of two inputs on a 5 x 5 grid of [0, 1]^2, targets within
// [0.1, 0.9].
std::unique_ptr<Data> SmoothFunctionData() {
    auto data = std::make_unique<Data>(25, 2, 1, false);
    for (int i = 0; i < 5; ++i) {
        for (int j = 0; j < 5; ++j) {
            const double x[] = {i / 4.0, j / 4.0};
            const double y[] = {0.5 + 0.25 * std::sin(3.0 * x[0]) * std::cos(2.0 * x[1]) +
                                0.1 * x[1]};
            data->AppendRow(x, y, nullptr);
        }
    }
    return data;
}

// Two inputs with 3 functions each, 9 rules, one output with 5 functions, inner weights drawn in
// [-0.5, 0.5) from the restarted generator.
std::unique_ptr<TRuvo> BuildSmoothRuvo() {
    const int mfIn[] = {3, 3};
    const int mfOut[] = {5};
    auto net = std::make_unique<TRuvo>(2, mfIn, 9, mfOut, 1);
    ResetRandomGenerator();
    net->InitWeights(-0.5, 0.5);
    return net;
}

// ---------------------------------------------------------------------------------------------
// Desired degrees

struct DegreeRow {
    std::vector<double> centres;
    double target;
    std::vector<double> degrees;
};

TEST(TRuvoBPTest, DesiredDegreesFollowTriangles) {
    const DegreeRow kRows[] = {
        {{0, 1}, 0.25, {0.75, 0.25}},  {{0, 1}, 1.2, {0, 1}},
        {{0, 1}, -0.1, {1, 0}},        {{0, 1}, 0.0, {1, 0}},
        {{0, 1}, 1.0, {0, 1}},         {{0, 0.5, 1}, 0.75, {0, 0.5, 0.5}},
        {{0, 0.5, 1}, 0.5, {0, 1, 0}}, {{0, 0.5, 1}, 0.25, {0.5, 0.5, 0}},
        {{0, 0.5, 1}, 0.0, {1, 0, 0}}, {{0, 0.5, 1}, 1.0, {0, 0, 1}},
        {{0, 0.5, 1}, 7.0, {0, 0, 1}}, {{0, 0.25, 0.5, 1}, 0.375, {0, 0.5, 0.5, 0}},
    };
    for (const DegreeRow& row : kRows) {
        const int k = static_cast<int>(row.centres.size());
        SCOPED_TRACE(testing::Message() << k << " functions, target " << row.target);
        for (int m = 0; m < k; ++m) {
            SCOPED_TRACE(testing::Message() << "function " << m);
            const double previous = m > 0 ? row.centres[m - 1] : 0.0;
            const double next = m + 1 < k ? row.centres[m + 1] : 0.0;
            EXPECT_DOUBLE_EQ(DesiredDegree(m, k, previous, row.centres[m], next, row.target),
                             row.degrees[m]);
        }
    }
}

// With two outputs of 2 and 3 functions, the action signals of each output's group are the
// distances from that output's desired degrees, times the sigmoid derivative.
TEST(TRuvoBPTest, ActionSignalsAreDistancesFromDesiredDegreesOfEachOutput) {
    struct Row {
        double target0;
        double target1;
        double mu[5];
    };
    const Row kRows[] = {
        {0.25, 0.75, {0.75, 0.25, 0, 0.5, 0.5}},
        {1.0, 0.5, {0, 1, 0, 1, 0}},
        {0.0, 0.25, {1, 0, 0.5, 0.5, 0}},
    };
    const int mfIn[] = {2};
    const int mfOut[] = {2, 3};
    for (const Row& row : kRows) {
        SCOPED_TRACE(testing::Message() << "targets " << row.target0 << ", " << row.target1);
        TRuvo net(1, mfIn, 2, mfOut, 2);
        net.InitWeights(0.5, 0.5);  // output centres 0, 1 and 0, 0.5, 1
        TRuvoBP module(&net);
        const double acts[] = {0.625, 0.125, 0.5, 0.375, 0.25};
        std::copy(acts, acts + 5, net.layers[4]->activations);
        const double outputs[] = {0.5, 0.5};
        const double targets[] = {row.target0, row.target1};
        for (int j = 0; j < 2; ++j) {
            net.layers[5]->activations[j] = outputs[j];
            module.errorNet->layers[5]->activations[j] = outputs[j] - targets[j];
        }
        module.BackpropagateErrors(0);
        for (int a = 0; a < 5; ++a) {
            SCOPED_TRACE(testing::Message() << "action " << a);
            EXPECT_EQ(module.errorNet->layers[4]->activations[a],
                      (acts[a] - row.mu[a]) * acts[a] * (1.0 - acts[a]));
        }
    }
}

TEST(TRuvoBPTest, WorkedPatternGivesHandComputedSignalsAndGradients) {
    auto net = BuildWorkedRuvo();
    TRuvoBP module(net.get());
    const double x[] = {0.25};
    const double t[] = {0.5};
    module.LearnPattern(x, t, 0, nullptr);

    const double rule = Sigmoid(0.5);
    const double a0 = Sigmoid(2.0 * rule);
    const double a1 = Sigmoid(-2.0 * rule);
    EXPECT_NEAR(net->layers[3]->activations[0], 0.6224593, 1e-7);
    EXPECT_NEAR(net->layers[4]->activations[0], 0.7764190, 1e-7);
    EXPECT_NEAR(net->layers[4]->activations[1], 0.2235809, 1e-7);
    EXPECT_DOUBLE_EQ(net->layers[5]->activations[0], a1 / (a0 + a1));

    // The desired degrees for 0.5 are 0.5 and 0.5.
    const double* actions = net->layers[4]->activations;
    const double e0 = (actions[0] - 0.5) * actions[0] * (1.0 - actions[0]);
    const double e1 = (actions[1] - 0.5) * actions[1] * (1.0 - actions[1]);
    EXPECT_EQ(module.errorNet->layers[4]->activations[0], e0);
    EXPECT_EQ(module.errorNet->layers[4]->activations[1], e1);

    const double r = net->layers[3]->activations[0];
    EXPECT_EQ(*module.errorNet->priv_conns_index[4][3]->GetWeight(0, 0), e0 * r);
    EXPECT_EQ(*module.errorNet->priv_conns_index[4][3]->GetWeight(0, 1), e1 * r);
    const double eRule = (0.0 + 2.0 * e0 + -2.0 * e1) * r * (1.0 - r);
    EXPECT_DOUBLE_EQ(module.errorNet->layers[3]->activations[0], eRule);
    EXPECT_DOUBLE_EQ(*module.errorNet->priv_conns_index[3][2]->GetWeight(0, 0), eRule * 0.75);
    EXPECT_DOUBLE_EQ(*module.errorNet->priv_conns_index[3][2]->GetWeight(1, 0), eRule * 0.25);

    // The centres get no error gradient.
    for (int weightLayer : {1, 4}) {
        SCOPED_TRACE(testing::Message() << "weight layer " << weightLayer);
        TBasicConnections* gradients =
            module.errorNet->priv_conns_index[weightLayer + 1][weightLayer];
        std::vector<double> g(static_cast<std::size_t>(gradients->GetNumWeights(FMaskExists)));
        ASSERT_EQ(g.size(), 2u);
        gradients->GetWeights(g.data(), FMaskExists);
        EXPECT_EQ(g, (std::vector<double>{0.0, 0.0}));
    }
}

TEST(TRuvoBPTest, ActionsAtDesiredDegreesChangeNoWeight) {
    auto net = BuildWorkedRuvo();
    TRuvoBP module(net.get());
    const std::vector<double> before = Weights(net.get(), FMaskExists);
    net->layers[3]->activations[0] = 0.625;
    net->layers[4]->activations[0] = 0.75;  // desired degrees for the target 0.25
    net->layers[4]->activations[1] = 0.25;
    net->layers[5]->activations[0] = 0.5;
    module.errorNet->layers[5]->activations[0] = 0.5 - 0.25;
    module.BackpropagateErrors(0);
    EXPECT_EQ(module.errorNet->layers[4]->activations[0], 0.0);
    EXPECT_EQ(module.errorNet->layers[4]->activations[1], 0.0);
    module.UpdateWeights(0.5, 0.9);
    EXPECT_TRUE(BitIdentical(before, Weights(net.get(), FMaskExists)));
}

// ---------------------------------------------------------------------------------------------
// Training the fuzzy network

TEST(TRuvoBPTest, TrainingLowersErrorAndRepeatsDigitForDigit) {
    struct Row {
        const char* name;
        std::vector<std::pair<const char*, const char*>> params;
        double fraction;  // the last epoch's error is below this fraction of the first one's
    };
    const Row kRows[] = {
        {"per pattern, momentum", {{"LearningRate", "0.5"}, {"Momentum", "0.9"}}, 0.5},
        {"batch", {{"LearningRate", "0.2"}, {"Momentum", "0.5"}, {"Batch", "true"}}, 0.75},
        // The measure is cross entropy while the signals are still the degrees' distances.
        {"cross entropy", {{"LearningRate", "0.5"}, {"ErrorFunction", "CROSSENTROPY"}}, 1.0},
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        std::vector<double> previousErrors;
        std::vector<double> previousWeights;
        for (int run = 0; run < 2; ++run) {
            auto net = BuildSmoothRuvo();
            TRuvoBP module(net.get());
            auto data = SmoothFunctionData();
            auto params = Params(row.params);
            std::vector<double> errors;
            for (int epoch = 0; epoch < 60; ++epoch) {
                errors.push_back(module.TrainEpoch(data.get(), params.get()));
            }
            EXPECT_LT(errors.back(), row.fraction * errors.front());
            if (run == 1) {
                EXPECT_TRUE(BitIdentical(errors, previousErrors));
                EXPECT_TRUE(BitIdentical(Weights(net.get(), FMaskExists), previousWeights));
            }
            previousErrors = errors;
            previousWeights = Weights(net.get(), FMaskExists);
        }
    }
}

TEST(TRuvoBPTest, CentresMoveOnlyUnderAPenalty) {
    struct Row {
        const char* name;
        const char* penalty;  // null: none
        bool centresMove;
    };
    const Row kRows[] = {
        {"no penalty", nullptr, false},
        {"explicit NONE", "none", false},
        {"quadratic penalty", "QUADPENALTY", true},
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        auto net = BuildSmoothRuvo();
        // Move the centres off the even spacing, and freeze one of each kind.
        const double inCentres[] = {0.0, 0.4, 1.0, 0.1, 0.55, 0.9};
        const double outCentres[] = {0.0, 0.3, 0.45, 0.7, 1.0};
        net->SetWeightLayer(1, inCentres);
        net->SetWeightLayer(4, outCentres);
        net->FreezeWeight(1, 1, 0);
        net->FreezeWeight(4, 0, 2);
        TRuvoBP module(net.get());
        auto data = SmoothFunctionData();
        auto params = Params({{"LearningRate", "0.5"}, {"Momentum", "0.5"}});
        if (row.penalty != nullptr) {
            auto* penalty = new TKQstructure(row.penalty);
            penalty->SetString("EPSILON2", "0.01");
            params->Set("WeightPenalty", penalty);
        }
        for (int epoch = 0; epoch < 5; ++epoch) {
            module.TrainEpoch(data.get(), params.get());
        }
        const std::vector<double> in = WeightLayer(net.get(), 1);
        const std::vector<double> out = WeightLayer(net.get(), 4);
        EXPECT_EQ(in[1], 0.4);  // frozen
        EXPECT_EQ(out[2], 0.45);
        EXPECT_EQ(!BitIdentical(in, std::vector<double>(inCentres, inCentres + 6)),
                  row.centresMove);
        EXPECT_EQ(!BitIdentical(out, std::vector<double>(outCentres, outCentres + 5)),
                  row.centresMove);
    }
}

// ---------------------------------------------------------------------------------------------
// Networks it cannot train

TEST(TRuvoBPTest, RejectsAnythingButASixLayerRuvo) {
    struct Row {
        const char* name;
        std::unique_ptr<TBasicNetwork> (*build)();
        const char* message;
        const char* kind;
    };
    const Row kRows[] = {
        {"null", [] { return std::unique_ptr<TBasicNetwork>(); }, "Null network pointer",
         "Null Pointer Parameter"},
        {"connected network",
         [] {
             const int counts[] = {0, 1, 2, 1, 2, 1};
             return std::unique_ptr<TBasicNetwork>(new TConnectedNetwork(6, counts));
         },
         "Network is not a six-layer Ruvo network", "Bad Parameter"},
        {"plain copy of a Ruvo",
         [] {
             auto ruvo = BuildWorkedRuvo();
             return std::unique_ptr<TBasicNetwork>(new TBasicNetwork(*ruvo));
         },
         "Network is not a six-layer Ruvo network", "Bad Parameter"},
        {"Ruvo without fuzzy layers",
         [] {
             auto ruvo = std::make_unique<TRuvo>();
             ruvo->Init(6);
             for (int i = 0; i < 6; ++i) {
                 ruvo->layers[i] = new TSimpleLayer(ruvo.get(), i, 1);
             }
             return std::unique_ptr<TBasicNetwork>(ruvo.release());
         },
         "Ruvo network has no defuzzification layer after its action layer", "Bad Parameter"},
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        std::unique_ptr<TBasicNetwork> net = row.build();
        try {
            TRuvoBP module(net.get());
            ADD_FAILURE() << "no exception";
        } catch (const TException& e) {
            EXPECT_STREQ(e.message, row.message);
            EXPECT_STREQ(e.kind, row.kind);
            EXPECT_STREQ(e.location, "TRuvoBP::TRuvoBP");
        }
    }
}

}  // namespace
}  // namespace ruvo
