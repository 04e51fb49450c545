// The kernel sets against each other: every set the processor runs forms every kind of
// product with the bits of the baseline set, whose products the other tests check against
// GMP.
#include "tests/support/kernel_sets.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "fft/fft.h"

namespace {

using Words = std::vector<double>;

// What one kernel set makes of the same operands: the words and rounding errors of a
// product, a square, a sum of two products through kept spectra, and the coefficients of a
// product of two folded operands.
struct Products {
    Words words;
    std::vector<double> errors;
};

Products products_of(const Words& x, const Words& y, int n) {
    Products p;
    const auto keep = [&](const double* words, int count, double error) {
        p.words.insert(p.words.end(), words, words + count);
        p.errors.push_back(error);
    };
    Words z(2 * n + 1), scratch(6 * n), out(2 * n);
    keep(z.data(), 2 * n + 1, multiply(x.data(), y.data(), z.data(), n, scratch.data()));
    keep(z.data(), 2 * n + 1, multiply(x.data(), x.data(), z.data(), n, scratch.data()));
    // x*y + y*x's reverse, one inverse transform.
    Words sx(2 * n), sy(2 * n), sum(2 * n), reverse(y.rbegin(), y.rend() - 1);
    forward_spectrum(x.data() + 1, sx.data(), n);
    forward_spectrum(y.data() + 1, sy.data(), n);
    multiply_spectra(sx.data(), sy.data(), sum.data(), n);
    forward_spectrum(reverse.data(), sx.data(), n);
    add_product_of_spectra(sx.data(), sy.data(), sum.data(), n);
    keep(out.data(), 2 * n, product_from_spectrum(sum.data(), out.data(), n));
    if (n >= 32) {  // x's and y's mantissas as two folded operands of n/2 points
        forward_spectrum_folded(x.data() + 1, sx.data(), n / 2);
        forward_spectrum_folded(y.data() + 1, sy.data(), n / 2);
        multiply_spectra(sx.data(), sy.data(), sx.data(), n / 2);
        keep(out.data(), n, product_coefficients(sx.data(), out.data(), n / 2));
    }
    return p;
}

// Operands at every length from 2 to 2^18 (2^16 words and more only in the optimised build).
// Every length, since each takes kernels of its own: the leaves of 8 points (odd powers of
// two) or of 4 and 16 (even powers), groups of eight from 32 points on, and the compact copies
// of every length's twiddles and weights. The rows: random balanced words; every word at
// +50000, whose coefficients come nearest to rounding the wrong way; and sparse words of
// +-50000 against small ones, whose coefficients are whole numbers and halves of B over zeros:
// digits of +-B/2, which the carries of products check one by one, and chains of carries
// whose guesses fail, which they sweep word by word.
TEST(KernelSets, ProductsHaveTheBaselineBits) {
    enum Kind { Random, AllTop, HalvesTimesSmall };
    const struct {
        const char* name;
        Kind kind;
    } rows[] = {{"random", Random},
                {"every word 50000", AllTop},
                {"sparse +-50000 times small words", HalvesTimesSmall}};
    std::mt19937_64 gen(19);
    std::uniform_int_distribution<int> digit(-50000, 50000);
    const auto word = [&](Kind kind, bool first) -> double {
        switch (kind) {
            case Random:
                return digit(gen);
            case AllTop:
                return 50000;
            default:
                return gen() % 4 ? 0 : first ? gen() % 2 ? 50000 : -50000 : (gen() % 7) - 3.0;
        }
    };
#ifdef NDEBUG
    const int longest = 1 << 18;
#else
    const int longest = 1 << 15;
#endif
    for (int n = 2; n <= longest; n *= 2) {
        for (const auto& row : rows) {
            Words x(n + 1), y(n + 1);
            x[0] = 2, y[0] = -3;
            for (int i = 1; i <= n; ++i) x[i] = word(row.kind, true);
            for (int i = 1; i <= n; ++i) y[i] = word(row.kind, false);
            Products baseline;
            for_each_kernel_set([&](KernelSet set) {
                const Products p = products_of(x, y, n);
                if (set == BaselineKernels) {
                    baseline = p;
                    return;
                }
                SCOPED_TRACE("n=" + std::to_string(n) + ", " + row.name);
                ASSERT_EQ(p.words.size(), baseline.words.size());
                EXPECT_EQ(std::memcmp(p.words.data(), baseline.words.data(),
                                      p.words.size() * sizeof(double)),
                          0);
                EXPECT_EQ(std::memcmp(p.errors.data(), baseline.errors.data(),
                                      p.errors.size() * sizeof(double)),
                          0);
            });
        }
    }
}

}  // namespace
