// The leaves of the permuted transform (fft/permuted_kernels.cpp): the stages of its
// innermost blocks of 4, 8 or 16 points, run in registers, blocks side by side in the lanes,
// on spectra grouped by G. Included only by the kernels' sources; internal to the source that
// includes it.
#pragma once

#include <cstdint>
#include <cstring>

#include "arith/lanes.h"
#include "fft/butterfly.h"
#include "fft/groups.h"
#include "fft/shuffles.h"
#include "fft/stage_kernels.h"
#include "fft/table_layout.h"

namespace PIDRM_KERNEL_SET {
namespace {

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
    xr = swapped_pairs(xr) + xr * sign;
    xi = swapped_pairs(xi) + xi * sign;
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
        table_twiddle(short_table(), 8, r, re, im);
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
    constexpr std::int64_t Offset[4] = {real_at(6, G), real_at(4, G), real_at(2, G), real_at(0, G)};
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
// stages_of_eight_and_two for spectra grouped by eight, four blocks side by side: a block of
// 8 points is one group, quarter q of block b the pair of lanes 2(3-q) of its registers; the
// pairs transposed, register q holds quarter q of the four blocks, as the lanes of the version
// for four lanes hold it of two. The same operations on every value.
//
// The forward leaves store the registers as they come out, transposed, group 3-q of the four
// holding quarter q of the four blocks, and the inverse leaves take them so: an order of the
// spectrum's own (fft/permuted_kernels.cpp), the same for every operand, which the pointwise
// products do not mind. Half the rearrangements of lanes, which bound these leaves: they took
// a sixth less time (AMD EPYC, Zen 5).
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
        if (d == 0) {
            transpose_pairs_4x4(re);
            transpose_pairs_4x4(im);
        }
        // Quarter q is register 3 - q.
        Wide x[8];
        for (int q = 0; q < 4; ++q) x[2 * q] = re[3 - q], x[2 * q + 1] = im[3 - q];
        Wide y[8];
        eight_and_two(x, y, wr, wi, d);
        for (int q = 0; q < 4; ++q) re[3 - q] = y[2 * q], im[3 - q] = y[2 * q + 1];
        if (d == 1) {
            transpose_pairs_4x4(re);
            transpose_pairs_4x4(im);
        }
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
        double* b = a + real_at(base, G);
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

// The real parts r[0..3] and the imaginary parts i[0..3] of four quarters of a block,
// transposed: lane j of register k becomes lane k of register j, in each half where a register
// holds two blocks.
KERNEL_INLINE void transpose_quarters(Lanes* r, Lanes* i) {
    transpose_4x4(r);
    transpose_4x4(i);
}

#if PIDRM_WIDE_LANES == 8
KERNEL_INLINE void transpose_quarters(Wide* r, Wide* i) {
    transpose_4x4_in_halves(r);
    transpose_4x4_in_halves(i);
}
#endif

// The stage of length 16 and then those of length 4 (forward, d = 0), or the reverse, on
// quarters held in registers T (Lanes or Wide): xr[q], xi[q] quarter q of the blocks, into
// yr, yi. w: w^t, w^2t and w^3t of length 16 for the offsets in the lanes, real and imaginary
// parts. The stage of length 16 runs as forward_stage and inverse_stage do, its four offsets
// in the lanes; the stages of length 4 take the transposed registers, so that the four
// quarters of a block run side by side, each in its lane as stages_of_four runs it. Left
// transposed, the forward direction leaves yr, yi as the stages of length 4 leave them, and
// the inverse takes xr, xi so.
template <typename T, bool LeftTransposed = false>
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
        transpose_quarters(yr, yi);
        T z[8];
        butterfly4(yr[3], yi[3], yr[2], yi[2], yr[1], yi[1], yr[0], yi[0], z, z + 2, z + 4, z + 6);
        for (int r = 0; r < 4; ++r) yr[3 - r] = z[2 * r], yi[3 - r] = z[2 * r + 1];
        if (!LeftTransposed) transpose_quarters(yr, yi);
    } else {
        if (!LeftTransposed) transpose_quarters(xr, xi);
        T z[8];
        butterfly4(xr[3], xi[3], xr[2], xi[2], xr[1], xi[1], xr[0], xi[0], z, z + 6, z + 4, z + 2);
        for (int r = 0; r < 4; ++r) xr[3 - r] = z[2 * r], xi[3 - r] = z[2 * r + 1];
        transpose_quarters(xr, xi);
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
    constexpr std::int64_t Quarter[4] = {real_at(12, G), real_at(8, G), real_at(4, G),
                                         real_at(0, G)};
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
// stages_of_sixteen_and_four for spectra grouped by eight, two blocks side by side: a block
// is two groups, its quarters the halves of their registers; rearranged, register q holds
// quarter q of both blocks, one in each half, as the four-lane version holds it of one. The
// same operations on every value.
//
// As stages_of_eight_and_two: the forward leaves store the registers as the stages of length
// 4 leave them, register k as group k of the two blocks, and the inverse leaves take them so.
// A third of the rearrangements of lanes saved: the leaves took a third less time.
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
        if (d == 0) {
            quarters_of_two_blocks(fr, sr, xr);
            quarters_of_two_blocks(fi, si, xi);
        } else {
            xr[0] = fr[0], xr[1] = fr[1], xr[2] = sr[0], xr[3] = sr[1];
            xi[0] = fi[0], xi[1] = fi[1], xi[2] = si[0], xi[3] = si[1];
        }
        sixteen_and_four<Wide, true>(xr, xi, yr, yi, w16, d);
        if (d == 1) {
            blocks_of_quarters(yr, fr, sr);
            blocks_of_quarters(yi, fi, si);
        } else {
            fr[0] = yr[0], fr[1] = yr[1], sr[0] = yr[2], sr[1] = yr[3];
            fi[0] = yi[0], fi[1] = yi[1], si[0] = yi[2], si[1] = yi[3];
        }
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

}  // namespace
}  // namespace PIDRM_KERNEL_SET
