// The short products of a merge level and their carries, MergeLanes pairs side by side: each
// pair's integers in a lane of its own (arith/kernel_sets.h), so that every operation works on
// eight pairs at once and no pair waits for its own carries. Compiled once for each kernel set,
// whose table holds lanes_from_groups and runs_from_lanes, which move the pairs' words into the
// lanes and out, lane_products and lane_digits; drm/merge_words.cpp merges the pairs with them.
//
// The products are sums of products of whole numbers below 2^53, exact in any order. The
// carries are those of normalize_carries, bit for bit: the carry into each word is guessed from
// the three coefficients below it, as the carry kernel guesses it (arith/carry_kernels.h), and
// the guesses are confirmed when every digit lies in its range; a sweep whose guesses fail in
// any lane is done again word by word, every lane at once.
#include <cstdint>
#include <cstring>

#include "arith/carry_kernels.h"

namespace PIDRM_KERNEL_SET {
namespace {

constexpr int G = MergeLanes;
typedef LanesOf<G> PairWords;  // a word of each of G pairs

// Coefficients formed four at a time, each with a sum of its own, so that the additions of one
// do not wait for another's.
constexpr int Columns = 4;
static_assert(Columns - 1 <= LaneProductPad, "lane_products reads Columns - 1 words beyond b");

KERNEL_INLINE PairWords word(const double* X, int i) {
    return load<G>(X + i * G);
}

// ---- Moving pairs into lanes and out -------------------------------------------------------
// Words move between the groups and the lanes eight at a time, eight words of each of eight
// pairs turned by an 8 x 8 transpose in registers.

typedef PackRegister<G>::type Register8;
constexpr int RegisterLanes8 = PackRegister<G>::lanes;

// t[a] lane b <- in[b] lane a for a, b < RegisterLanes8: the transpose of a square of registers,
// by the compilers' shuffles where they have them.
KERNEL_INLINE void transpose_registers(const Register8* in, Register8* t) {
#if defined(PIDRM_SHUFFLES) && PIDRM_WIDE_LANES == 8
    Register8 u[8], v[8];
    for (int r = 0; r < 8; r += 2) {  // rows r and r + 1, columns interleaved
        u[r] = __builtin_shufflevector(in[r], in[r + 1], 0, 8, 2, 10, 4, 12, 6, 14);
        u[r + 1] = __builtin_shufflevector(in[r], in[r + 1], 1, 9, 3, 11, 5, 13, 7, 15);
    }
    for (int r = 0; r < 8; r += 4)  // then pairs of them
        for (int c = 0; c < 2; ++c) {
            v[r + c] = __builtin_shufflevector(u[r + c], u[r + c + 2], 0, 1, 8, 9, 4, 5, 12, 13);
            v[r + c + 2] =
                __builtin_shufflevector(u[r + c], u[r + c + 2], 2, 3, 10, 11, 6, 7, 14, 15);
        }
    for (int c = 0; c < 4; ++c) {  // then halves
        t[c] = __builtin_shufflevector(v[c], v[c + 4], 0, 1, 2, 3, 8, 9, 10, 11);
        t[c + 4] = __builtin_shufflevector(v[c], v[c + 4], 4, 5, 6, 7, 12, 13, 14, 15);
    }
#elif defined(PIDRM_SHUFFLES) && PIDRM_REGISTER_LANES == 4
    const Register8 u0 = __builtin_shufflevector(in[0], in[1], 0, 4, 2, 6);
    const Register8 u1 = __builtin_shufflevector(in[0], in[1], 1, 5, 3, 7);
    const Register8 u2 = __builtin_shufflevector(in[2], in[3], 0, 4, 2, 6);
    const Register8 u3 = __builtin_shufflevector(in[2], in[3], 1, 5, 3, 7);
    t[0] = __builtin_shufflevector(u0, u2, 0, 1, 4, 5);
    t[1] = __builtin_shufflevector(u1, u3, 0, 1, 4, 5);
    t[2] = __builtin_shufflevector(u0, u2, 2, 3, 6, 7);
    t[3] = __builtin_shufflevector(u1, u3, 2, 3, 6, 7);
#elif defined(PIDRM_SHUFFLES) && PIDRM_REGISTER_LANES == 2
    t[0] = __builtin_shufflevector(in[0], in[1], 0, 2);
    t[1] = __builtin_shufflevector(in[0], in[1], 1, 3);
#else
    constexpr int L = RegisterLanes8;
    double e[L][L];
    for (int b = 0; b < L; ++b) std::memcpy(e[b], &in[b], sizeof in[b]);
    for (int a = 0; a < L; ++a) {
        double column[L];
        for (int b = 0; b < L; ++b) column[b] = e[b][a];
        std::memcpy(&t[a], column, sizeof t[a]);
    }
#endif
}

// out[j] lane i <- in[i] lane j: the transpose of eight lanes of eight, square by square of
// registers.
KERNEL_INLINE void transpose(const PairWords in[G], PairWords out[G]) {
    constexpr int L = RegisterLanes8, C = G / L;
    for (int c = 0; c < C; ++c)
        for (int d = 0; d < C; ++d) {
            Register8 square[L], t[L];
            for (int b = 0; b < L; ++b) square[b] = in[d * L + b].r[c];
            transpose_registers(square, t);
            for (int a = 0; a < L; ++a) out[c * L + a].r[d] = t[a];
        }
}

// Whether the G words from w are all zero, +0 or -0: their bits but the signs clear. Read as
// 64-bit integers, which takes fewer steps than a comparison of lanes and their reduction.
KERNEL_INLINE bool zero_words(const double* w) {
    std::uint64_t bits = 0;
    for (int i = 0; i < G; ++i) {
        std::uint64_t b;
        std::memcpy(&b, w + i, sizeof b);
        bits |= b;
    }
    return (bits << 1) == 0;
}

// Whether the G words at word `at` of every group are zero, +0 or -0.
KERNEL_INLINE bool zero_in_every_group(const double* const groups[G], int at) {
    PairWords largest = magnitude(load<G>(groups[0] + at));
    for (int p = 1; p < G; ++p) largest = larger(magnitude(load<G>(groups[p] + at)), largest);
    return !any(greater(largest, splat<G>(0)));
}

KERNEL_INLINE int larger_int(int a, int b) {
    return a > b ? a : b;
}
KERNEL_INLINE int smaller_int(int a, int b) {
    return a < b ? a : b;
}

// sum[j] += the coefficient s + j of a * b, for j < Columns. Every a[i] that meets a word of b
// in one of them: b is read from word s - (s + Columns - 1) = 1 - Columns below its bottom to
// Columns - 1 words above its top, where it is zero.
KERNEL_INLINE void add_columns(const double* a, int ca, const double* b, int cb, int s,
                               PairWords sum[Columns]) {
    const int first = larger_int(0, s - cb + 1), last = smaller_int(ca - 1, s + Columns - 1);
    for (int i = first; i <= last; ++i) {
        const PairWords ai = word(a, i);
        for (int j = 0; j < Columns; ++j) sum[j] = sum[j] + ai * word(b, s + j - i);
    }
}

// 1 in the lanes where v > 0, else 0.
KERNEL_INLINE PairWords positive(const PairWords& v) {
    return masked(greater(v, splat<G>(0)), splat<G>(1));
}

// Bit p set where lane p of `largest`, the largest magnitude of a lane's digits, all in range,
// is B/2: where the lane has a digit of +-B/2.
KERNEL_INLINE unsigned half_radix_lanes(const PairWords& largest) {
    unsigned lanes = 0;
    for (int p = 0; p < G; ++p)
        if (largest[p] == HalfRadixReal) lanes |= 1u << p;
    return lanes;
}

// The sweep of lane_digits word by word, each carry formed from the one below: t, the word
// plus the carry into it, carries floor((t + B/2 - [t > 0]) / B), as carry_out<true> does.
// The quotient of a product by 1/B is at most 1 off, and the remainder, exact, tells which way.
unsigned digits_word_by_word(const double* C, double* S, int count, bool top_unreduced) {
    const int reduced = top_unreduced ? count - 1 : count;
    const PairWords radix = splat<G>(RadixReal), one = splat<G>(1), zero = splat<G>(0);
    PairWords carry = zero, largest = zero;
    for (int i = 0; i < reduced; ++i) {
        const PairWords t = word(C, i) + carry;
        const PairWords u = t + (splat<G>(HalfRadixReal) - positive(t));
        PairWords q = floor_whole(u * splat<G>(InverseRadix));
        const PairWords r = u - q * radix;
        q = (q + masked(greater(r, splat<G>(RadixReal - 0.5)), one)) - masked(less(r, zero), one);
        const PairWords digit = t - q * radix;
        store(S + i * G, digit);
        largest = larger(magnitude(digit), largest);
        carry = q;
    }
    if (top_unreduced && count > 0) store(S + reduced * G, word(C, reduced) + carry);
    return half_radix_lanes(largest);
}

// Whether the digits {S, reduced} of the guessed sweep of {C, reduced} lie in their ranges
// where a digit of +-B/2 must take the sign of the word plus its carry, t: with the guesses
// formed again, a digit less 1 where t is positive lies in -B/2..B/2-1.
bool signs_confirmed(const double* C, const double* S, int reduced) {
    const PairWords zero = splat<G>(0);
    PairWords c1 = zero, c2 = zero, carry = zero;
    MaskOf<G> out = less(zero, zero);  // none
    for (int i = 0; i < reduced; ++i) {
        const PairWords c0 = word(C, i);
        out = either(out, balanced_out_of_range(c0 + carry, word(S, i)));
        carry = guesses_of<true>(c0, c1, c2);
        c2 = c1;
        c1 = c0;
    }
    return !any(out);
}

}  // namespace

// Blocks of G words from each group's bottom, as many as the group with the most significant
// words needs: the blocks of leading zeros of every group are scanned at once, from the top.
int lanes_from_groups(const double* const groups[G], int k, double* X) {
    int zeros = 0;
    while (zeros < k / G && zero_in_every_group(groups, G * zeros)) ++zeros;
    const int blocks = k / G - zeros;
    for (int j = 0; j < blocks; ++j) {
        // Row p: words 8j + 7 down to 8j of group p; column e: word 8j + 7 - e of each.
        PairWords rows[G], columns[G];
        for (int p = 0; p < G; ++p) rows[p] = load<G>(groups[p] + k - G * (j + 1));
        transpose(rows, columns);
        for (int e = 0; e < G; ++e) store(X + (G * j + G - 1 - e) * G, columns[e]);
    }
    int count = G * blocks;
    while (count > 0 && zero_words(X + (count - 1) * G)) --count;
    return count;
}

// Block by block from the runs' bottom: the lanes' words turned into eight words of each run,
// zeros above count.
void runs_from_lanes(const double* X, int count, double* const runs[G], int words) {
    const PairWords zero = splat<G>(0);
    for (int j = 0; j < words / G; ++j) {
        PairWords rows[G], columns[G];
        if (G * j < count) {
            for (int e = 0; e < G; ++e) {
                const int i = G * j + G - 1 - e;
                rows[e] = i < count ? word(X, i) : zero;
            }
            transpose(rows, columns);
        } else {
            for (PairWords& c : columns) c = zero;
        }
        for (int p = 0; p < G; ++p) store(runs[p] + words - G * (j + 1), columns[p]);
    }
}

void lane_products(const double* a, int ca, const double* b, int cb, const double* c, int cc,
                   const double* d, int cd, double* C, int count) {
    for (int s = 0; s < count; s += Columns) {
        PairWords sum[Columns];
        for (PairWords& w : sum) w = splat<G>(0);
        add_columns(a, ca, b, cb, s, sum);
        if (cc > 0) add_columns(c, cc, d, cd, s, sum);
        for (int j = 0; j < Columns && s + j < count; ++j) store(C + (s + j) * G, sum[j]);
    }
}

// The digit of word i is its coefficient plus the carry guessed into it, less B times the carry
// guessed out of it. By induction from the bottom word, whose carry in is 0: where the carry
// into a word is right, the carry out of it is the one that leaves its digit in range, so
// digits all in range confirm every guess. Digits within -B/2..B/2 exclusive are in range
// whatever the sign of their word; one of +-B/2 is checked against that sign.
unsigned lane_digits(const double* C, double* S, int count, bool top_unreduced) {
    const int reduced = top_unreduced ? count - 1 : count;
    const PairWords zero = splat<G>(0), radix = splat<G>(RadixReal);
    PairWords c1 = zero, c2 = zero, carry = zero, largest = zero;
    for (int i = 0; i < reduced; ++i) {
        const PairWords c0 = word(C, i);
        const PairWords next = guesses_of<true>(c0, c1, c2);
        const PairWords digit = (c0 + carry) - next * radix;
        store(S + i * G, digit);
        largest = larger(magnitude(digit), largest);
        carry = next;
        c2 = c1;
        c1 = c0;
    }
    if (top_unreduced && count > 0) store(S + reduced * G, word(C, reduced) + carry);
    // A digit beyond +-B/2 tells a wrong guess; one of +-B/2 may be in range or not.
    if (any(greater(largest, splat<G>(HalfRadixReal))))
        return digits_word_by_word(C, S, count, top_unreduced);
    const unsigned halves = half_radix_lanes(largest);
    if (halves != 0 && !signs_confirmed(C, S, reduced))
        return digits_word_by_word(C, S, count, top_unreduced);
    return halves;
}

}  // namespace PIDRM_KERNEL_SET
