#ifndef RUVO_TESTS_RUVO_FUZZYTESTUTIL_H
#define RUVO_TESTS_RUVO_FUZZYTESTUTIL_H

// Vocabulary of the fuzzy network tests: small networks, access to their layers and matrices, and
// an assertion on the three texts of a TException.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "KQmessage/KQML.h"
#include "NeuralNets/TBasicNetwork.h"
#include "Ruvo/TConditionLayer.h"
#include "Ruvo/TRuvo.h"
#include "Ruvo/TRuvoOutputLayer.h"
#include "Ruvo/TToConditionConnections.h"
#include "Ruvo/TToOutputConnections.h"

namespace ruvo {
namespace fuzzytest {

inline std::unique_ptr<TRuvo> BuildRuvo(const std::vector<int>& mfPerInput,
                                        int numRules,
                                        const std::vector<int>& mfPerOutput) {
    return std::make_unique<TRuvo>(static_cast<int>(mfPerInput.size()), mfPerInput.data(), numRules,
                                   mfPerOutput.data(), static_cast<int>(mfPerOutput.size()));
}

inline TConditionLayer* Conditions(TBasicNetwork* net) {
    return dynamic_cast<TConditionLayer*>(net->layers[2]);
}

inline TRuvoOutputLayer* Defuzzify(TBasicNetwork* net) {
    return dynamic_cast<TRuvoOutputLayer*>(net->layers[5]);
}

inline TToConditionConnections* InputCentres(TBasicNetwork* net) {
    return dynamic_cast<TToConditionConnections*>(net->priv_conns_index[2][1]);
}

inline TToOutputConnections* OutputCentres(TBasicNetwork* net) {
    return dynamic_cast<TToOutputConnections*>(net->priv_conns_index[5][4]);
}

inline std::vector<double> Activations(const TBasicLayer* layer) {
    return std::vector<double>(layer->activations, layer->activations + layer->numNeurons);
}

inline std::vector<double> WeightLayer(TRuvo* net, int weightLayer) {
    int count = 0;
    double* values = nullptr;
    net->GetWeightLayer(weightLayer, &count, &values);
    std::vector<double> out(values, values + count);
    delete[] values;
    return out;
}

inline double Sigmoid(double net) {
    return 1.0 / (1.0 + std::exp(-net));
}

// The network of the worked recall: one input with 2 functions, one rule, one output with 2
// functions centred at 0 and 1; condition-to-rule weights 1 and -1, rule-to-action weights 2 and
// -2.
inline std::unique_ptr<TRuvo> BuildWorkedRuvo() {
    std::unique_ptr<TRuvo> net = BuildRuvo({2}, 1, {2});
    const double centres[] = {0.0, 1.0};
    net->SetWeightLayer(4, centres);
    net->SetWeightValue(2, 0, 0, 1.0);
    net->SetWeightValue(2, 1, 0, -1.0);
    net->SetWeightValue(3, 0, 0, 2.0);
    net->SetWeightValue(3, 0, 1, -2.0);
    return net;
}

// Runs op and requires a TException with exactly these texts.
inline void ExpectTException(const std::function<void()>& op,
                             const std::string& message,
                             const std::string& kind,
                             const std::string& location) {
    try {
        op();
        ADD_FAILURE() << "no exception, expected \"" << message << "\"";
    } catch (const TException& e) {
        ASSERT_NE(e.message, nullptr);
        ASSERT_NE(e.kind, nullptr);
        ASSERT_NE(e.location, nullptr);
        EXPECT_EQ(e.message, message);
        EXPECT_EQ(e.kind, kind);
        EXPECT_EQ(e.location, location);
        EXPECT_EQ(e.structure, nullptr);
    }
}

}  // namespace fuzzytest
}  // namespace ruvo

#endif
