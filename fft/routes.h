// The routes of the products: which way each product of a run is made, and every threshold
// that chooses the way, each with the measurement that set it. A route never changes the
// integer a product yields, only how it is made and the RoundingError it reports.
//
// A product of n-word operands a and b with sa and sb significant words (the words below
// their leading zero words) takes the first route whose condition holds (fft/convolve.cpp):
//
//   route                       n       sa * sb                  spectra kept
//   +1 or -1 copy               any     <= FewProducts, one      -
//                                       factor +1 or -1, the
//                                       other's words digits
//   coefficient by coefficient  any     <= FewProducts           -
//   rows                        any     <= SchoolbookLongest n   -
//   depth-first square          >= 16   more, a is b             - (one forward transform)
//   one spectrum, the other     >= 16   more                     a's, for this product (convolve,
//     operand depth first                                         multiply), or one kept for
//                                                                 several (multiply_sharing)
//   two kept spectra            any     more                     both (multiply_sharing)
//   packed, transformed apart   < 16    more                     a's (a direct call only)
//
// Transforms are never taken below 33 words: there sa * sb <= n^2 <= SchoolbookLongest n.
//
// A merge level of the arctangent (drm/merge.cpp) with groups of k words works at its level
// length L, the shortest power of two that holds every operand of its products:
//
//   separate products           k <= MergeProductsLongest or L <= MergeProductsLongest: each
//                               product summed word by word, as the routes above sum it, a
//                               pair at a time in one pass; the first level straight from
//                               the terms' odd numbers
//   shared spectra              every operand transformed once at L; N_L (y^a D_R) + N_R D_L
//                               back through one inverse transform
//   folded at k/2               L = k where folding pays (fold_pays): each operand's upper
//                               half in the imaginary parts of k/2 points
#pragma once

// Products whose significant words multiply to at most SchoolbookLongest * n pairs are
// summed word by word: up to 32 words the n^2 multiplications cost less than three
// transforms (bench/short_products_bench).
constexpr int SchoolbookLongest = 32;

// Products of at most this many pairs of words go coefficient by coefficient, each carry
// swept as it is formed; more go by rows and one carry pass. Measured: 0.16 against 0.20 us
// at 16 x 16 words, 0.49 against 0.35 at 32 x 32.
constexpr int FewProducts = 256;

// The transforms that read an operand's words themselves, and the depth-first products made
// of them, take 16 points or more: their first stage runs four offsets of each quarter side
// by side. Shorter spectra are packed into points and transformed apart.
constexpr int WordsTransformShortest = 16;

// Merge levels whose groups, or whose level length, are at most this many words merge by
// separate products; longer ones share their operands' transforms. The groups are mostly
// leading zero words, which the word-by-word sums skip: twice SchoolbookLongest costs fewer
// instructions in whole runs than SchoolbookLongest (Machin, callgrind: -0.5 % at 10^5,
// -1.0 % at 10^6) or four times it.
constexpr int MergeProductsLongest = 2 * SchoolbookLongest;

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
