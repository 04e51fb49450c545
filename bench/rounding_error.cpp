// Largest RoundingError of products at the longest lengths: random balanced words, and the
// worst case of every word at 50000, which makes every coefficient as large as it can be.
// Prints one line per length; exits with status 1 if any product reaches 0.5, where a
// coefficient may have been rounded to the wrong whole number.
#include <cstdio>
#include <random>
#include <vector>

#include "driver/driver.h"
#include "fft/fft.h"

namespace {

constexpr int Trials = 8;  // random products per length

double max_random_error(int n, std::mt19937_64& gen) {
    std::uniform_int_distribution<int> digit(-50000, 50000);
    std::vector<double> x(n + 1), y(n + 1), z(2 * n + 1);
    double err = 0;
    for (int t = 0; t < Trials; ++t) {
        x[0] = y[0] = 1;
        for (int i = 1; i <= n; ++i) x[i] = digit(gen), y[i] = digit(gen);
        err = max2(err, multiply(x.data(), y.data(), z.data(), n, FftScratch));
    }
    return err;
}

double all_half_radix_error(int n) {
    std::vector<double> x(n + 1, 50000.0), z(2 * n + 1);
    x[0] = 1;
    return multiply(x.data(), x.data(), z.data(), n, FftScratch);
}

}  // namespace

int main() {
    lay_out_working_memory(1 << 18);  // the working arrays and tables, as a run lays them out
    std::mt19937_64 gen(20261208);
    bool failed = false;
    std::printf("%8s  %-28s  %s\n", "words", "random (max of 8 products)", "all words 50000");
    for (int n : {1 << 16, 1 << 17, 1 << 18}) {
        const double random = max_random_error(n, gen), worst = all_half_radix_error(n);
        std::printf("%8d  %-28.6g  %.6g\n", n, random, worst);
        failed = failed || !(random < 0.5) || !(worst < 0.5);
    }
    if (failed) std::printf("a RoundingError reached 0.5: some product may be wrong\n");
    return failed ? 1 : 0;
}
