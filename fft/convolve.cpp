// Products of word runs and of long numbers: summed word by word where the operands'
// significant words are few, else by one weighted convolution of length n (the routes and
// their thresholds: fft/routes.h).
//
// The first operand's spectrum goes to the scratch; the second operand is transformed,
// multiplied by it and brought back depth first in the 2n doubles after it (a square is
// transformed once). Point i of the result then holds, for r = n-1-i, the coefficient of
// Radix^r in its real part and that of Radix^(r+n) in its imaginary part, so the imaginary
// parts fill the upper half of the product and the real parts the lower half, most
// significant word first.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "arith/kernel_sets.h"
#include "fft/fft.h"

// For n-word operands a product takes 4n doubles: the first operand's spectrum (0..2n-1),
// then the product's points (2n..4n-1); callers keep spectra after them (fft.h).
double* FftScratch;

void forward_spectrum(const double* a, double* spectrum, int n) {
    assert(n >= 2 && (n & (n - 1)) == 0);
    assert(!overlaps(spectrum, 2LL * n, a, n));
    if (n >= WordsTransformShortest) {
        weighted_fft_permuted_words(a, spectrum, n);
        return;
    }
    const int G = spectrum_group(n);
    for (int i = 0; i < n; ++i) {
        spectrum[spectrum_real(i, n)] = a[i];
        spectrum[spectrum_real(i, n) + G] = 0;
    }
    weighted_fft_permuted(spectrum, n, 0);
}

void multiply_spectra(const double* x, const double* y, double* product, int n) {
    active_kernels().pointwise_product(x, y, product, n);
}

void add_product_of_spectra(const double* x, const double* y, double* sum, int n) {
    assert(!overlaps(sum, 2LL * n, x, 2LL * n) && !overlaps(sum, 2LL * n, y, 2LL * n));
    active_kernels().pointwise_product_sum(x, y, sum, n);
}

namespace {

// {out, 2n} <- the product whose coefficients stand in {points, n}, grouped, as the inverse
// transform leaves them: rounded to whole numbers and normalised in one pass. Returns the
// RoundingError.
double round_product(const double* points, double* out, int n) {
    return normalize_product(points, out, 2 * n);
}

}  // namespace

void forward_spectrum_folded(const double* a, double* spectrum, int n) {
    weighted_fft_permuted_words(a + n, spectrum, n, true);
}

double product_coefficients(double* spectrum, double* out, int n) {
    assert(!overlaps(out, 2LL * n, spectrum, 2LL * n));
    weighted_fft_permuted(spectrum, n, 1);
    return active_kernels().rounded_coefficients(spectrum, 2 * n, 0, 2 * n, out);
}

double product_from_spectrum(double* spectrum, double* out, int n) {
    assert(!overlaps(out, 2LL * n, spectrum, 2LL * n));
    weighted_fft_permuted(spectrum, n, 1);
    return round_product(spectrum, out, n);
}

double product_with_spectrum(const double* spectrum, const double* b, double* out, int n,
                             double* points) {
    assert(!overlaps(out, 2LL * n, points, 2LL * n) && !overlaps(out, 2LL * n, b, n));
    if (n < WordsTransformShortest) {
        forward_spectrum(b, points, n);
        multiply_spectra(spectrum, points, points, n);
        return product_from_spectrum(points, out, n);
    }
    weighted_fft_permuted_product(b, spectrum, points, n);
    return round_product(points, out, n);
}

namespace {

// {out, 2n} <- {a, n} * {b, n} summed word by word, za and zb the operands' leading zero
// words, which add nothing. Word a[i] * b[j] belongs to Radix^(2n-2-i-j), which is out[i+j+1].
// A coefficient sums at most n products of two words, a whole number below n * 10^10 < 2^53,
// so the coefficients are the exact ones the transforms round to, with no rounding at all.
// The carries stop two words above the top coefficient: the carry out of that coefficient's
// word is below B^2, so the word above it passes at most 1 to the next, which keeps it, as
// the carries through the whole run would leave it.
void schoolbook(const double* a, const double* b, double* out, int n, int za, int zb) {
    fill_words(0, out, 2 * n);
    for (int i = za; i < n; ++i) {
        const double ai = a[i];
        double* row = out + i + 1;
        for (int j = zb; j < n; ++j) row[j] += ai * b[j];
    }
    const int top = za + zb + 1;  // the word of the top coefficient
    const int start = top >= 2 ? top - 2 : 0;
    normalize_carries(out + start, 2 * n - start);
}

// schoolbook for operands of a few words: each coefficient is summed from the bottom word up
// and its carry swept at once, which is what normalize_carries does to the coefficients, word
// by word. No pass over memory but the one that writes the product.
template <bool Balanced>
void few_words(const double* a, const double* b, double* out, int n, int za, int zb) {
    const int sa = n - za, sb = n - zb, top = za + zb + 1;
    const int start = top >= 2 ? top - 2 : 0;
    const double* A = a + za;
    const double* B = b + zb;
    if (sa <= 0 || sb <= 0) {
        fill_words(0, out, 2 * n);
        return;
    }
    if (sa == 1 || sb == 1) {
        // A factor of +1 or -1 gives the other operand or its negation, which carries nothing
        // when its products are digits: the arctangent's first merge level has two such
        // products in each pair of groups.
        const double f = sa == 1 ? A[0] : B[0];
        const double* v = sa == 1 ? B : A;
        const int sv = sa + sb - 1;
        const double low = Balanced ? -0.5 * Radix : 0.0, high = Balanced ? 0.5 * Radix : Radix - 1;
        bool digits = f == 1 || f == -1;
        for (int j = 0; j < sv && digits; ++j) digits = f * v[j] >= low && f * v[j] <= high;
        if (digits) {
            for (int j = 0; j < top; ++j) out[j] = 0;
            for (int j = 0; j < sv; ++j) out[top + j] = 0.0 + f * v[j];  // a zero as +0
            return;
        }
    }
    for (int j = 0; j < start; ++j) out[j] = 0;
    std::int64_t carry = 0;
    for (int w = sa + sb - 2; w >= 0; --w) {  // coefficient w: the sum of A[i] B[w-i]
        const int lo = w >= sb ? w - sb + 1 : 0, hi = w < sa ? w : sa - 1;
        double c = 0;
        for (int i = lo; i <= hi; ++i) c += A[i] * B[w - i];
        const std::int64_t t = static_cast<std::int64_t>(c) + carry;
        carry = carry_out<Balanced>(t);
        out[top + w] = static_cast<double>(t - carry * RadixInt);
    }
    if (top >= 2) {  // the word above the top coefficient passes its carry on, reduced
        const std::int64_t t = carry;
        carry = carry_out<Balanced>(t);
        out[top - 1] = static_cast<double>(t - carry * RadixInt);
    }
    out[start] = static_cast<double>(carry);
}

// Whether n-word operands with za and zb leading zero words are summed word by word.
bool words_suffice(int n, int za, int zb) {
    return static_cast<std::int64_t>(n - za) * (n - zb) <=
           static_cast<std::int64_t>(SchoolbookLongest) * n;
}

}  // namespace

bool summed_word_by_word(const double* a, const double* b, int n) {
    return words_suffice(n, leading_zero_words(a, n), leading_zero_words(b, n));
}

double convolve(const double* a, const double* b, double* out, int n, double* scratch) {
    const int za = leading_zero_words(a, n), zb = a == b ? za : leading_zero_words(b, n);
    return convolve_known(a, za, b, zb, out, n, scratch);
}

double convolve_known(const double* a, int za, const double* b, int zb, double* out, int n,
                      double* scratch) {
    assert(n >= 2 && (n & (n - 1)) == 0);
    assert(!overlaps(out, 2LL * n, a, n) && !overlaps(out, 2LL * n, b, n));
    assert(!overlaps(scratch, 4LL * n, a, n) && !overlaps(scratch, 4LL * n, b, n));
    assert(!overlaps(scratch, 4LL * n, out, 2LL * n));
    assert(za == leading_zero_words(a, n) && zb == leading_zero_words(b, n));
    if (words_suffice(n, za, zb)) {
        if ((n - za) * (n - zb) <= FewProducts) {
            CarryMode >= 0 ? few_words<false>(a, b, out, n, za, zb)
                           : few_words<true>(a, b, out, n, za, zb);
        } else {
            schoolbook(a, b, out, n, za, zb);
        }
        return 0.0;
    }
    // a's spectrum in the scratch, b transformed, multiplied and brought back in the 2n
    // doubles after it; a square transforms its operand once.
    if (a == b && n >= WordsTransformShortest) {
        weighted_fft_permuted_product(a, nullptr, scratch, n);
        return round_product(scratch, out, n);
    }
    forward_spectrum(a, scratch, n);
    return product_with_spectrum(scratch, b, out, n, scratch + 2 * n);
}

namespace {

// Where the 2n words of the product x*y go in z: at z + 1, or one word low at z when its top
// word is likely zero, so that stripping that zero moves nothing; the top word takes the
// carry out of the top coefficient, x[1]*y[1] and what the words below it bring, which is
// zero while that stays within B/2 of zero. A wrong guess costs a move, never a different
// result. Half the long products have a zero top word, and a move of 2n words after each of
// them took about 3 % of a run.
double* product_place(const double* x, const double* y, double* z) {
    const double top = x[1] * y[1] + (x[1] * y[2] + x[2] * y[1]) / Radix;
    return std::fabs(top) < 0.5 * Radix ? z : z + 1;
}

// z <- the LongNumber of exponent e whose m mantissa words stand at `at` (z or z + 1), with
// its leading zero words stripped as strip_leading_zeros strips them.
void place_product(double* z, const double* at, int m, double e) {
    if (at != z) {
        z[0] = e;
        strip_leading_zeros(z, m);
        return;
    }
    const int k = leading_zero_words(z, m);
    if (k == 0) {  // the top word was not zero after all
        std::memmove(z + 1, z, sizeof(double) * m);
        z[0] = e;
        return;
    }
    if (k > 1 && k < m) std::memmove(z + 1, z + k, sizeof(double) * (m - k));
    fill_words(0, z + 1 + (m - k), k);
    z[0] = e - k;
}

}  // namespace

double multiply(const double* x, const double* y, double* z, int n, double* scratch) {
    assert(!overlaps(z, 2LL * n + 1, x, n + 1) && !overlaps(z, 2LL * n + 1, y, n + 1));
    double* at = product_place(x, y, z);
    const double err = convolve(x + 1, y + 1, at, n, scratch);
    place_product(z, at, 2 * n, x[0] + y[0]);
    return err;
}

namespace {

// The spectrum of x's mantissa, kept in `kept`: formed only when *ready does not say it is
// there already.
const double* spectrum_of(const double* x, double* kept, bool* ready, int n) {
    if (!*ready) forward_spectrum(x + 1, kept, n);
    *ready = true;
    return kept;
}

}  // namespace

double multiply_sharing(const double* x, double* x_spectrum, bool* x_ready, const double* y,
                        double* y_spectrum, bool* y_ready, double* z, int n, double* scratch) {
    assert(x_spectrum != nullptr || y_spectrum != nullptr);
    assert(x_spectrum == nullptr || !overlaps(x_spectrum, 2LL * n, scratch, 2LL * n));
    assert(y_spectrum == nullptr || !overlaps(y_spectrum, 2LL * n, scratch, 2LL * n));
    if (summed_word_by_word(x + 1, y + 1, n)) return multiply(x, y, z, n, scratch);
    assert(!overlaps(z, 2LL * n + 1, scratch, 2LL * n));
    assert(x_spectrum == nullptr || !overlaps(z, 2LL * n + 1, x_spectrum, 2LL * n));
    assert(y_spectrum == nullptr || !overlaps(z, 2LL * n + 1, y_spectrum, 2LL * n));
    double* product = scratch;
    double* at = product_place(x, y, z);
    double err;
    if (x_spectrum == nullptr || y_spectrum == nullptr) {
        // One operand for this product alone: transformed, multiplied and brought back
        // depth first, against the other's kept spectrum.
        const bool x_kept = x_spectrum != nullptr;
        const double* kept = x_kept ? spectrum_of(x, x_spectrum, x_ready, n)
                                    : spectrum_of(y, y_spectrum, y_ready, n);
        err = product_with_spectrum(kept, (x_kept ? y : x) + 1, at, n, product);
    } else {
        const double* xs = spectrum_of(x, x_spectrum, x_ready, n);
        const double* ys = spectrum_of(y, y_spectrum, y_ready, n);
        multiply_spectra(xs, ys, product, n);
        err = product_from_spectrum(product, at, n);
    }
    place_product(z, at, 2 * n, x[0] + y[0]);
    return err;
}
