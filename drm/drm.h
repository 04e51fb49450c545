// atan(1/x) by blocks of series terms merged pairwise into one exact fraction (DRM).
#pragma once

#include "arith/long_number.h"

// The working arrays of the arctangent, shared with the pi run, in the working memory
// (lay_out_drm_memory). Each number holds n + 3 words for the working length n, ProductWork
// 4n + 2.
extern double* AtanSum;       // the arctangent sum; the pi run's addition target
extern double* PowerWork;     // x^2 raised to the group size, then a block's divisor
extern double* OddPower;      // x^(2j-1) after j terms
extern double* Numerators;    // the groups' numerators, then a block's numerator P
extern double* Denominators;  // the groups' denominators, then Q, then the quotient
extern double* ProductWork;   // output of products; the work area of the division
extern double OddCounter;     // the odd number 2j+1 of the next term

// Doubles of working memory that the arrays above take for a working length n <= 2^18.
constexpr std::int64_t drm_memory_words(std::int64_t n) {
    return 5 * slice_words(n + 3) + slice_words(4 * n + 2);
}

// Lays out the arrays above for the working length n from `memory` (drm_memory_words(n)
// doubles) and returns the memory after them.
double* lay_out_drm_memory(double* memory, int n);

// AtanSum <- the sum of the first steps*n/4 terms of atan(1/x) = sum (-1)^j/((2j+1) x^(2j+1)),
// to n words (n a power of two, 8 <= n <= 2^18; 2 <= x, x^2 below 2^31 * 10^5).
// Returns the largest RoundingError of its products.
double atan_drm(int x, int n, int steps);

// Adds the next n/4 terms to AtanSum: one exact fraction P/Q, one division. Advances
// OddCounter by n/2 and OddPower by x^(n/2). Returns the step's largest RoundingError.
double drm_step(int x, int n);

// One merge level (drm/merge.h): groups 2i-1 and 2i (k words each, i = 1..m) become one
// group of 2k words in Numerators and Denominators; PowerWork[1..k] = y^(k/4) becomes
// y^(k/2) in [1..2k]. No group has more than *words significant words (k where nothing is
// known), and on return no merged group has more than *words: what the level before leaves
// spares the next the reading of leading zeros. Returns the level's largest RoundingError. A
// pair whose y^(k/4) * D_R exceeds k words breaks the merge: console " ** Error Stop ", then
// std::exit(1).
double drm_combine(int k, int m, int* words);

// The first merge level of a step straight from its terms: the n/4 terms from OddCounter on
// (signs +1, -1, ...) merged pairwise into groups of 8 words in Numerators and Denominators,
// words 1..n, and PowerWork[1..8] = y^2 for y = x^2: every word as laying the terms out as
// groups of four words (numerator +1 or -1, denominator the odd number, normalised) with y in
// PowerWork[1..4] and drm_combine(4, n/8, ...) would leave it. Advances OddCounter by n/2.
// Returns the level's largest RoundingError.
double drm_combine_terms(int x, int n);

// The routes of a merge level (drm/merge_routes.h), and the number of levels that took each
// since the process started: what the tests read to know a route was taken.
enum MergeRoute {
    MergeBySeparateProducts,
    MergeBySharedSpectra,
    MergeFolded,
    MergeFromTerms,
    MergeRouteCount
};
extern long MergeLevels[MergeRouteCount];
