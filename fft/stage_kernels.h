// The radix-4 stages of the permuted transform (fft/permuted_kernels.cpp) over blocks of
// spectra grouped by G: forward_stage and inverse_stage, with the twiddles and weights they
// read from the tables (fft/table_layout.h). Included only by the kernels' sources; internal
// to the source that includes it.
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
#pragma once

#include <cassert>
#include <cstdint>

#include "arith/registers.h"
#include "fft/butterfly.h"
#include "fft/shuffles.h"
#include "fft/table_layout.h"

namespace PIDRM_KERNEL_SET {
namespace {

// Entries of a compact table, a run of them: the real parts of entry j (j = 0..3) side by
// side at at + 2 stride j, their imaginary parts stride doubles further on.
struct Run {
    const double* at;
    std::int64_t stride;
};

// The compact twiddles of a stage of length L, found once for the stage: the run of offset 0
// and the offsets of a run. Where a group holds eight offsets, the stage is 32 points or
// longer and a run holds eight: a constant, which leaves the compiler a fixed distance
// between the entries of a run.
struct StageTwiddles {
    const double* run;
    int T;
};
template <int G>
KERNEL_INLINE StageTwiddles stage_twiddle_table(int L) {
    return {compact_twiddle_run(L, 0), G == 8 ? 8 : table_group(L)};
}

// The forward twiddles w^(rt), r = 1..3 (entries r-1), of the offsets u .. u+G-1 of a stage
// from its compact copy.
KERNEL_INLINE Run stage_twiddles(const StageTwiddles& s, std::int64_t u) {
    const std::int64_t k = u & (s.T - 1);
    return {s.run + 6 * (u - k) + k, s.T};
}
// The same for one group of a stage of length L.
KERNEL_INLINE Run stage_twiddles(int L, std::int64_t u) {
    return stage_twiddles(StageTwiddles{compact_twiddle_run(L, 0), table_group(L)}, u);
}

// The forward weights of a weighted stage of length n = 4m (the first stage of a forward
// transform, the last of an inverse) at the offsets u .. u+G-1, from their compact copy:
// the rows of the real and imaginary parts, m and u. Unweighted stages take none.
struct StageWeights {
    const double *real, *imaginary;
    std::int64_t m, u;
};

// Row 0 of the real parts of the compact weights of length 4m, found once for the stage.
KERNEL_INLINE const double* stage_weight_rows(std::int64_t m) {
    return compact_weight_rows(static_cast<int>(4 * m));
}
KERNEL_INLINE StageWeights stage_weights(const double* real, std::int64_t m, std::int64_t u) {
    return {real, real + 2 * m + WeightHead, m, u};
}

// The weights of the inputs of quarter d at the offsets in the lanes from e on, wr + i wi:
// quarters 0 and 1 forward from rows m + u and u, quarters 2 and 3 backward from rows
// m-2-u and 2m-2-u, their parts exchanged (fft/table_layout.h).
template <typename R>
KERNEL_INLINE void stage_weight(const StageWeights& v, int d, int e, R& wr, R& wi) {
    constexpr int E = sizeof(R) / sizeof(double);
    if (d < 2) {
        const std::int64_t q = (d == 0 ? v.m : 0) + v.u + e;
        wr = load_as<R>(v.real + q), wi = load_as<R>(v.imaginary + q);
    } else {
        const std::int64_t last = (d == 2 ? v.m : 2 * v.m) - 2 - v.u - e, first = last - (E - 1);
        wr = reversed(load_as<R>(v.imaginary + first)), wi = reversed(load_as<R>(v.real + first));
    }
}

// (xr + i xi) times its weight (wr + i wi): with Real, xi is +0 (rotate_real).
template <bool Real, typename R>
KERNEL_INLINE void weigh(R& xr, R& xi, const R& wr, const R& wi) {
    if (Real) {
        rotate_real(xr, xi, wr, wi);
    } else {
        rotate(xr, xi, wr, wi);
    }
}

// Weighted stages of at least PrefetchShortest points (the first of a forward transform, the
// last of an inverse, at 2^17 and 2^18 points: the only stages that long) ask for the compact
// twiddles of the offsets TwiddlesAhead further on while they work. Theirs come from memory, a
// stream of six doubles an offset that the processors' own prefetching does not keep ahead of:
// in products of 2^18 points the first forward stage took a fifth less time with it, the
// three transforms 6 % less (AMD EPYC, Zen 5); shorter stages read their twiddles from the
// caches and gain nothing.
constexpr int PrefetchShortest = 1 << 17;
constexpr std::int64_t TwiddlesAhead = 64;

// The lines of the compact twiddles of the offsets TwiddlesAhead after u in a stage of length
// L = 4m asked for, once for each run of them.
KERNEL_INLINE void prefetch_twiddles(int L, std::int64_t m, std::int64_t u) {
    const int T = table_group(L);
    if (L < PrefetchShortest || u + TwiddlesAhead >= m || (u & (T - 1)) != 0) return;
    const double* run = compact_twiddle_run(L, u + TwiddlesAhead);
    for (int k = 0; k < 6 * T; k += 8) prefetch(run + k);
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

// The offsets u .. u+G-1 of block {block, 4m} of a forward stage, as forward_stage says.
template <int G, bool Weighted, bool FromWords, bool Folded>
KERNEL_INLINE void forward_group(double* block, std::int64_t m, std::int64_t u,
                                 const StageTwiddles& twiddles, const double* weights,
                                 const double* words) {
    typedef typename PackRegister<G>::type R;  // a group's lanes, or half of them
    constexpr int E = PackRegister<G>::lanes;
    double *b0 = block + 6 * m, *b1 = block + 4 * m, *b2 = block + 2 * m, *b3 = block;
    const Run w = stage_twiddles(twiddles, u);
    const StageWeights v = Weighted ? stage_weights(weights, m, u) : StageWeights{};
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
                const double* imaginary = real - 4 * m;
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
            // Words alone are real points, rotated by first-quadrant weights.
            constexpr bool Real = FromWords && !Folded;
            R wr, wi;
            stage_weight(v, 0, e, wr, wi), weigh<Real>(x0r, x0i, wr, wi);
            stage_weight(v, 1, e, wr, wi), weigh<Real>(x1r, x1i, wr, wi);
            stage_weight(v, 2, e, wr, wi), weigh<Real>(x2r, x2i, wr, wi);
            stage_weight(v, 3, e, wr, wi), weigh<Real>(x3r, x3i, wr, wi);
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

// A forward stage of length L = 4m >= 4G on each of blocks consecutive blocks from a, grouped
// by G. With weights, the inputs are first multiplied by their weights (one block only). From
// words, the points are read from {words, L} as real parts; folded, the L words before them
// are the imaginary parts. The G offsets u .. u+G-1 that a group holds side by side run a
// register at a time: where a register holds two lanes, the butterfly of four would not fit
// the registers at once.
//
// From words, below PrefetchShortest points, the groups run in pairs from both ends, u and
// then m-G-u: the weights of quarters 2 and 3 at u stand in the lines of those of quarters 1
// and 0 at m-G-u, a row apart, which then come from L1 rather than from L2 or L3. The stage
// took a seventh to a quarter less time from 2^11 to 2^15 points (AMD EPYC, Zen 5). Where the
// words, the spectrum and the tables come from memory, twice as many streams, half of them
// running down, took a tenth to a half more time, and the longest stages run in order; so do the
// stages that read and write the block in place, which were slower in pairs even in cache.
// Both groups of a pair in one turn of the loop were slower too: they spill registers.
template <int G, bool Weighted, bool FromWords = false, bool Folded = false>
void forward_stage(double* a, int L, int blocks, const double* words = nullptr) {
    static_assert(Weighted || !FromWords, "words are read by the weighted stage alone");
    const std::int64_t m = L / 4;
    const StageTwiddles twiddles = stage_twiddle_table<G>(L);
    const double* const weights = Weighted ? stage_weight_rows(m) : nullptr;
    for (int g = 0; g < blocks; ++g) {
        double* const block = a + 2 * L * static_cast<std::int64_t>(g);
        if (FromWords && m >= 2 * G && L < PrefetchShortest) {
            // Group k/G: u = k/2 on the way up, its mirror on the way down.
            for (std::int64_t k = 0; k < m; k += G) {
                const std::int64_t u = (k & G) == 0 ? k / 2 : m - G - (k - G) / 2;
                forward_group<G, Weighted, true, Folded>(block, m, u, twiddles, weights, words);
            }
        } else {
            for (std::int64_t u = 0; u < m; u += G) {
                if (Weighted) prefetch_twiddles(L, m, u);
                forward_group<G, Weighted, FromWords, Folded>(block, m, u, twiddles, weights,
                                                              words);
            }
        }
    }
}

// An inverse stage of length L = 4m >= 4G on each of blocks consecutive blocks from a,
// multiplying by the conjugates of the forward twiddles. With weights (the forward ones),
// the outputs are multiplied by scale and then by their conjugates (one block only). A
// register at a time, as forward_stage.
template <int G, bool Weighted>
void inverse_stage(double* a, int L, int blocks, double scale) {
    typedef typename PackRegister<G>::type R;  // a group's lanes, or half of them
    constexpr int E = PackRegister<G>::lanes;
    const std::int64_t m = L / 4;
    const StageTwiddles twiddles = stage_twiddle_table<G>(L);
    const double* const weights = Weighted ? stage_weight_rows(m) : nullptr;
    for (int g = 0; g < blocks; ++g) {
        double* block = a + 2 * L * static_cast<std::int64_t>(g);
        double *b0 = block + 6 * m, *b1 = block + 4 * m, *b2 = block + 2 * m, *b3 = block;
        for (std::int64_t u = 0; u < m; u += G) {
            if (Weighted) prefetch_twiddles(L, m, u);
            const Run w = stage_twiddles(twiddles, u);
            const StageWeights v = Weighted ? stage_weights(weights, m, u) : StageWeights{};
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
                        R wr, wi;
                        stage_weight(v, d, e, wr, wi);
                        rotate_back(y[2 * d], y[2 * d + 1], wr, wi);
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

}  // namespace
}  // namespace PIDRM_KERNEL_SET
