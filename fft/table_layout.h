// The twiddle and weight tables of the transforms: what each holds, where each entry stands,
// and how much working memory they take. fft/tables.cpp builds them; the transforms read
// them. Not for use outside fft/, but for the sizes that fft_memory_words adds up.
//
// Positions count from the end of an array (p = n-1-index): the least significant word of a
// number, which stands last, has position 0 and weight psi^0 = 1.
#pragma once

#include <cstdint>

#include "arith/kernel_sets.h"
#include "arith/long_number.h"

// The longest transform: products of 2^18 words.
constexpr int MaxPoints = 1 << 18;

// ---- The tables in natural order ---------------------------------------------------------
// The tables of each direction (index 0 forward, 1 inverse), built for transforms of up to
// TablePoints[d] points, a power of two (0 before the first use):
//   Twiddles[d] entry e = entry e of make_twiddles(TablePoints[d]/2, d), 2 MiB at most;
//   Weights[d] entry i = e^(i sigma (TablePoints[d]-1-i) pi/(2 TablePoints[d])), 4 MiB at most.
// The step of length n is that of length 2n doubled exactly, so the angle of an entry of
// length n is bit for bit that of an entry of length 2n: a length n <= TablePoints[d] reads
// every q-th entry, q = TablePoints[d]/n, and gets what unit_root gives for its own angle.
// The forward tables lie in the working memory (lay_out_fft_memory), sized for the run's
// length, the inverse ones, which only the natural-order transform reads, apart.
extern double* Twiddles[2];
extern double* Weights[2];
extern int TablePoints[2];

// Makes the tables of direction d (1 inverse, anything else forward) hold length n, rebuilding
// them at n when they are shorter. Returns d as an index, 0 or 1. For the natural-order
// transform and the tables' own readers; the permuted transform builds nothing.
int tables_for(int direction, int n);

// The longest length whose weights have a compact copy (below); the longer one, 2^18 points,
// reads them from the forward table in natural order, where they stand at a stride of at
// most 3.
constexpr int CompactLongest = MaxPoints / 2;

// Points of the forward tables in natural order that the working memory holds for operands of
// up to n words. The longest length (beyond CompactLongest) reads its weights there, as the
// natural-order transform reads its tables at any length; every other length reads compact
// copies, and the transforms under 16 points and the leaves of 8 points read entries of at
// most 16 points. Where the tables are shorter than n, prepare_transforms makes the compact
// copies from tables of length n built for the while in FftScratch.
constexpr std::int64_t natural_table_points(std::int64_t n) {
    return n > CompactLongest ? n : (n < 16 ? n : 16);
}

// ---- The compact copies ------------------------------------------------------------------
// Compact copies of the forward entries for the permuted transform of the products, made by
// prepare_transforms for the lengths 16 .. CompactPoints it has reached: twiddles at every
// length, weights up to CompactLongest. They hold what the butterflies of a run of offsets
// of a stage read, side by side: one stream from memory instead of one for each quarter,
// whose power-of-two distances make them contend for the same cache sets. The twiddles of the
// longest length, gathered from the natural-order table, cost the forward transform's first
// stage and the inverse's last about a third of their time (3 % of a run at 2^18 points), so
// they have their compact copy (3 MiB).
//
// The offsets of a stage of length L = 4m stand in runs of T = table_group(L) offsets,
// u .. u+T-1 (u a multiple of T): eight from L = 32 on, four at 16 (which has four).
//   Twiddles of stage length L: for the offsets of a run, t = m-1-u-k (k = 0..T-1), the real
//   parts of w^t, then the imaginary parts, then those of w^2t and w^3t of length L: 6T
//   doubles at 6u of the length's run. The inverse transform multiplies by their conjugates,
//   which are bit for bit the entries of the inverse tables, as cos is even and sin odd.
//   Weights of length n = 4m: for the offsets of a run the real parts of the weights of index
//   (3-d)m + u + k (k = 0..T-1), then the imaginary parts, for d = 0..3: 8T doubles at 8u of
//   the length's run.
extern double* CompactTwiddles;
extern double* CompactWeights;
extern int CompactPoints;

// True when prepare_transforms has made what the permuted transform of length n reads: the
// forward tables and, from 16 points on, the compact copies of that length.
bool transforms_prepared(int n);

// The points of every length 16 .. L together, 2L - 16: the compact copies of the lengths
// up to L take 1.5 doubles a point (twiddles) and 2 (weights).
constexpr std::int64_t points_up_to(std::int64_t L) {
    return L >= 16 ? 2 * L - 16 : 0;
}

// ---- Memory ------------------------------------------------------------------------------

// The doubles of each forward table in the working memory for operands of up to n words.
struct TableSizes {
    std::int64_t twiddles, weights, compact_twiddles, compact_weights;
};
constexpr TableSizes table_sizes(std::int64_t n) {
    return {natural_table_points(n), 2 * natural_table_points(n), 6 * points_up_to(n) / 4,
            2 * points_up_to(n < CompactLongest ? n : CompactLongest)};
}

// Doubles of working memory that the forward tables take for operands of up to n words, each
// table on its own cache lines.
constexpr std::int64_t table_memory_words(std::int64_t n) {
    const TableSizes s = table_sizes(n);
    return slice_words(s.twiddles) + slice_words(s.weights) + slice_words(s.compact_twiddles) +
           slice_words(s.compact_weights);
}

// ---- Where an entry stands ---------------------------------------------------------------
// Compiled into each kernel set's namespace and, for the code outside the sets, into `common`.
namespace PIDRM_KERNEL_SET {

// Table stride of length n.
inline int table_stride(int d, int n) {
    return TablePoints[d] / n;
}

// The twiddle entry of angle 0: entry TablePoints/2 - 1. The twiddle w^t of length n,
// 0 <= t < n/2, is point -t*q from it.
inline const double* twiddle_one(int d) {
    return Twiddles[d] + TablePoints[d] - 2;
}

// The twiddle w^t of length n in direction d, 0 <= t < n. The table holds the half turn
// 0 <= t < n/2; the other half is its negation, w^(t+n/2) = -w^t.
inline void twiddle(int d, int n, int t, double& re, double& im) {
    const bool second = t >= n / 2;
    const double sign = second ? -1.0 : 1.0;
    const double* w =
        twiddle_one(d) - 2 * static_cast<std::int64_t>(second ? t - n / 2 : t) * table_stride(d, n);
    re = sign * w[0];
    im = sign * w[1];
}

// The offsets in a run of the compact tables of stage length L.
constexpr int table_group(int L) {
    return L >= 32 ? 8 : 4;
}

// The run of the compact twiddles of stage length L that holds offset u; offset u is its
// entry k = u mod T, whose w^(rt) (r = 1..3) has its real part at double 2T(r-1) + k and its
// imaginary part T doubles further on.
inline double* compact_twiddle_run(int L, std::int64_t u) {
    const int T = table_group(L);
    return CompactTwiddles + 6LL * (L - 16) / 4 + 6 * (u - (u & (T - 1)));
}

// The run of the compact weights of length n that holds offset u: the weight of index
// (3-d)m + u has its real part at double 2Td + k, k = u mod T, and its imaginary part T
// doubles further on.
inline double* compact_weight_run(int n, std::int64_t u) {
    const int T = table_group(n);
    return CompactWeights + 2LL * (n - 16) + 8 * (u - (u & (T - 1)));
}

}  // namespace PIDRM_KERNEL_SET
