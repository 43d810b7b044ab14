#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "DataObject/Data.h"
#include "KQmessage/KQML.h"
#include "NeuralNets/TBasicNetwork.h"
#include "NeuralNets/TConnectedConnections.h"
#include "NeuralNets/TErrorObj.h"
#include "NeuralNets/TPrunedConnections.h"
#include "NeuralNets/TTrainModule.h"

namespace ruvo {
namespace {

// ---------------------------------------------------------------------------------------------
// Vocabulary

// Layer sizes and functions of a four-layer network: 0 bias, 1 input, 2 hidden, 3 output.
struct MlpShape {
    int inputs = 2;
    int hidden = 3;
    int outputs = 2;
    TActFunction hiddenFn = ActSigmoid;
    TActFunction outputFn = ActSigmoid;
    bool hiddenGain = false;  // hidden layer of gain neurons, gains 1.5, 0.7, 2.0, ...
    bool outputGain = false;
};

void InstallGainLayer(TBasicNetwork* net, int index, int count) {
    net->layers[index]->Destroy();
    auto* layer = new TGainLayer(net, index, count, 1.0);
    const double kGains[] = {1.5, 0.7, 2.0, 1.2};
    for (int i = 0; i < count; ++i) {
        layer->nodes[i].gain = kGains[i % 4];
    }
    net->layers[index] = layer;
}

// A fully connected network with a bias layer feeding the hidden and the output layer, weights
// drawn in [-1, 1) from the restarted generator.
std::unique_ptr<TConnectedNetwork> BuildMlp(const MlpShape& shape) {
    const int counts[] = {1, shape.inputs, shape.hidden, shape.outputs};
    auto net = std::make_unique<TConnectedNetwork>(4, counts);
    if (shape.hiddenGain) {
        InstallGainLayer(net.get(), 2, shape.hidden);
    }
    if (shape.outputGain) {
        InstallGainLayer(net.get(), 3, shape.outputs);
    }
    net->layers[0]->SetActFunction(ActBias);
    net->layers[2]->SetActFunction(shape.hiddenFn);
    net->layers[3]->SetActFunction(shape.outputFn);
    net->CreateConnections(0, 2);
    net->CreateConnections(1, 2);
    net->CreateConnections(0, 3);
    net->CreateConnections(2, 3);
    ResetRandomGenerator();
    net->RandomizeWeights(-1.0, 1.0);
    return net;
}

// The same layout on a plain network, whose matrices are prunable.
std::unique_ptr<TBasicNetwork> BuildPrunedMlp(int inputs, int hidden, int outputs) {
    auto net = std::make_unique<TBasicNetwork>(4);
    net->layers[0] = new TSimpleLayer(net.get(), 0, 1);
    net->layers[1] = new TSimpleInputLayer(net.get(), 1, inputs);
    net->layers[2] = new TSimpleLayer(net.get(), 2, hidden);
    net->layers[3] = new TSimpleLayer(net.get(), 3, outputs);
    net->layers[0]->SetActFunction(ActBias);
    net->layers[2]->SetActFunction(ActSigmoid);
    net->layers[3]->SetActFunction(ActSigmoid);
    net->CreateConnections(0, 2);
    net->CreateConnections(1, 2);
    net->CreateConnections(0, 3);
    net->CreateConnections(2, 3);
    ResetRandomGenerator();
    net->RandomizeWeights(-1.0, 1.0);
    return net;
}

std::vector<double> Weights(TBasicNetwork* net, int mask) {
    std::vector<double> w(static_cast<std::size_t>(net->GetNumWeights(mask)));
    net->GetWeights(w.data(), mask);
    return w;
}

bool BitIdentical(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

// A data set holding the given rows, filled from slot 0.
std::unique_ptr<Data> MakeData(const std::vector<std::vector<double>>& inputs,
                               const std::vector<std::vector<double>>& targets) {
    auto data =
        std::make_unique<Data>(static_cast<int>(inputs.size()), static_cast<int>(inputs[0].size()),
                               static_cast<int>(targets[0].size()), false);
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        data->AppendRow(inputs[i].data(), targets[i].data(), nullptr);
    }
    return data;
}

std::unique_ptr<Data> FourRows() {
    return MakeData({{0.1, 0.9}, {0.8, 0.2}, {0.5, 0.5}, {0.3, 0.6}},
                    {{0.2, 0.7}, {0.9, 0.1}, {0.4, 0.6}, {0.3, 0.3}});
}

// Five rows of the given widths, inputs in [-1, 1] and targets in [0.1, 0.9].
std::unique_ptr<Data> RowsOfShape(int inputs, int outputs) {
    std::vector<std::vector<double>> in;
    std::vector<std::vector<double>> out;
    for (int r = 0; r < 5; ++r) {
        in.emplace_back();
        out.emplace_back();
        for (int i = 0; i < inputs; ++i) {
            in.back().push_back(std::sin(1.0 + r * 0.7 + i * 1.3));
        }
        for (int o = 0; o < outputs; ++o) {
            out.back().push_back(0.5 + 0.4 * std::cos(r * 1.1 + o * 0.9));
        }
    }
    return MakeData(in, out);
}

// (Params :key value ...), every value stored as text.
std::unique_ptr<TKQstructure> Params(const std::vector<std::pair<const char*, const char*>>& keys) {
    auto params = std::make_unique<TKQstructure>("Params");
    for (const auto& key : keys) {
        params->SetString(key.first, key.second);
    }
    return params;
}

std::string Text(const TKQstructure& s) {
    std::string out;
    s.AppendText(&out);
    return out;
}

// ---------------------------------------------------------------------------------------------
// The worked step: a sigmoid output neuron at 0.8 with target 1.0, fed by a neuron at 0.5.

struct WorkedStepRow {
    double momentum;
    double previousChange;
    double growth;      // by hand: 0.008 plain, 0.008 + 0.009 with momentum
    double lastChange;  // what momentumNet holds afterwards
};

TEST(TBackpropModuleTest, WorkedStepGrowsWeightByHandComputedAmount) {
    const WorkedStepRow kRows[] = {{0.0, 0.0, 0.008, 0.0}, {0.9, 0.01, 0.017, 0.017}};
    for (const WorkedStepRow& row : kRows) {
        SCOPED_TRACE(testing::Message() << "momentum=" << row.momentum);
        const int counts[] = {0, 1, 1};
        TConnectedNetwork net(3, counts);
        net.layers[2]->SetActFunction(ActSigmoid);
        net.CreateConnections(1, 2);
        const double w0 = 0.3;
        *net.priv_conns_index[2][1]->GetWeight(0, 0) = w0;
        TBackpropModule module(&net);
        *module.momentumNet->priv_conns_index[2][1]->GetWeight(0, 0) = row.previousChange;

        net.layers[1]->activations[0] = 0.5;
        net.layers[2]->activations[0] = 0.8;
        module.errorNet->layers[2]->activations[0] = 0.8 - 1.0;
        module.BackpropagateLayer(2, 0);
        EXPECT_DOUBLE_EQ(module.errorNet->layers[2]->activations[0], (0.8 - 1.0) * 0.8 * 0.2);
        EXPECT_NEAR(*module.errorNet->priv_conns_index[2][1]->GetWeight(0, 0), -0.016, 1e-15);

        module.UpdateWeights(0.5, row.momentum);
        const double w = *net.priv_conns_index[2][1]->GetWeight(0, 0);
        EXPECT_NEAR(w - w0, row.growth, 1e-15);
        EXPECT_NEAR(*module.momentumNet->priv_conns_index[2][1]->GetWeight(0, 0), row.lastChange,
                    1e-15);
        // The signal of the input neuron: w * e_t.
        EXPECT_DOUBLE_EQ(module.errorNet->layers[1]->activations[0],
                         w0 * module.errorNet->layers[2]->activations[0]);
    }
}

TEST(TBackpropModuleTest, ExactlyZeroMomentumLeavesMomentumNetZeroAndTinyMomentumDoesNot) {
    struct Row {
        const char* momentum;  // null: no MOMENTUM key
        bool changesStored;
    };
    const Row kRows[] = {{nullptr, false}, {"0", false}, {"0.0", false}, {"1e-12", true}};
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.momentum == nullptr ? "absent" : row.momentum);
        auto net = BuildMlp(MlpShape{});
        TBackpropModule module(net.get());
        auto data = FourRows();
        auto params = Params({{"LearningRate", "0.5"}});
        if (row.momentum != nullptr) {
            params->SetString("Momentum", row.momentum);
        }
        module.TrainEpoch(data.get(), params.get());
        bool anyNonZero = false;
        for (double d : Weights(module.momentumNet, 0)) {
            anyNonZero = anyNonZero || d != 0.0;
        }
        EXPECT_EQ(anyNonZero, row.changesStored);
    }
}

// ---------------------------------------------------------------------------------------------
// Gradients: on a fully connected network with every arc trainable, the accumulated gradient of
// each weight is the derivative of the pattern's error.

struct GradientRow {
    const char* name;
    MlpShape shape;
    int errorFunction;  // 0: E = 1/2 sum (y - t)^2; 1: E = sum -t ln y - (1 - t) ln (1 - y)
};

double PatternError(TBasicNetwork* net,
                    const std::vector<double>& x,
                    const std::vector<double>& t,
                    int errorFunction) {
    std::vector<double> y(t.size());
    net->Recall(x.data(), y.data());
    double e = 0.0;
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (errorFunction == 0) {
            e += 0.5 * (y[i] - t[i]) * (y[i] - t[i]);
        } else {
            e += -t[i] * std::log(y[i]) - (1.0 - t[i]) * std::log(1.0 - y[i]);
        }
    }
    return e;
}

TEST(TBackpropModuleTest, AccumulatedGradientMatchesCentralDifference) {
    MlpShape tanhLinear;
    tanhLinear.hiddenFn = ActTanh;
    tanhLinear.outputFn = ActLinear;
    MlpShape gains;
    gains.hiddenFn = ActSigmoidGain;
    gains.hiddenGain = true;
    gains.outputFn = ActLinearGain;
    gains.outputGain = true;
    MlpShape tanhGain;
    tanhGain.hiddenFn = ActTanhGain;
    tanhGain.hiddenGain = true;
    const GradientRow kRows[] = {
        {"sigmoid, sigmoid, squared error", MlpShape{}, 0},
        {"tanh, linear, squared error", tanhLinear, 0},
        {"sigmoid-gain, linear-gain, squared error", gains, 0},
        {"tanh-gain, sigmoid, cross entropy", tanhGain, 1},
        {"sigmoid, sigmoid, cross entropy", MlpShape{}, 1},
    };
    const std::vector<double> x = {0.3, -0.7};
    const std::vector<double> t = {0.25, 0.8};
    const double h = 1e-6;
    const double kTolerance = 1e-8;
    for (const GradientRow& row : kRows) {
        SCOPED_TRACE(row.name);
        auto net = BuildMlp(row.shape);
        TBackpropModule module(net.get());
        module.LearnPattern(x.data(), t.data(), row.errorFunction, nullptr);
        const std::vector<double> gradient = Weights(module.errorNet, 0);

        std::vector<double> w = Weights(net.get(), 0);
        ASSERT_EQ(w.size(), gradient.size());
        for (std::size_t i = 0; i < w.size(); ++i) {
            SCOPED_TRACE(testing::Message() << "weight " << i);
            std::vector<double> probe = w;
            probe[i] = w[i] + h;
            net->SetWeights(probe.data(), 0);
            const double up = PatternError(net.get(), x, t, row.errorFunction);
            probe[i] = w[i] - h;
            net->SetWeights(probe.data(), 0);
            const double down = PatternError(net.get(), x, t, row.errorFunction);
            EXPECT_NEAR(gradient[i], (up - down) / (2 * h), kTolerance);
        }
        net->SetWeights(w.data(), 0);
    }
}

TEST(TBackpropModuleTest, LinearOutputSignalIsOutputMinusTarget) {
    MlpShape shape;
    shape.outputFn = ActLinear;
    auto net = BuildMlp(shape);
    TBackpropModule module(net.get());
    const double x[] = {0.4, 0.1};
    const double t[] = {0.5, -0.25};
    module.LearnPattern(x, t, 0, nullptr);
    std::vector<double> y(2);
    net->Recall(x, y.data());
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(module.errorNet->layers[3]->activations[i], y[i] - t[i]);
    }
}

// ---------------------------------------------------------------------------------------------
// Frozen and pruned arcs

TEST(TBackpropModuleTest, FrozenArcNeitherChangesNorPassesError) {
    // Hidden neuron 1 reaches the output only through a frozen arc, hidden neuron 2 only through
    // a pruned one.
    auto net = BuildPrunedMlp(2, 3, 1);
    TBasicConnections* hiddenToOut = net->priv_conns_index[3][2];
    hiddenToOut->FreezeWeight(1, 0);
    hiddenToOut->PruneWeight(2, 0);
    TBasicConnections* inToHidden = net->priv_conns_index[2][1];
    inToHidden->FreezeWeight(0, 0);
    const double frozenOut = *hiddenToOut->GetWeight(1, 0);
    const double frozenIn = *inToHidden->GetWeight(0, 0);
    const std::vector<double> into1 = {*inToHidden->GetWeight(0, 1), *inToHidden->GetWeight(1, 1)};

    TBackpropModule module(net.get());
    const double x[] = {0.9, 0.4};
    const double t[] = {0.1};
    module.LearnPattern(x, t, 0, nullptr);
    EXPECT_EQ(module.errorNet->layers[2]->activations[1], 0.0);
    EXPECT_EQ(module.errorNet->layers[2]->activations[2], 0.0);
    EXPECT_NE(module.errorNet->layers[2]->activations[0], 0.0);

    auto data = MakeData({{0.9, 0.4}, {0.2, 0.3}}, {{0.1}, {0.8}});
    auto params = Params({{"LearningRate", "0.7"}, {"Momentum", "0.5"}});
    for (int epoch = 0; epoch < 3; ++epoch) {
        module.TrainEpoch(data.get(), params.get());
    }
    EXPECT_EQ(*hiddenToOut->GetWeight(1, 0), frozenOut);
    EXPECT_EQ(*hiddenToOut->GetWeight(2, 0), 0.0);
    EXPECT_EQ(*inToHidden->GetWeight(0, 0), frozenIn);
    // Trainable arcs into hidden neuron 1 get no error either, so they keep their values too.
    EXPECT_EQ(*inToHidden->GetWeight(0, 1), into1[0]);
    EXPECT_EQ(*inToHidden->GetWeight(1, 1), into1[1]);
    EXPECT_NE(*hiddenToOut->GetWeight(0, 0), 0.0);
}

// ---------------------------------------------------------------------------------------------
// Direct walks against the visitor walks

// Matrices that behave exactly like their base classes but are not of them, so the training
// module walks them with its visitors.
class TPrunedVisitorOnly : public TPrunedConnections {
public:
    TPrunedVisitorOnly(TBasicNetwork* net, int fromLayer, int toLayer)
        : TPrunedConnections(net, fromLayer, toLayer) {}
    TBasicConnections* Clone(TBasicNetwork* net) const override {
        auto* copy = new TPrunedVisitorOnly(net, from, to);
        const std::size_t n = static_cast<std::size_t>(NumFrom()) * NumTo();
        std::memcpy(copy->array_weights, array_weights, n * sizeof(double));
        std::memcpy(copy->array_masks, array_masks, n);
        return copy;
    }
};

class TConnectedVisitorOnly : public TConnectedConnections {
public:
    TConnectedVisitorOnly(TBasicNetwork* net, int fromLayer, int toLayer)
        : TConnectedConnections(net, fromLayer, toLayer) {}
    TBasicConnections* Clone(TBasicNetwork* net) const override {
        auto* copy = new TConnectedVisitorOnly(net, from, to);
        const std::size_t n = static_cast<std::size_t>(NumFrom()) * NumTo();
        std::memcpy(copy->array_weights, array_weights, n * sizeof(double));
        return copy;
    }
};

// Replaces every connected matrix of net by a visitor-only copy with the same weights and flags.
template <class VisitorOnly>
void UseVisitorWalks(TBasicNetwork* net) {
    for (int to = 0; to < net->numLayers; ++to) {
        for (int from = 0; from < net->numLayers; ++from) {
            TBasicConnections*& cell = net->priv_conns_index[to][from];
            if (!cell->IsConnected()) {
                continue;
            }
            auto* replacement = new VisitorOnly(net, from, to);
            for (int t = 0; t < cell->NumTo(); ++t) {
                for (int f = 0; f < cell->NumFrom(); ++f) {
                    *replacement->GetWeight(f, t) = *cell->GetWeight(f, t);
                    replacement->SetFlags(f, t, cell->GetFlags(f, t));
                }
            }
            cell->Destroy();
            cell = replacement;
        }
    }
}

struct WalkRow {
    const char* name;
    std::vector<std::pair<const char*, const char*>> params;
};

TEST(TTrainModuleTest, DirectWalksGiveBitIdenticalWeightsToVisitorWalks) {
    const WalkRow kRows[] = {
        {"per pattern, momentum", {{"LearningRate", "0.9"}, {"Momentum", "0.9"}}},
        {"per pattern, plain", {{"LearningRate", "0.9"}}},
        {"batch, momentum", {{"LearningRate", "0.3"}, {"Momentum", "0.5"}, {"batch", "true"}}},
        {"cross entropy",
         {{"LearningRate", "0.4"}, {"Momentum", "0.2"}, {"ErrorFunction", "CrossEntropy"}}},
    };
    // The matrix kinds the direct walks treat apart: fully connected, prunable with every arc
    // trainable, prunable with pruned and frozen arcs; the wide shape has rows and columns beyond
    // the blocks of four rows and pairs of columns the walks take at once.
    enum class Kind { kFully, kPrunedAllTrainable, kPrunedMixed };
    struct Shape {
        int inputs;
        int hidden;
        int outputs;
    };
    for (const WalkRow& row : kRows) {
        SCOPED_TRACE(row.name);
        const auto build = [](Kind kind, Shape shape) -> std::unique_ptr<TBasicNetwork> {
            if (kind == Kind::kFully) {
                MlpShape mlp;
                mlp.inputs = shape.inputs;
                mlp.hidden = shape.hidden;
                mlp.outputs = shape.outputs;
                return BuildMlp(mlp);
            }
            auto net = BuildPrunedMlp(shape.inputs, shape.hidden, shape.outputs);
            if (kind == Kind::kPrunedMixed) {
                net->priv_conns_index[2][1]->FreezeWeight(1, 2);
                net->priv_conns_index[3][2]->PruneWeight(0, 1);
                net->priv_conns_index[3][2]->FreezeWeight(2, 1);
                net->priv_conns_index[3][0]->FreezeWeight(0, 0);
            }
            return net;
        };
        for (Kind kind : {Kind::kFully, Kind::kPrunedAllTrainable, Kind::kPrunedMixed})
            for (Shape shape : {Shape{2, 3, 2}, Shape{9, 11, 6}}) {
                const bool pruned = kind != Kind::kFully;
                SCOPED_TRACE(testing::Message()
                             << (kind == Kind::kFully         ? "fully connected matrices"
                                 : kind == Kind::kPrunedMixed ? "prunable matrices, some arcs fixed"
                                                              : "prunable matrices, all trainable")
                             << ", " << shape.inputs << "-" << shape.hidden << "-"
                             << shape.outputs);
                auto direct = build(kind, shape);
                auto visited = build(kind, shape);
                if (pruned) {
                    UseVisitorWalks<TPrunedVisitorOnly>(visited.get());
                } else {
                    UseVisitorWalks<TConnectedVisitorOnly>(visited.get());
                }
                ASSERT_TRUE(BitIdentical(Weights(direct.get(), FMaskExists),
                                         Weights(visited.get(), FMaskExists)));
                TBackpropModule directModule(direct.get());
                TBackpropModule visitedModule(visited.get());
                auto data =
                    shape.inputs == 2 ? FourRows() : RowsOfShape(shape.inputs, shape.outputs);
                auto params = Params(row.params);
                double directError = 0.0;
                double visitedError = 0.0;
                for (int epoch = 0; epoch < 5; ++epoch) {
                    directError = directModule.TrainEpoch(data.get(), params.get());
                    visitedError = visitedModule.TrainEpoch(data.get(), params.get());
                }
                EXPECT_EQ(directError, visitedError);
                EXPECT_TRUE(BitIdentical(Weights(direct.get(), FMaskExists),
                                         Weights(visited.get(), FMaskExists)));
                EXPECT_TRUE(BitIdentical(Weights(directModule.momentumNet, FMaskExists),
                                         Weights(visitedModule.momentumNet, FMaskExists)));
                EXPECT_TRUE(BitIdentical(Weights(directModule.errorNet, FMaskExists),
                                         Weights(visitedModule.errorNet, FMaskExists)));
            }
    }
}

TEST(TTrainModuleTest, FlagsChangedBetweenEpochsAreHonoured) {
    // The walks summarise the flags once per epoch; an arc frozen or pruned after an epoch in
    // which every arc was trainable must stay as it is in the next one.
    auto net = BuildPrunedMlp(2, 3, 2);
    TBackpropModule module(net.get());
    auto data = FourRows();
    auto params = Params({{"LearningRate", "0.9"}, {"Momentum", "0.5"}});
    module.TrainEpoch(data.get(), params.get());
    TBasicConnections* hidden = net->priv_conns_index[2][1];
    TBasicConnections* output = net->priv_conns_index[3][2];
    hidden->FreezeWeight(1, 2);
    output->PruneWeight(0, 1);
    const double frozen = *hidden->GetWeight(1, 2);
    const double frozenOut = *output->GetWeight(2, 0);
    output->FreezeWeight(2, 0);
    module.TrainEpoch(data.get(), params.get());
    EXPECT_EQ(*hidden->GetWeight(1, 2), frozen);
    EXPECT_EQ(*output->GetWeight(2, 0), frozenOut);
    EXPECT_EQ(*output->GetWeight(0, 1), 0.0);
    EXPECT_NE(*hidden->GetWeight(0, 2), 0.0);
    // Outside an epoch the walks look at the flags themselves: the bias matrix, all trainable
    // during the epoch, now has a frozen arc.
    TBasicConnections* bias = net->priv_conns_index[3][0];
    bias->FreezeWeight(0, 0);
    const double frozenLater = *bias->GetWeight(0, 0);
    module.UpdateWeights(0.5, 0.0);
    EXPECT_EQ(*bias->GetWeight(0, 0), frozenLater);
    EXPECT_NE(*bias->GetWeight(0, 1), 0.0);
}

// ---------------------------------------------------------------------------------------------
// Epochs

// Records what the epoch does: the first input of every pattern and the weights at every update.
class TRecordingModule : public TBackpropModule {
public:
    explicit TRecordingModule(TBasicNetwork* net) : TBackpropModule(net) {}
    void LearnPattern(const double* inputs,
                      const double* targets,
                      int errorFunction,
                      TErrorObj* error) override {
        firstInputs.push_back(inputs[0]);
        TBackpropModule::LearnPattern(inputs, targets, errorFunction, error);
    }
    void Update(TKQstructure* params) override {
        ++updates;
        TBackpropModule::Update(params);
    }
    std::vector<double> firstInputs;
    int updates = 0;
};

TEST(TTrainModuleTest, BatchUpdatesOncePerEpochPerPatternOncePerPattern) {
    struct Row {
        const char* batchWord;  // null: no BATCH key
        int updatesPerEpoch;
    };
    const Row kRows[] = {{nullptr, 4}, {"true", 1}, {"TRUE", 1}, {"false", 4}, {"yes", 4}};
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.batchWord == nullptr ? "absent" : row.batchWord);
        auto net = BuildMlp(MlpShape{});
        TRecordingModule module(net.get());
        auto data = FourRows();
        auto params = Params({{"LearningRate", "0.5"}});
        if (row.batchWord != nullptr) {
            params->SetString("Batch", row.batchWord);
        }
        const std::vector<double> before = Weights(net.get(), 0);
        module.TrainEpoch(data.get(), params.get());
        EXPECT_EQ(module.updates, row.updatesPerEpoch);
        EXPECT_FALSE(BitIdentical(before, Weights(net.get(), 0)));
    }
}

TEST(TTrainModuleTest, BatchSumsGradientsOfAllPatternsAtUnchangedWeights) {
    auto net = BuildMlp(MlpShape{});
    auto reference = BuildMlp(MlpShape{});
    auto data = FourRows();
    // The batch step is w - rate * (sum of the per-pattern gradients at the initial weights).
    TBackpropModule probe(reference.get());
    std::vector<double> sum(Weights(reference.get(), 0).size(), 0.0);
    data->Rewind();
    for (int i = 0; i < 4; ++i) {
        double x[2];
        double t[2];
        data->GetNext(x, t);
        probe.LearnPattern(x, t, 0, nullptr);  // accumulates into errorNet
    }
    sum = Weights(probe.errorNet, 0);
    std::vector<double> expected = Weights(net.get(), 0);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        expected[i] -= 0.25 * sum[i];
    }
    TBackpropModule module(net.get());
    auto params = Params({{"LearningRate", "0.25"}, {"batch", "TRUE"}});
    module.TrainEpoch(data.get(), params.get());
    EXPECT_TRUE(BitIdentical(Weights(net.get(), 0), expected));
}

TEST(TTrainModuleTest, PatternsArePresentedOldestFirstInEveryEpoch) {
    auto net = BuildMlp(MlpShape{});
    TRecordingModule module(net.get());
    auto data = MakeData({{0.0, 0.0}, {1.0, 0.0}, {2.0, 0.0}}, {{0, 0}, {0, 0}, {0, 0}});
    double x[2];
    double t[2];
    data->GetNext(x, t);  // leaves the cursor somewhere in the middle
    auto params = Params({{"LearningRate", "0.1"}});
    module.TrainEpoch(data.get(), params.get());
    data->GetNext(x, t);
    module.TrainEpoch(data.get(), params.get());
    EXPECT_EQ(module.firstInputs, (std::vector<double>{0, 1, 2, 0, 1, 2}));
}

TEST(TTrainModuleTest, InputSelectionFeedsSelectedColumnsInSelectionOrder) {
    auto net = BuildMlp(MlpShape{});
    TRecordingModule module(net.get());
    auto data = MakeData({{0.0, 10.0, 20.0}, {1.0, 11.0, 21.0}}, {{0, 0}, {0, 0}});
    const int columns[] = {2, 0};
    data->SelectInputs(2, columns);
    auto params = Params({{"LearningRate", "0.1"}});
    module.TrainEpoch(data.get(), params.get());
    EXPECT_EQ(module.firstInputs, (std::vector<double>{20, 21}));
}

TEST(TTrainModuleTest, AbsentWeightPenaltyIsStoredBackAsNone) {
    auto net = BuildMlp(MlpShape{});
    TBackpropModule module(net.get());
    auto data = FourRows();
    auto params = Params({{"LearningRate", "0.5"}, {"Momentum", "0.5"}});
    module.TrainEpoch(data.get(), params.get());
    ASSERT_NE(params->Find("weightpenalty"), nullptr);
    EXPECT_STREQ(params->Find("weightpenalty")->type, "NONE");
    EXPECT_EQ(Text(*params), "(Params :LearningRate 0.5 :Momentum 0.5 :WEIGHTPENALTY NONE)");
    // A second epoch finds it and adds nothing.
    module.TrainEpoch(data.get(), params.get());
    EXPECT_EQ(params->count, 3);
}

TEST(TTrainModuleTest, ErrorFunctionSelectsMeasure) {
    struct Row {
        const char* word;  // null: no ERRORFUNCTION key
        bool crossEntropy;
    };
    const Row kRows[] = {{nullptr, false},
                         {"MeanSquaredError", false},
                         {"crossentropy", true},
                         {"CROSSENTROPY", true}};
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.word == nullptr ? "absent" : row.word);
        auto net = BuildMlp(MlpShape{});
        auto data = FourRows();
        // In batch mode every pattern is measured at the initial weights.
        std::unique_ptr<TErrorObj> expected;
        if (row.crossEntropy) {
            expected.reset(new TErrorCrossEntropyObj(2));
        } else {
            expected.reset(new TErrorRMSObj(2));
        }
        data->Rewind();
        for (int i = 0; i < 4; ++i) {
            double x[2];
            double t[2];
            double y[2];
            data->GetNext(x, t);
            net->Recall(x, y);
            expected->Accumulate(t, y);
        }
        TBackpropModule module(net.get());
        auto params = Params({{"LearningRate", "0.5"}, {"Batch", "true"}});
        if (row.word != nullptr) {
            params->SetString("ErrorFunction", row.word);
        }
        EXPECT_EQ(module.TrainEpoch(data.get(), params.get()), expected->GetError());
    }
}

// TrainEpoch returns scripted errors, so Train's stopping rule can be seen.
class TScriptedModule : public TBackpropModule {
public:
    TScriptedModule(TBasicNetwork* net, std::vector<double> script)
        : TBackpropModule(net), errors(std::move(script)) {}
    double TrainEpoch(Data* /*data*/, TKQstructure* /*params*/) override {
        return errors[static_cast<std::size_t>(calls++)];
    }
    std::vector<double> errors;
    int calls = 0;
};

TEST(TTrainModuleTest, TrainStopsWhenErrorFallsBelowThreshold) {
    struct Row {
        const char* threshold;  // null: no THRESHOLD key
        std::vector<double> errors;
        int epochs;
        int epochsAfter;
        double result;
        int calls;
    };
    const Row kRows[] = {
        {"0.5", {0.4, 0.3}, 2, 0, 0.4, 1},        {"0.5", {0.7, 0.45, 0.1}, 3, 1, 0.45, 2},
        {"0.5", {0.7, 0.6}, 2, 2, 0.6, 2},        {"0.5", {0.5}, 1, 1, 0.5, 1},
        {nullptr, {0.2, 0.1, 0.0}, 3, 3, 0.0, 3}, {"0.5", {}, 0, 0, 0.0, 0},
    };
    auto net = BuildMlp(MlpShape{});
    auto data = FourRows();
    for (const Row& row : kRows) {
        SCOPED_TRACE(testing::Message() << (row.threshold ? row.threshold : "absent") << " after "
                                        << row.errors.size());
        TScriptedModule module(net.get(), row.errors);
        auto params = Params({});
        if (row.threshold != nullptr) {
            params->SetString("Threshold", row.threshold);
        }
        int epochs = row.epochs;
        EXPECT_EQ(module.Train(data.get(), params.get(), &epochs), row.result);
        EXPECT_EQ(epochs, row.epochsAfter);
        EXPECT_EQ(module.calls, row.calls);
    }
}

TEST(TTrainModuleTest, TrainingLowersErrorAndRepeatsDigitForDigit) {
    std::vector<double> lastWeights;
    std::vector<double> lastErrors;
    for (int run = 0; run < 2; ++run) {
        auto net = BuildMlp(MlpShape{});
        TBackpropModule module(net.get());
        auto data = FourRows();
        auto params = Params({{"LearningRate", "0.8"}, {"Momentum", "0.5"}});
        std::vector<double> errors;
        for (int epoch = 0; epoch < 200; ++epoch) {
            errors.push_back(module.TrainEpoch(data.get(), params.get()));
        }
        EXPECT_LT(errors.back(), 0.5 * errors.front());
        if (run == 1) {
            EXPECT_TRUE(BitIdentical(errors, lastErrors));
            EXPECT_TRUE(BitIdentical(Weights(net.get(), FMaskExists), lastWeights));
        }
        lastErrors = errors;
        lastWeights = Weights(net.get(), FMaskExists);
    }
}

// ---------------------------------------------------------------------------------------------
// Weight penalties

TEST(TTrainModuleTest, PenaltyGradientAddsHandComputedTerm) {
    struct Row {
        const char* name;
        std::vector<std::pair<const char*, const char*>> keys;
        const char* word;
        int patterns;
        int total;
        double learningRate;
        double w;
        double added;  // by hand
    };
    const Row kRows[] = {
        // k1 = 0.8 * 0.5 * 1 / 4 = 0.1, k2 = 0.4 * 0.5 / 4 = 0.05, beta 2:
        // (0.1 * 2 / (1 + 2 * 0.25)^2 + 0.05) * 2 * 0.5 = 0.2 / 2.25 + 0.05
        {"quadratic, per pattern",
         {{"EPSILON1", "0.8"}, {"epsilon2", "0.4"}, {"Beta", "2"}},
         "QUADPENALTY",
         1,
         4,
         0.5,
         0.5,
         0.2 / 2.25 + 0.05},
        // EPSILON2 0.5, rate 1, batch: g += w.
        {"quadratic, only epsilon2", {{"EPSILON2", "0.5"}}, "quadpenalty", 3, 3, 1.0, -0.3, -0.3},
        // beta 1 by default: (1 * 1 / (1 + 1)^2) * 2 = 0.5
        {"quadratic, default beta", {{"EPSILON1", "1"}}, "QuadPenalty", 1, 1, 1.0, 1.0, 0.5},
        // sgn(w) * 0.2 * (0.2 / 0.5), not scaled by patterns / total
        {"forgetting, positive", {{"FORGETTINGRATE", "0.2"}}, "LWF", 1, 4, 0.5, 0.7, 0.08},
        {"forgetting, negative", {{"ForgettingRate", "0.2"}}, "lwf", 1, 4, 0.5, -0.7, -0.08},
        {"forgetting, zero", {{"FORGETTINGRATE", "0.2"}}, "LWF", 1, 4, 0.5, 0.0, 0.0},
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        const int counts[] = {0, 1, 1};
        TConnectedNetwork net(3, counts);
        net.layers[2]->SetActFunction(ActSigmoid);
        net.CreateConnections(1, 2);
        *net.priv_conns_index[2][1]->GetWeight(0, 0) = row.w;
        TBackpropModule module(&net);
        const double g0 = 0.125;
        *module.errorNet->priv_conns_index[2][1]->GetWeight(0, 0) = g0;
        TKQstructure penalty(row.word);
        for (const auto& key : row.keys) {
            penalty.SetString(key.first, key.second);
        }
        module.AddPenaltyGradient(&penalty, row.patterns, row.total, row.learningRate);
        EXPECT_NEAR(*module.errorNet->priv_conns_index[2][1]->GetWeight(0, 0) - g0, row.added,
                    1e-15);
    }
}

TEST(TTrainModuleTest, QuadPenaltyShrinksEveryWeightByRateTimesWeight) {
    auto plainNet = BuildMlp(MlpShape{});
    auto penalisedNet = BuildMlp(MlpShape{});
    const std::vector<double> w0 = Weights(plainNet.get(), 0);
    TBackpropModule plain(plainNet.get());
    TBackpropModule penalised(penalisedNet.get());
    auto data = FourRows();
    auto plainParams = Params({{"LearningRate", "1"}, {"batch", "true"}});
    auto penalisedParams = Params({{"LearningRate", "1"}, {"batch", "true"}});
    auto* penalty = new TKQstructure("QUADPENALTY");
    penalty->SetString("EPSILON1", "0");
    penalty->SetString("EPSILON2", "0.5");
    penalisedParams->Set("WeightPenalty", penalty);
    const double plainError = plain.TrainEpoch(data.get(), plainParams.get());
    const double penalisedError = penalised.TrainEpoch(data.get(), penalisedParams.get());
    const std::vector<double> wPlain = Weights(plainNet.get(), 0);
    const std::vector<double> wPenalised = Weights(penalisedNet.get(), 0);
    const double kTolerance = 1e-14;
    for (std::size_t i = 0; i < w0.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "weight " << i);
        EXPECT_NEAR(wPenalised[i], wPlain[i] - 1.0 * w0[i], kTolerance);
    }
    // The measure's penalty (EPSILON2 * w^2 over the weights after the step) is inside the root.
    double term = 0.0;
    for (double w : wPenalised) {
        term += 0.5 * w * w;
    }
    const double squared = plainError * plainError * 2 * 4;  // sum of squared errors
    EXPECT_NEAR(penalisedError, std::sqrt((squared + term) / 2 / 4), 1e-12);
}

// ---------------------------------------------------------------------------------------------
// Exact formulas
//
// Each expected value below is the formula written out with plain doubles, products taken left to
// right and squares as plain products, and compared bit for bit. Each test also computes the
// results of the slips that change only the last digits (a product grouped the other way, a square
// taken as (b * w) * w, a sum taken in another order, a fused multiply-add) and first asserts that
// its inputs tell every one of them apart from the expected value, so that such a slip in the
// visitors or in the direct walks fails the comparison.

// One wrong order of a formula, named for the failure message.
template <class Fn>
struct WrongOrder {
    const char* name;
    Fn value;
};

using DerivativeRule = double (*)(double e, double g, double a);

struct DerivativeRow {
    const char* name;
    TActFunction fn;
    bool gainLayer;
    int errorFunction;
    double e;  // error signal with respect to the activation
    double g;  // gain
    double a;  // activation
    DerivativeRule rule;
    std::vector<WrongOrder<DerivativeRule>> wrongOrders;
};

TEST(TBackpropModuleTest, DerivativeRulesTakeTheirProductsLeftToRight) {
    const DerivativeRow kRows[] = {
        {"linear",
         ActLinear,
         false,
         0,
         -0.3,
         1.0,
         0.7,
         [](double e, double, double) { return e; },
         {}},
        {"linear with gain",
         ActLinearGain,
         true,
         0,
         -0.3,
         1.5,
         0.7,
         [](double e, double g, double) { return e * g; },
         {}},
        {"sigmoid",
         ActSigmoid,
         false,
         0,
         -0.8,
         1.0,
         0.1,
         [](double e, double, double a) { return (e * a) * (1.0 - a); },
         {{"e (a (1 - a))", [](double e, double, double a) { return e * (a * (1.0 - a)); }},
          {"e (a - a a)", [](double e, double, double a) { return e * (a - a * a); }},
          {"(e (1 - a)) a", [](double e, double, double a) { return (e * (1.0 - a)) * a; }}}},
        {"tanh",
         ActTanh,
         false,
         0,
         -0.9,
         1.0,
         0.8,
         [](double e, double, double a) { return e * (1.0 - a * a); },
         {{"e ((1 - a) (1 + a))",
           [](double e, double, double a) { return e * ((1.0 - a) * (1.0 + a)); }},
          {"e - (e a) a", [](double e, double, double a) { return e - (e * a) * a; }},
          {"1 - a a fused", [](double e, double, double a) { return e * std::fma(-a, a, 1.0); }}}},
        {"sigmoid with gain",
         ActSigmoidGain,
         true,
         0,
         -0.9,
         0.9,
         0.3,
         [](double e, double g, double a) { return ((e * g) * a) * (1.0 - a); },
         {{"e (g (a (1 - a)))",
           [](double e, double g, double a) { return e * (g * (a * (1.0 - a))); }},
          {"(e g) (a (1 - a))",
           [](double e, double g, double a) { return (e * g) * (a * (1.0 - a)); }},
          {"((e a) (1 - a)) g",
           [](double e, double g, double a) { return ((e * a) * (1.0 - a)) * g; }},
          {"(e (g a)) (1 - a)",
           [](double e, double g, double a) { return (e * (g * a)) * (1.0 - a); }}}},
        {"tanh with gain",
         ActTanhGain,
         true,
         0,
         -0.8,
         1.5,
         0.3,
         [](double e, double g, double a) { return (e * g) * (1.0 - a * a); },
         {{"e (g (1 - a a))", [](double e, double g, double a) { return e * (g * (1.0 - a * a)); }},
          {"(e (1 - a a)) g", [](double e, double g, double a) { return (e * (1.0 - a * a)) * g; }},
          {"(e g) ((1 - a) (1 + a))",
           [](double e, double g, double a) { return (e * g) * ((1.0 - a) * (1.0 + a)); }}}},
        // Sigmoid outputs with cross entropy: output - target is already the signal.
        {"sigmoid output, cross entropy",
         ActSigmoid,
         false,
         1,
         -0.8,
         1.0,
         0.1,
         [](double e, double, double) { return e; },
         {}},
    };
    for (const DerivativeRow& row : kRows) {
        SCOPED_TRACE(row.name);
        const double expected = row.rule(row.e, row.g, row.a);
        for (const auto& wrong : row.wrongOrders) {
            ASSERT_NE(expected, wrong.value(row.e, row.g, row.a))
                << "the inputs do not tell apart " << wrong.name;
        }
        const int counts[] = {0, 1, 1};
        TConnectedNetwork net(3, counts);
        if (row.gainLayer) {
            net.layers[2]->Destroy();
            net.layers[2] = new TGainLayer(&net, 2, 1, row.g);
        }
        net.layers[2]->SetActFunction(row.fn);
        net.CreateConnections(1, 2);
        TBackpropModule module(&net);
        net.layers[1]->activations[0] = 0.5;
        net.layers[2]->activations[0] = row.a;
        module.errorNet->layers[2]->activations[0] = row.e;
        module.BackpropagateLayer(2, row.errorFunction);
        EXPECT_EQ(module.errorNet->layers[2]->activations[0], expected);
    }
}

// The matrix kinds the training walks treat apart: the two classes with contiguous storage,
// walked directly (a prunable matrix with fixed arcs through the loops that test the flags), and
// a subclass, walked by the visitors.
enum class WalkKind { kFullyConnected, kPrunable, kPrunableWithFixedArcs, kVisitor };

const char* KindName(WalkKind kind) {
    switch (kind) {
        case WalkKind::kFullyConnected:
            return "fully connected";
        case WalkKind::kPrunable:
            return "prunable, all trainable";
        case WalkKind::kPrunableWithFixedArcs:
            return "prunable, some arcs fixed";
        case WalkKind::kVisitor:
            return "visitor walk, some arcs fixed";
    }
    return "";
}

constexpr WalkKind kWalkKinds[] = {WalkKind::kFullyConnected, WalkKind::kPrunable,
                                   WalkKind::kPrunableWithFixedArcs, WalkKind::kVisitor};

// An empty layer 0, nFrom inputs and nTo linear neurons, the matrix from layer 1 to layer 2 of the
// given kind with weights drawn in [-1, 1); with fixed arcs, arc (1, 2) is frozen and arc (2, 0)
// pruned.
std::unique_ptr<TConnectedNetwork> BuildTwoLayers(WalkKind kind, int nFrom, int nTo) {
    const int counts[] = {0, nFrom, nTo};
    auto net = std::make_unique<TConnectedNetwork>(3, counts);
    net->layers[2]->SetActFunction(ActLinear);
    net->CreateConnections(1, 2);
    if (kind == WalkKind::kPrunable || kind == WalkKind::kPrunableWithFixedArcs) {
        UseVisitorWalks<TPrunedConnections>(net.get());
    } else if (kind == WalkKind::kVisitor) {
        UseVisitorWalks<TPrunedVisitorOnly>(net.get());
    }
    ResetRandomGenerator();
    net->RandomizeWeights(-1.0, 1.0);
    if (kind == WalkKind::kPrunableWithFixedArcs || kind == WalkKind::kVisitor) {
        net->priv_conns_index[2][1]->FreezeWeight(1, 2);
        net->priv_conns_index[2][1]->PruneWeight(2, 0);
    }
    return net;
}

bool ArcTrainable(TBasicNetwork* net, int f, int t) {
    return (net->priv_conns_index[2][1]->GetFlags(f, t) & FMaskAll) == FMaskAll;
}

double& Arc(TBasicNetwork* net, int f, int t) {
    return *net->priv_conns_index[2][1]->GetWeight(f, t);
}

// The weights of the matrix from layer 1 to layer 2, row by to-neuron.
std::vector<double> ArcValues(TBasicNetwork* net) {
    std::vector<double> values;
    const int nFrom = net->layers[1]->numNeurons;
    const int nTo = net->layers[2]->numNeurons;
    for (int t = 0; t < nTo; ++t) {
        for (int f = 0; f < nFrom; ++f) {
            values.push_back(Arc(net, f, t));
        }
    }
    return values;
}

// Sets every existing weight of the matrix from layer 1 to layer 2 to a value of its own with all
// the digits of a double.
void FillArcs(TBasicNetwork* net, double scale, double phase) {
    const int nFrom = net->layers[1]->numNeurons;
    const int nTo = net->layers[2]->numNeurons;
    for (int t = 0; t < nTo; ++t) {
        for (int f = 0; f < nFrom; ++f) {
            if ((net->priv_conns_index[2][1]->GetFlags(f, t) & FMaskExists) != 0) {
                Arc(net, f, t) = scale * std::sin(phase + 0.9 * t + 2.3 * f);
            }
        }
    }
}

// For every from-neuron f, e_f += w * e_t over the to-neurons in row order on top of what e_f
// held, and g += e_t * y_f for every trainable arc. Nine rows and fifteen columns take the direct
// walks through two blocks of four rows and seven pairs of columns and through the rest.
TEST(TBackpropModuleTest, ErrorsAndDeltasAccumulateInRowOrder) {
    const int nFrom = 15;
    const int nTo = 9;
    std::vector<double> y(nFrom);
    std::vector<double> before(nFrom);  // e_f pushed back from higher layers
    std::vector<double> signals(nTo);
    for (int f = 0; f < nFrom; ++f) {
        y[f] = 0.9 * std::sin(0.3 + 1.7 * f);
        before[f] = 0.5 * std::cos(0.5 + 2.9 * f);
    }
    for (int t = 0; t < nTo; ++t) {
        signals[t] = 0.8 * std::sin(0.8 + 1.3 * t);
    }
    for (WalkKind kind : kWalkKinds) {
        SCOPED_TRACE(KindName(kind));
        auto net = BuildTwoLayers(kind, nFrom, nTo);
        FillArcs(net.get(), 0.9, 0.3);
        TBackpropModule module(net.get());
        TBasicNetwork* e = module.errorNet;
        FillArcs(e, 0.001, 1.0);
        const std::vector<double> g0 = ArcValues(e);
        std::copy(y.begin(), y.end(), net->layers[1]->activations);
        std::copy(before.begin(), before.end(), e->layers[1]->activations);
        std::copy(signals.begin(), signals.end(), e->layers[2]->activations);

        // The signals of the from-layer when the rows' terms are added in the given order to the
        // value held before; or (a wrong order) the terms of each group of rows summed apart and
        // then added, groups of all rows after the held value or groups of four rows.
        enum class Sum { kInOrder, kFused, kHeldValueLast, kBlocksOfFourApart };
        const auto summed = [&](const std::vector<int>& rows, Sum how) {
            const int group = how == Sum::kHeldValueLast       ? nTo
                              : how == Sum::kBlocksOfFourApart ? 4
                                                               : 0;
            std::vector<double> sums(nFrom);
            for (int f = 0; f < nFrom; ++f) {
                double sum = before[f];
                double part = 0.0;
                for (std::size_t k = 0; k < rows.size(); ++k) {
                    const int t = rows[k];
                    const double w = ArcTrainable(net.get(), f, t) ? Arc(net.get(), f, t) : 0.0;
                    if (group != 0) {
                        part = part + w * signals[t];
                        if ((k + 1) % group == 0 || k + 1 == rows.size()) {
                            sum = sum + part;
                            part = 0.0;
                        }
                    } else if (ArcTrainable(net.get(), f, t)) {
                        sum = how == Sum::kFused ? std::fma(w, signals[t], sum)
                                                 : sum + w * signals[t];
                    }
                }
                sums[f] = sum;
            }
            return sums;
        };
        std::vector<int> rowOrder(nTo);
        for (int t = 0; t < nTo; ++t) {
            rowOrder[t] = t;
        }
        const std::vector<double> expected = summed(rowOrder, Sum::kInOrder);
        ASSERT_FALSE(BitIdentical(expected, summed(rowOrder, Sum::kHeldValueLast)))
            << "the inputs do not tell apart the held value added last";
        ASSERT_FALSE(BitIdentical(expected, summed(rowOrder, Sum::kFused)))
            << "the inputs do not tell apart fused terms";
        // Also in the last column, which the direct walk takes on its own.
        ASSERT_NE(expected.back(), summed(rowOrder, Sum::kBlocksOfFourApart).back())
            << "the inputs do not tell apart blocks of four rows summed apart";
        for (int t = 0; t + 1 < nTo; ++t) {
            std::vector<int> swapped = rowOrder;
            std::swap(swapped[t], swapped[t + 1]);
            ASSERT_FALSE(BitIdentical(expected, summed(swapped, Sum::kInOrder)))
                << "the inputs do not tell apart rows " << t << " and " << t + 1 << " swapped";
        }

        std::vector<double> gradients = g0;
        std::vector<double> fusedGradients = g0;
        for (int t = 0; t < nTo; ++t) {
            for (int f = 0; f < nFrom; ++f) {
                const std::size_t i = static_cast<std::size_t>(t) * nFrom + f;
                if (ArcTrainable(net.get(), f, t)) {
                    gradients[i] = g0[i] + signals[t] * y[f];
                    fusedGradients[i] = std::fma(signals[t], y[f], g0[i]);
                }
            }
        }
        ASSERT_FALSE(BitIdentical(gradients, fusedGradients))
            << "the inputs do not tell apart fused gradients";

        module.BackpropagateLayer(2, 0);
        for (int f = 0; f < nFrom; ++f) {
            EXPECT_EQ(e->layers[1]->activations[f], expected[f]) << "e_" << f;
        }
        EXPECT_TRUE(BitIdentical(ArcValues(e), gradients));
    }
}

// The plain step w -= learningRate * g and the momentum step delta = -learningRate * g +
// momentum * d; d = delta; w += delta, on every trainable arc.
TEST(TBackpropModuleTest, WeightStepsKeepTheirOrder) {
    struct Row {
        double learningRate;
        double momentum;
    };
    const Row kRows[] = {{0.3, 0.0}, {0.3, 0.9}, {0.7, 0.35}};
    for (const Row& row : kRows) {
        for (WalkKind kind : kWalkKinds) {
            SCOPED_TRACE(testing::Message() << "learning rate " << row.learningRate << ", momentum "
                                            << row.momentum << ", " << KindName(kind));
            const int nFrom = 3;
            const int nTo = 5;
            auto net = BuildTwoLayers(kind, nFrom, nTo);
            TBackpropModule module(net.get());
            // Steps larger than the weights, so that the last digits of a step show in the result.
            FillArcs(module.errorNet, 4.0, 1.0);
            FillArcs(module.momentumNet, 3.0, 2.0);
            const std::vector<double> w0 = ArcValues(net.get());
            const std::vector<double> g = ArcValues(module.errorNet);
            const std::vector<double> d0 = ArcValues(module.momentumNet);
            const double lr = row.learningRate;
            const double m = row.momentum;

            std::vector<double> w = w0;
            std::vector<double> d = d0;
            std::vector<double> fused = w0;
            std::vector<double> stepThenMomentum = w0;
            std::vector<double> fusedDelta = w0;
            for (int t = 0; t < nTo; ++t) {
                for (int f = 0; f < nFrom; ++f) {
                    const std::size_t i = static_cast<std::size_t>(t) * nFrom + f;
                    if (!ArcTrainable(net.get(), f, t)) {
                        continue;
                    }
                    if (m == 0.0) {
                        w[i] = w0[i] - lr * g[i];
                        fused[i] = std::fma(-lr, g[i], w0[i]);
                    } else {
                        const double delta = -lr * g[i] + m * d0[i];
                        d[i] = delta;
                        w[i] = w0[i] + delta;
                        stepThenMomentum[i] = (w0[i] - lr * g[i]) + m * d0[i];
                        fusedDelta[i] = w0[i] + std::fma(m, d0[i], -lr * g[i]);
                        fused[i] = w0[i] + std::fma(-lr, g[i], m * d0[i]);
                    }
                }
            }
            ASSERT_FALSE(BitIdentical(w, fused)) << "the inputs do not tell apart a fused step";
            if (m != 0.0) {
                ASSERT_FALSE(BitIdentical(w, stepThenMomentum))
                    << "the inputs do not tell apart (w - rate g) + momentum d";
                ASSERT_FALSE(BitIdentical(w, fusedDelta))
                    << "the inputs do not tell apart a fused momentum term";
            }

            module.UpdateWeights(lr, m);
            EXPECT_TRUE(BitIdentical(ArcValues(net.get()), w));
            EXPECT_TRUE(BitIdentical(ArcValues(module.momentumNet), d));
        }
    }
}

// QUADPENALTY: k1 = ((EPSILON1 * learningRate) * patterns) / total, k2 likewise, and
// g += (k1 * beta / (1 + beta * w*w)^2 + k2) * 2w; LWF, with r = FORGETTINGRATE:
// g += (sgn(w) * r) * (r / learningRate).
TEST(TTrainModuleTest, PenaltyGradientsKeepTheirOrder) {
    struct Row {
        const char* word;
        std::vector<std::pair<const char*, const char*>> keys;
        int patterns;
        int total;
        double learningRate;
    };
    const Row kRows[] = {
        {"QUADPENALTY", {{"EPSILON1", "0.39"}, {"EPSILON2", "0.01"}, {"BETA", "5.3"}}, 1, 3, 0.4},
        {"QUADPENALTY", {{"EPSILON1", "0.37"}, {"EPSILON2", "0.02"}, {"BETA", "6.7"}}, 1, 5, 0.7},
        {"LWF", {{"FORGETTINGRATE", "0.3"}}, 1, 3, 0.4},
    };
    for (const Row& row : kRows) {
        TKQstructure penalty(row.word);
        for (const auto& key : row.keys) {
            penalty.SetString(key.first, key.second);
        }
        // The constants as the module reads them; absent ones as it defaults them.
        const auto constant = [&penalty](const char* key, double fallback) {
            const TKQstructure* value = penalty.Find(key);
            return value == nullptr ? fallback : std::strtod(value->type, nullptr);
        };
        const double epsilon1 = constant("EPSILON1", 0.0);
        const double epsilon2 = constant("EPSILON2", 0.0);
        const double beta = constant("BETA", 1.0);
        const double rate = constant("FORGETTINGRATE", 0.0);
        const double lr = row.learningRate;
        const bool quadratic = std::strcmp(row.word, "QUADPENALTY") == 0;
        const double k1 = ((epsilon1 * lr) * row.patterns) / row.total;
        const double k2 = ((epsilon2 * lr) * row.patterns) / row.total;
        const double share = static_cast<double>(row.patterns) / row.total;
        const double ratio = rate / lr;

        using Term = std::function<double(double w, double g)>;
        const auto quad = [beta](double k1x, double k2x) -> Term {
            return [beta, k1x, k2x](double w, double g) {
                const double d = 1.0 + beta * (w * w);
                return g + ((k1x * beta) / (d * d) + k2x) * (2.0 * w);
            };
        };
        const Term expectedTerm =
            quadratic ? quad(k1, k2) : Term([rate, ratio](double w, double g) {
                const double sign = w > 0.0 ? 1.0 : (w < 0.0 ? -1.0 : 0.0);
                return g + (sign * rate) * ratio;
            });
        std::vector<WrongOrder<Term>> wrongOrders;
        if (quadratic) {
            wrongOrders = {
                {"patterns / total first", quad((epsilon1 * lr) * share, (epsilon2 * lr) * share)},
                {"EPSILON (rate patterns / total)",
                 quad(epsilon1 * ((lr * row.patterns) / row.total),
                      epsilon2 * ((lr * row.patterns) / row.total))},
                {"k1 (beta / d d)",
                 [=](double w, double g) {
                     const double d = 1.0 + beta * (w * w);
                     return g + (k1 * (beta / (d * d)) + k2) * (2.0 * w);
                 }},
                {"(beta w) w",
                 [=](double w, double g) {
                     const double d = 1.0 + (beta * w) * w;
                     return g + ((k1 * beta) / (d * d) + k2) * (2.0 * w);
                 }},
                {"((k1 beta) / d) / d",
                 [=](double w, double g) {
                     const double d = 1.0 + beta * (w * w);
                     return g + (((k1 * beta) / d) / d + k2) * (2.0 * w);
                 }},
                {"2w distributed",
                 [=](double w, double g) {
                     const double d = 1.0 + beta * (w * w);
                     return g + ((k1 * beta) / (d * d)) * (2.0 * w) + k2 * (2.0 * w);
                 }},
                {"fused",
                 [=](double w, double g) {
                     const double d = 1.0 + beta * (w * w);
                     return std::fma((k1 * beta) / (d * d) + k2, 2.0 * w, g);
                 }},
            };
        } else {
            wrongOrders = {
                {"sgn(w) ((rate rate) / learningRate)",
                 [=](double w, double g) {
                     const double sign = w > 0.0 ? 1.0 : (w < 0.0 ? -1.0 : 0.0);
                     return g + sign * ((rate * rate) / lr);
                 }},
                {"fused",
                 [=](double w, double g) {
                     const double sign = w > 0.0 ? 1.0 : (w < 0.0 ? -1.0 : 0.0);
                     return std::fma(sign * rate, ratio, g);
                 }},
            };
        }

        for (WalkKind kind : kWalkKinds) {
            SCOPED_TRACE(testing::Message() << row.word << " " << row.patterns << "/" << row.total
                                            << ", " << KindName(kind));
            // A larger matrix: a slip changes the last digit of a constant, which shows only in
            // some of the arcs' results.
            const int nFrom = 7;
            const int nTo = 9;
            auto net = BuildTwoLayers(kind, nFrom, nTo);
            TBackpropModule module(net.get());
            FillArcs(module.errorNet, 0.001, 1.0);
            const std::vector<double> w = ArcValues(net.get());
            const std::vector<double> g0 = ArcValues(module.errorNet);
            // On every trainable arc, term(w, g); the others keep g.
            const auto applied = [&](const Term& term) {
                std::vector<double> g = g0;
                for (int t = 0; t < nTo; ++t) {
                    for (int f = 0; f < nFrom; ++f) {
                        const std::size_t i = static_cast<std::size_t>(t) * nFrom + f;
                        if (ArcTrainable(net.get(), f, t)) {
                            g[i] = term(w[i], g0[i]);
                        }
                    }
                }
                return g;
            };
            const std::vector<double> expected = applied(expectedTerm);
            for (const auto& wrong : wrongOrders) {
                ASSERT_FALSE(BitIdentical(expected, applied(wrong.value)))
                    << "the inputs do not tell apart " << wrong.name;
            }

            module.AddPenaltyGradient(&penalty, row.patterns, row.total, lr);
            EXPECT_TRUE(BitIdentical(ArcValues(module.errorNet), expected));
            EXPECT_TRUE(BitIdentical(ArcValues(net.get()), w));
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Rejected input

struct RejectRow {
    const char* name;
    std::function<std::unique_ptr<Data>()> data;
    std::vector<std::pair<const char*, const char*>> params;
    const char* penaltyWord;  // null: no WEIGHTPENALTY key
    std::vector<std::pair<const char*, const char*>> penaltyKeys;
    const char* message;
    const char* kind;
};

TEST(TTrainModuleTest, TrainEpochRejectsUnusableDataAndPenaltyBeforeChangingWeights) {
    const RejectRow kRows[] = {
        {"no row slots",
         [] { return std::make_unique<Data>(0, 2, 2, false); },
         {{"LearningRate", "0.5"}},
         nullptr,
         {},
         "Data set has no rows to train on",
         "Bad Parameter"},
        {"slots but no rows",
         [] { return std::make_unique<Data>(3, 2, 2, false); },
         {{"LearningRate", "0.5"}},
         nullptr,
         {},
         "Data set has no rows to train on",
         "Bad Parameter"},
        {"too few inputs",
         [] {
             return MakeData({{0.1}}, {{0.2, 0.3}});
         },
         {{"LearningRate", "0.5"}},
         nullptr,
         {},
         "Data set has fewer input columns than the network has inputs",
         "Bad Parameter"},
        {"too few targets",
         [] {
             return MakeData({{0.1, 0.2}}, {{0.3}});
         },
         {{"LearningRate", "0.5"}},
         nullptr,
         {},
         "Data set output columns do not match the network outputs",
         "Bad Parameter"},
        {"too many targets",
         [] {
             return MakeData({{0.1, 0.2}}, {{0.3, 0.4, 0.5}});
         },
         {{"LearningRate", "0.5"}},
         nullptr,
         {},
         "Data set output columns do not match the network outputs",
         "Bad Parameter"},
        {"LWF without forgetting rate",
         FourRows,
         {{"LearningRate", "0.5"}},
         "LWF",
         {{"LEARNINGRATE", "0.5"}},
         "LWF weight penalty needs a FORGETTINGRATE",
         "Bad Parameter"},
        {"LWF with learning rate 0",
         FourRows,
         {{"LearningRate", "0"}},
         "LWF",
         {{"FORGETTINGRATE", "0.1"}},
         "LWF weight penalty needs a learning rate other than 0",
         "Bad Parameter"},
    };
    for (const RejectRow& row : kRows) {
        SCOPED_TRACE(row.name);
        auto net = BuildMlp(MlpShape{});
        const std::vector<double> before = Weights(net.get(), FMaskExists);
        TBackpropModule module(net.get());
        auto data = row.data();
        auto params = Params(row.params);
        if (row.penaltyWord != nullptr) {
            auto* penalty = new TKQstructure(row.penaltyWord);
            for (const auto& key : row.penaltyKeys) {
                penalty->SetString(key.first, key.second);
            }
            params->Set("WEIGHTPENALTY", penalty);
        }
        try {
            module.TrainEpoch(data.get(), params.get());
            ADD_FAILURE() << "no exception";
        } catch (const TException& e) {
            EXPECT_STREQ(e.message, row.message);
            EXPECT_STREQ(e.kind, row.kind);
            EXPECT_STREQ(e.location, "TTrainModule::TrainEpoch");
        }
        EXPECT_TRUE(BitIdentical(before, Weights(net.get(), FMaskExists)));
    }
}

TEST(TTrainModuleTest, AddPenaltyGradientRejectsLwfWithoutRateOrWithZeroLearningRate) {
    auto net = BuildMlp(MlpShape{});
    TBackpropModule module(net.get());
    struct Row {
        const char* forgettingRate;  // null: absent
        double learningRate;
        const char* message;
    };
    const Row kRows[] = {{nullptr, 0.5, "LWF weight penalty needs a FORGETTINGRATE"},
                         {"0.1", 0.0, "LWF weight penalty needs a learning rate other than 0"}};
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.message);
        TKQstructure penalty("LWF");
        if (row.forgettingRate != nullptr) {
            penalty.SetString("FORGETTINGRATE", row.forgettingRate);
        }
        try {
            module.AddPenaltyGradient(&penalty, 1, 1, row.learningRate);
            ADD_FAILURE() << "no exception";
        } catch (const TException& e) {
            EXPECT_STREQ(e.message, row.message);
            EXPECT_STREQ(e.location, "TTrainModule::AddPenaltyGradient");
        }
    }
}

TEST(TTrainModuleTest, NonNumericParameterRaisesStructureError) {
    auto net = BuildMlp(MlpShape{});
    TBackpropModule module(net.get());
    auto data = FourRows();
    auto params = Params({{"LearningRate", "fast"}});
    EXPECT_THROW(module.TrainEpoch(data.get(), params.get()), TKQstructure::Error);
}

TEST(TTrainModuleTest, NullNetworkIsRejected) {
    try {
        TBackpropModule module(nullptr);
        ADD_FAILURE() << "no exception";
    } catch (const TException& e) {
        EXPECT_STREQ(e.message, "Null network pointer");
        EXPECT_STREQ(e.kind, "Null Pointer Parameter");
        EXPECT_STREQ(e.location, "TTrainModule::TTrainModule");
    }
}

TEST(TTrainModuleTest, CopiesAreZeroedPlainNetworksOwnedByTheModule) {
    auto net = BuildPrunedMlp(2, 3, 1);
    net->priv_conns_index[3][2]->FreezeWeight(0, 0);
    const double frozen = *net->priv_conns_index[3][2]->GetWeight(0, 0);
    TBackpropModule module(net.get());
    for (TBasicNetwork* copy : {module.errorNet, module.momentumNet}) {
        EXPECT_STREQ(copy->GetNetworkType(), "Basic");
        for (double w : Weights(copy, 0)) {
            EXPECT_EQ(w, 0.0);
        }
        // Untrainable weights keep the copied values.
        EXPECT_EQ(*copy->priv_conns_index[3][2]->GetWeight(0, 0), frozen);
    }
}

// ---------------------------------------------------------------------------------------------
// Consistency checks

TEST(TTrainModuleDeathTest, BackpropagationChecksLayerFunctions) {
    MlpShape tanhOut;
    tanhOut.outputFn = ActTanh;
    MlpShape saturated;
    saturated.hiddenFn = ActSaturatedLinear;
    struct Row {
        const char* name;
        MlpShape shape;
        bool mixHidden;
        int layer;
        int errorFunction;
        const char* condition;
    };
    const Row kRows[] = {
        {"cross entropy needs sigmoid outputs", tanhOut, false, 3, 1, "fn == ActSigmoid"},
        {"mixed functions", MlpShape{}, true, 2, 0, "fn!= NULL"},
        {"no derivative but connected", saturated, false, 2, 0, "fn != ActError"},
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        auto net = BuildMlp(row.shape);
        if (row.mixHidden) {
            net->layers[2]->GetNeuron(1)->SetActFunction(ActTanh);
        }
        TBackpropModule module(net.get());
        EXPECT_DEATH(module.BackpropagateLayer(row.layer, row.errorFunction), row.condition);
    }
}

TEST(TTrainModuleDeathTest, UnknownWordsAndAbstractUpdateFailChecks) {
    auto net = BuildMlp(MlpShape{});
    auto data = FourRows();
    TBackpropModule module(net.get());
    auto badFunction = Params({{"ErrorFunction", "Hinge"}});
    EXPECT_DEATH(module.TrainEpoch(data.get(), badFunction.get()), "ERRORFUNCTION");
    TKQstructure penalty("L1");
    EXPECT_DEATH(module.AddPenaltyGradient(&penalty, 1, 1, 0.5), "WEIGHTPENALTY");
    TTrainModule base(net.get());
    auto params = Params({});
    EXPECT_DEATH(base.Update(params.get()), "false");
}

}  // namespace
}  // namespace ruvo
