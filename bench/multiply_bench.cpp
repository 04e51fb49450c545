// Time of one product of two n-word numbers with random balanced words, with each kernel
// set; at the longest lengths, the same product split into its three transforms and
// everything else, each transform against FFTW's of the same length; and the weighted
// transform pair (forward, then inverse): weighted_fft in natural order, and the permuted
// transform that every product is built from.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <algorithm>
#include <cassert>
#include <chrono>
#include <cstdint>
#include <map>
#include <random>
#include <vector>

#include "arith/kernel_sets.h"
#include "arith/long_number.h"
#include "fft/fft.h"

namespace {

// The arrays of BM_ProductSplit as a run lays out its working memory: one after another, each
// on whole cache lines, in large pages where the system gives them (hold_in_large_pages).
// Vectors of this size come from the system's own allocation, 16 bytes past a page of 4 KiB,
// where every access of a 64-byte register spans two cache lines: a run never sees that.
constexpr std::int64_t SplitLongest = 1 << 18;
constexpr std::int64_t SplitDoubles = 14 * SplitLongest + 64;
alignas(LargePage) double SplitArea[SplitDoubles];

// The next n doubles of the area from *next, which moves past them.
double* split_array(double** next, std::int64_t n) {
    double* const at = take_slice(next, n);
    assert(*next <= SplitArea + SplitDoubles);
    return at;
}

// A number of n words: exponent 1, words uniform in -50000..50000, the top word non-zero.
std::vector<double> random_number(int n, std::mt19937_64& gen) {
    std::uniform_int_distribution<int> digit(-50000, 50000);
    std::vector<double> x(n + 1);
    x[0] = 1;
    for (int i = 1; i <= n; ++i) x[i] = digit(gen);
    if (x[1] == 0) x[1] = 1;
    return x;
}

// n complex points with parts uniform in -1..1.
std::vector<double> random_points(int n) {
    std::mt19937_64 gen(n);
    std::uniform_real_distribution<double> unit(-1, 1);
    std::vector<double> points(2 * n);
    for (double& v : points) v = unit(gen);
    return points;
}

// transforms_ms of BM_ProductSplit by n, for the ratio of each length to the one before.
std::map<int, double> SplitTransformsMs;

// Where the time of a long product goes. Each iteration times a whole product (its Time), and
// beside it, on the same operands, the three weighted permuted transforms a product makes: the
// forward transforms of both operands, packed as the product packs them, and the inverse
// transform of their pointwise product. transforms_ms is the three together, rest_ms the
// remainder of the product (packing, pointwise product, rounding, carries, leading zeros),
// transform_share the transforms' share of the product; all averaged over the iterations
// (the CPU column covers all of an iteration).
//
// The yardstick of the transforms: each iteration also times FFTW's forward complex transform
// of n points in place (fftw_plan_dft_1d, FFTW_MEASURE, one thread: the library's default),
// planned before the timed loop, its points copied in before each transform, as the
// product's operands are before theirs. fftw_ms is its time, over_fftw one of our transforms
// (transforms_ms / 3) over it. over_half_n is transforms_ms over that of n/2 words earlier in
// the same run, 0 where that did not run (n log n gives 2 (1 + 1 / log2(n/2)): 2.12 at 2^18).
// Product, transforms and FFTW's transform alternate, so that other work on the machine weighs
// on all alike. It runs first: the CSV output takes its columns from the first benchmark, so
// that one carries every counter of the file.
void BM_ProductSplit(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    const int n = static_cast<int>(state.range(0));
    std::mt19937_64 gen(n);
    const std::vector<double> xs = random_number(n, gen), ys = random_number(n, gen);
    assert(n <= SplitLongest);
    hold_in_large_pages(SplitArea, sizeof SplitArea, sizeof SplitArea);
    double* next = SplitArea;
    double *x = split_array(&next, n + 1), *y = split_array(&next, n + 1);
    double *z = split_array(&next, 2LL * n + 1), *packed_x = split_array(&next, 2LL * n);
    double *packed_y = split_array(&next, 2LL * n), *sx = split_array(&next, 2LL * n);
    double *sy = split_array(&next, 2LL * n), *fftw_first = split_array(&next, 2LL * n);
    std::copy(xs.begin(), xs.end(), x);
    std::copy(ys.begin(), ys.end(), y);
    // The transforms' inputs as forward_spectrum lays them out: words as real parts, zero
    // imaginary parts, grouped.
    std::fill(packed_x, packed_x + 2 * n, 0.0);
    std::fill(packed_y, packed_y + 2 * n, 0.0);
    for (int i = 0; i < n; ++i) {
        packed_x[spectrum_real(i, n)] = x[i + 1];
        packed_y[spectrum_real(i, n)] = y[i + 1];
    }
    const std::vector<double> fftw_input = random_points(n);
    // FFTW's points in the same area, (re, im) interleaved, aligned as fftw_malloc aligns.
    fftw_complex* fftw_points = reinterpret_cast<fftw_complex*>(fftw_first);
    const fftw_plan plan =
        fftw_plan_dft_1d(n, fftw_points, fftw_points, FFTW_FORWARD, FFTW_MEASURE);
    std::chrono::duration<double> transforms{0}, whole{0}, fftw{0};
    double err = 0;
    for (auto _ : state) {
        std::copy(packed_x, packed_x + 2 * n, sx);
        std::copy(packed_y, packed_y + 2 * n, sy);
        const auto t0 = Clock::now();
        weighted_fft_permuted(sx, n, 0);
        weighted_fft_permuted(sy, n, 0);
        const auto t1 = Clock::now();
        multiply_spectra(sx, sy, sx, n);
        const auto t2 = Clock::now();
        weighted_fft_permuted(sx, n, 1);
        const auto t3 = Clock::now();
        err = max2(err, multiply(x, y, z, n, FftScratch));
        const auto t4 = Clock::now();
        std::copy(fftw_input.begin(), fftw_input.end(), fftw_first);
        const auto t5 = Clock::now();
        fftw_execute(plan);
        const auto t6 = Clock::now();
        benchmark::DoNotOptimize(sx);
        benchmark::DoNotOptimize(z);
        benchmark::DoNotOptimize(fftw_first);
        transforms += (t1 - t0) + (t3 - t2);
        whole += t4 - t3;
        fftw += t6 - t5;
        state.SetIterationTime(std::chrono::duration<double>(t4 - t3).count());
    }
    fftw_destroy_plan(plan);
    const double iterations = static_cast<double>(state.iterations());
    const double transforms_ms = 1e3 * transforms.count() / iterations;
    state.counters["transforms_ms"] = transforms_ms;
    state.counters["rest_ms"] = 1e3 * (whole - transforms).count() / iterations;
    state.counters["transform_share"] = transforms.count() / whole.count();
    state.counters["fftw_ms"] = 1e3 * fftw.count() / iterations;
    state.counters["over_fftw"] = transforms.count() / 3 / fftw.count();
    const auto half = SplitTransformsMs.find(n / 2);
    state.counters["over_half_n"] =
        half == SplitTransformsMs.end() ? 0.0 : transforms_ms / half->second;
    SplitTransformsMs[n] = transforms_ms;
    state.counters["RoundingError"] = err;
}

BENCHMARK(BM_ProductSplit)
    ->RangeMultiplier(2)
    ->Range(1 << 16, 1 << 18)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The second argument is the kernel set (arith/kernel_sets.h): 0 baseline, 1 AVX2, 2 AVX-512.
void BM_Multiply(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const KernelSet set = static_cast<KernelSet>(state.range(1)), before = ActiveKernels;
    if (!kernel_set_available(set)) {
        state.SkipWithError("this processor or build lacks the kernel set");
        return;
    }
    use_kernel_set(set);
    std::mt19937_64 gen(n);
    const std::vector<double> x = random_number(n, gen), y = random_number(n, gen);
    std::vector<double> z(2 * n + 1);
    double err = 0;
    for (auto _ : state) {
        err = max2(err, multiply(x.data(), y.data(), z.data(), n, FftScratch));
        benchmark::DoNotOptimize(z.data());
    }
    state.counters["RoundingError"] = err;
    use_kernel_set(before);
}

// Every power of two from 2^4 words up to 2^18, the working length of the longest runs, with
// each kernel set.
BENCHMARK(BM_Multiply)
    ->ArgsProduct({benchmark::CreateRange(1 << 4, 1 << 18, 2),
                   {BaselineKernels, Avx2Kernels, Avx512Kernels}})
    ->ArgNames({"n", "set"})
    ->Unit(benchmark::kMicrosecond);

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
