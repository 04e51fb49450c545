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
// The tables of each direction (index 0 forward, 1 inverse) of the natural-order transform
// (fft/transform.cpp), built for transforms of up to TablePoints[d] points, a power of two (0
// before the first use):
//   Twiddles[d] entry e = entry e of make_twiddles(TablePoints[d]/2, d), 2 MiB at most;
//   Weights[d] entry i = e^(i sigma (TablePoints[d]-1-i) pi/(2 TablePoints[d])), 4 MiB at most.
// The step of length n is that of length 2n doubled exactly, so the angle of an entry of
// length n is bit for bit that of an entry of length 2n: a length n <= TablePoints[d] reads
// every q-th entry, q = TablePoints[d]/n, and gets what unit_root gives for its own angle.
// Both directions lie apart from the working memory, touched only when the natural-order
// transform runs: the products read the compact copies and the short tables below.
extern double* Twiddles[2];
extern double* Weights[2];
extern int TablePoints[2];

// Makes the tables of direction d (1 inverse, anything else forward) hold length n, rebuilding
// them at n when they are shorter. Returns d as an index, 0 or 1. For the natural-order
// transform and the tables' own readers; the permuted transform builds nothing.
int tables_for(int direction, int n);

// ---- The short tables --------------------------------------------------------------------
// The forward twiddles and weights in natural order of length ShortPoints = min(n, 16) for a
// run of working length n, as Twiddles[0] and Weights[0] hold them: what the permuted
// transforms under 16 points and the leaves of 8 points read. They lie in the working memory.
extern double* ShortTwiddles;
extern double* ShortWeights;
extern int ShortPoints;

// Points of the short tables for operands of up to n words.
constexpr std::int64_t short_table_points(std::int64_t n) {
    return n < 16 ? n : 16;
}

// ---- The compact copies ------------------------------------------------------------------
// Compact copies of the forward entries for the permuted transform of the products, made by
// prepare_transforms for the lengths 16 .. CompactPoints it has reached: twiddles and weights
// at every length. They hold what the butterflies of a run of offsets of a stage read, side by
// side: one stream from memory instead of one for each quarter, whose power-of-two distances
// make them contend for the same cache sets, read as vectors.
//
// The offsets of a stage of length L = 4m stand in runs of T = table_group(L) offsets,
// u .. u+T-1 (u a multiple of T): eight from L = 32 on, four at 16 (which has four).
//   Twiddles of stage length L: for the offsets of a run, t = m-1-u-k (k = 0..T-1), the real
//   parts of w^t, then the imaginary parts, then those of w^2t and w^3t of length L: 6T
//   doubles at 6u of the length's run. The inverse transform multiplies by their conjugates,
//   which are bit for bit the entries of the inverse tables, as cos is even and sin odd.
//   Weights of length n = 4m: half of them. Weight i is psi^j, j = n-1-i, a quarter turn, and
//   psi^(n-j) is psi^j with its real and imaginary parts exchanged, bit for bit (unit_root
//   takes both from the same distance to the nearer quarter turn), but for j = 2m, its own
//   mirror. Row q = 0 .. 2m-1 holds psi^(2m-1-q), the weight of index 2m + q, the real parts
//   in one row and the imaginary parts in another, and q = -1 holds psi^(2m) with its parts
//   exchanged. The inputs of quarters 0 and 1 at offset u (exponents m-1-u and 2m-1-u) read
//   rows m + u and u; those of quarters 2 and 3 (3m-1-u and 4m-1-u) their mirrors, rows
//   m-2-u and 2m-2-u with the parts exchanged: the offsets of a group forward in two rows and
//   backward in the others. WeightHead doubles before each row.
extern double* CompactTwiddles;
extern double* CompactWeights;
extern int CompactPoints;

// True when prepare_transforms has made what the permuted transform of length n reads: the
// short tables and, from 16 points on, the compact copies of that length.
bool transforms_prepared(int n);

// The points of every length 16 .. L together, 2L - 16: the compact copies of the lengths
// up to L take 1.5 doubles a point (twiddles) and 1 (weights). Static, as the next one: the
// kernel sets read them too (compact_weight_rows), and a function that a set's code may emit
// must not be one symbol shared with another set's (tools/kernel_symbols.sh).
static constexpr std::int64_t points_up_to(std::int64_t L) {
    return L >= 16 ? 2 * L - 16 : 0;
}

// The lengths 16 .. L, powers of two.
static constexpr int lengths_up_to(std::int64_t L) {
    return L >= 16 ? 1 + lengths_up_to(L / 2) : 0;
}

// Doubles before each row of the compact weights: q = -1 and the alignment of row 0 on a
// cache line.
constexpr int WeightHead = 8;

// ---- Memory ------------------------------------------------------------------------------

// The doubles of each table in the working memory for operands of up to n words.
struct TableSizes {
    std::int64_t twiddles, weights, compact_twiddles, compact_weights;
};
constexpr TableSizes table_sizes(std::int64_t n) {
    return {short_table_points(n), 2 * short_table_points(n), 6 * points_up_to(n) / 4,
            points_up_to(n) + 2 * WeightHead * lengths_up_to(n)};
}

// Doubles of working memory that the tables take for operands of up to n words, each table on
// its own cache lines.
constexpr std::int64_t table_memory_words(std::int64_t n) {
    const TableSizes s = table_sizes(n);
    return slice_words(s.twiddles) + slice_words(s.weights) + slice_words(s.compact_twiddles) +
           slice_words(s.compact_weights);
}

// ---- Where an entry stands ---------------------------------------------------------------
// Compiled into each kernel set's namespace and, for the code outside the sets, into `common`.
namespace PIDRM_KERNEL_SET {

// A table in natural order: twiddles and weights of `points` points, as Twiddles[d] and
// Weights[d] hold them.
struct NaturalTable {
    const double* twiddles;
    const double* weights;
    int points;
};

// The natural-order tables of direction d, and the short tables.
inline NaturalTable natural_table(int d) {
    return {Twiddles[d], Weights[d], TablePoints[d]};
}
inline NaturalTable short_table() {
    return {ShortTwiddles, ShortWeights, ShortPoints};
}

// Table stride of length n.
inline int table_stride(int d, int n) {
    return TablePoints[d] / n;
}

// The twiddle entry of angle 0: entry TablePoints/2 - 1. The twiddle w^t of length n,
// 0 <= t < n/2, is point -t*q from it.
inline const double* twiddle_one(int d) {
    return Twiddles[d] + TablePoints[d] - 2;
}

// The twiddle w^t of length n of table `table`, 0 <= t < n. The table holds the half turn
// 0 <= t < n/2; the other half is its negation, w^(t+n/2) = -w^t.
inline void table_twiddle(const NaturalTable& table, int n, int t, double& re, double& im) {
    const bool second = t >= n / 2;
    const double sign = second ? -1.0 : 1.0;
    const double* w = table.twiddles + table.points - 2 -
                      2 * static_cast<std::int64_t>(second ? t - n / 2 : t) * (table.points / n);
    re = sign * w[0];
    im = sign * w[1];
}

// The weight of index i of length n of table `table`, 0 <= i < n: its real part, the
// imaginary part after it.
inline const double* table_weight(const NaturalTable& table, int n, std::int64_t i) {
    const std::int64_t q = table.points / n;
    return table.weights + 2 * (q - 1 + i * q);
}

// The twiddle w^t of length n in direction d of the natural-order tables.
inline void twiddle(int d, int n, int t, double& re, double& im) {
    table_twiddle(natural_table(d), n, t, re, im);
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

// Row q = 0 of the real parts of the compact weights of length n >= 16; that of the
// imaginary parts stands n/2 + WeightHead doubles further on.
inline double* compact_weight_rows(int n) {
    return CompactWeights + points_up_to(n / 2) + 2 * WeightHead * lengths_up_to(n / 2) +
           WeightHead;
}

}  // namespace PIDRM_KERNEL_SET
