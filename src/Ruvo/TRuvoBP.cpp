#include "Ruvo/TRuvoBP.h"

#include "KQmessage/Check.h"
#include "KQmessage/KQML.h"
#include "Ruvo/TRuvo.h"
#include "Ruvo/TRuvoOutputLayer.h"
#include "Ruvo/TToOutputConnections.h"

namespace ruvo {

namespace {

// Layer numbers of the fuzzy network's layout.
constexpr int kRuleLayer = 3;
constexpr int kActionLayer = 4;
constexpr int kOutputLayer = 5;

// network, once it is known to be a six-layer TRuvo whose output layer, action layer and centre
// matrix fit together; the desired degrees are computed from that layout and would otherwise read
// outside it.
TBasicNetwork* RequireRuvo(TBasicNetwork* network) {
    const char* const location = "TRuvoBP::TRuvoBP";
    if (network == nullptr) {
        throw TException("Null network pointer", "Null Pointer Parameter", location, nullptr);
    }
    if (dynamic_cast<TRuvo*>(network) == nullptr || network->numLayers != 6) {
        throw TException("Network is not a six-layer Ruvo network", "Bad Parameter", location,
                         nullptr);
    }
    const auto* outputs = dynamic_cast<const TRuvoOutputLayer*>(network->layers[kOutputLayer]);
    const TBasicConnections* centres = network->priv_conns_index[kOutputLayer][kActionLayer];
    if (outputs == nullptr || dynamic_cast<const TToOutputConnections*>(centres) == nullptr) {
        throw TException("Ruvo network has no defuzzification layer after its action layer",
                         "Bad Parameter", location, nullptr);
    }
    int total = 0;
    for (int o = 0; o < outputs->numNeurons; ++o) {
        if (outputs->mfPerOutput == nullptr || outputs->mfPerOutput[o] < 2) {
            throw TException("Must be >= 2 MF per output", "Bad Parameter", location, nullptr);
        }
        total += outputs->mfPerOutput[o];
    }
    if (total != outputs->totalMFs || total != network->layers[kActionLayer]->numNeurons) {
        throw TException("Output membership functions do not match the action layer",
                         "Bad Parameter", location, nullptr);
    }
    return network;
}

}  // namespace

double DesiredDegree(int m, int k, double previous, double centre, double next, double t) {
    if (m == 0) {
        if (t <= centre) {
            return 1.0;
        }
        if (t < next) {
            return 1.0 - (t - centre) / (next - centre);
        }
        return 0.0;
    }
    if (m == k - 1) {
        if (t >= centre) {
            return 1.0;
        }
        if (previous < t) {
            return 1.0 - (centre - t) / (centre - previous);
        }
        return 0.0;
    }
    if (centre < t && t < next) {
        return 1.0 - (t - centre) / (next - centre);
    }
    if (previous < t && t < centre) {
        return 1.0 - (centre - t) / (centre - previous);
    }
    if (t == centre) {
        return 1.0;
    }
    return 0.0;
}

TRuvoBP::TRuvoBP(TBasicNetwork* net) : TBackpropModule(RequireRuvo(net)) {}

TRuvoBP::~TRuvoBP() = default;

void TRuvoBP::BackpropagateErrors(int errorFunction) {
    const auto* outputs = static_cast<const TRuvoOutputLayer*>(network->layers[kOutputLayer]);
    TBasicConnections* centres = network->priv_conns_index[kOutputLayer][kActionLayer];
    const double* outputActs = outputs->activations;
    const double* outputSignals = errorNet->layers[kOutputLayer]->activations;
    const double* actionActs = network->layers[kActionLayer]->activations;
    double* actionSignals = errorNet->layers[kActionLayer]->activations;

    int a = 0;  // first action neuron of output j
    for (int j = 0; j < outputs->numNeurons; ++j) {
        const int k = outputs->mfPerOutput[j];
        // output - (output - target)
        const double t = outputActs[j] - outputSignals[j];
        double previous = 0.0;
        double centre = *centres->GetWeight(a, j);
        for (int m = 0; m < k; ++m) {
            const double next = m + 1 < k ? *centres->GetWeight(a + m + 1, j) : 0.0;
            const double mu = DesiredDegree(m, k, previous, centre, next, t);
            actionSignals[a + m] = actionActs[a + m] - mu;
            previous = centre;
            centre = next;
        }
        a += k;
    }
    BackpropagateLayer(kActionLayer, errorFunction);
    BackpropagateLayer(kRuleLayer, errorFunction);
}

}  // namespace ruvo
