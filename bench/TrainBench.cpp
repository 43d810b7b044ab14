// Times one training epoch of a mid-size fuzzy network: 4 inputs with 7 membership functions
// each (28 condition neurons), 100 rules, 1 output with 7 membership functions, 10,000 rows.
// Reports nanoseconds per pattern and trainable-weight updates per second, per pattern with
// momentum 0.9 and in batch mode.
//
// When built with the double-precision FANN library (RUVO_BENCH_WITH_FANN), the same run also
// trains a 28-100-7 multilayer perceptron incrementally with the same learning rate and momentum
// on the same rows, seen as the fuzzy network's trainable part sees them: the 28 membership
// degrees of each row as inputs and the 7 desired output degrees as targets. Its figure is
// connection updates per second (bias connections included), the fuzzy network's counterpart of
// trainable-weight updates.

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "DataObject/Data.h"
#include "KQmessage/KQML.h"
#include "NeuralNets/TBasicConnections.h"
#include "Ruvo/TConditionLayer.h"
#include "Ruvo/TRuvo.h"
#include "Ruvo/TRuvoBP.h"

#ifdef RUVO_BENCH_WITH_FANN
#include <doublefann.h>
#endif

namespace {

using namespace ruvo;

constexpr int kInputs = 4;
constexpr int kMFPerInput = 7;
constexpr int kRules = 100;
constexpr int kMFPerOutput = 7;
constexpr int kRows = 10000;
constexpr double kLearningRate = 0.1;
constexpr double kMomentum = 0.9;

// 10,000 rows of 4 inputs drawn in [0, 1) with the program's generator and a smooth target in
// [0.1, 0.9].
std::unique_ptr<Data> MakeRows() {
    ResetRandomGenerator();
    auto data = std::make_unique<Data>(kRows, kInputs, 1, false);
    for (int r = 0; r < kRows; ++r) {
        double x[kInputs];
        for (double& v : x) {
            v = RandomWeight(0.0, 1.0);
        }
        const double y = 0.5 + 0.2 * std::sin(3.0 * x[0]) * std::cos(2.0 * x[1]) +
                         0.1 * x[2] * x[2] - 0.1 * x[3];
        data->AppendRow(x, &y, nullptr);
    }
    return data;
}

std::unique_ptr<TRuvo> MakeRuvo() {
    const int mfIn[kInputs] = {kMFPerInput, kMFPerInput, kMFPerInput, kMFPerInput};
    const int mfOut[1] = {kMFPerOutput};
    auto net = std::make_unique<TRuvo>(kInputs, mfIn, kRules, mfOut, 1);
    ResetRandomGenerator();
    net->InitWeights(-0.5, 0.5);
    return net;
}

void TrainRuvo(benchmark::State& state, bool batch) {
    auto data = MakeRows();
    auto net = MakeRuvo();
    TRuvoBP module(net.get());
    TKQstructure params("Params");
    params.SetReal("LearningRate", kLearningRate);
    params.SetReal("Momentum", kMomentum);
    if (batch) {
        params.SetString("batch", "true");
    }
    const double weights = net->GetNumWeights(0);
    double error = 0.0;
    for (auto _ : state) {
        error = module.TrainEpoch(data.get(), &params);
        benchmark::DoNotOptimize(error);
    }
    const double patterns = static_cast<double>(state.iterations()) * kRows;
    state.counters["ns_per_pattern"] = benchmark::Counter(
        kRows * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["weight_updates_per_s"] =
        benchmark::Counter(weights * patterns, benchmark::Counter::kIsRate);
    state.counters["trainable_weights"] = weights;
    state.counters["epoch_error"] = error;
}

void BM_RuvoPerPatternMomentum(benchmark::State& state) {
    TrainRuvo(state, false);
}
void BM_RuvoBatch(benchmark::State& state) {
    TrainRuvo(state, true);
}

BENCHMARK(BM_RuvoPerPatternMomentum)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RuvoBatch)->Unit(benchmark::kMillisecond)->UseRealTime();

#ifdef RUVO_BENCH_WITH_FANN

// The rows as the fuzzy network's trainable part sees them: membership degrees in, desired
// output degrees out.
fann_train_data* MakeFannRows(Data* data, TRuvo* net) {
    fann_train_data* rows = fann_create_train(kRows, kInputs * kMFPerInput, kMFPerOutput);
    const auto* conditions = static_cast<const TConditionLayer*>(net->layers[2]);
    const double centres[kMFPerOutput] = {0.0, 1.0 / 6, 2.0 / 6, 3.0 / 6, 4.0 / 6, 5.0 / 6, 1.0};
    data->Rewind();
    for (int r = 0; r < kRows; ++r) {
        double x[kInputs];
        double y = 0.0;
        data->GetNext(x, &y);
        double out = 0.0;
        net->Recall(x, &out);
        for (int j = 0; j < kInputs * kMFPerInput; ++j) {
            rows->input[r][j] = conditions->activations[j];
        }
        for (int m = 0; m < kMFPerOutput; ++m) {
            rows->output[r][m] =
                DesiredDegree(m, kMFPerOutput, m > 0 ? centres[m - 1] : 0.0, centres[m],
                              m + 1 < kMFPerOutput ? centres[m + 1] : 0.0, y);
        }
    }
    return rows;
}

void BM_FannIncrementalMomentum(benchmark::State& state) {
    auto data = MakeRows();
    auto ruvo = MakeRuvo();
    fann_train_data* rows = MakeFannRows(data.get(), ruvo.get());
    fann* ann = fann_create_standard(3, kInputs * kMFPerInput, kRules, kMFPerOutput);
    fann_set_training_algorithm(ann, FANN_TRAIN_INCREMENTAL);
    fann_set_learning_rate(ann, static_cast<float>(kLearningRate));
    fann_set_learning_momentum(ann, static_cast<float>(kMomentum));
    fann_set_activation_function_hidden(ann, FANN_SIGMOID);
    fann_set_activation_function_output(ann, FANN_SIGMOID);
    fann_randomize_weights(ann, -0.5, 0.5);
    const double connections = fann_get_total_connections(ann);
    float mse = 0.0f;
    for (auto _ : state) {
        mse = fann_train_epoch(ann, rows);
        benchmark::DoNotOptimize(mse);
    }
    const double patterns = static_cast<double>(state.iterations()) * kRows;
    state.counters["ns_per_pattern"] = benchmark::Counter(
        kRows * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["connection_updates_per_s"] =
        benchmark::Counter(connections * patterns, benchmark::Counter::kIsRate);
    state.counters["connections"] = connections;
    state.counters["epoch_mse"] = mse;
    fann_destroy(ann);
    fann_destroy_train(rows);
}

BENCHMARK(BM_FannIncrementalMomentum)->Unit(benchmark::kMillisecond)->UseRealTime();

#endif

}  // namespace

BENCHMARK_MAIN();
