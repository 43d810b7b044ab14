#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "NeuralNets/ActFunctions.h"
#include "NeuralNets/TBasicLayer.h"

namespace ruvo {
namespace {

// Applies fn to a free-standing gain neuron (the plain functions ignore the gain).
double Apply(TActFunction fn, double net, double gain = 1.0) {
    double activation = -12345.0;
    TGainNeuron neuron;
    neuron.gain = gain;
    neuron.activation = &activation;
    fn(&neuron, net);
    return activation;
}

struct ActRow {
    const char* name;
    TActFunction fn;
    double gain;
    double net;
    double expected;
};

TEST(ActFunctionsTest, ValuesAtTheBoundaries) {
    const double sigmoidAt2 = 1.0 / (1.0 + std::exp(-2.0));
    const ActRow kRows[] = {
        {"bias", ActBias, 1.0, -7.5, 1.0},
        {"bias", ActBias, 1.0, 0.0, 1.0},
        {"bias", ActBias, 1.0, 1e6, 1.0},
        {"linear", ActLinear, 1.0, -3.25, -3.25},
        {"saturated-linear", ActSaturatedLinear, 1.0, -0.5, 0.0},
        {"saturated-linear", ActSaturatedLinear, 1.0, 0.0, 0.0},
        {"saturated-linear", ActSaturatedLinear, 1.0, 0.25, 0.25},
        {"saturated-linear", ActSaturatedLinear, 1.0, 1.0, 1.0},
        {"saturated-linear", ActSaturatedLinear, 1.0, 3.0, 1.0},
        {"saturated-linear", ActSaturatedLinear, 1.0, std::nan(""), 0.0},
        {"sigmoid", ActSigmoid, 1.0, 0.0, 0.5},
        {"sigmoid", ActSigmoid, 1.0, 2.0, sigmoidAt2},
        {"sigmoid", ActSigmoid, 1.0, -500.0, 1.0 / (1.0 + std::exp(500.0))},
        {"sigmoid", ActSigmoid, 1.0, -500.5, 1e-300},
        {"sigmoid", ActSigmoid, 1.0, -1e6, 1e-300},
        {"sigmoid", ActSigmoid, 1.0, 1e6, 1.0},
        {"tanh", ActTanh, 1.0, 0.5, std::tanh(0.5)},
        {"linear-gain", ActLinearGain, 0.5, 4.0, 2.0},
        {"sigmoid-gain", ActSigmoidGain, 2.0, 1.0, sigmoidAt2},
        {"sigmoid-gain", ActSigmoidGain, 1.0, -1e6, 0.0},  // exp overflows: no cut-off
        {"tanh-gain", ActTanhGain, 1.0, 0.7, std::tanh(0.7)},
        {"tanh-gain", ActTanhGain, 3.0, 0.2, std::tanh(3.0 * 0.2)},
    };
    for (const ActRow& row : kRows) {
        SCOPED_TRACE(testing::Message() << row.name << " gain=" << row.gain << " net=" << row.net);
        EXPECT_DOUBLE_EQ(Apply(row.fn, row.net, row.gain), row.expected);
    }
    // The value below the cut-off is the double nearest to 1e-300, not a rounded neighbour.
    EXPECT_EQ(Apply(ActSigmoid, -501.0), 1e-300);
    EXPECT_GT(Apply(ActSigmoid, -500.0), 7.1e-218);
    EXPECT_LT(Apply(ActSigmoid, -500.0), 7.2e-218);
}

TEST(ActFunctionsTest, GainFunctionsWithGainOneEqualThePlainOnes) {
    for (double net : {-500.0, -30.0, -1.5, 0.0, 0.3, 4.0, 800.0}) {
        SCOPED_TRACE(testing::Message() << "net=" << net);
        EXPECT_EQ(Apply(ActSigmoidGain, net, 1.0), Apply(ActSigmoid, net));
        EXPECT_EQ(Apply(ActTanhGain, net, 1.0), Apply(ActTanh, net));
        EXPECT_EQ(Apply(ActLinearGain, net, 1.0), Apply(ActLinear, net));
    }
}

TEST(TFnRegistryTest, StandardFunctionsInTheirOrder) {
    TFnRegistry registry;
    registry.RegisterStandard();
    const std::vector<std::string> kNames = {
        "error",       "null",         "bias",      "linear", "saturated-linear", "sigmoid", "tanh",
        "linear-gain", "sigmoid-gain", "tanh-gain", "cog",    "Ruvo-condition"};
    const std::vector<TActFunction> kFns = {
        ActError,           ActNull,     ActBias, ActLinear,
        ActSaturatedLinear, ActSigmoid,  ActTanh, ActLinearGain,
        ActSigmoidGain,     ActTanhGain, ActCog,  ActRuvoCondition};
    ASSERT_EQ(registry.count, 12);
    EXPECT_EQ(registry.capacity, 16);
    for (int i = 0; i < 12; ++i) {
        SCOPED_TRACE(kNames[i]);
        EXPECT_EQ(registry.entries[i].name, kNames[i]);
        EXPECT_EQ(registry.entries[i].fn, kFns[i]);
        EXPECT_EQ(registry.GetName(kFns[i]), kNames[i]);
    }
}

TEST(TFnRegistryTest, LookupIgnoresCaseAndGetNameKeepsTheSpelling) {
    TFnRegistry registry;
    registry.RegisterStandard();
    for (const char* spelling : {"sigmoid", "SIGMOID", "Sigmoid", "sIgMoId"}) {
        SCOPED_TRACE(spelling);
        EXPECT_EQ(registry.Lookup(spelling), ActSigmoid);
        EXPECT_EQ(registry.Find(spelling), ActSigmoid);
    }
    EXPECT_STREQ(registry.GetName(ActSigmoid), "sigmoid");
    for (const char* spelling : {"Ruvo-condition", "RUVO-CONDITION", "ruvo-Condition"}) {
        SCOPED_TRACE(spelling);
        EXPECT_EQ(registry.Lookup(spelling), ActRuvoCondition);
    }
    EXPECT_STREQ(registry.GetName(ActRuvoCondition), "Ruvo-condition");
}

TEST(TFnRegistryTest, UnknownNameIsReportedWithoutStopping) {
    TFnRegistry registry;
    registry.RegisterStandard();
    // A name read from a file may be unknown: Find tells it apart, Lookup answers "error".
    EXPECT_EQ(registry.Find("softmax"), nullptr);
    EXPECT_EQ(registry.Lookup("softmax"), ActError);
    EXPECT_EQ(registry.Find("sigmoid "), nullptr);
}

void Dummy(TBasicNeuron*, double) {}

TEST(TFnRegistryTest, RegistrationGrowsTheArrayAndKeepsEveryEntry) {
    TFnRegistry registry;
    registry.RegisterStandard();
    const char* kExtra[] = {"extra-1", "extra-2", "extra-3", "extra-4", "extra-5"};
    for (const char* name : kExtra) {
        registry.Register(Dummy, name);
    }
    EXPECT_EQ(registry.count, 17);
    EXPECT_EQ(registry.capacity, 32);
    EXPECT_EQ(registry.Lookup("linear"), ActLinear);
    EXPECT_EQ(registry.Lookup("ruvo-condition"), ActRuvoCondition);
    EXPECT_EQ(registry.Lookup("EXTRA-5"), Dummy);
    // The last registration of a function is the name GetName answers (search from the end).
    EXPECT_STREQ(registry.GetName(Dummy), "extra-5");
}

TEST(TFnRegistryTest, EntryAddsAMissingNameWithANullFunction) {
    TFnRegistry registry;
    registry.RegisterStandard();
    EXPECT_EQ(registry.Entry("TANH"), ActTanh);
    EXPECT_EQ(registry.count, 12);
    TActFunction& added = registry.Entry("custom");
    EXPECT_EQ(added, nullptr);
    EXPECT_EQ(registry.count, 13);
    added = Dummy;
    EXPECT_EQ(registry.Lookup("Custom"), Dummy);
}

TEST(TFnRegistryDeathTest, DuplicateNameInAnotherCase) {
    TFnRegistry registry;
    registry.RegisterStandard();
    EXPECT_DEATH(registry.Register(Dummy, "Linear"), "strcasecmp\\(p,pp->name\\)!=0");
}

TEST(TFnRegistryDeathTest, UnregisteredFunctionHasNoName) {
    TFnRegistry registry;
    registry.RegisterStandard();
    EXPECT_DEATH(registry.GetName(Dummy), "function is registered");
}

TEST(ActFunctionsDeathTest, FunctionsThatMustNeverBeApplied) {
    EXPECT_DEATH(Apply(ActError, 0.0), "ActError");
    EXPECT_DEATH(Apply(ActNull, 0.0), "ActNull");
    EXPECT_DEATH(Apply(ActCog, 0.0), "ActCog");
}

}  // namespace
}  // namespace ruvo
