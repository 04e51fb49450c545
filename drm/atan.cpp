// The DRM arctangent: atan(1/x) summed block by block, each block's terms merged pairwise
// into one exact fraction P/Q (the merge levels: drm/merge.h) and turned into a number by
// one division.
//
// Inside a step the terms t = 0..M-1 (M = n/4, y = x^2, o_t the odd number of term t) are
// held as groups. A group of a terms t0..t0+a-1 is a numerator N and a denominator D, each
// a k = 4a word integer (most significant first, no exponent word), with
//     sum_{t=t0}^{t0+a-1} (-1)^t / (o_t * y^(t-t0)) = N / (D * y^(a-1)),
// D the product of the group's odd numbers. Group g occupies words (g-1)k+1 .. gk of
// Numerators and of Denominators, so the groups tile words 1..n at every level.
#include <initializer_list>

#include "drm/drm.h"
#include "fft/fft.h"
#include "fft/scratch.h"
#include "newton/newton.h"

double* AtanSum;
double* PowerWork;
double* OddPower;
double* Numerators;
double* Denominators;
double* ProductWork;
double OddCounter;

double* lay_out_drm_memory(double* memory, int n) {
    for (double** number : {&AtanSum, &PowerWork, &OddPower, &Numerators, &Denominators})
        *number = take_slice(&memory, n + 3LL);
    ProductWork = take_slice(&memory, 4LL * n + 2);
    return memory;
}

namespace {
double block_step(int x, int n, bool advance_before, bool advance_after);
}  // namespace

double atan_drm(int x, int n, int steps) {
    assert(n >= 8 && n <= (1 << 18) && (n & (n - 1)) == 0);
    assert(x >= 2);
    fill_words(0, AtanSum, n + 1);
    reciprocal_small(x, OddPower, n);  // 1/x
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
    // The terms, one group of four words each (numerator +1 or -1, denominator the odd
    // number), merge pairwise straight into groups of 8 words. The sign counts from the step's
    // first term, which is the series' own sign because every step starts at a multiple of
    // n/4, which is even.
    double err = drm_combine_terms(x, n);

    // The other log2(n/8) levels merge the groups into one: P, Q and PowerWork = y^(n/4), n
    // words each, each level telling the next how long its groups are at most.
    int k = 8, words = 8;
    for (int m = n / 16; m >= 1; m /= 2, k *= 2) err = max2(err, drm_combine(k, m, &words));

    as_integer(Numerators, n);
    as_integer(Denominators, n);
    as_integer(PowerWork, n);

    // x^(2j0-1) times y^M is x^(2(j0+M)-1), the divisor's power for this block and the
    // starting power of the next. The products share spectra, kept in FftScratch: y^M's serves
    // both advances and the power's the divisor and the advance after it. The divisor waits
    // in ProductWork while the advance goes beyond it, so that y^M stays in PowerWork until
    // then.
    double* power_spectrum = kept_spectrum(FftScratch, n, 0);
    double* y_spectrum = kept_spectrum(FftScratch, n, 1);
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
    // In place where the quotient's exponent is at most the sum's, as the terms' decrease
    // makes it for every block: add_aligned then leaves the words it would leave elsewhere,
    // with no copy back.
    if (AtanSum[0] >= Denominators[0]) {
        add_aligned(AtanSum, Denominators, AtanSum, n, +1);
    } else {
        add_aligned(AtanSum, Denominators, ProductWork, n, +1);
        copy_words(ProductWork, AtanSum, n + 1);
    }
    return max2(err, e3);
}

}  // namespace
