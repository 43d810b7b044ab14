#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
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

// The exact penalty terms. The expected values are the formulas written out with plain doubles,
// products left to right and squares as plain products; each test first asserts that its inputs
// tell apart the results of the slips that change only the last digits (a product grouped the
// other way, a square taken as (b * w) * w, the weights summed in another order, the factor taken
// out of the sum, a fused multiply-add), so that such a slip fails the bit-exact comparison.

// The value of a constant as the measure reads it.
double ConstantOf(const std::vector<std::pair<const char*, const char*>>& keys,
                  const char* key,
                  double fallback) {
    for (const auto& k : keys) {
        if (std::strcmp(k.first, key) == 0) {
            return std::strtod(k.second, nullptr);
        }
    }
    return fallback;
}

struct QuadOrderRow {
    std::vector<std::pair<const char*, const char*>> keys;
    double factor;
    std::vector<double> weights;
};

TEST(TErrorObjPenaltyTest, QuadraticTermKeepsItsOrder) {
    const QuadOrderRow kRows[] = {
        {{{"EPSILON1", "0.35"}, {"EPSILON2", "0.098"}, {"BETA", "2.3"}},
         1.6,
         {1.16, -1.32, 1.85, 0.82, -0.68, -1.05}},
        // Factor 1, as AddPenalty passes it.
        {{{"EPSILON1", "0.41"}, {"EPSILON2", "0.027"}, {"BETA", "2.5"}},
         1.0,
         {1.75, 1.06, -1.69, -0.03, -1.16, 1.65}},
    };
    for (const QuadOrderRow& row : kRows) {
        SCOPED_TRACE(testing::Message() << "factor " << row.factor);
        const double e1 = ConstantOf(row.keys, "EPSILON1", 0.0);
        const double e2 = ConstantOf(row.keys, "EPSILON2", 0.0);
        const double beta = ConstantOf(row.keys, "BETA", 1.0);
        const double factor = row.factor;
        const std::vector<double>& w = row.weights;
        const std::size_t n = w.size();

        double expected = 0.0;
        double grouped = 0.0;     // (EPSILON1 (BETA w w)) / ...
        double squareLate = 0.0;  // ((EPSILON1 BETA) w) w / ((BETA w) w + 1)
        double fraction = 0.0;    // (EPSILON1 BETA) (w w / (BETA w w + 1))
        double reversed = 0.0;    // the weights from the last
        double unscaled = 0.0;    // the factor taken out of the sum
        double fused = 0.0;       // the factor's product fused with the addition
        for (std::size_t i = 0; i < n; ++i) {
            const double x = w[i];
            const double sq = x * x;
            const double bracket = ((e1 * beta) * sq) / (beta * sq + 1.0) + e2 * sq;
            expected = expected + factor * bracket;
            grouped = grouped + factor * ((e1 * (beta * sq)) / (beta * sq + 1.0) + e2 * sq);
            squareLate =
                squareLate + factor * ((((e1 * beta) * x) * x) / ((beta * x) * x + 1.0) + e2 * sq);
            fraction = fraction + factor * ((e1 * beta) * (sq / (beta * sq + 1.0)) + e2 * sq);
            unscaled = unscaled + bracket;
            fused = std::fma(factor, bracket, fused);
            const double y = w[n - 1 - i];
            reversed = reversed +
                       factor * (((e1 * beta) * (y * y)) / (beta * (y * y) + 1.0) + e2 * (y * y));
        }
        unscaled = factor * unscaled;
        ASSERT_NE(expected, grouped) << "EPSILON1 (BETA w w)";
        ASSERT_NE(expected, squareLate) << "(BETA w) w";
        ASSERT_NE(expected, fraction) << "(EPSILON1 BETA) (w w / (BETA w w + 1))";
        ASSERT_NE(expected, reversed) << "weights from the last";
        if (factor != 1.0) {  // with factor 1 these are the expected value itself
            ASSERT_NE(expected, unscaled) << "factor taken out of the sum";
            ASSERT_NE(expected, fused) << "fused";
        }

        auto penalty = Penalty("QUADPENALTY", row.keys);
        TErrorRMSObj measure(1);
        EXPECT_EQ(expected,
                  measure.PenaltyTerm(static_cast<int>(n), w.data(), penalty.get(), factor));
    }
}

TEST(TErrorObjPenaltyTest, ForgettingTermKeepsItsOrder) {
    const std::vector<std::pair<const char*, const char*>> keys = {{"LEARNINGRATE", "0.68"},
                                                                   {"FORGETTINGRATE", "0.64"}};
    const std::vector<double> w = {1.36, 1.74, -1.94, -0.39, -0.85, -1.22};
    const double rate = ConstantOf(keys, "LEARNINGRATE", 0.0);
    const double forgetting = ConstantOf(keys, "FORGETTINGRATE", 0.0);
    const std::size_t n = w.size();
    double magnitude = 0.0;
    double reversed = 0.0;
    double distributed = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        magnitude = magnitude + std::fabs(w[i]);
        reversed = reversed + std::fabs(w[n - 1 - i]);
        distributed = distributed + (rate * forgetting) * std::fabs(w[i]);
    }
    const double expected = (rate * forgetting) * magnitude;
    ASSERT_NE(expected, rate * (forgetting * magnitude)) << "LEARNINGRATE (FORGETTINGRATE sum)";
    ASSERT_NE(expected, (rate * forgetting) * reversed) << "weights from the last";
    ASSERT_NE(expected, distributed) << "the rates inside the sum";

    auto penalty = Penalty("LWF", keys);
    TErrorCrossEntropyObj measure(1);
    EXPECT_EQ(expected, measure.PenaltyTerm(static_cast<int>(n), w.data(), penalty.get(), 1.0));
}

// The squared errors are summed output by output, pattern by pattern; AddPenalty adds the
// penalty to that sum, and the root is taken of (sum / outputs) / patterns.
TEST(TErrorRMSObjTest, SumAndRootKeepTheirOrder) {
    const std::vector<Pattern> patterns = {{{0.18, -0.44, 0.28}, {-0.95, 0.6, 0.57}},
                                           {{-0.24, -0.09, 0.68}, {0.98, 0.89, 0.25}},
                                           {{-0.27, -0.05, -0.13}, {0.83, 0.97, -0.88}}};
    const std::vector<std::pair<const char*, const char*>> keys = {{"EPSILON2", "0.3"}};
    const std::vector<double> weights = {0.7, -1.1};
    const double penaltyValue = (0.3 * (0.7 * 0.7)) + (0.3 * (-1.1 * -1.1));
    double sum = 0.0;
    double byPattern = 0.0;  // each pattern's squares summed apart, then added
    for (const Pattern& p : patterns) {
        double part = 0.0;
        for (std::size_t i = 0; i < 3; ++i) {
            const double d = p.targets[i] - p.outputs[i];
            sum = sum + d * d;
            part = part + d * d;
        }
        byPattern = byPattern + part;
    }
    ASSERT_NE(sum, byPattern) << "each pattern summed apart";
    const double penalised = sum + penaltyValue;
    const double expected = std::sqrt(penalised / 3 / 3);
    ASSERT_NE(expected, std::sqrt(penalised / (3 * 3))) << "divided by outputs times patterns";

    auto measure = Measured<TErrorRMSObj>(3, patterns);
    auto* rms = static_cast<TErrorRMSObj*>(measure.get());
    EXPECT_EQ(sum, rms->sum);
    auto penalty = Penalty("QUADPENALTY", keys);
    ASSERT_EQ(penaltyValue, rms->PenaltyTerm(2, weights.data(), penalty.get(), 1.0));
    measure->AddPenalty(2, weights.data(), penalty.get());
    EXPECT_EQ(penalised, rms->sum);
    EXPECT_EQ(expected, measure->GetError());
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
