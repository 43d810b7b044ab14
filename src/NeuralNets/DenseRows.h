#ifndef RUVO_NEURALNETS_DENSEROWS_H
#define RUVO_NEURALNETS_DENSEROWS_H

// Loops shared by the two matrix classes with contiguous storage (TConnectedConnections and
// TPrunedConnections): weights row by to-neuron, n_from weights per row, optionally one flags
// byte per weight. Internal to the network library.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "NeuralNets/TBasicConnections.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ruvo {
namespace dense {

// The product of one arc for the forward sum: w * a for an existing arc, +0.0 for a pruned one.
// A sum that starts at +0.0 never becomes -0.0 under round-to-nearest, and x + (+0.0) == x for
// every other x (infinities and NaNs included), so adding +0.0 for a pruned arc gives the same
// bits as skipping it. The product is selected, never scaled, so a stored NaN or infinity of a
// pruned arc cannot leak into the sum.
template <bool kFlags>
inline double ArcTerm(double w, double a, const unsigned char* flags, int f) {
    const double p = w * a;
    if (!kFlags) {
        return p;
    }
    return (flags[f] & FMaskExists) != 0 ? p : 0.0;
}

// One row: the sum from +0.0 over f ascending.
template <bool kFlags>
inline double RowSum(const double* w, const unsigned char* flags, const double* acts, int nFrom) {
    double sum = 0.0;
    for (int f = 0; f < nFrom; ++f) {
        sum += ArcTerm<kFlags>(w[f], acts[f], flags, f);
    }
    return sum;
}

// net[t] += (sum over existing arcs of row t, from +0.0, f ascending) for every row t. Four rows
// are summed side by side, each in its own accumulator and in its own order, so the additions of
// different rows overlap instead of waiting on each other. When net is the from-layer's array (a
// matrix from a layer to itself) a row's sum must see the rows before it already added, so the
// rows are then taken one at a time.
template <bool kFlags>
void PropagateRows(const double* weights,
                   const unsigned char* flags,
                   const double* acts,
                   double* net,
                   int nFrom,
                   int nTo) {
    const std::size_t stride = static_cast<std::size_t>(nFrom);
    int t = 0;
#if defined(__SSE2__)
    // Without flags, eight rows at a time in four registers, one row per lane: a lane of a packed
    // multiply or add is the scalar operation, so each row's sum is formed exactly as above.
    if (!kFlags && net != acts) {
        for (; t + 8 <= nTo; t += 8) {
            const double* w = weights + t * stride;
            __m128d s01 = _mm_setzero_pd();
            __m128d s23 = _mm_setzero_pd();
            __m128d s45 = _mm_setzero_pd();
            __m128d s67 = _mm_setzero_pd();
            for (std::size_t f = 0; f < stride; ++f) {
                const __m128d a = _mm_set1_pd(acts[f]);
                const double* c = w + f;
                const __m128d w01 = _mm_loadh_pd(_mm_load_sd(c), c + stride);
                const __m128d w23 = _mm_loadh_pd(_mm_load_sd(c + 2 * stride), c + 3 * stride);
                const __m128d w45 = _mm_loadh_pd(_mm_load_sd(c + 4 * stride), c + 5 * stride);
                const __m128d w67 = _mm_loadh_pd(_mm_load_sd(c + 6 * stride), c + 7 * stride);
                s01 = _mm_add_pd(s01, _mm_mul_pd(w01, a));
                s23 = _mm_add_pd(s23, _mm_mul_pd(w23, a));
                s45 = _mm_add_pd(s45, _mm_mul_pd(w45, a));
                s67 = _mm_add_pd(s67, _mm_mul_pd(w67, a));
            }
            _mm_storeu_pd(net + t, _mm_add_pd(_mm_loadu_pd(net + t), s01));
            _mm_storeu_pd(net + t + 2, _mm_add_pd(_mm_loadu_pd(net + t + 2), s23));
            _mm_storeu_pd(net + t + 4, _mm_add_pd(_mm_loadu_pd(net + t + 4), s45));
            _mm_storeu_pd(net + t + 6, _mm_add_pd(_mm_loadu_pd(net + t + 6), s67));
        }
    }
#endif
    if (net != acts) {
        for (; t + 4 <= nTo; t += 4) {
            const double* w0 = weights + t * stride;
            const double* w1 = w0 + stride;
            const double* w2 = w1 + stride;
            const double* w3 = w2 + stride;
            const unsigned char* m0 = kFlags ? flags + t * stride : nullptr;
            const unsigned char* m1 = kFlags ? m0 + stride : nullptr;
            const unsigned char* m2 = kFlags ? m1 + stride : nullptr;
            const unsigned char* m3 = kFlags ? m2 + stride : nullptr;
            double s0 = 0.0;
            double s1 = 0.0;
            double s2 = 0.0;
            double s3 = 0.0;
            for (int f = 0; f < nFrom; ++f) {
                const double a = acts[f];
                s0 += ArcTerm<kFlags>(w0[f], a, m0, f);
                s1 += ArcTerm<kFlags>(w1[f], a, m1, f);
                s2 += ArcTerm<kFlags>(w2[f], a, m2, f);
                s3 += ArcTerm<kFlags>(w3[f], a, m3, f);
            }
            net[t] += s0;
            net[t + 1] += s1;
            net[t + 2] += s2;
            net[t + 3] += s3;
        }
    }
    for (; t < nTo; ++t) {
        net[t] += RowSum<kFlags>(weights + t * stride, kFlags ? flags + t * stride : nullptr, acts,
                                 nFrom);
    }
}

// True when every one of the n flags bytes has all the given bits.
// Eight bytes at a time: the complements are or-ed together, then the eight bytes of the result.
inline bool AllFlagsHave(const unsigned char* flags, std::size_t n, unsigned char bits) {
    std::uint64_t missingWords = 0;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, flags + i, sizeof word);
        missingWords |= ~word;
    }
    missingWords |= missingWords >> 32;
    missingWords |= missingWords >> 16;
    missingWords |= missingWords >> 8;
    unsigned char missing = static_cast<unsigned char>(missingWords);
    for (; i < n; ++i) {
        missing |= static_cast<unsigned char>(~flags[i]);
    }
    return (missing & bits) == 0;
}

// PropagateRows for a matrix with flags: when every arc exists (one quick pass over the flags)
// the loops without a flags test, which carry no branch per arc.
inline void PropagateFlaggedRows(const double* weights,
                                 const unsigned char* flags,
                                 const double* acts,
                                 double* net,
                                 int nFrom,
                                 int nTo) {
    if (AllFlagsHave(flags, static_cast<std::size_t>(nFrom) * nTo, FMaskExists)) {
        PropagateRows<false>(weights, nullptr, acts, net, nFrom, nTo);
    } else {
        PropagateRows<true>(weights, flags, acts, net, nFrom, nTo);
    }
}

// Copies of a row-by-row array (n_to rows of n_from values) while a neuron is removed or added.
// The rows and columns keep their order; the new row or column is left as dst holds it.

// dst (rows x oldFrom - 1) = old (rows x oldFrom) without column index.
template <class T>
void CopyWithoutColumn(const T* old, int oldFrom, int rows, int index, T* dst) {
    const int nFrom = oldFrom - 1;
    for (int t = 0; t < rows; ++t) {
        for (int f = 0; f < nFrom; ++f) {
            dst[t * nFrom + f] = old[t * oldFrom + (f < index ? f : f + 1)];
        }
    }
}

// dst (nTo x nFrom) = old (nTo + 1 x nFrom) without row index.
template <class T>
void CopyWithoutRow(const T* old, int nFrom, int nTo, int index, T* dst) {
    for (int t = 0; t < nTo; ++t) {
        const int source = t < index ? t : t + 1;
        for (int f = 0; f < nFrom; ++f) {
            dst[t * nFrom + f] = old[source * nFrom + f];
        }
    }
}

// dst (rows x oldFrom + 1) takes old (rows x oldFrom) around a new column index.
template <class T>
void CopyAroundNewColumn(const T* old, int oldFrom, int rows, int index, T* dst) {
    const int nFrom = oldFrom + 1;
    for (int t = 0; t < rows; ++t) {
        for (int f = 0; f < oldFrom; ++f) {
            dst[t * nFrom + (f < index ? f : f + 1)] = old[t * oldFrom + f];
        }
    }
}

// dst (nTo x nFrom) takes old (nTo - 1 x nFrom) around a new row index.
template <class T>
void CopyAroundNewRow(const T* old, int nFrom, int nTo, int index, T* dst) {
    for (int t = 0; t < nTo - 1; ++t) {
        const int target = t < index ? t : t + 1;
        for (int f = 0; f < nFrom; ++f) {
            dst[target * nFrom + f] = old[t * nFrom + f];
        }
    }
}

// The visiting walk of a matrix stored row by to-neuron: calls visit(f, t, i, trainable) for every
// arc (f, t), i = t * nFrom + f, in storage order. With masks null every arc exists and is
// trainable (a fully connected matrix); otherwise only arcs whose flags pass mask are visited.
template <class Visit>
inline void ForEachStoredArc(
    int nFrom, int nTo, const unsigned char* masks, int mask, Visit visit) {
    std::size_t i = 0;
    for (int t = 0; t < nTo; ++t) {
        for (int f = 0; f < nFrom; ++f, ++i) {
            if (masks == nullptr) {
                visit(f, t, i, static_cast<char>(1));
            } else if (PassesMask(masks[i], mask)) {
                visit(f, t, i, static_cast<char>((masks[i] & FMaskTrainable) != 0));
            }
        }
    }
}

}  // namespace dense
}  // namespace ruvo

#endif
