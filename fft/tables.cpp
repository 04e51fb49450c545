// The twiddles and weights of the transforms: the natural-order tables of each direction,
// built for the longest length asked for so far, and the short tables and compact copies of
// the forward entries that the permuted transform of the products reads.
//
// Every twiddle and every weight is a root of unity computed from its own angle, a whole
// number of steps of a power-of-two fraction of a turn; nothing is accumulated. The entry of
// length n is bit for bit the entry of twice the steps at length 2n, so the tables are built
// once for the longest length a run uses, and shorter lengths read every q-th entry. A run of
// 10^4 decimals builds them for 2^11 points, not 2^18.
//
// The roots come from sin and cos computed here (unit_root), with plain operations only, not
// from the C library: its sin and cos differ in their last bits from one system to another,
// and on x86-64 Linux from a processor with FMA to one without. With the same twiddles
// everywhere, every product rounds the same coefficients, and the rounding error a run prints
// is the same on every system and processor.
#include <cmath>

#include "fft/butterfly.h"
#include "fft/fft.h"
#include "fft/table_layout.h"

// The shared helpers of the transforms as compiled for the code outside the kernel sets.
using namespace common;

namespace {
// The natural-order tables, apart from the working memory: only the natural-order transform
// and the tables' readers touch them.
double NaturalTwiddles[2][MaxPoints];
double NaturalWeights[2][2 * MaxPoints];
}  // namespace

double* Twiddles[2] = {NaturalTwiddles[0], NaturalTwiddles[1]};
double* Weights[2] = {NaturalWeights[0], NaturalWeights[1]};
int TablePoints[2];

double* ShortTwiddles;
double* ShortWeights;
int ShortPoints;

double* CompactTwiddles;
double* CompactWeights;
int CompactPoints;

namespace {

[[maybe_unused]] bool is_power_of_two(int n) {
    return n >= 1 && (n & (n - 1)) == 0;
}

// The Taylor coefficients 1/k! of sin and cos, from 1/2! to 1/21!, each the quotient of the
// one before by k: a correctly rounded division at every step, the same everywhere.
struct TaylorCoefficients {
    double inverse_factorial[22];
    constexpr TaylorCoefficients() : inverse_factorial() {
        inverse_factorial[0] = inverse_factorial[1] = 1;
        for (int k = 2; k < 22; ++k) inverse_factorial[k] = inverse_factorial[k - 1] / k;
    }
};
constexpr TaylorCoefficients Taylor;

// cos x and sin x for 0 <= x <= pi/4, within a unit in the last place: the Taylor
// series to the terms of degree 20 and 21, whose tails lie below 10^-20 there, evaluated in
// Horner form. sin x is x plus a correction of at most a tenth of it; cos x is 1 - x^2/2 plus
// a correction, with the rounding error of 1 - x^2/2 recovered exactly (Fast2Sum, as 1 >=
// x^2/2).
void cosine_and_sine(double x, double* c, double* s) {
    const double* f = Taylor.inverse_factorial;
    const double z = x * x;
    double odd = f[21], even = f[20];
    for (int k = 19; k >= 3; k -= 2) odd = f[k] - z * odd;    // 1/3! - z/5! + z^2/7! ...
    for (int k = 18; k >= 4; k -= 2) even = f[k] - z * even;  // 1/4! - z/6! + ...
    *s = x - (z * x) * odd;
    const double half_z = 0.5 * z, w = 1 - half_z;
    *c = w + (((1 - w) - half_z) + (z * z) * even);
}

}  // namespace

void unit_root(std::int64_t j, std::int64_t q, double* c, double* s) {
    assert(q >= 1 && (q & (q - 1)) == 0 && j >= 0 && j < q);
    if (q < 8) j *= 8 / q, q = 8;
    // The turn in eighths: octant o, and x the distance in [0, pi/4] from the angle to the
    // nearer quarter turn k, a whole number of steps of 2 pi/q (exact: q is a power of two).
    const std::int64_t eighth = q / 8, o = j / eighth, r = j % eighth;
    const double step = 8 * std::atan(1.0) / static_cast<double>(q);
    const bool after = o % 2 == 0;  // the angle is k quarters plus x, else k quarters less x
    const std::int64_t k = after ? o / 2 : o / 2 + 1;
    double cx, sx;
    cosine_and_sine(static_cast<double>(after ? r : eighth - r) * step, &cx, &sx);
    if (!after) sx = -sx;
    // (cx + i sx) turned by k quarters.
    switch (k % 4) {
        case 0:
            *c = cx, *s = sx;
            break;
        case 1:
            *c = -sx, *s = cx;
            break;
        case 2:
            *c = -cx, *s = -sx;
            break;
        default:
            *c = sx, *s = -cx;
            break;
    }
}

namespace {

// table (n points) <- entry i = e^(i sigma (n-1-i) pi/(2n)), sigma = -1 for inverse.
void make_weights(int n, int direction, double* table) {
    for (int i = 0; i < n; ++i) {
        unit_root(n - 1 - i, 4LL * n, &table[2 * i], &table[2 * i + 1]);
        if (direction == 1) table[2 * i + 1] = -table[2 * i + 1];
    }
}

}  // namespace

void make_twiddles(int half, int direction, double* table) {
    assert(is_power_of_two(half));
    for (int e = 0; e < half; ++e) {
        unit_root(half - 1 - e, 2LL * half, &table[2 * e], &table[2 * e + 1]);
        if (direction == 1) table[2 * e + 1] = -table[2 * e + 1];
    }
}

double* lay_out_fft_memory(double* memory, int n) {
    assert(n >= 2 && n <= MaxPoints && is_power_of_two(n));
    const TableSizes sizes = table_sizes(n);
    FftScratch = take_slice(&memory, scratch_doubles(n));
    // made anew by prepare_transforms
    ShortTwiddles = take_slice(&memory, sizes.twiddles);
    ShortWeights = take_slice(&memory, sizes.weights);
    ShortPoints = 0;
    CompactTwiddles = take_slice(&memory, sizes.compact_twiddles);
    CompactWeights = take_slice(&memory, sizes.compact_weights);
    CompactPoints = 0;
    return memory;
}

int tables_for(int direction, int n) {
    assert(n >= 2 && n <= MaxPoints && is_power_of_two(n));
    const int d = direction == 1 ? 1 : 0;
    if (TablePoints[d] < n) {
        make_twiddles(n / 2, d, Twiddles[d]);
        make_weights(n, d, Weights[d]);
        TablePoints[d] = n;
    }
    return d;
}

bool transforms_prepared(int n) {
    return ShortPoints >= (n < 16 ? n : 8) && (n < 16 || CompactPoints >= n);
}

void prepare_transforms(int n) {
    // The compact copies are made from forward tables of length n in natural order, built for
    // the while in FftScratch (3n of its 6n doubles, which no product has used yet), and the
    // short tables after them. Every entry is unit_root's for its own angle, whatever the
    // length of the table it is read from.
    assert(n >= 2 && n <= MaxPoints && is_power_of_two(n));
    if (transforms_prepared(n)) return;
    if (n >= 16) {
        make_twiddles(n / 2, 0, FftScratch);
        make_weights(n, 0, FftScratch + n);
        const NaturalTable table = {FftScratch, FftScratch + n, n};
        // Compact copies of the lengths not yet copied: each length's run has its own place,
        // so the copies made earlier stay as they are.
        for (int L = CompactPoints < 16 ? 16 : 2 * CompactPoints; L <= n; L *= 2) {
            const int m = L / 4, T = table_group(L);
            for (int u = 0; u < m; ++u) {
                const int t = m - 1 - u, k = u % T;
                double* run = compact_twiddle_run(L, u);
                for (int r = 1; r <= 3; ++r)
                    table_twiddle(table, L, r * t, run[2 * T * (r - 1) + k],
                                  run[2 * T * (r - 1) + T + k]);
            }
            // Row q holds the weight of index 2m + q, q = -1 its mirror's: parts exchanged.
            double* const real = compact_weight_rows(L);
            double* const imaginary = real + L / 2 + WeightHead;
            for (int q = -1; q < 2 * m; ++q) {
                const double* w = table_weight(table, L, 2 * m + (q < 0 ? -1 : q));
                real[q] = w[q < 0 ? 1 : 0];
                imaginary[q] = w[q < 0 ? 0 : 1];
            }
            CompactPoints = L;
        }
    }
    const int s = static_cast<int>(short_table_points(n));
    make_twiddles(s / 2, 0, ShortTwiddles);
    make_weights(s, 0, ShortWeights);
    ShortPoints = s;
}

const double* stored_twiddle(int n, int direction, int e) {
    assert(n >= 2 && n <= MaxPoints && is_power_of_two(n) && e >= 0 && e < n / 2);
    const int d = tables_for(direction, n);
    return point(twiddle_one(d), -static_cast<std::int64_t>(n / 2 - 1 - e) * table_stride(d, n));
}

const double* stored_weight(int n, int direction, int i) {
    assert(n >= 2 && n <= MaxPoints && is_power_of_two(n) && i >= 0 && i < n);
    const int d = tables_for(direction, n), q = table_stride(d, n);
    return point(Weights[d], q - 1 + static_cast<std::int64_t>(i) * q);
}
