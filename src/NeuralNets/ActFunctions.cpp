#include "NeuralNets/ActFunctions.h"

#include <cmath>
#include <cstring>

#include "KQmessage/Check.h"
#include "KQmessage/KQML.h"
#include "NeuralNets/TBasicLayer.h"

namespace ruvo {

namespace {

constexpr int kInitialCapacity = 16;

// A copy of text in an array the registry owns.
char* CopyName(const char* text) {
    const std::size_t length = std::strlen(text);
    char* copy = new char[length + 1];
    std::memcpy(copy, text, length + 1);
    return copy;
}

double Gain(const TBasicNeuron* neuron) {
    return static_cast<const TGainNeuron*>(neuron)->gain;
}

}  // namespace

void ActError(TBasicNeuron*, double) {
    RUVO_CHECK_TEXT(false, "actFunction != ActError (neuron without an activation function)");
}

void ActNull(TBasicNeuron*, double) {
    RUVO_CHECK_TEXT(false, "actFunction != ActNull");
}

void ActBias(TBasicNeuron* neuron, double) {
    *neuron->activation = 1.0;
}

void ActLinear(TBasicNeuron* neuron, double net) {
    *neuron->activation = net;
}

void ActSaturatedLinear(TBasicNeuron* neuron, double net) {
    double a = 0.0;  // also for a net input that is not a number
    if (net >= 1.0) {
        a = 1.0;
    } else if (net > 0.0) {
        a = net;
    }
    *neuron->activation = a;
}

void ActSigmoid(TBasicNeuron* neuron, double net) {
    // Below -500 the value is cut off at 1e-300 rather than computed (or flushed to 0).
    *neuron->activation = net < -500.0 ? 1e-300 : 1.0 / (1.0 + std::exp(-net));
}

void ActTanh(TBasicNeuron* neuron, double net) {
    *neuron->activation = std::tanh(net);
}

void ActLinearGain(TBasicNeuron* neuron, double net) {
    *neuron->activation = Gain(neuron) * net;
}

void ActSigmoidGain(TBasicNeuron* neuron, double net) {
    // No cut-off: where exp overflows to infinity the quotient is 0.
    *neuron->activation = 1.0 / (1.0 + std::exp(-(Gain(neuron) * net)));
}

void ActTanhGain(TBasicNeuron* neuron, double net) {
    *neuron->activation = std::tanh(Gain(neuron) * net);
}

void ActCog(TBasicNeuron*, double) {
    RUVO_CHECK_TEXT(false, "actFunction != ActCog (the defuzzifying layer computes its outputs)");
}

TFnRegistry::TFnRegistry()
    : entries(new TFnEntry[kInitialCapacity]), capacity(kInitialCapacity), count(0) {}

TFnRegistry::~TFnRegistry() {
    for (int i = 0; i < count; ++i) {
        delete[] entries[i].name;
    }
    delete[] entries;
}

void TFnRegistry::RegisterStandard() {
    Register(ActError, "error");
    Register(ActNull, "null");
    Register(ActBias, "bias");
    Register(ActLinear, "linear");
    Register(ActSaturatedLinear, "saturated-linear");
    Register(ActSigmoid, "sigmoid");
    Register(ActTanh, "tanh");
    Register(ActLinearGain, "linear-gain");
    Register(ActSigmoidGain, "sigmoid-gain");
    Register(ActTanhGain, "tanh-gain");
    Register(ActCog, "cog");
    Register(ActRuvoCondition, "Ruvo-condition");
}

void TFnRegistry::Grow() {
    const int grown = capacity * 2;
    TFnEntry* moved = new TFnEntry[grown];
    for (int i = 0; i < count; ++i) {
        moved[i] = entries[i];
    }
    delete[] entries;
    entries = moved;
    capacity = grown;
}

int TFnRegistry::IndexOf(const char* name) const {
    for (int i = count - 1; i >= 0; --i) {
        if (ruvo::strcasecmp(name, entries[i].name) == 0) {
            return i;
        }
    }
    return -1;
}

void TFnRegistry::Register(TActFunction fn, const char* name) {
    RUVO_CHECK(name != nullptr);
    for (int i = count - 1; i >= 0; --i) {
        RUVO_CHECK_TEXT(ruvo::strcasecmp(name, entries[i].name) != 0, "strcasecmp(p,pp->name)!=0");
    }
    if (count == capacity) {
        Grow();
    }
    entries[count].name = CopyName(name);
    entries[count].fn = fn;
    ++count;
}

TActFunction TFnRegistry::Find(const char* name) const {
    const int i = IndexOf(name);
    return i < 0 ? nullptr : entries[i].fn;
}

TActFunction TFnRegistry::Lookup(const char* name) const {
    // A name from a file may be unknown; the reader rejects the file, so this is no internal
    // error.
    const TActFunction fn = Find(name);
    return fn != nullptr ? fn : ActError;
}

const char* TFnRegistry::GetName(TActFunction fn) const {
    for (int i = count - 1; i >= 0; --i) {
        if (entries[i].fn == fn) {
            return entries[i].name;
        }
    }
    RUVO_CHECK_TEXT(false, "GetName: function is registered");
    return nullptr;
}

TActFunction& TFnRegistry::Entry(const char* name) {
    const int i = IndexOf(name);
    if (i >= 0) {
        return entries[i].fn;
    }
    if (count == capacity) {
        Grow();
    }
    entries[count].name = CopyName(name);
    entries[count].fn = nullptr;
    ++count;
    return entries[count - 1].fn;
}

}  // namespace ruvo
