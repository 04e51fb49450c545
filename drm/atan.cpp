// The DRM arctangent: atan(1/x) summed block by block, each block's terms merged pairwise
// into one exact fraction P/Q and turned into a number by one division.
//
// Inside a step the terms t = 0..M-1 (M = n/4, y = x^2, o_t the odd number of term t) are
// held as groups. A group of a terms t0..t0+a-1 is a numerator N and a denominator D, each
// a k = 4a word integer (most significant first, no exponent word), with
//     sum_{t=t0}^{t0+a-1} (-1)^t / (o_t * y^(t-t0)) = N / (D * y^(a-1)),
// D the product of the group's odd numbers. Group g occupies words (g-1)k+1 .. gk of
// Numerators and of Denominators, so the groups tile words 1..n at every level.
#include <algorithm>
#include <cstdio>

#include "drm/drm.h"
#include "fft/fft.h"
#include "newton/newton.h"

alignas(LargePage) double AtanSum[ND + 3];
alignas(LargePage) double PowerWork[ND + 3];
alignas(LargePage) double OddPower[ND];
alignas(LargePage) double Numerators[ND + 3];
alignas(LargePage) double Denominators[ND];
alignas(LargePage) double ProductWork[4 * ND];
double OddCounter;

namespace {
double block_step(int x, int n, bool advance_before, bool advance_after);
}  // namespace

double atan_drm(int x, int n, int steps) {
    assert(n >= 8 && n <= (1 << 18) && (n & (n - 1)) == 0);
    assert(x >= 2);
    fill_words(0, AtanSum, n + 1);
    set_small(1, OddPower, n);
    div_small(OddPower, x, OddPower, n);  // 1/x
    OddCounter = 1.0;
    double err = 0.0;
    // Each step but the last advances OddPower to the next block's power at its end, where
    // the power's spectrum serves that product too: the next step starts with its divisor.
    for (int i = 0; i < steps; ++i) err = max2(err, block_step(x, n, i == 0, i + 1 < steps));
    return err;
}

double drm_step(int x, int n) {
    return block_step(x, n, true, false);
}

namespace {

// drm_step with OddPower advanced by y^M before the block's divisor is formed (OddPower held
// x^(2j0-1) for the step's first term j0) or not (it held x^(2(j0+M)-1) already), and once
// more after it, to the next block's power, or not.
double block_step(int x, int n, bool advance_before, bool advance_after) {
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

    // x^(2j0-1) times y^M is x^(2(j0+M)-1), the divisor's power for this block and the
    // starting power of the next. The products share spectra: y^M's serves both advances and
    // the power's the divisor and the advance after it. FftScratch: the products at 0..2n,
    // the power's spectrum at 2n..4n, y^M's at 4n..6n. The divisor waits in ProductWork
    // while the advance goes beyond it, so that y^M stays in PowerWork until then.
    double* power_spectrum = FftScratch + 2 * n;
    double* y_spectrum = FftScratch + 4 * n;
    double* advanced = ProductWork + 2 * n + 1;
    bool power_ready = false, y_ready = false;
    if (advance_before) {
        err = max2(err, multiply_sharing(PowerWork, y_spectrum, &y_ready, OddPower, nullptr,
                                         nullptr, ProductWork, n, FftScratch));
        copy_words(ProductWork, OddPower, n + 1);
    }
    err = max2(err, multiply_sharing(Denominators, nullptr, nullptr, OddPower, power_spectrum,
                                     &power_ready, ProductWork, n, FftScratch));
    if (advance_after) {
        err = max2(err, multiply_sharing(PowerWork, y_spectrum, &y_ready, OddPower, power_spectrum,
                                         &power_ready, advanced, n, FftScratch));
        copy_words(advanced, OddPower, n + 1);
    }
    copy_words(ProductWork, PowerWork, n + 1);

    // The block: P / (Q * x^(2(j0+M)-1)), added into the sum.
    const double e3 = divide(Numerators, PowerWork, Denominators, n, ProductWork, FftScratch);
    add_aligned(AtanSum, Denominators, ProductWork, n, +1);
    copy_words(ProductWork, AtanSum, n + 1);
    return max2(err, e3);
}

// Merging left group L (at word b) and right group R (at word r = b + k):
//   N = N_L * y^a * D_R + N_R * D_L,  D = D_L * D_R,  with y^a in PowerWork[1..k].
// Products go to ProductWork, never over their operands: y^a*D_R to words 1..2k, N_L
// times its low half to words 2k+1..4k, then N_R*D_L and D_L*D_R reuse words 1..2k.
// Each operand's leading zero words are counted once: y^a's for the level, D_L's and D_R's
// for their two products each.
double combine_by_products(int k, int m) {
    const auto zeros = [k](const double* group) { return leading_zero_words(group, k); };
    const double* power = PowerWork + 1;
    const int power_zeros = zeros(power);
    double err = 0.0;
    for (int pair = 0, b = 1; pair < m; ++pair, b += 2 * k) {
        const int r = b + k;
        const int left_zeros = zeros(Denominators + b), right_zeros = zeros(Denominators + r);
        const double e1 = convolve_known(power, power_zeros, Denominators + r, right_zeros,
                                         ProductWork + 1, k, FftScratch);
        // y^a * D_R must fit in k words: the word just above its low half must be zero.
        if (ProductWork[k] != 0) std::printf(" ** Error Stop \n");
        const double* low_half = ProductWork + k + 1;
        const double e2 = convolve_known(Numerators + b, zeros(Numerators + b), low_half,
                                         zeros(low_half), ProductWork + 2 * k + 1, k, FftScratch);
        const double e3 = convolve_known(Numerators + r, zeros(Numerators + r), Denominators + b,
                                         left_zeros, ProductWork + 1, k, FftScratch);
        add_words(ProductWork + 1, ProductWork + 2 * k + 1, Numerators + b, 2 * k, +1);
        const double e4 = convolve_known(Denominators + b, left_zeros, Denominators + r,
                                         right_zeros, ProductWork + 1, k, FftScratch);
        copy_words(ProductWork + 1, Denominators + b, 2 * k);
        err = max3(err, max2(e1, e2), max2(e3, e4));
    }
    // y^a squared; the copy exists because a product may not overlap its operands.
    copy_words(PowerWork + 1, ProductWork + 1, k);
    const double e5 = convolve(ProductWork + 1, ProductWork + 1, PowerWork + 1, k, FftScratch);
    return max2(err, e5);
}

// Words of the k-word integer X (most significant first) below its leading zeros.
int significant_words(const double* X, int k) {
    return k - leading_zero_words(X, k);
}

// The transform length of a merge level: the shortest power of two that holds every
// operand of the level's products. A group's k words are mostly leading zeros (a group of
// a terms has k = 4a words, its odd numbers take about 1.2a and y^a from 0.3a for x = 5 to
// 2a for x = 110443), and operands of at most L words multiply exactly by transforms of
// length L. The operands are the groups' numerators and denominators, y^a, and the low
// half of y^a D_R, which has at most as many words as y^a and D_R together.
//
// Numerators of just over half a group (those of x = 515 and 682 take 0.50 to 0.52 of it)
// would double the length to k. Such a level runs folded at k/2 instead: each k-word operand
// is transformed with its upper half in the imaginary parts, so that every product of at
// most k coefficients comes out exact. Only the numerator's N_L * (y^a D_R) is longer; its
// coefficients from word k up, at most k/16 of them, are summed word by word and put back.
int level_length(int k, int m, bool* folded) {
    int longest_numerator = 0, longest_denominator = 0;
    for (int g = 0; g < 2 * m; ++g) {
        longest_numerator =
            std::max(longest_numerator, significant_words(Numerators + 1 + g * k, k));
        longest_denominator =
            std::max(longest_denominator, significant_words(Denominators + 1 + g * k, k));
    }
    const int power = significant_words(PowerWork + 1, k);
    const int low_half = min(k, power + longest_denominator);
    const int needed = std::max({longest_numerator, longest_denominator, low_half});
    int L = 2;
    while (L < needed) L *= 2;
    *folded = false;
    if (L == k) {
        // The coefficients of each product: those of y^a D_R, D_L D_R, (y^a)^2 and N_R D_L
        // must stand below word k, those of N_L (y^a D_R) may overrun it where folding pays.
        const bool fit = power + longest_denominator - 1 <= k && 2 * longest_denominator - 1 <= k &&
                         2 * power - 1 <= k && longest_numerator + longest_denominator - 1 <= k;
        if (fit && fold_pays(k, longest_numerator + low_half - 1 - k)) {
            *folded = true;
            return k / 2;
        }
    }
    return L;
}

// over[t] <- the coefficient of A * B at word k + t from the bottom, for the k-word integers
// {A, k} and {B, k} (most significant first) with sa and sb significant words: the part of
// the product that a folded transform of length k/2 subtracts from its bottom words. Each is
// a sum of products of two words, exact. Returns their number.
int coefficients_beyond(const double* A, int sa, const double* B, int sb, int k, double* over) {
    const int count = sa + sb - 1 - k;  // words k .. sa + sb - 2
    for (int t = 0; t < count; ++t) {
        // Word i of A from the bottom, A[k-1-i], meets word k+t-i of B, B[i-t-1].
        double sum = 0.0;
        for (int i = k + t - sb + 1; i < sa; ++i) sum += A[k - 1 - i] * B[i - t - 1];
        over[t] = sum;
    }
    return count > 0 ? count : 0;
}

// {out, 2k} <- the numerator whose folded spectrum of length k/2 is given, with its `count`
// coefficients from word k up (over) put back: the transform subtracted them from its bottom
// words. Normalised as a product of length k would be. Returns the RoundingError.
double numerator_from_folded(double* spectrum, const double* over, int count, double* out, int k) {
    fill_words(0, out, k);
    const double err = product_coefficients(spectrum, out + k, k / 2);
    for (int t = 0; t < count; ++t) {
        out[2 * k - 1 - t] += over[t];
        out[k - 1 - t] = over[t];
    }
    normalize_carries(out, 2 * k);
    return err;
}

// {out, 2k} <- the product whose spectrum of length L <= k is given: its 2L words at the
// bottom, zeros above, normalised as a product of length k would be. The spectrum is used
// up. Returns the RoundingError.
double product_into(double* spectrum, double* out, int L, int k) {
    const int above = 2 * (k - L);
    fill_words(0, out, above);
    const double err = product_from_spectrum(spectrum, out + above, L);
    // The top word of the short product took its carry unreduced; reduce it into the zero
    // word above, the last step the longer product's normalisation would take.
    if (above > 0) normalize_carries(out + above - 1, 2);
    return err;
}

// The same merge with every operand transformed once: y^a once for the level, D_L and D_R
// once for their two products each, and N = N_L * (y^a D_R) + N_R * D_L brought back as one
// sum through one inverse transform. The transforms have the level's length L <= k, taking
// the low L words of each operand, or all k words folded (L = k/2). The integers are the same
// as above.
// Spectra take 2L doubles each: the transform work and four spectra fill 12L doubles of
// FftScratch, then the numerator's coefficients beyond word k of a folded level; the
// numerators' two spectra follow the products in ProductWork.
double combine_by_spectra(int k, int m, int L, bool folded) {
    const int skip = k - L;
    const auto transform = [=](const double* group, double* spectrum) {
        if (folded) {
            forward_spectrum_folded(group, spectrum, L);
        } else {
            forward_spectrum(group + skip, spectrum, L);
        }
    };
    double* beyond = FftScratch + 12 * L;
    double* y_spectrum = FftScratch + 4 * L;
    double* right_spectrum = y_spectrum + 2 * L;       // D_R, then D = D_L * D_R
    double* left_spectrum = right_spectrum + 2 * L;    // D_L
    double* spare = left_spectrum + 2 * L;             // y^a D_R, then its low half
    double* numerator_left = ProductWork + 2 * k + 1;  // N_L, then N
    double* numerator_right = numerator_left + 2 * L;  // N_R
    double* low_half = ProductWork + k + 1;            // of y^a D_R in ProductWork[1..2k]

    transform(PowerWork + 1, y_spectrum);
    double err = 0.0;
    for (int pair = 0, b = 1; pair < m; ++pair, b += 2 * k) {
        const int r = b + k;
        transform(Denominators + r, right_spectrum);
        transform(Denominators + b, left_spectrum);
        transform(Numerators + b, numerator_left);
        transform(Numerators + r, numerator_right);

        multiply_spectra(y_spectrum, right_spectrum, spare, L);
        const double e1 = product_into(spare, ProductWork + 1, L, k);
        // y^a * D_R must fit in k words: the word just above its low half must be zero.
        if (ProductWork[k] != 0) std::printf(" ** Error Stop \n");
        transform(low_half, spare);
        const int beyond_count =
            folded ? coefficients_beyond(Numerators + b, significant_words(Numerators + b, k),
                                         low_half, significant_words(low_half, k), k, beyond)
                   : 0;

        // Both groups are in the spectra now, so the merged group may overwrite them.
        multiply_spectra(left_spectrum, right_spectrum, right_spectrum, L);
        const double e2 = product_into(right_spectrum, Denominators + b, L, k);
        multiply_spectra(numerator_left, spare, numerator_left, L);
        add_product_of_spectra(numerator_right, left_spectrum, numerator_left, L);
        const double e3 =
            folded ? numerator_from_folded(numerator_left, beyond, beyond_count, Numerators + b, k)
                   : product_into(numerator_left, Numerators + b, L, k);
        err = max3(err, e1, max2(e2, e3));
    }
    // y^a squared from its spectrum.
    multiply_spectra(y_spectrum, y_spectrum, y_spectrum, L);
    return max2(err, product_into(y_spectrum, PowerWork + 1, L, k));
}

}  // namespace

double drm_combine(int k, int m) {
    // The level's route (fft/routes.h). A level's length is at most its group length, so
    // levels of short groups need not scan their groups to know it.
    if (k <= MergeProductsLongest) return combine_by_products(k, m);
    bool folded;
    const int L = level_length(k, m, &folded);
    return L <= MergeProductsLongest ? combine_by_products(k, m)
                                     : combine_by_spectra(k, m, L, folded);
}
