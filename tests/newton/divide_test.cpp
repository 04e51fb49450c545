// Newton reciprocal and division: the worked cases, then exactness against GMP.
#include <gtest/gtest.h>

#include <vector>

#include "fft/fft.h"
#include "newton/newton.h"
#include "tests/support/gmp_words.h"

namespace {

using Words = std::vector<double>;

Words integer(int value, int n) {
    Words x(n + 1, 0.0);
    set_small(value, x.data(), n);
    return x;
}

// Work area of 4n+2 doubles and the FFT scratch, with room to spare.
struct NewtonArea {
    explicit NewtonArea(int n) : work(4 * n + 2), scratch(6 * n + 2) {}
    Words work, scratch;
};

Words reciprocal_of(const Words& x, int n, double* err = nullptr) {
    Words y(n + 1);
    NewtonArea area(n);
    const double e = reciprocal(x.data(), y.data(), n, area.work.data(), area.scratch.data());
    if (err) *err = e;
    return y;
}

TEST(Reciprocal, WorkedCases) {
    const struct {
        int value;
        Words want;
    } cases[] = {
        {3, {0, 33333, 33333, 33333, 33333}},
        {7, {0, 14286, -28571, -42857, -14286}},
        {1, {0, 100000, 0, 0, 0}},  // starting value exact, word 1 equal to B
    };
    for (const auto& c : cases) {
        double err = -1;
        EXPECT_EQ(reciprocal_of(integer(c.value, 4), 4, &err), c.want) << "1/" << c.value;
        EXPECT_GE(err, 0.0);
        EXPECT_LT(err, 1e-9);
    }
    EXPECT_EQ(reciprocal_of(Words{2, 1, 0, 0, 0}, 4), (Words{-1, 100000, 0, 0, 0}));  // 1/100000
}

TEST(Reciprocal, ReachesFullLengthAtEverySize) {
    // 1/3 has every word 33333: a length that stopped short would leave zeros or junk.
    for (int n = 2; n <= 1024; n *= 2) {
        const Words y = reciprocal_of(integer(3, n), n);
        EXPECT_EQ(y[0], 0) << n;
        for (int i = 1; i <= n; ++i) ASSERT_EQ(y[i], 33333) << "n=" << n << " word " << i;
    }
}

TEST(Divide, SeventyFourOver375) {
    const int n = 8;
    Words x = integer(74, n), y = integer(375, n), z(n + 1);
    NewtonArea area(n);
    divide(x.data(), y.data(), z.data(), n, area.work.data(), area.scratch.data());
    EXPECT_EQ(z, (Words{0, 19733, 33333, 33333, 33333, 33333, 33333, 33333, 33358}));
}

TEST(Divide, OneOverSevenEqualsReciprocal) {
    const int n = 4;
    Words one = integer(1, n), seven = integer(7, n), z(n + 1);
    NewtonArea area(n);
    divide(one.data(), seven.data(), z.data(), n, area.work.data(), area.scratch.data());
    EXPECT_EQ(z, reciprocal_of(seven, n));
}

// The distance, in units of the last of n words, of the n-word number X from the exact
// quotient a / b (a, b its numbers of n words, or a = 1): |X - a/b| / B^(X[0]-n). Worked in
// integers, the words' values V and the exponent k of B collected on one side, so that runs of
// 2^18 words take no rational's greatest common divisor:
//     |Vz B^(ez-n) - Va B^(ea-n) / (Vb B^(eb-n))| / B^(ez-n) = |Vz Vb - Va B^k| / |Vb|,
// k = ea - eb - ez + n, with B^-k moved to the left where k < 0.
double last_word_units(const double* X, const mpz_class& a, int ea, const double* b, int n) {
    const mpz_class vb = run_value(b + 1, n);
    const long k = ea - static_cast<long>(b[0]) - static_cast<long>(X[0]) + n;
    mpz_class power;
    mpz_ui_pow_ui(power.get_mpz_t(), 100000, static_cast<unsigned long>(k < 0 ? -k : k));
    mpz_class left = run_value(X + 1, n) * vb, right = a, below = abs(vb);
    if (k >= 0) {
        right *= power;
    } else {
        left *= power;
        below *= power;
    }
    const mpz_class distance = abs(left - right);
    // Tenths of a unit, enough for the bounds below and the figure reported.
    const mpz_class tenths = distance * 10 / below;
    return tenths.get_d() / 10;
}

void check_against_gmp(int n, int cases, std::mt19937_64& rng, double* largest_divide_error) {
    Words x(n + 1), y(n + 1), z(n + 1), r(n + 1);
    NewtonArea area(n);
    std::uniform_int_distribution<int> exponent(-5, 5);
    for (int c = 0; c < cases; ++c) {
        random_long(x.data(), n, exponent(rng), rng, true);
        random_long(y.data(), n, exponent(rng), rng, true);
        SCOPED_TRACE("n=" + std::to_string(n) + " case " + std::to_string(c) +
                     " y[0..2]=" + std::to_string(y[0]) + "," + std::to_string(y[1]) + "," +
                     std::to_string(y[2]));

        const double e1 = reciprocal(y.data(), r.data(), n, area.work.data(), area.scratch.data());
        EXPECT_LT(e1, 0.1);
        // 1 = B^n B^(n-n): the integer 1 with exponent n.
        const double reciprocal_units = last_word_units(r.data(), 1, n, y.data(), n);
        EXPECT_LT(reciprocal_units, 1) << "reciprocal off by " << reciprocal_units;

        const double e2 =
            divide(x.data(), y.data(), z.data(), n, area.work.data(), area.scratch.data());
        EXPECT_LT(e2, 0.1);
        // Words before the last agree with the exact quotient, up to a carry: the error
        // stays below one unit of word n-1.
        const double units = last_word_units(z.data(), run_value(x.data() + 1, n),
                                             static_cast<int>(x[0]), y.data(), n);
        EXPECT_LT(units, 100000);
        *largest_divide_error = std::max(*largest_divide_error, units);
    }
}

TEST(Divide, AgreesWithGmp) {
    std::mt19937_64 rng(20261208);
    for (int n = 4; n <= (1 << 14); n *= 2) {
        double largest = 0;
        check_against_gmp(n, n <= 256 ? 40 : 4, rng, &largest);
        RecordProperty("largest_last_word_error_n" + std::to_string(n), std::to_string(largest));
        std::printf("n=%d: largest last-word error of divide %.1f units\n", n, largest);
    }
}

#ifdef NDEBUG
TEST(Divide, AgreesWithGmpAtFullLength) {
    std::mt19937_64 rng(262144);
    double largest = 0;
    check_against_gmp(1 << 18, 1, rng, &largest);
    std::printf("n=262144: largest last-word error of divide %.1f units\n", largest);
}
#endif

TEST(Reciprocal, RejectsZeroLeadingWord) {
#ifdef NDEBUG
    GTEST_SKIP() << "assertions are compiled out";
#else
    Words x{1, 0, 5, 0, 0}, y(5);
    NewtonArea area(4);
    EXPECT_DEATH(reciprocal(x.data(), y.data(), 4, area.work.data(), area.scratch.data()), "");
#endif
}

}  // namespace
