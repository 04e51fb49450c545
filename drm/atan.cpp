// The DRM arctangent: atan(1/x) summed block by block, each block's terms merged pairwise
// into one exact fraction P/Q and turned into a number by one division.
//
// Inside a step the terms t = 0..M-1 (M = n/4, y = x^2, o_t the odd number of term t) are
// held as groups. A group of a terms t0..t0+a-1 is a numerator N and a denominator D, each
// a k = 4a word integer (most significant first, no exponent word), with
//     sum_{t=t0}^{t0+a-1} (-1)^t / (o_t * y^(t-t0)) = N / (D * y^(a-1)),
// D the product of the group's odd numbers. Group g occupies words (g-1)k+1 .. gk of
// Numerators and of Denominators, so the groups tile words 1..n at every level.
#include <cstdio>

#include "drm/drm.h"
#include "fft/fft.h"
#include "newton/newton.h"

double AtanSum[ND + 3];
double PowerWork[ND + 3];
double OddPower[ND];
double Numerators[ND + 3];
double Denominators[ND];
double ProductWork[4 * ND];
double OddCounter;

double atan_drm(int x, int n, int steps) {
    assert(n >= 8 && n <= (1 << 18) && (n & (n - 1)) == 0);
    assert(x >= 2);
    fill_words(0, AtanSum, n + 1);
    set_small(1, OddPower, n);
    div_small(OddPower, x, OddPower, n);  // 1/x
    OddCounter = 1.0;
    double err = 0.0;
    for (int i = 0; i < steps; ++i) err = max2(err, drm_step(x, n));
    return err;
}

double drm_step(int x, int n) {
    const int M = n / 4;
    fill_words(0, Numerators + 1, n);
    fill_words(0, Denominators + 1, n);

    // One four-word group per term: numerator +1 or -1, denominator the odd number, both in
    // the last word. The sign counts from the step's first term, which is the series' own
    // sign because every step starts at a multiple of M and M is even.
    double sign = 1.0;
    for (int i = 1; i <= M; ++i) {
        Denominators[4 * i] = OddCounter;
        normalize_carries(Denominators + 4 * i - 3, 4);  // odd numbers above B/2 spread
        Numerators[4 * i] = sign;
        OddCounter += 2.0;
        sign = -sign;
    }

    // y = x^2 as a four-word integer; x^2 < 2^31 * B keeps its carry exact.
    fill_words(0, PowerWork + 1, 4);
    PowerWork[4] = static_cast<double>(x) * static_cast<double>(x);
    normalize_carries(PowerWork + 1, 4);

    // log2(M) levels merge the M groups into one: P, Q and PowerWork = y^M, n words each.
    double err = 0.0;
    int k = 4;
    for (int m = n / 8; m >= 1; m /= 2, k *= 2) err = max2(err, drm_combine(k, m));

    as_integer(Numerators, n);
    as_integer(Denominators, n);
    as_integer(PowerWork, n);

    // OddPower held x^(2j0-1); times y^M it is x^(2(j0+M)-1), the divisor's power for this
    // block and the starting power of the next.
    const double e1 = multiply(PowerWork, OddPower, ProductWork, n, FftScratch);
    copy_words(ProductWork, OddPower, n + 1);
    const double e2 = multiply(Denominators, OddPower, ProductWork, n, FftScratch);
    copy_words(ProductWork, PowerWork, n + 1);
    err = max3(err, e1, e2);

    // The block: P / (Q * x^(2(j0+M)-1)), added into the sum.
    const double e3 = divide(Numerators, PowerWork, Denominators, n, ProductWork, FftScratch);
    add_aligned(AtanSum, Denominators, ProductWork, n, +1);
    copy_words(ProductWork, AtanSum, n + 1);
    return max2(err, e3);
}

namespace {

// Merging left group L (at word b) and right group R (at word r = b + k):
//   N = N_L * y^a * D_R + N_R * D_L,  D = D_L * D_R,  with y^a in PowerWork[1..k].
// Products go to ProductWork, never over their operands: y^a*D_R to words 1..2k, N_L
// times its low half to words 2k+1..4k, then N_R*D_L and D_L*D_R reuse words 1..2k.
double combine_by_products(int k, int m) {
    double err = 0.0;
    for (int pair = 0, b = 1; pair < m; ++pair, b += 2 * k) {
        const int r = b + k;
        const double e1 = convolve(PowerWork + 1, Denominators + r, ProductWork + 1, k, FftScratch);
        // y^a * D_R must fit in k words: the word just above its low half must be zero.
        if (ProductWork[k] != 0) std::printf(" ** Error Stop \n");
        const double e2 =
            convolve(Numerators + b, ProductWork + k + 1, ProductWork + 2 * k + 1, k, FftScratch);
        const double e3 =
            convolve(Numerators + r, Denominators + b, ProductWork + 1, k, FftScratch);
        add_words(ProductWork + 1, ProductWork + 2 * k + 1, Numerators + b, 2 * k, +1);
        const double e4 =
            convolve(Denominators + b, Denominators + r, ProductWork + 1, k, FftScratch);
        copy_words(ProductWork + 1, Denominators + b, 2 * k);
        err = max3(err, max2(e1, e2), max2(e3, e4));
    }
    // y^a squared; the copy exists because a product may not overlap its operands.
    copy_words(PowerWork + 1, ProductWork + 1, k);
    const double e5 = convolve(ProductWork + 1, ProductWork + 1, PowerWork + 1, k, FftScratch);
    return max2(err, e5);
}

// The same merge with every operand transformed once: y^a once for the level, D_L and D_R
// once for their two products each, and N = N_L * (y^a D_R) + N_R * D_L brought back as one
// sum through one inverse transform. The integers are the same as above.
// Spectra take 2k doubles each: the transform work and four spectra fill 12k doubles of
// FftScratch, the numerators' two spectra follow the products in ProductWork.
double combine_by_spectra(int k, int m) {
    double* work = FftScratch;
    double* y_spectrum = FftScratch + 4 * k;
    double* right_spectrum = y_spectrum + 2 * k;       // D_R, then D = D_L * D_R
    double* left_spectrum = right_spectrum + 2 * k;    // D_L
    double* spare = left_spectrum + 2 * k;             // y^a D_R, then its low half
    double* numerator_left = ProductWork + 2 * k + 1;  // N_L, then N
    double* numerator_right = numerator_left + 2 * k;  // N_R
    double* low_half = ProductWork + k + 1;            // of y^a D_R in ProductWork[1..2k]

    forward_spectrum(PowerWork + 1, y_spectrum, k, work);
    double err = 0.0;
    for (int pair = 0, b = 1; pair < m; ++pair, b += 2 * k) {
        const int r = b + k;
        forward_spectrum(Denominators + r, right_spectrum, k, work);
        forward_spectrum(Denominators + b, left_spectrum, k, work);
        forward_spectrum(Numerators + b, numerator_left, k, work);
        forward_spectrum(Numerators + r, numerator_right, k, work);

        multiply_spectra(y_spectrum, right_spectrum, spare, k);
        const double e1 = product_from_spectrum(spare, ProductWork + 1, k, work);
        // y^a * D_R must fit in k words: the word just above its low half must be zero.
        if (ProductWork[k] != 0) std::printf(" ** Error Stop \n");
        forward_spectrum(low_half, spare, k, work);

        // Both groups are in the spectra now, so the merged group may overwrite them.
        multiply_spectra(left_spectrum, right_spectrum, right_spectrum, k);
        const double e2 = product_from_spectrum(right_spectrum, Denominators + b, k, work);
        multiply_spectra(numerator_left, spare, numerator_left, k);
        add_product_of_spectra(numerator_right, left_spectrum, numerator_left, k);
        const double e3 = product_from_spectrum(numerator_left, Numerators + b, k, work);
        err = max3(err, e1, max2(e2, e3));
    }
    // y^a squared from its spectrum.
    multiply_spectra(y_spectrum, y_spectrum, y_spectrum, k);
    return max2(err, product_from_spectrum(y_spectrum, PowerWork + 1, k, work));
}

}  // namespace

double drm_combine(int k, int m) {
    // Short groups merge by separate products, which are summed word by word; longer groups
    // share the transforms of their operands.
    return k <= SchoolbookLongest ? combine_by_products(k, m) : combine_by_spectra(k, m);
}
