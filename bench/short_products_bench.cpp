// Where short products stop being summed word by word: convolve (word by word up to its
// threshold) against the same product through three transforms, at 2^3..2^10 words.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "fft/fft.h"

namespace {

std::vector<double> random_words(int n, std::mt19937_64& gen) {
    std::uniform_int_distribution<int> digit(-50000, 50000);
    std::vector<double> w(n);
    for (double& v : w) v = digit(gen);
    return w;
}

void BM_Convolve(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    std::mt19937_64 gen(n);
    const std::vector<double> a = random_words(n, gen), b = random_words(n, gen);
    std::vector<double> out(2 * n);
    for (auto _ : state) {
        convolve(a.data(), b.data(), out.data(), n, FftScratch);
        benchmark::DoNotOptimize(out.data());
    }
}

void BM_ProductByTransforms(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    std::mt19937_64 gen(n);
    const std::vector<double> a = random_words(n, gen), b = random_words(n, gen);
    std::vector<double> out(2 * n);
    double* spectrum = FftScratch;
    double* other = FftScratch + 2 * n;
    for (auto _ : state) {
        forward_spectrum(a.data(), spectrum, n);
        forward_spectrum(b.data(), other, n);
        multiply_spectra(spectrum, other, spectrum, n);
        product_from_spectrum(spectrum, out.data(), n);
        benchmark::DoNotOptimize(out.data());
    }
}

BENCHMARK(BM_Convolve)->RangeMultiplier(2)->Range(1 << 3, 1 << 10)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ProductByTransforms)
    ->RangeMultiplier(2)
    ->Range(1 << 3, 1 << 10)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
