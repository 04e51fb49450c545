// Pointwise products of spectra, and the rounding of a product's coefficients to whole
// numbers, four points or words at a time. Compiled once for each kernel set
// (arith/kernel_sets.h); with the permuted transform they make the set's product kernels.
#include <cassert>
#include <cstring>

#include "arith/lanes.h"
#include "fft/kernels.h"

namespace PIDRM_KERNEL_SET {
namespace {

// Spectra of n >= 4 points stand in groups of four: four real parts, then four imaginary
// parts; one group is one pair of Lanes. Spectra of 2 points are one group of two, taken
// here as they stand, as the groups of four take them.
void multiply_spectra(const double* x, const double* y, double* product, int n) {
    if (n < 4) {
        for (int k = 0; k < 2; ++k) {
            const double xr = x[k], xi = x[2 + k], yr = y[k], yi = y[2 + k];
            product[k] = xr * yr - xi * yi;
            product[2 + k] = xr * yi + xi * yr;
        }
        return;
    }
    for (std::int64_t at = 0; at < 2LL * n; at += 8) {
        const Lanes xr = load(x + at), xi = load(x + at + 4);
        const Lanes yr = load(y + at), yi = load(y + at + 4);
        store(product + at, xr * yr - xi * yi);
        store(product + at + 4, xr * yi + xi * yr);
    }
}

void add_product_of_spectra(const double* x, const double* y, double* sum, int n) {
    if (n < 4) {
        for (int k = 0; k < 2; ++k) {
            sum[k] += x[k] * y[k] - x[2 + k] * y[2 + k];
            sum[2 + k] += x[k] * y[2 + k] + x[2 + k] * y[k];
        }
        return;
    }
    for (std::int64_t at = 0; at < 2LL * n; at += 8) {
        const Lanes xr = load(x + at), xi = load(x + at + 4);
        const Lanes yr = load(y + at), yi = load(y + at + 4);
        store(sum + at, load(sum + at) + (xr * yr - xi * yi));
        store(sum + at + 4, load(sum + at + 4) + (xr * yi + xi * yr));
    }
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
    // Word k < n stands at double 2k - k%4 + 4 of the points, word n + k at 2k - k%4.
    for (int j = 0; j < len; j += 4) {
        const int k = lo + j;
        const double* part = k < n ? points + 2 * k + 4 : points + 2 * (k - n);
        round_four(load(part), X + j, d);
    }
    return largest_distance(d);
}

}  // namespace

const ProductKernels Products = {permuted_transform,     permuted_transform_words,
                                 permuted_product,       multiply_spectra,
                                 add_product_of_spectra, rounded_coefficients};

}  // namespace PIDRM_KERNEL_SET
