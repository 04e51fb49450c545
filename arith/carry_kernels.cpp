// The carry kernel: the digits of a chunk of words with guessed carries, four or eight words
// at a time (eight where the set's widest register holds eight doubles). Compiled once for
// each kernel set (arith/kernel_sets.h), whose table holds balanced_digits and plain_digits.
//
// The carry into a word is guessed from the three words below it. With the guesses, a word's
// digit is the word plus the carry guessed into it, minus B times the carry guessed into the
// word above; the carry out of a word is the one that leaves its digit in the digit range, so
// a digit in range confirms the guess above it. When the carry entering the chunk is the one
// guessed and every digit is in range, each word was formed with the carry the word-by-word
// sweep passes into it (by induction from the chunk's bottom word up), so the digits are that
// sweep's, bit for bit; otherwise the caller sweeps the chunk word by word
// (arith/normalize.cpp). A guess decides how fast, never which digits.
#include "arith/lanes.h"

namespace PIDRM_KERNEL_SET {
namespace {

constexpr double RadixReal = 100000.0, HalfRadixReal = RadixReal / 2;
constexpr double InverseRadix = 1.0 / RadixReal;

// Words side by side: eight where the set's widest registers hold eight doubles, else four.
constexpr int N = WideLanes >= 8 ? 8 : 4;
typedef LanesOf<N> Words;

// Guesses of the carries entering the words above x[0..N-1], from t = (x[0] + x[1]/B +
// x[2]/B^2)/B, which is within 1/B + 2^37/B^3 < 1.5*10^-4 of x[0] plus the carry into it,
// divided by B (the carry into a word is within 1 of the word below plus its carry, divided
// by B). Balanced digits: the nearest whole number to t, and to the one nearer zero at a tie,
// as the carry is when a digit of +-B/2 takes the sign of the word plus its carry. Plain
// digits: the floor of t. Words of a whole number and a half times B (balanced) or a whole
// number times B (plain) over zeros are common; for them t is nudged by a relative 2^-40, far
// more than its rounding error (3 * 2^-53), toward zero (balanced) or up (plain), and the
// floor is the nearest whole number to t - 1/2.
template <bool Balanced>
KERNEL_INLINE Words guessed_carries(const double* x) {
    const Words inverse = splat<N>(InverseRadix);
    const Words t = (load<N>(x) + (load<N>(x + 1) + load<N>(x + 2) * inverse) * inverse) * inverse;
    return Balanced ? nearest_whole(t * splat<N>(1 - 1.0 / (1LL << 40)))
                    : nearest_whole(t + magnitude(t) * splat<N>(1.0 / (1LL << 40)) - splat<N>(0.5));
}

// D[at..at+N-1] <- the digits of words at..at+N-1, X[j] + guess[j+1] - B*guess[j]; low and
// high keep the smallest and the largest digit of each lane (a NaN is passed over).
KERNEL_INLINE void digits(const double* X, double* D, const double* guess, int at, Words& low,
                          Words& high) {
    const Words t = load<N>(X + at) + load<N>(guess + at + 1);
    const Words digit = t - load<N>(guess + at) * splat<N>(RadixReal);
    store(D + at, digit);
    low = smaller(digit, low);
    high = larger(digit, high);
}

// Whether the balanced digits D[at..at+N-1] of words at..at+N-1 lie in their ranges, which
// for a digit of +-B/2 depends on the sign of the word plus its carry, t: a digit less 1 where
// t is positive lies in -B/2..B/2-1. The range low..low+B-1 holds the numbers within (B-1)/2
// of its middle: one comparison, where two joined by an or would become scalar code on SSE2.
KERNEL_INLINE MaskOf<N> balanced_out_of_range(const double* X, const double* D, const double* guess,
                                              int at) {
    const Words t = load<N>(X + at) + load<N>(guess + at + 1);
    const Words d = load<N>(D + at) - masked(greater(t, splat<N>(0)), splat<N>(1));
    const double half_width = (RadixReal - 1) / 2, middle = -HalfRadixReal + half_width;
    return greater(magnitude(d - splat<N>(middle)), splat<N>(half_width));
}

// Digits: balanced -B/2+1..B/2 when the word plus its carry, t, is positive and -B/2..B/2-1
// otherwise (a digit of +-B/2 takes the sign of t); plain 0..B-1. The digits are whole
// numbers, so their smallest and largest decide the range at once, except where a balanced
// digit is +-B/2: such a chunk is checked digit by digit.
template <bool Balanced>
bool guessed_digits(const double* X, double* D, int len, double* guess, double carry_in,
                    double* carry_out) {
    for (int j = 0; j <= len; j += N) store(guess + j, guessed_carries<Balanced>(X + j));
    Words low = splat<N>(0), high = splat<N>(0);
    int j = 0;
    for (; j + N <= len; j += N) digits(X, D, guess, j, low, high);
    // The last words in a group that overlaps the one before: the same digits again.
    if (j < len) digits(X, D, guess, len - N, low, high);
    *carry_out = guess[0];
    if (guess[len] != carry_in) return false;
    const double least = Balanced ? -HalfRadixReal : 0,
                 most = Balanced ? HalfRadixReal : RadixReal - 1;
    if (any(either(less(low, splat<N>(least)), greater(high, splat<N>(most))))) return false;
    if (!Balanced ||
        !any(either(less(low, splat<N>(least + 1)), greater(high, splat<N>(most - 1)))))
        return true;
    MaskOf<N> out = less(low, low);  // none
    for (j = 0; j + N <= len; j += N) out = either(out, balanced_out_of_range(X, D, guess, j));
    if (j < len) out = either(out, balanced_out_of_range(X, D, guess, len - N));
    return !any(out);
}

}  // namespace

bool balanced_digits(const double* X, double* D, int len, double* guess, double carry_in,
                     double* carry_out) {
    return guessed_digits<true>(X, D, len, guess, carry_in, carry_out);
}

bool plain_digits(const double* X, double* D, int len, double* guess, double carry_in,
                  double* carry_out) {
    return guessed_digits<false>(X, D, len, guess, carry_in, carry_out);
}

}  // namespace PIDRM_KERNEL_SET
