// Carry propagation and the word-run primitives of the number format.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "arith/long_number.h"

double Radix = 100000.0;
int CarryMode = -1;

namespace {

// Words X[0..len) swept word by word from X[len-1] up with carry c entering it; the digits go
// to D (D may be X). Returns the carry out of X[0].
template <bool Balanced>
int64_t carry_words(const double* X, double* D, int len, int64_t c) {
    for (int i = len - 1; i >= 0; --i) {
        const int64_t t = static_cast<int64_t>(X[i]) + c;
        c = carry_out<Balanced>(t);
        D[i] = static_cast<double>(t - c * RadixInt);
    }
    return c;
}

// ---- Carries by guessing -----------------------------------------------------------------
// The carry into a word is guessed from the three words below it. With the guesses, a word's
// digit is the word plus the carry guessed into it, minus B times the carry guessed into the
// word above; the carry out of a word is the one that leaves its digit in the digit range, so
// a digit in range confirms the guess above it. The digits of a chunk of words are formed in a
// loop the compiler vectorises. When the carry entering the chunk is the one guessed and every
// digit is in range, each word was formed with the carry the word-by-word sweep passes into it
// (by induction from the chunk's bottom word up), so the digits are that sweep's, bit for bit;
// otherwise the chunk is swept word by word. A guess decides how fast, never which digits.

constexpr double RadixReal = 100000.0, HalfRadixReal = RadixReal / 2;
constexpr double InverseRadix = 1.0 / RadixReal;

// Words per chunk. A wrong guess costs a sweep of one chunk word by word; in a whole run about
// one chunk in 2000 is swept again.
constexpr int Chunk = 256;

// Runs of fewer digit words than this are swept word by word.
constexpr int ShortestSpeculation = 16;

// A guess of the carry entering the word above x[0], from t = (x[0] + x[1]/B + x[2]/B^2)/B,
// which is within 1/B + 2^37/B^3 < 1.5*10^-4 of x[0] plus the carry into it, divided by B
// (the carry into a word is within 1 of the word below plus its carry, divided by B).
// Balanced digits: the nearest whole number to t, and to the one nearer zero at a tie, as
// the carry is when a digit of +-B/2 takes the sign of the word plus its carry. Plain digits:
// the floor of t. Words of a whole number and a half times B (balanced) or a whole number
// times B (plain) over zeros are common; for them t is nudged by a relative 2^-40, far more
// than its rounding error (3 * 2^-53), toward zero (balanced) or up (plain), and the floor is
// the nearest whole number to t - 1/2.
template <bool Balanced>
inline double guessed_carry(const double* x) {
    constexpr double Nudge = 1.0 / (1LL << 40);
    const double t = (x[0] + (x[1] + x[2] * InverseRadix) * InverseRadix) * InverseRadix;
    return Balanced ? nearest_whole(t - t * Nudge) : nearest_whole(t + std::fabs(t) * Nudge - 0.5);
}

// Digits of X[0..len) into D with guessed carries, X[len..len+2] being the words below: word
// j's digit is X[j] + guess(j+1) - B*guess(j). Returns the number of digits out of range:
// balanced digits -B/2+1..B/2 when the word plus its carry, t, is positive and -B/2..B/2-1
// otherwise (a digit of +-B/2 takes the sign of t), plain digits 0..B-1.
// guess: len + 1 doubles of scratch.
template <bool Balanced>
int64_t speculate(const double* X, double* D, int len, double* guess) {
    for (int j = 0; j <= len; ++j) guess[j] = guessed_carry<Balanced>(X + j);
    int64_t misses = 0;
    for (int j = 0; j < len; ++j) {
        const double t = X[j] + guess[j + 1];
        const double digit = t - guess[j] * RadixReal;
        D[j] = digit;
        const double low = Balanced ? (t > 0 ? 1 - HalfRadixReal : -HalfRadixReal) : 0.0;
        misses += (digit < low) | (digit > low + (RadixReal - 1));
    }
    return misses;
}

// The words M[1..n-1] swept word by word in place; returns the carry out of M[1]. Leading zero
// words take part only while a carry reaches them: the sums of the arctangent's merges are
// mostly leading zeros. A zero the sweep passes over without a carry is written +0, as the
// sweep writes it.
template <bool Balanced>
int64_t sweep_short(double* M, int n) {
    int zeros = leading_zero_words(M + 1, n - 1);  // M[1..zeros]
    int64_t c = carry_words<Balanced>(M + 1 + zeros, M + 1 + zeros, n - 1 - zeros, 0);
    for (; zeros >= 1 && c != 0; --zeros) {
        const int64_t t = c;
        c = carry_out<Balanced>(t);
        M[zeros] = static_cast<double>(t - c * RadixInt);
    }
    for (int i = 1; i <= zeros; ++i) M[i] = 0.0;
    return c;
}

// The words of {from, n}, as they stand: the source of normalize_carries.
double words_as_they_are(const double* from, int, int lo, int len, double* X) {
    std::memcpy(X, from + lo, sizeof(double) * len);
    return 0.0;
}

// Chunks of Chunk words from the bottom of the run up (the top one shorter): the source
// writes a chunk's words to X, the words below it stay at X[len..len+2], and its digit words
// are settled speculatively or word by word with the carry from the chunk below. Word 0 of
// the run is never reduced: it takes the carry out of word 1.
template <bool Balanced>
double normalize_chunks(WordSource source, const double* from, double* M, int n) {
    double X[Chunk + 3], guess[Chunk + 1];
    double below[3] = {0, 0, 0};  // the first three words below the chunk, zero below the run
    bool bottom_minus_zero = false;
    double err = 0;
    int64_t c = 0;  // the carry entering the chunk's bottom word
    for (int hi = n; hi > 0; hi -= Chunk) {
        const int lo = hi > Chunk ? hi - Chunk : 0, len = hi - lo;
        err = max2(err, source(from, n, lo, len, X));
        for (int k = 0; k < 3; ++k) X[len + k] = below[k];
        for (int k = 0; k < 3; ++k) below[k] = X[k];
        if (hi == n) bottom_minus_zero = X[len - 1] == 0 && std::signbit(X[len - 1]);
        const int top = lo == 0 ? 1 : 0;  // the first digit word of the chunk
        const double* x = X + top;
        double* d = M + lo + top;
        const int digits = len - top;
        // The guess for the bottom word must be the carry the chunk below passed up.
        if (digits >= ShortestSpeculation &&
            static_cast<double>(c) == guessed_carry<Balanced>(X + len) &&
            speculate<Balanced>(x, d, digits, guess) == 0) {
            c = static_cast<int64_t>(guessed_carry<Balanced>(x));
        } else {
            c = carry_words<Balanced>(x, d, digits, c);
        }
    }
    // The bottom word receives no carry, so a -0 there comes back as -0 (reducing it subtracts
    // nothing); every other zero written is +0.
    if (bottom_minus_zero) M[n - 1] = -0.0;
    M[0] = below[0] + static_cast<double>(c);
    return err;
}

}  // namespace

double normalize_from(WordSource source, const double* from, double* M, int n) {
    assert(n >= 2);
    assert(Radix == RadixInt);
    return CarryMode >= 0 ? normalize_chunks<false>(source, from, M, n)
                          : normalize_chunks<true>(source, from, M, n);
}

void normalize_carries(double* M, int n) {
    if (n <= 1) return;
    if (n - 1 >= ShortestSpeculation) {
        normalize_from(words_as_they_are, M, M, n);
        return;
    }
    // A short run in one sweep word by word, in place, as normalize_chunks sweeps it.
    const bool bottom_minus_zero = M[n - 1] == 0 && std::signbit(M[n - 1]);
    const int64_t c = CarryMode >= 0 ? sweep_short<false>(M, n) : sweep_short<true>(M, n);
    M[0] += static_cast<double>(c);
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
