// What the merge levels of a DRM step share inside drm/: the formula of a merge, the groups'
// significant words, and the pairs merged word by word, which the first level calls too. Not
// for use outside drm/.
//
// Groups of a terms are k = 4a words each (drm/atan.cpp). The left group L at word b and
// the right group R at word r = b + k merge into
//     N = N_L * (y^a D_R) + N_R * D_L,    D = D_L * D_R,
// with y^a in PowerWork[1..k], which the level then squares into y^(2a) in PowerWork[1..2k].
// From the group invariant,
//     N_L / (D_L y^(a-1)) + y^(-a) N_R / (D_R y^(a-1)) = N / (D y^(2a-1)),
// which is the invariant of the merged group of 2a terms. N and D take 2k words each, so the
// merged groups tile words 1..n again. The numerator takes the low k words of y^a D_R only,
// so that product must fit in k words; a pair where it does not would give wrong digits, so
// it stops the run (stop_on_group_overflow).
//
// The routes of a level (drm/merge_routes.h) differ only in how its products are made:
//   drm/merge_terms.cpp    the first level, straight from the terms (drm_combine_terms);
//   drm/merge_words.cpp    the levels of short groups, each product word by word, eight pairs
//                          side by side (drm/merge_lanes_kernels.cpp) or a pair at a time;
//   drm/merge_transforms.cpp  the levels that transform, by shared or folded spectra, and
//                          the route each level takes (drm_combine).
#pragma once

#include <cstdio>
#include <cstdlib>

#include "drm/drm.h"

// A merge whose y^a * D_R does not fit in k words would give wrong digits: the run stops
// with status 1. The exit handlers of the program keep an older result file as it was.
[[noreturn]] inline void stop_on_group_overflow() {
    std::printf(" ** Error Stop \n");
    std::exit(1);
}

// Words of the k-word integer X (most significant first) below its leading zeros.
inline int significant_words(const double* X, int k) {
    return k - leading_zero_words(X, k);
}

// A group's words below its leading zeros, most significant first.
struct Span {
    const double* words;
    int count;
};

inline Span significant(const double* group, int k) {
    const int count = significant_words(group, k);
    return {group + (k - count), count};
}

// The pair at word b merged word by word, with y^a = power; no operand has more than
// MergeProductsLongest significant words (drm/merge_routes.h). Returns the bottom words of
// the merged group that hold its significant ones.
int merge_pair_by_words(int k, int b, const Span& power);

// Whether a level of m pairs of groups of k words, none of whose operands has more than L
// words (its level length, drm/merge_routes.h), merges its pairs side by side, eight at a time,
// on the route of separate products. Pairs merged one at a time have operands of at most
// MergeProductsLongest words.
bool merge_in_lanes(int k, int m, int L);

// A level of length L on the route of separate products, every pair word by word; then y^a
// squared. *words <- the bottom words of the merged groups that hold their significant ones.
// Returns the largest RoundingError.
double merge_level_by_words(int k, int m, int L, int* words);

// PowerWork[1..2k] <- the square of y^a in PowerWork[1..k] by convolve_known's route, formed
// in ProductWork first. Returns the RoundingError.
double square_power(int k);
