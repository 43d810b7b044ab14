#ifndef RUVO_NEURALNETS_TTRAINMODULE_H
#define RUVO_NEURALNETS_TTRAINMODULE_H

// Gradient-descent training of a layered network. TTrainModule holds the control flow: it reads
// the training parameters from a TKQstructure, runs epochs over a data set in batch or per-pattern
// mode with an optional weight penalty, and reports each epoch's error measure. TBackpropModule
// supplies the weight step; the fuzzy network's trainer (Ruvo/TRuvoBP.h) changes how the error
// signals enter the network.
//
// Notation used below, for one module: N is the trained `network`, E its `errorNet`, M its
// `momentumNet`. For an arc from neuron f of layer F to neuron t of layer T: w is its weight in N,
// g its weight in E (the accumulated gradient), d its weight in M (the last change); y_f is N's
// activation of f, e_f and e_t are E's activations (error signals).

#include <vector>

#include "NeuralNets/TBasicNetwork.h"
#include "NeuralNets/TIterateObj.h"

namespace ruvo {

class Data;
class TErrorObj;
class TKQstructure;

// Passes the error signal of one arc backwards and accumulates its gradient:
// e_f += w * e_t; then g += e_t * y_f.
class TIterateObj2ErrorsAndDeltas : public TIterateObj2 {
public:
    void Visit() override;
};

// The plain weight step: w -= learningRate * g.
class TIterateObj2Update : public TIterateObj2 {
public:
    explicit TIterateObj2Update(double rate);
    void Visit() override;

    double learningRate;
};

// The weight step with momentum (networks N, E, M):
// delta = -learningRate * g + momentum * d; d = delta; w += delta.
class TIterateObj3UpdateMomentum : public TIterateObj3 {
public:
    TIterateObj3UpdateMomentum(double rate, double factor);
    void Visit() override;

    double learningRate;
    double momentum;
};

// Gradient of the quadratic weight penalty:
// g += (k1 * beta / (1 + beta * w*w)^2 + k2) * 2w, the square of the bracket as a plain product.
class TIterateObj2CalcPenaltyTerm : public TIterateObj2 {
public:
    TIterateObj2CalcPenaltyTerm(double eps1, double eps2, double b);
    void Visit() override;

    double k1;
    double k2;
    double beta;
};

// Gradient of the forgetting penalty: g += sgn(w) * forgettingRate * ratio, sgn being -1, 0 or 1.
class TIterateObjLWFCalcPenaltyTerm : public TIterateObj2 {
public:
    TIterateObjLWFCalcPenaltyTerm(double rate, double forgetRatio);
    void Visit() override;

    double forgettingRate;
    double ratio;
};

// Training parameters, keys found ignoring case, numbers read with ToRealChecked (a value that is
// not a number raises TKQstructure::Error):
//   BATCH           "TRUE" (any case) for batch training; otherwise per-pattern
//   ERRORFUNCTION   MEANSQUAREDERROR (default; RMS measure) or CROSSENTROPY (cross-entropy
//                   measure, sigmoid outputs)
//   LEARNINGRATE    learning rate (Update: 0 when absent; TrainEpoch: 1.0, only for the penalty)
//   MOMENTUM        momentum, 0 when absent; exactly 0 selects the plain step
//   WEIGHTPENALTY   NONE, QUADPENALTY (keys EPSILON1, EPSILON2, BETA) or LWF (keys
//                   FORGETTINGRATE and, for the measure, LEARNINGRATE); stored as NONE when absent
//   THRESHOLD       Train stops once an epoch's error falls below it (0 when absent)
//
// The module keeps a pointer to the network it trains (not owned; the network must outlive the
// module) and owns two copies of it made with the network copy constructor, whose trainable
// weights start at 0: E holds the current pattern's error signals in its layer activations and the
// accumulated gradients in its weights; M holds the last change of every weight. The structure of
// the network must not change while the module exists, nor its flags during an epoch.
class TTrainModule {
public:
    // REQUIRES: network != NULL (checked: TException "Null network pointer").
    explicit TTrainModule(TBasicNetwork* network);
    TTrainModule(const TTrainModule&) = delete;
    TTrainModule& operator=(const TTrainModule&) = delete;

    // Destroys errorNet and momentumNet, not network.
    virtual ~TTrainModule();
    // Up to *epochs epochs of TrainEpoch. When an epoch's error falls below THRESHOLD, sets
    // *epochs to that epoch's index (from 0) and returns its error; otherwise returns the last
    // error (0 for no epoch) and leaves *epochs unchanged.
    virtual double Train(Data* data, TKQstructure* params, int* epochs);
    // The weight step from the gradients in errorNet. Must be overridden (internal error here).
    virtual void Update(TKQstructure* params);
    // One epoch over every row slot of data, in ring order from the oldest row; returns the
    // epoch's error measure. Adds WEIGHTPENALTY NONE to params when the key is absent.
    //
    // Raises TException ("Bad Parameter", "TTrainModule::TrainEpoch") for a data set without row
    // slots or without a row, for one that delivers fewer input values than the network has inputs
    // or not exactly as many targets as it has outputs, and for an LWF penalty without
    // FORGETTINGRATE or with a learning rate of 0. These are checked before any weight changes.
    virtual double TrainEpoch(Data* data, TKQstructure* params);
    // One pattern: ClearErrors, ComputeOutputErrors, BackpropagateErrors. error may be null.
    // errorFunction is 0 for the mean squared error and 1 for cross entropy.
    virtual void LearnPattern(const double* inputs,
                              const double* targets,
                              int errorFunction,
                              TErrorObj* error);
    // For every connected matrix of network (from-layer outer, to-layer inner): the momentum step
    // over N, E and M, or, when momentum is exactly 0, the plain step over N and E. Only existing
    // trainable arcs change.
    virtual void UpdateWeights(double learningRate, double momentum);
    // BackpropagateLayer for every layer from the last down to 0.
    virtual void BackpropagateErrors(int errorFunction);

    // Sets the activations of every layer of errorNet to 0.
    void ClearErrors();
    // Recalls network on inputs, adds (targets, outputs) to error when given, and sets the error
    // signals of errorNet's output layer to output - target. targets holds one value per output.
    void ComputeOutputErrors(const double* inputs, const double* targets, TErrorObj* error);
    // Turns the error signals of layer `layer` of errorNet (with respect to the activations) into
    // signals with respect to the net inputs, by the derivative of the layer's common activation
    // function, then passes them back through every connected matrix entering the layer from a
    // lower layer, accumulating the gradients in errorNet. With cross entropy (errorFunction 1)
    // the output layer must be sigmoid and takes no derivative.
    // REQUIRES: 0 <= layer < numLayers; the layer has a common function ("fn!= NULL"); a
    // function without derivative only where no connected matrix enters ("fn != ActError").
    void BackpropagateLayer(int layer, int errorFunction);
    // Adds the gradient of the weight penalty (the WEIGHTPENALTY value: QUADPENALTY scaled by
    // patterns / total, or LWF) to the gradients of every existing trainable weight. Raises
    // TException ("Bad Parameter", "TTrainModule::AddPenaltyGradient") for LWF without
    // FORGETTINGRATE or with learningRate 0. REQUIRES: penalty names QUADPENALTY or LWF.
    void AddPenaltyGradient(TKQstructure* penalty, int patterns, int total, double learningRate);

    TBasicNetwork* network;      // trained network; not owned
    TBasicNetwork* momentumNet;  // owned copy: the last change of every weight
    TBasicNetwork* errorNet;     // owned copy: error signals and accumulated gradients

private:
    // Takes the flag summary on construction and drops it on destruction, also when the epoch
    // ends with an exception.
    struct FlagSummaryScope {
        explicit FlagSummaryScope(TTrainModule* owner);
        ~FlagSummaryScope();
        FlagSummaryScope(const FlagSummaryScope&) = delete;
        FlagSummaryScope& operator=(const FlagSummaryScope&) = delete;
        TTrainModule* module;
    };

    // Fills priv_flagSummary from the flags of network and errorNet.
    void TakeFlagSummary();

    // The output vector of ComputeOutputErrors, kept so that a pattern allocates nothing.
    std::vector<double> priv_outputs;
    // While TrainEpoch runs: for every cell of the table (to * numLayers + from) whose matrices
    // are prunable, whether all arcs are trainable, so that the walks of every pattern need not
    // scan the flags again. Empty outside an epoch, when every walk scans them itself.
    std::vector<unsigned char> priv_flagSummary;
};

// Backpropagation: the training module whose Update is the plain or momentum weight step.
class TBackpropModule : public TTrainModule {
public:
    explicit TBackpropModule(TBasicNetwork* network);

    // UpdateWeights(LEARNINGRATE or 0, MOMENTUM or 0).
    void Update(TKQstructure* params) override;
};

}  // namespace ruvo

#endif
