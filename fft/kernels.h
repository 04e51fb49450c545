// What the transforms share inside fft/: the twiddle and weight tables, interleaved points,
// the radix-4 butterfly, and the kernels of each kernel set (arith/kernel_sets.h). Not for use
// outside fft/.
//
// Positions count from the end of an array (p = n-1-index): the least significant word of a
// number, which stands last, has position 0 and weight psi^0 = 1.
#pragma once

#include <cstdint>
#include <type_traits>

#include "arith/kernel_sets.h"
#include "arith/lanes.h"
#include "fft/fft.h"

// The longest transform: products of 2^18 words.
constexpr int MaxPoints = 1 << 18;

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

// True when prepare_transforms has made what the permuted transform of length n reads: the
// forward tables and, from 16 points on, the compact copies of that length.
bool transforms_prepared(int n);

// Compact copies of the forward entries for the permuted transform of the products, made by
// prepare_transforms for the lengths 16 .. CompactPoints it has reached: twiddles at every
// length, weights up to CompactLongest.
// They hold what the butterflies of four offsets u .. u+3 (u a multiple of 4) of a stage
// read, side by side, as one run: one stream from memory instead of one for each quarter,
// whose power-of-two distances make them contend for the same cache sets. The weights of the
// longest length are read from the table above, where they stand at a stride of at most 3;
// its twiddles, gathered from the table four offsets at a time, cost the forward transform's
// first stage and the inverse's last about a third of their time (3 % of a run at 2^18
// points), so they have their compact copy (3 MiB). CompactLongest (fft/fft.h) is half the
// longest length.
static_assert(CompactLongest == MaxPoints / 2, "the longest weights alone stay in the table");
// The offsets of a stage of length L stand in runs of T = table_group(L) offsets, u .. u+T-1
// (u a multiple of T), eight from L = 32 on, four at 16 (which has four).
// Twiddles of stage length L: for the offsets of a run, m = L/4, t = m-1-u-k, the real parts
// of w^t (k = 0..T-1), then the imaginary parts, then those of w^2t and w^3t of length L, 6T
// doubles at 6u of the length's run. The inverse transform multiplies by their conjugates,
// which are bit for bit the entries of the inverse tables, as cos is even and sin odd. 3 MiB.
extern double* CompactTwiddles;
// Weights of length n, for the first stage of the forward transform and the last of the
// inverse (their conjugates): for the offsets of a run the real parts of the weights of index
// (3-d)m + u + k (k = 0..T-1), then the imaginary parts, for d = 0..3, 8T doubles at 8u of
// the length's run. 4 MiB.
extern double* CompactWeights;
extern int CompactPoints;

// The helpers below are compiled into each kernel set's namespace and, for the code outside
// the sets, into `common`.
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

inline double* compact_twiddles(int L) {
    return CompactTwiddles + 6LL * (L - 16) / 4;
}
inline double* compact_weights(int n) {
    return CompactWeights + 2LL * (n - 16);
}

// The offsets of a run of the compact tables of stage length L (above).
constexpr int table_group(int L) {
    return L >= 32 ? 8 : 4;
}

// The points of a group in this set's spectra of n points: n below 4, four up to 16 points,
// and from 32 points on as many as the set's widest register holds, at least four.
constexpr int LongGroup = WideLanes >= 8 ? 8 : 4;
constexpr int group_points(int n) {
    return n < 4 ? n : n < 32 ? 4 : LongGroup;
}

// The double at which the real part of point p of a spectrum grouped by G stands; its
// imaginary part stands G doubles further on.
template <int G>
constexpr std::int64_t real_at(std::int64_t p) {
    return 2 * p - (p & (G - 1));
}

// f(g) for the group of spectra of n >= 4 points, g a std::integral_constant of it, so that
// f can take it as a template argument.
template <typename F>
KERNEL_INLINE void with_group(int n, F f) {
    if (group_points(n) == LongGroup) {
        f(std::integral_constant<int, LongGroup>());
    } else {
        f(std::integral_constant<int, 4>());
    }
}

// {product, n points} <- x * y point by point, or with Sum product + x * y, grouped by G
// (n >= G); product may be x or y.
template <int G, bool Sum>
KERNEL_INLINE void pointwise(const double* x, const double* y, double* product, std::int64_t n) {
    typedef typename PackRegister<G>::type R;
    for (std::int64_t at = 0; at < 2 * n; at += 2 * G)
        for (int e = 0; e < G; e += PackRegister<G>::lanes) {
            const std::int64_t re = at + e, im = at + G + e;
            const R xr = load_as<R>(x + re), xi = load_as<R>(x + im);
            const R yr = load_as<R>(y + re), yi = load_as<R>(y + im);
            const R pr = xr * yr - xi * yi, pi = xr * yi + xi * yr;
            store_as(product + re, Sum ? load_as<R>(product + re) + pr : pr);
            store_as(product + im, Sum ? load_as<R>(product + im) + pi : pi);
        }
}

// Interleaved complex points.
inline double* point(double* a, std::int64_t i) {
    return a + 2 * i;
}
inline const double* point(const double* a, std::int64_t i) {
    return a + 2 * i;
}

// The twiddle w^t of length n in direction d, 0 <= t < n. The table holds the half turn
// 0 <= t < n/2; the other half is its negation, w^(t+n/2) = -w^t.
inline void twiddle(int d, int n, int t, double& re, double& im) {
    const bool second = t >= n / 2;
    const double sign = second ? -1.0 : 1.0;
    const double* w = point(
        twiddle_one(d), -static_cast<std::int64_t>(second ? t - n / 2 : t) * table_stride(d, n));
    re = sign * w[0];
    im = sign * w[1];
}

// The radix-4 butterfly on a0..a3 (twiddles applied) for the forward direction:
// y_r = sum_d a_d i^(dr). The inverse one, with (-i)^(dr), is the same with y1 and y3 swapped.
// Each output is written to its own pointer, after every input has been read, so an output
// may be an input. T is double or a type of lanes of doubles.
template <typename T>
KERNEL_INLINE void butterfly4(const T& a0r, const T& a0i, const T& a1r, const T& a1i, const T& a2r,
                              const T& a2i, const T& a3r, const T& a3i, T* y0, T* y1, T* y2,
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

// The permuted transform of each kernel set (fft/permuted_kernels.cpp): the entry points of
// fft.h without their checks.
void permuted_transform(double* points, int n, int direction);
void permuted_transform_words(const double* words, double* spectrum, int n, bool folded);
void permuted_product(const double* words, const double* spectrum, double* points, int n);

}  // namespace PIDRM_KERNEL_SET

// ---- The kernels of the products ---------------------------------------------------------

// The hot loops of fft/ in each kernel set: fft/permuted_kernels.cpp and
// fft/pointwise_kernels.cpp. The entry points of fft.h call those of the active set.
struct ProductKernels {
    // weighted_fft_permuted, without its checks.
    void (*transform)(double* points, int n, int direction);
    // weighted_fft_permuted_words, without its checks.
    void (*transform_words)(const double* words, double* spectrum, int n, bool folded);
    // weighted_fft_permuted_product, without its checks.
    void (*product)(const double* words, const double* spectrum, double* points, int n);
    // multiply_spectra and add_product_of_spectra.
    void (*multiply_spectra)(const double* x, const double* y, double* product, int n);
    void (*add_product_of_spectra)(const double* x, const double* y, double* sum, int n);
    // The source of a product's words for normalize_from: words lo..lo+len-1 of the 2n-word
    // product whose n points stand in `points` after the inverse transform, rounded to whole
    // numbers; returns the largest distance of a coefficient from its whole number.
    WordSource rounded_coefficients;
    // The points of a group in spectra of 32 points or more (spectrum_group).
    int long_group;
};

namespace baseline {
extern const ProductKernels Products;
}
namespace avx2 {
extern const ProductKernels Products;
}
namespace avx512 {
extern const ProductKernels Products;
}

// The product kernels of the active set.
const ProductKernels& product_kernels();
