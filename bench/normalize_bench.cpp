// Time of normalize_carries on the 2n words of a product at the longest length (n = 2^18),
// against the two-sweep version it replaced, in both carry modes.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "arith/long_number.h"
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

}  // namespace

BENCHMARK_MAIN();
