// The complex transform under every product: radix-2 Stockham passes of power-of-two length,
// plain and weighted by powers of a primitive 4n-th root of unity.
//
// Sign convention: the forward transform uses w = e^(+2 pi i/n) and is not scaled; the
// inverse (direction 1) uses w^-1 and divides by n. Indices are read from the end of the
// array: point j has position p = n-1-j, so the least significant word of a number, which
// stands last, has position 0 and weight psi^0 = 1.
//
// Every twiddle and every weight comes from its own angle, one whole number times a step,
// through a fresh cos and sin call; nothing is accumulated and nothing is cached.
#include <cmath>

#include "fft/fft.h"

namespace {

[[maybe_unused]] bool is_power_of_two(int n) {
    return n >= 1 && (n & (n - 1)) == 0;
}

// Multiplies point i of {points, n} by e^(i (n-1-i) step).
void rotate_by_weights(double* points, int n, double step) {
    for (int i = 0; i < n; ++i) {
        double* p = points + 2 * i;
        const double angle = static_cast<double>(n - 1 - i) * step;
        const double co = std::cos(angle), si = std::sin(angle);
        const double re = p[0], im = p[1];
        p[0] = co * re - si * im;
        p[1] = co * im + si * re;
    }
}

}  // namespace

void make_twiddles(int half, int direction, double* table) {
    assert(is_power_of_two(half));
    double step = 4 * std::atan(1.0) / static_cast<double>(half);  // 2 pi / n
    if (direction == 1) step = -step;
    for (int e = 0; e < half; ++e) {
        const double angle = static_cast<double>(half - 1 - e) * step;
        table[2 * e] = std::cos(angle);
        table[2 * e + 1] = std::sin(angle);
    }
}

void fft_pass(double* points, int m, int s, const double* table, double* temp) {
    assert(m >= 1 && s >= 1);
    const int n = 2 * m * s;
    assert(!overlaps(points, 2L * n, temp, 2L * n));
    for (int k = 0; k < s; ++k) {
        // Entry m(k+1)-1 is e^(i sigma pi (s-1-k)/s).
        const double* w = table + 2 * (m * (k + 1) - 1);
        const double wr = w[0], wi = w[1];
        for (int j = 0; j < m; ++j) {
            const double* u = points + 2 * (2 * m * k + j);
            const double* v = u + 2 * m;
            const double tr = u[0] * wr - u[1] * wi;  // t = u * w
            const double ti = u[0] * wi + u[1] * wr;
            double* low = temp + 2 * (m * k + j);
            double* high = low + n;  // n/2 points further on
            low[0] = v[0] - tr;
            low[1] = v[1] - ti;
            high[0] = v[0] + tr;
            high[1] = v[1] + ti;
        }
    }
    copy_words(temp, points, 2 * n);
}

void fft(double* points, int n, int direction, double* work) {
    assert(n >= 2 && is_power_of_two(n));
    assert(!overlaps(points, 2L * n, work, 4L * n));
    const int passes = ilog2(n);
    make_twiddles(n / 2, direction, work);
    // Pass p has s = 2^p groups of m = n/2^(p+1) butterflies; the points end in natural order.
    int m = n / 2, s = 1;
    for (int pass = 0; pass < passes; ++pass) {
        fft_pass(points, m, s, work, work + 2 * n);
        s *= 2;
        m /= 2;
    }
    if (direction == 1) {
        const double scale = n;
        for (int i = 0; i < 2 * n; ++i) points[i] /= scale;
    }
}

void weighted_fft(double* points, int n, int direction, double* work) {
    assert(n >= 2 && is_power_of_two(n));
    assert(!overlaps(points, 2L * n, work, 4L * n));
    const double step = 2 * std::atan(1.0) / static_cast<double>(n);  // pi/(2n): psi = e^(i step)
    if (direction == 1) {
        fft(points, n, direction, work);
        rotate_by_weights(points, n, -step);
    } else {
        rotate_by_weights(points, n, step);
        fft(points, n, direction, work);
    }
}
