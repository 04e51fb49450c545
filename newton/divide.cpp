// Reciprocal by Newton iteration at doubling length, and the quotient built on it.
#include <cstdint>

#include "fft/fft.h"
#include "fft/scratch.h"
#include "newton/newton.h"

double reciprocal(const double* X, double* Y, int n, double* work, double* scratch) {
    assert(n >= 2 && (n & (n - 1)) == 0);
    assert(X[1] != 0);
    assert(!overlaps(X, n + 1, Y, n + 1) && !overlaps(Y, n + 1, work, 4 * n + 2));
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
    // Y's spectrum serves X*Y and Y*R, and X's at the full length serves the last two steps;
    // both are kept in the scratch.
    double* residual = work + 2 * n + 1;
    double* x_spectrum = kept_spectrum(scratch, n, 0);
    double* y_spectrum = kept_spectrum(scratch, n, 1);
    bool x_ready = false;
    const int iterations = ilog2(n) + 1;  // len = 2, 4, ..., n, then n once more
    double err = 0.0;
    int len = 2;
    for (int i = 0; i < iterations; ++i) {
        const int h = min(n, 2 * len);
        bool y_ready = false;
        const double e1 = multiply_sharing(X, len == n ? x_spectrum : nullptr, &x_ready, Y,
                                           y_spectrum, &y_ready, work, len, scratch);
        add_small(1, work, residual, 2 * len, -1);
        const double e2 = multiply_sharing(Y, y_spectrum, &y_ready, residual, nullptr, nullptr,
                                           work, len, scratch);
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
