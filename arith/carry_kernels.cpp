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

// D[at..at+3] <- the digits of words at..at+3, X[j] + guess[j+1] - B*guess[j]; out_of_range
// gains the lanes whose digit lies outside its range. A balanced digit less 1 where the word
// plus its carry, t, is positive lies in -B/2..B/2-1 as a plain one lies in 0..B-1.
template <bool Balanced>
KERNEL_INLINE void digits(const double* X, double* D, const double* guess, int at,
                          Lanes& out_of_range) {
    const Lanes t = load(X + at) + load(guess + at + 1);
    const Lanes digit = t - load(guess + at) * splat(RadixReal);
    store(D + at, digit);
    const Lanes d = Balanced ? digit - masked(greater(t, splat(0)), splat(1)) : digit;
    // The range low..low+B-1 holds the numbers within (B-1)/2 of its middle: one comparison,
    // where two joined by an or would become scalar code on SSE2 (GCC).
    const double half_width = (RadixReal - 1) / 2,
                 middle = (Balanced ? -HalfRadixReal : 0) + half_width;
    const Mask out = greater(magnitude(d - splat(middle)), splat(half_width));
    out_of_range = out_of_range + masked(out, splat(1));
}

// Digits: balanced -B/2+1..B/2 when the word plus its carry, t, is positive and -B/2..B/2-1
// otherwise (a digit of +-B/2 takes the sign of t); plain 0..B-1.
template <bool Balanced>
bool guessed_digits(const double* X, double* D, int len, double* guess, double carry_in,
                    double* carry_out) {
    for (int j = 0; j <= len; j += 4) store(guess + j, guessed_carries<Balanced>(X + j));
    Lanes out_of_range = splat(0);  // the count of digits out of range, lane by lane
    int j = 0;
    for (; j + 4 <= len; j += 4) digits<Balanced>(X, D, guess, j, out_of_range);
    // The last words in a group that overlaps the one before: the same digits again.
    if (j < len) digits<Balanced>(X, D, guess, len - 4, out_of_range);
    *carry_out = guess[0];
    return guess[len] == carry_in && !any(greater(out_of_range, splat(0)));
}

}  // namespace

const CarryKernels Carries = {guessed_digits<true>, guessed_digits<false>};

}  // namespace PIDRM_KERNEL_SET
