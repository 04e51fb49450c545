// The natural-order transform: fft and weighted_fft, radix-4 Stockham passes of power-of-two
// length, with one radix-2 pass first when log2 n is odd, plain and weighted by powers of a
// primitive 4n-th root of unity; and fft_pass, one radix-2 pass. The passes alternate between
// the points and the pass temporary with no copy back; the weights are applied in the first
// pass of the forward transform and the division by n and the unweighting in the last pass
// of the inverse. No product uses it: the products take the permuted transform
// (fft/permuted.cpp), and this one, in the natural order of the points, is the reference the
// tests check that one against, and a yardstick of the benchmarks.
//
// Sign convention: the forward transform uses w = e^(+2 pi i/n) and is not scaled; the
// inverse (direction 1) uses w^-1 and divides by n. Indices are read from the end of the
// array: point j has position p = n-1-j, so the least significant word of a number, which
// stands last, has position 0 and weight psi^0 = 1.
#include "fft/butterfly.h"
#include "fft/fft.h"
#include "fft/table_layout.h"

// The shared helpers of the transforms as compiled for the code outside the kernel sets.
using namespace common;

namespace {

// How the passes work. Read from the end of the array (position p = n-1-index), before the
// pass with s groups block k of L = n/s positions holds at offset t the length-s transform
// of the positions t, t+L, t+2L, ... at frequency k. A radix-4 pass makes 4s groups of L/4:
// with m = L/4, group k + rs at offset j is sum_d w^(dkm) i^(dr) times block k at offset
// j + dm, where i^(dr) is (+-i)^(dr) by direction. A radix-2 pass does the same with two
// terms. Back in array indices the blocks, the offsets and d, r all count from the other end,
// which is why the twiddle table descends in angle.

// The first radix-4 pass (s = 1, m = n/4, no twiddles): out may be in, as every butterfly
// writes the four points it reads. weights: the weights of length n as every q-th entry from
// there, or null for none.
void first_radix4_pass(const double* in, double* out, int n, bool inverse, const double* weights,
                       int q) {
    const int m = n / 4;
    double* y1 = point(out, inverse ? 0 : 2LL * m);
    double* y3 = point(out, inverse ? 2LL * m : 0);
    if (weights == nullptr) {
        for (int j = 0; j < m; ++j) {
            const double *b0 = point(in, j), *b1 = point(in, j + m), *b2 = point(in, j + 2 * m),
                         *b3 = point(in, j + 3 * m);
            butterfly4(b3[0], b3[1], b2[0], b2[1], b1[0], b1[1], b0[0], b0[1],
                       point(out, j + 3 * m), point(y1, j), point(out, j + m), point(y3, j));
        }
        return;
    }
    for (int j = 0; j < m; ++j) {
        double a[8];
        for (int d = 0; d < 4; ++d) {
            const double* b = point(in, j + d * m);
            const double* w = point(weights, static_cast<std::int64_t>(j + d * m) * q);
            a[2 * d] = w[0] * b[0] - w[1] * b[1];
            a[2 * d + 1] = w[0] * b[1] + w[1] * b[0];
        }
        butterfly4(a[6], a[7], a[4], a[5], a[2], a[3], a[0], a[1], point(out, j + 3 * m),
                   point(y1, j), point(out, j + m), point(y3, j));
    }
}

// The first pass when log2 n is odd, radix 2 (s = 1, m = n/2): out may be in; weights as above.
void first_radix2_pass(const double* in, double* out, int n, const double* weights, int q) {
    const int m = n / 2;
    for (int j = 0; j < m; ++j) {
        const double *u = point(in, j), *v = point(in, j + m);
        double ur = u[0], ui = u[1], vr = v[0], vi = v[1];
        if (weights != nullptr) {
            const double *wu = point(weights, static_cast<std::int64_t>(j) * q),
                         *wv = point(weights, static_cast<std::int64_t>(j + m) * q);
            ur = wu[0] * u[0] - wu[1] * u[1];
            ui = wu[0] * u[1] + wu[1] * u[0];
            vr = wv[0] * v[0] - wv[1] * v[1];
            vi = wv[0] * v[1] + wv[1] * v[0];
        }
        double* low = point(out, j);
        double* high = point(out, j + m);
        low[0] = vr - ur;
        low[1] = vi - ui;
        high[0] = vr + ur;
        high[1] = vi + ui;
    }
}

// A radix-4 pass with s groups before it, s > 1, n >= 16s: s groups of m = n/(4s) points,
// the twiddles fixed for a group.
void radix4_pass(const double* in, double* out, int n, int s, bool inverse, int d) {
    const int m = n / (4 * s);
    const std::int64_t quarter = n / 4;
    for (int g = 0; g < s; ++g) {
        const int k = s - 1 - g;
        double w1r, w1i, w2r, w2i, w3r, w3i;
        twiddle(d, n, k * m, w1r, w1i);
        twiddle(d, n, 2 * k * m, w2r, w2i);
        twiddle(d, n, 3 * k * m, w3r, w3i);
        const double* x = point(in, 4LL * m * g);
        double* y = point(out, static_cast<std::int64_t>(m) * g);
        double* y1 = point(y, inverse ? 0 : 2 * quarter);
        double* y3 = point(y, inverse ? 2 * quarter : 0);
        for (int j = 0; j < m; ++j) {
            const double *b0 = point(x, j), *b1 = point(x, j + m), *b2 = point(x, j + 2 * m),
                         *b3 = point(x, j + 3 * m);
            butterfly4(b3[0], b3[1], b2[0] * w1r - b2[1] * w1i, b2[0] * w1i + b2[1] * w1r,
                       b1[0] * w2r - b1[1] * w2i, b1[0] * w2i + b1[1] * w2r,
                       b0[0] * w3r - b0[1] * w3i, b0[0] * w3i + b0[1] * w3r,
                       point(y, j + 3 * quarter), point(y1, j), point(y, j + quarter),
                       point(y3, j));
        }
    }
}

// The butterfly of group g of the last radix-4 pass (m = 1): twiddles as entries base_d +
// d*g*q of the table, the third one times sign3; z <- the four outputs times scale, the
// forward transform's quarters 0..3 of the output (the inverse swaps z0 and z2).
inline void last_butterfly(const double* x, const double* table, std::int64_t base1,
                           std::int64_t base2, std::int64_t base3, double sign3, std::int64_t g,
                           int q, double scale, double* z) {
    const double* w1 = point(table, base1 + g * q);
    const double* w2 = point(table, base2 + 2 * g * q);
    const double* w3 = point(table, base3 + 3 * g * q);
    const double w3r = sign3 * w3[0], w3i = sign3 * w3[1];
    double y[8];
    butterfly4(x[6], x[7], x[4] * w1[0] - x[5] * w1[1], x[4] * w1[1] + x[5] * w1[0],
               x[2] * w2[0] - x[3] * w2[1], x[2] * w2[1] + x[3] * w2[0], x[0] * w3r - x[1] * w3i,
               x[0] * w3i + x[1] * w3r, y + 6, y + 4, y + 2, y);
    for (int i = 0; i < 8; ++i) z[i] = y[i] * scale;
}

// Groups g0 <= g < g1 of the last radix-4 pass (m = 1, s = n/4 groups of one butterfly),
// outputs times scale and then, when weights is not null, times entry i*q of weights for
// their index i.
void last_radix4_groups(const double* in, double* out, int n, int g0, int g1, bool inverse,
                        const double* table, int q, std::int64_t base1, std::int64_t base2,
                        std::int64_t base3, double sign3, double scale, const double* weights) {
    const std::int64_t quarter = n / 4;
    // Output r of the butterfly goes to quarter r (forward) or to quarter 2-r for r = 0, 2.
    const std::int64_t at0 = inverse ? 2 * quarter : 0, at2 = inverse ? 0 : 2 * quarter;
    double *o0 = point(out, at0), *o1 = point(out, quarter), *o2 = point(out, at2),
           *o3 = point(out, 3 * quarter);
    if (weights == nullptr) {
        for (std::int64_t g = g0; g < g1; ++g) {
            double z[8];
            last_butterfly(point(in, 4 * g), table, base1, base2, base3, sign3, g, q, scale, z);
            o0[2 * g] = z[0], o0[2 * g + 1] = z[1];
            o1[2 * g] = z[2], o1[2 * g + 1] = z[3];
            o2[2 * g] = z[4], o2[2 * g + 1] = z[5];
            o3[2 * g] = z[6], o3[2 * g + 1] = z[7];
        }
        return;
    }
    const double *v0 = point(weights, at0 * q), *v1 = point(weights, quarter * q),
                 *v2 = point(weights, at2 * q), *v3 = point(weights, 3 * quarter * q);
    for (std::int64_t g = g0; g < g1; ++g) {
        double z[8];
        last_butterfly(point(in, 4 * g), table, base1, base2, base3, sign3, g, q, scale, z);
        const double *w0 = v0 + 2 * g * q, *w1 = v1 + 2 * g * q, *w2 = v2 + 2 * g * q,
                     *w3 = v3 + 2 * g * q;
        o0[2 * g] = w0[0] * z[0] - w0[1] * z[1], o0[2 * g + 1] = w0[0] * z[1] + w0[1] * z[0];
        o1[2 * g] = w1[0] * z[2] - w1[1] * z[3], o1[2 * g + 1] = w1[0] * z[3] + w1[1] * z[2];
        o2[2 * g] = w2[0] * z[4] - w2[1] * z[5], o2[2 * g + 1] = w2[0] * z[5] + w2[1] * z[4];
        o3[2 * g] = w3[0] * z[6] - w3[1] * z[7], o3[2 * g + 1] = w3[0] * z[7] + w3[1] * z[6];
    }
}

// The last radix-4 pass, n >= 8. Group g has k = s-1-g and the twiddles w^k, w^2k, w^3k;
// w^3k lies in the second half turn for 3k >= n/2, that is for g < s - ceil(2s/3).
void last_radix4_pass(const double* in, double* out, int n, bool inverse, int d, double scale,
                      const double* weights) {
    const int s = n / 4, q = table_stride(d, n);
    const double* table = Twiddles[d];
    const int split = s - (2 * s + 2) / 3;
    const std::int64_t top = TablePoints[d] / 2 - 1;
    // Entry top - tq holds w^t: t = k, 2k, 3k and 3k - n/2 with k = s-1-g.
    const std::int64_t base1 = top - static_cast<std::int64_t>(s - 1) * q,
                       base2 = top - 2LL * (s - 1) * q;
    last_radix4_groups(in, out, n, 0, split, inverse, table, q, base1, base2,
                       top - static_cast<std::int64_t>(s - 3) * q, -1.0, scale, weights);
    last_radix4_groups(in, out, n, split, s, inverse, table, q, base1, base2,
                       top - 3LL * (s - 1) * q, 1.0, scale, weights);
}

// {points, n} <- scale times each point, then times entry i*q of weights (if not null).
void scale_points(double* points, int n, double scale, const double* weights, int q) {
    for (int i = 0; i < n; ++i) {
        double* p = point(points, i);
        const double re = p[0] * scale, im = p[1] * scale;
        if (weights == nullptr) {
            p[0] = re;
            p[1] = im;
        } else {
            const double* w = point(weights, static_cast<std::int64_t>(i) * q);
            p[0] = w[0] * re - w[1] * im;
            p[1] = w[0] * im + w[1] * re;
        }
    }
}

// The transform of fft, and with weighted the weights of weighted_fft fused into its first
// pass (forward) or its last (inverse).
void transform(double* points, int n, int direction, double* work, bool weighted) {
    const int d = tables_for(direction, n), q = table_stride(d, n);
    const bool inverse = d == 1;
    const double* weights = weighted ? Weights[d] + 2 * (q - 1) : nullptr;
    const double* first_weights = inverse ? nullptr : weights;
    const double* last_weights = inverse ? weights : nullptr;
    // Dividing by n, a power of two, is multiplying by 1/n exactly.
    const double scale = inverse ? 1.0 / n : 1.0;

    const int log2n = ilog2(n);
    const int passes = log2n / 2 + log2n % 2;
    double* temp = work + 2 * n;
    // The passes alternate between the points and the temporary and the last must end in the
    // points; the first pass may work in place, so it does when the count is odd.
    double* to = passes % 2 == 1 ? points : temp;
    int s;
    if (log2n % 2 == 1) {
        first_radix2_pass(points, to, n, first_weights, q);
        s = 2;
    } else {
        first_radix4_pass(points, to, n, inverse, first_weights, q);
        s = 4;
    }
    if (passes == 1) {
        if (inverse) scale_points(points, n, scale, last_weights, q);
        return;
    }
    for (int pass = 1; pass < passes; ++pass, s *= 4) {
        const double* from = to;
        to = from == points ? temp : points;
        if (pass == passes - 1) {
            last_radix4_pass(from, to, n, inverse, d, scale, last_weights);
        } else {
            radix4_pass(from, to, n, s, inverse, d);
        }
    }
}

}  // namespace

void fft_pass(double* points, int m, int s, const double* table, double* temp) {
    assert(m >= 1 && s >= 1);
    const int n = 2 * m * s;
    assert(!overlaps(points, 2LL * n, temp, 2LL * n));
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
}

void fft(double* points, int n, int direction, double* work) {
    assert(n >= 2 && n <= MaxPoints && (n & (n - 1)) == 0);
    assert(!overlaps(points, 2LL * n, work, 4LL * n));
    transform(points, n, direction, work, false);
}

void weighted_fft(double* points, int n, int direction, double* work) {
    assert(n >= 2 && n <= MaxPoints && (n & (n - 1)) == 0);
    assert(!overlaps(points, 2LL * n, work, 4LL * n));
    transform(points, n, direction, work, true);
}
