#include "Ruvo/TRuvoOutputLayer.h"

#include <cstdlib>
#include <iostream>
#include <memory>

#include "KQmessage/Check.h"
#include "KQmessage/KQML.h"
#include "NeuralNets/TBasicNetwork.h"
#include "Ruvo/TToOutputConnections.h"

namespace ruvo {

namespace {

struct DestroyDeleter {
    template <class T>
    void operator()(T* p) const {
        p->Destroy();
    }
};

// An output outside [0, 1] comes from centres or weights outside the usual range, which a network
// file can hold, so it is reported to the user and ends the program with status 1 rather than
// aborting: the value on a line of standard output, then the violated condition on standard
// error.
[[noreturn]] void ReportOutputOutOfRange(int output, double value) {
    std::cout << value << '\n' << std::flush;
    std::cerr << "Defuzzified output " << output << " is " << value
              << ", outside [0, 1]: condition (ActActivation >= 0) && (ActActivation <= 1) "
                 "violated"
              << std::endl;
    std::exit(1);
}

}  // namespace

TRuvoOutputLayer::TRuvoOutputLayer(TBasicNetwork* net, int index, int numOutputs)
    : TSimpleLayer(net, index, numOutputs), totalMFs(0), mfPerOutput(nullptr), outputOf(nullptr) {}

TRuvoOutputLayer::~TRuvoOutputLayer() {
    delete[] mfPerOutput;
    delete[] outputOf;
}

void TRuvoOutputLayer::Recall(const double* /*input*/) {
    if (numNeurons == 0) {
        return;
    }
    RUVO_CHECK_TEXT(mfPerOutput != nullptr, "mfPerOutput != 0");
    const TBasicLayer* actions = layerNum >= 1 ? network->layers[layerNum - 1] : nullptr;
    const TToOutputConnections* matrix =
        layerNum >= 1 ? dynamic_cast<const TToOutputConnections*>(
                            network->priv_conns_index[layerNum][layerNum - 1])
                      : nullptr;
    if (actions == nullptr || matrix == nullptr || actions->numNeurons != totalMFs ||
        matrix->outputLayer != this) {
        throw TException("Defuzzify layer needs ToOutputConnections from its action layer",
                         "Bad Parameter", "TRuvoOutputLayer::Recall", nullptr);
    }
    const double* acts = actions->activations;
    const double* centres = matrix->centres;
    // The action neurons of each output are consecutive, so one running index walks them all;
    // numerator and denominator add up in action-neuron order.
    int a = 0;
    for (int o = 0; o < numNeurons; ++o) {
        double num = 0.0;
        double den = 0.0;
        const int end = a + mfPerOutput[o];
        for (; a < end; ++a) {
            num += acts[a] * centres[a];
            den += acts[a];
        }
        const double y = (num != 0.0 && den != 0.0) ? num / den : 0.0;
        if (!(y >= 0.0 && y <= 1.0)) {
            ReportOutputOutOfRange(o, y);
        }
        activations[o] = y;
    }
}

const char* TRuvoOutputLayer::GetLayerType() const {
    return "Defuzzify";
}

void TRuvoOutputLayer::Destroy() {
    delete this;
}

TBasicLayer* TRuvoOutputLayer::Clone(TBasicNetwork* net) const {
    std::unique_ptr<TRuvoOutputLayer, DestroyDeleter> copy(
        new TRuvoOutputLayer(net, layerNum, numNeurons));
    if (mfPerOutput != nullptr) {
        copy->SetOutputMFs(totalMFs, mfPerOutput);
    }
    copy->CopyBaseFrom(this);
    copy->CopyNeuronsFrom(this);
    return copy.release();
}

int TRuvoOutputLayer::GetLayerCode() const {
    return 5;
}

void TRuvoOutputLayer::SetOutputMFs(int total, const int* counts) {
    RUVO_CHECK(total >= 0);
    RUVO_CHECK(numNeurons == 0 || counts != nullptr);
    int sum = 0;
    for (int o = 0; o < numNeurons; ++o) {
        RUVO_CHECK(counts[o] >= 0);
        sum += counts[o];
    }
    RUVO_CHECK_TEXT(sum == total, "sum of mfPerOutput == totalMFs");

    std::unique_ptr<int[]> newCounts(new int[numNeurons]);
    std::unique_ptr<int[]> newOutputOf(new int[total]);
    int a = 0;
    for (int o = 0; o < numNeurons; ++o) {
        newCounts[o] = counts[o];
        for (int s = 0; s < counts[o]; ++s) {
            newOutputOf[a++] = o;
        }
    }
    delete[] mfPerOutput;
    mfPerOutput = newCounts.release();
    delete[] outputOf;
    outputOf = newOutputOf.release();
    totalMFs = total;
}

int TRuvoOutputLayer::GetMFIndexInOutput(int a) const {
    RUVO_CHECK(a >= 0 && a < totalMFs);
    return a - FirstMFOfOutput(outputOf[a]);
}

int TRuvoOutputLayer::FirstMFOfOutput(int o) const {
    RUVO_CHECK(o >= 0 && o <= numNeurons);
    int first = 0;
    for (int k = 0; k < o; ++k) {
        first += mfPerOutput[k];
    }
    return first;
}

}  // namespace ruvo
