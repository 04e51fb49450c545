// Word-wise and exponent-aligned sums and differences.
#include <gtest/gtest.h>

#include <algorithm>

#include "arith/long_number.h"
#include "tests/support/long_number_check.h"

namespace {

// Every row runs in both carry modes; `plain` and `balanced` are the expected results.
struct AddWordsCase {
    const char* name;
    Words u, v;
    int sign;
    Words plain, balanced;
};

// Failures name the row instead of dumping its bytes.
void PrintTo(const AddWordsCase& c, std::ostream* os) {
    *os << c.name;
}

const AddWordsCase add_words_cases[] = {
    {"Sum", {1, 2, 3}, {4, 5, 6}, 1, {5, 7, 9}, {5, 7, 9}},
    {"CarryOutOfRunStaysInFirstWord",
     {99999, 99999, 99999},
     {0, 0, 1},
     1,
     {100000, 0, 0},
     {100000, 0, 0}},
    {"DifferenceBorrows", {1, 0, 0}, {0, 0, 1}, -1, {0, 99999, 99999}, {1, 0, -1}},
    {"BalancedCarriesUp",
     {3, 40000, 30000},
     {0, 20000, 30000},
     1,
     {3, 60000, 60000},
     {4, -39999, -40000}},
    {"NegativeResult", {1, 2}, {3, 4}, -1, {-3, 99998}, {-2, -2}},
    {"Empty", {}, {}, 1, {}, {}},
};

class AddWords : public testing::TestWithParam<AddWordsCase> {};

TEST_P(AddWords, SameWordsOutOfPlaceAndOverEitherOperand) {
    const AddWordsCase& c = GetParam();
    const int m = static_cast<int>(c.u.size());
    for (int mode : {1, -1}) {
        CarryModeGuard guard(mode);
        SCOPED_TRACE(mode < 0 ? "balanced" : "plain");
        const Words& want = mode < 0 ? c.balanced : c.plain;
        Fenced r(Words(m, 0.5));
        add_words(c.u.data(), c.v.data(), r.at(), m, c.sign);
        EXPECT_TRUE(r.guards_intact());
        EXPECT_EQ(r.words(), want);
        Fenced u(c.u), v(c.v);
        add_words(u.at(), c.v.data(), u.at(), m, c.sign);
        add_words(c.u.data(), v.at(), v.at(), m, c.sign);
        EXPECT_TRUE(u.guards_intact() && v.guards_intact());
        EXPECT_EQ(u.words(), want);
        EXPECT_EQ(v.words(), want);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, AddWords, testing::ValuesIn(add_words_cases), RowName());

struct AlignedCase {
    const char* name;
    Words x, y;
    int sign;
    Words plain, balanced;
};

void PrintTo(const AlignedCase& c, std::ostream* os) {
    *os << c.name;
}

const AlignedCase aligned_cases[] = {
    // Exponent gaps of n words or more: nothing of the lower operand remains.
    {"GapOfNKeepsX", {3, 1, 2}, {1, 9, 9}, 1, {3, 1, 2}, {3, 1, 2}},
    {"GapOfNGivesMinusY", {1, 9, 9}, {3, 1, 2}, -1, {3, -2, 99998}, {3, -1, -2}},
    {"GapFarBeyondN", {10, 4, 5}, {-1000, 7, 7}, -1, {10, 4, 5}, {10, 4, 5}},
    {"CarryReachesWordOne",
     {1, 99999, 99999, 99999},
     {-1, 1, 0, 0},
     1,
     {1, 100000, 0, 0},
     {1, 100000, 0, 0}},
    {"YHigherAdds", {0, 7, 8, 9}, {2, 1, 2, 3}, 1, {2, 1, 2, 10}, {2, 1, 2, 10}},
    {"YHigherSubtractsItsTopWords",
     {0, 7, 8, 9},
     {2, 1, 2, 3},
     -1,
     {2, -2, 99998, 4},
     {2, -1, -2, 4}},
    {"NegativeExponents", {-3, 1, 40000}, {-4, 30000, 30000}, 1, {-3, 1, 70000}, {-3, 2, -30000}},
    {"TopWordsCancel", {2, 5, 7, 1}, {2, 5, 7, -3}, -1, {0, 4, 0, 0}, {0, 4, 0, 0}},
    {"ExactlyZero", {1, 5, 7}, {1, 5, 7}, -1, {-1, 0, 0}, {-1, 0, 0}},
    // A zero still takes part in the alignment with whatever exponent it has.
    {"LowZeroKeepsY", {-8, 0, 0}, {1, 3, -4}, 1, {1, 2, 99996}, {1, 3, -4}},
    {"HighZeroDropsY", {5, 0, 0}, {1, 3, 4}, 1, {3, 0, 0}, {3, 0, 0}},
};

class AddAligned : public testing::TestWithParam<AlignedCase> {};

TEST_P(AddAligned, GivesWordsOfEachModeInPlaceToo) {
    const AlignedCase& c = GetParam();
    const int n = static_cast<int>(c.x.size()) - 1;
    for (int mode : {1, -1}) {
        CarryModeGuard guard(mode);
        SCOPED_TRACE(mode < 0 ? "balanced" : "plain");
        const Words& want = mode < 0 ? c.balanced : c.plain;
        auto op = [&](const double* x, double* z) { add_aligned(x, c.y.data(), z, n, c.sign); };
        EXPECT_EQ(into_fenced(n, [&](double* z) { op(c.x.data(), z); }), want);
        if (c.x[0] >= c.y[0]) {
            EXPECT_EQ(in_place(c.x, [&](double* z) { op(z, z); }), want);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, AddAligned, testing::ValuesIn(aligned_cases), RowName());

// Random operands against exact integer arithmetic. Y is moved down by d = |E_X - E_Y|
// words (or X, when Y is higher) and the words that fall below word n are dropped; being
// balanced digits, or the whole operand when d >= n, they are worth less than one unit of
// word n at the aligned exponent max(E_X, E_Y). That is the bound checked. When top words
// cancel, or the higher operand is a zero, the result moves up and its own last word is finer
// than that unit.
TEST(AddAligned, WithinOneUnitOfExactSum) {
    const unsigned long seed = 2022;
    for (int mode : {-1, 1}) {
        CarryModeGuard guard(mode);
        for (int k = 0; k < 3000; ++k) {
            std::mt19937_64 rng(seed + k);
            const int n = random_size(rng);
            std::uniform_int_distribution<long> exponent(-4, 4), gap(-n - 2, n + 2), far(0, 3);
            std::uniform_int_distribution<int> kind(0, 15), coin(0, 1), same(1, n - 1);
            const long ex = exponent(rng);
            Words x = random_balanced(rng, n, ex), y = random_balanced(rng, n, ex + gap(rng));
            const int what = kind(rng);
            int sign = coin(rng) ? 1 : -1;
            if (what == 0) {
                std::fill(x.begin() + 1, x.end(), 0.0);
            } else if (what <= 2) {
                // Y one word lower and equal to X in its top words, subtracted: they cancel.
                // Y's word 1 lies between B/2 and 3B/2 in magnitude, as a sum's top word may.
                x[1] = coin(rng) ? 1 : -1;
                y[0] = static_cast<double>(ex - 1);
                y[1] = x[1] * 100000 + x[2];
                for (int i = 2, m = same(rng); i <= m; ++i) y[i] = x[i + 1];
                sign = -1;
            } else if (what <= 5) {
                y[0] = static_cast<double>(ex + (coin(rng) ? -1 : 1) * (n + 100 * far(rng)));
            }
            const long ey = static_cast<long>(y[0]);
            SCOPED_TRACE(testing::Message()
                         << "seed " << seed + k << " mode " << mode << " n " << n << " sign "
                         << sign << "\nX = " << words_text(x) << "\nY = " << words_text(y));

            const Words r =
                into_fenced(n, [&](double* z) { add_aligned(x.data(), y.data(), z, n, sign); });
            EXPECT_TRUE(is_normalised(r)) << words_text(r);
            const long top = std::max(ex, ey);
            ASSERT_LE(r[0], top);
            const long low = std::min({ex, ey, static_cast<long>(r[0])}) - n;
            const mpz_class exact = scaled_value(x, low) + sign * scaled_value(y, low);
            const mpz_class error = abs(scaled_value(r, low) - exact);
            EXPECT_LT(error, radix_power(top - n - low)) << words_text(r);
            if (ex == ey) {
                EXPECT_EQ(error, 0) << words_text(r);
            }
            if (ex >= ey) {
                const Words same =
                    in_place(x, [&](double* z) { add_aligned(z, y.data(), z, n, sign); });
                EXPECT_EQ(same, r);
            }
        }
    }
}

TEST(AddDeathTest, OverlapsAreRefused) {
#ifdef NDEBUG
    GTEST_SKIP() << "preconditions are checked only in debug builds";
#else
    double a[8] = {1, 1, 2, 3, 4, 5, 6, 7}, b[4] = {5, 1, 2, 3};
    EXPECT_DEBUG_DEATH(add_words(a, a + 4, a + 1, 3, 1), "overlaps");
    // In place only when X's exponent is at least Y's, and never over Y.
    EXPECT_DEBUG_DEATH(add_aligned(a, b, a, 3, 1), "overlaps");
    EXPECT_DEBUG_DEATH(add_aligned(b, a, a, 3, 1), "overlaps");
    EXPECT_DEBUG_DEATH(add_aligned(a, b, a + 1, 3, 1), "overlaps");
#endif
}

}  // namespace
