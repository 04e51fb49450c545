// Multi-word floating numbers: the format every part of pidrm computes in.
//
// A LongNumber of working length n is n+1 consecutive doubles:
//   word 0      the exponent E, a whole number counted in words (may be zero or negative);
//   words 1..n  the mantissa, whole numbers, most significant first.
// Its value is  X[1]*B^(E-1) + X[2]*B^(E-2) + ... + X[n]*B^(E-n)  with B = Radix = 10^5.
//
// A mantissa run {M, m} is m words without an exponent word, M[0] most significant.
//
// Normalised form (what every arithmetic operation hands back):
//   - words 2..n lie in the digit range of CarryMode:
//       CarryMode < 0: balanced digits, -B/2 <= w <= B/2 (both ends allowed, so not unique);
//       CarryMode >= 0: plain digits, 0 <= w <= B-1;
//   - word 1 carries the sign and every carry out of word 2; it is never reduced and may
//     reach or exceed B in magnitude;
//   - word 1 is non-zero unless the whole mantissa is zero. Zero keeps whatever exponent it
//     was given or the last strip left.
// Every word, sum and product formed on words stays below 2^53 in magnitude, so arithmetic
// on words in double precision is exact; results are truncated, never rounded.
//
// All functions here are global free functions over caller-owned arrays; none allocates,
// none keeps a pointer, none touches words beyond the count it is given.
#pragma once

#include <cassert>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

// The word base B. One word carries five decimal digits.
extern double Radix;
// Digit range produced by normalize_carries: -1 balanced (the whole computation),
// +1 plain digits (set once by the result report before it prints).
extern int CarryMode;

// True when the runs {a, na} and {b, nb} share a double. Used by precondition checks.
inline bool overlaps(const double* a, std::int64_t na, const double* b, std::int64_t nb) {
    return na > 0 && nb > 0 && a < b + nb && b < a + na;
}

// ---- Normalisation and word runs -------------------------------------------------------

// The word base as an integer constant: division by it compiles to a multiplication.
constexpr std::int64_t RadixInt = 100000;
constexpr std::int64_t HalfRadixInt = RadixInt / 2;

// Floor division works on unsigned numbers after adding FloorBias*B, which is 1.1e17 and
// makes every dividend non-negative (|t| stays below 2^54 < 1.8e16).
constexpr std::int64_t FloorBias = std::int64_t{1} << 40;

// Carry out of a word whose value, with the carry from below added, is t.
// Plain digits: floor(t/B), leaving the digit t - B*carry in 0..B-1.
// Balanced digits: floor((t + B/2 - [t > 0])/B), leaving the digit in -B/2..B/2 where a digit
// of exactly +-B/2 takes the sign of t. This is what a sweep reducing toward zero followed by
// a sweep folding into -B/2..B/2 (both ends kept) gives. Both are non-decreasing in t.
template <bool Balanced>
inline std::int64_t carry_out(std::int64_t t) {
    // [t > 0] as the sign bit of -t: a comparison here may become an unpredictable branch.
    if (Balanced)
        t += HalfRadixInt - static_cast<std::int64_t>(static_cast<std::uint64_t>(-t) >> 63);
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(t + FloorBias * RadixInt) /
                                     static_cast<std::uint64_t>(RadixInt)) -
           FloorBias;
}

// {M, n}: propagates carries from M[n-1] up to M[0] so that M[1..n-1] lie in the digit
// range of CarryMode; M[0] is never reduced and takes everything carried out of the run.
// Balanced digits: a digit of exactly +-B/2 has the sign of its word plus the carry into it.
// Words may be any whole numbers up to 2^53 - 2^37 in magnitude (a carry stays below 2^37,
// so every word plus its carry is below 2^53). A -0 in M[n-1] stays -0; every other zero
// written is +0. n <= 1 changes nothing.
void normalize_carries(double* M, int n);

// A source of the words normalize_from normalises: writes words lo..lo+len-1 of a run of n
// words, read from `from`, to X[0..len) as whole numbers that normalize_carries accepts, and
// returns a distance to report (products: how far their coefficients lay from the whole
// numbers they became). Every lo and lo + len asked for is 0 or n minus a multiple of 256.
using WordSource = double (*)(const double* from, int n, int lo, int len, double* X);

// {M, n}, n >= 2 <- the run of n words source reads from `from`, normalised as
// normalize_carries normalises it in place. from may be M: each word is read before it is
// written. Returns the largest distance the source returned.
double normalize_from(WordSource source, const double* from, double* M, int n);

// {M, n}, n >= 4 <- the product of n words whose points stand in `points` after the inverse
// transform: normalize_from(rounded_coefficients, points, M, n) with the active kernel set's
// rounded_coefficients, bit for bit, the largest rounding distance returned alike; most
// chunks rounded and settled in one pass, without writing the rounded words out and reading
// them back.
double normalize_product(const double* points, double* M, int n);

// X (n words): shifts out the k leading zero mantissa words, fills k zeros at the bottom,
// X[0] -= k. An all-zero mantissa keeps its zeros and drops its exponent by n.
void strip_leading_zeros(double* X, int n);

// Words of the run {M, n} before its first non-zero word (n when all are zero).
inline int leading_zero_words(const double* M, int n) {
    // Eight words a test while all eight are zero, read as bits: a word is +0 or -0 when
    // its bits but the sign are clear. The groups of the arctangent's merges are mostly
    // leading zeros, and every product of a group and every merge level scans them.
    static_assert(sizeof(double) == sizeof(std::uint64_t), "a word is 64 bits");
    int zeros = 0;
    while (zeros + 8 <= n) {
        std::uint64_t bits = 0;
        for (int k = 0; k < 8; ++k) {
            std::uint64_t w;
            std::memcpy(&w, M + zeros + k, sizeof w);
            bits |= w;
        }
        if ((bits << 1) != 0) break;
        zeros += 8;
    }
    while (zeros < n && M[zeros] == 0) ++zeros;
    return zeros;
}

// X (n words): reads the mantissa as an n-word integer (X[0] = n), then strips leading zeros.
void as_integer(double* X, int n);

// X (n words) <- a: X[0] = 1, X[1] = a, X[2..n] = 0. No normalisation; a is one word.
void set_small(int a, double* X, int n);

// X[0..m-1] <- v. m <= 0 writes nothing. Inline: the merges fill and copy short spans of a
// few words many thousand times a level.
inline void fill_words(double v, double* X, int m) {
    for (int i = 0; i < m; ++i) X[i] = v;
}

// dst[0..m-1] <- src[0..m-1], ascending. src == dst is allowed (no effect); partial overlap
// is not.
inline void copy_words(const double* src, double* dst, int m) {
    assert(src == dst || !overlaps(src, m, dst, m));
    if (src == dst || m <= 0) return;
    std::memcpy(dst, src, sizeof(double) * m);
}

// ---- Small scalar helpers --------------------------------------------------------------

// a^k in int arithmetic; k <= 0 gives 1.
inline int ipow(int a, int k) {
    int p = 1;
    for (int i = 0; i < k; ++i) p *= a;
    return p;
}

// floor(log2(a)) for a >= 1 (the largest k with 2^k <= a); ilog2(0) = -1.
// Computed as log(a + 0.5)/log(2) truncated, which is exact for every int a >= 0.
inline int ilog2(int a) {
    assert(a >= 0);
    return static_cast<int>(std::log(a + 0.5) / std::log(2.0));
}

// The larger of two rounding errors: a when b <= a, otherwise b (so a tie keeps a, and a NaN
// on either side gives b). Callers pass their running value first.
inline double max2(double a, double b) {
    return b <= a ? a : b;
}
inline double max3(double x, double y, double z) {
    return max2(max2(x, y), z);
}

inline int min(int a, int b) {
    return a <= b ? a : b;
}

// Capacity of the working arrays in words. The working length of a run (a power of two)
// may not exceed it, so the longest run works on 2^18 = 262144 words.
constexpr int ND = 270001;

// ---- Working memory ---------------------------------------------------------------------
// The working arrays of a run (its numbers, the products' scratch and the transforms'
// tables) lie one after another in one static area, each as long as the run's working length
// needs (driver: lay_out_working_memory), so that a run touches the memory it uses and no
// more.

// Doubles of working memory an array of `words` doubles takes: whole cache lines of 64 bytes,
// so that every array starts on one.
constexpr std::int64_t slice_words(std::int64_t words) {
    return (words + 7) / 8 * 8;
}

// The next array, of `words` doubles, from *next, which moves past it.
inline double* take_slice(double** next, std::int64_t words) {
    double* const at = *next;
    *next += slice_words(words);
    return at;
}

// The static working area starts on a large page (2 MiB) on Linux, so that hold_in_large_pages
// can ask for large pages over its first words; elsewhere on a cache line, so that every array
// of it starts on one (slice_words).
#if defined(__linux__)
constexpr std::size_t LargePage = std::size_t{1} << 21;
#else
constexpr std::size_t LargePage = 64;
#endif
static_assert(LargePage % 64 == 0, "every array of the working area starts on a cache line");

// Asks the system to back the first `used` bytes of a static working area of `capacity`
// bytes, aligned to LargePage, with large pages, as far as whole large pages inside the area
// cover them. Each page of 4 KiB costs a fault on the first write to it, which on some virtual
// machines takes 10 us: a run of 10^5 decimals spent a fifth of its time on them. A large page
// costs one fault and the clearing of 2 MiB. Runs that use less than LargePage / 16 bytes
// keep small pages. On Windows, where large pages need a privilege, the used bytes' pages
// are brought in by one call instead of a fault each (from 128 KiB). Changes no value; where
// the system offers no large pages, or declines, nothing happens.
void hold_in_large_pages(void* array, std::size_t used, std::size_t capacity);

// ---- Addition and small-integer operations ----------------------------------------------
// Each ends with normalize_carries over the result's mantissa and strip_leading_zeros
// (add_words: normalize_carries only). A negative sign subtracts; callers pass +1 or -1.
// Results are truncated at word n, never rounded.

// {R, m} <- {U, m} + sign*{V, m} word by word, then carries; R[0] keeps the carry out of the
// run. R may be U or V (same start).
void add_words(const double* U, const double* V, double* R, int m, int sign);

// Z <- X + sign*Y, aligned on exponents, n mantissa words. Z may be X when X[0] >= Y[0];
// otherwise Z overlaps neither operand. The lower operand's words that fall below word n at
// max(X[0], Y[0]) are dropped: less than 1 unit there when it is normalised, |word 1| < B.
void add_aligned(const double* X, const double* Y, double* Z, int n, int sign);

// Z <- a + sign*X (the sign applies to X), n >= 1 mantissa words. Z overlaps nothing of X.
void add_small(int a, const double* X, double* Z, int n, int sign);

// Z <- a*X, n >= 1 mantissa words. Z overlaps nothing of X. Exact when |a*X[1]| < B;
// otherwise it works one word higher, at X[0] + 1, and |error| < 1 unit of word n there.
void mul_small(const double* X, int a, double* Z, int n);

// Z <- X/a, n >= 1 mantissa words, a != 0. Z may be X. It works at X[0], or one word lower
// when |X[1]| < |a|; the dropped remainder leaves |error| < 1 unit of word n there.
void div_small(const double* X, int a, double* Z, int n);

// Z <- 1/a, n >= 1 mantissa words, a >= 2: div_small of 1 by a, word for word, in less time.
void reciprocal_small(int a, double* Z, int n);
