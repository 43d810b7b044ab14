#ifndef RUVO_NEURALNETS_ACTFUNCTIONS_H
#define RUVO_NEURALNETS_ACTFUNCTIONS_H

// Activation functions and the registry that maps their names to them and back. A function turns
// a neuron's net input into its activation and stores it through the neuron's `activation`
// pointer; the functions keep no state. Network files store the names; layers, neurons and the
// training module hold and compare the function pointers.

namespace ruvo {

class TBasicNeuron;

// Computes the activation of neuron from its net input net and stores it through
// neuron->activation.
typedef void (*TActFunction)(TBasicNeuron* neuron, double net);

// The standard functions, in the order a registry registers them. a is the activation, g the gain
// of a gain neuron.
// "error": the function of a neuron that was never given one; applying it is an internal error.
void ActError(TBasicNeuron* neuron, double net);
// "null": the common function reported for a layer without neurons; applying it is an internal
// error.
void ActNull(TBasicNeuron* neuron, double net);
// "bias": a = 1.0 whatever net is.
void ActBias(TBasicNeuron* neuron, double net);
// "linear": a = net; derivative 1.
void ActLinear(TBasicNeuron* neuron, double net);
// "saturated-linear": a = 1 for net >= 1, net for 0 < net < 1, 0 for net <= 0 or not a number.
void ActSaturatedLinear(TBasicNeuron* neuron, double net);
// "sigmoid": a = 1 / (1 + exp(-net)), but 1e-300 for net < -500; derivative a * (1 - a).
void ActSigmoid(TBasicNeuron* neuron, double net);
// "tanh": a = tanh(net); derivative 1 - a * a.
void ActTanh(TBasicNeuron* neuron, double net);
// "linear-gain": a = g * net; derivative g. Gain neurons only.
void ActLinearGain(TBasicNeuron* neuron, double net);
// "sigmoid-gain": a = 1 / (1 + exp(-g * net)), no lower cut-off (0 where exp overflows);
// derivative g * a * (1 - a). Gain neurons only.
void ActSigmoidGain(TBasicNeuron* neuron, double net);
// "tanh-gain": a = tanh(g * net); derivative g * (1 - a * a). Gain neurons only.
void ActTanhGain(TBasicNeuron* neuron, double net);
// "cog": names the defuzzifying output layer's method; that layer computes its outputs itself, so
// applying the function is an internal error.
void ActCog(TBasicNeuron* neuron, double net);
// "Ruvo-condition": the membership degree of a condition neuron of the fuzzy network. Defined in
// the Ruvo folder together with the condition layer, whose neurons it reads.
void ActRuvoCondition(TBasicNeuron* neuron, double net);

// One registered function: the registry's own copy of the name and the function.
struct TFnEntry {
    char* name;
    TActFunction fn;
};

// Maps activation-function names to functions and back. Names are compared without regard to
// case; the registered spelling is what GetName answers. Each network owns one.
class TFnRegistry {
public:
    // An empty registry with room for 16 entries; callers then call RegisterStandard.
    TFnRegistry();
    TFnRegistry(const TFnRegistry&) = delete;
    TFnRegistry& operator=(const TFnRegistry&) = delete;

    // Releases every name and the entry array.
    virtual ~TFnRegistry();
    // Registers the twelve standard functions in their fixed order.
    virtual void RegisterStandard();

    // Appends (copy of name, fn), doubling the capacity when full. The name must differ from every
    // registered one without regard to case (internal error otherwise).
    void Register(TActFunction fn, const char* name);
    // The function registered under name (any case). An unregistered name answers ActError; use
    // Find to tell a missing name apart.
    TActFunction Lookup(const char* name) const;
    // The function registered under name (any case), or null when there is none.
    TActFunction Find(const char* name) const;
    // The name fn was registered with, spelled as registered. An unregistered function is an
    // internal error.
    const char* GetName(TActFunction fn) const;
    // The function field of the entry named name; on a miss an entry (name, null) is appended
    // first.
    TActFunction& Entry(const char* name);

    TFnEntry* entries;  // owned, `capacity` slots, the first `count` in use, in registration order
    int capacity;
    int count;

private:
    void Grow();
    int IndexOf(const char* name) const;  // last matching entry, -1 when none
};

}  // namespace ruvo

#endif
