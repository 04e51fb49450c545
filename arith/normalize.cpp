// Carry propagation and the word-run primitives of the number format.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "arith/long_number.h"

double Radix = 100000.0;
int CarryMode = -1;

namespace {

// The word base as an integer constant: division by it compiles to a multiplication.
constexpr int64_t RadixInt = 100000;
constexpr int64_t HalfRadixInt = RadixInt / 2;

// Floor division works on unsigned numbers after adding FloorBias*B, which is 1.1e17 and
// makes every dividend non-negative (|t| stays below 2^54 < 1.8e16).
constexpr int64_t FloorBias = int64_t{1} << 40;

// A bound on every carry: with words below 2^53 in magnitude, |c| <= (2^53 + |c| + B/2)/B
// gives |c| < 9.1e10 < 2^37.
constexpr int64_t MaxCarry = int64_t{1} << 37;

// Independent carry chains of the long sweep, interleaved so that their latencies overlap,
// and the shortest run (in digit words) that is split into them.
constexpr int Chains = 4;
constexpr int MinSplit = 64 * Chains;

// First window of words read below a chain to find the carry that enters it.
constexpr int LookBack = 8;

// Carry out of a word whose value, with the carry from below added, is t.
// Plain digits: floor(t/B), leaving the digit t - B*carry in 0..B-1.
// Balanced digits: floor((t + B/2 - [t > 0])/B), leaving the digit in -B/2..B/2 where a digit
// of exactly +-B/2 takes the sign of t. This is what a sweep reducing toward zero followed by
// a sweep folding into -B/2..B/2 (both ends kept) gives. Both are non-decreasing in t.
template <bool Balanced>
inline int64_t carry_out(int64_t t) {
    // [t > 0] as the sign bit of -t: a comparison here may become an unpredictable branch.
    if (Balanced) t += HalfRadixInt - static_cast<int64_t>(static_cast<uint64_t>(-t) >> 63);
    return static_cast<int64_t>(static_cast<uint64_t>(t + FloorBias * RadixInt) /
                                static_cast<uint64_t>(RadixInt)) -
           FloorBias;
}

// Words lo..hi-1 of M, from hi-1 up to lo, with carry c entering word hi-1: each word becomes
// its digit; returns the carry out of word lo.
template <bool Balanced>
int64_t carry_words(double* M, int lo, int hi, int64_t c) {
    for (int i = hi - 1; i >= lo; --i) {
        const int64_t t = static_cast<int64_t>(M[i]) + c;
        c = carry_out<Balanced>(t);
        M[i] = static_cast<double>(t - c * RadixInt);
    }
    return c;
}

// The carry carry_words would return, without writing.
template <bool Balanced>
int64_t carry_through(const double* M, int lo, int hi, int64_t c) {
    for (int i = hi - 1; i >= lo; --i) c = carry_out<Balanced>(static_cast<int64_t>(M[i]) + c);
    return c;
}

// The carry that words lo..n-1 of M pass up out of word lo, read without writing. The carry
// into a window of words below lo is only known to lie in [-MaxCarry, MaxCarry]; since the
// carry out is non-decreasing in the carry in, both ends giving the same carry out of word lo
// settle it. Otherwise the window doubles, until it reaches word n-1, where the carry in is 0.
template <bool Balanced>
int64_t carry_entering(const double* M, int lo, int n) {
    for (int w = LookBack;; w *= 2) {
        if (w >= n - lo) return carry_through<Balanced>(M, lo, n, 0);
        const int64_t low = carry_through<Balanced>(M, lo, lo + w, -MaxCarry);
        const int64_t high = carry_through<Balanced>(M, lo, lo + w, MaxCarry);
        if (low == high) return low;
    }
}

// Chains runs of len words, the k-th starting at word first + k*len, each swept from its
// bottom word up with carry c[k] entering it; on return c[k] is the carry out of its top word.
template <bool Balanced>
void carry_chains(double* M, int first, int len, int64_t* c) {
    int64_t carry[Chains];
    for (int k = 0; k < Chains; ++k) carry[k] = c[k];
    for (int j = first + len - 1; j >= first; --j) {
        for (int k = 0; k < Chains; ++k) {
            double* w = M + j + k * len;
            const int64_t t = static_cast<int64_t>(*w) + carry[k];
            carry[k] = carry_out<Balanced>(t);
            *w = static_cast<double>(t - carry[k] * RadixInt);
        }
    }
    for (int k = 0; k < Chains; ++k) c[k] = carry[k];
}

// Words 1..n-1 of M become digits, M[0] takes the carry out of word 1. Long runs are cut
// into Chains runs of equal length at the bottom and a short run above them; the carry
// entering each of those runs but the lowest is read ahead from the words below it, before
// anything is written, so the runs are swept independently.
template <bool Balanced>
int64_t carry_all(double* M, int n) {
    const int digits = n - 1;
    if (digits < MinSplit) return carry_words<Balanced>(M, 1, n, 0);
    const int len = digits / Chains, first = n - Chains * len;
    int64_t c[Chains];
    for (int k = 0; k + 1 < Chains; ++k)
        c[k] = carry_entering<Balanced>(M, first + (k + 1) * len, n);
    c[Chains - 1] = 0;
    int64_t entering[Chains];
    for (int k = 0; k < Chains; ++k) entering[k] = c[k];
    carry_chains<Balanced>(M, first, len, c);
    for (int k = 0; k + 1 < Chains; ++k) assert(c[k + 1] == entering[k]);
    (void)entering;
    return carry_words<Balanced>(M, 1, first, c[0]);
}

}  // namespace

void normalize_carries(double* M, int n) {
    if (n <= 1) return;
    assert(Radix == RadixInt);
    // The bottom word receives no carry, so a -0 there comes back as -0 (reducing it subtracts
    // nothing); every other zero written is +0.
    const bool bottom_minus_zero = M[n - 1] == 0 && std::signbit(M[n - 1]);
    const int64_t top = CarryMode >= 0 ? carry_all<false>(M, n) : carry_all<true>(M, n);
    M[0] += static_cast<double>(top);
    if (bottom_minus_zero) M[n - 1] = -0.0;
}

void strip_leading_zeros(double* X, int n) {
    const int k = leading_zero_words(X + 1, n);
    if (k == 0) return;
    if (k < n) std::memmove(X + 1, X + 1 + k, sizeof(double) * (n - k));
    fill_words(0, X + 1 + (n - k), k);
    X[0] -= k;
}

void as_integer(double* X, int n) {
    X[0] = n;
    strip_leading_zeros(X, n);
}

void set_small(int a, double* X, int n) {
    X[0] = 1;
    X[1] = a;
    fill_words(0, X + 2, n - 1);
}

void fill_words(double v, double* X, int m) {
    for (int i = 0; i < m; ++i) X[i] = v;
}

void copy_words(const double* src, double* dst, int m) {
    assert(src == dst || !overlaps(src, m, dst, m));
    if (src == dst || m <= 0) return;
    std::memcpy(dst, src, sizeof(double) * m);
}
