// Pointwise products of spectra, and the rounding of a product's coefficients to whole
// numbers, four points or words at a time. Compiled once for each kernel set
// (arith/kernel_sets.h); with the permuted transform they make the set's product kernels.
#include <cassert>
#include <cstring>
#include <type_traits>

#include "arith/lanes.h"
#include "fft/kernels.h"

namespace PIDRM_KERNEL_SET {
namespace {

// Spectra of n >= 4 points stand in groups of G = group_points(n): G real parts, then G
// imaginary parts. Spectra of 2 points are one group of two, taken here as they stand, as
// the groups of four take them. Sum: product += x * y, else product = x * y.
template <int G, bool Sum>
void pointwise(const double* x, const double* y, double* product, int n) {
    typedef typename std::conditional<G == 8, Wide, Register>::type R;
    constexpr int E = sizeof(R) / sizeof(double);
    for (std::int64_t at = 0; at < 2LL * n; at += 2 * G)
        for (int e = 0; e < G; e += E) {
            const std::int64_t re = at + e, im = at + G + e;
            const R xr = load_as<R>(x + re), xi = load_as<R>(x + im);
            const R yr = load_as<R>(y + re), yi = load_as<R>(y + im);
            const R pr = xr * yr - xi * yi, pi = xr * yi + xi * yr;
            store_as(product + re, Sum ? load_as<R>(product + re) + pr : pr);
            store_as(product + im, Sum ? load_as<R>(product + im) + pi : pi);
        }
}

template <bool Sum>
void pointwise_of_length(const double* x, const double* y, double* product, int n) {
    if (n < 4) {
        for (int k = 0; k < 2; ++k) {
            const double pr = x[k] * y[k] - x[2 + k] * y[2 + k];
            const double pi = x[k] * y[2 + k] + x[2 + k] * y[k];
            product[k] = Sum ? product[k] + pr : pr;
            product[2 + k] = Sum ? product[2 + k] + pi : pi;
        }
    } else if (group_points(n) == LongGroup) {
        pointwise<LongGroup, Sum>(x, y, product, n);
    } else {
        pointwise<4, Sum>(x, y, product, n);
    }
}

void multiply_spectra(const double* x, const double* y, double* product, int n) {
    pointwise_of_length<false>(x, y, product, n);
}

void add_product_of_spectra(const double* x, const double* y, double* sum, int n) {
    pointwise_of_length<true>(x, y, sum, n);
}

// The distances of a run of coefficients from their whole numbers: the largest distance in
// each lane, and the sum of c - c over the coefficients c, which is 0 unless one of them is
// not finite, when it is a NaN, as the rounding error of the run then is.
struct Distances {
    Lanes largest, not_finite;
};

// The coefficients c at {X, 4} rounded half up, floor(c + 0.5), their distances
// |floor(c + 0.5) - c| taken into d.
KERNEL_INLINE void round_four(const Lanes& c, double* X, Distances& d) {
    const Lanes whole = floor_whole(c + splat(0.5));
    store(X, whole);
    d.largest = larger(magnitude(whole - c), d.largest);
    d.not_finite = d.not_finite + (c - c);
}

// The largest distance of a run, a NaN where a coefficient was not finite.
KERNEL_INLINE double largest_distance(const Distances& d) {
    return largest_lane(d.largest + d.not_finite);
}

// Words lo..lo+len-1 of the 2n-word product whose n points stand in `points` after the
// inverse transform, rounded: word k < n is the imaginary part of point k, word n + k its
// real part. lo and len are multiples of 4 (normalize_from asks for chunks of 256 words from
// the bottom of a run of 2n >= 4 words). Coefficients are whole numbers of magnitude at most
// n*max|a|*max|b| (6.5536e14 for 2^18 balanced words, twice that for a sum of two products),
// below the 2^51 that floor_whole needs, so rounding recovers them while the error stays
// below 0.5.
double rounded_coefficients(const double* points, int words, int lo, int len, double* X) {
    const int n = words / 2;
    assert(lo % 4 == 0 && len % 4 == 0);
    Distances d = {splat(0), splat(0)};
    if (n < 4) {  // one group of two points: the imaginary parts, then the real parts
        assert(lo == 0 && len == 4);
        const double parts[4] = {points[2], points[3], points[0], points[1]};
        round_four(load(parts), X, d);
        return largest_distance(d);
    }
    // Word k < n stands at double real_at(k) + G of the points, word n + k at real_at(k); four
    // words from a multiple of 4 stand side by side.
    const int G = group_points(n);
    for (int j = 0; j < len; j += 4) {
        const int k = lo + j;
        const std::int64_t at =
            k < n ? 2 * k - (k & (G - 1)) + G : 2 * (k - n) - ((k - n) & (G - 1));
        round_four(load(points + at), X + j, d);
    }
    return largest_distance(d);
}

}  // namespace

const ProductKernels Products = {permuted_transform, permuted_transform_words, permuted_product,
                                 multiply_spectra,   add_product_of_spectra,   rounded_coefficients,
                                 LongGroup};

}  // namespace PIDRM_KERNEL_SET
