// Carry normalisation, stripping and the scalar helpers of the number format.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "arith/lanes.h"
#include "arith/long_number.h"
#include "tests/support/kernel_sets.h"
#include "tests/support/long_number_check.h"
#include "tests/support/normalize_reference.h"

namespace {

using ModeGuard = CarryModeGuard;

struct CarryCase {
    const char* name;
    int mode;
    Words in, out;
};

class NormalizeCarries : public testing::TestWithParam<CarryCase> {};

TEST_P(NormalizeCarries, GivesDigitsOfTheMode) {
    const CarryCase& c = GetParam();
    ModeGuard mode(c.mode);
    Words m = c.in;
    normalize_carries(m.data(), static_cast<int>(m.size()));
    EXPECT_EQ(m, c.out);
}

const CarryCase carry_cases[] = {
    {"BalancedHalfStays", -1, {7, 50000}, {7, 50000}},
    {"BalancedAboveHalf", -1, {7, 50001}, {8, -49999}},
    {"BalancedMinusHalfStays", -1, {7, -50000}, {7, -50000}},
    {"BalancedBelowMinusHalf", -1, {7, -50001}, {6, 49999}},
    {"BalancedTwoAndAHalfRadix", -1, {7, 250000}, {9, 50000}},
    {"BalancedJustAbove", -1, {7, 250001}, {10, -49999}},
    {"BalancedRipplesAllWay", -1, {0, 50000, 50000, 50001}, {1, -49999, -49999, -49999}},
    {"PlainBorrow", 1, {7, -1}, {6, 99999}},
    {"PlainTopTurnsNegative", 1, {0, -1}, {-1, 99999}},
    {"PlainTopReachesRadix", 1, {99999, 100000}, {100000, 0}},
    {"PlainCarryRipplesThroughRun", 1, {1, 99999, 99999, 100000}, {2, 0, 0, 0}},
    {"PlainBorrowRipplesThroughRun", 1, {1, 0, 0, -1}, {0, 99999, 99999, 99999}},
    // A convolution coefficient of 2^18 * 50000^2: its carry needs more than 32 bits.
    {"WideCarry", -1, {0, 655360000000000.0}, {6553600000, 0}},
    {"WideNegativeCarry", 1, {0, -655360000000001.0}, {-6553600001, 99999}},
    {"SingleWordUntouched", -1, {123456789}, {123456789}},
};

INSTANTIATE_TEST_SUITE_P(Cases, NormalizeCarries, testing::ValuesIn(carry_cases),
                         [](const testing::TestParamInfo<CarryCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(NormalizeCarries, ConvertsBetweenModesWithoutChangingTheValue) {
    // 3.14159 26535 89793 in plain digits and in balanced digits.
    Words plain = {3, 14159, 26535, 89793}, balanced = {3, 14159, 26536, -10207};
    Words m = plain;
    normalize_carries(m.data(), 4);
    EXPECT_EQ(m, balanced);
    ModeGuard mode(1);
    normalize_carries(m.data(), 4);
    EXPECT_EQ(m, plain);
}

// ---- Against the two-sweep reference, bit for bit --------------------------------------

// Index of the first word whose bits differ (so -0 differs from +0), or -1.
long first_difference(const Words& a, const Words& b) {
    for (size_t i = 0; i < a.size(); ++i)
        if (std::memcmp(&a[i], &b[i], sizeof(double)) != 0) return static_cast<long>(i);
    return -1;
}

// Normalises `in` both ways in both modes, with each kernel set, and expects the same bits;
// guard words around the run catch a write outside it.
void expect_as_two_sweeps(const Words& in) {
    for_each_kernel_set([&](KernelSet) {
        for (int mode : {-1, 1}) {
            ModeGuard guard(mode);
            SCOPED_TRACE("mode " + std::to_string(mode) + ", n " + std::to_string(in.size()));
            Words want = in;
            normalize_carries_two_sweeps(want.data(), static_cast<int>(want.size()));
            Fenced got(in);
            normalize_carries(got.at(), static_cast<int>(in.size()));
            EXPECT_TRUE(got.guards_intact());
            const long i = first_difference(got.words(), want);
            if (i >= 0) {
                const long lo = std::max(0L, i - 2), hi = std::min<long>(in.size(), i + 3);
                std::ostringstream s;
                s.precision(17);
                s << "first difference at word " << i << "; words " << lo << ".. in / got / want:";
                for (long j = lo; j < hi; ++j)
                    s << "\n  " << in[j] << " / " << got.words()[j] << " / " << want[j];
                ADD_FAILURE() << s.str();
            }
        }
    });
}

constexpr double Half = 50000, RadixLess1 = 99999;
const double TwoTo52 = std::ldexp(1.0, 52);
// The largest word accepted: every word plus its carry stays below 2^53.
const double LargestWord = std::ldexp(1.0, 53) - std::ldexp(1.0, 37);

struct RunPattern {
    const char* name;
    std::function<Words(int n, std::mt19937_64& gen)> make;
};

Words filled(int n, double v, double bottom) {
    Words w(n, v);
    if (n > 0) w[n - 1] = bottom;
    return w;
}

double random_sign(std::mt19937_64& gen) {
    return gen() & 1 ? 1.0 : -1.0;
}

// Words at random from the digit-range ends and their neighbours, with runs of one repeated
// value (carry chains) of random length, and now and then a product-sized coefficient.
Words ends_and_chains(int n, std::mt19937_64& gen) {
    const double values[] = {0,        -0.0,      1,        -1,        Half,       -Half,
                             Half + 1, -Half - 1, Half - 1, -Half + 1, RadixLess1, -RadixLess1,
                             1e5,      -1e5,      150000,   -150000,   6.6e14,     -6.6e14};
    const int count = sizeof(values) / sizeof(values[0]);
    Words w(n);
    for (int i = 0; i < n;) {
        const double v = values[gen() % count];
        const int run = gen() % 4 == 0 ? 1 + static_cast<int>(gen() % 300) : 1;
        for (int j = 0; j < run && i < n; ++j) w[i++] = v;
    }
    return w;
}

const RunPattern run_patterns[] = {
    {"AllZero", [](int n, std::mt19937_64&) { return Words(n, 0.0); }},
    {"MinusZeros", [](int n, std::mt19937_64&) { return Words(n, -0.0); }},
    {"MinusZeroBottomOnly", [](int n, std::mt19937_64&) { return filled(n, 0, -0.0); }},
    {"AllPlusHalf", [](int n, std::mt19937_64&) { return Words(n, Half); }},
    {"AllMinusHalf", [](int n, std::mt19937_64&) { return Words(n, -Half); }},
    {"PlusHalvesAboveBottomHalfPlusOne",
     [](int n, std::mt19937_64&) { return filled(n, Half, Half + 1); }},
    {"MinusHalvesAboveBottomHalfMinusOne",
     [](int n, std::mt19937_64&) { return filled(n, -Half, -Half - 1); }},
    {"AlternatingThreeHalves",
     [](int n, std::mt19937_64&) {
         Words w(n);
         for (int i = 0; i < n; ++i) w[i] = i % 2 ? 150000 : -150000;
         return w;
     }},
    {"NinesAboveBottomRadix",
     [](int n, std::mt19937_64&) { return filled(n, RadixLess1, 100000); }},
    {"MinusNinesAboveBottomMinusRadix",
     [](int n, std::mt19937_64&) { return filled(n, -RadixLess1, -100000); }},
    {"ZerosAboveBottomMinusOne", [](int n, std::mt19937_64&) { return filled(n, 0, -1); }},
    // A carry that climbs two words into leading -0 words: those it leaves alone are +0 too.
    {"MinusZerosAboveACarry", [](int n, std::mt19937_64&) { return filled(n, -0.0, 7e9); }},
    {"AlternatingNines",
     [](int n, std::mt19937_64&) {
         Words w(n);
         for (int i = 0; i < n; ++i) w[i] = i % 2 ? RadixLess1 : -RadixLess1;
         return w;
     }},
    {"ProductCoefficients",
     [](int n, std::mt19937_64& gen) {
         std::uniform_int_distribution<int64_t> c(-660000000000000, 660000000000000);
         Words w(n);
         for (double& x : w) x = static_cast<double>(c(gen));
         return w;
     }},
    {"ProductCoefficientsOfOneSign",
     [](int n, std::mt19937_64& gen) {
         std::uniform_int_distribution<int64_t> c(600000000000000, 660000000000000);
         Words w(n);
         for (double& x : w) x = static_cast<double>(c(gen));
         return w;
     }},
    {"NearTwoTo52",
     [](int n, std::mt19937_64& gen) {
         Words w(n);
         for (double& x : w) x = random_sign(gen) * (TwoTo52 - static_cast<double>(gen() % 200000));
         return w;
     }},
    {"LargestAccepted", [](int n, std::mt19937_64&) { return Words(n, LargestWord); }},
    {"LargestAcceptedBothSigns",
     [](int n, std::mt19937_64& gen) {
         Words w(n);
         for (double& x : w) x = random_sign(gen) * LargestWord;
         return w;
     }},
    {"EndsAndChains", ends_and_chains},
};

class NormalizeAsTwoSweeps : public testing::TestWithParam<RunPattern> {};

// Short runs, runs around the shortest one whose carries are guessed (17 words) and around
// a chunk (256 words), and lengths that leave every top chunk from 1 to 3 words.
TEST_P(NormalizeAsTwoSweeps, SameBitsInBothModes) {
    const int lengths[] = {0,   1,   2,   3,   4,   5,   7,    8,    16,   17,    18,
                           255, 256, 257, 258, 259, 260, 1031, 4096, 4099, 65537, 65538};
    std::mt19937_64 gen(20261209);
    for (int n : lengths) expect_as_two_sweeps(GetParam().make(n, gen));
}

INSTANTIATE_TEST_SUITE_P(Patterns, NormalizeAsTwoSweeps, testing::ValuesIn(run_patterns),
                         [](const testing::TestParamInfo<RunPattern>& info) {
                             return std::string(info.param.name);
                         });

// A product-length run whose carry chains sit across the boundaries of the chunks the carries
// are settled in (every 256 words up from the bottom: 1024, 2048 and 3072 lie near the splits):
// runs of +-B/2 and +-(B-1) of lengths up to 600 words around each boundary, ending below
// either in a word that starts a ripple or in two zeros over a product coefficient, whose
// carry of 6.6e9 reaches the run only through both zeros.
TEST(NormalizeAsTwoSweeps, ChainsAcrossEverySplit) {
    const int n = 1 << 12, digits = n - 1, len = digits / 4, first = n - 4 * len;
    std::mt19937_64 gen(7);
    std::uniform_int_distribution<int> small(-3 * 50000, 3 * 50000);
    for (bool zeros_over_coefficient : {false, true}) {
        for (double v : {Half, -Half, RadixLess1, -RadixLess1}) {
            for (int run = 1; run <= 600; run = run * 3 / 2 + 1) {
                Words w(n);
                for (double& x : w) x = small(gen);
                for (int k = 1; k < 4; ++k) {
                    const int top = std::max(1, first + k * len - run / 2), end = top + run;
                    for (int j = top; j < end; ++j) w[j] = v;
                    if (zeros_over_coefficient) {
                        w[end] = w[end + 1] = 0;
                        w[end + 2] = v > 0 ? 6.6e14 : -6.6e14;
                    } else {
                        w[end] = v > 0 ? v + 1 : v - 1;
                    }
                }
                SCOPED_TRACE("chains of " + std::to_string(run) + " words of " + std::to_string(v) +
                             (zeros_over_coefficient ? " over 0, 0, 6.6e14" : ""));
                expect_as_two_sweeps(w);
            }
        }
    }
}

// Random runs of lengths on a log scale: product coefficients, word sums and mixtures.
TEST(NormalizeAsTwoSweeps, RandomRuns) {
    const unsigned seed = 314159;
    std::mt19937_64 gen(seed);
    std::uniform_int_distribution<int64_t> product(-660000000000000, 660000000000000),
        sum(-200000, 200000);
    for (int trial = 0; trial < 60; ++trial) {
        const int n = static_cast<int>(std::exp2(std::uniform_real_distribution<>(0, 19)(gen)));
        SCOPED_TRACE("seed " + std::to_string(seed) + ", trial " + std::to_string(trial));
        Words w(n);
        for (double& x : w) {
            switch (trial % 3) {
                case 0:
                    x = static_cast<double>(product(gen));
                    break;
                case 1:
                    x = static_cast<double>(sum(gen));
                    break;
                default:
                    x = gen() % 2 ? static_cast<double>(product(gen)) : sum(gen);
                    break;
            }
        }
        expect_as_two_sweeps(w);
    }
}

// normalize_from reading another array: the same bits as normalize_carries in place, and the
// largest distance any chunk's source returned (here the chunk's first word index / 10^9).
TEST(NormalizeFrom, ReadsAnotherArrayAndReturnsLargestDistance) {
    const WordSource copy = [](const double* from, int, int lo, int len, double* X) {
        std::copy(from + lo, from + lo + len, X);
        return lo * 1e-9;
    };
    std::mt19937_64 gen(17);
    for (int mode : {-1, 1}) {
        ModeGuard guard(mode);
        for (int n : {2, 17, 257, 1000}) {
            const Words in = ends_and_chains(n, gen);
            Words want = in;
            normalize_carries(want.data(), n);
            Fenced got(Words(n, 0.5));
            EXPECT_EQ(normalize_from(copy, in.data(), got.at(), n), std::max(0, n - 256) * 1e-9);
            EXPECT_EQ(first_difference(got.words(), want), -1) << "mode " << mode << " n " << n;
            EXPECT_TRUE(got.guards_intact());
        }
    }
}

// floor_whole rounds the products' coefficients: std::floor bit for bit below 2^51, at whole
// numbers, at halves and next to them, of both signs (every v but -0, which gives +0), in
// every lane.
TEST(FloorWhole, EqualsStdFloor) {
    using common::floor_whole, common::lanes;
    std::mt19937_64 gen(51);
    std::uniform_real_distribution<double> unit(-1, 1);
    for (int i = 0; i < 20000; ++i) {
        const double v = std::ldexp(unit(gen), i % 52), k = std::floor(v);
        for (double x :
             {v, k, k + 0.5, k - 0.5, std::nextafter(k + 0.5, 0.0), std::nextafter(k, -1.0)})
            for (int lane = 0; lane < 4; ++lane)
                ASSERT_EQ(first_difference({floor_whole(lanes(x, x, x, x))[lane]}, {std::floor(x)}),
                          -1)
                    << std::scientific << x;
    }
}

struct StripCase {
    const char* name;
    Words in, out;
};

class StripLeadingZeros : public testing::TestWithParam<StripCase> {};

TEST_P(StripLeadingZeros, ShiftsWordsUpAndLowersExponent) {
    Words x = GetParam().in;
    strip_leading_zeros(x.data(), static_cast<int>(x.size()) - 1);
    EXPECT_EQ(x, GetParam().out);
}

const StripCase strip_cases[] = {
    {"TwoZeros", {2, 0, 0, 7, 8}, {0, 7, 8, 0, 0}},
    {"NoZero", {5, 1, 0, 0, 2}, {5, 1, 0, 0, 2}},
    {"NegativeZeroCounts", {1, -0.0, 4, 0, 0}, {0, 4, 0, 0, 0}},
    {"AllZero", {3, 0, 0, 0, 0}, {-1, 0, 0, 0, 0}},
    {"NoWords", {3}, {3}},
};

INSTANTIATE_TEST_SUITE_P(Cases, StripLeadingZeros, testing::ValuesIn(strip_cases),
                         [](const testing::TestParamInfo<StripCase>& info) {
                             return std::string(info.param.name);
                         });

// Zeros of either sign count, whole blocks of eight or not, up to the first word of any
// other value, however small, and every word of an all-zero run counts.
TEST(LeadingZeroWords, StopsAtFirstOtherWordOfAnyPosition) {
    for (int n : {1, 7, 8, 9, 16, 23}) {
        for (int zeros = 0; zeros <= n; ++zeros) {
            for (double first : {1.0, -50000.0, 1e-300}) {
                Words m(n, 7.0);
                for (int i = 0; i < zeros; ++i) m[i] = i % 3 == 1 ? -0.0 : 0.0;
                if (zeros < n) m[zeros] = first;
                EXPECT_EQ(leading_zero_words(m.data(), n), zeros) << "n=" << n << " " << first;
            }
        }
    }
}

TEST(AsInteger, ReadsMantissaAsInteger) {
    Words x = {-17, 0, 0, 12, 345};
    as_integer(x.data(), 4);
    EXPECT_EQ(x, (Words{2, 12, 345, 0, 0}));  // 12 * 10^5 + 345 = 1200345
    Words zero = {9, 0, 0, 0, 0};
    as_integer(zero.data(), 4);
    EXPECT_EQ(zero, (Words{0, 0, 0, 0, 0}));
}

TEST(SetSmall, SetsOneWordValue) {
    Words x = {9, 9, 9, 9, 9};
    set_small(1, x.data(), 4);
    EXPECT_EQ(x, (Words{1, 1, 0, 0, 0}));
}

TEST(FillAndCopy, TouchOnlyTheirCount) {
    Words x = {5, 5, 5, 5};
    fill_words(0, x.data() + 1, 2);
    EXPECT_EQ(x, (Words{5, 0, 0, 5}));
    fill_words(7, x.data(), 0);
    Words y = {1, 2, 3, 4};
    copy_words(y.data(), x.data(), 3);
    EXPECT_EQ(x, (Words{1, 2, 3, 5}));
    copy_words(x.data(), x.data(), 4);  // the same array: no effect
    EXPECT_EQ(x, (Words{1, 2, 3, 5}));
}

TEST(ScalarHelpers, Ilog2) {
    const int cases[][2] = {{0, -1},      {1, 0},       {2, 1},        {3, 1},
                            {4, 2},       {1023, 9},    {1024, 10},    {65536, 16},
                            {262143, 17}, {262144, 18}, {1 << 30, 30}, {(1 << 30) - 1, 29}};
    for (const auto& c : cases) EXPECT_EQ(ilog2(c[0]), c[1]) << "ilog2(" << c[0] << ")";
    // Every power of two and its neighbours below 2^30.
    for (int k = 1; k < 30; ++k) {
        EXPECT_EQ(ilog2(1 << k), k);
        EXPECT_EQ(ilog2((1 << k) - 1), k - 1);
        EXPECT_EQ(ilog2((1 << k) + 1), k);
    }
}

TEST(ScalarHelpers, IpowMaxMin) {
    EXPECT_EQ(ipow(10, 5), 100000);
    EXPECT_EQ(ipow(2, 0), 1);
    EXPECT_EQ(ipow(2, -3), 1);
    EXPECT_EQ(ipow(2, 18), 262144);
    const double nan = std::nan("");
    EXPECT_EQ(max2(0.25, 0.5), 0.5);
    EXPECT_EQ(max2(0.5, 0.25), 0.5);
    EXPECT_TRUE(std::isnan(max2(0.5, nan)));
    EXPECT_EQ(max3(0.1, 0.3, 0.2), 0.3);
    EXPECT_EQ(min(3, 3), 3);
    EXPECT_EQ(min(-2, 3), -2);
}

}  // namespace
