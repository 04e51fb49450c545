// A number combined with a small integer: a + X, a*X and X/a.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "arith/long_number.h"
#include "tests/support/long_number_check.h"

namespace {

// 1/7 at six words, then 2 - 1/7, 16/7 and their differences, each built from the results
// before it in the same carry mode.
struct ChainForm {
    const char* name;
    int mode;
    Words seventh, two_minus_seventh, sixteen_sevenths, fifteen_sevenths, minus_fifteen_sevenths;
};

// Failures name the row instead of dumping its bytes.
void PrintTo(const ChainForm& c, std::ostream* os) {
    *os << c.name;
}

const ChainForm chain_forms[] = {
    {"Plain",
     1,
     {0, 14285, 71428, 57142, 85714, 28571, 42857},
     {1, 1, 85714, 28571, 42857, 14285, 71429},
     {1, 2, 28571, 42857, 14285, 71428, 57142},
     {1, 2, 14285, 71428, 57142, 85714, 28571},
     {1, -3, 85714, 28571, 42857, 14285, 71429}},
    {"Balanced",
     -1,
     {0, 14286, -28571, -42857, -14286, 28571, 42857},
     {1, 2, -14286, 28571, 42857, 14286, -28571},
     {1, 2, 28571, 42857, 14286, -28571, -42858},
     {1, 2, 14286, -28571, -42857, -14286, 28571},
     {1, -2, -14286, 28571, 42857, 14286, -28571}},
};

class SeventhsChain : public testing::TestWithParam<ChainForm> {};

TEST_P(SeventhsChain, GivesTheDigitsOfEachStep) {
    const ChainForm& c = GetParam();
    CarryModeGuard guard(c.mode);
    const int n = 6;
    Words one(n + 1);
    set_small(1, one.data(), n);
    const Words seventh = in_place(one, [&](double* z) { div_small(z, 7, z, n); });
    EXPECT_EQ(seventh, c.seventh);
    EXPECT_EQ(into_fenced(n, [&](double* z) { div_small(one.data(), 7, z, n); }), c.seventh);
    EXPECT_EQ(into_fenced(n, [&](double* z) { add_small(2, seventh.data(), z, n, -1); }),
              c.two_minus_seventh);
    const Words sixteen = into_fenced(n, [&](double* z) { mul_small(seventh.data(), 16, z, n); });
    EXPECT_EQ(sixteen, c.sixteen_sevenths);
    EXPECT_EQ(
        into_fenced(n, [&](double* z) { add_aligned(sixteen.data(), seventh.data(), z, n, -1); }),
        c.fifteen_sevenths);
    EXPECT_EQ(
        into_fenced(n, [&](double* z) { add_aligned(seventh.data(), sixteen.data(), z, n, -1); }),
        c.minus_fifteen_sevenths);
}

INSTANTIATE_TEST_SUITE_P(Forms, SeventhsChain, testing::ValuesIn(chain_forms), RowName());

// One row of a small-integer operation: X with a, and the results in both carry modes.
struct SmallCase {
    const char* name;
    Words x;
    int a;
    Words plain, balanced;
};

void PrintTo(const SmallCase& c, std::ostream* os) {
    *os << c.name;
}

// a + sign*X.
struct AddSmallCase {
    const char* name;
    int a;
    Words x;
    int sign;
    Words plain, balanced;
};

void PrintTo(const AddSmallCase& c, std::ostream* os) {
    *os << c.name;
}

const AddSmallCase add_small_cases[] = {
    {"UnitsWordInsideMantissa", 1, {2, 3, 5}, 1, {2, 3, 6}, {2, 3, 6}},
    {"OneMinusFraction", 1, {0, 5, 7}, -1, {0, 99995, 0}, {1, 1, -5}},
    {"UnitsWordBelowMantissa", 1, {5, 3, 4}, 1, {5, 3, 4}, {5, 3, 4}},
    {"FractionFarBelow", 1, {-3, 7, 7}, 1, {1, 1, 0}, {1, 1, 0}},
    {"CarryStaysInWordOne", 1, {1, 99999, 60000}, 1, {1, 100000, 60000}, {1, 100001, -40000}},
    {"MinusOneMinusNegative", -1, {1, -3, 20000}, -1, {1, 1, 80000}, {1, 2, -20000}},
    {"OneMinusNearlyOne", 1, {1, 1, 0, -1}, -1, {-1, 1, 0, 0}, {-1, 1, 0, 0}},
    // The units word takes a carry out of its own word (balanced) over digits below it...
    {"CarryOutOfTheUnitsWord", 1, {2, 7, 50000, 3}, 1, {2, 7, 50001, 3}, {2, 8, -49999, 3}},
    // ...or out of a word below it that is no balanced digit.
    {"CarryFromBelowTheUnitsWord", 1, {1, 2, 70000, 5}, 1, {1, 3, 70000, 5}, {1, 4, -30000, 5}},
};

class AddSmall : public testing::TestWithParam<AddSmallCase> {};

TEST_P(AddSmall, GivesWordsOfEachMode) {
    const AddSmallCase& c = GetParam();
    const int n = static_cast<int>(c.x.size()) - 1;
    for (int mode : {1, -1}) {
        CarryModeGuard guard(mode);
        EXPECT_EQ(into_fenced(n, [&](double* z) { add_small(c.a, c.x.data(), z, n, c.sign); }),
                  mode < 0 ? c.balanced : c.plain)
            << (mode < 0 ? "balanced" : "plain");
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, AddSmall, testing::ValuesIn(add_small_cases), RowName());

const SmallCase mul_small_cases[] = {
    {"TopProductExactlyRadix", {1, 25000, 0}, 4, {2, 1, 0}, {2, 1, 0}},
    {"TopProductJustBelowRadix", {1, 24999, 0}, 4, {1, 99996, 0}, {1, 99996, 0}},
    {"NegativeFactor",
     {0, 19739, 55598, 27},
     -4,
     {0, -78959, 77607, 99892},
     {0, -78958, -22392, -108}},
    {"OneWordShifted", {1, 50000}, 3, {2, 1}, {2, 1}},
    {"OneWordShiftedNegative", {1, -50000}, 3, {2, -1}, {2, -1}},
    // 4 * -40001 = -160004: its upper part -1.60004 truncates to -1 (neither floor nor
    // rounding), although the whole product 119998.39996 lies below 119999.
    {"LastProductTruncatedTowardZero", {1, 30000, -40001}, 4, {2, 1, 19999}, {2, 1, 19999}},
    {"ByZero", {3, 5, 6}, 0, {1, 0, 0}, {1, 0, 0}},
};

class MulSmall : public testing::TestWithParam<SmallCase> {};

TEST_P(MulSmall, GivesWordsOfEachMode) {
    const SmallCase& c = GetParam();
    const int n = static_cast<int>(c.x.size()) - 1;
    for (int mode : {1, -1}) {
        CarryModeGuard guard(mode);
        EXPECT_EQ(into_fenced(n, [&](double* z) { mul_small(c.x.data(), c.a, z, n); }),
                  mode < 0 ? c.balanced : c.plain)
            << (mode < 0 ? "balanced" : "plain");
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, MulSmall, testing::ValuesIn(mul_small_cases), RowName());

const SmallCase div_small_cases[] = {
    {"EqualMagnitudesNoShift", {1, 7, 0}, 7, {1, 1, 0}, {1, 1, 0}},
    {"StartsOneWordLower", {1, 7, 0}, 8, {0, 87500, 0}, {0, 87500, 0}},
    {"NegativeDivisor", {1, 7, 0}, -8, {0, -87500, 0}, {0, -87500, 0}},
    // -100000 + 3 = -99997 over 2 is -49998.5: the quotient word truncates to -49998.
    {"NegativeWordsTruncateTowardZero", {1, -7, 3}, 2, {1, -4, 50002}, {1, -3, -49998}},
    {"RemainderKeepsSignOfDividend", {1, 7, 1}, -2, {1, -4, 50000}, {1, -3, -50000}},
    // 1/110443 = 0.00000 90544 44374 02098 ...: the first quotient word is still zero, and
    // only the balanced carry lifts it.
    {"LargestDivisor",
     {1, 1, 0, 0, 0},
     110443,
     {-1, 90544, 44374, 2098, 0},
     {0, 1, -9456, 44374, 2098}},
};

class DivSmall : public testing::TestWithParam<SmallCase> {};

TEST_P(DivSmall, GivesWordsOfEachModeInPlaceToo) {
    const SmallCase& c = GetParam();
    const int n = static_cast<int>(c.x.size()) - 1;
    for (int mode : {1, -1}) {
        CarryModeGuard guard(mode);
        SCOPED_TRACE(mode < 0 ? "balanced" : "plain");
        const Words& want = mode < 0 ? c.balanced : c.plain;
        EXPECT_EQ(into_fenced(n, [&](double* z) { div_small(c.x.data(), c.a, z, n); }), want);
        EXPECT_EQ(in_place(c.x, [&](double* z) { div_small(z, c.a, z, n); }), want);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, DivSmall, testing::ValuesIn(div_small_cases), RowName());

// reciprocal_small runs its stretches of words side by side: word for word what div_small
// leaves of 1, for divisors whose remainders repeat soon or late and lengths that split into
// stretches evenly or not, in both carry modes.
TEST(ReciprocalSmall, IsDivSmallOfOne) {
    for (int a : {2, 3, 5, 7, 10, 239, 100000, 110443, 2147483647})
        for (int n : {1, 2, 5, 8, 33, 1000}) {
            for (int mode : {1, -1}) {
                CarryModeGuard guard(mode);
                SCOPED_TRACE("a " + std::to_string(a) + ", n " + std::to_string(n) + ", mode " +
                             std::to_string(mode));
                Words one(n + 1);
                set_small(1, one.data(), n);
                const Words want =
                    into_fenced(n, [&](double* z) { div_small(one.data(), a, z, n); });
                EXPECT_EQ(into_fenced(n, [&](double* z) { reciprocal_small(a, z, n); }), want);
            }
        }
}

// Random operands against exact integer arithmetic, in both carry modes.
//
// mul_small: when |a*X[1]| < B every product keeps its word and the result is exact. Otherwise
// the result starts one word higher, at E_X + 1, and of the last product only the part above
// word n is kept: the error is below one unit of word n at E_X + 1.
//
// div_small: the quotient words are exact and only the final remainder r, |r| < |a|, is
// dropped, so |a*Z - X| < |a| units of word n at the exponent the division starts at (E_X,
// or E_X - 1 when |X[1]| < |a|).
//
// Either result may still move up one word when normalisation clears its top word (plain
// digits of a value just under a power of B); its own last word is then finer than that unit.
struct RandomSmall {
    int n;
    Words x;
    int a;
};

RandomSmall random_small(unsigned long seed, int largest_a) {
    std::mt19937_64 rng(seed);
    RandomSmall c;
    c.n = random_size(rng);
    std::uniform_int_distribution<long> exponent(-4, 4);
    std::uniform_int_distribution<int> pick(0, 15);
    std::uniform_real_distribution<double> log_a(0, std::log(largest_a + 1.0));
    c.x = random_balanced(rng, c.n, exponent(rng));
    if (pick(rng) == 0) std::fill(c.x.begin() + 1, c.x.end(), 0.0);
    const int ends[] = {1, 2, largest_a, 50000, 99999, 100000};
    const int p = pick(rng);
    c.a = p < 6 ? ends[p] : static_cast<int>(std::exp(log_a(rng)));
    c.a = std::max(1, std::min(c.a, largest_a));
    if (pick(rng) < 8) c.a = -c.a;
    return c;
}

TEST(MulSmall, WithinOneUnitOfExactProduct) {
    const unsigned long seed = 7007;
    for (int mode : {-1, 1}) {
        CarryModeGuard guard(mode);
        for (int k = 0; k < 3000; ++k) {
            RandomSmall c = random_small(seed + k, 176);
            if (k % 50 == 0) c.a = 0;
            const int n = c.n;
            SCOPED_TRACE(testing::Message() << "seed " << seed + k << " mode " << mode << " n " << n
                                            << " a " << c.a << "\nX = " << words_text(c.x));
            const Words r = into_fenced(n, [&](double* z) { mul_small(c.x.data(), c.a, z, n); });
            EXPECT_TRUE(is_normalised(r)) << words_text(r);
            const long ex = static_cast<long>(c.x[0]);
            const bool shifted = std::fabs(c.a * c.x[1]) >= 100000;
            const long start = ex + (shifted ? 1 : 0);
            const long low = std::min({ex, start, static_cast<long>(r[0])}) - n;
            const mpz_class error = abs(scaled_value(r, low) - c.a * scaled_value(c.x, low));
            if (shifted) {
                EXPECT_LT(error, radix_power(start - n - low)) << words_text(r);
            } else {
                EXPECT_EQ(error, 0) << words_text(r);
            }
        }
    }
}

TEST(DivSmall, WithinOneUnitOfExactQuotient) {
    const unsigned long seed = 110443;
    for (int mode : {-1, 1}) {
        CarryModeGuard guard(mode);
        for (int k = 0; k < 3000; ++k) {
            const RandomSmall c = random_small(seed + k, 110443);
            const int n = c.n;
            SCOPED_TRACE(testing::Message() << "seed " << seed + k << " mode " << mode << " n " << n
                                            << " a " << c.a << "\nX = " << words_text(c.x));
            const Words r = into_fenced(n, [&](double* z) { div_small(c.x.data(), c.a, z, n); });
            EXPECT_TRUE(is_normalised(r)) << words_text(r);
            const long ex = static_cast<long>(c.x[0]);
            const long start = std::fabs(c.x[1]) >= std::abs(c.a) ? ex : ex - 1;
            const long low = std::min({ex, start, static_cast<long>(r[0])}) - n;
            const mpz_class error = abs(c.a * scaled_value(r, low) - scaled_value(c.x, low));
            EXPECT_LT(error, std::abs(c.a) * radix_power(start - n - low)) << words_text(r);
            EXPECT_EQ(in_place(c.x, [&](double* z) { div_small(z, c.a, z, n); }), r);
        }
    }
}

TEST(SmallDeathTest, ZeroDivisorAndOverlapsAreRefused) {
#ifdef NDEBUG
    GTEST_SKIP() << "preconditions are checked only in debug builds";
#else
    double x[6] = {1, 7, 0, 0, 0, 0};
    EXPECT_DEBUG_DEATH(div_small(x, 0, x, 3), "a != 0");
    EXPECT_DEBUG_DEATH(div_small(x, 7, x + 1, 3), "overlaps");
    EXPECT_DEBUG_DEATH(mul_small(x, 7, x, 3), "overlaps");
    EXPECT_DEBUG_DEATH(add_small(1, x, x + 2, 3, 1), "overlaps");
#endif
}

}  // namespace
