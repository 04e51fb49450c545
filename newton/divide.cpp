// Reciprocal by Newton iteration at doubling length, and the quotient built on it.
#include <cstdint>

#include "fft/fft.h"
#include "newton/newton.h"

namespace {

// z <- x * y (len words each) as multiply forms it, from the spectra of the two mantissas
// as forward_spectrum leaves them. product: 2 len doubles, used up; it may be either
// spectrum, and overlaps neither z nor x_spectrum nor y_spectrum otherwise.
double product_of_spectra(const double* x, const double* x_spectrum, const double* y,
                          const double* y_spectrum, double* z, int len, double* product) {
    z[0] = x[0] + y[0];
    multiply_spectra(x_spectrum, y_spectrum, product, len);
    // The work area goes untouched (see forward_spectrum): the one named may hold spectra.
    const double err = product_from_spectrum(product, z + 1, len, product + 2 * len);
    strip_leading_zeros(z, 2 * len);
    return err;
}

}  // namespace

double reciprocal(const double* X, double* Y, int n, double* work, double* scratch) {
    assert(n >= 2 && (n & (n - 1)) == 0);
    assert(X[1] != 0);
    assert(!overlaps(X, n + 1, Y, n + 1) && !overlaps(Y, n + 1, work, 4 * n + 2));
    assert(!overlaps(scratch, 6LL * n, work, 4 * n + 2));
    const double B = Radix;

    // Starting value from the two leading words: d = B / (X[1] + X[2]/B) is 1/X scaled by
    // B^E to about ten decimals, which Y takes as two words.
    Y[0] = 1 - X[0];
    const double d = B / (X[1] + X[2] / B);
    Y[1] = static_cast<double>(static_cast<int64_t>(d));
    Y[2] = static_cast<double>(static_cast<int64_t>((d - Y[1]) * B));
    fill_words(0, Y + 3, n - 2);

    // Y <- Y + Y*(1 - X*Y). Products of len words while about len words of Y are right;
    // each step doubles them, and a last step at full length polishes the final words.
    // The residual lives beyond the longest product (words 0..2n) so that Y*R can be
    // written while R is read.
    // Products that convolve would take through transforms share their spectra: Y's serves
    // X*Y and Y*R, and X's at the full length serves both of the last two steps. The
    // spectra are the ones convolve would form, so the products and their RoundingErrors
    // are the same. Scratch: the product at 0..2n, X's spectrum at 2n..4n, Y's at 4n..6n.
    double* residual = work + 2 * n + 1;
    double* product = scratch;
    double* x_spectrum = scratch + 2 * n;
    double* y_spectrum = scratch + 4 * n;
    bool x_transformed = false;           // x_spectrum holds X at the full length
    const int iterations = ilog2(n) + 1;  // len = 2, 4, ..., n, then n once more
    double err = 0.0;
    int len = 2;
    for (int i = 0; i < iterations; ++i) {
        const int h = min(n, 2 * len);
        bool y_transformed = false;
        double e1;
        if (summed_word_by_word(X + 1, Y + 1, len)) {
            e1 = multiply(X, Y, work, len, scratch);
        } else {
            double* xs = len == n ? x_spectrum : product;
            if (!(len == n && x_transformed)) forward_spectrum(X + 1, xs, len, work);
            x_transformed = len == n;
            forward_spectrum(Y + 1, y_spectrum, len, work);
            y_transformed = true;
            e1 = product_of_spectra(X, xs, Y, y_spectrum, work, len, product);
        }
        add_small(1, work, residual, 2 * len, -1);
        double e2;
        if (summed_word_by_word(Y + 1, residual + 1, len)) {
            e2 = multiply(Y, residual, work, len, scratch);
        } else {
            if (!y_transformed) forward_spectrum(Y + 1, y_spectrum, len, work);
            forward_spectrum(residual + 1, product, len, work);
            e2 = product_of_spectra(Y, y_spectrum, residual, product, work, len, product);
        }
        err = max3(err, e1, e2);
        add_aligned(Y, work, Y, h, +1);  // the correction is below Y: in place is allowed
        if (len < n) len *= 2;
    }
    return err;
}

double divide(const double* X, const double* Y, double* Z, int n, double* work, double* scratch) {
    assert(!overlaps(X, n + 1, Z, n + 1) && !overlaps(Y, n + 1, Z, n + 1));
    const double e1 = reciprocal(Y, Z, n, work, scratch);
    const double e2 = multiply(X, Z, work, n, scratch);
    copy_words(work, Z, n + 1);  // the exponent and the n leading words of X * (1/Y)
    return max2(e1, e2);
}
