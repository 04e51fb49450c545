// Carry normalisation, stripping and the scalar helpers of the number format.
#include <gtest/gtest.h>

#include <vector>

#include "arith/long_number.h"

namespace {

using Words = std::vector<double>;

// Sets CarryMode for one test and restores the balanced mode of the computation after it.
struct ModeGuard {
    explicit ModeGuard(int mode) { CarryMode = mode; }
    ~ModeGuard() { CarryMode = -1; }
};

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
