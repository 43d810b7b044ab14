// The network file reader and writer: the canonical layout, every rejection of a malformed file,
// the structure a fuzzy network must have, and round trips.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "FileHandler/NetworkFile.h"
#include "FileHandler/ParseTools.h"
#include "NeuralNets/TBasicNetwork.h"
#include "NeuralNets/TConnectedConnections.h"
#include "NeuralNets/TPrunedConnections.h"
#include "Ruvo/TConditionLayer.h"
#include "Ruvo/TRuvo.h"
#include "Ruvo/TRuvoOutputLayer.h"
#include "Ruvo/TToConditionConnections.h"
#include "Ruvo/TToOutputConnections.h"

namespace ruvo {
namespace {

// ---------------------------------------------------------------------------------------------
// Vocabulary

std::string Write(TBasicNetwork* network) {
    FileTools tools;
    std::ostringstream out;
    WriteNetwork(tools, out, network);
    return out.str();
}

std::unique_ptr<TBasicNetwork> Read(const std::string& text) {
    FileTools tools;
    std::istringstream in(text);
    return std::unique_ptr<TBasicNetwork>(ReadNetwork(tools, in));
}

// The error the reader raises for text; a failure of the test when it accepts the text.
FileTools::Error ReadError(const std::string& text) {
    FileTools tools;
    std::istringstream in(text);
    try {
        std::unique_ptr<TBasicNetwork> accepted(ReadNetwork(tools, in));
        ADD_FAILURE() << "accepted:\n" << text;
    } catch (const FileTools::Error& error) {
        return error;
    }
    return FileTools::Error("", nullptr);
}

std::string FileContents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Fixture(const char* name) {
    return std::string(TEST_DATA_DIR) + "/" + name;
}

// Replaces the one occurrence of from in text.
std::string Replace(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// Removes the connection block from f to t of a canonical file.
std::string WithoutConnections(const std::string& text, int f, int t) {
    const std::string header = "[ConnectionLayer]\n[LayerFrom = " + std::to_string(f) +
                               "]\n[LayerTo = " + std::to_string(t) + "]\n";
    const size_t begin = text.find(header);
    EXPECT_NE(begin, std::string::npos) << header;
    if (begin == std::string::npos) {
        return text;
    }
    const std::string end = "[~ConnectionLayer]\n";
    const size_t stop = text.find(end, begin) + end.size();
    return text.substr(0, begin) + text.substr(stop);
}

TBasicConnections* Cell(TBasicNetwork* network, int from, int to) {
    return network->priv_conns_index[to][from];
}

// A small file of type type: the information block holds info, then layers and connections.
std::string Net(const std::string& layers,
                const std::string& connections = "",
                const std::string& info = "[NumberOfLayers = 3]",
                const std::string& type = "Basic") {
    return "[NeuralNetwork]\n[NetworkType = " + type + "]\n[NetworkInformation]\n" + info +
           "\n[~NetworkInformation]\n" + layers + connections + "[~NeuralNetwork]\n";
}

std::string Layer(int k, const std::string& body) {
    return "[Layer = " + std::to_string(k) + "]\n" + body + "\n[~Layer]\n";
}

// Layer 0 empty, layer 1 two inputs, layer 2 three sigmoid neurons.
const std::string kLayer0 = Layer(0, "[LayerType = Simple] [NumberOfNeurons = 0]");
const std::string kLayer1 = Layer(1, "[LayerType = Input] [NumberOfNeurons = 2]");
const std::string kLayer2 =
    Layer(2, "[LayerType = Simple] [NumberOfNeurons = 3] [ActivationFunction = sigmoid]");
const std::string kLayers = kLayer0 + kLayer1 + kLayer2;

// A connection block with the given header and bodies.
std::string Conn(const std::string& header, const std::string& bodies = "") {
    return "[ConnectionLayer]\n" + header + "\n" + bodies + "[~ConnectionLayer]\n";
}

const std::string kPruned12 = "[LayerFrom = 1] [LayerTo = 2] [ConnectionType = Pruneable]";
const std::string kFull12 = "[LayerFrom = 1] [LayerTo = 2] [ConnectionType = FullyConnected]";

// The fuzzy network with 2 inputs (2 and 3 functions), 2 rules and 2 outputs (2 and 3
// functions), with distinct weights, one pruned and one frozen inner weight per inner matrix,
// one frozen centre per centre matrix, and the centres moved off the even spacing.
std::unique_ptr<TRuvo> BuildRuvo() {
    const int mfPerInput[] = {2, 3};
    const int mfPerOutput[] = {2, 3};
    std::unique_ptr<TRuvo> net(new TRuvo(2, mfPerInput, 2, mfPerOutput, 2));
    for (int j = 0; j < 5; ++j) {
        net->SetWeightValue(1, j < 2 ? 0 : 1, j, 0.1 * j + 0.05);
    }
    for (int f = 0; f < 5; ++f) {
        for (int t = 0; t < 2; ++t) {
            net->SetWeightValue(2, f, t, 0.3 * f - 0.7 * t + 1.0 / 3.0);
        }
    }
    for (int f = 0; f < 2; ++f) {
        for (int t = 0; t < 5; ++t) {
            net->SetWeightValue(3, f, t, -1.25 * f + 0.5 * t - 2.0 / 7.0);
        }
    }
    for (int a = 0; a < 5; ++a) {
        net->SetWeightValue(4, a, a < 2 ? 0 : 1, 0.2 * a);
    }
    Cell(net.get(), 2, 3)->PruneWeight(4, 1);
    net->FreezeWeight(2, 0, 1);
    Cell(net.get(), 3, 4)->PruneWeight(0, 3);
    net->FreezeWeight(3, 4, 1);
    net->FreezeWeight(1, 3, 1);
    net->FreezeWeight(4, 1, 4);
    return net;
}

// A connected network of four layers: a bias neuron, two inputs, a gain layer with differing
// gains, and an output layer with one function per neuron; a fully connected matrix, a sparse
// prunable one written as a list and a denser one written as a matrix.
std::unique_ptr<TConnectedNetwork> BuildMixedNetwork() {
    const int sizes[] = {1, 2, 2, 3};
    std::unique_ptr<TConnectedNetwork> net(new TConnectedNetwork(4, sizes));
    net->layers[2]->Destroy();
    auto* gain = new TGainLayer(net.get(), 2, 2, 1.0);
    net->layers[2] = gain;
    net->layers[0]->SetActFunction(ActBias);
    gain->SetActFunction(ActSigmoidGain);
    gain->nodes[1].gain = 2.0;
    net->layers[3]->GetNeuron(0)->SetActFunction(ActLinear);
    net->layers[3]->GetNeuron(1)->SetActFunction(ActSigmoid);
    net->layers[3]->GetNeuron(2)->SetActFunction(ActTanh);

    net->CreateConnections(1, 2);
    *Cell(net.get(), 1, 2)->GetWeight(0, 0) = 0.5;
    *Cell(net.get(), 1, 2)->GetWeight(0, 1) = -1.5;
    *Cell(net.get(), 1, 2)->GetWeight(1, 0) = 0.1;
    *Cell(net.get(), 1, 2)->GetWeight(1, 1) = 1e-20;

    auto* list = new TPrunedConnections(net.get(), 2, 3);
    Cell(net.get(), 2, 3)->Destroy();
    net->priv_conns_index[3][2] = list;
    for (int f = 0; f < 2; ++f) {
        for (int t = 0; t < 3; ++t) {
            list->PruneWeight(f, t);
        }
    }
    list->AddWeight(0, 2);
    *list->GetWeight(0, 2) = 0.25;
    list->AddWeight(1, 0);
    *list->GetWeight(1, 0) = -3.0;
    list->FreezeWeight(1, 0);

    auto* matrix = new TPrunedConnections(net.get(), 0, 3);
    Cell(net.get(), 0, 3)->Destroy();
    net->priv_conns_index[3][0] = matrix;
    *matrix->GetWeight(0, 0) = 2.0 / 3.0;
    matrix->PruneWeight(0, 1);
    *matrix->GetWeight(0, 2) = 123456.789;
    matrix->FreezeWeight(0, 2);
    return net;
}

// Weights come back to the precision written: 15 significant digits in a Matrix body, 15
// decimals in a weight list.
void ExpectSameValue(double a, double b) {
    EXPECT_NEAR(a, b, 1e-14 * std::max(1.0, std::fabs(a)));
}

// Class, layers, functions, parameters, membership layout, matrices, weights and trainability.
void ExpectSameNetwork(TBasicNetwork* a, TBasicNetwork* b) {
    EXPECT_STREQ(a->GetNetworkType(), b->GetNetworkType());
    ASSERT_EQ(a->numLayers, b->numLayers);
    EXPECT_EQ(a->inLayer, b->inLayer);
    EXPECT_EQ(a->outLayer, b->outLayer);
    for (int k = 0; k < a->numLayers; ++k) {
        SCOPED_TRACE(testing::Message() << "layer " << k);
        TBasicLayer* la = a->layers[k];
        TBasicLayer* lb = b->layers[k];
        EXPECT_STREQ(la->GetLayerType(), lb->GetLayerType());
        ASSERT_EQ(la->numNeurons, lb->numNeurons);
        EXPECT_EQ(la->GetActFunction(), lb->GetActFunction());
        for (int i = 0; i < la->numNeurons; ++i) {
            TBasicNeuron* na = la->GetNeuron(i);
            TBasicNeuron* nb = lb->GetNeuron(i);
            EXPECT_EQ(na->GetActFunction(), nb->GetActFunction());
            ASSERT_EQ(na->GetNumParameters(), nb->GetNumParameters());
            std::vector<double> pa(static_cast<size_t>(na->GetNumParameters()));
            std::vector<double> pb(pa.size());
            na->GetParameters(pa.data());
            nb->GetParameters(pb.data());
            for (size_t p = 0; p < pa.size(); ++p) {
                ExpectSameValue(pa[p], pb[p]);
            }
        }
        if (auto* ca = dynamic_cast<TConditionLayer*>(la)) {
            auto* cb = dynamic_cast<TConditionLayer*>(lb);
            ASSERT_NE(cb, nullptr);
            ASSERT_EQ(ca->numInputs, cb->numInputs);
            for (int i = 0; i < ca->numInputs; ++i) {
                EXPECT_EQ(ca->mfPerInput[i], cb->mfPerInput[i]);
            }
            for (int j = 0; j < ca->numNeurons; ++j) {
                EXPECT_EQ(ca->nodes[j].trainable, cb->nodes[j].trainable);
            }
        }
        if (auto* oa = dynamic_cast<TRuvoOutputLayer*>(la)) {
            auto* ob = dynamic_cast<TRuvoOutputLayer*>(lb);
            ASSERT_NE(ob, nullptr);
            EXPECT_EQ(oa->totalMFs, ob->totalMFs);
            for (int o = 0; o < oa->numNeurons; ++o) {
                EXPECT_EQ(oa->mfPerOutput[o], ob->mfPerOutput[o]);
            }
        }
    }
    for (int f = 0; f < a->numLayers; ++f) {
        for (int t = 0; t < a->numLayers; ++t) {
            SCOPED_TRACE(testing::Message() << "matrix " << f << " -> " << t);
            TBasicConnections* ma = Cell(a, f, t);
            TBasicConnections* mb = Cell(b, f, t);
            ASSERT_STREQ(ma->GetConnectionsNType(), mb->GetConnectionsNType());
            if (!ma->IsConnected()) {
                continue;
            }
            for (int i = 0; i < a->layers[f]->numNeurons; ++i) {
                for (int j = 0; j < a->layers[t]->numNeurons; ++j) {
                    ASSERT_EQ(ma->IsValid(i, j), mb->IsValid(i, j)) << i << "," << j;
                    if (ma->IsValid(i, j)) {
                        EXPECT_EQ(ma->IsTrainable(i, j), mb->IsTrainable(i, j)) << i << "," << j;
                        ExpectSameValue(*ma->GetWeight(i, j), *mb->GetWeight(i, j));
                    }
                }
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// The writer's canonical layout

// Every part of the layout in one file, checked by hand: the header, the bias layer, a layer
// per function kind, a Neurons block with differing gains, a fully connected Matrix body, a
// prunable WeightList body and a prunable Matrix body with "-" cells and trainability letters.
TEST(NetworkFileWriterTest, CanonicalLayoutOfAMixedNetwork) {
    auto net = BuildMixedNetwork();
    const std::string expected =
        "[FormatVersion = 1.0]\n"
        "\n"
        "[NeuralNetwork]\n"
        "[NetworkType = Connected]\n"
        "\n"
        "[NetworkInformation]\n"
        "[NumberOfLayers = 4]\n"
        "[InputLayer = 1]\n"
        "[OutputLayer = 3]\n"
        "[NumberOfInputs = 2]\n"
        "[NumberOfOutputs = 3]\n"
        "[BiasLayer = 0]\n"
        "[~NetworkInformation]\n"
        "\n"
        "[Layer = 0]\n"
        "[LayerType = Simple]\n"
        "[NumberOfNeurons = 1]\n"
        "[All ActivationFunction=bias ]\n"
        "[~Layer]\n"
        "\n"
        "[Layer = 1]\n"
        "[LayerType = Input]\n"
        "[NumberOfNeurons = 2]\n"
        "[All ActivationFunction=linear ]\n"
        "[~Layer]\n"
        "\n"
        "[Layer = 2]\n"
        "[LayerType = Gain]\n"
        "[NumberOfNeurons = 2]\n"
        "[All ActivationFunction=sigmoid-gain ]\n"
        "[Neurons]\n"
        "[Neuron=0 Gain=1.000000000000000 ]\n"
        "[Neuron=1 Gain=2.000000000000000 ]\n"
        "[~Neurons]\n"
        "[~Layer]\n"
        "\n"
        "[Layer = 3]\n"
        "[LayerType = Simple]\n"
        "[NumberOfNeurons = 3]\n"
        "[Neurons]\n"
        "[Neuron=0 ActivationFunction=linear ]\n"
        "[Neuron=1 ActivationFunction=sigmoid ]\n"
        "[Neuron=2 ActivationFunction=tanh ]\n"
        "[~Neurons]\n"
        "[~Layer]\n"
        "\n"
        "[ConnectionLayer]\n"
        "[LayerFrom = 0]\n"
        "[LayerTo = 3]\n"
        "[ConnectionType = Pruneable]\n"
        "[Attributes Pruneable Freezable ]\n"
        "[Matrix Weights TrainableInfo ]\n"
        "/* To->              0                      1                      2  From */\n"
        "   0.666666666666667 T                    - -           123456.789 F  /* 0 */\n"
        "[~Matrix]\n"
        "[~ConnectionLayer]\n"
        "\n"
        "[ConnectionLayer]\n"
        "[LayerFrom = 1]\n"
        "[LayerTo = 2]\n"
        "[ConnectionType = FullyConnected]\n"
        "[Attributes UnPrunable UnFreezable ]\n"
        "[Matrix Weights ]\n"
        "/* To->            0                    1  From */\n"
        "                 0.5                 -1.5  /* 0 */\n"
        "                 0.1                1e-20  /* 1 */\n"
        "[~Matrix]\n"
        "[~ConnectionLayer]\n"
        "\n"
        "[ConnectionLayer]\n"
        "[LayerFrom = 2]\n"
        "[LayerTo = 3]\n"
        "[ConnectionType = Pruneable]\n"
        "[Attributes Pruneable Freezable ]\n"
        "[WeightList]\n"
        "[From=1 To=0 Weight=-3.000000000000000 UnTrainable ]\n"
        "[From=0 To=2 Weight=0.250000000000000 Trainable ]\n"
        "[~WeightList]\n"
        "[~ConnectionLayer]\n"
        "\n"
        "[~NeuralNetwork]\n";
    EXPECT_EQ(Write(net.get()), expected);
}

// A TRuvo(1, {2}, 1, {2}, 1) as the writer saves it; end-to-end tests load this fixture.
TEST(NetworkFileWriterTest, SmallFuzzyNetworkMatchesItsFixture) {
    const int mf[] = {2};
    TRuvo net(1, mf, 1, mf, 1);
    net.InitWeights(0.5, 0.5);
    EXPECT_EQ(Write(&net), FileContents(Fixture("ruvo_1in_2mf.wgt")));
}

TEST(NetworkFileWriterTest, EmptyLayerGetsHeaderFunctionAndNothingElse) {
    auto net = BuildMixedNetwork();
    net->layers[0]->Destroy();
    net->layers[0] = new TSimpleLayer(net.get(), 0, 0);
    const std::string text = Write(net.get());
    EXPECT_NE(text.find("\n[Layer = 0]\n[LayerType = Simple]\n[NumberOfNeurons = 0]\n"
                        "[All ActivationFunction=null ]\n[~Layer]\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("[BiasLayer"), std::string::npos);
}

TEST(NetworkFileWriterTest, GainLinesFollowTheCommonGains) {
    auto net = BuildMixedNetwork();
    auto* gain = static_cast<TGainLayer*>(net->layers[2]);
    // Differing gains: a Neurons block with every gain, no All Gain line.
    std::string text = Write(net.get());
    EXPECT_EQ(text.find("[All Gain="), std::string::npos);
    EXPECT_NE(text.find("[Neuron=1 Gain=2.000000000000000 ]"), std::string::npos);

    gain->nodes[1].gain = 1.0;
    text = Write(net.get());
    EXPECT_NE(text.find("[All ActivationFunction=sigmoid-gain ]\n[All Gain=1.000000000000000 ]\n"
                        "[~Layer]\n"),
              std::string::npos)
        << text;
}

TEST(NetworkFileWriterTest, BodyFollowsTheShareOfPresentWeights) {
    struct Row {
        int present;    // weights present out of 3 x 3
        bool asList;    // fewer than 35 percent: a WeightList
        int bodyLines;  // lines between the body's opener and its end tag
    };
    const Row kRows[] = {{0, true, 0}, {2, true, 2}, {3, true, 3}, {4, false, 4}, {9, false, 4}};
    for (const Row& row : kRows) {
        SCOPED_TRACE(testing::Message() << row.present << " of 9");
        const int sizes[] = {0, 3, 3};
        TBasicNetwork net(3);
        for (int k = 0; k < 3; ++k) {
            net.layers[k] = k == 1 ? new TSimpleInputLayer(&net, k, sizes[k])
                                   : new TSimpleLayer(&net, k, sizes[k]);
        }
        net.layers[2]->SetActFunction(ActLinear);
        net.CreateConnections(1, 2);
        TBasicConnections* m = Cell(&net, 1, 2);
        for (int a = row.present; a < 9; ++a) {
            m->PruneWeight(a / 3, a % 3);
        }
        const std::string text = Write(&net);
        const char* opener = row.asList ? "[WeightList]\n" : "[Matrix Weights TrainableInfo ]\n";
        const char* closer = row.asList ? "[~WeightList]\n" : "[~Matrix]\n";
        const size_t begin = text.find(opener);
        ASSERT_NE(begin, std::string::npos) << text;
        const size_t end = text.find(closer, begin);
        const std::string body = text.substr(begin + std::string(opener).size(),
                                             end - begin - std::string(opener).size());
        EXPECT_EQ(std::count(body.begin(), body.end(), '\n'), row.bodyLines) << body;
        if (row.present == 4) {
            EXPECT_EQ(
                body,
                "/* To->              0                      1                      2  From */\n"
                "                   0 T                    0 T                    0 T  /* 0 */\n"
                "                   0 T                    - -                    - -  /* 1 */\n"
                "                   - -                    - -                    - -  /* 2 */\n");
        }
        ExpectSameNetwork(&net, Read(text).get());
    }
}

TEST(NetworkFileWriterTest, FullyConnectedMatrixHasNoTrainabilityAndReadsBack) {
    const int sizes[] = {0, 2, 1};
    TConnectedNetwork net(3, sizes);
    net.layers[2]->SetActFunction(ActTanh);
    net.CreateConnections(1, 2);
    *Cell(&net, 1, 2)->GetWeight(1, 0) = -0.75;
    const std::string text = Write(&net);
    EXPECT_NE(text.find("[Attributes UnPrunable UnFreezable ]\n[Matrix Weights ]\n"
                        "/* To->            0  From */\n"
                        "                   0  /* 0 */\n"
                        "               -0.75  /* 1 */\n[~Matrix]\n"),
              std::string::npos)
        << text;
    ExpectSameNetwork(&net, Read(text).get());
}

TEST(NetworkFileWriterTest, MoreThanOneBiasNeuronIsRefused) {
    auto net = BuildMixedNetwork();
    net->layers[0]->Destroy();
    net->layers[0] = new TSimpleLayer(net.get(), 0, 2);
    net->layers[0]->SetActFunction(ActBias);
    FileTools tools;
    std::ostringstream out;
    try {
        WriteNetwork(tools, out, net.get());
        ADD_FAILURE() << "written";
    } catch (const FileTools::Error& error) {
        EXPECT_EQ(error.message, "Illegal number of bias nodes");
    }
    EXPECT_NE(out.str().find("[NumberOfOutputs = 3]\n"), std::string::npos);
}

TEST(NetworkFileWriterTest, StreamKeepsPrecision15) {
    auto net = BuildMixedNetwork();
    FileTools tools;
    std::ostringstream out;
    WriteNetwork(tools, out, net.get());
    EXPECT_EQ(out.precision(), 15);
}

// ---------------------------------------------------------------------------------------------
// Round trips

TEST(NetworkFileRoundTripTest, FuzzyNetworkComesBackEqual) {
    auto net = BuildRuvo();
    const std::string text = Write(net.get());
    auto back = Read(text);
    ASSERT_NE(dynamic_cast<TRuvo*>(back.get()), nullptr);
    ExpectSameNetwork(net.get(), back.get());
    EXPECT_EQ(Write(back.get()), text);

    // The same outputs for the same inputs.
    const double input[] = {0.3, 0.8};
    double expected[2];
    double actual[2];
    net->Recall(input, expected);
    back->Recall(input, actual);
    ExpectSameValue(expected[0], actual[0]);
    ExpectSameValue(expected[1], actual[1]);
}

TEST(NetworkFileRoundTripTest, MixedNetworkComesBackEqual) {
    auto net = BuildMixedNetwork();
    const std::string text = Write(net.get());
    auto back = Read(text);
    ASSERT_NE(dynamic_cast<TConnectedNetwork*>(back.get()), nullptr);
    ExpectSameNetwork(net.get(), back.get());
    EXPECT_EQ(Write(back.get()), text);
}

TEST(NetworkFileRoundTripTest, BasicNetworkStaysBasic) {
    const std::string text =
        Net(kLayers, Conn(kPruned12, "[WeightList] [From=1 To=2] [~WeightList]"));
    auto first = Read(text);
    EXPECT_STREQ(first->GetNetworkType(), "Basic");
    const std::string written = Write(first.get());
    auto second = Read(written);
    ExpectSameNetwork(first.get(), second.get());
    EXPECT_EQ(Write(second.get()), written);
}

TEST(NetworkFileRoundTripTest, SaveAndLoadThroughFiles) {
    auto net = BuildRuvo();
    const std::string path = testing::TempDir() + "network_round_trip.wgt";
    FileTools tools;
    SaveNetwork(tools, path.c_str(), net.get());
    std::unique_ptr<TBasicNetwork> back(LoadNetwork(tools, path.c_str()));
    ExpectSameNetwork(net.get(), back.get());
    EXPECT_EQ(FileContents(path), Write(net.get()));
}

TEST(NetworkFileRoundTripTest, FixtureLoadsAndRewritesIdentically) {
    FileTools tools;
    std::unique_ptr<TBasicNetwork> net(LoadNetwork(tools, Fixture("ruvo_1in_2mf.wgt").c_str()));
    ASSERT_NE(dynamic_cast<TRuvo*>(net.get()), nullptr);
    EXPECT_EQ(Write(net.get()), FileContents(Fixture("ruvo_1in_2mf.wgt")));
}

TEST(NetworkFileRoundTripTest, UnopenableFilesAreReported) {
    FileTools tools;
    try {
        std::unique_ptr<TBasicNetwork> net(
            LoadNetwork(tools, (testing::TempDir() + "no_such_network.wgt").c_str()));
        ADD_FAILURE() << "loaded";
    } catch (const FileTools::Error& error) {
        EXPECT_EQ(error.message, "Error on File Open");
    }
    auto net = BuildMixedNetwork();
    try {
        SaveNetwork(tools, (testing::TempDir() + "no_such_folder/x.wgt").c_str(), net.get());
        ADD_FAILURE() << "saved";
    } catch (const FileTools::Error& error) {
        EXPECT_EQ(error.message, "Error on File Open");
    }
}

// ---------------------------------------------------------------------------------------------
// Reader: accepted forms

TEST(NetworkFileReaderTest, DefaultsOfTheInformationBlock) {
    auto net = Read(Net(kLayers, "", "[NumberOfLayers = 3] [BiasLayer = 0]"));
    EXPECT_EQ(net->numLayers, 3);
    EXPECT_EQ(net->inLayer, 1);
    EXPECT_EQ(net->outLayer, 2);
    EXPECT_STREQ(net->layers[1]->GetLayerType(), "Input");
    EXPECT_EQ(net->layers[2]->GetActFunction(), ActSigmoid);
    for (int f = 0; f < 3; ++f) {
        for (int t = 0; t < 3; ++t) {
            EXPECT_FALSE(Cell(net.get(), f, t)->IsConnected());
        }
    }
}

TEST(NetworkFileReaderTest, AllFormAndPlainFormAreTheSame) {
    const std::string plain = Layer(
        2, "[LayerType = Gain] [NumberOfNeurons = 3] [ActivationFunction = tanh-gain] [Gain = 2]");
    const std::string all = Layer(
        2,
        "[ALL LayerType = Gain] [ALL NumberOfNeurons = 3] [ALL ActivationFunction = tanh-gain] "
        "[ALL Gain = 2]");
    auto a = Read(Net(kLayer0 + kLayer1 + plain));
    auto b = Read(Net(kLayer0 + kLayer1 + all));
    ExpectSameNetwork(a.get(), b.get());
    auto* gain = dynamic_cast<TGainLayer*>(b->layers[2]);
    ASSERT_NE(gain, nullptr);
    EXPECT_EQ(gain->GetActFunction(), ActTanhGain);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(gain->nodes[i].gain, 2.0);
    }
}

TEST(NetworkFileReaderTest, NeuronsBlockCarriesParametersForward) {
    // Neuron 1 sets no gain and keeps neuron 0's; neuron 0 starts from the header's 0.0 default.
    auto net = Read(Net(kLayer0 + kLayer1 +
                        Layer(2,
                              "[LayerType = Gain] [NumberOfNeurons = 3]\n"
                              "[Neurons]\n[Neuron = 2 ActivationFunction = linear-gain]\n"
                              "[Neuron = 0 ActivationFunction = sigmoid-gain Gain = 2.5]\n"
                              "[Neuron = 1 ActivationFunction = linear]\n[~Neurons]")));
    auto* gain = static_cast<TGainLayer*>(net->layers[2]);
    EXPECT_EQ(gain->nodes[2].gain, 0.0);
    EXPECT_EQ(gain->nodes[0].gain, 2.5);
    EXPECT_EQ(gain->nodes[1].gain, 2.5);
    EXPECT_EQ(gain->nodes[0].GetActFunction(), ActSigmoidGain);
    EXPECT_EQ(gain->nodes[1].GetActFunction(), ActLinear);
    EXPECT_EQ(gain->nodes[2].GetActFunction(), ActLinearGain);
    EXPECT_EQ(gain->GetActFunction(), nullptr);
}

TEST(NetworkFileReaderTest, LayerWideFunctionWinsOverNeuronStatements) {
    auto net = Read(Net(kLayer0 + kLayer1 +
                        Layer(2,
                              "[LayerType = Simple] [NumberOfNeurons = 2] "
                              "[ActivationFunction = Sigmoid]\n"
                              "[Neurons] [Neuron = 0] [Neuron = 1 ActivationFunction = TANH] "
                              "[~Neurons]")));
    EXPECT_EQ(net->layers[2]->GetActFunction(), ActSigmoid);
    EXPECT_EQ(net->layers[2]->GetNeuron(1)->GetActFunction(), ActSigmoid);
}

TEST(NetworkFileReaderTest, ConnectionsWithoutBodies) {
    auto net = Read(Net(kLayers, Conn(kPruned12) + Conn("[LayerFrom=0][LayerTo=2]"
                                                        "[ConnectionType=FullyConnected]")));
    TBasicConnections* pruned = Cell(net.get(), 1, 2);
    EXPECT_TRUE(pruned->IsConnected());
    EXPECT_EQ(pruned->GetNumWeights(FMaskExists), 0);
    auto text = Read(Net(kLayers, Conn(kFull12)));
    TBasicConnections* full = Cell(text.get(), 1, 2);
    EXPECT_EQ(full->GetNumWeights(0), 6);
    for (int f = 0; f < 2; ++f) {
        for (int t = 0; t < 3; ++t) {
            EXPECT_EQ(*full->GetWeight(f, t), 0.0);
            EXPECT_TRUE(full->IsTrainable(f, t));
        }
    }
}

TEST(NetworkFileReaderTest, MatrixBodyWords) {
    auto net = Read(Net(kLayers, Conn(kPruned12,
                                      "[Matrix Weights TrainableInfo]\n"
                                      "0.5 t  - -  /* a comment */ -2 f\n"
                                      "[FormatVersion = 1.0]\n"
                                      "1e3 T\n  - x  3 F\n"
                                      "[~MATRIX]\n")));
    TBasicConnections* m = Cell(net.get(), 1, 2);
    struct Row {
        int f, t;
        bool valid, trainable;
        double weight;
    };
    const Row kRows[] = {{0, 0, true, true, 0.5},   {0, 1, false, false, 0.0},
                         {0, 2, true, false, -2.0}, {1, 0, true, true, 1000.0},
                         {1, 1, false, false, 0.0}, {1, 2, true, false, 3.0}};
    for (const Row& row : kRows) {
        SCOPED_TRACE(testing::Message() << row.f << "," << row.t);
        EXPECT_EQ(m->IsValid(row.f, row.t), row.valid);
        EXPECT_EQ(m->IsTrainable(row.f, row.t), row.trainable);
        EXPECT_EQ(*m->GetWeight(row.f, row.t), row.weight);
    }
}

TEST(NetworkFileReaderTest, WeightListDefaultsAndLaterBodiesOverride) {
    auto net =
        Read(Net(kLayers, Conn(kPruned12,
                               "[WeightList] [To=1 From=0] [Weight=4 UnTrainable From=1 To=2]"
                               " [From=1 To=0 Weight=7] [~WeightList]\n"
                               "[Matrix Weights] 1 2 3 - - 6 [~Matrix]\n"
                               "[WeightList] [From=0 To=0 Weight=9 UnTrainable]"
                               "[~WeightList]\n")));
    TBasicConnections* m = Cell(net.get(), 1, 2);
    EXPECT_EQ(*m->GetWeight(0, 0), 9.0);
    EXPECT_FALSE(m->IsTrainable(0, 0));
    EXPECT_EQ(*m->GetWeight(0, 1), 2.0);
    EXPECT_TRUE(m->IsTrainable(0, 1));
    EXPECT_FALSE(m->IsValid(1, 0));
    EXPECT_FALSE(m->IsValid(1, 1));
    // The matrix body makes (1, 2) exist with 6, keeping its frozen flag.
    EXPECT_EQ(*m->GetWeight(1, 2), 6.0);
    EXPECT_FALSE(m->IsTrainable(1, 2));

    auto defaults = Read(Net(kLayers, Conn(kPruned12, "[WeightList] [To=1 From=0] [~WeightList]")));
    TBasicConnections* d = Cell(defaults.get(), 1, 2);
    EXPECT_EQ(d->GetNumWeights(FMaskExists), 1);
    EXPECT_EQ(*d->GetWeight(0, 1), 0.0);
    EXPECT_TRUE(d->IsTrainable(0, 1));
}

TEST(NetworkFileReaderTest, SecondBlockForALayerReplacesTheFirst) {
    auto net = Read(Net(kLayers + Layer(2,
                                        "[LayerType = Gain] [NumberOfNeurons = 4] [Gain = 3] "
                                        "[ActivationFunction = linear-gain]")));
    ASSERT_STREQ(net->layers[2]->GetLayerType(), "Gain");
    EXPECT_EQ(net->layers[2]->numNeurons, 4);
}

TEST(NetworkFileReaderTest, BlockNamesCloseInAnyCase) {
    auto net = Read(
        "[neuralnetwork] [networktype = CONNECTED] [NETWORKINFORMATION]"
        "[numberoflayers = 2] [inputlayer = 0] [~networkInformation]"
        "[layer = 0] [layertype = input] [numberofneurons = 1] [~LAYER]"
        "[LAYER = 1] [LAYERTYPE = SIMPLE] [NUMBEROFNEURONS = 1]"
        "[all activationfunction = LINEAR] [neurons] [neuron = 0] [~NEURONS] [~layer]"
        "[connectionlayer] [layerfrom = 0] [layerto = 1] [connectiontype = pruneable]"
        "[attributes whatever you like] [weightlist] [from = 0 to = 0 weight = 2 "
        "untrainable] [~WEIGHTLIST] [~CONNECTIONLAYER] [~NEURALNETWORK]");
    EXPECT_STREQ(net->GetNetworkType(), "Connected");
    EXPECT_EQ(*Cell(net.get(), 0, 1)->GetWeight(0, 0), 2.0);
    EXPECT_FALSE(Cell(net.get(), 0, 1)->IsTrainable(0, 0));
}

TEST(NetworkFileReaderTest, ErrorsCarryTheirLine) {
    const std::string text = Net(kLayers, Conn(kPruned12,
                                               "[WeightList]\n[From=0 To=1]\n"
                                               "[From=0 Weight=1]\n[~WeightList]\n"));
    const FileTools::Error error = ReadError(text);
    EXPECT_EQ(error.message, "Insufficient information in weights list");
    EXPECT_EQ(error.line, 19);
}

// ---------------------------------------------------------------------------------------------
// Reader: rejections

struct RejectRow {
    const char* what;
    std::string text;
    std::string message;
};

void ExpectRejections(const std::vector<RejectRow>& rows) {
    for (const RejectRow& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(ReadError(row.text).message, row.message);
    }
}

const std::string kGainLayer2 =
    Layer(2, "[LayerType = Gain] [NumberOfNeurons = 3] [ActivationFunction = sigmoid-gain]");

TEST(NetworkFileReaderTest, MessagesOfTheHeader) {
    ExpectRejections({
        {"first statement", "[Network]", "[NEURALNETWORK] expected"},
        {"network type", "[NeuralNetwork][Type = Basic]", "[NETWORKTYPE = <string>] expectedType"},
        {"information", "[NeuralNetwork][NetworkType = Basic][Information]",
         "[NETWORKINFORMATION] expected"},
        {"two items", Net(kLayers, "", "[NumberOfLayers = 3 InputLayer = 1]"),
         "Too complicated statement"},
        {"integer", Net(kLayers, "", "[NumberOfLayers = three]"), "integer-expected"},
        {"keyword", Net(kLayers, "", "[NumberOfLayers = 3] [Layers = 3]"), "Unknown keyword"},
        {"not closed", Net(kLayers, "", "[NumberOfLayers = 3] stray"), "End Tag expected"},
        {"no layers", Net(kLayers, "", "[InputLayer = 1]"), "Must specify number of layers"},
        {"type", Net(kLayers, "", "[NumberOfLayers = 3]", "Fuzzy"), "Unknown network type"},
        {"input layer", Net(kLayers, "", "[NumberOfLayers = 3] [InputLayer = 3]"),
         "InputLayer must lie between 0 and NumberOfLayers - 1"},
        {"output layer", Net(kLayers, "", "[NumberOfLayers = 3] [OutputLayer = -1]"),
         "OutputLayer must lie between 0 and NumberOfLayers - 1"},
        {"zero layers", Net("", "", "[NumberOfLayers = 0]"),
         "NumberOfLayers must lie between 1 and 256"},
        {"too many layers", Net("", "", "[NumberOfLayers = 100000000]"),
         "NumberOfLayers must lie between 1 and 256"},
        {"ruvo of three layers", Net(kLayers, "", "[NumberOfLayers = 3]", "Ruvo"),
         "A RUVO network must have 6 layers"},
        {"ruvo input layer", Net("", "", "[NumberOfLayers = 6] [InputLayer = 0]", "Ruvo"),
         "A RUVO network has its input layer at 1 and its output layer at 5"},
        {"end of input after a keyword", "[NeuralNetwork]\n[NetworkType", "Unexpected end of file"},
        {"end of input inside the network", "[NeuralNetwork]\n[NetworkType = Basic]\n",
         "Unexpected end of file"},
        {"statement after the end", Net(kLayers) + "[Layer = 0]", "End Tag expected"},
        {"end tag after the end", Net(kLayers) + "[~NeuralNetwork]", "Unexpected End Tag"},
        {"bracket closing nothing", "[NeuralNetwork] ] [NetworkType = Basic]", "Unexpected ']'"},
    });
}

TEST(NetworkFileReaderTest, MessagesOfLayerBlocks) {
    ExpectRejections({
        {"index", Net(kLayers + Layer(3, "[LayerType = Simple]")), "Layer index out of range"},
        {"negative index", Net(Layer(-1, "")), "Layer index out of range"},
        {"two items",
         Net(kLayer0 + kLayer1 + Layer(2, "[LayerType = Simple] [NumberOfNeurons = 3 Extra = 1]")),
         "Too complicated statement"},
        {"ALL alone", Net(kLayer0 + kLayer1 + Layer(2, "[ALL]")), "[ALL] is incomplete statment"},
        {"ALL tag", Net(kLayer0 + kLayer1 + Layer(2, "[ALL Gain]")),
         "Required syntax is [ALL <keyword>=<val>]"},
        {"inputs", Net(kLayers, "", "[NumberOfLayers = 3] [NumberOfInputs = 3]"),
         "wrong number inputs in header"},
        {"outputs", Net(kLayers, "", "[NumberOfLayers = 3] [NumberOfOutputs = 2]"),
         "wrong number outputs in header"},
        {"layer type", Net(kLayer0 + Layer(1, "[LayerType = Convolution] [NumberOfNeurons = 2]")),
         "Unknown layer type"},
        {"function",
         Net(kLayer0 + kLayer1 +
             Layer(2,
                   "[LayerType = Simple] [NumberOfNeurons = 3] "
                   "[ActivationFunction = softmax]")),
         "Unknown activation function softmax"},
        {"gain missing", Net(kLayer0 + kLayer1 + kGainLayer2), "Incomplete Layer information"},
        {"gain not a number",
         Net(kLayer0 + kLayer1 +
             Layer(2, "[LayerType = Gain] [NumberOfNeurons = 3] [ALL Gain = high]")),
         "number-expected"},
        {"parameter too early",
         Net(kLayer0 + kLayer1 + Layer(2, "[Gain = 2] [LayerType = Gain] [NumberOfNeurons = 3]")),
         "Neuron parameter Gain before LayerType and NumberOfNeurons"},
        {"parameter unknown",
         Net(kLayer0 + kLayer1 + Layer(2, "[LayerType = Simple] [NumberOfNeurons = 3] [Gain = 2]")),
         "Unknown neuron parameter Gain"},
        {"parameter of an empty gain layer",
         Net(kLayer0 + kLayer1 + Layer(2, "[LayerType = Gain] [NumberOfNeurons = 0] [Gain = 2]")),
         "Unknown neuron parameter Gain"},
        {"no layer type", Net(kLayer0 + kLayer1 + Layer(2, "[NumberOfNeurons = 3]")),
         "Layer block without LayerType or NumberOfNeurons"},
        {"no neuron count", Net(kLayer0 + kLayer1 + Layer(2, "[LayerType = Simple]")),
         "Layer block without LayerType or NumberOfNeurons"},
        {"count repeated",
         Net(kLayer0 + kLayer1 +
             Layer(2, "[LayerType = Simple] [NumberOfNeurons = 3] [NumberOfNeurons = 4]")),
         "NumberOfNeurons given after the layer was made"},
        {"type repeated",
         Net(kLayer0 + kLayer1 +
             Layer(2, "[NumberOfNeurons = 3] [LayerType = Simple] [LayerType = Gain]")),
         "LayerType given after the layer was made"},
        {"negative count", Net(kLayer0 + kLayer1 + Layer(2, "[NumberOfNeurons = -1]")),
         "NumberOfNeurons must not be negative"},
        {"huge count", Net(kLayer0 + kLayer1 + Layer(2, "[NumberOfNeurons = 2000000000]")),
         "NumberOfNeurons exceeds the limit of 1048576"},
        {"missing layer", Net(kLayer0 + kLayer2), "No Layer block for layer 1"},
        {"not closed",
         Net(kLayer0 + kLayer1 +
             "[Layer = 2] [LayerType = Simple] [NumberOfNeurons = 1] "
             "[ActivationFunction = linear] [ConnectionLayer]"),
         "End Tag expected"},
        {"condition without block",
         Net(kLayer0 + kLayer1 + Layer(2, "[LayerType = FuzzyCondition] [NumberOfNeurons = 2]")),
         "membership array missing in condition layer"},
        {"output without block",
         Net(kLayer0 + kLayer1 + Layer(2, "[LayerType = Defuzzify] [NumberOfNeurons = 1]")),
         "membership array missing in output layer"},
        {"output block in condition layer",
         Net(kLayer0 + kLayer1 +
             Layer(2,
                   "[LayerType = FuzzyCondition] [NumberOfNeurons = 2] [OutputMF] "
                   "[Output=0 MF=2] [~OutputMF]")),
         "membership array missing in condition layer"},
        {"membership block of a plain layer",
         Net(kLayer0 + kLayer1 +
             Layer(2,
                   "[LayerType = Simple] [NumberOfNeurons = 2] [ActivationFunction = linear]"
                   "[InputMF] [Input=0 MF=2] [~InputMF]")),
         "End Tag expected"},
        {"membership statement",
         Net(kLayer0 + kLayer1 +
             Layer(2,
                   "[LayerType = FuzzyCondition] [NumberOfNeurons = 2] [InputMF] "
                   "[Input=0 MF=2 More=1] [~InputMF]")),
         "invalid tag in membership2"},
        {"gain function in a simple layer",
         Net(kLayer0 + kLayer1 +
             Layer(2,
                   "[LayerType = Simple] [NumberOfNeurons = 3] "
                   "[ActivationFunction = sigmoid-gain]")),
         "Activation function sigmoid-gain does not suit a layer of type Simple"},
        {"condition function in a simple layer",
         Net(kLayer0 + kLayer1 +
             Layer(2,
                   "[LayerType = Simple] [NumberOfNeurons = 1] [Neurons] "
                   "[Neuron = 0 ActivationFunction = ruvo-condition] [~Neurons]")),
         "Activation function Ruvo-condition does not suit a layer of type Simple"},
    });
}

TEST(NetworkFileReaderTest, MessagesOfNeuronsBlocks) {
    const std::string head = "[LayerType = Simple] [NumberOfNeurons = 2]\n[Neurons]\n";
    ExpectRejections({
        {"repeated",
         Net(kLayer0 + kLayer1 +
             Layer(2, head + "[Neuron = 0 ActivationFunction = linear]"
                             "[Neuron = 0 ActivationFunction = linear] [~Neurons]")),
         "repeated neuron"},
        {"tag item", Net(kLayer0 + kLayer1 + Layer(2, head + "[Neuron = 0 Linear] [~Neurons]")),
         "Equals clause expected in neuron parameter"},
        {"no function", Net(kLayer0 + kLayer1 + Layer(2, head + "[Neuron = 0] [~Neurons]")),
         "No activation function defined"},
        {"left out",
         Net(kLayer0 + kLayer1 +
             Layer(2, head + "[Neuron = 1 ActivationFunction = linear] [~Neurons]")),
         "Neuron not defined"},
        {"index",
         Net(kLayer0 + kLayer1 +
             Layer(2, head + "[Neuron = 2 ActivationFunction = linear] [~Neurons]")),
         "Neuron index out of range"},
        {"function name",
         Net(kLayer0 + kLayer1 +
             Layer(2, head + "[Neuron = 0 ActivationFunction = relu] [~Neurons]")),
         "Unknown activation function relu"},
        {"parameter",
         Net(kLayer0 + kLayer1 +
             Layer(2, head + "[Neuron = 0 ActivationFunction = linear Gain = 2] "
                             "[~Neurons]")),
         "Unknown neuron parameter Gain"},
        {"not closed",
         Net(kLayer0 + kLayer1 +
             Layer(2, head + "[Neuron = 0 ActivationFunction = linear] [~Layer]")),
         "Unexpected End Tag"},
    });
}

TEST(NetworkFileReaderTest, MessagesOfConnectionBlocks) {
    ExpectRejections({
        {"keyword", Net(kLayers, Conn(kPruned12 + "[Weights = 3]")),
         "Unknown keyword in connections"},
        {"two items",
         Net(kLayers, Conn("[LayerFrom = 1 LayerTo = 2] [ConnectionType = Pruneable]")),
         "Too complicated statement"},
        {"no destination", Net(kLayers, Conn("[LayerFrom = 1] [ConnectionType = Pruneable]")),
         "Insufficient information to construct layer"},
        {"negative source",
         Net(kLayers, Conn("[LayerFrom = -1] [LayerTo = 2] [ConnectionType = Pruneable]")),
         "Insufficient information to construct layer"},
        {"no type", Net(kLayers, Conn("[LayerFrom = 1] [LayerTo = 2] [Attributes Pruneable]")),
         "Insufficient information to construct layer"},
        {"unknown type",
         Net(kLayers, Conn("[LayerFrom = 1] [LayerTo = 2] [ConnectionType = Sparse]")),
         "Insufficient information to construct layer"},
        {"destination out of range",
         Net(kLayers, Conn("[LayerFrom = 1] [LayerTo = 3] [ConnectionType = Pruneable]")),
         "LayerFrom and LayerTo must lie between 0 and NumberOfLayers - 1"},
        {"twice", Net(kLayers, Conn(kPruned12) + Conn(kFull12)), "Connections already defined"},
        {"not closed", Net(kLayers, "[ConnectionLayer]" + kPruned12 + "[Layer = 1]"),
         "Unknown keyword in connections"},
        {"end tag missing", Net(kLayers, "[ConnectionLayer]" + kPruned12 + " stray"),
         "End Tag expected"},
        {"huge matrix",
         Net(kLayer0 + Layer(1, "[LayerType = Input] [NumberOfNeurons = 5000]") +
                 Layer(2,
                       "[LayerType = Simple] [NumberOfNeurons = 5000] "
                       "[ActivationFunction = linear]"),
             Conn(kFull12)),
         "Connections exceed the limit of 16777216 weights per matrix"},
    });
}

TEST(NetworkFileReaderTest, MessagesOfMatrixBodies) {
    ExpectRejections({
        {"assignment attribute", Net(kLayers, Conn(kPruned12, "[Matrix Weights = 1] [~Matrix]")),
         "Keyword expected in matrix parameter"},
        {"attribute", Net(kLayers, Conn(kPruned12, "[Matrix Values] [~Matrix]")),
         "Unknown matrix attribute"},
        {"tenth attribute",
         Net(kLayers, Conn(kPruned12,
                           "[Matrix Weights Weights Weights Weights Weights Weights "
                           "Weights Weights Weights Weights] [~Matrix]")),
         "More than nine matrix attributes"},
        {"too few words", Net(kLayers, Conn(kPruned12, "[Matrix Weights] 1 2 3 [~Matrix]")),
         "Token Expected"},
        {"too many words",
         Net(kLayers, Conn(kPruned12, "[Matrix Weights] 1 2 3 4 5 6 7 [~Matrix]")),
         "End Tag expected"},
        {"bracket among words",
         Net(kLayers, Conn(kPruned12, "[Matrix Weights] 1 2 [Weight = 3] 4 5 6 [~Matrix]")),
         "Token Expected"},
        {"weight", Net(kLayers, Conn(kPruned12, "[Matrix Weights] 1 2 x 4 5 6 [~Matrix]")),
         "number-expected"},
        {"trainability of a weight",
         Net(kLayers, Conn(kPruned12,
                           "[Matrix Weights TrainableInfo] 1 T 2 X 3 T 4 T 5 T 6 T "
                           "[~Matrix]")),
         "TrainableInfo of an existing weight must be T or F"},
        {"pruning a full matrix",
         Net(kLayers, Conn(kFull12, "[Matrix Weights] 1 2 - 4 5 6 [~Matrix]")),
         "A fully connected matrix cannot prune a weight"},
        {"freezing a full matrix",
         Net(kLayers, Conn(kFull12,
                           "[Matrix Weights TrainableInfo] 1 T 2 F 3 T 4 T 5 T 6 T "
                           "[~Matrix]")),
         "A fully connected matrix cannot freeze a weight"},
    });
}

TEST(NetworkFileReaderTest, MessagesOfWeightLists) {
    ExpectRejections({
        {"assignment",
         Net(kLayers, Conn(kPruned12, "[WeightList] [From=0 To=1 Value=2] [~WeightList]")),
         "Unknown keyword in weights list"},
        {"tag", Net(kLayers, Conn(kPruned12, "[WeightList] [From=0 To=1 Frozen] [~WeightList]")),
         "Unknown keyword in weights list"},
        {"no source", Net(kLayers, Conn(kPruned12, "[WeightList] [To=1 Weight=2] [~WeightList]")),
         "Insufficient information in weights list"},
        {"no destination", Net(kLayers, Conn(kPruned12, "[WeightList] [From=1] [~WeightList]")),
         "Insufficient information in weights list"},
        {"source out of range",
         Net(kLayers, Conn(kPruned12, "[WeightList] [From=2 To=0] [~WeightList]")),
         "Neuron index out of range in weights list"},
        {"destination out of range",
         Net(kLayers, Conn(kPruned12, "[WeightList] [From=0 To=3] [~WeightList]")),
         "Neuron index out of range in weights list"},
        {"weight",
         Net(kLayers, Conn(kPruned12, "[WeightList] [From=0 To=0 Weight=w] [~WeightList]")),
         "number-expected"},
        {"freezing a full matrix",
         Net(kLayers, Conn(kFull12, "[WeightList] [From=0 To=0 UnTrainable] [~WeightList]")),
         "A fully connected matrix cannot freeze a weight"},
        {"word among statements",
         Net(kLayers, Conn(kPruned12, "[WeightList] [From=0 To=0] 5 [~WeightList]")),
         "End Tag expected"},
    });
}

// ---------------------------------------------------------------------------------------------
// Reader: the fuzzy layers and the fuzzy network's structure

const std::string kCondition2 =
    Layer(2,
          "[LayerType = FuzzyCondition] [NumberOfNeurons = 4] "
          "[ActivationFunction = Ruvo-condition] [InputMF] [Input=0 MF=2] [Input=1 MF=2] "
          "[~InputMF]");

TEST(NetworkFileReaderTest, FuzzyMatricesNeedTheirLayers) {
    const std::string toCondition =
        "[LayerFrom = 1] [LayerTo = 2] [ConnectionType = ToConditionConnections]";
    ExpectRejections({
        {"condition matrix into a plain layer", Net(kLayers, Conn(toCondition)),
         "ToConditionConnections must lead to a FuzzyCondition layer"},
        {"output matrix into a plain layer",
         Net(kLayers, Conn("[LayerFrom = 1] [LayerTo = 2] [ConnectionType = ToOutputConnections]")),
         "ToOutputConnections must lead to a Defuzzify layer"},
        {"condition matrix from a small layer",
         Net(kLayer0 + kLayer1 + kCondition2,
             Conn("[LayerFrom = 0] [LayerTo = 2] [ConnectionType = ToConditionConnections]")),
         "ToConditionConnections: the source layer has fewer neurons than the condition layer "
         "has inputs"},
        {"arc of another input",
         Net(kLayer0 + kLayer1 + kCondition2,
             Conn(toCondition, "[WeightList] [From=1 To=0 Weight=0.3] [~WeightList]")),
         "Arc (1, 0) does not exist in ToConditionConnections"},
        {"centre of another input",
         Net(kLayer0 + kLayer1 + kCondition2,
             Conn(toCondition, "[Matrix Weights] 0 1 0.5 - - - - - [~Matrix]")),
         "Arc (0, 2) does not exist in ToConditionConnections"},
        {"trainability of another input",
         Net(kLayer0 + kLayer1 + kCondition2,
             Conn(toCondition, "[Matrix TrainableInfo] T T - - F - - - [~Matrix]")),
         "Arc (1, 0) does not exist in ToConditionConnections"},
        {"condition layer at the bottom",
         Net(Layer(0, "[LayerType = FuzzyCondition] [NumberOfNeurons = 0] [InputMF] [~InputMF]") +
             kLayer1 + kLayer2),
         "FuzzyCondition layer 0 needs a layer below it with a neuron per input"},
        {"condition layer over a small layer",
         Net(kLayer0 + kLayer1 +
             Layer(2,
                   "[LayerType = FuzzyCondition] [NumberOfNeurons = 6] [InputMF] "
                   "[Input=0 MF=2] [Input=1 MF=2] [Input=2 MF=2] [~InputMF]")),
         "FuzzyCondition layer 2 needs a layer below it with a neuron per input"},
        {"output layer without its matrix",
         Net(kLayer0 + kLayer1 +
             Layer(2,
                   "[LayerType = Defuzzify] [NumberOfNeurons = 1] [OutputMF] [Output=0 MF=2] "
                   "[~OutputMF]")),
         "Defuzzify layer 2 needs ToOutputConnections from the layer below it"},
        {"output matrix from the wrong number of functions",
         Net(kLayer0 + kLayer1 +
                 Layer(2,
                       "[LayerType = Defuzzify] [NumberOfNeurons = 1] [OutputMF] "
                       "[Output=0 MF=3] [~OutputMF]"),
             Conn("[LayerFrom = 1] [LayerTo = 2] [ConnectionType = ToOutputConnections]")),
         "ToOutputConnections: the source layer must have one neuron per output membership "
         "function"},
    });
}

TEST(NetworkFileReaderTest, FuzzyMatricesReadTheirCentresAndFlags) {
    auto net =
        Read(Net(kLayer0 + kLayer1 + kCondition2,
                 Conn("[LayerFrom = 1] [LayerTo = 2] [ConnectionType = ToConditionConnections]",
                      "[Matrix Weights TrainableInfo] 0.1 T 0.9 F - - - - - - - - 0.2 T 0.8 T "
                      "[~Matrix]")));
    auto* condition = static_cast<TConditionLayer*>(net->layers[2]);
    TBasicConnections* m = Cell(net.get(), 1, 2);
    const double centres[] = {0.1, 0.9, 0.2, 0.8};
    for (int j = 0; j < 4; ++j) {
        EXPECT_EQ(condition->nodes[j].centre, centres[j]);
    }
    EXPECT_FALSE(m->IsTrainable(0, 1));
    EXPECT_FALSE(condition->nodes[1].trainable);
    EXPECT_TRUE(condition->nodes[0].trainable);
}

// What a loaded fuzzy network must be: each row breaks one part of the fixture.
TEST(NetworkFileReaderTest, FuzzyNetworkMustBeComplete) {
    const std::string good = FileContents(Fixture("ruvo_1in_2mf.wgt"));
    ASSERT_FALSE(good.empty());
    ExpectRejections({
        {"bias position",
         Replace(good, "[Layer = 0]\n[LayerType = Simple]", "[Layer = 0]\n[LayerType = Input]"),
         "Layer 0 of a RUVO network must be of type Simple"},
        {"input position",
         Replace(good, "[Layer = 1]\n[LayerType = Input]", "[Layer = 1]\n[LayerType = Simple]"),
         "Layer 1 of a RUVO network must be of type Input"},
        {"no condition matrix", WithoutConnections(good, 1, 2),
         "A RUVO network needs ToConditionConnections from layer 1 to layer 2"},
        {"no rules matrix", WithoutConnections(good, 2, 3),
         "A RUVO network needs Pruneable or FullyConnected connections from layer 2 to layer 3"},
        {"no actions matrix", WithoutConnections(good, 3, 4),
         "A RUVO network needs Pruneable or FullyConnected connections from layer 3 to layer 4"},
        {"no output matrix", WithoutConnections(good, 4, 5),
         "Defuzzify layer 5 needs ToOutputConnections from the layer below it"},
        {"rule function",
         Replace(good, "[NumberOfNeurons = 1]\n[All ActivationFunction=sigmoid ]",
                 "[NumberOfNeurons = 1]\n[All ActivationFunction=cog ]"),
         "Layer 3 of a RUVO network needs one common activation function linear, sigmoid or tanh"},
        {"condition function",
         Replace(good, "[All ActivationFunction=Ruvo-condition ]",
                 "[All ActivationFunction=null ]"),
         "Layer 2 of a RUVO network has neurons without a usable activation function"},
        {"bias neurons without a function",
         Replace(good, "[NumberOfNeurons = 0]\n[All ActivationFunction=null ]\n",
                 "[NumberOfNeurons = 1]\n"),
         "Layer 0 of a RUVO network has neurons without a usable activation function"},
        {"inputs without functions",
         Replace(Replace(WithoutConnections(good, 1, 2), "[NumberOfInputs = 1]",
                         "[NumberOfInputs = 2]"),
                 "[Layer = 1]\n[LayerType = Input]\n[NumberOfNeurons = 1]",
                 "[Layer = 1]\n[LayerType = Input]\n[NumberOfNeurons = 2]"),
         "The condition layer of a RUVO network needs membership functions for every input"},
    });
}

TEST(NetworkFileReaderTest, LoadedFuzzyNetworkRecalls) {
    FileTools tools;
    std::unique_ptr<TBasicNetwork> net(LoadNetwork(tools, Fixture("ruvo_1in_2mf.wgt").c_str()));
    const double input[] = {0.25};
    double output = -1.0;
    net->Recall(input, &output);
    // Degrees 0.75 and 0.25, one rule with all weights 0.5: both actions sigmoid(0.5 * sig) are
    // equal, so the output is the mean of the centres 0 and 1.
    EXPECT_DOUBLE_EQ(output, 0.5);
}

}  // namespace
}  // namespace ruvo
