// The regions of the products' scratch (FftScratch), named once. For products of operands of
// up to n words it holds scratch_doubles(n) = 6n + 2 doubles (lay_out_fft_memory), which each
// user takes from the start; in doubles:
//
//   0 .. 4n        convolve and multiply: one operand's spectrum (0..2n), then the product's
//                  points (2n..4n)
//   0 .. 2n        multiply_sharing: the product's points
//   2n .. 6n       the two spectra that a caller of multiply_sharing keeps for several products
//                  of n-word operands (kept_spectrum): a DRM step OddPower's and y^M's
//                  (drm/atan.cpp), the reciprocal X's and Y's (newton/divide.cpp)
//   0 .. 12L + s   a merge level of the arctangent with groups of k words, in a step of n >= 2k
//                  words (drm/merge_transforms.cpp): a spectrum of its level length L <= k for each
//                  of its six operands, 2L doubles each (level_spectrum; 12L <= 6k <= 3n), then,
//                  folded at L = k/2, the numerator's coefficients beyond word k, s of them,
//                  at most k / FoldedOverrunShare (drm/merge_routes.h)
//
// The two doubles after 6n are spare. Before any product, prepare_transforms may build tables
// of length n in the first 3n doubles for the while (fft/tables.cpp). A region is its user's
// while the user runs, and users run one at a time, but for multiply_sharing, whose points lie
// below the spectra its caller keeps.
#pragma once

#include <cassert>
#include <cstdint>

// Doubles of the scratch for products of operands of up to n words.
constexpr std::int64_t scratch_doubles(std::int64_t n) {
    return 6 * n + 2;
}

// True when the first `doubles` of a scratch fit in the scratch of products of n words.
constexpr bool fits_scratch(std::int64_t doubles, std::int64_t n) {
    return doubles <= scratch_doubles(n);
}

// Spectrum `which` (0 or 1) of the two kept for several products of n-word operands: 2n
// doubles each, after the 2n of multiply_sharing's points.
inline double* kept_spectrum(double* scratch, int n, int which) {
    assert(which == 0 || which == 1);
    assert(fits_scratch(2LL * n * (2 + which), n));
    return scratch + 2 * n + 2 * n * which;
}

// Doubles of `count` spectra of length L, 2L each.
constexpr int level_spectra_doubles(int L, int count) {
    return 2 * L * count;
}

// Spectrum `index` of a merge level of length L: the spectra stand from the scratch's start,
// 2L doubles each; what the level keeps beyond `count` of them starts at spectrum `count`.
inline double* level_spectrum(double* scratch, int L, int index) {
    return scratch + level_spectra_doubles(L, index);
}
