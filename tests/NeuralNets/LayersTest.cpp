#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "NetTestUtil.h"
#include "NeuralNets/TBasicNetwork.h"

namespace ruvo {
namespace {

using test::MakeBasicNetwork;

// Recalls one layer, returning its activations and what it wrote to standard error.
std::vector<double> RecallLayer(TBasicLayer* layer,
                                const std::vector<double>& input,
                                std::string* warnings) {
    testing::internal::CaptureStderr();
    layer->Recall(input.data());
    *warnings = testing::internal::GetCapturedStderr();
    return std::vector<double>(layer->activations, layer->activations + layer->numNeurons);
}

TEST(TSimpleInputLayerTest, AtTheInputPositionCopiesTheInput) {
    auto net = MakeBasicNetwork({0, 3, 1});
    std::string warnings;
    const auto acts = RecallLayer(net->layers[1], {0.25, -4.0, 1e9}, &warnings);
    EXPECT_EQ(acts, (std::vector<double>{0.25, -4.0, 1e9}));
    EXPECT_EQ(warnings, "");
    EXPECT_STREQ(net->layers[1]->GetLayerType(), "Input");
    EXPECT_EQ(net->layers[1]->GetActFunction(), ActLinear);
}

TEST(TSimpleInputLayerTest, ElsewhereWarnsOncePerRecallAndYieldsZeros) {
    auto net = MakeBasicNetwork({0, 2, 2});
    TBasicLayer* misplaced = new TSimpleInputLayer(net.get(), 2, 2);
    net->layers[2]->Destroy();
    net->layers[2] = misplaced;
    misplaced->activations[0] = 7.0;
    for (int round = 0; round < 2; ++round) {
        std::string warnings;
        const auto acts = RecallLayer(misplaced, {1.0, 2.0}, &warnings);
        EXPECT_EQ(acts, (std::vector<double>{0.0, 0.0}));
        EXPECT_EQ(warnings, "!Warning: changed input layer (TSimpleInputLayer)\n");
    }
}

TEST(TSimpleLayerTest, AtTheInputPositionWarnsAndStillAppliesItsFunctions) {
    auto net = MakeBasicNetwork({0, 2, 1});
    TBasicLayer* simple = new TSimpleLayer(net.get(), 1, 2);
    simple->SetActFunction(ActSigmoid);
    net->layers[1]->Destroy();
    net->layers[1] = simple;
    std::string warnings;
    const auto acts = RecallLayer(simple, {0.0, 2.0}, &warnings);
    EXPECT_EQ(warnings, "!Warning: changed input layer (TSimpleLayer)\n");
    EXPECT_DOUBLE_EQ(acts[0], 0.5);
    EXPECT_DOUBLE_EQ(acts[1], 1.0 / (1.0 + std::exp(-2.0)));
}

TEST(TGainLayerTest, AtTheInputPositionWarnsWithTheSimpleLayerText) {
    auto net = MakeBasicNetwork({0, 2, 1});
    TBasicLayer* gain = new TGainLayer(net.get(), 1, 2, 2.0);
    gain->SetActFunction(ActLinearGain);
    net->layers[1]->Destroy();
    net->layers[1] = gain;
    std::string warnings;
    const auto acts = RecallLayer(gain, {1.5, -1.0}, &warnings);
    EXPECT_EQ(warnings, "!Warning: changed input layer (TSimpleLayer)\n");
    EXPECT_EQ(acts, (std::vector<double>{3.0, -2.0}));
}

TEST(TSimpleLayerTest, HiddenLayerWithoutInputsAppliesItsFunctionToZero) {
    auto net = MakeBasicNetwork({0, 2, 3}, ActSigmoid);
    std::string warnings;
    const auto acts = RecallLayer(net->layers[2], {5.0, 6.0}, &warnings);
    EXPECT_EQ(acts, (std::vector<double>{0.5, 0.5, 0.5}));
    EXPECT_EQ(warnings, "");
}

TEST(TBasicLayerTest, GetActFunctionRecordsACommonFunctionOnlyWhenThereIsOne) {
    auto net = MakeBasicNetwork({0, 1, 3});
    TBasicLayer* layer = net->layers[2];

    TSimpleLayer empty(net.get(), 2, 0);
    EXPECT_EQ(empty.GetActFunction(), ActNull);
    EXPECT_EQ(empty.actFunction, ActNull);

    layer->SetActFunction(ActSigmoid);
    layer->GetNeuron(1)->SetActFunction(ActTanh);  // clears the common function
    EXPECT_EQ(layer->actFunction, nullptr);
    EXPECT_EQ(layer->GetActFunction(), nullptr);
    EXPECT_EQ(layer->actFunction, nullptr);

    layer->GetNeuron(1)->SetActFunction(ActSigmoid);
    EXPECT_EQ(layer->GetActFunction(), ActSigmoid);
    EXPECT_EQ(layer->actFunction, ActSigmoid);
}

TEST(TBasicLayerTest, MixedFunctionsApplyPerNeuron) {
    auto net = MakeBasicNetwork({0, 2, 2});
    TBasicLayer* layer = net->layers[2];
    layer->GetNeuron(0)->SetActFunction(ActBias);
    layer->GetNeuron(1)->SetActFunction(ActSigmoid);
    std::string warnings;
    const auto acts = RecallLayer(layer, {}, &warnings);
    EXPECT_EQ(acts, (std::vector<double>{1.0, 0.5}));
}

TEST(TGainNeuronTest, ParametersAreTheGain) {
    TGainNeuron neuron;
    EXPECT_EQ(neuron.gain, 1.0);
    EXPECT_EQ(neuron.GetNumParameters(), 1);
    EXPECT_STREQ(neuron.GetParameterName(0), "Gain");
    const double values[] = {2.5};
    neuron.SetParameters(values);
    double read[] = {0.0};
    neuron.GetParameters(read);
    EXPECT_EQ(read[0], 2.5);
    EXPECT_EQ(TBasicNeuron().GetNumParameters(), 0);
}

TEST(TBasicLayerTest, CloneHasClearedActivationsAndTheSameFunctionsGainsAndDimensions) {
    auto net = MakeBasicNetwork({0, 2, 2});
    TGainLayer* gain = new TGainLayer(net.get(), 2, 3, 1.0);
    net->layers[2]->Destroy();
    net->layers[2] = gain;
    gain->SetActFunction(ActSigmoidGain);
    gain->GetNeuron(2)->SetActFunction(ActTanhGain);
    gain->nodes[1].gain = 4.0;
    const int dims[] = {3, 1};
    gain->SetDimensions(2, dims);
    std::string warnings;
    RecallLayer(gain, {}, &warnings);
    ASSERT_EQ(gain->activations[0], 0.5);

    auto other = MakeBasicNetwork({0, 2, 2});
    std::unique_ptr<TBasicLayer, void (*)(TBasicLayer*)> copy(gain->Clone(other.get()),
                                                              [](TBasicLayer* l) { l->Destroy(); });
    auto* clone = dynamic_cast<TGainLayer*>(copy.get());
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(clone->network, other.get());
    EXPECT_EQ(clone->layerNum, 2);
    EXPECT_EQ(clone->actFunction, nullptr);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(clone->activations[i], 0.0);
        EXPECT_EQ(clone->nodes[i].activation, clone->activations + i);
        EXPECT_EQ(clone->nodes[i].layer, clone);
        EXPECT_EQ(clone->nodes[i].actFunction, gain->nodes[i].actFunction);
        EXPECT_EQ(clone->nodes[i].gain, gain->nodes[i].gain);
    }
    int read[2] = {0, 0};
    ASSERT_EQ(clone->numDimensions, 2);
    clone->GetDimensions(read);
    EXPECT_EQ(read[0], 3);
    EXPECT_EQ(read[1], 1);
    EXPECT_NE(clone->dimensions, gain->dimensions);
}

TEST(TBasicLayerTest, CloneKeepsTheClass) {
    auto net = MakeBasicNetwork({0, 2, 2});
    for (int i = 1; i <= 2; ++i) {
        TBasicLayer* copy = net->layers[i]->Clone(net.get());
        EXPECT_STREQ(copy->GetLayerType(), net->layers[i]->GetLayerType());
        EXPECT_EQ(copy->GetActFunction(), net->layers[i]->GetActFunction());
        copy->Destroy();
    }
}

struct InsertRow {
    const char* what;
    bool gainLayer;
    bool mixed;
    int size;
    int position;
    TActFunction expectedFn;
    double expectedGain;
};

TEST(TBasicLayerTest, InsertedNeuronTakesTheCommonFunctionAndNeuronZerosGain) {
    const InsertRow kRows[] = {
        {"common sigmoid", false, false, 2, 1, ActSigmoid, 0.0},
        {"mixed functions", false, true, 2, 0, ActError, 0.0},
        {"gain layer", true, false, 2, 2, ActSigmoidGain, 3.5},
        {"empty gain layer", true, false, 0, 0, ActSigmoidGain, 1.0},
    };
    for (const InsertRow& row : kRows) {
        SCOPED_TRACE(row.what);
        auto net = MakeBasicNetwork({0, 1, 1});
        TBasicLayer* layer;
        if (row.gainLayer) {
            layer = new TGainLayer(net.get(), 2, row.size, 3.5);
            layer->SetActFunction(ActSigmoidGain);
        } else {
            layer = new TSimpleLayer(net.get(), 2, row.size);
            layer->SetActFunction(ActSigmoid);
        }
        net->layers[2]->Destroy();
        net->layers[2] = layer;
        if (row.mixed) {
            layer->GetNeuron(1)->SetActFunction(ActTanh);
        }
        std::vector<TActFunction> before;
        for (int i = 0; i < row.size; ++i) {
            before.push_back(layer->GetNeuron(i)->actFunction);
        }
        layer->InsertNeuron(row.position);
        ++layer->numNeurons;
        TBasicNeuron* added = layer->GetNeuron(row.position);
        EXPECT_EQ(added->actFunction, row.expectedFn);
        if (row.gainLayer) {
            EXPECT_EQ(static_cast<TGainNeuron*>(added)->gain, row.expectedGain);
        }
        for (int i = 0; i < layer->numNeurons; ++i) {
            TBasicNeuron* neuron = layer->GetNeuron(i);
            EXPECT_EQ(neuron->activation, layer->activations + i);
            EXPECT_EQ(neuron->layer, layer);
            EXPECT_EQ(neuron->index, i);
            if (i != row.position) {
                EXPECT_EQ(neuron->actFunction, before[i < row.position ? i : i - 1]);
            }
        }
    }
}

TEST(TBasicLayerTest, RemovedNeuronLeavesTheOthersInOrder) {
    auto net = MakeBasicNetwork({0, 1, 1});
    TGainLayer* layer = new TGainLayer(net.get(), 2, 3, 1.0);
    net->layers[2]->Destroy();
    net->layers[2] = layer;
    for (int i = 0; i < 3; ++i) {
        layer->nodes[i].gain = 10.0 + i;
    }
    layer->RemoveNeuron(1);
    --layer->numNeurons;
    ASSERT_EQ(layer->numNeurons, 2);
    EXPECT_EQ(layer->nodes[0].gain, 10.0);
    EXPECT_EQ(layer->nodes[1].gain, 12.0);
    EXPECT_EQ(layer->nodes[1].activation, layer->activations + 1);
}

TEST(TBasicLayerTest, DimensionsAreCopiedAndReplaced) {
    auto net = MakeBasicNetwork({0, 1, 4});
    TBasicLayer* layer = net->layers[2];
    EXPECT_EQ(layer->numDimensions, 0);
    layer->GetDimensions(nullptr);  // nothing stored: nothing to do
    std::vector<int> shape = {2, 2};
    layer->SetDimensions(2, shape.data());
    shape[0] = 99;
    int read[2] = {0, 0};
    layer->GetDimensions(read);
    EXPECT_EQ(read[0], 2);
    EXPECT_EQ(read[1], 2);
    layer->SetDimensions(0, nullptr);
    EXPECT_EQ(layer->numDimensions, 0);
}

// A layer class that keeps the base's InsertNeuron.
class TFixedLayer : public TSimpleLayer {
public:
    using TSimpleLayer::TSimpleLayer;
    void InsertNeuron(int i) override { TBasicLayer::InsertNeuron(i); }
};

TEST(TBasicLayerDeathTest, CallsACorrectCallerNeverMakes) {
    auto net = MakeBasicNetwork({0, 1, 2});
    TBasicLayer* layer = net->layers[2];
    EXPECT_DEATH(TBasicNeuron().GetParameterName(0), "false");
    EXPECT_DEATH(TGainNeuron().GetParameterName(1), "i == 0");
    EXPECT_DEATH(layer->GetNeuron(2), "i < numNeurons");
    EXPECT_DEATH(layer->SetDimensions(2, nullptr), "dimensions != NULL");
    const int dims[] = {2};
    layer->SetDimensions(1, dims);
    EXPECT_DEATH(layer->GetDimensions(nullptr), "parameters != NULL");
    TFixedLayer fixed(net.get(), 2, 1);
    EXPECT_DEATH(fixed.InsertNeuron(0), "false");
}

TEST(TBasicLayerDeathTest, RecallOfANeuronWithoutAFunction) {
    auto net = MakeBasicNetwork({0, 1, 2});
    TSimpleLayer* fresh = new TSimpleLayer(net.get(), 2, 2);  // "error" everywhere
    net->layers[2]->Destroy();
    net->layers[2] = fresh;
    EXPECT_DEATH(fresh->Recall(nullptr), "ActError");
}

}  // namespace
}  // namespace ruvo
