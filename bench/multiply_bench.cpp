// Time of one product of two n-word numbers with random balanced words, and of the weighted
// transform pair (forward, then inverse): weighted_fft in natural order, and the permuted
// transform that every product is built from.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "fft/fft.h"

namespace {

// A number of n words: exponent 1, words uniform in -50000..50000, the top word non-zero.
std::vector<double> random_number(int n, std::mt19937_64& gen) {
    std::uniform_int_distribution<int> digit(-50000, 50000);
    std::vector<double> x(n + 1);
    x[0] = 1;
    for (int i = 1; i <= n; ++i) x[i] = digit(gen);
    if (x[1] == 0) x[1] = 1;
    return x;
}

void BM_Multiply(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    std::mt19937_64 gen(n);
    const std::vector<double> x = random_number(n, gen), y = random_number(n, gen);
    std::vector<double> z(2 * n + 1);
    double err = 0;
    for (auto _ : state) {
        err = max2(err, multiply(x.data(), y.data(), z.data(), n, FftScratch));
        benchmark::DoNotOptimize(z.data());
    }
    state.counters["RoundingError"] = err;
}

// Every power of two from 2^4 words up to 2^18, the working length of the longest runs.
BENCHMARK(BM_Multiply)->RangeMultiplier(2)->Range(1 << 4, 1 << 18)->Unit(benchmark::kMicrosecond);

// n complex points with parts uniform in -1..1.
std::vector<double> random_points(int n) {
    std::mt19937_64 gen(n);
    std::uniform_real_distribution<double> unit(-1, 1);
    std::vector<double> points(2 * n);
    for (double& v : points) v = unit(gen);
    return points;
}

// One forward and one inverse weighted transform of n points; the round trip keeps the
// points of size about 1 however often it runs.
void BM_WeightedTransformPair(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    std::vector<double> points = random_points(n);
    for (auto _ : state) {
        weighted_fft(points.data(), n, 0, FftScratch);
        weighted_fft(points.data(), n, 1, FftScratch);
        benchmark::DoNotOptimize(points.data());
    }
}

BENCHMARK(BM_WeightedTransformPair)
    ->RangeMultiplier(2)
    ->Range(1 << 10, 1 << 18)
    ->Unit(benchmark::kMicrosecond);

// The same pair in the permuted order of the products' spectra.
void BM_PermutedTransformPair(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    std::vector<double> points = random_points(n);
    for (auto _ : state) {
        weighted_fft_permuted(points.data(), n, 0);
        weighted_fft_permuted(points.data(), n, 1);
        benchmark::DoNotOptimize(points.data());
    }
}

BENCHMARK(BM_PermutedTransformPair)
    ->RangeMultiplier(2)
    ->Range(1 << 10, 1 << 18)
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
