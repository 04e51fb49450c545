// Time of normalize_carries on the 2n words of a product at the longest length (n = 2^18),
// against the two-sweep version it replaced, in both carry modes; and of the rounding and
// carries of a product's points, in one pass (normalize_product) and as the rounded words
// written out and carried (normalize_from with rounded_coefficients).
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "arith/kernel_sets.h"
#include "arith/long_number.h"
#include "fft/fft.h"
#include "tests/support/normalize_reference.h"

namespace {

constexpr int Words = 1 << 19;

// Coefficients shaped like those of a product of two n-word numbers with random balanced
// words: coefficient k sums m = min(k+1, 2n-1-k) products of words uniform in -B/2..B/2,
// so it is drawn as a whole number with the spread of such a sum, sqrt(m)*(B/2)^2/3.
const std::vector<double>& product_words() {
    static std::vector<double> w;
    if (w.empty()) {
        std::mt19937_64 gen(2026);
        std::normal_distribution<double> normal;
        w.resize(Words);
        for (int k = 0; k < Words; ++k) {
            const double m = std::min(k + 1, Words - 1 - k) + 0.0;
            w[k] = std::nearbyint(normal(gen) * std::sqrt(m) * 2.5e9 / 3);
        }
    }
    return w;
}

template <void (*Normalize)(double*, int)>
void BM_Normalize(benchmark::State& state) {
    CarryMode = static_cast<int>(state.range(0));
    const std::vector<double>& in = product_words();
    std::vector<double> m(in.size());
    for (auto _ : state) {
        state.PauseTiming();
        m = in;
        state.ResumeTiming();
        Normalize(m.data(), Words);
        benchmark::DoNotOptimize(m.data());
    }
    CarryMode = -1;
}

// The argument is CarryMode: -1 balanced digits (every product), +1 plain digits.
BENCHMARK_TEMPLATE(BM_Normalize, normalize_carries_two_sweeps)
    ->Arg(-1)
    ->Arg(1)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(BM_Normalize, normalize_carries)->Arg(-1)->Arg(1)->Unit(benchmark::kMicrosecond);

// The points of the product of two numbers of n random balanced words after the inverse
// transform, as a product hands them to its rounding and carries.
std::vector<double> product_points(int n) {
    std::mt19937_64 gen(n);
    std::uniform_int_distribution<int> digit(-50000, 50000);
    std::vector<double> x(n), y(n), sx(2 * n), points(2 * n);
    for (int i = 0; i < n; ++i) x[i] = digit(gen), y[i] = digit(gen);
    forward_spectrum(x.data(), sx.data(), n);
    forward_spectrum(y.data(), points.data(), n);
    multiply_spectra(sx.data(), points.data(), points.data(), n);
    weighted_fft_permuted(points.data(), n, 1);
    return points;
}

double rounded_then_carried(const double* points, double* M, int words) {
    return normalize_from(active_kernels().rounded_coefficients, points, M, words);
}

// The 2n words of a product of n-word numbers from its points (the argument: n).
template <double (*Normalize)(const double*, double*, int)>
void BM_ProductDigits(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const std::vector<double> points = product_points(n);
    std::vector<double> M(2 * n);
    for (auto _ : state) {
        benchmark::DoNotOptimize(Normalize(points.data(), M.data(), 2 * n));
        benchmark::DoNotOptimize(M.data());
    }
}
BENCHMARK_TEMPLATE(BM_ProductDigits, rounded_then_carried)
    ->Arg(1 << 14)
    ->Arg(1 << 18)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(BM_ProductDigits, normalize_product)
    ->Arg(1 << 14)
    ->Arg(1 << 18)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
