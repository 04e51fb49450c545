// Products of long numbers by weighted (right-angle) FFT convolution.
#pragma once

#include "arith/long_number.h"
#include "fft/routes.h"
#include "fft/scratch.h"
#include "fft/table_layout.h"

// The scratch of the products, scratch_doubles(n) for operands of up to n words: its regions
// are named in fft/scratch.h.
extern double* FftScratch;

// Doubles of working memory that the products of operands of up to n words take, n <= 2^18 a
// power of two: FftScratch and the tables of the transforms (fft/table_layout.h).
constexpr std::int64_t fft_memory_words(std::int64_t n) {
    return slice_words(scratch_doubles(n)) + table_memory_words(n);
}

// Lays out FftScratch and the tables for operands of up to n words from `memory`
// (fft_memory_words(n) doubles) and returns the memory after them. The tables are empty
// until prepare_transforms makes them.
double* lay_out_fft_memory(double* memory, int n);

// ---- Complex transform ------------------------------------------------------------------
// Points are n complex numbers interleaved (re, im) in 2n doubles, n a power of two >= 2.
// direction 1 is the inverse transform, which divides by n; any other value is forward.
// Forward:  X[k] = sum_j x[j] * w^((j+1)(k+1)),  w = e^(+2 pi i/n); read from the end of the
// array (p = n-1-j, q = n-1-k) this is the plain DFT with a positive exponent.
// work: 4n doubles, of which the transforms use the pass temporary, doubles 2n..4n-1.

// Forward: point i times psi^(n-1-i), psi = e^(i pi/(2n)), then fft. Inverse: fft, then the
// weights divided out. Together with a pointwise product this yields the right-angle
// convolution: the non-wrapping sums in the real parts, the wrapping ones in the imaginary.
void weighted_fft(double* points, int n, int direction, double* work);

// The transform alone, without the weights: X[k] = sum_j x[j] * w^((j+1)(k+1)) as above, in
// place, the inverse divided by n.
void fft(double* points, int n, int direction, double* work);

// weighted_fft with grouped points and its spectrum in a permuted order, in place and
// without a work area: the forward transform leaves point k of the spectrum at a place of
// its own, the same for every operand of length n, and the inverse takes a spectrum in that
// order back to natural order. Points are grouped by G = spectrum_group(n): the G real parts,
// then the G imaginary parts, so point i has its real part at double spectrum_real(i, n) and its
// imaginary part G doubles further on. The products use it.
void weighted_fft_permuted(double* points, int n, int direction);

// G, the number of points in a group of a spectrum of length n: n below 4, 4 up to 16
// points, and from 32 points on 4 or 8, as the kernel set that runs has it.
int spectrum_group(int n);

// The double at which the real part of point i of a spectrum of length n stands.
std::int64_t spectrum_real(std::int64_t i, int n);

// spectrum (2n doubles, grouped) <- weighted_fft_permuted, forward, of the points whose real
// parts are the words {words, n} and whose imaginary parts are 0, or, folded, the n words
// before them, {words - n, n}; n >= 16.
void weighted_fft_permuted_words(const double* words, double* spectrum, int n, bool folded = false);

// points (2n doubles, grouped) <- the inverse weighted_fft_permuted of the pointwise product
// of spectrum with the forward one of the words {words, n}, or with itself when spectrum is
// null (a square); bit for bit the three transforms done apart, but depth first, so that
// each part goes from one transform to the other while it sits in cache. n >= 16; points
// overlaps neither input.
void weighted_fft_permuted_product(const double* words, const double* spectrum, double* points,
                                   int n);

// c + i s <- e^(2 pi i j/q) for q a power of two and 0 <= j < q, within two units in the
// last place of each part of the exact root (a zero exact), and the same on every system and
// processor; twice the steps at 2q give the same bits.
void unit_root(std::int64_t j, std::int64_t q, double* c, double* s);

// table (half points) <- entry e = e^(i sigma (half-1-e) pi/half), sigma = -1 for inverse.
void make_twiddles(int half, int direction, double* table);

// One radix-2 Stockham pass over n = 2ms points: s groups of m butterflies from points into
// temp (2n doubles); points are left as they were. table as make_twiddles(n/2) fills it.
void fft_pass(double* points, int m, int s, const double* table, double* temp);

// Builds the twiddles and weights that the products' transforms of up to n points read
// (n <= 2^18, a power of two, at most the length the memory was laid out for). The products
// build no table: a run calls this once with its working length before its first product
// (lay_out_working_memory), and so must every other caller of the products (the tests, the
// benchmarks).
void prepare_transforms(int n);

// The twiddles and weights the transforms read, n <= 2^18, from tables built once at the
// longest length asked for: point e of make_twiddles(n/2, direction), 0 <= e < n/2, and
// point i of the weights psi^(sigma (n-1-i)), 0 <= i < n, sigma = -1 for the inverse. Each
// is bit for bit one cos and one sin of its angle, a whole number times the step of length n.
const double* stored_twiddle(int n, int direction, int e);
const double* stored_weight(int n, int direction, int i);

// ---- Products ---------------------------------------------------------------------------

// Which route each product takes, and why: fft/routes.h.

// {out, 2n} <- {a, n} * {b, n}, most significant word first and normalised; out[0] takes
// the final carry. out overlaps neither input; a may be b (a square, one forward transform
// less). scratch: 4n doubles, overlapping none of the others.
// Returns the RoundingError: the largest distance of a coefficient from its whole number.
// Products summed word by word (SchoolbookLongest) are exact and return 0.
double convolve(const double* a, const double* b, double* out, int n, double* scratch);

// convolve for operands whose leading zero words are known: za of {a, n}, zb of {b, n}. Saves
// the callers that multiply one operand several times scanning it each time.
double convolve_known(const double* a, int za, const double* b, int zb, double* out, int n,
                      double* scratch);

// True when convolve sums {a, n} * {b, n} word by word, not through transforms. Callers that
// share spectra between products take the same way, so that their products and
// RoundingErrors are convolve's own.
bool summed_word_by_word(const double* a, const double* b, int n);

// ---- Products in pieces -----------------------------------------------------------------
// For operands that take part in several products: each is transformed once, its spectrum
// multiplied with several others, and sums of products come back through one inverse
// transform. A spectrum of n-word operands is 2n doubles; the transforms work in place.
// Spectra are grouped and stand in the permuted order of weighted_fft_permuted, not in the
// order of weighted_fft: they are fit only for pointwise products with each other.

// spectrum <- the weighted forward transform of the word run {a, n} (words as real parts).
void forward_spectrum(const double* a, double* spectrum, int n);

// spectrum <- the forward transform of the 2n-word run {a, 2n} folded onto n points: its low
// n words as real parts, its high n words as imaginary parts (n >= 16). The weights make
// point products wrap at 2n words with the opposite sign: a product of two folded operands
// whose coefficients stand below word 2n (at most 2n + 1 significant words together) is
// exact, as with operands of n words; the coefficients from word 2n up are subtracted from
// the bottom ones.
void forward_spectrum_folded(const double* a, double* spectrum, int n);

// {out, 2n} <- the coefficients of the product whose spectrum is given, rounded to whole
// numbers and not normalised, most significant first. The spectrum is used up. Returns the
// RoundingError.
double product_coefficients(double* spectrum, double* out, int n);

// product <- x * y point by point over n complex points; product may be x or y.
void multiply_spectra(const double* x, const double* y, double* product, int n);

// sum <- sum + x * y point by point; sum overlaps neither x nor y.
void add_product_of_spectra(const double* x, const double* y, double* sum, int n);

// {out, 2n} <- the product whose spectrum is given, most significant word first and
// normalised, as convolve leaves it. The spectrum is used up. out does not overlap the
// spectrum. Returns the RoundingError.
double product_from_spectrum(double* spectrum, double* out, int n);

// {out, 2n} <- {b, n} times the n-word operand whose spectrum is given (forward_spectrum), as
// convolve leaves a product; the spectrum is kept for other products. points: 2n doubles of
// scratch, overlapping none of the others. Returns the RoundingError.
double product_with_spectrum(const double* spectrum, const double* b, double* out, int n,
                             double* points);

// z (2n mantissa words, 2n+1 doubles) <- x * y (n words each), exponents added, leading
// zeros stripped. z overlaps neither operand; x may be y. scratch: 4n doubles, as for
// convolve. Returns the RoundingError.
double multiply(const double* x, const double* y, double* z, int n, double* scratch);

// multiply, with spectra kept for operands that take part in several products. A non-null
// x_spectrum (2n doubles) keeps the spectrum of x's mantissa: it is formed there unless
// *x_ready says it is there already, and *x_ready is then set; a null one forms it in the
// scratch for this product alone. Likewise y. Products that convolve sums word by word form
// no spectrum. The spectra are convolve's, so the product and its RoundingError are those of
// multiply. scratch: 2n doubles (the product's points), which neither kept spectrum nor z
// overlaps.
double multiply_sharing(const double* x, double* x_spectrum, bool* x_ready, const double* y,
                        double* y_spectrum, bool* y_ready, double* z, int n, double* scratch);
