// The routes of the merge levels of a DRM step: which way each level makes its products, and
// every threshold that chooses the way, each with the measurement that set it. A route never
// changes the integers N and D a level yields, only how their products are made and the
// RoundingError it reports. Not for use outside drm/.
//
// A merge level (drm/merge.h) with groups of k words works at its level length L, the shortest
// power of two that holds every operand of its products (level_route):
//
//   from the terms              the first level of a step: N and D of each pair of terms
//                               straight from their odd numbers (drm/merge_terms.cpp), or
//                               by separate products where y times the last odd number
//                               would reach 2^62
//   separate products           k <= MergeProductsLongest or L <= MergeProductsLongest, or
//                               L <= MergeLanesLongest where the pairs go side by side: each
//                               product summed word by word, as the product routes
//                               (fft/routes.h) sum short products, eight pairs at a time side
//                               by side or a pair at a time (drm/merge_words.cpp)
//   shared spectra              every operand transformed once at L; N_L (y^a D_R) + N_R D_L
//                               back through one inverse transform (drm/merge_transforms.cpp)
//   folded at k/2               L = k where folding pays (fold_pays): each operand's upper
//                               half in the imaginary parts of k/2 points
#pragma once

#include "fft/routes.h"

// Merge levels whose groups, or whose level length, are at most this many words merge by
// separate products; longer ones share their operands' transforms. The groups are mostly
// leading zero words, which the word-by-word sums skip: twice SchoolbookLongest costs fewer
// instructions in whole runs than SchoolbookLongest (Machin, callgrind: -0.5 % at 10^5,
// -1.0 % at 10^6) or four times it.
constexpr int MergeProductsLongest = 2 * SchoolbookLongest;

// Levels of length up to this merge word by word too where their pairs go side by side
// (merge_in_lanes): eight pairs' products summed at once cost less than transforms shared by
// the level's products up to 256 words. The merge levels of a step up to groups of 2048 words
// (the nine arguments of the formulas, from three odd numbers each, at 2^15 and 2^18 words),
// against 64: -8 to -11 % with 128, -13 to -14 % with 256, -2 to -4 % with 512.
constexpr int MergeLanesLongest = 4 * MergeProductsLongest;

// A level whose operands need all k words of a group may run folded at k/2 while k/2 is still
// a level of shared spectra. Only the numerator's N_L (y^a D_R) is longer than k/2 points
// hold: its coefficients from word k up, `overrun` of them, are summed word by word, about
// overrun^2 / 2 products of words, so folding pays while they are few. Klingenstierna and
// Stoermer at 10^6 ran 6 to 12 % slower with a bound of k/8 or k/4 than with k/16, and no
// faster with k/32. In the runs of the five formulas up to 1,310,715 decimals the levels that
// fold (x = 239, 515, 682) overrun by at most k/17, those that do not (x = 515, 682, 12943)
// by k/15 to k/3.
constexpr int FoldedOverrunShare = 16;

inline bool fold_pays(int k, int overrun) {
    return k / 2 > MergeProductsLongest && overrun <= k / FoldedOverrunShare;
}
