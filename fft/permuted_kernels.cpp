// The permuted transform of the products: weighted_fft_permuted, in place and depth first,
// its spectrum left in a permuted order of its own; from an operand's words; and the
// depth-first product of an operand with a spectrum.
//
// Products only multiply spectra point by point, so their spectra may stand in any order
// that is the same for every operand. The forward transform is of decimation-in-frequency
// kind and leaves its output in radix-4 digit-reversed order (where groups hold eight, each
// run of 32 points transposed as the leaves leave it); the inverse, of decimation-in-time
// kind, takes that order back to natural order. Both work in place, depth first: one radix-4
// stage over a block (fft/stage_kernels.h), then each of its four quarters transformed to the
// end while it sits in cache, with blocks of BreadthPoints or fewer done stage after stage,
// down to the leaves of 4, 8 or 16 points, whose stages run in registers
// (fft/leaf_kernels.h). Points stand in groups of G (fft/groups.h): four, and eight from 32
// points on where the set's registers hold eight doubles.
//
// Compiled once for each kernel set (arith/kernel_sets.h); fft/permuted.cpp checks the
// arguments and calls the active set's code.
#include <cassert>
#include <cstdint>

#include "fft/groups.h"
#include "fft/leaf_kernels.h"
#include "fft/pointwise_kernels.h"
#include "fft/stage_kernels.h"
#include "fft/table_layout.h"

namespace PIDRM_KERNEL_SET {
namespace {

// Blocks of up to this many points (16 KiB) are transformed stage after stage in L1.
constexpr int BreadthPoints = 1 << 10;

// Block a of L >= 4 points, transformed stage after stage, every block of each stage length.
template <int G>
void forward_breadth(double* a, int L) {
    const int leaf = leaf_length(L);
    for (int len = L; len > leaf; len /= 4) forward_stage<G, false>(a, len, L / len);
    leaf_stages<G>(a, L, leaf, 0);
}

template <int G>
void inverse_breadth(double* a, int L) {
    const int leaf = leaf_length(L);
    leaf_stages<G>(a, L, leaf, 1);
    for (int len = 4 * leaf; len <= L; len *= 4) inverse_stage<G, false>(a, len, L / len, 1.0);
}

// The forward transform of block a, L >= 4 points, depth first.
template <int G>
void forward_depth(double* a, int L) {
    if (L <= BreadthPoints) {
        forward_breadth<G>(a, L);
        return;
    }
    forward_stage<G, false>(a, L, 1);
    for (int r = 0; r < 4; ++r) forward_depth<G>(a + 2LL * r * (L / 4), L / 4);
}

template <int G>
void inverse_depth(double* a, int L) {
    if (L <= BreadthPoints) {
        inverse_breadth<G>(a, L);
        return;
    }
    for (int r = 0; r < 4; ++r) inverse_depth<G>(a + 2LL * r * (L / 4), L / 4);
    inverse_stage<G, false>(a, L, 1, 1.0);
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
    forward_stage<G, false>(a, L, 1);
    for (int r = 0; r < 4; ++r)
        product_depth<G>(a + r * quarter, s == nullptr ? nullptr : s + r * quarter, L / 4);
    inverse_stage<G, false>(a, L, 1, 1.0);
}

// {points, n} grouped by G: each point times scale, then times weight i of the forward short
// table, or by its conjugate when inverse (bit for bit the inverse weight: the product
// with (c, -s) is c r - (-s) m = c r + s m exactly).
void grouped_scale(double* points, int n, int G, double scale, bool inverse) {
    for (std::int64_t i = 0; i < n; ++i) {
        const std::int64_t at = real_at(i, G);
        const double r = points[at] * scale, m = points[at + G] * scale;
        const double* w = table_weight(short_table(), n, i);
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
    const std::int64_t m = n / 4;
    if (d == 0) {
        forward_stage<G, true>(points, n, 1);
        for (int r = 0; r < 4; ++r) forward_depth<G>(points + 2 * r * m, static_cast<int>(m));
    } else {
        for (int r = 0; r < 4; ++r) inverse_depth<G>(points + 2 * r * m, static_cast<int>(m));
        // Dividing by n, a power of two, is multiplying by 1/n exactly.
        inverse_stage<G, true>(points, n, 1, 1.0 / n);
    }
}

template <int G>
void transform_words_grouped(const double* words, double* spectrum, int n, bool folded) {
    const std::int64_t m = n / 4;
    if (folded) {
        forward_stage<G, true, true, true>(spectrum, n, 1, words);
    } else {
        forward_stage<G, true, true>(spectrum, n, 1, words);
    }
    for (int r = 0; r < 4; ++r) forward_depth<G>(spectrum + 2 * r * m, static_cast<int>(m));
}

template <int G>
void product_grouped(const double* words, const double* spectrum, double* points, int n) {
    const std::int64_t quarter = 2LL * (n / 4);
    forward_stage<G, true, true>(points, n, 1, words);
    for (int r = 0; r < 4; ++r)
        product_depth<G>(points + r * quarter,
                         spectrum == nullptr ? nullptr : spectrum + r * quarter, n / 4);
    // Dividing by n, a power of two, is multiplying by 1/n exactly.
    inverse_stage<G, true>(points, n, 1, 1.0 / n);
}

// The stage of a transform of 2 points, one group of two: position 0 (index 1) gets the sum,
// position 1 (index 0) the difference, in both directions.
void stage_of_two(double* a) {
    const double sr = a[1] + a[0], si = a[3] + a[2];
    a[0] = a[1] - a[0], a[2] = a[3] - a[2];
    a[1] = sr, a[3] = si;
}

}  // namespace

void permuted_transform(double* points, int n, int direction) {
    const int d = direction == 1 ? 1 : 0;
    if (n < 16) {
        // The weights as the natural-order transform applies them, then the short stages.
        const int G = group_points(n);
        if (d == 0) grouped_scale(points, n, G, 1.0, false);
        if (n == 2) stage_of_two(points);
        if (n == 4) stages_of_four<4>(points, 4, d);
        if (n == 8) stages_of_eight_and_two<4>(points, 8, d);
        if (d == 1) grouped_scale(points, n, G, 1.0 / n, true);
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