// The complex transform under every product: radix-4 Stockham passes of power-of-two length,
// with one radix-2 pass first when log2 n is odd, plain and weighted by powers of a primitive
// 4n-th root of unity. The passes alternate between the points and the pass temporary with
// no copy back; the weights are applied in the first pass of the forward transform and the
// division by n and the unweighting in the last pass of the inverse.
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
#include <cstring>

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

// Interleaved complex points.
inline double* point(double* a, std::int64_t i) {
    return a + 2 * i;
}
inline const double* point(const double* a, std::int64_t i) {
    return a + 2 * i;
}

// The twiddle w^t of length n (q = MaxPoints/n), 0 <= t < n. The table holds the half turn
// 0 <= t < n/2, entry MaxHalf-1-tq; the other half is its negation, w^(t+n/2) = -w^t.
inline void twiddle(const double* table, int n, int q, int t, double& re, double& im) {
    const bool second = t >= n / 2;
    const double sign = second ? -1.0 : 1.0;
    const double* w =
        point(table, MaxHalf - 1 - static_cast<std::int64_t>(second ? t - n / 2 : t) * q);
    re = sign * w[0];
    im = sign * w[1];
}

// The radix-4 butterfly on a0..a3 (twiddles applied) for the forward direction:
// y_r = sum_d a_d i^(dr). The inverse one, with (-i)^(dr), is the same with y1 and y3 swapped.
// Each output is written to its own pointer.
template <typename T>
inline void butterfly4(T a0r, T a0i, T a1r, T a1i, T a2r, T a2i, T a3r, T a3i, T* y0, T* y1, T* y2,
                       T* y3) {
    const T s02r = a0r + a2r, s02i = a0i + a2i, d02r = a0r - a2r, d02i = a0i - a2i;
    const T s13r = a1r + a3r, s13i = a1i + a3i, d13r = a1r - a3r, d13i = a1i - a3i;
    y0[0] = s02r + s13r;
    y0[1] = s02i + s13i;
    y2[0] = s02r - s13r;
    y2[1] = s02i - s13i;
    y1[0] = d02r - d13i;  // (a0 - a2) + i (a1 - a3)
    y1[1] = d02i + d13r;
    y3[0] = d02r + d13i;  // (a0 - a2) - i (a1 - a3)
    y3[1] = d02i - d13r;
}

// How the passes work. Read from the end of the array (position p = n-1-index), before the
// pass with s groups block k of L = n/s positions holds at offset t the length-s transform
// of the positions t, t+L, t+2L, ... at frequency k. A radix-4 pass makes 4s groups of L/4:
// with m = L/4 and c = d + 4c', group k + rs at offset j is sum_d w^(dkm) i^(dr) times
// block k at offset j + dm, where i^(dr) is (+-i)^(dr) by direction. A radix-2 pass does the
// same with two terms. Back in array indices the blocks, the offsets and d, r all count
// from the other end, which is why the twiddle table descends in angle.

// The first radix-4 pass (s = 1, m = n/4, no twiddles): out may be in, as every butterfly
// writes the four points it reads. weights: the weights of length n as every q-th entry from
// there, or null for none.
void first_radix4_pass(const double* in, double* out, int n, bool inverse, const double* weights,
                       int q) {
    const int m = n / 4;
    double* y1 = point(out, inverse ? 0 : 2LL * m);
    double* y3 = point(out, inverse ? 2LL * m : 0);
    if (weights == nullptr) {
#pragma GCC ivdep
        for (int j = 0; j < m; ++j) {
            const double *b0 = point(in, j), *b1 = point(in, j + m), *b2 = point(in, j + 2 * m),
                         *b3 = point(in, j + 3 * m);
            butterfly4(b3[0], b3[1], b2[0], b2[1], b1[0], b1[1], b0[0], b0[1],
                       point(out, j + 3 * m), point(y1, j), point(out, j + m), point(y3, j));
        }
        return;
    }
#pragma GCC ivdep
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
#pragma GCC ivdep
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
void radix4_pass(const double* __restrict in, double* __restrict out, int n, int s, bool inverse,
                 const double* table) {
    const int m = n / (4 * s), q = MaxPoints / n;
    const std::int64_t quarter = n / 4;
    for (int g = 0; g < s; ++g) {
        const int k = s - 1 - g;
        double w1r, w1i, w2r, w2i, w3r, w3i;
        twiddle(table, n, q, k * m, w1r, w1i);
        twiddle(table, n, q, 2 * k * m, w2r, w2i);
        twiddle(table, n, q, 3 * k * m, w3r, w3i);
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
void last_radix4_groups(const double* __restrict in, double* __restrict out, int n, int g0, int g1,
                        bool inverse, const double* table, std::int64_t base1, std::int64_t base2,
                        std::int64_t base3, double sign3, double scale, const double* weights) {
    const int q = MaxPoints / n;
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
void last_radix4_pass(const double* in, double* out, int n, bool inverse, const double* table,
                      double scale, const double* weights) {
    const int s = n / 4, q = MaxPoints / n;
    const int split = s - (2 * s + 2) / 3;
    const std::int64_t top = MaxHalf - 1;
    // Entry top - tq holds w^t: t = k, 2k, 3k and 3k - n/2 with k = s-1-g.
    const std::int64_t base1 = top - static_cast<std::int64_t>(s - 1) * q,
                       base2 = top - 2LL * (s - 1) * q;
    last_radix4_groups(in, out, n, 0, split, inverse, table, base1, base2,
                       top - static_cast<std::int64_t>(s - 3) * q, -1.0, scale, weights);
    last_radix4_groups(in, out, n, split, s, inverse, table, base1, base2, top - 3LL * (s - 1) * q,
                       1.0, scale, weights);
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
    const int d = tables_for(direction), q = MaxPoints / n;
    const bool inverse = d == 1;
    const double* table = Twiddles[d];
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
            last_radix4_pass(from, to, n, inverse, table, scale, last_weights);
        } else {
            radix4_pass(from, to, n, s, inverse, table);
        }
    }
}

// ---- Transforms in permuted order ------------------------------------------------------
//
// Products only multiply spectra point by point, so their spectra may stand in any order
// that is the same for every operand. The forward transform below is of decimation-in-
// frequency kind and leaves its output in radix-4 digit-reversed order; the inverse, of
// decimation-in-time kind, takes that order back to natural order. Both work in place,
// depth first: one radix-4 stage over a block, then each of its four quarters transformed to
// the end while it sits in cache, with blocks of BreadthPoints or fewer done stage after
// stage. Points stand in groups of four, the four real parts and then the four imaginary
// parts (spectrum_real in fft.h), so that the butterflies of four offsets run side by side
// in vector registers with no shuffling of real and imaginary parts.
//
// Positions count from the end of a block (p = length-1-index), as above. A stage of length
// L = 4m: with t = m-1-u for offset u of a quarter and d, r = 0..3, the input of position
// t + dm is at index (3-d)m + u and output r, times w^(rt) of length L, goes to index
// (3-r)m + u, where quarter r is a block of length m in the same sense; the transform of
// that block at frequency k is the transform of the whole at frequency 4k + r. The inverse
// stage undoes this: it multiplies quarter r by w^-(rt) and then combines the quarters.

// Blocks of up to this many points (16 KiB) are transformed stage after stage in L1.
constexpr int BreadthPoints = 1 << 10;
// Stages and weights up to this length read compact copies of their entries (below); the
// longest length reads the shared tables, where its entries stand at a stride of at most 3.
constexpr int CompactLongest = MaxPoints / 2;
// The compact copies hold what the butterflies of four offsets u .. u+3 (u a multiple of 4)
// of a stage read, side by side, as one run: one stream from memory instead of one for each
// quarter, whose power-of-two distances make them contend for the same cache sets.
// Twiddles of every stage length L = 16 .. CompactLongest and direction: for offsets u..u+3,
// m = L/4, t = m-1-u-k, the real parts of w^t (k = 0..3), then the imaginary parts, then
// those of w^2t and w^3t of length L, 24 doubles at 6u of the length's run, which starts at
// double 6(L-16)/4. Copied from the forward tables above, so bit for bit their entries; the
// inverse transform multiplies by their conjugates, which are bit for bit the entries of the
// inverse tables, as cos is even and sin odd. 12 * 2 CompactLongest bytes, 3 MiB.
double CompactTwiddles[6 * (2 * CompactLongest - 16) / 4];
// Weights of every length n = 16 .. CompactLongest and direction, for the first stage of
// the forward transform and the last of the inverse: for offsets u..u+3 the real parts of
// the weights of index (3-d)m + u + k (k = 0..3), then the imaginary parts, for d = 0..3,
// 32 doubles at 8u of the length's run, which starts at double 2(n-16); forward, and their
// conjugates for the inverse, as above; 4 MiB.
double CompactWeights[2 * (2 * CompactLongest - 16)];
bool CompactBuilt;

// Grouped points: point i at real part grouped_at(i) and imaginary part grouped_at(i) + 4.
inline long grouped_at(std::int64_t i) {
    return 2 * i - (i & 3);
}

// The compact twiddles and weights, built on first use.
void build_compact_tables() {
    if (CompactBuilt) return;
    const int d = tables_for(0);
    const double* table = Twiddles[d];
    for (int L = 16; L <= CompactLongest; L *= 2) {
        const int m = L / 4, q = MaxPoints / L;
        double* c = CompactTwiddles + 6LL * (L - 16) / 4;
        for (int u = 0; u < m; ++u) {
            const int t = m - 1 - u, k = u % 4;
            double* run = c + 6LL * (u - k);
            for (int r = 1; r <= 3; ++r)
                twiddle(table, L, q, r * t, run[8 * (r - 1) + k], run[8 * (r - 1) + 4 + k]);
        }
    }
    for (int n = 16; n <= CompactLongest; n *= 2) {
        const int q = MaxPoints / n, m = n / 4;
        double* c = CompactWeights + 2LL * (n - 16);
        for (int i = 0; i < n; ++i) {
            const int quarter = 3 - i / m, u = i % m, k = u % 4;
            const double* w = point(Weights[d], q - 1 + static_cast<std::int64_t>(i) * q);
            double* run = c + 8LL * (u - k);
            run[8 * quarter + k] = w[0];
            run[8 * quarter + 4 + k] = w[1];
        }
    }
    CompactBuilt = true;
}

// Four doubles side by side, one group of real or imaginary parts: each operation rounds
// lane by lane as the same operation on doubles would.
typedef double Lanes __attribute__((vector_size(32)));

// A vector of doubles (Lanes unless named) from p, and back: memcpy, so no alignment is
// assumed.
template <class Vector = Lanes>
inline Vector load(const double* p) {
    Vector v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
template <class Vector>
inline void store(double* p, Vector v) {
    std::memcpy(p, &v, sizeof v);
}

// (xr + i xi) <- (xr + i xi)(wr + i wi), four lanes.
inline void rotate(Lanes& xr, Lanes& xi, Lanes wr, Lanes wi) {
    const Lanes r = xr * wr - xi * wi;
    xi = xr * wi + xi * wr;
    xr = r;
}

// (xr + i xi) <- (xr + i xi)(wr - i wi): bit for bit rotate by (wr, -wi), as negating is
// exact and x - (-y) is x + y.
inline void rotate_back(Lanes& xr, Lanes& xi, Lanes wr, Lanes wi) {
    const Lanes r = xr * wr + xi * wi;
    xi = xi * wr - xr * wi;
    xr = r;
}

// The forward twiddles of offsets u .. u+3 of a stage of length L, laid out as in the
// compact copy: from the copy where there is one, else gathered into w (24 doubles).
inline const double* stage_twiddles(int L, std::int64_t u, double* w) {
    const int d = 0;
    if (L <= CompactLongest) return CompactTwiddles + 6LL * (L - 16) / 4 + 6 * u;
    // Entry MaxHalf-1-tq holds w^t for t < L/2; w^3t = -w^(3t-L/2) for 3t >= L/2.
    const std::int64_t m = L / 4, q = MaxPoints / L, top = MaxHalf - 1;
    for (int k = 0; k < 4; ++k) {
        const std::int64_t t = m - 1 - u - k;
        const bool second = 3 * t >= L / 2;
        const double sign = second ? -1.0 : 1.0;
        const double* w1 = point(Twiddles[d], top - t * q);
        const double* w2 = point(Twiddles[d], top - 2 * t * q);
        const double* w3 = point(Twiddles[d], top - (3 * t - (second ? L / 2 : 0)) * q);
        w[k] = w1[0], w[4 + k] = w1[1];
        w[8 + k] = w2[0], w[12 + k] = w2[1];
        w[16 + k] = sign * w3[0], w[20 + k] = sign * w3[1];
    }
    return w;
}

// The weights of offsets u .. u+3 of a weighted stage of length n = 4m, laid out as in the
// compact copy: from the copy where there is one, else gathered from the shared table (the
// longest length, entry i for index i) into v (32 doubles).
inline const double* stage_weights(const double* weights, bool compact, std::int64_t m,
                                   std::int64_t u, double* v) {
    if (compact) return weights + 8 * u;
    for (int d = 0; d < 4; ++d)
        for (int k = 0; k < 4; ++k) {
            const std::int64_t i = (3 - d) * m + u + k;
            v[8 * d + k] = weights[2 * i];
            v[8 * d + 4 + k] = weights[2 * i + 1];
        }
    return v;
}

// A forward stage of length L = 4m >= 16 on each of blocks consecutive blocks from a. With
// weights, the inputs are first multiplied by their weights (one block only).
template <bool Weighted>
void forward_stage(double* a, int L, int blocks, const double* weights, bool compact) {
    const std::int64_t m = L / 4;
    for (int g = 0; g < blocks; ++g) {
        double* block = a + 2 * L * static_cast<std::int64_t>(g);
        double *b0 = block + 6 * m, *b1 = block + 4 * m, *b2 = block + 2 * m, *b3 = block;
        for (std::int64_t u = 0; u < m; u += 4) {
            const std::int64_t at = 2 * u;
            double gathered[24], gathered_weights[32];
            const double* w = stage_twiddles(L, u, gathered);
            Lanes x0r = load(b0 + at), x0i = load(b0 + at + 4), x1r = load(b1 + at),
                  x1i = load(b1 + at + 4), x2r = load(b2 + at), x2i = load(b2 + at + 4),
                  x3r = load(b3 + at), x3i = load(b3 + at + 4);
            if (Weighted) {
                const double* v = stage_weights(weights, compact, m, u, gathered_weights);
                rotate(x0r, x0i, load(v), load(v + 4));
                rotate(x1r, x1i, load(v + 8), load(v + 12));
                rotate(x2r, x2i, load(v + 16), load(v + 20));
                rotate(x3r, x3i, load(v + 24), load(v + 28));
            }
            Lanes y[8];
            butterfly4(x0r, x0i, x1r, x1i, x2r, x2i, x3r, x3i, y, y + 2, y + 4, y + 6);
            rotate(y[2], y[3], load(w), load(w + 4));
            rotate(y[4], y[5], load(w + 8), load(w + 8 + 4));
            rotate(y[6], y[7], load(w + 16), load(w + 16 + 4));
            store(b0 + at, y[0]), store(b0 + at + 4, y[1]);
            store(b1 + at, y[2]), store(b1 + at + 4, y[3]);
            store(b2 + at, y[4]), store(b2 + at + 4, y[5]);
            store(b3 + at, y[6]), store(b3 + at + 4, y[7]);
        }
    }
}

// An inverse stage of length L = 4m >= 16 on each of blocks consecutive blocks from a,
// multiplying by the conjugates of the forward twiddles. With weights (the forward ones),
// the outputs are multiplied by scale and then by their conjugates (one block only).
template <bool Weighted>
void inverse_stage(double* a, int L, int blocks, const double* weights, bool compact,
                   double scale) {
    const std::int64_t m = L / 4;
    for (int g = 0; g < blocks; ++g) {
        double* block = a + 2 * L * static_cast<std::int64_t>(g);
        double *b0 = block + 6 * m, *b1 = block + 4 * m, *b2 = block + 2 * m, *b3 = block;
        for (std::int64_t u = 0; u < m; u += 4) {
            const std::int64_t at = 2 * u;
            double gathered[24], gathered_weights[32];
            const double* w = stage_twiddles(L, u, gathered);
            Lanes x1r = load(b1 + at), x1i = load(b1 + at + 4), x2r = load(b2 + at),
                  x2i = load(b2 + at + 4), x3r = load(b3 + at), x3i = load(b3 + at + 4);
            rotate_back(x1r, x1i, load(w), load(w + 4));
            rotate_back(x2r, x2i, load(w + 8), load(w + 8 + 4));
            rotate_back(x3r, x3i, load(w + 16), load(w + 16 + 4));
            Lanes y[8];
            // The inverse butterfly: the forward one with outputs 1 and 3 swapped.
            butterfly4(load(b0 + at), load(b0 + at + 4), x1r, x1i, x2r, x2i, x3r, x3i, y, y + 6,
                       y + 4, y + 2);
            if (Weighted) {
                const double* v = stage_weights(weights, compact, m, u, gathered_weights);
                for (int d = 0; d < 4; ++d) {
                    y[2 * d] *= scale;
                    y[2 * d + 1] *= scale;
                    rotate_back(y[2 * d], y[2 * d + 1], load(v + 8 * d), load(v + 8 * d + 4));
                }
            }
            store(b0 + at, y[0]), store(b0 + at + 4, y[1]);
            store(b1 + at, y[2]), store(b1 + at + 4, y[3]);
            store(b2 + at, y[4]), store(b2 + at + 4, y[5]);
            store(b3 + at, y[6]), store(b3 + at + 4, y[7]);
        }
    }
}

// Two doubles side by side: the two offsets of a quarter of a block of 8 points.
typedef double Pair __attribute__((vector_size(16)));

// The stage of length 2 on both pairs of positions held in (xr, xi): position 0 (index 1)
// gets the sum, position 1 (index 0) the difference, in both directions.
inline void pair_stage(Pair& xr, Pair& xi) {
    xr = Pair{xr[1] - xr[0], xr[0] + xr[1]};
    xi = Pair{xi[1] - xi[0], xi[0] + xi[1]};
}

// On every block of 8 points in {a, count}: forward (d = 0), the stage of length 8 and then
// those of length 2; inverse, the reverse. Quarter q of a block, points (3-q)2 + u for
// u = 0, 1, has its real parts side by side at double Offset[q] of the block (two groups)
// and its imaginary parts 4 further on. Offset u has t = 1-u, so only u = 0 has twiddles
// other than 1, which leave a value as it is.
void stages_of_eight_and_two(double* a, int count, int d) {
    constexpr int Offset[4] = {10, 8, 2, 0};
    Pair wr[4], wi[4];
    for (int r = 1; r <= 3; ++r) {
        double re, im;
        twiddle(Twiddles[d], 8, MaxPoints / 8, r, re, im);
        wr[r] = Pair{re, 1.0}, wi[r] = Pair{im, 0.0};
    }
    for (std::int64_t base = 0; base < count; base += 8) {
        double* b = a + 2 * base;
        Pair x[8];
        for (int q = 0; q < 4; ++q) {
            x[2 * q] = load<Pair>(b + Offset[q]);
            x[2 * q + 1] = load<Pair>(b + Offset[q] + 4);
        }
        Pair y[8];
        if (d == 0) {
            butterfly4(x[0], x[1], x[2], x[3], x[4], x[5], x[6], x[7], y, y + 2, y + 4, y + 6);
            for (int r = 1; r <= 3; ++r) {
                const Pair yr = y[2 * r] * wr[r] - y[2 * r + 1] * wi[r];
                y[2 * r + 1] = y[2 * r] * wi[r] + y[2 * r + 1] * wr[r];
                y[2 * r] = yr;
            }
            for (int r = 0; r < 4; ++r) pair_stage(y[2 * r], y[2 * r + 1]);
        } else {
            for (int r = 0; r < 4; ++r) pair_stage(x[2 * r], x[2 * r + 1]);
            for (int r = 1; r <= 3; ++r) {
                const Pair xr = x[2 * r] * wr[r] - x[2 * r + 1] * wi[r];
                x[2 * r + 1] = x[2 * r] * wi[r] + x[2 * r + 1] * wr[r];
                x[2 * r] = xr;
            }
            butterfly4(x[0], x[1], x[2], x[3], x[4], x[5], x[6], x[7], y, y + 6, y + 4, y + 2);
        }
        for (int q = 0; q < 4; ++q) {
            store(b + Offset[q], y[2 * q]);
            store(b + Offset[q] + 4, y[2 * q + 1]);
        }
    }
}

// Every block of 4 points is one group: quarter d is point 3-d of the group.
void stages_of_four(double* a, int count, int d) {
    for (std::int64_t base = 0; base < count; base += 4) {
        double* b = a + 2 * base;
        double y[8];
        if (d == 0)
            butterfly4(b[3], b[7], b[2], b[6], b[1], b[5], b[0], b[4], y, y + 2, y + 4, y + 6);
        else
            butterfly4(b[3], b[7], b[2], b[6], b[1], b[5], b[0], b[4], y, y + 6, y + 4, y + 2);
        for (int r = 0; r < 4; ++r) b[3 - r] = y[2 * r], b[7 - r] = y[2 * r + 1];
    }
}

// Pairs: position 0 (index 1) gets the sum, position 1 (index 0) the difference, in both
// directions. G is the group size, 4 (2 when the whole transform has 2 points).
void stages_of_two(double* a, int count, int G) {
    for (std::int64_t base = 0; base < count; base += 2) {
        const std::int64_t i0 = 2 * base - (base & (G - 1)), i1 = i0 + 1;
        const double sr = a[i1] + a[i0], si = a[i1 + G] + a[i0 + G];
        a[i0] = a[i1] - a[i0], a[i0 + G] = a[i1 + G] - a[i0 + G];
        a[i1] = sr, a[i1 + G] = si;
    }
}

// Block a of L >= 4 points, transformed stage after stage, every block of each stage length.
void forward_breadth(double* a, int L) {
    int len = L;
    for (; len >= 16; len /= 4) forward_stage<false>(a, len, L / len, nullptr, true);
    if (len == 8) {
        stages_of_eight_and_two(a, L, 0);
    } else if (len == 4) {
        stages_of_four(a, L, 0);
    }
}

void inverse_breadth(double* a, int L) {
    int len;
    if (ilog2(L) % 2 == 1) {
        stages_of_eight_and_two(a, L, 1);
        len = 32;
    } else {
        stages_of_four(a, L, 1);
        len = 16;
    }
    for (; len <= L; len *= 4) inverse_stage<false>(a, len, L / len, nullptr, true, 1.0);
}

// The forward transform of block a, L >= 4 points, depth first.
void forward_depth(double* a, int L) {
    if (L <= BreadthPoints) {
        forward_breadth(a, L);
        return;
    }
    forward_stage<false>(a, L, 1, nullptr, true);
    for (int r = 0; r < 4; ++r) forward_depth(a + 2LL * r * (L / 4), L / 4);
}

void inverse_depth(double* a, int L) {
    if (L <= BreadthPoints) {
        inverse_breadth(a, L);
        return;
    }
    for (int r = 0; r < 4; ++r) inverse_depth(a + 2LL * r * (L / 4), L / 4);
    inverse_stage<false>(a, L, 1, nullptr, true, 1.0);
}

// {points, n} grouped by G: each point times scale, then times entry i*q of weights.
void grouped_scale(double* points, int n, int G, double scale, const double* weights, int q) {
    for (std::int64_t i = 0; i < n; ++i) {
        const std::int64_t at = 2 * i - (i & (G - 1));
        const double r = points[at] * scale, m = points[at + G] * scale;
        const double* w = point(weights, i * q);
        points[at] = w[0] * r - w[1] * m;
        points[at + G] = w[0] * m + w[1] * r;
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

const double* stored_twiddle(int n, int direction, int e) {
    assert(n >= 2 && n <= MaxPoints && is_power_of_two(n) && e >= 0 && e < n / 2);
    const int q = MaxPoints / n;
    return point(Twiddles[tables_for(direction)], q - 1 + static_cast<std::int64_t>(e) * q);
}

const double* stored_weight(int n, int direction, int i) {
    assert(n >= 2 && n <= MaxPoints && is_power_of_two(n) && i >= 0 && i < n);
    const int q = MaxPoints / n;
    return point(Weights[tables_for(direction)], q - 1 + static_cast<std::int64_t>(i) * q);
}

void fft(double* points, int n, int direction, double* work) {
    assert(n >= 2 && n <= MaxPoints && is_power_of_two(n));
    assert(!overlaps(points, 2LL * n, work, 4LL * n));
    transform(points, n, direction, work, false);
}

void weighted_fft(double* points, int n, int direction, double* work) {
    assert(n >= 2 && n <= MaxPoints && is_power_of_two(n));
    assert(!overlaps(points, 2LL * n, work, 4LL * n));
    transform(points, n, direction, work, true);
}

void weighted_fft_permuted(double* points, int n, int direction) {
    assert(n >= 2 && n <= MaxPoints && is_power_of_two(n));
    const int d = tables_for(direction);
    build_compact_tables();
    if (n < 16) {
        // The weights as the other transforms apply them, then the short stages.
        const int q = MaxPoints / n, G = spectrum_group(n);
        const double* weights = Weights[d] + 2 * (q - 1);
        if (d == 0) grouped_scale(points, n, G, 1.0, weights, q);
        if (n == 2) stages_of_two(points, 2, 2);
        if (n == 4) stages_of_four(points, 4, d);
        if (n == 8) stages_of_eight_and_two(points, 8, d);
        if (d == 1) grouped_scale(points, n, G, 1.0 / n, weights, q);
        return;
    }
    // The forward weights, whose conjugates the inverse stage takes: from their compact copy
    // up to CompactLongest, else entry i of the shared table for index i (the longest length).
    const bool compact = n <= CompactLongest;
    const double* weights = compact ? CompactWeights + 2LL * (n - 16) : Weights[tables_for(0)];
    const std::int64_t m = n / 4;
    if (d == 0) {
        forward_stage<true>(points, n, 1, weights, compact);
        for (int r = 0; r < 4; ++r) forward_depth(points + 2 * r * m, static_cast<int>(m));
    } else {
        for (int r = 0; r < 4; ++r) inverse_depth(points + 2 * r * m, static_cast<int>(m));
        // Dividing by n, a power of two, is multiplying by 1/n exactly.
        inverse_stage<true>(points, n, 1, weights, compact, 1.0 / n);
    }
}
