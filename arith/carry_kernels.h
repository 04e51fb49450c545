// Carries guessed and confirmed a group of words at a time, four or eight words side by side
// (eight where the set's widest register holds eight doubles): the guesses, the walk over a
// chunk's groups and the check of its digits, which the carry kernel (arith/carry_kernels.cpp)
// and the digits of products (fft/pointwise_kernels.cpp) share; the guess and the check of a
// digit's range also serve the merge lanes' sweeps (drm/merge_lanes_kernels.cpp), at any
// number of lanes. Included only by the kernels' sources; internal to the source that
// includes it.
//
// The carry into a word is guessed from the three words below it. With the guesses, a word's
// digit is the word plus the carry guessed into it, minus B times the carry guessed into the
// word above; the carry out of a word is the one that leaves its digit in the digit range, so
// a digit in range confirms the guess above it. When the carry entering the chunk is the one
// guessed and every digit is in range, each word was formed with the carry the word-by-word
// sweep passes into it (by induction from the chunk's bottom word up), so the digits are that
// sweep's, bit for bit; otherwise the caller sweeps the chunk word by word
// (arith/normalize.cpp). A guess decides how fast, never which digits.
#pragma once

#include "arith/lanes.h"

namespace PIDRM_KERNEL_SET {
namespace {

constexpr double RadixReal = 100000.0, HalfRadixReal = RadixReal / 2;
constexpr double InverseRadix = 1.0 / RadixReal;

// Words side by side: eight where the set's widest registers hold eight doubles, else four.
constexpr int N = WideLanes >= 8 ? 8 : 4;
typedef LanesOf<N> Words;

// Whether the words one and two places on from a group, and the guesses one place on, are
// taken from the groups in registers (walk) rather than loaded from memory. In registers of
// eight doubles: every load of eight words that is not on a cache line spans two lines, and
// takes the words from two stores where they were just stored, while the lanes of two
// registers from lane 1 or 2 are one instruction. In narrower registers the loads cost less
// than the shuffles across registers: on the AVX2 set the carries of a product's words took
// 1.25 times as long in registers, and on the baseline set 1.15 (AMD EPYC, Zen 5).
constexpr bool ShiftInRegisters = WideLanes >= 8;

// Guesses of the carries out of the words x[0..N-1] (the carry a word passes to the word
// above it), x1 and x2 holding x[1..N] and x[2..N+1], from t = (x[0] + x[1]/B + x[2]/B^2)/B,
// which is within 1/B + 2^37/B^3 < 1.5*10^-4 of x[0] plus the carry into it, divided by B (the
// carry into a word is within 1 of the word below plus its carry, divided by B). Balanced
// digits: the nearest whole number to t, and to the one nearer zero at a tie, as the carry is
// when a digit of +-B/2 takes the sign of the word plus its carry. Plain digits: the floor of
// t. Words of a whole number and a half times B (balanced) or a whole number times B (plain)
// over zeros are common; for them t is nudged by a relative 2^-40, far more than its rounding
// error (3 * 2^-53), toward zero (balanced) or up (plain), and the floor is the nearest whole
// number to t - 1/2. Each lane's guess depends on its own three words alone, so a word's guess
// has the same bits in whichever group it is formed.
template <bool Balanced, int W>
KERNEL_INLINE LanesOf<W> guesses_of(const LanesOf<W>& x, const LanesOf<W>& x1,
                                    const LanesOf<W>& x2) {
    const LanesOf<W> inverse = splat<W>(InverseRadix);
    const LanesOf<W> t = (x + (x1 + x2 * inverse) * inverse) * inverse;
    return Balanced ? nearest_whole(t * splat<W>(1 - 1.0 / (1LL << 40)))
                    : nearest_whole(t + magnitude(t) * splat<W>(1.0 / (1LL << 40)) - splat<W>(0.5));
}
// The guesses for the words of a group x, next the group after it (lanes 0 and 1 read).
template <bool Balanced>
KERNEL_INLINE Words guesses(const Words& x, const Words& next) {
    return guesses_of<Balanced>(x, lanes_from<1>(x, next), lanes_from<2>(x, next));
}
// The guesses for words x[0..N-1], read from memory with the two words after them.
template <bool Balanced>
KERNEL_INLINE Words guesses_at(const double* x) {
    return guesses_of<Balanced>(load<N>(x), load<N>(x + 1), load<N>(x + 2));
}

// The words x of a group plus the carries guessed into them, t, and their digits: t less B
// times the carries guessed out of them, g. carries_in holds the guesses of the words one
// place below x's.
struct Digits {
    Words t, digit;
};
KERNEL_INLINE Digits digits_of(const Words& x, const Words& g, const Words& carries_in) {
    const Words t = x + carries_in;
    return {t, t - g * splat<N>(RadixReal)};
}

// The groups of words 0..m-1 of a chunk (m a multiple of N, at least 2N), from the top:
// fetch(j) gives words j..j+N-1 and `below` the words m.. (lanes 0 to 2 read). Each word is
// fetched once, and the words one and two places on and the guesses one place on are taken
// from the groups in registers. visit(j, digits) for each group j, in order. Returns the top
// group's words and guesses (lane 0 of these the carry out of word 0), and the guesses of the
// words m.. below the groups (lane 0 the guess for word m).
struct Walked {
    Words top_words, top_guesses, end_guesses;
};
template <bool Balanced, typename Fetch, typename Visit>
KERNEL_INLINE Walked walk(Fetch fetch, int m, const Words& below, Visit visit) {
    Words x = fetch(0), next = fetch(N);
    Words g = guesses<Balanced>(x, next);
    const Words top_words = x, top_guesses = g;
    for (int j = N; j + N < m; j += N) {
        const Words after = fetch(j + N), g_next = guesses<Balanced>(next, after);
        visit(j - N, digits_of(x, g, lanes_from<1>(g, g_next)));
        x = next, next = after, g = g_next;
    }
    const Words g_last = guesses<Balanced>(next, below);
    visit(m - 2 * N, digits_of(x, g, lanes_from<1>(g, g_last)));
    const Words end = guesses<Balanced>(below, splat<N>(0));
    visit(m - N, digits_of(next, g_last, lanes_from<1>(g_last, end)));
    return {top_words, top_guesses, end};
}

// The lanes whose balanced digit lies out of its range, which for a digit of +-B/2 depends on
// the sign of the word plus its carry, t: a digit less 1 where t is positive lies in
// -B/2..B/2-1. The range low..low+B-1 holds the numbers within (B-1)/2 of its middle: one
// comparison, where two joined by an or would become scalar code on SSE2.
template <int W>
KERNEL_INLINE MaskOf<W> balanced_out_of_range(const LanesOf<W>& t, const LanesOf<W>& digit) {
    const LanesOf<W> shifted = digit - masked(greater(t, splat<W>(0)), splat<W>(1));
    const double half_width = (RadixReal - 1) / 2, middle = -HalfRadixReal + half_width;
    return greater(magnitude(shifted - splat<W>(middle)), splat<W>(half_width));
}
KERNEL_INLINE MaskOf<N> balanced_out_of_range(const Digits& d) {
    return balanced_out_of_range(d.t, d.digit);
}

// The smallest and largest digit of each lane of the groups walked.
struct DigitRange {
    Words low, high;
};
KERNEL_INLINE DigitRange no_digits() {
    return {splat<N>(0), splat<N>(0)};
}
KERNEL_INLINE void take(DigitRange& range, const Words& digit) {
    range.low = smaller(digit, range.low);
    range.high = larger(digit, range.high);
}

// What the range of a chunk's digits says of its guesses. Digits: balanced -B/2+1..B/2 when
// the word plus its carry, t, is positive and -B/2..B/2-1 otherwise (a digit of +-B/2 takes the
// sign of t); plain 0..B-1. The digits are whole numbers, so their smallest and largest decide
// the range at once, except where a balanced digit is +-B/2: such a chunk is walked again and
// checked digit by digit (balanced_out_of_range).
enum class Verdict { Wrong, Right, CheckEach };
template <bool Balanced>
KERNEL_INLINE Verdict verdict(const DigitRange& range) {
    const double least = Balanced ? -HalfRadixReal : 0,
                 most = Balanced ? HalfRadixReal : RadixReal - 1;
    if (any(either(less(range.low, splat<N>(least)), greater(range.high, splat<N>(most)))))
        return Verdict::Wrong;
    if (!Balanced ||
        !any(either(less(range.low, splat<N>(least + 1)), greater(range.high, splat<N>(most - 1)))))
        return Verdict::Right;
    return Verdict::CheckEach;
}

// No lane set.
KERNEL_INLINE MaskOf<N> no_lanes() {
    return less(splat<N>(0), splat<N>(0));
}

}  // namespace
}  // namespace PIDRM_KERNEL_SET
