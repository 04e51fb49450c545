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
