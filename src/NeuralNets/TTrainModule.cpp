#include "NeuralNets/TTrainModule.h"

#include <algorithm>
#include <memory>
#include <typeinfo>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "DataObject/Data.h"
#include "KQmessage/Check.h"
#include "KQmessage/KQML.h"
#include "NeuralNets/DenseRows.h"
#include "NeuralNets/TConnectedConnections.h"
#include "NeuralNets/TErrorObj.h"
#include "NeuralNets/TPrunedConnections.h"

namespace ruvo {

// ---------------------------------------------------------------------------------------------
// Visitors

void TIterateObj2ErrorsAndDeltas::Visit() {
    const double errorTo = toActs2[toNeuron];
    fromActs2[fromNeuron] += *weight1 * errorTo;
    *weight2 += errorTo * fromActs1[fromNeuron];
}

TIterateObj2Update::TIterateObj2Update(double rate) : learningRate(rate) {}

void TIterateObj2Update::Visit() {
    *weight1 -= learningRate * *weight2;
}

TIterateObj3UpdateMomentum::TIterateObj3UpdateMomentum(double rate, double factor)
    : learningRate(rate), momentum(factor) {}

void TIterateObj3UpdateMomentum::Visit() {
    const double delta = -learningRate * *weight2 + momentum * *weight3;
    *weight3 = delta;
    *weight1 += delta;
}

TIterateObj2CalcPenaltyTerm::TIterateObj2CalcPenaltyTerm(double eps1, double eps2, double b)
    : k1(eps1), k2(eps2), beta(b) {}

void TIterateObj2CalcPenaltyTerm::Visit() {
    const double w = *weight1;
    const double denominator = 1.0 + beta * (w * w);
    *weight2 += (k1 * beta / (denominator * denominator) + k2) * (2.0 * w);
}

TIterateObjLWFCalcPenaltyTerm::TIterateObjLWFCalcPenaltyTerm(double rate, double forgetRatio)
    : forgettingRate(rate), ratio(forgetRatio) {}

void TIterateObjLWFCalcPenaltyTerm::Visit() {
    const double w = *weight1;
    const double sign = w > 0.0 ? 1.0 : (w < 0.0 ? -1.0 : 0.0);
    *weight2 += sign * forgettingRate * ratio;
}

// ---------------------------------------------------------------------------------------------
// Direct walks
//
// The training walks below do, for the two matrix classes with contiguous storage, exactly what
// the visitor walks do: the same arcs (existing and trainable), in the same order (row by
// to-neuron, from-neuron inner), with the same operations in the same order, so every result is
// bit for bit that of the visitor. They apply only when the matrices of all networks involved are
// of exactly that class (a subclass may visit differently) and fall back to the visitor otherwise.
// A prunable matrix whose arcs are all trainable is walked without flag tests; otherwise each
// arc's flags are tested and the stores are selects (the old value for a skipped arc), so the
// loops carry no branch and no call per arc. The arrays of the three networks are distinct, which
// the restrict qualifiers tell the vectoriser.

namespace {

// An arc passes the training walks' mask (0) when it exists and is trainable.
inline bool Trainable(unsigned char flags) {
    return (flags & FMaskAll) == FMaskAll;
}

// The matrix as class C when it is exactly of that class (a subclass may visit differently), else
// null. The type_info objects are compared by address: on the rare platform where one class has
// two of them the answer is null, and the visitor walk is taken.
template <class C>
C* ExactClass(TBasicConnections* conn) {
    return &typeid(*conn) == &typeid(C) ? static_cast<C*>(conn) : nullptr;
}

using dense::AllFlagsHave;

// What is known of a matrix's flags before a walk: nothing (the walk scans them), or, during an
// epoch, the summary TrainEpoch took once for the whole epoch.
enum class Known : signed char { kNothing, kAllTrainable, kNotAllTrainable };

bool AllTrainable(const TPrunedConnections* conn, Known known) {
    if (known != Known::kNothing) {
        return known == Known::kAllTrainable;
    }
    return AllFlagsHave(conn->array_masks, conn->NumFrom() * conn->NumTo(), FMaskAll);
}

// The epoch's flag summary holds one byte per cell of the table (to * numLayers + from), each
// with these bits.
constexpr unsigned char kSummaryTaken = 4;
constexpr unsigned char kNetworkAllTrainable = 1;   // every flags byte of N's matrix FMaskAll
constexpr unsigned char kErrorNetAllTrainable = 2;  // every flags byte of E's has FMaskTrainable

Known KnownOf(const std::vector<unsigned char>& summary, int cell, unsigned char bit) {
    if (summary.empty() || (summary[cell] & kSummaryTaken) == 0) {
        return Known::kNothing;
    }
    return (summary[cell] & bit) != 0 ? Known::kAllTrainable : Known::kNotAllTrainable;
}

// The flags rows of a prunable matrix, or null when every arc of it is trainable, so that the
// walks can take the loops without a flags test.
unsigned char* const* FlagsUnlessAllTrainable(const TPrunedConnections* conn, Known known) {
    return AllTrainable(conn, known) ? nullptr : conn->index_masks;
}

// e_f += w * e_t; g += e_t * y_f over every arc of one matrix, all trainable. Every e_f receives
// its terms in row order, as in the visitor walk; four rows are taken in one pass over the
// from-neurons, so each e_f is loaded and stored once per four rows instead of once per row. Each
// element sees the same operations in the same order, so the digits are the same.
void ErrorsAndDeltasAllTrainable(double* const* weights,
                                 double* const* gradients,
                                 const double* __restrict actsFrom,
                                 double* __restrict errorsFrom,
                                 const double* __restrict errorsTo,
                                 int nFrom,
                                 int nTo) {
    int t = 0;
    for (; t + 4 <= nTo; t += 4) {
        const double s0 = errorsTo[t];
        const double s1 = errorsTo[t + 1];
        const double s2 = errorsTo[t + 2];
        const double s3 = errorsTo[t + 3];
        const double* __restrict w0 = weights[t];
        const double* __restrict w1 = weights[t + 1];
        const double* __restrict w2 = weights[t + 2];
        const double* __restrict w3 = weights[t + 3];
        double* __restrict g0 = gradients[t];
        double* __restrict g1 = gradients[t + 1];
        double* __restrict g2 = gradients[t + 2];
        double* __restrict g3 = gradients[t + 3];
        int f = 0;
#if defined(__SSE2__)
        // Two from-neurons per step; a lane of a packed multiply or add is the scalar operation.
        const __m128d v0 = _mm_set1_pd(s0);
        const __m128d v1 = _mm_set1_pd(s1);
        const __m128d v2 = _mm_set1_pd(s2);
        const __m128d v3 = _mm_set1_pd(s3);
        for (; f + 2 <= nFrom; f += 2) {
            const __m128d y = _mm_loadu_pd(actsFrom + f);
            __m128d e = _mm_loadu_pd(errorsFrom + f);
            e = _mm_add_pd(e, _mm_mul_pd(_mm_loadu_pd(w0 + f), v0));
            e = _mm_add_pd(e, _mm_mul_pd(_mm_loadu_pd(w1 + f), v1));
            e = _mm_add_pd(e, _mm_mul_pd(_mm_loadu_pd(w2 + f), v2));
            e = _mm_add_pd(e, _mm_mul_pd(_mm_loadu_pd(w3 + f), v3));
            _mm_storeu_pd(errorsFrom + f, e);
            _mm_storeu_pd(g0 + f, _mm_add_pd(_mm_loadu_pd(g0 + f), _mm_mul_pd(v0, y)));
            _mm_storeu_pd(g1 + f, _mm_add_pd(_mm_loadu_pd(g1 + f), _mm_mul_pd(v1, y)));
            _mm_storeu_pd(g2 + f, _mm_add_pd(_mm_loadu_pd(g2 + f), _mm_mul_pd(v2, y)));
            _mm_storeu_pd(g3 + f, _mm_add_pd(_mm_loadu_pd(g3 + f), _mm_mul_pd(v3, y)));
        }
#endif
        for (; f < nFrom; ++f) {
            const double y = actsFrom[f];
            double e = errorsFrom[f];
            e += w0[f] * s0;
            e += w1[f] * s1;
            e += w2[f] * s2;
            e += w3[f] * s3;
            errorsFrom[f] = e;
            g0[f] += s0 * y;
            g1[f] += s1 * y;
            g2[f] += s2 * y;
            g3[f] += s3 * y;
        }
    }
    for (; t < nTo; ++t) {
        const double errorTo = errorsTo[t];
        const double* __restrict w = weights[t];
        double* __restrict g = gradients[t];
        for (int f = 0; f < nFrom; ++f) {
            errorsFrom[f] += w[f] * errorTo;
            g[f] += errorTo * actsFrom[f];
        }
    }
}

// The same where flags is not null: only arcs that exist and are trainable take part; the stores
// are selects, the old value for a skipped arc.
void ErrorsAndDeltasRows(double* const* weights,
                         unsigned char* const* flags,
                         double* const* gradients,
                         const double* __restrict actsFrom,
                         double* __restrict errorsFrom,
                         const double* __restrict errorsTo,
                         int nFrom,
                         int nTo) {
    if (flags == nullptr) {
        ErrorsAndDeltasAllTrainable(weights, gradients, actsFrom, errorsFrom, errorsTo, nFrom, nTo);
        return;
    }
    for (int t = 0; t < nTo; ++t) {
        const double errorTo = errorsTo[t];
        const double* __restrict w = weights[t];
        double* __restrict g = gradients[t];
        const unsigned char* __restrict m = flags[t];
        for (int f = 0; f < nFrom; ++f) {
            const bool on = Trainable(m[f]);
            const double e = errorsFrom[f] + w[f] * errorTo;
            const double d = g[f] + errorTo * actsFrom[f];
            errorsFrom[f] = on ? e : errorsFrom[f];
            g[f] = on ? d : g[f];
        }
    }
}

// The two steps run over a matrix's weights as one array (the rows are contiguous, and each
// weight's step is independent of every other), without the per-row loop overhead.

// w -= learningRate * g. flags may be null (every arc trainable).
void PlainStep(double* __restrict w,
               const unsigned char* __restrict flags,
               const double* __restrict g,
               double learningRate,
               std::size_t count) {
    if (flags == nullptr) {
        for (std::size_t i = 0; i < count; ++i) {
            w[i] -= learningRate * g[i];
        }
        return;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const double stepped = w[i] - learningRate * g[i];
        w[i] = Trainable(flags[i]) ? stepped : w[i];
    }
}

// delta = -learningRate * g + momentum * d; d = delta; w += delta.
void MomentumStep(double* __restrict w,
                  const unsigned char* __restrict flags,
                  const double* __restrict g,
                  double* __restrict d,
                  double learningRate,
                  double momentum,
                  std::size_t count) {
    if (flags == nullptr) {
        for (std::size_t i = 0; i < count; ++i) {
            const double delta = -learningRate * g[i] + momentum * d[i];
            d[i] = delta;
            w[i] += delta;
        }
        return;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const bool on = Trainable(flags[i]);
        const double delta = -learningRate * g[i] + momentum * d[i];
        const double stepped = w[i] + delta;
        d[i] = on ? delta : d[i];
        w[i] = on ? stepped : w[i];
    }
}

std::size_t Count(const TBasicConnections* conn) {
    return static_cast<std::size_t>(conn->NumFrom()) * conn->NumTo();
}

// Walks the errors-and-deltas step of the matrix from `from` to `to` directly when N's and E's
// matrices share a class with contiguous storage; answers false when the visitor must do it.
bool ErrorsAndDeltasDirect(TBasicNetwork* n, TBasicNetwork* e, int from, int to, Known known) {
    TBasicConnections* c1 = n->priv_conns_index[to][from];
    TBasicConnections* c2 = e->priv_conns_index[to][from];
    const double* actsFrom = n->layers[from]->activations;
    double* errorsFrom = e->layers[from]->activations;
    const double* errorsTo = e->layers[to]->activations;
    if (auto* p1 = ExactClass<TPrunedConnections>(c1)) {
        if (auto* p2 = ExactClass<TPrunedConnections>(c2)) {
            ErrorsAndDeltasRows(p1->index_weights, FlagsUnlessAllTrainable(p1, known),
                                p2->index_weights, actsFrom, errorsFrom, errorsTo, c1->NumFrom(),
                                c1->NumTo());
            return true;
        }
    } else if (auto* f1 = ExactClass<TConnectedConnections>(c1)) {
        if (auto* f2 = ExactClass<TConnectedConnections>(c2)) {
            ErrorsAndDeltasRows(f1->index_weights, nullptr, f2->index_weights, actsFrom, errorsFrom,
                                errorsTo, c1->NumFrom(), c1->NumTo());
            return true;
        }
    }
    return false;
}

bool PlainStepDirect(TBasicConnections* c1,
                     TBasicConnections* c2,
                     double learningRate,
                     Known known) {
    if (auto* p1 = ExactClass<TPrunedConnections>(c1)) {
        if (auto* p2 = ExactClass<TPrunedConnections>(c2)) {
            PlainStep(p1->array_weights, AllTrainable(p1, known) ? nullptr : p1->array_masks,
                      p2->array_weights, learningRate, Count(c1));
            return true;
        }
    } else if (auto* f1 = ExactClass<TConnectedConnections>(c1)) {
        if (auto* f2 = ExactClass<TConnectedConnections>(c2)) {
            PlainStep(f1->array_weights, nullptr, f2->array_weights, learningRate, Count(c1));
            return true;
        }
    }
    return false;
}

bool MomentumStepDirect(TBasicConnections* c1,
                        TBasicConnections* c2,
                        TBasicConnections* c3,
                        double learningRate,
                        double momentum,
                        Known known) {
    if (auto* p1 = ExactClass<TPrunedConnections>(c1)) {
        auto* p2 = ExactClass<TPrunedConnections>(c2);
        auto* p3 = ExactClass<TPrunedConnections>(c3);
        if (p2 != nullptr && p3 != nullptr) {
            MomentumStep(p1->array_weights, AllTrainable(p1, known) ? nullptr : p1->array_masks,
                         p2->array_weights, p3->array_weights, learningRate, momentum, Count(c1));
            return true;
        }
    } else if (auto* f1 = ExactClass<TConnectedConnections>(c1)) {
        auto* f2 = ExactClass<TConnectedConnections>(c2);
        auto* f3 = ExactClass<TConnectedConnections>(c3);
        if (f2 != nullptr && f3 != nullptr) {
            MomentumStep(f1->array_weights, nullptr, f2->array_weights, f3->array_weights,
                         learningRate, momentum, Count(c1));
            return true;
        }
    }
    return false;
}

// errorNet->RandomizeWeights(0, 0), the gradients' reset before every pattern or batch, with the
// same cells in the same order and the same result: every weight whose FMaskTrainable bit is set
// becomes 0. The two contiguous classes are cleared directly; every other cell does it itself.
// summary is the epoch's flag summary of errorNet (empty outside an epoch).
void ClearGradients(TBasicNetwork* net, const std::vector<unsigned char>& summary) {
    const int n = net->numLayers;
    for (int from = 0; from < n; ++from) {
        for (int to = 0; to < n; ++to) {
            TBasicConnections* conn = net->priv_conns_index[to][from];
            if (auto* pruned = ExactClass<TPrunedConnections>(conn)) {
                const int count = conn->NumFrom() * conn->NumTo();
                double* w = pruned->array_weights;
                const unsigned char* flags = pruned->array_masks;
                const Known known = KnownOf(summary, to * n + from, kErrorNetAllTrainable);
                if (known == Known::kNothing ? AllFlagsHave(flags, count, FMaskTrainable)
                                             : known == Known::kAllTrainable) {
                    std::fill(w, w + count, 0.0);
                } else {
                    for (int i = 0; i < count; ++i) {
                        w[i] = (flags[i] & FMaskTrainable) != 0 ? 0.0 : w[i];
                    }
                }
            } else if (auto* full = ExactClass<TConnectedConnections>(conn)) {
                const int count = conn->NumFrom() * conn->NumTo();
                std::fill(full->array_weights, full->array_weights + count, 0.0);
            } else {
                conn->RandomizeWeights(0.0, 0.0);
            }
        }
    }
}

// The number under key in params, or fallback when the key is absent.
double RealOr(const TKQstructure* params, const char* key, double fallback) {
    const TKQstructure* value = params->Find(key);
    return value == nullptr ? fallback : TKQstructure::ToRealChecked(value->type);
}

bool WordIs(const TKQstructure* value, const char* word) {
    return strcasecmp(value->type, word) == 0;
}

// The constants of a penalty structure, read and checked once per use.
struct PenaltySettings {
    bool quadratic = false;
    double epsilon1 = 0.0;
    double epsilon2 = 0.0;
    double beta = 1.0;
    double forgettingRate = 0.0;
};

// Reads QUADPENALTY or LWF constants. An LWF structure must give FORGETTINGRATE, and the learning
// rate must not be 0 (the step divides by it); both are rejected with a TException at location.
PenaltySettings ReadPenalty(const TKQstructure* penalty,
                            double learningRate,
                            const char* location) {
    PenaltySettings settings;
    if (WordIs(penalty, "QUADPENALTY")) {
        settings.quadratic = true;
        settings.epsilon1 = RealOr(penalty, "EPSILON1", 0.0);
        settings.epsilon2 = RealOr(penalty, "EPSILON2", 0.0);
        settings.beta = RealOr(penalty, "BETA", 1.0);
        return settings;
    }
    RUVO_CHECK_TEXT(WordIs(penalty, "LWF"), "WEIGHTPENALTY is NONE, QUADPENALTY or LWF");
    const TKQstructure* rate = penalty->Find("FORGETTINGRATE");
    if (rate == nullptr) {
        throw TException("LWF weight penalty needs a FORGETTINGRATE", "Bad Parameter", location,
                         nullptr);
    }
    settings.forgettingRate = TKQstructure::ToRealChecked(rate->type);
    if (learningRate == 0.0) {
        throw TException("LWF weight penalty needs a learning rate other than 0", "Bad Parameter",
                         location, nullptr);
    }
    return settings;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TTrainModule

namespace {

TBasicNetwork* RequireNetwork(TBasicNetwork* network) {
    if (network == nullptr) {
        throw TException("Null network pointer", "Null Pointer Parameter",
                         "TTrainModule::TTrainModule", nullptr);
    }
    return network;
}

// A copy of network with every trainable weight 0.
TBasicNetwork* ZeroedCopy(const TBasicNetwork& network) {
    std::unique_ptr<TBasicNetwork> copy(new TBasicNetwork(network));
    copy->RandomizeWeights(0.0, 0.0);
    return copy.release();
}

}  // namespace

TTrainModule::FlagSummaryScope::FlagSummaryScope(TTrainModule* owner) : module(owner) {
    module->TakeFlagSummary();
}

TTrainModule::FlagSummaryScope::~FlagSummaryScope() {
    module->priv_flagSummary.clear();
}

void TTrainModule::TakeFlagSummary() {
    const int n = network->numLayers;
    priv_flagSummary.assign(static_cast<std::size_t>(n) * n, 0);
    for (int to = 0; to < n; ++to) {
        for (int from = 0; from < n; ++from) {
            const auto* pruned =
                ExactClass<TPrunedConnections>(network->priv_conns_index[to][from]);
            const auto* gradients =
                ExactClass<TPrunedConnections>(errorNet->priv_conns_index[to][from]);
            if (pruned == nullptr || gradients == nullptr) {
                continue;
            }
            const int count = pruned->NumFrom() * pruned->NumTo();
            unsigned char bits = kSummaryTaken;
            if (AllFlagsHave(pruned->array_masks, count, FMaskAll)) {
                bits |= kNetworkAllTrainable;
            }
            if (AllFlagsHave(gradients->array_masks, count, FMaskTrainable)) {
                bits |= kErrorNetAllTrainable;
            }
            priv_flagSummary[static_cast<std::size_t>(to) * n + from] = bits;
        }
    }
}

TTrainModule::TTrainModule(TBasicNetwork* net)
    : network(RequireNetwork(net)), momentumNet(nullptr), errorNet(nullptr) {
    std::unique_ptr<TBasicNetwork> momentum(ZeroedCopy(*network));
    errorNet = ZeroedCopy(*network);
    momentumNet = momentum.release();
}

TTrainModule::~TTrainModule() {
    delete errorNet;
    delete momentumNet;
}

double TTrainModule::Train(Data* data, TKQstructure* params, int* epochs) {
    if (params == nullptr || epochs == nullptr) {
        throw TException("Null parameter pointer", "Null Pointer Parameter", "TTrainModule::Train",
                         nullptr);
    }
    const double threshold = RealOr(params, "THRESHOLD", 0.0);
    double error = 0.0;
    for (int i = 0; i < *epochs; ++i) {
        error = TrainEpoch(data, params);
        if (error < threshold) {
            *epochs = i;
            return error;
        }
    }
    return error;
}

void TTrainModule::Update(TKQstructure* /*params*/) {
    RUVO_CHECK(false);
}

double TTrainModule::TrainEpoch(Data* data, TKQstructure* params) {
    const char* const location = "TTrainModule::TrainEpoch";
    if (data == nullptr) {
        throw TException("Null data pointer", "Null Pointer Parameter", location, nullptr);
    }
    if (params == nullptr) {
        throw TException("Null parameter pointer", "Null Pointer Parameter", location, nullptr);
    }
    // Without a row held, every slot would deliver the zeros of slot 0.
    if (data->MbrNdxRows <= 0 || data->MbrNdxDataRows <= 0) {
        throw TException("Data set has no rows to train on", "Bad Parameter", location, nullptr);
    }
    // The buffers hold what the data set delivers; the network reads its own input and output
    // counts from them, so anything shorter would be read past its end.
    const int numInputs = data->DeliveredInputs();
    const int numTargets = data->DeliveredOutputs();
    const int netInputs = network->layers[network->inLayer]->numNeurons;
    const int netOutputs = network->layers[network->outLayer]->numNeurons;
    if (numInputs < netInputs) {
        throw TException("Data set has fewer input columns than the network has inputs",
                         "Bad Parameter", location, nullptr);
    }
    if (numTargets != netOutputs) {
        throw TException("Data set output columns do not match the network outputs",
                         "Bad Parameter", location, nullptr);
    }

    const TKQstructure* batchValue = params->Find("BATCH");
    const bool batch = batchValue != nullptr && WordIs(batchValue, "TRUE");

    int errorFunction = 0;
    if (const TKQstructure* value = params->Find("ERRORFUNCTION")) {
        if (WordIs(value, "CROSSENTROPY")) {
            errorFunction = 1;
        } else {
            RUVO_CHECK_TEXT(WordIs(value, "MEANSQUAREDERROR"),
                            "ERRORFUNCTION is MEANSQUAREDERROR or CROSSENTROPY");
        }
    }

    const double learningRate = RealOr(params, "LEARNINGRATE", 1.0);

    TKQstructure* penalty = params->Find("WEIGHTPENALTY");
    if (penalty == nullptr) {
        params->Set("WEIGHTPENALTY", new TKQstructure("NONE"));
        penalty = params->Find("WEIGHTPENALTY");
    }
    const bool penalising = !WordIs(penalty, "NONE");
    if (penalising) {
        ReadPenalty(penalty, learningRate, location);  // rejects a bad structure up front
    }

    std::unique_ptr<TErrorObj> measure;
    if (errorFunction == 0) {
        measure.reset(new TErrorRMSObj(netOutputs));
    } else {
        measure.reset(new TErrorCrossEntropyObj(netOutputs));
    }
    std::vector<double> inputs(static_cast<std::size_t>(numInputs));
    std::vector<double> targets(static_cast<std::size_t>(numTargets));

    // The flags cannot change during the epoch: summarise them once instead of once per pattern.
    const FlagSummaryScope summaryScope(this);
    data->Rewind();
    const int n = data->MbrNdxRows;
    if (batch) {
        ClearGradients(errorNet, priv_flagSummary);
        for (int i = 0; i < n; ++i) {
            data->GetNext(inputs.data(), targets.data());
            LearnPattern(inputs.data(), targets.data(), errorFunction, measure.get());
        }
        if (penalising) {
            AddPenaltyGradient(penalty, n, n, learningRate);
        }
        Update(params);
    } else {
        for (int i = 0; i < n; ++i) {
            ClearGradients(errorNet, priv_flagSummary);
            data->GetNext(inputs.data(), targets.data());
            LearnPattern(inputs.data(), targets.data(), errorFunction, measure.get());
            if (penalising) {
                AddPenaltyGradient(penalty, 1, n, learningRate);
            }
            Update(params);
        }
    }

    if (penalising) {
        const int count = network->GetNumWeights(0);
        std::vector<double> weights(static_cast<std::size_t>(count));
        network->GetWeights(weights.data(), 0);
        measure->AddPenalty(count, weights.data(), penalty);
    }
    return measure->GetError();
}

void TTrainModule::LearnPattern(const double* inputs,
                                const double* targets,
                                int errorFunction,
                                TErrorObj* error) {
    ClearErrors();
    ComputeOutputErrors(inputs, targets, error);
    BackpropagateErrors(errorFunction);
}

void TTrainModule::ClearErrors() {
    for (int i = 0; i < errorNet->numLayers; ++i) {
        TBasicLayer* layer = errorNet->layers[i];
        std::fill(layer->activations, layer->activations + layer->numNeurons, 0.0);
    }
}

void TTrainModule::ComputeOutputErrors(const double* inputs,
                                       const double* targets,
                                       TErrorObj* error) {
    const int count = network->layers[network->outLayer]->numNeurons;
    priv_outputs.resize(static_cast<std::size_t>(count));
    double* outputs = priv_outputs.data();
    network->Recall(inputs, outputs);
    if (error != nullptr) {
        error->Accumulate(targets, outputs);
    }
    double* signals = errorNet->layers[errorNet->outLayer]->activations;
    for (int i = 0; i < count; ++i) {
        signals[i] = outputs[i] - targets[i];
    }
}

void TTrainModule::BackpropagateErrors(int errorFunction) {
    for (int layer = network->numLayers - 1; layer >= 0; --layer) {
        BackpropagateLayer(layer, errorFunction);
    }
}

void TTrainModule::BackpropagateLayer(int layer, int errorFunction) {
    RUVO_CHECK(layer >= 0 && layer < network->numLayers);
    TBasicLayer* errorLayer = errorNet->layers[layer];
    TActFunction fn = errorLayer->GetActFunction();
    RUVO_CHECK_TEXT(fn != nullptr, "fn!= NULL");

    double* e = errorLayer->activations;
    const double* a = network->layers[layer]->activations;
    const int n = errorLayer->numNeurons;
    // The gain functions occur only in gain layers; their derivatives read the gain of E's
    // neurons, copies of N's.
    TGainNeuron* gains = nullptr;
    if (fn == ActLinearGain || fn == ActSigmoidGain || fn == ActTanhGain) {
        TGainLayer* gainLayer = dynamic_cast<TGainLayer*>(errorLayer);
        RUVO_CHECK_TEXT(gainLayer != nullptr, "gain functions only in a TGainLayer");
        gains = gainLayer->nodes;
    }

    if (errorFunction == 1 && layer == network->outLayer) {
        // Sigmoid outputs with cross entropy: output - target already is the signal with respect
        // to the net input.
        RUVO_CHECK(fn == ActSigmoid);
    } else if (fn == ActLinear) {
        // derivative 1
    } else if (fn == ActLinearGain) {
        for (int i = 0; i < n; ++i) {
            e[i] = e[i] * gains[i].gain;  // derivative g
        }
    } else if (fn == ActSigmoid) {
        for (int i = 0; i < n; ++i) {
            e[i] = e[i] * a[i] * (1.0 - a[i]);  // derivative a (1 - a)
        }
    } else if (fn == ActTanh) {
        for (int i = 0; i < n; ++i) {
            e[i] = e[i] * (1.0 - a[i] * a[i]);  // derivative 1 - a^2
        }
    } else if (fn == ActSigmoidGain) {
        for (int i = 0; i < n; ++i) {
            e[i] = e[i] * gains[i].gain * a[i] * (1.0 - a[i]);  // derivative g a (1 - a)
        }
    } else if (fn == ActTanhGain) {
        for (int i = 0; i < n; ++i) {
            e[i] = e[i] * gains[i].gain * (1.0 - a[i] * a[i]);  // derivative g (1 - a^2)
        }
    } else {
        // No derivative: the signals cannot pass through a connected matrix into this layer.
        fn = ActError;
    }

    TIterateObj2ErrorsAndDeltas visitor;
    for (int from = layer - 1; from >= 0; --from) {
        TBasicConnections* conn = network->priv_conns_index[layer][from];
        if (!conn->IsConnected()) {
            continue;
        }
        RUVO_CHECK(fn != ActError);
        const Known known =
            KnownOf(priv_flagSummary, layer * network->numLayers + from, kNetworkAllTrainable);
        if (!ErrorsAndDeltasDirect(network, errorNet, from, layer, known)) {
            conn->IterateArcs2(visitor, errorNet, 0);
        }
    }
}

void TTrainModule::UpdateWeights(double learningRate, double momentum) {
    const int n = network->numLayers;
    TIterateObj3UpdateMomentum momentumStep(learningRate, momentum);
    TIterateObj2Update plainStep(learningRate);
    for (int from = 0; from < n; ++from) {
        for (int to = 0; to < n; ++to) {
            TBasicConnections* conn = network->priv_conns_index[to][from];
            if (!conn->IsConnected()) {
                continue;
            }
            TBasicConnections* gradients = errorNet->priv_conns_index[to][from];
            const Known known = KnownOf(priv_flagSummary, to * n + from, kNetworkAllTrainable);
            if (momentum != 0.0) {
                TBasicConnections* changes = momentumNet->priv_conns_index[to][from];
                if (!MomentumStepDirect(conn, gradients, changes, learningRate, momentum, known)) {
                    conn->IterateArcs3(momentumStep, errorNet, momentumNet, 0);
                }
            } else if (!PlainStepDirect(conn, gradients, learningRate, known)) {
                conn->IterateArcs2(plainStep, errorNet, 0);
            }
        }
    }
}

void TTrainModule::AddPenaltyGradient(TKQstructure* penalty,
                                      int patterns,
                                      int total,
                                      double learningRate) {
    RUVO_CHECK(penalty != nullptr);
    const PenaltySettings settings =
        ReadPenalty(penalty, learningRate, "TTrainModule::AddPenaltyGradient");
    TIterateObj2CalcPenaltyTerm quadratic(settings.epsilon1 * learningRate * patterns / total,
                                          settings.epsilon2 * learningRate * patterns / total,
                                          settings.beta);
    TIterateObjLWFCalcPenaltyTerm forgetting(settings.forgettingRate,
                                             settings.forgettingRate / learningRate);
    TIterateObj2& visitor = settings.quadratic ? static_cast<TIterateObj2&>(quadratic)
                                               : static_cast<TIterateObj2&>(forgetting);
    const int n = network->numLayers;
    for (int from = 0; from < n; ++from) {
        for (int to = 0; to < n; ++to) {
            TBasicConnections* conn = network->priv_conns_index[to][from];
            if (conn->IsConnected()) {
                conn->IterateArcs2(visitor, errorNet, 0);
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// TBackpropModule

TBackpropModule::TBackpropModule(TBasicNetwork* net) : TTrainModule(net) {}

void TBackpropModule::Update(TKQstructure* params) {
    RUVO_CHECK(params != nullptr);
    UpdateWeights(RealOr(params, "LEARNINGRATE", 0.0), RealOr(params, "MOMENTUM", 0.0));
}

}  // namespace ruvo
