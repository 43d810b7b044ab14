#ifndef RUVO_RUVO_TRUVOBP_H
#define RUVO_RUVO_TRUVOBP_H

// The fuzzy network's trainer. Instead of back-propagating from the defuzzified outputs, whose
// function has no derivative, it turns each output's target into the membership degrees the
// output's membership functions should have, takes the action layer's distance from those degrees
// as its error signals, and back-propagates from the action layer through the rule layer only.
// The membership-function centres therefore receive no error gradient (only a penalty gradient,
// when a weight penalty is used).

#include "NeuralNets/TTrainModule.h"

namespace ruvo {

// The desired degree of membership function m (0 <= m < k, k >= 2) of an output whose functions
// are triangles peaking at ascending centres, with shoulders at both ends, for the target t:
//   first (m = 0):   1 for t <= c_0; 1 - (t - c_0) / (c_1 - c_0) for c_0 < t < c_1; else 0;
//   middle:          1 - (t - c_m) / (c_m+1 - c_m) for c_m < t < c_m+1;
//                    1 - (c_m - t) / (c_m - c_m-1) for c_m-1 < t < c_m; 1 for t == c_m; else 0;
//   last (m = k-1):  1 for t >= c_k-1; 1 - (c_k-1 - t) / (c_k-1 - c_k-2) for c_k-2 < t < c_k-1;
//                    else 0.
// previous is c_m-1 (not read for m = 0), centre c_m, next c_m+1 (not read for m = k - 1).
double DesiredDegree(int m, int k, double previous, double centre, double next, double t);

// Layout it relies on (fixed layer numbers, not taken from inLayer and outLayer): layer 3 the
// rules, layer 4 the actions (one neuron per output membership function, grouped by output), layer
// 5 the defuzzified outputs (a TRuvoOutputLayer with mfPerOutput), and the matrix from 4 to 5 a
// TToOutputConnections whose weight (a, o) is the centre of action neuron a.
class TRuvoBP : public TBackpropModule {
public:
    // Raises TException (location "TRuvoBP::TRuvoBP") unless network is a six-layer TRuvo with
    // that layout: "Null Pointer Parameter" for a null network, "Bad Parameter" otherwise.
    explicit TRuvoBP(TBasicNetwork* network);

    ~TRuvoBP() override;
    // Called by LearnPattern after the output signals of errorNet hold output - target. For each
    // output j: the target t = output - signal; the desired degrees mu_m of its membership
    // functions (DesiredDegree, centres read through GetWeight(a + m, j) of the 4 -> 5 matrix);
    // errorNet's action signal a + m = N's action activation - mu_m. Then BackpropagateLayer(4)
    // and BackpropagateLayer(3).
    void BackpropagateErrors(int errorFunction) override;
};

}  // namespace ruvo

#endif
