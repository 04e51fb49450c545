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
    const Words g = guesses<Balanced>(load<N>(x), load<N>(x + N)),
                g_in = guesses<Balanced>(load<N>(x + 1), load<N>(x + 1 + N));
    visit(len - N, digits_of(load<N>(x), g, g_in));
    return g_in[N - 1];
}

// The digits of the chunk X[0..len), its groups walked as they stand in X and the last N
// words as a group of their own.
template <bool Balanced>
bool guessed_digits(const double* X, double* D, int len, double carry_in, double* carry_out) {
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

bool balanced_digits(const double* X, double* D, int len, double carry_in, double* carry_out) {
    return guessed_digits<true>(X, D, len, carry_in, carry_out);
}

bool plain_digits(const double* X, double* D, int len, double carry_in, double* carry_out) {
    return guessed_digits<false>(X, D, len, carry_in, carry_out);
}

}  // namespace PIDRM_KERNEL_SET
