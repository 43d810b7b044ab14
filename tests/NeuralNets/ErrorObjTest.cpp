#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "KQmessage/KQML.h"
#include "NeuralNets/TErrorObj.h"

namespace ruvo {
namespace {

struct Pattern {
    std::vector<double> targets;
    std::vector<double> outputs;
};

// Accumulates every pattern into a fresh measure held through its base class, as the training
// module holds it, and returns the measure.
template <class Measure>
std::unique_ptr<TErrorObj> Measured(int outputs, const std::vector<Pattern>& patterns) {
    std::unique_ptr<TErrorObj> measure(new Measure(outputs));
    for (const Pattern& p : patterns) {
        measure->Accumulate(p.targets.data(), p.outputs.data());
    }
    return measure;
}

// A penalty structure: the word and its constants, each stored as text.
std::unique_ptr<TKQstructure> Penalty(
    const char* word, const std::vector<std::pair<const char*, const char*>>& keys) {
    auto penalty = std::make_unique<TKQstructure>(word);
    for (const auto& key : keys) {
        penalty->SetString(key.first, key.second);
    }
    return penalty;
}

// ---------------------------------------------------------------------------------------------
// Root mean square

struct RmsRow {
    const char* name;
    int outputs;
    std::vector<Pattern> patterns;
    double sum;
    double error;
};

TEST(TErrorRMSObjTest, RootOfMeanSquaredError) {
    const double a = std::sqrt(0.1);
    const double b = std::sqrt(0.3);
    const RmsRow kRows[] = {
        {"two outputs", 2, {{{1, 0}, {0.5, 0.5}}}, 0.5, 0.5},
        {"two patterns",
         1,
         {{{0}, {a}}, {{1}, {1 + b}}},
         a * a + b * b,
         std::sqrt((a * a + b * b) / 1 / 2)},
        {"divided by outputs, then patterns",
         2,
         {{{3, 0}, {0, 0}}, {{0, 0}, {0, 0}}},
         9.0,
         std::sqrt(9.0 / 2 / 2)},
        {"exact fit", 3, {{{1, 2, 3}, {1, 2, 3}}}, 0.0, 0.0},
        // Nothing measured: the result is defined as 0, not the quotient of a division by zero.
        {"no pattern", 2, {}, 0.0, 0.0},
        {"no outputs", 0, {{{}, {}}, {{}, {}}}, 0.0, 0.0},
    };
    for (const RmsRow& row : kRows) {
        SCOPED_TRACE(row.name);
        auto measure = Measured<TErrorRMSObj>(row.outputs, row.patterns);
        EXPECT_EQ(static_cast<int>(row.patterns.size()), measure->numPatterns);
        EXPECT_DOUBLE_EQ(row.sum, static_cast<TErrorRMSObj*>(measure.get())->sum);
        const double error = measure->GetError();
        EXPECT_FALSE(std::isnan(error));
        EXPECT_DOUBLE_EQ(row.error, error);
    }
}

TEST(TErrorRMSObjTest, PenaltyIsInsideTheRootAndResetForgetsAll) {
    TErrorRMSObj measure(2);
    const std::vector<double> targets = {1, 1};
    const std::vector<double> outputs = {1, 1};
    measure.Accumulate(targets.data(), outputs.data());
    measure.Accumulate(targets.data(), outputs.data());
    auto penalty = Penalty("QUADPENALTY", {{"EPSILON1", "1"}, {"BETA", "1"}});
    const std::vector<double> weights = {1, -1};
    measure.AddPenalty(2, weights.data(), penalty.get());  // adds 1.0
    EXPECT_DOUBLE_EQ(1.0, measure.sum);
    EXPECT_DOUBLE_EQ(std::sqrt(1.0 / 2 / 2), measure.GetError());

    measure.Reset();
    EXPECT_EQ(0, measure.numPatterns);
    EXPECT_EQ(0.0, measure.sum);
    EXPECT_EQ(0.0, measure.GetError());
    EXPECT_EQ(2, measure.numOutputs);
}

// ---------------------------------------------------------------------------------------------
// Cross entropy

struct EntropyRow {
    double target;
    double output;
    double contribution;
};

TEST(TErrorCrossEntropyObjTest, ContributionPerOutput) {
    const double ln2 = std::log(2.0);
    const EntropyRow kRows[] = {
        {1.0, 0.5, ln2},
        {0.0, 0.5, ln2},
        {0.5, 0.5, ln2},
        {1.0, 0.25, -std::log(0.25)},
        {0.0, 0.25, -std::log(0.75)},
        {0.0, 1.0, 1e6},  // output saturated at the wrong end
        {0.5, 1.0, 1e6},
        {1.0, 1.0, 0.0},
        // An output of exactly 0 mirrors an output of exactly 1 instead of taking ln(0).
        {1.0, 0.0, 1e6},
        {0.5, 0.0, 1e6},
        {0.0, 0.0, 0.0},
    };
    for (const EntropyRow& row : kRows) {
        SCOPED_TRACE(testing::Message() << "target " << row.target << ", output " << row.output);
        auto measure = Measured<TErrorCrossEntropyObj>(1, {{{row.target}, {row.output}}});
        EXPECT_EQ(1, measure->numPatterns);
        const double error = measure->GetError();
        EXPECT_TRUE(std::isfinite(error));
        EXPECT_DOUBLE_EQ(row.contribution, error);
    }
}

TEST(TErrorCrossEntropyObjTest, SumsOverOutputsAndPatternsWithoutDividing) {
    const double ln2 = std::log(2.0);
    auto measure = Measured<TErrorCrossEntropyObj>(
        2, {{{1.0, 0.0}, {0.5, 0.5}}, {{1.0, 1.0}, {0.5, 1.0}}, {{0.0, 1.0}, {1.0, 0.5}}});
    EXPECT_EQ(3, measure->numPatterns);
    EXPECT_DOUBLE_EQ(ln2 + ln2 + ln2 + 0.0 + 1e6 + ln2, measure->GetError());

    auto penalty = Penalty("LWF", {{"LEARNINGRATE", "0.5"}, {"FORGETTINGRATE", "2"}});
    const std::vector<double> weights = {-1.0};
    const double before = measure->GetError();
    measure->AddPenalty(1, weights.data(), penalty.get());
    EXPECT_DOUBLE_EQ(before + 1.0, measure->GetError());

    measure->Reset();
    EXPECT_EQ(0, measure->numPatterns);
    EXPECT_EQ(0.0, measure->GetError());
}

// ---------------------------------------------------------------------------------------------
// Penalty term

struct PenaltyRow {
    const char* name;
    const char* word;  // null: no penalty structure
    std::vector<std::pair<const char*, const char*>> keys;
    std::vector<double> weights;
    double factor;
    double expected;
};

TEST(TErrorObjPenaltyTest, PenaltyTermByWord) {
    const PenaltyRow kRows[] = {
        {"no structure", nullptr, {}, {1, 2}, 1.0, 0.0},
        {"none", "none", {{"EPSILON1", "1"}}, {1, 2}, 1.0, 0.0},
        {"NONE", "NONE", {}, {1, 2}, 1.0, 0.0},
        {"quad: epsilon1 and beta",
         "QUADPENALTY",
         {{"EPSILON1", "1"}, {"BETA", "1"}},
         {1, -1},
         1.0,
         1.0},
        {"quad: beta defaults to 1", "QUADPENALTY", {{"EPSILON1", "1"}}, {1, -1}, 1.0, 1.0},
        {"quad: factor scales each term", "QUADPENALTY", {{"EPSILON1", "1"}}, {1, -1}, 2.0, 2.0},
        {"quad: beta",
         "QUADPENALTY",
         {{"EPSILON1", "1"}, {"BETA", "2"}},
         {1},
         1.0,
         1.0 * 2.0 * 1.0 / (2.0 * 1.0 + 1.0)},
        {"quad: epsilon2 only",
         "QUADPENALTY",
         {{"EPSILON2", "0.5"}},
         {2, -3},
         1.0,
         0.5 * 4 + 0.5 * 9},
        {"quad: both, any case",
         "quadPenalty",
         {{"epsilon1", "0.25"}, {"Epsilon2", "0.5"}},
         {2},
         1.0,
         0.25 * 1.0 * 4.0 / (1.0 * 4.0 + 1.0) + 0.5 * 4.0},
        {"quad: no constants", "QUADPENALTY", {}, {5}, 1.0, 0.0},
        {"lwf",
         "LWF",
         {{"LEARNINGRATE", "0.5"}, {"FORGETTINGRATE", "0.1"}},
         {1, -2, 3},
         1.0,
         0.5 * 0.1 * 6.0},
        {"lwf ignores factor",
         "lwf",
         {{"LearningRate", "0.5"}, {"ForgettingRate", "0.1"}},
         {1, -2, 3},
         3.0,
         0.5 * 0.1 * 6.0},
        {"lwf: absent rates disable it", "LWF", {{"LEARNINGRATE", "0.5"}}, {1, 2}, 1.0, 0.0},
        {"no weights", "QUADPENALTY", {{"EPSILON1", "1"}}, {}, 1.0, 0.0},
    };
    TErrorRMSObj measure(1);
    for (const PenaltyRow& row : kRows) {
        SCOPED_TRACE(row.name);
        std::unique_ptr<TKQstructure> penalty;
        if (row.word != nullptr) {
            penalty = Penalty(row.word, row.keys);
        }
        EXPECT_DOUBLE_EQ(row.expected,
                         measure.PenaltyTerm(static_cast<int>(row.weights.size()),
                                             row.weights.data(), penalty.get(), row.factor));
    }
}

TEST(TErrorObjPenaltyTest, ConstantThatIsNotANumberRaises) {
    auto penalty = Penalty("QUADPENALTY", {{"EPSILON1", "abc"}});
    const std::vector<double> weights = {1.0};
    TErrorRMSObj measure(1);
    try {
        measure.AddPenalty(1, weights.data(), penalty.get());
        ADD_FAILURE() << "no exception";
    } catch (const TKQstructure::Error& e) {
        ASSERT_NE(nullptr, e.structure);
        std::string text;
        e.structure->AppendText(&text);
        EXPECT_EQ("(error :type invalid-message :number-expected abc)", text);
    }
    EXPECT_EQ(0.0, measure.sum);
}

TEST(TErrorObjDeathTest, UnknownPenaltyWord) {
    auto penalty = Penalty("CUBICPENALTY", {});
    const std::vector<double> weights = {1.0};
    TErrorCrossEntropyObj measure(1);
    EXPECT_DEATH(measure.PenaltyTerm(1, weights.data(), penalty.get(), 1.0),
                 "penalty is NONE, QUADPENALTY or LWF");
    EXPECT_DEATH(TErrorRMSObj(-1), "outputs >= 0");
}

}  // namespace
}  // namespace ruvo
