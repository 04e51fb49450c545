// The merge levels: the first level formed from the terms against the terms laid out as groups
// and merged by products, word for word and bit for bit.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "drm/drm.h"

namespace {

using Words = std::vector<double>;

const int Arguments[] = {5, 10, 18, 49, 57, 239, 515, 682, 12943, 110443};

// What a level leaves: the groups' words 1..n and the power's, OddCounter.
struct Level {
    Words numerators, denominators, power;
    double odd_counter;
};

Level level_now(int n, int power_words) {
    return {Words(Numerators + 1, Numerators + 1 + n),
            Words(Denominators + 1, Denominators + 1 + n),
            Words(PowerWork + 1, PowerWork + 1 + power_words), OddCounter};
}

// Equal bits, so that -0 and +0 differ: the index of the first word that differs, or -1.
int first_difference(const Words& a, const Words& b) {
    for (size_t i = 0; i < a.size(); ++i)
        if (std::memcmp(&a[i], &b[i], sizeof(double)) != 0) return static_cast<int>(i);
    return -1;
}

void expect_same_bits(const Level& got, const Level& want) {
    EXPECT_EQ(first_difference(got.numerators, want.numerators), -1) << "numerators";
    EXPECT_EQ(first_difference(got.denominators, want.denominators), -1) << "denominators";
    EXPECT_EQ(first_difference(got.power, want.power), -1) << "power";
    EXPECT_EQ(got.odd_counter, want.odd_counter);
}

// The first level by products: the n/4 terms from odd number `odd` on laid out as groups of four
// words, y = x^2 in PowerWork[1..4], merged by drm_combine(4, n/8).
Level first_level_by_products(int x, int n, double odd) {
    fill_words(0, Numerators + 1, n);
    fill_words(0, Denominators + 1, n);
    for (int i = 1; i <= n / 4; ++i) {
        Denominators[4 * i] = odd + 2.0 * (i - 1);
        normalize_carries(Denominators + 4 * i - 3, 4);
        Numerators[4 * i] = i % 2 ? 1.0 : -1.0;
    }
    fill_words(0, PowerWork + 1, 4);
    PowerWork[4] = static_cast<double>(x) * static_cast<double>(x);
    normalize_carries(PowerWork + 1, 4);
    OddCounter = odd + n / 2;
    EXPECT_EQ(drm_combine(4, n / 8), 0.0);
    return level_now(n, 8);
}

// The first level from the terms, over words that are not whole numbers: it must write them all.
Level first_level_from_terms(int x, int n, double odd) {
    fill_words(0.5, Numerators + 1, n);
    fill_words(0.5, Denominators + 1, n);
    fill_words(0.5, PowerWork + 1, 8);
    OddCounter = odd;
    EXPECT_EQ(drm_combine_terms(x, n), 0.0);
    return level_now(n, 8);
}

void check_first_level(int x, double odd) {
    const int n = 64;  // eight pairs
    SCOPED_TRACE("x=" + std::to_string(x) + " odd=" + std::to_string(odd));
    const Level want = first_level_by_products(x, n, odd);
    expect_same_bits(first_level_from_terms(x, n, odd), want);
}

// First odd numbers of a step: the first term; odd numbers about B/2, which spread over two
// words; about B, and past it.
const double Odds[] = {1, 49993, 99977, 300001};

TEST(DrmCombineTerms, SameBitsAsTheTermsMergedByProducts) {
    for (int x : Arguments)
        for (double odd : Odds) check_first_level(x, odd);
}

// Pairs whose N or D has a digit of +-B/2, where the words depend on how the products sweep
// their carries: D = 158113 * 158115 for every x, N = y o2 - o1 for the x given. Arguments
// whose y o would overflow 64 bits merge every pair by products.
TEST(DrmCombineTerms, SameBitsWhereADigitIsHalfTheRadix) {
    struct Row {
        int x;
        double odd;
    };
    const Row rows[] = {{5, 158113},      {239, 158113},     {110443, 158113},
                        {239, 87533},     {682, 204245},     {12943, 42709},
                        {110443, 368921}, {14000000, 40001}, {14000000, 1}};
    for (const Row& row : rows) check_first_level(row.x, row.odd);
}

}  // namespace
