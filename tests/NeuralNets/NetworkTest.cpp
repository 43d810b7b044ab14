#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
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
using test::WeightsOf;

// Every cell records its column as from-layer and its row as to-layer, and every layer its
// position.
void ExpectConsistentNumbering(TBasicNetwork& net) {
    for (int to = 0; to < net.numLayers; ++to) {
        EXPECT_EQ(net.priv_conns_index[to], net.priv_conns + to * net.numLayers);
        for (int from = 0; from < net.numLayers; ++from) {
            SCOPED_TRACE(testing::Message() << "cell " << from << " -> " << to);
            ASSERT_NE(Cell(net, from, to), nullptr);
            EXPECT_EQ(Cell(net, from, to)->from, from);
            EXPECT_EQ(Cell(net, from, to)->to, to);
            EXPECT_EQ(Cell(net, from, to)->network, &net);
        }
    }
    for (int i = 0; i < net.numLayers; ++i) {
        EXPECT_EQ(net.layers[i]->layerNum, i);
        for (int k = 0; k < net.layers[i]->numNeurons; ++k) {
            EXPECT_EQ(net.layers[i]->GetNeuron(k)->layerNum, i);
        }
    }
}

TEST(TBasicNetworkTest, FreshNetworkHasOnlyEmptyCells) {
    auto net = MakeBasicNetwork({0, 2, 3, 1});
    EXPECT_EQ(net->inLayer, 1);
    EXPECT_EQ(net->outLayer, 3);
    EXPECT_STREQ(net->GetNetworkType(), "Basic");
    ExpectConsistentNumbering(*net);
    for (int i = 0; i < 16; ++i) {
        EXPECT_STREQ(net->priv_conns[i]->GetConnectionsNType(), "Empty");
    }
    EXPECT_EQ(net->GetNumWeights(FMaskExists), 0);
    double sentinel = 4.0;
    EXPECT_EQ(net->GetWeights(&sentinel, FMaskExists), 0);
    EXPECT_EQ(sentinel, 4.0);
    EXPECT_EQ(net->registry->count, 12);
    EXPECT_EQ(net->GetNumNeurons(), 6);
}

TEST(TBasicNetworkTest, ConnectingCreatesTheClassesKindOnlyWhereThereIsNone) {
    auto basic = MakeBasicNetwork({0, 2, 3});
    auto connected = MakeConnectedNetwork({0, 2, 3});
    basic->CreateConnections(1, 2);
    connected->CreateConnections(1, 2);
    EXPECT_STREQ(Cell(*basic, 1, 2)->GetConnectionsNType(), "Pruneable");
    EXPECT_STREQ(Cell(*connected, 1, 2)->GetConnectionsNType(), "FullyConnected");

    TBasicConnections* before = Cell(*basic, 1, 2);
    *before->GetWeight(1, 2) = 0.75;
    basic->CreateConnections(1, 2);
    EXPECT_EQ(Cell(*basic, 1, 2), before);
    EXPECT_EQ(*Cell(*basic, 1, 2)->GetWeight(1, 2), 0.75);

    basic->DeleteConnections(1, 2);
    basic->DeleteConnections(0, 2);
    EXPECT_STREQ(Cell(*basic, 1, 2)->GetConnectionsNType(), "Empty");
    EXPECT_STREQ(Cell(*basic, 0, 2)->GetConnectionsNType(), "Empty");
    ExpectConsistentNumbering(*basic);
}

TEST(TBasicNetworkTest, WeightVectorRunsFromLayerOuterToLayerInner) {
    auto net = MakeBasicNetwork({1, 2, 2, 1});
    // Created in a scrambled order; the vector order does not depend on it.
    net->CreateConnections(2, 3);
    net->CreateConnections(2, 1);
    net->CreateConnections(1, 2);
    net->CreateConnections(0, 2);
    FillWeights(Cell(*net, 0, 2), [](int f, int t) { return 100.0 + 10 * f + t; });
    FillWeights(Cell(*net, 1, 2), [](int f, int t) { return 200.0 + 10 * f + t; });
    FillWeights(Cell(*net, 2, 1), [](int f, int t) { return 300.0 + 10 * f + t; });
    FillWeights(Cell(*net, 2, 3), [](int f, int t) { return 400.0 + 10 * f + t; });
    Cell(*net, 1, 2)->FreezeWeight(1, 0);
    const std::vector<double> kAll = {100, 101,            // 0 -> 2
                                      200, 210, 201, 211,  // 1 -> 2, row by to-neuron
                                      300, 310, 301, 311,  // 2 -> 1
                                      400, 410};           // 2 -> 3
    EXPECT_EQ(net->GetNumWeights(FMaskExists), 12);
    EXPECT_EQ(WeightsOf(*net, FMaskExists), kAll);
    std::vector<double> trainable = kAll;
    trainable.erase(trainable.begin() + 3);  // (1, 0) of 1 -> 2 is frozen
    EXPECT_EQ(net->GetNumWeights(0), 11);
    EXPECT_EQ(WeightsOf(*net, 0), trainable);

    std::vector<double> values(12);
    for (int i = 0; i < 12; ++i) {
        values[i] = -i;
    }
    EXPECT_EQ(net->SetWeights(values.data(), FMaskExists), 12);
    EXPECT_EQ(WeightsOf(*net, FMaskExists), values);
    EXPECT_EQ(*Cell(*net, 1, 2)->GetWeight(1, 0), -3.0);
}

TEST(TBasicNetworkTest, RandomizeWeightsWalksTheCellsInVectorOrder) {
    auto net = MakeConnectedNetwork({0, 2, 2, 1});
    net->CreateConnections(2, 3);
    net->CreateConnections(1, 2);
    ResetRandomGenerator();
    const std::vector<double> drawn = NextRandomWeights(6, -2.0, 2.0);
    net->RandomizeWeights(-2.0, 2.0);
    // 1 -> 2 first (storage order: to-neuron rows), then 2 -> 3.
    EXPECT_EQ(*Cell(*net, 1, 2)->GetWeight(0, 0), drawn[0]);
    EXPECT_EQ(*Cell(*net, 1, 2)->GetWeight(1, 0), drawn[1]);
    EXPECT_EQ(*Cell(*net, 1, 2)->GetWeight(0, 1), drawn[2]);
    EXPECT_EQ(*Cell(*net, 2, 3)->GetWeight(1, 0), drawn[5]);

    const std::uint32_t seed = GetRandomSeed();
    net->RandomizeWeights(0.0, 0.0);
    EXPECT_EQ(GetRandomSeed(), seed);
    EXPECT_EQ(WeightsOf(*net, FMaskExists), std::vector<double>(6, 0.0));
}

TEST(TBasicNetworkTest, RecallComputesTheLayersInOrderAndIgnoresBackwardCells) {
    auto net = MakeConnectedNetwork({1, 2, 2, 2});
    net->layers[0]->SetActFunction(ActBias);
    net->layers[2]->SetActFunction(ActLinear);
    net->layers[3]->SetActFunction(ActSigmoid);
    net->CreateConnections(0, 2);  // bias
    net->CreateConnections(1, 2);
    net->CreateConnections(2, 3);
    net->CreateConnections(3, 2);  // backward: never used
    FillWeights(Cell(*net, 0, 2), [](int, int t) { return t == 0 ? 0.5 : -0.5; });
    FillWeights(Cell(*net, 1, 2), [](int f, int t) { return f == t ? 1.0 : 2.0; });
    FillWeights(Cell(*net, 2, 3), [](int f, int t) { return f == t ? 1.0 : 0.0; });
    FillWeights(Cell(*net, 3, 2), [](int, int) { return 1000.0; });
    const std::vector<double> input = {1.0, -1.0};
    std::vector<double> output = {9.0, 9.0, 9.0};
    net->Recall(input.data(), output.data());
    // Hidden net inputs: 0.5 + 1 - 2 = -0.5 and -0.5 + 2 - 1 = 0.5.
    EXPECT_DOUBLE_EQ(output[0], 1.0 / (1.0 + std::exp(0.5)));
    EXPECT_DOUBLE_EQ(output[1], 1.0 / (1.0 + std::exp(-0.5)));
    EXPECT_EQ(output[2], 9.0);  // exactly as many values as the output layer has neurons
    EXPECT_EQ(net->layers[0]->activations[0], 1.0);
}

TEST(TBasicNetworkTest, CopyIsAPlainNetworkThatSharesNothing) {
    auto net = MakeConnectedNetwork({0, 2, 3, 1}, ActSigmoid);
    TGainLayer* gain = new TGainLayer(net.get(), 2, 3, 1.5);
    gain->SetActFunction(ActTanhGain);
    net->layers[2]->Destroy();
    net->layers[2] = gain;
    net->CreateConnections(1, 2);
    net->DeleteConnections(2, 3);
    TPrunedConnections* pruned = new TPrunedConnections(net.get(), 2, 3);
    Cell(*net, 2, 3)->Destroy();
    net->priv_conns_index[3][2] = pruned;
    pruned->PruneWeight(1, 0);
    net->RandomizeWeights(-1.0, 1.0);

    TBasicNetwork copy(*net);
    EXPECT_STREQ(copy.GetNetworkType(), "Basic");
    EXPECT_STREQ(copy.layers[1]->GetLayerType(), "Input");
    EXPECT_STREQ(copy.layers[2]->GetLayerType(), "Gain");
    EXPECT_EQ(static_cast<TGainLayer*>(copy.layers[2])->nodes[2].gain, 1.5);
    EXPECT_EQ(copy.layers[2]->GetActFunction(), ActTanhGain);
    EXPECT_STREQ(Cell(copy, 1, 2)->GetConnectionsNType(), "FullyConnected");
    EXPECT_STREQ(Cell(copy, 2, 3)->GetConnectionsNType(), "Pruneable");
    EXPECT_FALSE(Cell(copy, 2, 3)->IsValid(1, 0));
    EXPECT_EQ(WeightsOf(copy, FMaskExists), WeightsOf(*net, FMaskExists));
    EXPECT_NE(copy.registry, net->registry);
    ExpectConsistentNumbering(copy);

    const std::vector<double> before = WeightsOf(*net, FMaskExists);
    copy.RandomizeWeights(5.0, 5.0);
    EXPECT_EQ(WeightsOf(*net, FMaskExists), before);

    // The copies recall the same values.
    const std::vector<double> input = {0.3, -0.2};
    double a = 0.0;
    double b = 0.0;
    net->Recall(input.data(), &a);
    TBasicNetwork second(*net);
    second.Recall(input.data(), &b);
    EXPECT_EQ(a, b);
}

TEST(TBasicNetworkTest, AssignmentRebuildsAndSelfAssignmentChangesNothing) {
    auto source = MakeBasicNetwork({0, 2, 2});
    source->CreateConnections(1, 2);
    FillWeights(Cell(*source, 1, 2), [](int f, int t) { return 1.0 + f + 2 * t; });
    auto target = MakeBasicNetwork({0, 1, 1, 1, 1});
    *target = *source;
    EXPECT_EQ(target->numLayers, 3);
    EXPECT_EQ(target->outLayer, 2);
    EXPECT_EQ(WeightsOf(*target, FMaskExists), WeightsOf(*source, FMaskExists));
    ExpectConsistentNumbering(*target);
    TBasicNetwork& alias = *target;
    *target = alias;
    EXPECT_EQ(WeightsOf(*target, FMaskExists), (std::vector<double>{1, 2, 3, 4}));
    ExpectConsistentNumbering(*target);
}

TEST(TBasicNetworkTest, HalfBuiltNetworkIsReleasedCleanly) {
    // A reader that fails part-way leaves empty layer slots; destruction must skip them.
    std::unique_ptr<TBasicNetwork> net(new TBasicNetwork(4));
    net->layers[1] = new TSimpleInputLayer(net.get(), 1, 2);
    net.reset();
    SUCCEED();
}

TEST(TBasicNetworkTest, GlobalNeuronNumbersRunInLayerOrder) {
    auto net = MakeBasicNetwork({1, 2, 0, 3});
    EXPECT_EQ(net->GetNumNeurons(), 6);
    EXPECT_EQ(net->GetNeuron(0), net->layers[0]->GetNeuron(0));
    EXPECT_EQ(net->GetNeuron(2), net->layers[1]->GetNeuron(1));
    EXPECT_EQ(net->GetNeuron(3), net->layers[3]->GetNeuron(0));
    EXPECT_EQ(net->GetNeuron(5), net->layers[3]->GetNeuron(2));
}

TEST(TConnectedNetworkTest, ConstructorInstallsSimpleLayersAndAnInputLayer) {
    const int sizes[] = {1, 2, 3, 4};
    TConnectedNetwork net(4, sizes);
    EXPECT_STREQ(net.GetNetworkType(), "Connected");
    const char* kTypes[] = {"Simple", "Input", "Simple", "Simple"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_STREQ(net.layers[i]->GetLayerType(), kTypes[i]);
        EXPECT_EQ(net.layers[i]->numNeurons, sizes[i]);
    }
    EXPECT_EQ(net.GetNumWeights(FMaskExists), 0);
}

// Network 0, 2, hidden 3, 1 with pruned cells input -> hidden and hidden -> output.
std::unique_ptr<TBasicNetwork> HiddenNetwork() {
    auto net = MakeBasicNetwork({0, 2, 3, 1});
    net->CreateConnections(1, 2);
    net->CreateConnections(2, 3);
    FillWeights(Cell(*net, 1, 2), [](int f, int t) { return 10.0 * f + t + 1; });
    FillWeights(Cell(*net, 2, 3), [](int f, int) { return 100.0 + f; });
    return net;
}

TEST(TBasicNetworkTest, RemovingANeuronRemovesItsArcsInEveryCell) {
    auto net = HiddenNetwork();
    net->RemoveNeuron(2, 1);
    EXPECT_EQ(net->layers[2]->numNeurons, 2);
    // In: columns of the to-layer rows 0 and 2; out: from-neurons 0 and 2.
    EXPECT_EQ(WeightsOf(Cell(*net, 1, 2), FMaskExists), (std::vector<double>{1, 11, 3, 13}));
    EXPECT_EQ(WeightsOf(Cell(*net, 2, 3), FMaskExists), (std::vector<double>{100, 102}));
    ExpectConsistentNumbering(*net);
    EXPECT_EQ(net->layers[2]->GetNeuron(1)->index, 1);
}

TEST(TBasicNetworkTest, InsertingANeuronAddsItsArcsInEveryCell) {
    auto net = HiddenNetwork();
    ResetRandomGenerator();
    // For i = 0 .. n-1 the cell from 2 to i, then the one from i to 2: i = 1 draws the two
    // in-arcs, i = 3 the one out-arc.
    const std::vector<double> drawn = NextRandomWeights(3, -1.0, 1.0);
    net->InsertNeuron(2, 0, -1.0, 1.0, true);
    EXPECT_EQ(net->layers[2]->numNeurons, 4);
    EXPECT_EQ(*Cell(*net, 1, 2)->GetWeight(0, 0), drawn[0]);
    EXPECT_EQ(*Cell(*net, 1, 2)->GetWeight(1, 0), drawn[1]);
    EXPECT_EQ(*Cell(*net, 2, 3)->GetWeight(0, 0), drawn[2]);
    EXPECT_EQ(*Cell(*net, 1, 2)->GetWeight(1, 3), 13.0);
    EXPECT_EQ(*Cell(*net, 2, 3)->GetWeight(3, 0), 102.0);

    net->InsertNeuron(2, 4, 0.0, 1.0, false);  // prunable cells accept unattached neurons
    EXPECT_FALSE(Cell(*net, 1, 2)->IsValid(0, 4));
    EXPECT_FALSE(Cell(*net, 2, 3)->IsValid(4, 0));
    EXPECT_EQ(net->GetNumWeights(FMaskExists), 8 + 4);
    net->layers[0]->SetActFunction(ActBias);
    const double input[] = {1.0, 1.0};
    double output = 0.0;
    net->Recall(input, &output);  // sizes and storage agree after the edits
    ExpectConsistentNumbering(*net);
}

TEST(TBasicNetworkTest, SelfConnectedLayerFollowsNeuronEdits) {
    auto net = HiddenNetwork();
    net->CreateConnections(2, 2);
    FillWeights(Cell(*net, 2, 2), [](int f, int t) { return 10.0 * f + t; });
    net->InsertNeuron(2, 1, 0.5, 0.5, true);
    TBasicConnections* self = Cell(*net, 2, 2);
    EXPECT_EQ(self->GetNumWeights(FMaskExists), 16);
    EXPECT_EQ(*self->GetWeight(2, 3), 12.0);  // old (1, 2)
    EXPECT_EQ(*self->GetWeight(1, 1), 0.5);
    EXPECT_EQ(*self->GetWeight(0, 1), 0.5);
    EXPECT_EQ(*self->GetWeight(1, 3), 0.5);
    net->RemoveNeuron(2, 1);
    EXPECT_EQ(WeightsOf(self, FMaskExists), (std::vector<double>{0, 10, 20, 1, 11, 21, 2, 12, 22}));
}

TEST(TBasicNetworkTest, PruneNeuronsRemovesHiddenNeuronsWithoutOutgoingArcs) {
    auto net = HiddenNetwork();
    Cell(*net, 2, 3)->PruneWeight(1, 0);
    Cell(*net, 1, 2)->PruneWeight(0, 0);
    Cell(*net, 1, 2)->PruneWeight(0, 1);
    Cell(*net, 1, 2)->PruneWeight(0, 2);  // input neuron 0 has no outgoing arc: kept
    EXPECT_EQ(net->PruneNeurons(), 1);
    EXPECT_EQ(net->layers[1]->numNeurons, 2);
    EXPECT_EQ(net->layers[2]->numNeurons, 2);
    EXPECT_EQ(WeightsOf(Cell(*net, 2, 3), FMaskExists), (std::vector<double>{100, 102}));
    EXPECT_EQ(WeightsOf(Cell(*net, 1, 2), FMaskExists), (std::vector<double>{11, 13}));
    EXPECT_EQ(net->PruneNeurons(), 0);
}

TEST(TBasicNetworkTest, InsertingALayerRenumbersLayersAndCells) {
    auto net = HiddenNetwork();
    net->InsertLayer(1, new TSimpleLayer(net.get(), 7, 2));
    EXPECT_EQ(net->numLayers, 5);
    EXPECT_EQ(net->inLayer, 2);
    EXPECT_EQ(net->outLayer, 4);
    EXPECT_STREQ(net->layers[2]->GetLayerType(), "Input");
    ExpectConsistentNumbering(*net);
    EXPECT_STREQ(Cell(*net, 2, 3)->GetConnectionsNType(), "Pruneable");
    EXPECT_EQ(*Cell(*net, 2, 3)->GetWeight(1, 2), 13.0);
    EXPECT_EQ(*Cell(*net, 3, 4)->GetWeight(2, 0), 102.0);
    for (int i = 0; i < 5; ++i) {
        EXPECT_FALSE(Cell(*net, 1, i)->IsConnected());
        EXPECT_FALSE(Cell(*net, i, 1)->IsConnected());
    }
    net->InsertLayer(5, new TSimpleLayer(net.get(), 0, 1));  // above the output layer
    EXPECT_EQ(net->outLayer, 4);
    ExpectConsistentNumbering(*net);

    net->RemoveLayer(1);
    EXPECT_EQ(net->numLayers, 5);
    EXPECT_EQ(net->inLayer, 1);
    EXPECT_EQ(net->outLayer, 3);
    ExpectConsistentNumbering(*net);
    EXPECT_EQ(*Cell(*net, 1, 2)->GetWeight(1, 2), 13.0);
    EXPECT_EQ(WeightsOf(*net, FMaskExists).size(), 9u);
}

TEST(TBasicNetworkTest, RemovingAHiddenLayerDropsItsCells) {
    auto net = HiddenNetwork();
    net->InsertLayer(3, new TSimpleLayer(net.get(), 3, 1));
    net->CreateConnections(2, 3);
    net->RemoveLayer(2);
    EXPECT_EQ(net->numLayers, 4);
    EXPECT_EQ(net->outLayer, 3);
    EXPECT_EQ(net->GetNumWeights(FMaskExists), 0);
    ExpectConsistentNumbering(*net);
}

TEST(TBasicNetworkDeathTest, CallsACorrectCallerNeverMakes) {
    auto net = HiddenNetwork();
    EXPECT_DEATH(net->NewArcsIterator(), "false");
    EXPECT_DEATH(net->InsertNeuron(1, 0, 0.0, 1.0, true), "LayerNum != inLayer");
    EXPECT_DEATH(net->RemoveNeuron(3, 0), "LayerNum != outLayer");
    EXPECT_DEATH(net->RemoveNeuron(4, 0), "LayerNum < numLayers");
    EXPECT_DEATH(net->RemoveNeuron(2, 3), "node < layer->numNeurons");
    EXPECT_DEATH(net->RemoveLayer(1), "LayerNum != inLayer");
    EXPECT_DEATH(net->GetNeuron(6), "index < GetNumNeurons\\(\\)");
    EXPECT_DEATH(net->CreateConnections(0, 4), "toLayer < numLayers");
    EXPECT_DEATH(net->InsertLayer(5, new TSimpleLayer(net.get(), 5, 1)), "LayerNum <= numLayers");
    TBasicNetwork half(3);
    EXPECT_DEATH(TBasicNetwork copy(half), "x.layers\\[i\\] != NULL");
}

TEST(TConnectedNetworkDeathTest, FullyConnectedCellsCannotTakeUnattachedNeurons) {
    auto net = MakeConnectedNetwork({0, 2, 3, 1});
    net->CreateConnections(1, 2);
    EXPECT_DEATH(net->InsertNeuron(2, 0, 0.0, 1.0, false), "attached");
}

}  // namespace
}  // namespace ruvo
