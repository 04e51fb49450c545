// Pointwise products of spectra, the rounding of a product's coefficients to whole numbers,
// and their digits, a group of points or four or eight words at a time. Compiled once for
// each kernel set (arith/kernel_sets.h), whose table holds pointwise_product,
// pointwise_product_sum, rounded_coefficients and product_digits.
#include "fft/pointwise_kernels.h"

#include <cassert>
#include <cstring>

#include "arith/carry_kernels.h"
#include "arith/lanes.h"
#include "fft/groups.h"

namespace PIDRM_KERNEL_SET {
namespace {

// Spectra of n >= 4 points stand in groups of G = group_points(n): G real parts, then G
// imaginary parts. Spectra of 2 points are one group of two, taken here as they stand, as
// the groups of four take them. Sum: product += x * y, else product = x * y.
template <bool Sum>
void pointwise_of_length(const double* x, const double* y, double* product, int n) {
    if (n < 4) {
        for (int k = 0; k < 2; ++k) {
            const double pr = x[k] * y[k] - x[2 + k] * y[2 + k];
            const double pi = x[k] * y[2 + k] + x[2 + k] * y[k];
            product[k] = Sum ? product[k] + pr : pr;
            product[2 + k] = Sum ? product[2 + k] + pi : pi;
        }
    } else {
        with_group(n, [&](auto g) { pointwise<decltype(g)::value, Sum>(x, y, product, n); });
    }
}

// The distances of a run of coefficients from their whole numbers: the largest distance in
// each lane, and the sum of c - c over the coefficients c, which is 0 unless one of them is
// not finite, when it is a NaN, as the rounding error of the run then is. W lanes.
template <int W>
struct Distances {
    LanesOf<W> largest, not_finite;
};

// The coefficients c rounded half up, floor(c + 0.5), their distances |floor(c + 0.5) - c|
// taken into d. A rounded coefficient is never -0, as c + 0.5 is not.
template <int W>
KERNEL_INLINE LanesOf<W> rounded(const LanesOf<W>& c, Distances<W>& d) {
    const LanesOf<W> whole = floor_whole(c + splat<W>(0.5));
    d.largest = larger(magnitude(whole - c), d.largest);
    d.not_finite = d.not_finite + (c - c);
    return whole;
}
template <int W>
KERNEL_INLINE void round_words(const LanesOf<W>& c, double* X, Distances<W>& d) {
    store(X, rounded(c, d));
}

// The largest distance of a run, a NaN where a coefficient was not finite.
template <int W>
KERNEL_INLINE double largest_distance(const Distances<W>& d) {
    return largest_lane(d.largest + d.not_finite);
}

// rounded_coefficients for n >= 4 points grouped by G, W = G words side by side: word k < n
// stands at double real_at(k) + G of the points, word n + k at real_at(k).
template <int G>
double rounded_grouped(const double* points, int n, int lo, int len, double* X) {
    constexpr int W = G;
    Distances<W> d = {splat<W>(0), splat<W>(0)};
    for (int j = 0; j < len; j += W) {
        const int k = lo + j;
        const std::int64_t at = k < n ? real_at(k, G) + G : real_at(k - n, G);
        round_words(load<W>(points + at), X + j, d);
    }
    return largest_distance(d);
}

}  // namespace

void pointwise_product(const double* x, const double* y, double* product, int n) {
    pointwise_of_length<false>(x, y, product, n);
}

void pointwise_product_sum(const double* x, const double* y, double* sum, int n) {
    pointwise_of_length<true>(x, y, sum, n);
}

// Words lo..lo+len-1 of the 2n-word product whose n points stand in `points` after the
// inverse transform, rounded: word k < n is the imaginary part of point k, word n + k its
// real part. lo and len are multiples of the group (normalize_from asks for chunks of 256
// words from the bottom of a run of 2n >= 4 words). Coefficients are whole numbers of
// magnitude at most n*max|a|*max|b| (6.5536e14 for 2^18 balanced words, twice that for a sum
// of two products), below the 2^51 that floor_whole needs, so rounding recovers them while
// the error stays below 0.5.
double rounded_coefficients(const double* points, int words, int lo, int len, double* X) {
    const int n = words / 2;
    if (n < 4) {  // one group of two points: the imaginary parts, then the real parts
        assert(lo == 0 && len == 4);
        Distances<4> d = {splat(0), splat(0)};
        const double parts[4] = {points[2], points[3], points[0], points[1]};
        round_words(load(parts), X, d);
        return largest_distance(d);
    }
    assert(lo % group_points(n) == 0 && len % group_points(n) == 0);
    double err = 0;
    with_group(n,
               [&](auto g) { err = rounded_grouped<decltype(g)::value>(points, n, lo, len, X); });
    return err;
}

// product_digits (arith/kernel_sets.h): the groups of the chunk's words read from the points
// and rounded as rounded_grouped rounds them, in the same order, and walked as they come, in
// registers. The top chunk's word 0 is not a digit, but the digit formed for it, word 0 less B
// times the carry guessed out of it, lies in range as nearly always: it takes part in the
// range of the digits, and only the check digit by digit leaves it out. The top chunk's carry
// out is the one out of word 1. Only for registers of eight doubles (ShiftInRegisters,
// arith/carry_kernels.h); the other sets' tables have no product_digits.
#if PIDRM_WIDE_LANES >= 8
bool product_digits(const double* points, int words, int lo, int len, double* D, double* edge,
                    double carry_in, double* carry_out, double* distance) {
    const int n = words / 2;
    if (n < 4 || group_points(n) != N || len % N != 0 || len < 2 * N) return false;
    // Words k..k+N-1 (k a multiple of N): at real_at(k, N) + N = 2k + N for k < n, at 2(k - n)
    // for the upper half; k = lo + j.
    const std::int64_t upper = 2 * std::int64_t{lo} + N, lower = 2 * (std::int64_t{lo} - n);
    const auto coefficients = [=](int j) {
        return load<N>(points + ((lo + j < n ? upper : lower) + 2 * j));
    };
    Distances<N> d = {splat<N>(0), splat<N>(0)};
    const auto fetch = [&](int j) { return rounded(coefficients(j), d); };
    DigitRange range = no_digits();
    const auto keep = [&](int j, const Digits& digits) {
        store(D + j, digits.digit);
        take(range, digits.digit);
    };
    const Words below = load<N>(edge);
    const bool top = lo == 0;
    const Walked walked = walk<true>(fetch, len, below, keep);
    *distance = largest_distance(d);
    *carry_out = walked.top_guesses[top ? 1 : 0];
    if (walked.end_guesses[0] != carry_in) return false;
    const Verdict v = verdict<true>(range);
    if (v == Verdict::Wrong) return false;
    if (v == Verdict::CheckEach) {
        Distances<N> again = {splat<N>(0), splat<N>(0)};
        const auto fetch_again = [&](int j) { return rounded(coefficients(j), again); };
        const MaskOf<N> digit_lanes =  // all but lane 0: (0, 1, .., 1) > 1/2
            greater(lanes_from<N - 1>(splat<N>(0), splat<N>(1)), splat<N>(0.5));
        MaskOf<N> out = no_lanes();
        const auto check = [&](int j, const Digits& digits) {
            const Digits own = {masked(digit_lanes, digits.t), masked(digit_lanes, digits.digit)};
            out = either(out, balanced_out_of_range(top && j == 0 ? own : digits));
        };
        walk<true>(fetch_again, len, below, check);
        if (any(out)) return false;
    }
    store(edge, walked.top_words);
    return true;
}
#endif

}  // namespace PIDRM_KERNEL_SET
