#ifndef RUVO_NEURALNETS_TERROROBJ_H
#define RUVO_NEURALNETS_TERROROBJ_H

// Error measures: accumulate, pattern by pattern, how far a network's outputs are from their
// targets, optionally add a weight-penalty term, and report one number. A training epoch creates
// one measure, accumulates every pattern, adds the penalty at most once and reads the result.

namespace ruvo {

class TKQstructure;

class TErrorObj {
public:
    // Forgets every pattern (and any penalty) accumulated so far.
    virtual void Reset() = 0;
    // Adds one pattern. REQUIRES: targets and outputs hold numOutputs values each.
    virtual void Accumulate(const double* targets, const double* outputs) = 0;
    // The measure of the patterns accumulated so far.
    virtual double GetError() = 0;
    // Adds PenaltyTerm(count, weights, penalty, 1.0) to the accumulated sum.
    virtual void AddPenalty(int count, const double* weights, TKQstructure* penalty) = 0;
    // Measures are created and released through base pointers by the training module, so the
    // destructor is virtual (declared after the four operations above, which keep their order).
    virtual ~TErrorObj();

    // The penalty of the weight vector weights[0 ... count - 1]. penalty is the value of the
    // training parameters' WEIGHTPENALTY key; its word names the penalty and its own keys (found
    // ignoring case, converted with ToRealChecked, so a constant that is not a number raises
    // TKQstructure::Error) hold the constants:
    //   null or NONE: 0;
    //   QUADPENALTY: the sum over w of factor * (EPSILON1*BETA*w*w / (BETA*w*w + 1) + EPSILON2*w*w)
    //     with EPSILON1 and EPSILON2 0 and BETA 1 when absent;
    //   LWF: LEARNINGRATE * FORGETTINGRATE * the sum of |w|, both 0 when absent (which disables
    //     the term); factor does not apply.
    // Any other word is a consistency failure.
    double PenaltyTerm(int count,
                       const double* weights,
                       TKQstructure* penalty,
                       double factor) const;

    int numOutputs;   // length of every target and output vector
    int numPatterns;  // patterns accumulated since construction or the last Reset

protected:
    // REQUIRES: numOutputs >= 0.
    explicit TErrorObj(int outputs);
};

// Root mean square error: sqrt((sum / numOutputs) / numPatterns) where sum adds (t - y)*(t - y)
// over every output of every pattern. A penalty lies inside the root and is divided like the
// squared errors.
class TErrorRMSObj : public TErrorObj {
public:
    explicit TErrorRMSObj(int outputs);

    void Reset() override;
    void Accumulate(const double* targets, const double* outputs) override;
    // With no pattern accumulated, or no outputs, nothing has been measured and the result is 0
    // (not the quotient of a division by zero); callers tell this case apart by numPatterns == 0
    // or numOutputs == 0.
    double GetError() override;
    void AddPenalty(int count, const double* weights, TKQstructure* penalty) override;

    double sum;
};

// Cross entropy: the sum over every output of every pattern of -t*ln(y) - (1 - t)*ln(1 - y),
// not divided by anything. An output of exactly 1 adds 0 for a target of exactly 1 and 1e6 for
// any other target; symmetrically, an output of exactly 0 adds 0 for a target of exactly 0 and
// 1e6 for any other, instead of a logarithm of zero (which would give an infinity or, for target
// 0, not a number).
class TErrorCrossEntropyObj : public TErrorObj {
public:
    explicit TErrorCrossEntropyObj(int outputs);

    void Reset() override;
    void Accumulate(const double* targets, const double* outputs) override;
    double GetError() override;
    void AddPenalty(int count, const double* weights, TKQstructure* penalty) override;

    double sum;
};

}  // namespace ruvo

#endif
