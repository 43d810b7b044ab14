#include "NeuralNets/TTrainModule.h"

#include <algorithm>
#include <memory>
#include <typeinfo>

#include "DataObject/Data.h"
#include "KQmessage/Check.h"
#include "KQmessage/KQML.h"
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

// True when every one of the n flags bytes has all the given bits.
bool AllFlagsHave(const unsigned char* flags, int n, unsigned char bits) {
    unsigned char missing = 0;
    for (int i = 0; i < n; ++i) {
        missing |= static_cast<unsigned char>(~flags[i]);
    }
    return (missing & bits) == 0;
}

// The flags rows of a prunable matrix, or null when every arc of it is trainable, so that the
// walks can take the loops without a flags test.
unsigned char* const* FlagsUnlessAllTrainable(const TPrunedConnections* conn) {
    const int n = conn->NumFrom() * conn->NumTo();
    return AllFlagsHave(conn->array_masks, n, FMaskAll) ? nullptr : conn->index_masks;
}

// e_f += w * e_t; g += e_t * y_f over the arcs of one matrix. flags may be null (every arc
// trainable).
void ErrorsAndDeltasRows(double* const* weights,
                         unsigned char* const* flags,
                         double* const* gradients,
                         const double* __restrict actsFrom,
                         double* __restrict errorsFrom,
                         const double* __restrict errorsTo,
                         int nFrom,
                         int nTo) {
    for (int t = 0; t < nTo; ++t) {
        const double errorTo = errorsTo[t];
        const double* __restrict w = weights[t];
        double* __restrict g = gradients[t];
        if (flags == nullptr) {
            for (int f = 0; f < nFrom; ++f) {
                errorsFrom[f] += w[f] * errorTo;
                g[f] += errorTo * actsFrom[f];
            }
        } else {
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
}

// w -= learningRate * g.
void PlainStepRows(double* const* weights,
                   unsigned char* const* flags,
                   double* const* gradients,
                   double learningRate,
                   int nFrom,
                   int nTo) {
    for (int t = 0; t < nTo; ++t) {
        double* __restrict w = weights[t];
        const double* __restrict g = gradients[t];
        if (flags == nullptr) {
            for (int f = 0; f < nFrom; ++f) {
                w[f] -= learningRate * g[f];
            }
        } else {
            const unsigned char* __restrict m = flags[t];
            for (int f = 0; f < nFrom; ++f) {
                const double stepped = w[f] - learningRate * g[f];
                w[f] = Trainable(m[f]) ? stepped : w[f];
            }
        }
    }
}

// delta = -learningRate * g + momentum * d; d = delta; w += delta.
void MomentumStepRows(double* const* weights,
                      unsigned char* const* flags,
                      double* const* gradients,
                      double* const* changes,
                      double learningRate,
                      double momentum,
                      int nFrom,
                      int nTo) {
    for (int t = 0; t < nTo; ++t) {
        double* __restrict w = weights[t];
        const double* __restrict g = gradients[t];
        double* __restrict d = changes[t];
        if (flags == nullptr) {
            for (int f = 0; f < nFrom; ++f) {
                const double delta = -learningRate * g[f] + momentum * d[f];
                d[f] = delta;
                w[f] += delta;
            }
        } else {
            const unsigned char* __restrict m = flags[t];
            for (int f = 0; f < nFrom; ++f) {
                const bool on = Trainable(m[f]);
                const double delta = -learningRate * g[f] + momentum * d[f];
                const double stepped = w[f] + delta;
                d[f] = on ? delta : d[f];
                w[f] = on ? stepped : w[f];
            }
        }
    }
}

// Walks the errors-and-deltas step of the matrix from `from` to `to` directly when N's and E's
// matrices share a class with contiguous storage; answers false when the visitor must do it.
bool ErrorsAndDeltasDirect(TBasicNetwork* n, TBasicNetwork* e, int from, int to) {
    TBasicConnections* c1 = n->priv_conns_index[to][from];
    TBasicConnections* c2 = e->priv_conns_index[to][from];
    const double* actsFrom = n->layers[from]->activations;
    double* errorsFrom = e->layers[from]->activations;
    const double* errorsTo = e->layers[to]->activations;
    if (auto* p1 = ExactClass<TPrunedConnections>(c1)) {
        if (auto* p2 = ExactClass<TPrunedConnections>(c2)) {
            ErrorsAndDeltasRows(p1->index_weights, FlagsUnlessAllTrainable(p1), p2->index_weights,
                                actsFrom, errorsFrom, errorsTo, c1->NumFrom(), c1->NumTo());
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

bool PlainStepDirect(TBasicConnections* c1, TBasicConnections* c2, double learningRate) {
    if (auto* p1 = ExactClass<TPrunedConnections>(c1)) {
        if (auto* p2 = ExactClass<TPrunedConnections>(c2)) {
            PlainStepRows(p1->index_weights, FlagsUnlessAllTrainable(p1), p2->index_weights,
                          learningRate, c1->NumFrom(), c1->NumTo());
            return true;
        }
    } else if (auto* f1 = ExactClass<TConnectedConnections>(c1)) {
        if (auto* f2 = ExactClass<TConnectedConnections>(c2)) {
            PlainStepRows(f1->index_weights, nullptr, f2->index_weights, learningRate,
                          c1->NumFrom(), c1->NumTo());
            return true;
        }
    }
    return false;
}

bool MomentumStepDirect(TBasicConnections* c1,
                        TBasicConnections* c2,
                        TBasicConnections* c3,
                        double learningRate,
                        double momentum) {
    if (auto* p1 = ExactClass<TPrunedConnections>(c1)) {
        auto* p2 = ExactClass<TPrunedConnections>(c2);
        auto* p3 = ExactClass<TPrunedConnections>(c3);
        if (p2 != nullptr && p3 != nullptr) {
            MomentumStepRows(p1->index_weights, FlagsUnlessAllTrainable(p1), p2->index_weights,
                             p3->index_weights, learningRate, momentum, c1->NumFrom(), c1->NumTo());
            return true;
        }
    } else if (auto* f1 = ExactClass<TConnectedConnections>(c1)) {
        auto* f2 = ExactClass<TConnectedConnections>(c2);
        auto* f3 = ExactClass<TConnectedConnections>(c3);
        if (f2 != nullptr && f3 != nullptr) {
            MomentumStepRows(f1->index_weights, nullptr, f2->index_weights, f3->index_weights,
                             learningRate, momentum, c1->NumFrom(), c1->NumTo());
            return true;
        }
    }
    return false;
}

// errorNet->RandomizeWeights(0, 0), the gradients' reset before every pattern or batch, with the
// same cells in the same order and the same result: every weight whose FMaskTrainable bit is set
// becomes 0. The two contiguous classes are cleared directly; every other cell does it itself.
void ClearGradients(TBasicNetwork* net) {
    const int n = net->numLayers;
    for (int from = 0; from < n; ++from) {
        for (int to = 0; to < n; ++to) {
            TBasicConnections* conn = net->priv_conns_index[to][from];
            if (auto* pruned = ExactClass<TPrunedConnections>(conn)) {
                const int count = conn->NumFrom() * conn->NumTo();
                double* w = pruned->array_weights;
                const unsigned char* flags = pruned->array_masks;
                if (AllFlagsHave(flags, count, FMaskTrainable)) {
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
    const int numInputs = data->MbrNdxInputSel > 0 ? data->MbrNdxInputSel : data->MbrNdxInputs;
    const int numTargets = data->MbrNdxOutputSel > 0 ? data->MbrNdxOutputSel : data->MbrNdxOutputs;
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

    data->Rewind();
    const int n = data->MbrNdxRows;
    if (batch) {
        ClearGradients(errorNet);
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
            ClearGradients(errorNet);
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
        if (!ErrorsAndDeltasDirect(network, errorNet, from, layer)) {
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
            if (momentum != 0.0) {
                TBasicConnections* changes = momentumNet->priv_conns_index[to][from];
                if (!MomentumStepDirect(conn, gradients, changes, learningRate, momentum)) {
                    conn->IterateArcs3(momentumStep, errorNet, momentumNet, 0);
                }
            } else if (!PlainStepDirect(conn, gradients, learningRate)) {
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
