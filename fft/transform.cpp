// The complex transform under every product: radix-2 Stockham passes of power-of-two length,
// plain and weighted by powers of a primitive 4n-th root of unity.
//
// Sign convention: the forward transform uses w = e^(+2 pi i/n) and is not scaled; the
// inverse (direction 1) uses w^-1 and divides by n. Indices are read from the end of the
// array: point j has position p = n-1-j, so the least significant word of a number, which
// stands last, has position 0 and weight psi^0 = 1.
//
// Every twiddle and every weight comes from its own angle, one whole number times a step,
// through one cos and one sin call; nothing is accumulated. The entries are computed once, at
// the longest length, into one table per kind and direction. The step of length n is that of
// length 2n doubled exactly, so the angle of entry e at length n is bit for bit the angle of
// entry 2e+1 at length 2n (counted from the end, where the angle is 0): the tables of every
// shorter length are every q-th entry of the longest, q = MaxPoints/n.
#include <cmath>

#include "fft/fft.h"

namespace {

// The longest transform: products of 2^18 words.
constexpr int MaxPoints = 1 << 18;
// Twiddle entries of the longest transform (its make_twiddles table).
constexpr int MaxHalf = MaxPoints / 2;

// Index 0 forward, 1 inverse. Twiddles: make_twiddles(MaxHalf, direction), 2 MiB each.
// Weights: entry i = e^(i sigma (MaxPoints-1-i) pi/(2 MaxPoints)), 4 MiB each.
double Twiddles[2][2 * MaxHalf];
double Weights[2][2 * MaxPoints];
bool TablesBuilt[2];

[[maybe_unused]] bool is_power_of_two(int n) {
    return n >= 1 && (n & (n - 1)) == 0;
}

// table (n points) <- entry i = e^(i sigma (n-1-i) pi/(2n)), sigma = -1 for inverse.
void make_weights(int n, int direction, double* table) {
    double step = 2 * std::atan(1.0) / static_cast<double>(n);  // pi/(2n)
    if (direction == 1) step = -step;
    for (int i = 0; i < n; ++i) {
        const double angle = static_cast<double>(n - 1 - i) * step;
        table[2 * i] = std::cos(angle);
        table[2 * i + 1] = std::sin(angle);
    }
}

// The tables of one direction (0 or 1), built on first use.
int tables_for(int direction) {
    const int d = direction == 1 ? 1 : 0;
    if (!TablesBuilt[d]) {
        make_twiddles(MaxHalf, d, Twiddles[d]);
        make_weights(MaxPoints, d, Weights[d]);
        TablesBuilt[d] = true;
    }
    return d;
}

// Multiplies point i of {points, n} by entry i of the weights of length n.
void rotate_by_weights(double* points, int n, int direction) {
    const int d = tables_for(direction), q = MaxPoints / n;
    const double* w = Weights[d] + 2 * (q - 1);
    for (int i = 0; i < n; ++i) {
        double* p = points + 2 * i;
        const double co = w[2L * q * i], si = w[2L * q * i + 1];
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
    assert(n >= 2 && n <= MaxPoints && is_power_of_two(n));
    assert(!overlaps(points, 2L * n, work, 4L * n));
    const int passes = ilog2(n);
    // The twiddle table of length n, every q-th entry of the longest one.
    const int q = MaxPoints / n;
    const double* longest = Twiddles[tables_for(direction)] + 2 * (q - 1);
    for (int e = 0; e < n / 2; ++e) {
        work[2 * e] = longest[2L * q * e];
        work[2 * e + 1] = longest[2L * q * e + 1];
    }
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
    if (direction == 1) {
        fft(points, n, direction, work);
        rotate_by_weights(points, n, direction);
    } else {
        rotate_by_weights(points, n, direction);
        fft(points, n, direction, work);
    }
}
