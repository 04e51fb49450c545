// The merge levels against their formula made by separate products, word for word and bit for
// bit: the first level formed from the terms, and the levels that sum their products word by
// word, a pair at a time or the pairs side by side under every kernel set, on the groups of real
// steps and on groups of random words.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "drm/drm.h"
#include "fft/fft.h"
#include "tests/support/kernel_sets.h"

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

// The level of groups of k words as its formula reads, by separate products: each pair by
// convolve and add_words, then y^a squared.
void merge_level_by_products(int k, int m) {
    Words scratch(6 * k), p(2 * k), left(2 * k), right(2 * k),
        power(PowerWork + 1, PowerWork + 1 + k);
    for (int pair = 0, b = 1; pair < m; ++pair, b += 2 * k) {
        const int r = b + k;
        convolve(PowerWork + 1, Denominators + r, p.data(), k, scratch.data());  // y^a D_R
        ASSERT_EQ(p[k - 1], 0) << "y^a D_R overruns k words";
        convolve(Numerators + b, p.data() + k, left.data(), k, scratch.data());
        convolve(Numerators + r, Denominators + b, right.data(), k, scratch.data());
        add_words(right.data(), left.data(), Numerators + b, 2 * k, +1);
        convolve(Denominators + b, Denominators + r, p.data(), k, scratch.data());
        copy_words(p.data(), Denominators + b, 2 * k);
    }
    convolve(power.data(), power.data(), PowerWork + 1, k, scratch.data());
}

// The first level by products: the n/4 terms from odd number `odd` on laid out as groups of four
// words, y = x^2 in PowerWork[1..4], merged by separate products.
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
    merge_level_by_products(4, n / 8);
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

// ---- Levels word by word ----------------------------------------------------------------

// drm_combine(k, m, &words) under every kernel set and merge_level_by_products(k, m) from the
// same groups, none longer than `words`: the same bits, and no merged group longer than the
// words drm_combine gives back, which it returns. The groups are left as drm_combine leaves
// them. Levels that transform may leave other words than the products for the same integers
// (a digit of +-B/2 for another): where the level is not to merge word by word, the words it
// leaves told nothing of its groups' lengths (words = k) stand in for the products'.
int check_level(int k, int m, int words, bool by_words = true) {
    SCOPED_TRACE("k=" + std::to_string(k) + " m=" + std::to_string(m));
    const int n = 2 * k * m;
    const Level before = level_now(n, k);
    const auto restore = [&] {
        copy_words(before.numerators.data(), Numerators + 1, n);
        copy_words(before.denominators.data(), Denominators + 1, n);
        copy_words(before.power.data(), PowerWork + 1, k);
    };
    if (by_words) {
        merge_level_by_products(k, m);
    } else {
        int unknown = k;
        drm_combine(k, m, &unknown);
    }
    const Level want = level_now(n, 2 * k);
    int merged = 0;
    for_each_kernel_set([&](KernelSet) {
        restore();
        const long separate = MergeLevels[MergeBySeparateProducts];
        merged = words;
        drm_combine(k, m, &merged);
        if (by_words) {
            EXPECT_EQ(MergeLevels[MergeBySeparateProducts], separate + 1) << "not word by word";
        }
        expect_same_bits(level_now(n, 2 * k), want);
        for (int g = 0; g < m; ++g)
            for (const double* group : {Numerators + 1 + 2 * k * g, Denominators + 1 + 2 * k * g})
                EXPECT_LE(2 * k - leading_zero_words(group, 2 * k), merged) << "group " << g;
    });
    return merged;
}

// Every level of a step up to groups of `longest` words, from the odd number `odd` on, each
// told how long its groups are by the level before: 256 terms, whose levels of 64 words merge a
// pair at a time, 512, whose levels all merge side by side, and 2048, whose levels of 128 and 256
// words merge side by side though their operands have more than 64 words, and whose longer
// levels transform.
TEST(DrmCombine, SameBitsAsSeparateProductsOnTheGroupsOfASteps) {
    struct Row {
        int n, longest;
    };
    for (const Row& row : {Row{1024, 64}, Row{2048, 64}, Row{8192, 4096}})
        for (int x : Arguments)
            for (double odd : Odds) {
                SCOPED_TRACE("n=" + std::to_string(row.n) + " x=" + std::to_string(x) +
                             " odd=" + std::to_string(odd));
                OddCounter = odd;
                drm_combine_terms(x, row.n);
                int words = 8;
                for (int k = 8; k <= row.longest; k *= 2)
                    words = check_level(k, row.n / (2 * k), words, k <= 256);
            }
}

// A group of k words with `count` significant words of either sign, many of them from the
// ends of the digit range, where the carries' tie rule decides, or -0. A full group's top word
// takes every carry unreduced: there it is `top` times a digit, whose products with digits carry
// into three words and more above them.
void random_group(double* group, int k, int count, std::mt19937_64& rng, double top = 1) {
    static const double ends[] = {50000, -50000, 49999, -49999, 0, -0.0, 1, -1};
    std::uniform_int_distribution<int> word(-50000, 50000), pick(0, 15);
    fill_words(0, group, k - count);
    for (int i = k - count; i < k; ++i) {
        const int p = pick(rng);
        group[i] = p < 8 ? ends[p] : word(rng);
    }
    if (count == 0) return;
    if (group[k - count] == 0) group[k - count] = 1;
    if (count == k) group[0] *= top;
}

// Two pairs merge a pair at a time, with operands of up to 64 words; 32 side by side, with
// operands of up to 256, and with operands of a few words in groups of 128 and 256, a level
// shorter than the blocks of words that go into the lanes.
TEST(DrmCombine, SameBitsAsSeparateProductsOnRandomGroups) {
    struct Row {
        int m, longest, rounds;
        std::vector<int> ks;
    };
    const Row rows[] = {{2, 64, 40, {8, 16, 32, 64, 128}},
                        {32, 256, 10, {8, 16, 32, 64, 128, 256}},
                        {32, 4, 10, {128, 256}}};
    std::mt19937_64 rng(20240522);
    for (const Row& row : rows)
        for (int k : row.ks) {
            const int m = row.m, longest = row.longest;
            for (int round = 0; round < row.rounds; ++round) {
                SCOPED_TRACE("round " + std::to_string(round));
                // y^a D_R fits in k words when their significant words do. Groups of 128 words
                // go word by word while no operand has more than `longest` significant words.
                std::uniform_int_distribution<int> half(1, min(k / 2, longest / 2)),
                    any(0, min(k, longest));
                random_group(PowerWork + 1, k, half(rng), rng);
                // Products of a full group's top word stay below 2^53 and, at k = 8, summed word
                // by word (by transforms they would not be exact).
                const double top = k == 8 ? 600000 : 1;
                for (int g = 0; g < 2 * m; ++g) {
                    random_group(Numerators + 1 + g * k, k, any(rng), rng, top);
                    random_group(Denominators + 1 + g * k, k, half(rng), rng);
                }
                check_level(k, m, k);
            }
        }
}

}  // namespace
