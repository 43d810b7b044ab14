#include "Ruvo/TConditionLayer.h"

#include <memory>
#include <typeinfo>

#include "KQmessage/Check.h"
#include "KQmessage/KQML.h"
#include "NeuralNets/TBasicNetwork.h"

namespace ruvo {

// "Ruvo-condition" is declared in NeuralNets/ActFunctions.h, because the standard registry names
// it, and defined here with the condition layer whose neurons it reads. A network file can attach
// it to a neuron of another layer class; that neuron has no centre, so the call raises TException
// instead of reading a neuron it does not have.
void ActRuvoCondition(TBasicNeuron* neuron, double net) {
    if (typeid(*neuron) != typeid(TConditionNeuron)) {
        throw TException("Ruvo-condition needs a neuron of a condition layer", "Bad Parameter",
                         "ActRuvoCondition", nullptr);
    }
    TConditionNeuron* condition = static_cast<TConditionNeuron*>(neuron);
    *condition->activation = MembershipDegree(*condition, net);
}

TConditionNeuron::TConditionNeuron()
    : centre(0.0), prevMF(nullptr), nextMF(nullptr), trainable(true) {}

namespace {

struct DestroyDeleter {
    template <class T>
    void operator()(T* p) const {
        p->Destroy();
    }
};

}  // namespace

TConditionLayer::TConditionLayer(TBasicNetwork* net, int index, int n)
    : TBasicLayer(net, index, n),
      nodes(new TConditionNeuron[n]),
      inputOf(nullptr),
      mfPerInput(nullptr),
      numInputs(0) {
    RUVO_CHECK_TEXT(nodes != nullptr, "nodes != 0");
    for (int j = 0; j < n; ++j) {
        TConditionNeuron& neuron = nodes[j];
        neuron.layer = this;
        neuron.activation = &activations[j];
        neuron.layerNum = index;
        neuron.index = j;
        neuron.actFunction = ActRuvoCondition;
    }
}

TConditionLayer::~TConditionLayer() {
    delete[] nodes;
    delete[] inputOf;
    delete[] mfPerInput;
}

TBasicNeuron* TConditionLayer::GetNeuron(int i) {
    RUVO_CHECK(i >= 0 && i < numNeurons);
    return &nodes[i];
}

void TConditionLayer::Recall(const double* /*input*/) {
    if (numNeurons == 0) {
        return;
    }
    RUVO_CHECK_TEXT(inputOf != nullptr, "inputOf != 0");
    const TBasicLayer* source = layerNum >= 1 ? network->layers[layerNum - 1] : nullptr;
    if (source == nullptr || source->numNeurons < numInputs) {
        throw TException("Condition layer has more inputs than its source layer", "Bad Parameter",
                         "TConditionLayer::Recall", nullptr);
    }
    const double* values = source->activations;
    for (int j = 0; j < numNeurons; ++j) {
        activations[j] = values[inputOf[j]];
    }
    // The activation functions, as ApplyActFunctions applies them: the common function when one
    // is recorded, else each neuron's own. The membership function, the usual case, is computed
    // inline; any other function is called through its pointer.
    for (int j = 0; j < numNeurons; ++j) {
        TConditionNeuron& neuron = nodes[j];
        const TActFunction fn = actFunction != nullptr ? actFunction : neuron.actFunction;
        if (fn == ActRuvoCondition) {
            activations[j] = MembershipDegree(neuron, activations[j]);
        } else {
            fn(&neuron, activations[j]);
        }
    }
}

const char* TConditionLayer::GetLayerType() const {
    return "FuzzyCondition";
}

void TConditionLayer::Destroy() {
    delete this;
}

TBasicLayer* TConditionLayer::Clone(TBasicNetwork* net) const {
    std::unique_ptr<TConditionLayer, DestroyDeleter> copy(
        new TConditionLayer(net, layerNum, numNeurons));
    if (mfPerInput != nullptr) {
        copy->SetInputMFs(numInputs, mfPerInput);
    }
    copy->CopyBaseFrom(this);
    for (int j = 0; j < numNeurons; ++j) {
        TConditionNeuron& target = copy->nodes[j];
        target.CopyNeuron(&nodes[j], copy.get(), &copy->activations[j]);
        target.centre = nodes[j].centre;
        target.trainable = nodes[j].trainable;
    }
    return copy.release();
}

void TConditionLayer::RemoveNeuron(int /*i*/) {}

int TConditionLayer::GetLayerCode() const {
    return 4;
}

void TConditionLayer::SetInputMFs(int inputs, const int* counts) {
    RUVO_CHECK(inputs >= 0);
    RUVO_CHECK(inputs == 0 || counts != nullptr);
    int total = 0;
    for (int i = 0; i < inputs; ++i) {
        RUVO_CHECK_TEXT(counts[i] >= 2, "NdxMF >= 2");
        total += counts[i];
    }
    RUVO_CHECK_TEXT(total == numNeurons, "sum of mfPerInput == numNeurons");

    std::unique_ptr<int[]> newCounts(new int[inputs]);
    std::unique_ptr<int[]> newInputOf(new int[numNeurons]);
    int j = 0;
    for (int i = 0; i < inputs; ++i) {
        newCounts[i] = counts[i];
        for (int s = 0; s < counts[i]; ++s) {
            newInputOf[j++] = i;
        }
    }
    delete[] mfPerInput;
    mfPerInput = newCounts.release();
    delete[] inputOf;
    inputOf = newInputOf.release();
    numInputs = inputs;

    for (j = 0; j < numNeurons; ++j) {
        TConditionNeuron& neuron = nodes[j];
        neuron.layer = this;
        neuron.activation = &activations[j];
        neuron.layerNum = layerNum;
        neuron.index = j;
        neuron.actFunction = ActRuvoCondition;
    }
    // Neighbour links within each input; none cross from one input to the next.
    j = 0;
    for (int i = 0; i < inputs; ++i) {
        const int last = j + mfPerInput[i] - 1;
        for (int k = j; k <= last; ++k) {
            nodes[k].prevMF = k > j ? &nodes[k - 1] : nullptr;
            nodes[k].nextMF = k < last ? &nodes[k + 1] : nullptr;
        }
        j = last + 1;
    }
    ResetCentres(inputs);
}

void TConditionLayer::ResetCentres(int inputs) {
    RUVO_CHECK(inputs >= 0 && inputs <= numInputs);
    int first = 0;
    for (int i = 0; i < inputs; ++i) {
        const int k = mfPerInput[i];
        RUVO_CHECK_TEXT(k >= 2, "NdxMF >= 2");
        nodes[first].centre = 0.0;
        for (int s = 1; s <= k - 2; ++s) {
            nodes[first + s].centre = static_cast<double>(s) / (k - 1);
        }
        nodes[first + k - 1].centre = 1.0;
        first += k;
    }
}

int TConditionLayer::GetInputMFIndices(int input, int** indices) const {
    RUVO_CHECK(input >= 0 && input < numInputs);
    const int first = FirstMFOfInput(input);
    const int count = mfPerInput[input];
    int* result = new int[count];
    for (int s = 0; s < count; ++s) {
        result[s] = first + s;
    }
    *indices = result;
    return count;
}

int TConditionLayer::GetMFIndexInInput(int j) const {
    RUVO_CHECK(j >= 0 && j < numNeurons && inputOf != nullptr);
    return j - FirstMFOfInput(inputOf[j]);
}

int TConditionLayer::FirstMFOfInput(int i) const {
    RUVO_CHECK(i >= 0 && i <= numInputs);
    int first = 0;
    for (int k = 0; k < i; ++k) {
        first += mfPerInput[k];
    }
    return first;
}

}  // namespace ruvo
