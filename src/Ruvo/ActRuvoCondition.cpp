#include "KQmessage/Check.h"
#include "NeuralNets/ActFunctions.h"

namespace ruvo {

// The membership degree of a condition neuron. It needs the condition layer's neurons, which
// come with the fuzzy network; until then applying it is an internal error.
void ActRuvoCondition(TBasicNeuron*, double) {
    RUVO_CHECK_TEXT(false, "ActRuvoCondition needs the condition layer");
}

}  // namespace ruvo
