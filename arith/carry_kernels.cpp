// The carry kernel: the digits of a chunk of words with guessed carries, four words at a time.
// Compiled once for each kernel set (arith/kernel_sets.h).
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

// Guesses of the carries entering the words above x[0..3], from t = (x[0] + x[1]/B +
// x[2]/B^2)/B, which is within 1/B + 2^37/B^3 < 1.5*10^-4 of x[0] plus the carry into it,
// divided by B (the carry into a word is within 1 of the word below plus its carry, divided
// by B). Balanced digits: the nearest whole number to t, and to the one nearer zero at a tie,
// as the carry is when a digit of +-B/2 takes the sign of the word plus its carry. Plain
// digits: the floor of t. Words of a whole number and a half times B (balanced) or a whole
// number times B (plain) over zeros are common; for them t is nudged by a relative 2^-40, far
// more than its rounding error (3 * 2^-53), toward zero (balanced) or up (plain), and the
// floor is the nearest whole number to t - 1/2.
template <bool Balanced>
KERNEL_INLINE Lanes guessed_carries(const double* x) {
    const Lanes inverse = splat(InverseRadix);
    const Lanes t = (load(x) + (load(x + 1) + load(x + 2) * inverse) * inverse) * inverse;
    return Balanced ? nearest_whole(t * splat(1 - 1.0 / (1LL << 40)))
                    : nearest_whole(t + magnitude(t) * splat(1.0 / (1LL << 40)) - splat(0.5));
}

// D[at..at+3] <- the digits of words at..at+3, X[j] + guess[j+1] - B*guess[j]; low and high
// keep the smallest and the largest digit of each lane (a NaN is passed over).
KERNEL_INLINE void digits(const double* X, double* D, const double* guess, int at, Lanes& low,
                          Lanes& high) {
    const Lanes t = load(X + at) + load(guess + at + 1);
    const Lanes digit = t - load(guess + at) * splat(RadixReal);
    store(D + at, digit);
    low = smaller(digit, low);
    high = larger(digit, high);
}

// Whether the balanced digits D[at..at+3] of words at..at+3 lie in their ranges, which for
// a digit of +-B/2 depends on the sign of the word plus its carry, t: a digit less 1 where t
// is positive lies in -B/2..B/2-1. The range low..low+B-1 holds the numbers within (B-1)/2 of
// its middle: one comparison, where two joined by an or would become scalar code on SSE2.
KERNEL_INLINE Mask balanced_out_of_range(const double* X, const double* D, const double* guess,
                                         int at) {
    const Lanes t = load(X + at) + load(guess + at + 1);
    const Lanes d = load(D + at) - masked(greater(t, splat(0)), splat(1));
    const double half_width = (RadixReal - 1) / 2, middle = -HalfRadixReal + half_width;
    return greater(magnitude(d - splat(middle)), splat(half_width));
}

// Digits: balanced -B/2+1..B/2 when the word plus its carry, t, is positive and -B/2..B/2-1
// otherwise (a digit of +-B/2 takes the sign of t); plain 0..B-1. The digits are whole
// numbers, so their smallest and largest decide the range at once, except where a balanced
// digit is +-B/2: such a chunk is checked digit by digit.
template <bool Balanced>
bool guessed_digits(const double* X, double* D, int len, double* guess, double carry_in,
                    double* carry_out) {
    for (int j = 0; j <= len; j += 4) store(guess + j, guessed_carries<Balanced>(X + j));
    Lanes low = splat(0), high = splat(0);
    int j = 0;
    for (; j + 4 <= len; j += 4) digits(X, D, guess, j, low, high);
    // The last words in a group that overlaps the one before: the same digits again.
    if (j < len) digits(X, D, guess, len - 4, low, high);
    *carry_out = guess[0];
    if (guess[len] != carry_in) return false;
    const double least = Balanced ? -HalfRadixReal : 0,
                 most = Balanced ? HalfRadixReal : RadixReal - 1;
    if (any(either(less(low, splat(least)), greater(high, splat(most))))) return false;
    if (!Balanced || !any(either(less(low, splat(least + 1)), greater(high, splat(most - 1)))))
        return true;
    Mask out = less(low, low);  // none
    for (j = 0; j + 4 <= len; j += 4) out = either(out, balanced_out_of_range(X, D, guess, j));
    if (j < len) out = either(out, balanced_out_of_range(X, D, guess, len - 4));
    return !any(out);
}

}  // namespace

const CarryKernels Carries = {guessed_digits<true>, guessed_digits<false>};

}  // namespace PIDRM_KERNEL_SET
