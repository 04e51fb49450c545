// Carry propagation and the word-run primitives of the number format.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "arith/kernel_sets.h"
#include "arith/long_number.h"
#include "arith/registers.h"

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
// Chunks of words are settled by the carry kernels of the active kernel set
// (arith/carry_kernels.h): the digits of products by product_digits, straight from their
// points, where the set has it, and the others by the carry kernel, from a copy of their
// words. Both guess the carry into each word from the three below it and confirm the guesses;
// a chunk whose guesses fail is swept word by word. In a whole run about one chunk in 2000 is
// swept again.

// Words per chunk.
constexpr int Chunk = 256;

// Runs of fewer digit words than this are swept word by word.
constexpr int ShortestSpeculation = 16;

// Runs of at least this many words ask, before each chunk, for the lines of the chunk below
// it, which its digits go to next: the words of a long product go where nothing has been for
// a while, and stores that miss hold the chunk up. Products of 2^17 words took 0.95 of their
// time with it and of 2^18 words 0.93 (AMD EPYC, Zen 5); at 2^16 it gained nothing.
constexpr int PrefetchShortest = 1 << 18;

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
// are settled speculatively or word by word with the carry from the chunk below. Where the
// source has a kernel that forms and settles a chunk in one pass (product_digits: a product's
// coefficients), that kernel goes first, and the source and the sweep take the chunks it
// does not settle. Word 0 of the run is never reduced: it takes the carry out of word 1.
template <bool Balanced>
double normalize_chunks(WordSource source, ProductDigits* chunk_digits, const double* from,
                        double* M, int n) {
    // The kernel reads the 3 words below the chunk's words and up to 7 beyond them, zeros. On
    // a cache line, as the groups of words the kernel loads are, so that each load finds the
    // words in one store of the copy just made, where the store buffer hands them on.
    alignas(64) double X[Chunk + 10], guess[Chunk + 8];
    // The first eight words of the chunk below (three of them read), zero below the run.
    double edge[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    GuessedDigits* const guessed_digits =
        Balanced ? active_kernels().balanced_digits : active_kernels().plain_digits;
    bool bottom_minus_zero = false;
    double err = 0;
    int64_t c = 0;  // the carry entering the chunk's bottom word
    for (int hi = n; hi > 0; hi -= Chunk) {
        const int lo = hi > Chunk ? hi - Chunk : 0, len = hi - lo;
        if (n >= PrefetchShortest)
            for (int k = lo > Chunk ? lo - Chunk : 0; k < lo; k += 8) common::prefetch(M + k);
        double guessed_out, distance;
        if (chunk_digits && chunk_digits(from, n, lo, len, M + lo, edge, static_cast<double>(c),
                                         &guessed_out, &distance)) {
            // No word of such a source is -0, so neither is the bottom word.
            err = max2(err, distance);
            c = static_cast<int64_t>(guessed_out);
            continue;
        }
        err = max2(err, source(from, n, lo, len, X));
        for (int k = 0; k < 3; ++k) X[len + k] = edge[k];
        for (int k = 3; k < 10; ++k) X[len + k] = 0;
        for (int k = 0; k < 3; ++k) edge[k] = X[k];
        if (hi == n) bottom_minus_zero = X[len - 1] == 0 && std::signbit(X[len - 1]);
        const int top = lo == 0 ? 1 : 0;  // the first digit word of the chunk
        const double* x = X + top;
        double* d = M + lo + top;
        const int digits = len - top;
        if (digits >= ShortestSpeculation &&
            guessed_digits(x, d, digits, guess, static_cast<double>(c), &guessed_out)) {
            c = static_cast<int64_t>(guessed_out);
        } else {
            c = carry_words<Balanced>(x, d, digits, c);
        }
    }
    // The bottom word receives no carry, so a -0 there comes back as -0 (reducing it subtracts
    // nothing); every other zero written is +0.
    if (bottom_minus_zero) M[n - 1] = -0.0;
    M[0] = edge[0] + static_cast<double>(c);
    return err;
}

}  // namespace

double normalize_from(WordSource source, const double* from, double* M, int n) {
    assert(n >= 2);
    assert(Radix == RadixInt);
    return CarryMode >= 0 ? normalize_chunks<false>(source, nullptr, from, M, n)
                          : normalize_chunks<true>(source, nullptr, from, M, n);
}

double normalize_product(const double* points, double* M, int n) {
    assert(n >= 4);
    assert(Radix == RadixInt);
    const KernelTable& kernels = active_kernels();
    return CarryMode >= 0
               ? normalize_chunks<false>(kernels.rounded_coefficients, nullptr, points, M, n)
               : normalize_chunks<true>(kernels.rounded_coefficients, kernels.product_digits,
                                        points, M, n);
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
