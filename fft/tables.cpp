// The twiddles and weights of the transforms: the tables of each direction, built for the
// longest length asked for so far, and the compact copies of the forward entries that the
// permuted transform of the products reads.
//
// Every twiddle and every weight comes from its own angle, one whole number times a step,
// through one cos and one sin call; nothing is accumulated. The step of length n is that of
// length 2n doubled exactly, so an entry of length n is bit for bit an entry of every longer
// length: the tables are built once for the longest length a run uses, and shorter lengths
// read every q-th entry. A run of 10^4 decimals builds them for 2^11 points, not 2^18.
#include <cmath>

#include "fft/kernels.h"

// The shared helpers of fft/kernels.h as compiled for the code outside the kernel sets.
using namespace common;

alignas(LargePage) double Twiddles[2][MaxPoints];
alignas(LargePage) double Weights[2][2 * MaxPoints];
int TablePoints[2];

alignas(LargePage) double CompactTwiddles[6 * (2 * MaxPoints - 16) / 4];
alignas(LargePage) double CompactWeights[2 * (2 * CompactLongest - 16)];
int CompactPoints;

namespace {

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
    return TablePoints[0] >= n && (n < 16 || CompactPoints >= n);
}

void prepare_transforms(int n) {
    // Large pages for what the products of length n use, before the first write to it.
    const auto hold = [](double* table, std::int64_t words, std::size_t capacity) {
        hold_in_large_pages(table, sizeof(double) * words, capacity);
    };
    hold(Twiddles[0], n, sizeof Twiddles[0]);
    hold(Weights[0], 2LL * n, sizeof Weights[0]);
    // The lengths 16..L add up to 2L - 16 points; their compact copies take 1.5 doubles a
    // point (twiddles) and 2 (weights).
    const auto points_up_to = [](std::int64_t L) { return L >= 16 ? 2 * L - 16 : 0; };
    hold(CompactTwiddles, 6 * points_up_to(n) / 4, sizeof CompactTwiddles);
    hold(CompactWeights, 2 * points_up_to(min(n, CompactLongest)), sizeof CompactWeights);
    hold(FftScratch, 6LL * n + 2, sizeof FftScratch);

    const int d = tables_for(0, n);
    // Compact copies of the lengths not yet copied, from the forward tables: each length's
    // run has its own place, so the copies made earlier stay as they are.
    for (int L = CompactPoints < 16 ? 16 : 2 * CompactPoints; L <= n; L *= 2) {
        const int m = L / 4;
        double* c = compact_twiddles(L);
        for (int u = 0; u < m; ++u) {
            const int t = m - 1 - u, k = u % 4;
            double* run = c + 6LL * (u - k);
            for (int r = 1; r <= 3; ++r)
                twiddle(d, L, r * t, run[8 * (r - 1) + k], run[8 * (r - 1) + 4 + k]);
        }
        CompactPoints = L;
        if (L > CompactLongest) break;  // the weights of the longest length stay in the table
        c = compact_weights(L);
        for (int i = 0; i < L; ++i) {
            const int quarter = 3 - i / m, u = i % m, k = u % 4;
            const double* w = stored_weight(L, d, i);
            double* run = c + 8LL * (u - k);
            run[8 * quarter + k] = w[0];
            run[8 * quarter + 4 + k] = w[1];
        }
    }
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
