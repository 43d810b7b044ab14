#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "DataObject/Data.h"
#include "FuzzyTestUtil.h"
#include "KQmessage/KQML.h"
#include "NeuralNets/ActFunctions.h"
#include "NeuralNets/TBasicConnections.h"
#include "NeuralNets/TBasicNetwork.h"
#include "NeuralNets/TPrunedConnections.h"
#include "Ruvo/TRuvo.h"

namespace ruvo {
namespace {

using fuzzytest::BuildRuvo;
using fuzzytest::BuildWorkedRuvo;
using fuzzytest::Conditions;
using fuzzytest::ExpectTException;
using fuzzytest::InputCentres;
using fuzzytest::OutputCentres;
using fuzzytest::Sigmoid;
using fuzzytest::WeightLayer;

double RecallOne(TBasicNetwork* net, double x) {
    double out = 0.0;
    net->Recall(&x, &out);
    return out;
}

std::unique_ptr<Data> DataOf(const std::vector<std::vector<double>>& inputs,
                             const std::vector<std::vector<double>>& targets) {
    const int columnsIn = inputs.empty() ? 0 : static_cast<int>(inputs[0].size());
    const int columnsOut = targets.empty() ? 0 : static_cast<int>(targets[0].size());
    auto data =
        std::make_unique<Data>(static_cast<int>(inputs.size()), columnsIn, columnsOut, false);
    for (std::size_t r = 0; r < inputs.size(); ++r) {
        data->AppendRow(inputs[r].data(), targets.empty() ? nullptr : targets[r].data(), nullptr);
    }
    return data;
}

// ---------------------------------------------------------------------------------------------
// Construction

TEST(TRuvoTest, WorkedRecall) {
    std::unique_ptr<TRuvo> net = BuildWorkedRuvo();
    const double output = RecallOne(net.get(), 0.25);

    double degree0 = 0.0;
    double degree1 = 0.0;
    net->GetActivationValue(2, 0, &degree0);
    net->GetActivationValue(2, 1, &degree1);
    EXPECT_EQ(degree0, 0.75);
    EXPECT_EQ(degree1, 0.25);
    double rule = 0.0;
    net->GetActivationValue(3, 0, &rule);
    EXPECT_DOUBLE_EQ(rule, Sigmoid(0.5));
    EXPECT_NEAR(rule, 0.6224593, 1e-7);
    double action0 = 0.0;
    double action1 = 0.0;
    net->GetActivationValue(4, 0, &action0);
    net->GetActivationValue(4, 1, &action1);
    EXPECT_DOUBLE_EQ(action0, Sigmoid(2.0 * rule));
    EXPECT_DOUBLE_EQ(action1, Sigmoid(-2.0 * rule));
    EXPECT_NEAR(action0, 0.7764190, 1e-7);
    EXPECT_NEAR(action1, 0.2235809, 1e-7);
    EXPECT_DOUBLE_EQ(output, (0.0 * action0 + 1.0 * action1) / (action0 + action1));
    EXPECT_NEAR(output, 0.2235809, 1e-7);
    double last = 0.0;
    net->GetActivationValue(5, 0, &last);
    EXPECT_EQ(last, output);
}

TEST(TRuvoTest, LayoutOfTwoInputsFourRulesOneOutput) {
    std::unique_ptr<TRuvo> net = BuildRuvo({3, 2}, 4, {2});
    EXPECT_STREQ(net->GetNetworkType(), "Ruvo");
    EXPECT_EQ(net->numLayers, 6);
    EXPECT_EQ(net->inLayer, 1);
    EXPECT_EQ(net->outLayer, 5);
    struct LayerRow {
        int size;
        const char* type;
        const char* function;  // null: none recorded
    };
    const LayerRow kLayers[] = {
        {0, "Simple", nullptr},   {2, "Input", "linear"},   {5, "FuzzyCondition", "Ruvo-condition"},
        {4, "Simple", "sigmoid"}, {2, "Simple", "sigmoid"}, {1, "Defuzzify", "cog"}};
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(testing::Message() << "layer " << i);
        EXPECT_EQ(net->layers[i]->numNeurons, kLayers[i].size);
        EXPECT_EQ(net->layers[i]->layerNum, i);
        EXPECT_STREQ(net->layers[i]->GetLayerType(), kLayers[i].type);
        if (kLayers[i].function != nullptr) {
            EXPECT_STREQ(net->registry->GetName(net->layers[i]->actFunction), kLayers[i].function);
        }
    }
    for (int to = 0; to < 6; ++to) {
        for (int from = 0; from < 6; ++from) {
            SCOPED_TRACE(testing::Message() << "cell " << from << " -> " << to);
            const char* expected = "Empty";
            if (from == 1 && to == 2) {
                expected = "ToConditionConnections";
            } else if (from == 4 && to == 5) {
                expected = "ToOutputConnections";
            } else if ((from == 2 && to == 3) || (from == 3 && to == 4)) {
                expected = "Pruneable";
            }
            EXPECT_STREQ(net->priv_conns_index[to][from]->GetConnectionsNType(), expected);
        }
    }
    EXPECT_EQ(WeightLayer(net.get(), 1), (std::vector<double>{0.0, 0.5, 1.0, 0.0, 1.0}));
    // Output centres start evenly spaced until they are set.
    EXPECT_EQ(WeightLayer(net.get(), 4), (std::vector<double>{0.0, 1.0}));
    // Inner weights start at 0.0, all existing and trainable.
    EXPECT_EQ(WeightLayer(net.get(), 2), std::vector<double>(20, 0.0));
    EXPECT_EQ(net->priv_conns_index[3][2]->GetNumWeights(0), 20);
    EXPECT_EQ(net->priv_conns_index[4][3]->GetNumWeights(0), 8);

    int numInputs = 0, numConditions = 0, numRules = 0, numActions = 0, numOutputs = 0;
    int* mfPerInput = nullptr;
    int* mfPerOutput = nullptr;
    net->GetStructure(&numInputs, &numConditions, &mfPerInput, &numRules, &numActions, &mfPerOutput,
                      &numOutputs);
    const std::vector<int> inputs(mfPerInput, mfPerInput + numInputs);
    const std::vector<int> outputs(mfPerOutput, mfPerOutput + numOutputs);
    delete[] mfPerInput;
    delete[] mfPerOutput;
    EXPECT_EQ(numInputs, 2);
    EXPECT_EQ(numConditions, 5);
    EXPECT_EQ(inputs, (std::vector<int>{3, 2}));
    EXPECT_EQ(numRules, 4);
    EXPECT_EQ(numActions, 2);
    EXPECT_EQ(outputs, (std::vector<int>{2}));
    EXPECT_EQ(numOutputs, 1);
}

TEST(TRuvoTest, ConstructorRejectsFewerThanTwoFunctions) {
    struct Row {
        std::vector<int> in;
        std::vector<int> out;
        const char* message;
    };
    const Row kRows[] = {
        {{3, 1}, {2}, "Must be >= 2 MF per input"},  {{0, 3}, {2}, "Must be >= 2 MF per input"},
        {{2}, {2, 1}, "Must be >= 2 MF per output"}, {{2}, {-4}, "Must be >= 2 MF per output"},
        {{1}, {1}, "Must be >= 2 MF per input"},  // inputs are checked first
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.message);
        ExpectTException([&] { BuildRuvo(row.in, 2, row.out); }, row.message, "Bad Parameter",
                         "TRuvo::TRuvo");
    }
}

TEST(TRuvoTest, NetworkWithoutInputsOrOutputs) {
    TRuvo net(0, nullptr, 3, nullptr, 0);
    const int sizes[] = {0, 0, 0, 3, 0, 0};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(net.layers[i]->numNeurons, sizes[i]) << "layer " << i;
    }
    EXPECT_EQ(WeightLayer(&net, 1).size(), 0u);
    EXPECT_EQ(WeightLayer(&net, 4).size(), 0u);
    double in = 0.0;
    double out = 0.0;
    net.Recall(&in, &out);
    EXPECT_EQ(out, 0.0);
}

TEST(TRuvoTest, CreateConnectionsKeepsAnExistingMatrix) {
    std::unique_ptr<TRuvo> net = BuildWorkedRuvo();
    TBasicConnections* before = net->priv_conns_index[3][2];
    net->CreateConnections(2, 3);
    EXPECT_EQ(net->priv_conns_index[3][2], before);
    double w = 0.0;
    net->GetWeightValue(2, 1, 0, &w);
    EXPECT_EQ(w, -1.0);
    net->CreateConnections(0, 3);
    EXPECT_STREQ(net->priv_conns_index[3][0]->GetConnectionsNType(), "Pruneable");
}

// ---------------------------------------------------------------------------------------------
// Weights by weight layer

TEST(TRuvoTest, CentresAsWeightsOfLayersOneAndFour) {
    std::unique_ptr<TRuvo> net = BuildRuvo({3, 2}, 4, {2, 3});
    double v = -1.0;
    net->GetWeightValue(1, 0, 2, &v);
    EXPECT_EQ(v, 1.0);
    net->SetWeightValue(1, 1, 3, 0.25);
    EXPECT_EQ(Conditions(net.get())->nodes[3].centre, 0.25);
    net->SetWeightValue(4, 3, 1, 0.6);
    EXPECT_EQ(OutputCentres(net.get())->centres[3], 0.6);
    net->GetWeightValue(4, 3, 1, &v);
    EXPECT_EQ(v, 0.6);
}

TEST(TRuvoTest, WeightLayersRoundTripInTheirOrders) {
    std::unique_ptr<TRuvo> net = BuildRuvo({3, 2}, 2, {2, 3});
    struct Row {
        int weightLayer;
        std::vector<double> values;
    };
    const Row kRows[] = {
        {1, {0.1, 0.2, 0.3, 0.4, 0.5}},
        {2, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},            // 5 conditions x 2 rules
        {3, {-1, -2, -3, -4, -5, -6, -7, -8, -9, -10}},  // 2 rules x 5 actions
        {4, {0.9, 0.8, 0.7, 0.6, 0.5}},
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(testing::Message() << "weight layer " << row.weightLayer);
        net->SetWeightLayer(row.weightLayer, row.values.data());
        EXPECT_EQ(WeightLayer(net.get(), row.weightLayer), row.values);
    }
    // Element f * n_to + t is weight (f, t): ordered by from-neuron, then to-neuron.
    double w = 0.0;
    net->GetWeightValue(2, 3, 1, &w);
    EXPECT_EQ(w, 8.0);
    net->GetWeightValue(3, 1, 2, &w);
    EXPECT_EQ(w, -8.0);
    EXPECT_EQ(*net->priv_conns_index[3][2]->GetWeight(3, 1), 8.0);
    EXPECT_EQ(Conditions(net.get())->nodes[4].centre, 0.5);
    EXPECT_EQ(OutputCentres(net.get())->centres[2], 0.7);
}

TEST(TRuvoTest, PrunedInnerWeightStoresValueButStaysPruned) {
    std::unique_ptr<TRuvo> net = BuildWorkedRuvo();
    const double before = RecallOne(net.get(), 0.25);
    net->priv_conns_index[3][2]->PruneWeight(1, 0);
    const double pruned = RecallOne(net.get(), 0.25);
    net->SetWeightValue(2, 1, 0, 0.3);
    double v = 0.0;
    net->GetWeightValue(2, 1, 0, &v);
    EXPECT_EQ(v, 0.3);
    bool exists = true;
    net->WeightExists(2, 1, 0, &exists);
    EXPECT_FALSE(exists);
    EXPECT_EQ(RecallOne(net.get(), 0.25), pruned);
    EXPECT_NE(pruned, before);
    EXPECT_EQ(WeightLayer(net.get(), 2), (std::vector<double>{1.0, 0.3}));
}

TEST(TRuvoTest, WeightExistsPerWeightLayer) {
    std::unique_ptr<TRuvo> net = BuildRuvo({2, 3}, 2, {2, 3});
    net->priv_conns_index[4][3]->PruneWeight(1, 4);
    struct Row {
        int weightLayer;
        int from;
        int to;
        bool exists;
    };
    const Row kRows[] = {
        {1, 0, 1, true},  {1, 1, 1, false}, {1, 1, 2, true}, {1, 0, 4, false}, {2, 4, 1, true},
        {3, 1, 4, false}, {3, 0, 4, true},  {4, 1, 0, true}, {4, 2, 0, false}, {4, 4, 1, true},
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(testing::Message() << "weight layer " << row.weightLayer << " (" << row.from
                                        << ", " << row.to << ")");
        bool exists = !row.exists;
        net->WeightExists(row.weightLayer, row.from, row.to, &exists);
        EXPECT_EQ(exists, row.exists);
    }
}

TEST(TRuvoTest, FreezingAnInputCentreReachesTheMatrix) {
    std::unique_ptr<TRuvo> net = BuildRuvo({2, 3}, 1, {2});
    TToConditionConnections* matrix = InputCentres(net.get());
    net->FreezeWeight(1, 3, 0);  // from is not used on weight layer 1
    EXPECT_FALSE(Conditions(net.get())->nodes[3].trainable);
    EXPECT_EQ(matrix->GetFlags(1, 3), FMaskExists);
    EXPECT_FALSE(matrix->IsTrainable(1, 3));
    EXPECT_EQ(net->GetNumWeights(0), net->GetNumWeights(FMaskExists) - 1);
    // Training walks with mask 0 and so skips the frozen centre.
    net->UnfreezeWeight(1, 3, 0);
    EXPECT_TRUE(Conditions(net.get())->nodes[3].trainable);
    EXPECT_TRUE(matrix->IsTrainable(1, 3));
    EXPECT_EQ(net->GetNumWeights(0), net->GetNumWeights(FMaskExists));
}

TEST(TRuvoTest, FreezingInnerWeightsAndOutputCentres) {
    std::unique_ptr<TRuvo> net = BuildRuvo({2}, 3, {2, 3});
    TBasicConnections* rulesToActions = net->priv_conns_index[4][3];
    net->FreezeWeight(3, 4, 2);  // to-neuron (action 4) first
    EXPECT_FALSE(rulesToActions->IsTrainable(2, 4));
    EXPECT_TRUE(rulesToActions->IsValid(2, 4));
    net->UnfreezeWeight(3, 4, 2);
    EXPECT_TRUE(rulesToActions->IsTrainable(2, 4));

    net->FreezeWeight(4, 1, 3);  // action 3 belongs to output 1
    EXPECT_FALSE(OutputCentres(net.get())->IsTrainable(3, 1));
    net->UnfreezeWeight(4, 1, 3);
    EXPECT_TRUE(OutputCentres(net.get())->IsTrainable(3, 1));

    net->FreezeWeight(2, 0, 1);
    EXPECT_FALSE(net->priv_conns_index[3][2]->IsTrainable(1, 0));
}

// Every raising path of the public operations, with its message, kind and location.
TEST(TRuvoTest, BadArgumentsRaiseWithMessageKindAndLocation) {
    std::unique_ptr<TRuvo> net = BuildRuvo({3, 2}, 4, {2, 3});
    net->priv_conns_index[4][3]->PruneWeight(0, 0);
    double v = 0.0;
    bool b = false;
    int count = 0;
    double* values = nullptr;
    Data* result = nullptr;
    const std::vector<double> buffer(40, 0.5);
    std::unique_ptr<Data> narrow = DataOf({{0.1}}, {{0.2}});  // 1 input, 1 target
    std::unique_ptr<Data> noTargets = DataOf({{0.1, 0.2}}, {});
    struct Row {
        const char* name;
        std::function<void()> op;
        const char* message;
        const char* location;
    };
    const Row kRows[] = {
        {"get layer 5", [&] { net->GetWeightValue(5, 0, 0, &v); }, "Invalid weight layer",
         "TRuvo::GetWeightValue"},
        {"get layer 0", [&] { net->GetWeightValue(0, 0, 0, &v); }, "Invalid weight layer",
         "TRuvo::GetWeightValue"},
        {"set layer 0", [&] { net->SetWeightValue(0, 0, 0, 1.0); }, "Invalid weight layer",
         "TRuvo::SetWeightValue"},
        {"set layer 5 with bad indices", [&] { net->SetWeightValue(5, -9, 99, 1.0); },
         "Invalid weight layer", "TRuvo::SetWeightValue"},
        {"get whole layer 0", [&] { net->GetWeightLayer(0, &count, &values); },
         "Invalid weight layer", "TRuvo::GetWeightLayer"},
        {"set whole layer 5", [&] { net->SetWeightLayer(5, buffer.data()); },
         "Invalid weight layer", "TRuvo::SetWeightLayer"},
        {"freeze layer 0", [&] { net->FreezeWeight(0, 0, 0); }, "Invalid weight layer",
         "TRuvo::FreezeWeight"},
        {"unfreeze layer 5", [&] { net->UnfreezeWeight(5, 0, 0); }, "Invalid weight layer",
         "TRuvo::UnfreezeWeight"},
        {"exists layer 5", [&] { net->WeightExists(5, 0, 0, &b); }, "Invalid weight layer",
         "TRuvo::WeightExists"},
        {"centre of another input", [&] { net->GetWeightValue(1, 1, 2, &v); },
         "Invalid weight number", "TRuvo::GetWeightValue"},
        {"set centre of another output", [&] { net->SetWeightValue(4, 2, 0, 0.5); },
         "Invalid weight number", "TRuvo::SetWeightValue"},
        {"inner from beyond layer", [&] { net->GetWeightValue(2, 5, 0, &v); },
         "Invalid weight number", "TRuvo::GetWeightValue"},
        {"inner to beyond layer", [&] { net->SetWeightValue(3, 0, 5, 1.0); },
         "Invalid weight number", "TRuvo::SetWeightValue"},
        {"negative inner index", [&] { net->GetWeightValue(3, -1, 0, &v); },
         "Invalid weight number", "TRuvo::GetWeightValue"},
        {"freeze centre beyond layer", [&] { net->FreezeWeight(1, 5, 0); }, "Invalid weight number",
         "TRuvo::FreezeWeight"},
        {"freeze output centre of another output", [&] { net->FreezeWeight(4, 0, 2); },
         "Invalid weight number", "TRuvo::FreezeWeight"},
        {"unfreeze pruned inner weight", [&] { net->UnfreezeWeight(3, 0, 0); },
         "Invalid weight number", "TRuvo::UnfreezeWeight"},
        {"exists from beyond rules", [&] { net->WeightExists(3, 4, 0, &b); }, "Invalid node number",
         "TRuvo::WeightExists"},
        {"exists to beyond conditions", [&] { net->WeightExists(1, 0, 5, &b); },
         "Invalid node number", "TRuvo::WeightExists"},
        {"activation layer 6", [&] { net->GetActivationValue(6, 0, &v); }, "Invalid node layer",
         "TRuvo::GetActivationValue"},
        {"activation layer -1", [&] { net->GetActivationValue(-1, 0, &v); }, "Invalid node layer",
         "TRuvo::GetActivationValue"},
        {"activation node beyond layer", [&] { net->GetActivationValue(5, 2, &v); },
         "Invalid node number", "TRuvo::GetActivationValue"},
        {"recall into data set", [&] { net->Recall(nullptr, &result); }, "Null data pointer",
         "TRuvo::Recall"},
        {"recall outputs only", [&] { net->RecallOutputOnly(nullptr, &result); },
         "Null data pointer", "TRuvo::RecallOutputOnly"},
        {"recall error", [&] { net->RecallOutputOnly(nullptr, &v); }, "Null data pointer",
         "TRuvo::RecallOutputOnly"},
        {"recall with too few inputs", [&] { net->Recall(narrow.get(), &result); },
         "Invalid Input Data Column", "TRuvo::Recall"},
        {"error with too few targets", [&] { net->RecallOutputOnly(noTargets.get(), &v); },
         "Invalid Output Data Column", "TRuvo::RecallOutputOnly"},
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        const char* kind = std::string(row.message) == "Null data pointer"
                               ? "Null Pointer Parameter"
                               : "Bad Parameter";
        ExpectTException(row.op, row.message, kind, row.location);
    }
    EXPECT_EQ(values, nullptr);
    EXPECT_EQ(result, nullptr);
}

TEST(TRuvoTest, SingleWeightFailureChangesNothing) {
    std::unique_ptr<TRuvo> net = BuildRuvo({3, 2}, 2, {2});
    const std::vector<double> centres = WeightLayer(net.get(), 1);
    EXPECT_THROW(net->SetWeightValue(1, 0, 3, 0.7), TException);
    EXPECT_EQ(WeightLayer(net.get(), 1), centres);
    EXPECT_THROW(net->FreezeWeight(4, 0, 5), TException);
    EXPECT_EQ(OutputCentres(net.get())->GetNumWeights(0), 2);
}

// ---------------------------------------------------------------------------------------------
// Initialisation and recall of data sets

TEST(TRuvoTest, InitWeightsSpacesCentresAndRandomisesTrainableInnerWeights) {
    std::unique_ptr<TRuvo> net = BuildRuvo({3, 2}, 4, {2, 3});
    const double inputCentres[] = {0.3, 0.2, 0.1, 0.9, 0.8};
    const double outputCentres[] = {0.5, 0.5, 0.5, 0.5, 0.5};
    net->SetWeightLayer(1, inputCentres);
    net->SetWeightLayer(4, outputCentres);
    net->SetWeightValue(2, 1, 1, 7.0);
    net->FreezeWeight(2, 1, 1);

    net->InitWeights(-0.5, 0.5);
    EXPECT_EQ(WeightLayer(net.get(), 1), (std::vector<double>{0.0, 0.5, 1.0, 0.0, 1.0}));
    EXPECT_EQ(WeightLayer(net.get(), 4), (std::vector<double>{0.0, 1.0, 0.0, 0.5, 1.0}));
    double frozen = 0.0;
    net->GetWeightValue(2, 1, 1, &frozen);
    EXPECT_EQ(frozen, 7.0);
    for (int weightLayer : {2, 3}) {
        const std::vector<double> w = WeightLayer(net.get(), weightLayer);
        for (std::size_t k = 0; k < w.size(); ++k) {
            if (weightLayer == 2 && k == 1 * 4 + 1) {
                continue;
            }
            EXPECT_GE(w[k], -0.5) << "weight layer " << weightLayer << " element " << k;
            EXPECT_LT(w[k], 0.5) << "weight layer " << weightLayer << " element " << k;
        }
    }

    net->InitWeights(0.2, 0.2);
    for (int weightLayer : {2, 3}) {
        const std::vector<double> w = WeightLayer(net.get(), weightLayer);
        for (std::size_t k = 0; k < w.size(); ++k) {
            if (weightLayer == 2 && k == 1 * 4 + 1) {
                EXPECT_EQ(w[k], 7.0);
            } else {
                EXPECT_EQ(w[k], 0.2) << "weight layer " << weightLayer << " element " << k;
            }
        }
    }
}

TEST(TRuvoTest, InitWeightsWithEqualBoundsDrawsNothing) {
    std::unique_ptr<TRuvo> net = BuildRuvo({2}, 2, {2});
    const std::uint32_t seed = GetRandomSeed();
    net->InitWeights(0.2, 0.2);
    EXPECT_EQ(GetRandomSeed(), seed);
}

TEST(TRuvoTest, RecallOfDataSets) {
    std::unique_ptr<TRuvo> net = BuildWorkedRuvo();
    std::unique_ptr<Data> data = DataOf({{0.25}, {0.0}, {0.9}}, {{0.5}, {0.1}, {0.3}});
    data->MoveCursor(1);  // the recall rewinds first
    const double expected[] = {RecallOne(net.get(), 0.25), RecallOne(net.get(), 0.0),
                               RecallOne(net.get(), 0.9)};
    const double inputs[] = {0.25, 0.0, 0.9};

    Data* withInputs = nullptr;
    net->Recall(data.get(), &withInputs);
    std::unique_ptr<Data> owned(withInputs);
    ASSERT_NE(withInputs, nullptr);
    EXPECT_EQ(withInputs->MbrNdxRows, 3);
    EXPECT_EQ(withInputs->MbrNdxDataRows, 3);
    EXPECT_EQ(withInputs->MbrNdxInputs, 1);
    EXPECT_EQ(withInputs->MbrNdxOutputs, 1);
    EXPECT_FALSE(withInputs->MbrHasLabels);
    for (int r = 0; r < 3; ++r) {
        double in = -1.0;
        double out = -1.0;
        withInputs->GetInputDatum(r, 0, &in);
        withInputs->GetOutputDatum(r, 0, &out);
        EXPECT_EQ(in, inputs[r]) << "row " << r;
        EXPECT_EQ(out, expected[r]) << "row " << r;
    }

    Data* outputsOnly = nullptr;
    net->RecallOutputOnly(data.get(), &outputsOnly);
    std::unique_ptr<Data> ownedOutputs(outputsOnly);
    EXPECT_EQ(outputsOnly->MbrNdxInputs, 0);
    EXPECT_EQ(outputsOnly->MbrNdxOutputs, 1);
    for (int r = 0; r < 3; ++r) {
        double out = -1.0;
        outputsOnly->GetOutputDatum(r, 0, &out);
        EXPECT_EQ(out, expected[r]) << "row " << r;
    }

    double error = -1.0;
    net->RecallOutputOnly(data.get(), &error);
    const double sum = (0.5 - expected[0]) * (0.5 - expected[0]) +
                       (0.1 - expected[1]) * (0.1 - expected[1]) +
                       (0.3 - expected[2]) * (0.3 - expected[2]);
    EXPECT_DOUBLE_EQ(error, std::sqrt(sum / 1 / 3));
}

TEST(TRuvoTest, RecallUsesTheDataSetsInputSelection) {
    std::unique_ptr<TRuvo> net = BuildWorkedRuvo();
    std::unique_ptr<Data> data = DataOf({{9.0, 0.25, 8.0}}, {{0.5}});
    const int selection[] = {1};
    data->SelectInputs(1, selection);
    Data* result = nullptr;
    net->Recall(data.get(), &result);
    std::unique_ptr<Data> owned(result);
    double in = 0.0;
    double out = 0.0;
    result->GetInputDatum(0, 0, &in);
    result->GetOutputDatum(0, 0, &out);
    EXPECT_EQ(in, 0.25);
    EXPECT_EQ(out, RecallOne(net.get(), 0.25));
}

TEST(TRuvoTest, CopyIsAPlainNetworkThatRecallsTheSame) {
    std::unique_ptr<TRuvo> net = BuildWorkedRuvo();
    TBasicNetwork copy(*net);
    EXPECT_STREQ(copy.GetNetworkType(), "Basic");
    EXPECT_STREQ(copy.layers[2]->GetLayerType(), "FuzzyCondition");
    EXPECT_STREQ(copy.layers[5]->GetLayerType(), "Defuzzify");
    for (double x : {0.0, 0.25, 0.6, 1.0}) {
        EXPECT_EQ(RecallOne(&copy, x), RecallOne(net.get(), x)) << "x=" << x;
    }
    *InputCentres(&copy)->GetWeight(0, 1) = 0.5;
    *OutputCentres(&copy)->GetWeight(1, 0) = 0.5;
    EXPECT_EQ(WeightLayer(net.get(), 1), (std::vector<double>{0.0, 1.0}));
    EXPECT_EQ(WeightLayer(net.get(), 4), (std::vector<double>{0.0, 1.0}));
    EXPECT_NE(RecallOne(&copy, 0.25), RecallOne(net.get(), 0.25));
}

TEST(TRuvoDeathTest, InitWeightsNeedsOrderedBounds) {
    std::unique_ptr<TRuvo> net = BuildRuvo({2}, 1, {2});
    EXPECT_DEATH(net->InitWeights(1.0, 0.0), "Minimum <= Maximum");
}

}  // namespace
}  // namespace ruvo
