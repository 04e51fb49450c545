// The permuted transform of the products: weighted_fft_permuted, in place and depth first,
// its spectrum left in a permuted order of its own.
//
// Products only multiply spectra point by point, so their spectra may stand in any order
// that is the same for every operand. The forward transform below is of decimation-in-
// frequency kind and leaves its output in radix-4 digit-reversed order; the inverse, of
// decimation-in-time kind, takes that order back to natural order. Both work in place,
// depth first: one radix-4 stage over a block, then each of its four quarters transformed to
// the end while it sits in cache, with blocks of BreadthPoints or fewer done stage after
// stage. Points stand in groups of G, the G real parts and then the G imaginary parts
// (spectrum_real in fft.h), so that the butterflies of G offsets run side by side in vector
// registers (arith/lanes.h) with no shuffling of real and imaginary parts: G is four, and
// eight from 32 points on where the set's registers hold eight doubles (group_points).
//
// Positions count from the end of a block (p = length-1-index). A stage of length L = 4m:
// with t = m-1-u for offset u of a quarter and d, r = 0..3, the input of position t + dm is
// at index (3-d)m + u and output r, times w^(rt) of length L, goes to index (3-r)m + u, where
// quarter r is a block of length m in the same sense; the transform of that block at
// frequency k is the transform of the whole at frequency 4k + r. The inverse stage undoes
// this: it multiplies quarter r by w^-(rt) and then combines the quarters.
//
// Only the forward twiddles and weights are read: the inverse multiplies by their conjugates,
// which are bit for bit the inverse entries, as cos is even and sin odd.
//
// Compiled once for each kernel set (arith/kernel_sets.h); fft/permuted.cpp checks the
// arguments and calls the active set's code.
#include <cassert>
#include <cstring>

#include "arith/lanes.h"
#include "fft/kernels.h"

namespace PIDRM_KERNEL_SET {
namespace {

// Blocks of up to this many points (16 KiB) are transformed stage after stage in L1.
constexpr int BreadthPoints = 1 << 10;

// (xr + i xi) <- (xr + i xi)(wr + i wi), lane by lane; T is Lanes or a register.
template <typename T>
KERNEL_INLINE void rotate(T& xr, T& xi, const T& wr, const T& wi) {
    const T r = xr * wr - xi * wi;
    xi = xr * wi + xi * wr;
    xr = r;
}

// (xr + i xi) <- (xr + i xi)(wr - i wi): bit for bit rotate by (wr, -wi), as negating is
// exact and x - (-y) is x + y.
template <typename T>
KERNEL_INLINE void rotate_back(T& xr, T& xi, const T& wr, const T& wi) {
    const T r = xr * wr + xi * wi;
    xi = xi * wr - xr * wi;
    xr = r;
}

// Entries of a compact table, a run of them: the real parts of entry j (j = 0..3) side by
// side at at + 2 stride j, their imaginary parts stride doubles further on.
struct Run {
    const double* at;
    std::int64_t stride;
};

// The forward twiddles w^(rt), r = 1..3 (entries r-1), of the offsets u .. u+G-1 of a stage
// of length L, from its compact copy.
KERNEL_INLINE Run stage_twiddles(int L, std::int64_t u) {
    const int T = table_group(L);
    const std::int64_t k = u & (T - 1);
    return {compact_twiddles(L) + 6 * (u - k) + k, T};
}

// The forward weights of a weighted stage of length n >= 16 (the first stage of a forward
// transform, the last of an inverse): their compact copy up to CompactLongest, else the shared
// table, which holds the longest length, entry i for index i. Unweighted stages take none.
struct StageWeights {
    const double* weights;
    bool compact;
};

constexpr StageWeights NoWeights = {nullptr, true};

StageWeights stage_weights_of(int n) {
    if (n <= CompactLongest) return {compact_weights(n), true};
    assert(TablePoints[0] == n);
    return {Weights[0], false};
}

// The weights of the offsets u .. u+G-1 of a weighted stage of length n = 4m, entry d the
// weights of the inputs of quarter d: from the compact copy where there is one, else gathered
// from the shared table into v (8G doubles).
template <int G>
KERNEL_INLINE Run stage_weights(StageWeights w, std::int64_t m, std::int64_t u, double* v) {
    if (w.compact) {
        const int T = table_group(static_cast<int>(4 * m));
        const std::int64_t k = u & (T - 1);
        return {w.weights + 8 * (u - k) + k, T};
    }
    for (int d = 0; d < 4; ++d)
        for (int k = 0; k < G; ++k) {
            const std::int64_t i = (3 - d) * m + u + k;
            v[2 * G * d + k] = w.weights[2 * i];
            v[2 * G * d + G + k] = w.weights[2 * i + 1];
        }
    return {v, G};
}

// The real and imaginary parts of entry j of run r for the lanes from e on.
template <typename R>
KERNEL_INLINE R run_real(const Run& r, int j, int e) {
    return load_as<R>(r.at + 2 * r.stride * j + e);
}
template <typename R>
KERNEL_INLINE R run_imaginary(const Run& r, int j, int e) {
    return load_as<R>(r.at + 2 * r.stride * j + r.stride + e);
}

// A forward stage of length L = 4m >= 4G on each of blocks consecutive blocks from a, grouped
// by G. With weights, the inputs are first multiplied by their weights (one block only). From
// words, the points are read from {words, L} as real parts; folded, the L words before them
// are the imaginary parts. The G offsets u .. u+G-1 that a group holds side by side run a
// register at a time: where a register holds two lanes, the butterfly of four would not fit
// the registers at once.
template <int G, bool Weighted, bool FromWords = false, bool Folded = false>
void forward_stage(double* a, int L, int blocks, StageWeights weights,
                   const double* words = nullptr) {
    typedef typename PackRegister<G>::type R;  // a group's lanes, or half of them
    constexpr int E = PackRegister<G>::lanes;
    const std::int64_t m = L / 4;
    for (int g = 0; g < blocks; ++g) {
        double* block = a + 2 * L * static_cast<std::int64_t>(g);
        double *b0 = block + 6 * m, *b1 = block + 4 * m, *b2 = block + 2 * m, *b3 = block;
        for (std::int64_t u = 0; u < m; u += G) {
            double gathered_weights[8 * G];
            const Run w = stage_twiddles(L, u);
            const Run v = Weighted ? stage_weights<G>(weights, m, u, gathered_weights) : Run{};
            for (int e = 0; e < G; e += E) {
                const std::int64_t at = 2 * u + e;
                R x0r, x0i, x1r, x1i, x2r, x2i, x3r, x3i;
                if (FromWords) {
                    // Real words, imaginary parts +0 as packing them into points would give.
                    const double* real = words + u + e;
                    x0r = load_as<R>(real + 3 * m), x1r = load_as<R>(real + 2 * m);
                    x2r = load_as<R>(real + m), x3r = load_as<R>(real);
                    x0i = x1i = x2i = x3i = R{};
                    if (Folded) {
                        const double* imaginary = real - L;
                        x0i = load_as<R>(imaginary + 3 * m), x1i = load_as<R>(imaginary + 2 * m);
                        x2i = load_as<R>(imaginary + m), x3i = load_as<R>(imaginary);
                    }
                } else {
                    x0r = load_as<R>(b0 + at), x0i = load_as<R>(b0 + at + G);
                    x1r = load_as<R>(b1 + at), x1i = load_as<R>(b1 + at + G);
                    x2r = load_as<R>(b2 + at), x2i = load_as<R>(b2 + at + G);
                    x3r = load_as<R>(b3 + at), x3i = load_as<R>(b3 + at + G);
                }
                if (Weighted) {
                    rotate(x0r, x0i, run_real<R>(v, 0, e), run_imaginary<R>(v, 0, e));
                    rotate(x1r, x1i, run_real<R>(v, 1, e), run_imaginary<R>(v, 1, e));
                    rotate(x2r, x2i, run_real<R>(v, 2, e), run_imaginary<R>(v, 2, e));
                    rotate(x3r, x3i, run_real<R>(v, 3, e), run_imaginary<R>(v, 3, e));
                }
                R y[8];
                butterfly4(x0r, x0i, x1r, x1i, x2r, x2i, x3r, x3i, y, y + 2, y + 4, y + 6);
                rotate(y[2], y[3], run_real<R>(w, 0, e), run_imaginary<R>(w, 0, e));
                rotate(y[4], y[5], run_real<R>(w, 1, e), run_imaginary<R>(w, 1, e));
                rotate(y[6], y[7], run_real<R>(w, 2, e), run_imaginary<R>(w, 2, e));
                store_as(b0 + at, y[0]), store_as(b0 + at + G, y[1]);
                store_as(b1 + at, y[2]), store_as(b1 + at + G, y[3]);
                store_as(b2 + at, y[4]), store_as(b2 + at + G, y[5]);
                store_as(b3 + at, y[6]), store_as(b3 + at + G, y[7]);
            }
        }
    }
}

// An inverse stage of length L = 4m >= 4G on each of blocks consecutive blocks from a,
// multiplying by the conjugates of the forward twiddles. With weights (the forward ones),
// the outputs are multiplied by scale and then by their conjugates (one block only). A
// register at a time, as forward_stage.
template <int G, bool Weighted>
void inverse_stage(double* a, int L, int blocks, StageWeights weights, double scale) {
    typedef typename PackRegister<G>::type R;  // a group's lanes, or half of them
    constexpr int E = PackRegister<G>::lanes;
    const std::int64_t m = L / 4;
    for (int g = 0; g < blocks; ++g) {
        double* block = a + 2 * L * static_cast<std::int64_t>(g);
        double *b0 = block + 6 * m, *b1 = block + 4 * m, *b2 = block + 2 * m, *b3 = block;
        for (std::int64_t u = 0; u < m; u += G) {
            double gathered_weights[8 * G];
            const Run w = stage_twiddles(L, u);
            const Run v = Weighted ? stage_weights<G>(weights, m, u, gathered_weights) : Run{};
            for (int e = 0; e < G; e += E) {
                const std::int64_t at = 2 * u + e;
                R x1r = load_as<R>(b1 + at), x1i = load_as<R>(b1 + at + G);
                R x2r = load_as<R>(b2 + at), x2i = load_as<R>(b2 + at + G);
                R x3r = load_as<R>(b3 + at), x3i = load_as<R>(b3 + at + G);
                rotate_back(x1r, x1i, run_real<R>(w, 0, e), run_imaginary<R>(w, 0, e));
                rotate_back(x2r, x2i, run_real<R>(w, 1, e), run_imaginary<R>(w, 1, e));
                rotate_back(x3r, x3i, run_real<R>(w, 2, e), run_imaginary<R>(w, 2, e));
                R y[8];
                // The inverse butterfly: the forward one with outputs 1 and 3 swapped.
                butterfly4(load_as<R>(b0 + at), load_as<R>(b0 + at + G), x1r, x1i, x2r, x2i, x3r,
                           x3i, y, y + 6, y + 4, y + 2);
                if (Weighted) {
                    for (int d = 0; d < 4; ++d) {
                        y[2 * d] *= scale;
                        y[2 * d + 1] *= scale;
                        rotate_back(y[2 * d], y[2 * d + 1], run_real<R>(v, d, e),
                                    run_imaginary<R>(v, d, e));
                    }
                }
                store_as(b0 + at, y[0]), store_as(b0 + at + G, y[1]);
                store_as(b1 + at, y[2]), store_as(b1 + at + G, y[3]);
                store_as(b2 + at, y[4]), store_as(b2 + at + G, y[5]);
                store_as(b3 + at, y[6]), store_as(b3 + at + G, y[7]);
            }
        }
    }
}

// The stage of length 2 on the pairs of positions held in (xr, xi), two pairs to a Lanes:
// position 0 (the odd lane) gets the sum, position 1 (the even lane) the difference, in both
// directions. The partner's value plus the own one times -1 or +1 is bit for bit the
// difference or the sum, as negating is exact.
KERNEL_INLINE void pair_stage(Lanes& xr, Lanes& xi) {
    const Lanes sign = lanes(-1.0, 1.0, -1.0, 1.0);
    xr = swapped_pairs(xr) + xr * sign;
    xi = swapped_pairs(xi) + xi * sign;
}

#if PIDRM_WIDE_LANES == 8
KERNEL_INLINE void pair_stage(Wide& xr, Wide& xi) {
    const Wide sign = {-1.0, 1.0, -1.0, 1.0, -1.0, 1.0, -1.0, 1.0};
    xr = __builtin_shufflevector(xr, xr, 1, 0, 3, 2, 5, 4, 7, 6) + xr * sign;
    xi = __builtin_shufflevector(xi, xi, 1, 0, 3, 2, 5, 4, 7, 6) + xi * sign;
}
#endif

// The stage of length 8 and then those of length 2 (forward, d = 0), or the reverse, on
// pairs of points held side by side in registers T (Lanes or Wide): x[2q], x[2q+1] the real
// and imaginary parts of quarter q of the blocks, its lanes u = 0, 1 for each block, into y
// alike. wr[r], wi[r] (r = 1..3): the twiddle w^r of length 8 in the lanes u = 0, 1 in the
// others, whose t = 1-u is 0.
template <typename T>
KERNEL_INLINE void eight_and_two(T* x, T* y, const T* wr, const T* wi, int d) {
    if (d == 0) {
        butterfly4(x[0], x[1], x[2], x[3], x[4], x[5], x[6], x[7], y, y + 2, y + 4, y + 6);
        for (int r = 1; r <= 3; ++r) rotate(y[2 * r], y[2 * r + 1], wr[r], wi[r]);
        for (int r = 0; r < 4; ++r) pair_stage(y[2 * r], y[2 * r + 1]);
    } else {
        for (int r = 0; r < 4; ++r) pair_stage(x[2 * r], x[2 * r + 1]);
        for (int r = 1; r <= 3; ++r) rotate(x[2 * r], x[2 * r + 1], wr[r], wi[r]);
        butterfly4(x[0], x[1], x[2], x[3], x[4], x[5], x[6], x[7], y, y + 6, y + 4, y + 2);
    }
}

// wr, wi for eight_and_two in direction d, the lanes of a T from `pairs` of two doubles.
template <typename T, typename Pairs>
KERNEL_INLINE void eight_and_two_twiddles(int d, T* wr, T* wi, Pairs pairs) {
    for (int r = 1; r <= 3; ++r) {
        double re, im;
        twiddle(0, 8, r, re, im);
        if (d == 1) im = -im;  // the inverse twiddle, bit for bit
        wr[r] = pairs(re, 1.0), wi[r] = pairs(im, 0.0);
    }
}

// Lanes from the pairs at p and p + 16 (the same place in two blocks of 8 points), and back.
KERNEL_INLINE Lanes load_pairs(const double* p) {
    return load_halves(p, p + 16);
}
KERNEL_INLINE void store_pairs(double* p, const Lanes& v) {
    store_halves(p, p + 16, v);
}

// On every block of 8 points in {a, count}, grouped by G, two blocks side by side in the
// lanes: forward (d = 0), the stage of length 8 and then those of length 2; inverse, the
// reverse. Quarter q of a block, points (3-q)2 + u for u = 0, 1, has its real parts side by
// side at double real_at((3-q)2) of the block and its imaginary parts G further on. Offset u
// has t = 1-u, so only u = 0 has twiddles other than 1, which leave a value as it is.
template <int G>
void stages_of_eight_and_two_by_pairs(double* a, int count, int d) {
    constexpr std::int64_t Offset[4] = {real_at<G>(6), real_at<G>(4), real_at<G>(2), real_at<G>(0)};
    Lanes wr[4], wi[4];
    eight_and_two_twiddles(d, wr, wi, [](double u0, double u1) { return lanes(u0, u1, u0, u1); });
    // A lone block (a transform of 8 points) takes the second lanes from a copy of itself.
    double lone[32];
    for (std::int64_t base = 0; base < count; base += 16) {
        double* b = a + 2 * base;
        if (count == 8) {
            std::memcpy(lone, b, sizeof(double) * 16);
            std::memcpy(lone + 16, b, sizeof(double) * 16);
            b = lone;
        }
        Lanes x[8];
        for (int q = 0; q < 4; ++q) {
            x[2 * q] = load_pairs(b + Offset[q]);
            x[2 * q + 1] = load_pairs(b + Offset[q] + G);
        }
        Lanes y[8];
        eight_and_two(x, y, wr, wi, d);
        for (int q = 0; q < 4; ++q) {
            store_pairs(b + Offset[q], y[2 * q]);
            store_pairs(b + Offset[q] + G, y[2 * q + 1]);
        }
        if (count == 8) std::memcpy(a, lone, sizeof(double) * 16);
    }
}

template <int G>
void stages_of_eight_and_two(double* a, int count, int d) {
    stages_of_eight_and_two_by_pairs<G>(a, count, d);
}

#if PIDRM_WIDE_LANES == 8
// Four registers of four pairs of lanes each, transposed as a 4 x 4 matrix of pairs: pair c of
// register b becomes pair b of register c.
KERNEL_INLINE void transpose_pairs(Wide* v) {
    const Wide a0 = __builtin_shufflevector(v[0], v[1], 0, 1, 8, 9, 2, 3, 10, 11);
    const Wide a1 = __builtin_shufflevector(v[0], v[1], 4, 5, 12, 13, 6, 7, 14, 15);
    const Wide a2 = __builtin_shufflevector(v[2], v[3], 0, 1, 8, 9, 2, 3, 10, 11);
    const Wide a3 = __builtin_shufflevector(v[2], v[3], 4, 5, 12, 13, 6, 7, 14, 15);
    v[0] = __builtin_shufflevector(a0, a2, 0, 1, 2, 3, 8, 9, 10, 11);
    v[1] = __builtin_shufflevector(a0, a2, 4, 5, 6, 7, 12, 13, 14, 15);
    v[2] = __builtin_shufflevector(a1, a3, 0, 1, 2, 3, 8, 9, 10, 11);
    v[3] = __builtin_shufflevector(a1, a3, 4, 5, 6, 7, 12, 13, 14, 15);
}

// stages_of_eight_and_two for spectra grouped by eight, four blocks side by side: a block of
// 8 points is one group, quarter q of block b the pair of lanes 2(3-q) of its registers; the
// pairs transposed, register q holds quarter q of the four blocks, as the lanes of the version
// for four lanes hold it of two. The same operations on every value.
template <>
void stages_of_eight_and_two<8>(double* a, int count, int d) {
    Wide wr[4], wi[4];
    eight_and_two_twiddles(
        d, wr, wi, [](double u0, double u1) { return Wide{u0, u1, u0, u1, u0, u1, u0, u1}; });
    std::int64_t base = 0;
    for (; base + 32 <= count; base += 32) {
        double* b = a + 2 * base;
        Wide re[4], im[4];
        for (int k = 0; k < 4; ++k)
            re[k] = load_as<Wide>(b + 16 * k), im[k] = load_as<Wide>(b + 16 * k + 8);
        transpose_pairs(re);
        transpose_pairs(im);
        // Quarter q is register 3 - q.
        Wide x[8];
        for (int q = 0; q < 4; ++q) x[2 * q] = re[3 - q], x[2 * q + 1] = im[3 - q];
        Wide y[8];
        eight_and_two(x, y, wr, wi, d);
        for (int q = 0; q < 4; ++q) re[3 - q] = y[2 * q], im[3 - q] = y[2 * q + 1];
        transpose_pairs(re);
        transpose_pairs(im);
        for (int k = 0; k < 4; ++k) store_as(b + 16 * k, re[k]), store_as(b + 16 * k + 8, im[k]);
    }
    // Fewer than four blocks: a transform of 8 or 16 points.
    if (base < count)
        stages_of_eight_and_two_by_pairs<8>(a + 2 * base, count - static_cast<int>(base), d);
}
#endif

// Every block of 4 points, grouped by G: quarter d is point 3-d of the block.
template <int G>
void stages_of_four(double* a, int count, int d) {
    for (std::int64_t base = 0; base < count; base += 4) {
        double* b = a + real_at<G>(base);
        double y[8];
        if (d == 0)
            butterfly4(b[3], b[G + 3], b[2], b[G + 2], b[1], b[G + 1], b[0], b[G], y, y + 2, y + 4,
                       y + 6);
        else
            butterfly4(b[3], b[G + 3], b[2], b[G + 2], b[1], b[G + 1], b[0], b[G], y, y + 6, y + 4,
                       y + 2);
        for (int r = 0; r < 4; ++r) b[3 - r] = y[2 * r], b[G + 3 - r] = y[2 * r + 1];
    }
}

// (r[0..3], i[0..3]) <- their transposes: lane j of register k becomes lane k of register j.
KERNEL_INLINE void transpose(Lanes* r, Lanes* i) {
    transpose(r);
    transpose(i);
}

#if PIDRM_WIDE_LANES == 8
// transpose on the two halves of four registers at once: lane j of half h of register k
// becomes lane k of half h of register j.
KERNEL_INLINE void transpose_halves(Wide* v) {
    const Wide t0 = __builtin_shufflevector(v[0], v[1], 0, 8, 2, 10, 4, 12, 6, 14);
    const Wide t1 = __builtin_shufflevector(v[0], v[1], 1, 9, 3, 11, 5, 13, 7, 15);
    const Wide t2 = __builtin_shufflevector(v[2], v[3], 0, 8, 2, 10, 4, 12, 6, 14);
    const Wide t3 = __builtin_shufflevector(v[2], v[3], 1, 9, 3, 11, 5, 13, 7, 15);
    v[0] = __builtin_shufflevector(t0, t2, 0, 1, 8, 9, 4, 5, 12, 13);
    v[1] = __builtin_shufflevector(t1, t3, 0, 1, 8, 9, 4, 5, 12, 13);
    v[2] = __builtin_shufflevector(t0, t2, 2, 3, 10, 11, 6, 7, 14, 15);
    v[3] = __builtin_shufflevector(t1, t3, 2, 3, 10, 11, 6, 7, 14, 15);
}

KERNEL_INLINE void transpose(Wide* r, Wide* i) {
    transpose_halves(r);
    transpose_halves(i);
}
#endif

// The stage of length 16 and then those of length 4 (forward, d = 0), or the reverse, on
// quarters held in registers T (Lanes or Wide): xr[q], xi[q] quarter q of the blocks, into
// yr, yi. w: w^t, w^2t and w^3t of length 16 for the offsets in the lanes, real and imaginary
// parts. The stage of length 16 runs as forward_stage and inverse_stage do, its four offsets
// in the lanes; the stages of length 4 take the transposed registers, so that the four
// quarters of a block run side by side, each in its lane as stages_of_four runs it.
template <typename T>
KERNEL_INLINE void sixteen_and_four(T* xr, T* xi, T* yr, T* yi, const T* w, int d) {
    const T &w1r = w[0], &w1i = w[1], &w2r = w[2], &w2i = w[3], &w3r = w[4], &w3i = w[5];
    if (d == 0) {
        T y[8];
        butterfly4(xr[0], xi[0], xr[1], xi[1], xr[2], xi[2], xr[3], xi[3], y, y + 2, y + 4, y + 6);
        rotate(y[2], y[3], w1r, w1i);
        rotate(y[4], y[5], w2r, w2i);
        rotate(y[6], y[7], w3r, w3i);
        for (int q = 0; q < 4; ++q) yr[q] = y[2 * q], yi[q] = y[2 * q + 1];
        // Register u now holds point u of every quarter; point 3-r of a quarter gets its
        // output r.
        transpose(yr, yi);
        T z[8];
        butterfly4(yr[3], yi[3], yr[2], yi[2], yr[1], yi[1], yr[0], yi[0], z, z + 2, z + 4, z + 6);
        for (int r = 0; r < 4; ++r) yr[3 - r] = z[2 * r], yi[3 - r] = z[2 * r + 1];
        transpose(yr, yi);
    } else {
        transpose(xr, xi);
        T z[8];
        butterfly4(xr[3], xi[3], xr[2], xi[2], xr[1], xi[1], xr[0], xi[0], z, z + 6, z + 4, z + 2);
        for (int r = 0; r < 4; ++r) xr[3 - r] = z[2 * r], xi[3 - r] = z[2 * r + 1];
        transpose(xr, xi);
        rotate_back(xr[1], xi[1], w1r, w1i);
        rotate_back(xr[2], xi[2], w2r, w2i);
        rotate_back(xr[3], xi[3], w3r, w3i);
        T y[8];
        butterfly4(xr[0], xi[0], xr[1], xi[1], xr[2], xi[2], xr[3], xi[3], y, y + 6, y + 4, y + 2);
        for (int q = 0; q < 4; ++q) yr[q] = y[2 * q], yi[q] = y[2 * q + 1];
    }
}

// On every block of 16 points in {a, count}, grouped by G: forward (d = 0), the stage of
// length 16 and then those of length 4; inverse, the reverse. The stage of length 16 runs as
// forward_stage and inverse_stage do, its four offsets in the lanes; the stages of length 4
// take the transposed registers, so that the four quarters of a block run side by side, each
// in its lane as stages_of_four runs it. The same operations on every value, in registers.
template <int G>
void stages_of_sixteen_and_four_by_blocks(double* a, int count, int d) {
    const Run w = stage_twiddles(16, 0);
    Lanes w16[6];
    for (int r = 0; r < 3; ++r)
        w16[2 * r] = run_real<Lanes>(w, r, 0), w16[2 * r + 1] = run_imaginary<Lanes>(w, r, 0);
    // Quarter q of a block, points 4(3-q) .. 4(3-q)+3, at double real_at(4(3-q)).
    constexpr std::int64_t Quarter[4] = {real_at<G>(12), real_at<G>(8), real_at<G>(4),
                                         real_at<G>(0)};
    for (std::int64_t base = 0; base < count; base += 16) {
        double* b = a + 2 * base;
        Lanes xr[4], xi[4], yr[4], yi[4];
        for (int q = 0; q < 4; ++q) xr[q] = load(b + Quarter[q]), xi[q] = load(b + Quarter[q] + G);
        sixteen_and_four(xr, xi, yr, yi, w16, d);
        for (int q = 0; q < 4; ++q) store(b + Quarter[q], yr[q]), store(b + Quarter[q] + G, yi[q]);
    }
}

template <int G>
void stages_of_sixteen_and_four(double* a, int count, int d) {
    stages_of_sixteen_and_four_by_blocks<G>(a, count, d);
}

#if PIDRM_WIDE_LANES == 8
// Quarters q of two blocks grouped by eight, side by side: registers 3 - q of the lower
// halves of a block's two groups (quarters 3 and 1), then of the upper halves (2 and 0), one
// block in each half; and back.
KERNEL_INLINE void quarters_of_two_blocks(const Wide* first, const Wide* second, Wide* q) {
    q[3] = __builtin_shufflevector(first[0], second[0], 0, 1, 2, 3, 8, 9, 10, 11);
    q[2] = __builtin_shufflevector(first[0], second[0], 4, 5, 6, 7, 12, 13, 14, 15);
    q[1] = __builtin_shufflevector(first[1], second[1], 0, 1, 2, 3, 8, 9, 10, 11);
    q[0] = __builtin_shufflevector(first[1], second[1], 4, 5, 6, 7, 12, 13, 14, 15);
}
KERNEL_INLINE void blocks_of_quarters(const Wide* q, Wide* first, Wide* second) {
    first[0] = __builtin_shufflevector(q[3], q[2], 0, 1, 2, 3, 8, 9, 10, 11);
    second[0] = __builtin_shufflevector(q[3], q[2], 4, 5, 6, 7, 12, 13, 14, 15);
    first[1] = __builtin_shufflevector(q[1], q[0], 0, 1, 2, 3, 8, 9, 10, 11);
    second[1] = __builtin_shufflevector(q[1], q[0], 4, 5, 6, 7, 12, 13, 14, 15);
}

// stages_of_sixteen_and_four for spectra grouped by eight, two blocks side by side: a block
// is two groups, its quarters the halves of their registers; rearranged, register q holds
// quarter q of both blocks, one in each half, as the four-lane version holds it of one. The
// same operations on every value.
template <>
void stages_of_sixteen_and_four<8>(double* a, int count, int d) {
    const Run w = stage_twiddles(16, 0);
    const auto both_halves = [](const Lanes& v) {
        return Wide{v[0], v[1], v[2], v[3], v[0], v[1], v[2], v[3]};
    };
    Wide w16[6];
    for (int r = 0; r < 3; ++r)
        w16[2 * r] = both_halves(run_real<Lanes>(w, r, 0)),
                w16[2 * r + 1] = both_halves(run_imaginary<Lanes>(w, r, 0));
    std::int64_t base = 0;
    for (; base + 32 <= count; base += 32) {
        double* b = a + 2 * base;
        // Block k, group g: real parts at 32k + 16g, imaginary parts 8 further on.
        Wide fr[2], fi[2], sr[2], si[2], xr[4], xi[4], yr[4], yi[4];
        for (int g = 0; g < 2; ++g) {
            fr[g] = load_as<Wide>(b + 16 * g), fi[g] = load_as<Wide>(b + 16 * g + 8);
            sr[g] = load_as<Wide>(b + 32 + 16 * g), si[g] = load_as<Wide>(b + 40 + 16 * g);
        }
        quarters_of_two_blocks(fr, sr, xr);
        quarters_of_two_blocks(fi, si, xi);
        sixteen_and_four(xr, xi, yr, yi, w16, d);
        blocks_of_quarters(yr, fr, sr);
        blocks_of_quarters(yi, fi, si);
        for (int g = 0; g < 2; ++g) {
            store_as(b + 16 * g, fr[g]), store_as(b + 16 * g + 8, fi[g]);
            store_as(b + 32 + 16 * g, sr[g]), store_as(b + 40 + 16 * g, si[g]);
        }
    }
    // One block: a transform of 16 points.
    if (base < count)
        stages_of_sixteen_and_four_by_blocks<8>(a + 2 * base, count - static_cast<int>(base), d);
}
#endif

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

// The length of the innermost blocks of a block of L >= 4 points: L divided by 4 while it
// is above 16, so 4, 8 or 16. Their stages run in registers: those of length 8 and 2, 16 and
// 4, or 4 alone.
int leaf_length(int L) {
    int len = L;
    while (len > 16) len /= 4;
    return len;
}

// The stages of the innermost blocks of {a, count} of leaf length len, in direction d.
template <int G>
void leaf_stages(double* a, int count, int len, int d) {
    if (len == 8) {
        stages_of_eight_and_two<G>(a, count, d);
    } else if (len == 16) {
        stages_of_sixteen_and_four<G>(a, count, d);
    } else {
        stages_of_four<G>(a, count, d);
    }
}

// Block a of L >= 4 points, transformed stage after stage, every block of each stage length.
template <int G>
void forward_breadth(double* a, int L) {
    const int leaf = leaf_length(L);
    for (int len = L; len > leaf; len /= 4) forward_stage<G, false>(a, len, L / len, NoWeights);
    leaf_stages<G>(a, L, leaf, 0);
}

template <int G>
void inverse_breadth(double* a, int L) {
    const int leaf = leaf_length(L);
    leaf_stages<G>(a, L, leaf, 1);
    for (int len = 4 * leaf; len <= L; len *= 4)
        inverse_stage<G, false>(a, len, L / len, NoWeights, 1.0);
}

// The forward transform of block a, L >= 4 points, depth first.
template <int G>
void forward_depth(double* a, int L) {
    if (L <= BreadthPoints) {
        forward_breadth<G>(a, L);
        return;
    }
    forward_stage<G, false>(a, L, 1, NoWeights);
    for (int r = 0; r < 4; ++r) forward_depth<G>(a + 2LL * r * (L / 4), L / 4);
}

template <int G>
void inverse_depth(double* a, int L) {
    if (L <= BreadthPoints) {
        inverse_breadth<G>(a, L);
        return;
    }
    for (int r = 0; r < 4; ++r) inverse_depth<G>(a + 2LL * r * (L / 4), L / 4);
    inverse_stage<G, false>(a, L, 1, NoWeights, 1.0);
}

// Block a of L >= 4 points: the forward transform, the product with block s of a spectrum
// (s = a squares) and the inverse transform, depth first, so that every block goes from
// one transform to the other while it is still in cache. Bit for bit the three done apart.
template <int G>
void product_depth(double* a, const double* s, int L) {
    if (L <= BreadthPoints) {
        forward_breadth<G>(a, L);
        pointwise<G, false>(a, s == nullptr ? a : s, a, L);  // as multiply_spectra
        inverse_breadth<G>(a, L);
        return;
    }
    const std::int64_t quarter = 2LL * (L / 4);
    forward_stage<G, false>(a, L, 1, NoWeights);
    for (int r = 0; r < 4; ++r)
        product_depth<G>(a + r * quarter, s == nullptr ? nullptr : s + r * quarter, L / 4);
    inverse_stage<G, false>(a, L, 1, NoWeights, 1.0);
}

// {points, n} grouped by G: each point times scale, then times entry i*q of the forward
// weights, or by its conjugate when inverse (bit for bit the inverse weight: the product
// with (c, -s) is c r - (-s) m = c r + s m exactly).
void grouped_scale(double* points, int n, int G, double scale, int q, bool inverse) {
    const double* weights = Weights[0] + 2 * (q - 1);
    for (std::int64_t i = 0; i < n; ++i) {
        const std::int64_t at = 2 * i - (i & (G - 1));
        const double r = points[at] * scale, m = points[at + G] * scale;
        const double* w = point(weights, i * q);
        if (inverse) {
            points[at] = w[0] * r + w[1] * m;
            points[at + G] = w[0] * m - w[1] * r;
        } else {
            points[at] = w[0] * r - w[1] * m;
            points[at + G] = w[0] * m + w[1] * r;
        }
    }
}

// The transforms of n >= 16 points grouped by G (group_points(n)).
template <int G>
void transform_grouped(double* points, int n, int d) {
    // The forward weights; the inverse stage takes their conjugates.
    const StageWeights weights = stage_weights_of(n);
    const std::int64_t m = n / 4;
    if (d == 0) {
        forward_stage<G, true>(points, n, 1, weights);
        for (int r = 0; r < 4; ++r) forward_depth<G>(points + 2 * r * m, static_cast<int>(m));
    } else {
        for (int r = 0; r < 4; ++r) inverse_depth<G>(points + 2 * r * m, static_cast<int>(m));
        // Dividing by n, a power of two, is multiplying by 1/n exactly.
        inverse_stage<G, true>(points, n, 1, weights, 1.0 / n);
    }
}

template <int G>
void transform_words_grouped(const double* words, double* spectrum, int n, bool folded) {
    const StageWeights weights = stage_weights_of(n);
    const std::int64_t m = n / 4;
    if (folded) {
        forward_stage<G, true, true, true>(spectrum, n, 1, weights, words);
    } else {
        forward_stage<G, true, true>(spectrum, n, 1, weights, words);
    }
    for (int r = 0; r < 4; ++r) forward_depth<G>(spectrum + 2 * r * m, static_cast<int>(m));
}

template <int G>
void product_grouped(const double* words, const double* spectrum, double* points, int n) {
    const StageWeights weights = stage_weights_of(n);
    const std::int64_t quarter = 2LL * (n / 4);
    forward_stage<G, true, true>(points, n, 1, weights, words);
    for (int r = 0; r < 4; ++r)
        product_depth<G>(points + r * quarter,
                         spectrum == nullptr ? nullptr : spectrum + r * quarter, n / 4);
    // Dividing by n, a power of two, is multiplying by 1/n exactly.
    inverse_stage<G, true>(points, n, 1, weights, 1.0 / n);
}

}  // namespace

void permuted_transform(double* points, int n, int direction) {
    const int d = direction == 1 ? 1 : 0;
    if (n < 16) {
        // The weights as the natural-order transform applies them, then the short stages.
        const int q = table_stride(0, n), G = group_points(n);
        if (d == 0) grouped_scale(points, n, G, 1.0, q, false);
        if (n == 2) stages_of_two(points, 2, 2);
        if (n == 4) stages_of_four<4>(points, 4, d);
        if (n == 8) stages_of_eight_and_two<4>(points, 8, d);
        if (d == 1) grouped_scale(points, n, G, 1.0 / n, q, true);
        return;
    }
    with_group(n, [&](auto g) { transform_grouped<decltype(g)::value>(points, n, d); });
}

void permuted_transform_words(const double* words, double* spectrum, int n, bool folded) {
    with_group(n, [&](auto g) {
        transform_words_grouped<decltype(g)::value>(words, spectrum, n, folded);
    });
}

void permuted_product(const double* words, const double* spectrum, double* points, int n) {
    with_group(n, [&](auto g) { product_grouped<decltype(g)::value>(words, spectrum, points, n); });
}

}  // namespace PIDRM_KERNEL_SET
