// The DRM arctangent: the worked example, the merge levels, exact blocks and partial sums
// against GMP.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "drm/drm.h"
#include "tests/support/gmp_pi.h"
#include "tests/support/gmp_words.h"

namespace {

using Words = std::vector<double>;

Words words(const double* a, int count) {
    return Words(a, a + count);
}

const int Arguments[] = {5, 10, 18, 49, 57, 239, 515, 682, 12943, 110443};

TEST(AtanDrm, WorkedExampleFiveAtEightWords) {
    atan_drm(5, 8, 1);  // 1/5 - 1/375 = 74/375
    EXPECT_EQ(words(AtanSum, 9),
              (Words{0, 19733, 33333, 33333, 33333, 33333, 33333, 33333, 33358}));
    EXPECT_EQ(words(Numerators, 9), (Words{1, 74, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(words(PowerWork, 9), (Words{1, 375, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(words(OddPower, 9), (Words{1, 125, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(OddCounter, 5);

    atan_drm(5, 8, 2);  // + 170/2734375
    EXPECT_EQ(words(Numerators, 2), (Words{1, 170}));
    EXPECT_EQ(words(OddPower, 9), (Words{2, 1, -21875, 0, 0, 0, 0, 0, 0}));  // 78125, balanced
    EXPECT_EQ(OddCounter, 9);
    const mpq_class want = mpq_class(74, 375) + mpq_class(170, 2734375);
    const mpq_class units = abs(long_value(AtanSum, 8) - want) / radix_power_q(AtanSum[0] - 8);
    EXPECT_LT(units, 100);
}

TEST(AtanDrm, ZeroStepsLeaveZero) {
    AtanSum[3] = 7;
    EXPECT_EQ(atan_drm(239, 8, 0), 0.0);
    EXPECT_EQ(words(AtanSum, 9), Words(9, 0.0));
}

TEST(DrmCombine, TwoLevelsMergeFourTerms) {
    // Four one-term groups of x = 7 with odd numbers 1, 3, 5, 7, merged at k = 4 then 8.
    const int x = 7;
    fill_words(0, Numerators + 1, 16);
    fill_words(0, Denominators + 1, 16);
    for (int i = 1; i <= 4; ++i) {
        Numerators[4 * i] = i % 2 ? 1 : -1;
        Denominators[4 * i] = 2 * i - 1;
    }
    fill_words(0, PowerWork + 1, 4);
    PowerWork[4] = x * x;
    int words = 4;
    EXPECT_LT(drm_combine(4, 2, &words), 1e-9);
    EXPECT_LT(drm_combine(8, 1, &words), 1e-9);
    mpz_class N, D, Y;
    gmp_atan_block(0, 4, x, N, D, Y);
    EXPECT_EQ(run_value(Numerators + 1, 16), N);
    EXPECT_EQ(run_value(Denominators + 1, 16), D);
    EXPECT_EQ(run_value(PowerWork + 1, 16), Y);  // x^8
}

TEST(DrmCombineDeathTest, GroupOverflowStopsTheRun) {
    // One pair whose y^a * D_R = B^(k-1) * B needs k+1 words, among m pairs of zeros. At k = 256
    // the left group's k significant words make the level merge by shared spectra, at k = 4 by
    // products, and at k = 8 with 32 pairs by products with the pairs side by side.
    struct Row {
        int k, m, pair;
    };
    for (const Row& row : {Row{4, 1, 0}, Row{256, 1, 0}, Row{8, 32, 13}}) {
        const int k = row.k;
        SCOPED_TRACE("k=" + std::to_string(k) + " m=" + std::to_string(row.m));
        fill_words(0, Numerators + 1, 2 * k * row.m);
        fill_words(0, Denominators + 1, 2 * k * row.m);
        double* const left = Denominators + 1 + 2 * k * row.pair;
        fill_words(1, left, k);
        left[2 * k - 2] = 1;
        fill_words(0, PowerWork + 1, k);
        PowerWork[1] = 1;
        // The console line goes to standard error here, where the death test reads it.
        std::fflush(stdout);
        int words = k;
        EXPECT_EXIT((dup2(2, 1), drm_combine(k, row.m, &words)), testing::ExitedWithCode(1),
                    " \\*\\* Error Stop \n");
    }
}

// One step from term j0 on, with OddPower = 1: P, the power y^M and the divisor Q*y^M are
// exactly those of the block computed by GMP.
void check_block(int x, int n, long j0) {
    SCOPED_TRACE("x=" + std::to_string(x) + " n=" + std::to_string(n) +
                 " j0=" + std::to_string(j0));
    fill_words(0, AtanSum, n + 1);
    set_small(1, OddPower, n);
    OddCounter = 2.0 * j0 + 1;
    EXPECT_LT(drm_step(x, n), 0.1);
    mpz_class N, D, Y;
    gmp_atan_block(j0, j0 + n / 4, x, N, D, Y);
    EXPECT_EQ(long_value(Numerators, n), mpq_class(N));
    EXPECT_EQ(long_value(OddPower, n), mpq_class(Y));
    EXPECT_EQ(long_value(PowerWork, n), mpq_class(D * Y));
    EXPECT_EQ(OddCounter, 2.0 * (j0 + n / 4) + 1);
}

TEST(DrmStep, BlocksAreExact) {
    long before[MergeRouteCount];
    std::copy(MergeLevels, MergeLevels + MergeRouteCount, before);
    testing::internal::CaptureStdout();
    for (int x : Arguments) {
        for (int n : {8, 16, 64, 512}) {
            check_block(x, n, 0);
            check_block(x, n, 25000);  // odd numbers above 50000 span two words
            check_block(x, n, 49996);  // odd numbers near 100000 and past it
        }
    }
    // Numerators of just over half a group merge folded at half the length: several pairs a
    // level at n = 2048, with the large odd numbers of late terms.
    const int folding[] = {515, 682};
    long folded_levels[2];
    for (int i = 0; i < 2; ++i) {
        const long folded_before = MergeLevels[MergeFolded];
        check_block(folding[i], 2048, 49996);
        folded_levels[i] = MergeLevels[MergeFolded] - folded_before;
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");  // no group overflow
    for (int i = 0; i < 2; ++i) EXPECT_GT(folded_levels[i], 0) << "x=" << folding[i];
    for (int route = 0; route < MergeRouteCount; ++route)
        EXPECT_GT(MergeLevels[route], before[route]) << "no level took route " << route;
}

double LargestAtanError = 0;

// |AtanSum - N / (D x^(2 terms - 1))| in units of AtanSum's last word, in integers.
mpz_class atan_sum_error(int x, int n, long terms) {
    mpz_class N, D, Y, power, scale;
    gmp_atan_block(0, terms, x, N, D, Y);
    mpz_ui_pow_ui(power.get_mpz_t(), x, 2 * terms - 1);
    mpz_ui_pow_ui(scale.get_mpz_t(), 100000, n - static_cast<long>(AtanSum[0]));
    mpz_class exact = N * scale;
    mpz_fdiv_q(exact.get_mpz_t(), exact.get_mpz_t(), mpz_class(D * power).get_mpz_t());
    return abs(run_value(AtanSum + 1, n) - exact);
}

// AtanSum against the exact partial sum of steps*n/4 terms, in units of its last word.
void check_partial_sum(int x, int n, int steps) {
    SCOPED_TRACE("x=" + std::to_string(x) + " n=" + std::to_string(n) +
                 " steps=" + std::to_string(steps));
    const double err = atan_drm(x, n, steps);
    EXPECT_LT(err, 0.1);
    // A block's quotient is right in all words but its last, which carries the Newton
    // reciprocal's last-word error times the dividend (hundreds of units where the divisor's
    // leading word is large); the addition truncates once more. So each step may add up to
    // one unit of the second-to-last word.
    const double units = atan_sum_error(x, n, static_cast<long>(steps) * n / 4).get_d();
    EXPECT_LT(units, 100000.0 * steps);
    LargestAtanError = std::max(LargestAtanError, units);
}

TEST(AtanDrm, PartialSumsAgreeWithGmp) {
    testing::internal::CaptureStdout();
    for (int x : Arguments)
        for (int n : {8, 32, 256, 4096})
            for (int steps = 1; steps <= 3; ++steps) check_partial_sum(x, n, steps);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    std::printf("largest error of a partial sum: %.0f units of the last word\n", LargestAtanError);
}

#ifdef NDEBUG
TEST(AtanDrm, FullLengthAtanOfOneFifth) {
    // The run's step count for a million decimals: 11 steps of 65536 terms each.
    const int n = 1 << 18, steps = 11;
    const double err = atan_drm(5, n, steps);
    EXPECT_LT(err, 0.1);
    const double partial = atan_sum_error(5, n, static_cast<long>(steps) * n / 4).get_d();
    EXPECT_LT(partial, 100000.0 * steps);
    // Against atan(1/5) itself (enough terms that the tail lies below the last word), the
    // sum agrees as far as its 720896 terms reach: about 1.008 million decimals.
    const long all_terms = static_cast<long>(5.0 * n / (2 * std::log10(5.0))) + 10;
    const mpz_class off = atan_sum_error(5, n, all_terms);
    const int off_digits = static_cast<int>(mpz_sizeinbase(off.get_mpz_t(), 10));
    const int words_agreeing = n - (off_digits + 4) / 5;
    std::printf(
        "atan_drm(5, 2^18, 11): RoundingError %g, %g units of the last word from the "
        "partial sum, %d of %d words equal to atan(1/5)\n",
        err, partial, words_agreeing, n);
    EXPECT_GE(words_agreeing, 201000);
}
#endif

}  // namespace
