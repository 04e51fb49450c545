// The carry kernel: the digits of a chunk of words with guessed carries, four or eight words
// at a time (arith/carry_kernels.h). Compiled once for each kernel set
// (arith/kernel_sets.h), whose table holds balanced_digits and plain_digits.
#include "arith/carry_kernels.h"

namespace PIDRM_KERNEL_SET {
namespace {

// The group of the last N words of X[0..len), which overlaps the one before when N does not
// divide len: visit(len - N, digits). Returns the guess for word len, below them.
template <bool Balanced, typename Visit>
KERNEL_INLINE double last_words(const double* X, int len, Visit visit) {
    const double* x = X + len - N;
    const Words g_in = guesses_at<Balanced>(x + 1);
    visit(len - N, digits_of(load<N>(x), guesses_at<Balanced>(x), g_in));
    return g_in[N - 1];
}

// Registers narrower than eight doubles (ShiftInRegisters): the guesses of the chunk's groups
// stored first, then each group's digits formed from its words and the guesses read back, one
// place on and in place, the guesses' stores long gone from the store buffer by then.
template <bool Balanced>
bool digits_from_stored_guesses(const double* X, double* D, int len, double* guess, double carry_in,
                                double* carry_out) {
    for (int j = 0; j <= len; j += N) store(guess + j, guesses_at<Balanced>(X + j));
    const auto digits_at = [&](int at) {
        return digits_of(load<N>(X + at), load<N>(guess + at), load<N>(guess + at + 1));
    };
    DigitRange range = no_digits();
    const auto keep = [&](int at) {
        const Digits d = digits_at(at);
        store(D + at, d.digit);
        take(range, d.digit);
    };
    const int m = len - len % N;
    for (int j = 0; j < m; j += N) keep(j);
    if (m < len) keep(len - N);
    *carry_out = guess[0];
    if (guess[len] != carry_in) return false;
    const Verdict v = verdict<Balanced>(range);
    if (v != Verdict::CheckEach) return v == Verdict::Right;
    MaskOf<N> out = no_lanes();
    for (int j = 0; j < m; j += N) out = either(out, balanced_out_of_range(digits_at(j)));
    if (m < len) out = either(out, balanced_out_of_range(digits_at(len - N)));
    return !any(out);
}

// The digits of the chunk X[0..len): registers of eight doubles walk its groups as they stand
// in X, and the last N words as a group of their own; narrower ones store the guesses first.
template <bool Balanced>
bool guessed_digits(const double* X, double* D, int len, double* guess, double carry_in,
                    double* carry_out) {
    if (!ShiftInRegisters)
        return digits_from_stored_guesses<Balanced>(X, D, len, guess, carry_in, carry_out);
    const int m = len - len % N;
    const auto fetch = [X](int j) { return load<N>(X + j); };
    DigitRange range = no_digits();
    const auto keep = [&](int j, const Digits& d) {
        store(D + j, d.digit);
        take(range, d.digit);
    };
    const Walked walked = walk<Balanced>(fetch, m, load<N>(X + m), keep);
    *carry_out = walked.top_guesses[0];
    const double guess_end = m < len ? last_words<Balanced>(X, len, keep) : walked.end_guesses[0];
    if (guess_end != carry_in) return false;
    const Verdict v = verdict<Balanced>(range);
    if (v != Verdict::CheckEach) return v == Verdict::Right;
    MaskOf<N> out = no_lanes();
    const auto check = [&](int, const Digits& d) { out = either(out, balanced_out_of_range(d)); };
    walk<Balanced>(fetch, m, load<N>(X + m), check);
    if (m < len) last_words<Balanced>(X, len, check);
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
