#include "NeuralNets/TErrorObj.h"

#include <cmath>

#include "KQmessage/Check.h"
#include "KQmessage/KQML.h"

namespace ruvo {

namespace {

// What a cross-entropy output of exactly 0 or 1 adds when the target is not the same value.
constexpr double kSaturatedPenalty = 1000000.0;

// The value of key in penalty as a number, or fallback when the key is absent.
double Constant(const TKQstructure* penalty, const char* key, double fallback) {
    const TKQstructure* value = penalty->Find(key);
    if (value == nullptr) {
        return fallback;
    }
    return TKQstructure::ToRealChecked(value->type);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TErrorObj

TErrorObj::TErrorObj(int outputs) : numOutputs(outputs), numPatterns(0) {
    RUVO_CHECK(outputs >= 0);
}

TErrorObj::~TErrorObj() = default;

double TErrorObj::PenaltyTerm(int count,
                              const double* weights,
                              TKQstructure* penalty,
                              double factor) const {
    if (penalty == nullptr || strcasecmp(penalty->type, "NONE") == 0) {
        return 0.0;
    }
    if (strcasecmp(penalty->type, "QUADPENALTY") == 0) {
        const double epsilon1 = Constant(penalty, "EPSILON1", 0.0);
        const double epsilon2 = Constant(penalty, "EPSILON2", 0.0);
        const double beta = Constant(penalty, "BETA", 1.0);
        double result = 0.0;
        for (int i = 0; i < count; ++i) {
            const double square = weights[i] * weights[i];
            result +=
                factor * (epsilon1 * beta * square / (beta * square + 1.0) + epsilon2 * square);
        }
        return result;
    }
    if (strcasecmp(penalty->type, "LWF") == 0) {
        const double learningRate = Constant(penalty, "LEARNINGRATE", 0.0);
        const double forgettingRate = Constant(penalty, "FORGETTINGRATE", 0.0);
        double magnitude = 0.0;
        for (int i = 0; i < count; ++i) {
            magnitude += std::fabs(weights[i]);
        }
        return learningRate * forgettingRate * magnitude;
    }
    RUVO_CHECK_TEXT(false, "penalty is NONE, QUADPENALTY or LWF");
    return 0.0;
}

// ---------------------------------------------------------------------------------------------
// TErrorRMSObj

TErrorRMSObj::TErrorRMSObj(int outputs) : TErrorObj(outputs), sum(0.0) {}

void TErrorRMSObj::Reset() {
    numPatterns = 0;
    sum = 0.0;
}

void TErrorRMSObj::Accumulate(const double* targets, const double* outputs) {
    for (int i = 0; i < numOutputs; ++i) {
        const double difference = targets[i] - outputs[i];
        sum += difference * difference;
    }
    ++numPatterns;
}

double TErrorRMSObj::GetError() {
    if (numPatterns == 0 || numOutputs == 0) {
        return 0.0;
    }
    return std::sqrt(sum / numOutputs / numPatterns);
}

void TErrorRMSObj::AddPenalty(int count, const double* weights, TKQstructure* penalty) {
    sum += PenaltyTerm(count, weights, penalty, 1.0);
}

// ---------------------------------------------------------------------------------------------
// TErrorCrossEntropyObj

TErrorCrossEntropyObj::TErrorCrossEntropyObj(int outputs) : TErrorObj(outputs), sum(0.0) {}

void TErrorCrossEntropyObj::Reset() {
    numPatterns = 0;
    sum = 0.0;
}

void TErrorCrossEntropyObj::Accumulate(const double* targets, const double* outputs) {
    for (int i = 0; i < numOutputs; ++i) {
        const double y = outputs[i];
        const double t = targets[i];
        if (y == 1.0) {
            sum += (t == 1.0) ? 0.0 : kSaturatedPenalty;
        } else if (y == 0.0) {
            sum += (t == 0.0) ? 0.0 : kSaturatedPenalty;
        } else {
            sum += -t * std::log(y) - (1.0 - t) * std::log(1.0 - y);
        }
    }
    ++numPatterns;
}

double TErrorCrossEntropyObj::GetError() {
    return sum;
}

void TErrorCrossEntropyObj::AddPenalty(int count, const double* weights, TKQstructure* penalty) {
    sum += PenaltyTerm(count, weights, penalty, 1.0);
}

}  // namespace ruvo
