// Products of word runs and of long numbers by one weighted convolution of length n.
//
// The two operands are transformed in place, the first in the scratch and the second in the
// output area; their pointwise product goes back through the inverse transform. Point i of
// the result then holds, for r = n-1-i, the coefficient of Radix^r in its real part and that
// of Radix^(r+n) in its imaginary part, so the imaginary parts fill the upper half of the
// product and the real parts the lower half, most significant word first.
#include <cmath>

#include "fft/fft.h"

// 6n doubles for n-word operands: the first operand's points (0..2n-1), then the work area
// of the transform (the twiddle table at 2n..3n-1, the pass temporary at 4n..6n-1).
double FftScratch[6 * ND + 2];

double convolve(const double* a, const double* b, double* out, int n, double* scratch) {
    assert(n >= 2 && (n & (n - 1)) == 0);
    assert(!overlaps(out, 2L * n, a, n) && !overlaps(out, 2L * n, b, n));
    assert(!overlaps(scratch, 6L * n, a, n) && !overlaps(scratch, 6L * n, b, n));
    assert(!overlaps(scratch, 6L * n, out, 2L * n));
    double* work = scratch + 2 * n;

    for (int i = 0; i < n; ++i) {
        scratch[2 * i] = a[i];
        scratch[2 * i + 1] = 0;
        out[2 * i] = b[i];
        out[2 * i + 1] = 0;
    }
    weighted_fft(scratch, n, 0, work);
    weighted_fft(out, n, 0, work);
    for (int i = 0; i < n; ++i) {
        double* s = scratch + 2 * i;
        const double br = out[2 * i], bi = out[2 * i + 1];
        const double sr = s[0], si = s[1];
        s[0] = br * sr - bi * si;
        s[1] = br * si + bi * sr;
    }
    weighted_fft(scratch, n, 1, work);

    // Coefficients are whole numbers of magnitude at most n*max|a|*max|b| (6.5536e14 for
    // 2^18 balanced words), below 2^53, so rounding recovers them while the error stays
    // below 0.5. Round half up.
    double err = 0.0;
    for (int i = 0; i < n; ++i) {
        const double re = scratch[2 * i], im = scratch[2 * i + 1];
        const double R = std::floor(re + 0.5), I = std::floor(im + 0.5);
        err = max3(err, std::fabs(R - re), std::fabs(I - im));
        out[i] = I;
        out[i + n] = R;
    }
    normalize_carries(out, 2 * n);
    return err;
}

double multiply(const double* x, const double* y, double* z, int n, double* scratch) {
    assert(!overlaps(z, 2L * n + 1, x, n + 1L) && !overlaps(z, 2L * n + 1, y, n + 1L));
    z[0] = x[0] + y[0];
    const double err = convolve(x + 1, y + 1, z + 1, n, scratch);
    strip_leading_zeros(z, 2 * n);
    return err;
}
