// The first merge level of a step, formed straight from its terms.
//
// At the first level every group is one term: numerator s = +1 or -1, denominator its odd
// number o, in the bottom word of four. A pair of terms o1, o2 = o1 + 2 (signs +1, -1: every
// pair starts on an even term) merges by the formula of drm/merge.h into
//     N = y o2 - o1,    D = o1 o2,
// which the level forms as 64-bit integers from the odd numbers and y alone: no groups laid
// out, no products of words.
//
// Their digits, taken from the bottom up, are the words the products of the groups would
// leave wherever none of them is +-B/2, as for the levels word by word (drm/merge_words.cpp).
// A pair where one is (about two in 10^5) is laid out as two groups and merged word by word.
#include <cstdint>

#include "drm/merge.h"

namespace {

// N = y o2 - o1 and D = o1 o2 of the first level as 64-bit integers need y o2 below 2^62
// (D is too, the odd numbers of a run being far below 2^31), which also keeps them below
// B^4 / 2: four digits, the group's top four words zero. A level whose y o2 would reach it
// lays every pair out and merges it word by word.
constexpr double FirstLevelLargest = 0x1p62;

// The pair's two terms at word b as groups of four words, odd numbers o and o + 2.
void lay_out_terms(int b, double o) {
    for (int g = 0; g < 2; ++g) {
        double* numerator = Numerators + b + 4 * g;
        double* denominator = Denominators + b + 4 * g;
        fill_words(0, numerator, 4);
        fill_words(0, denominator, 4);
        numerator[3] = g == 0 ? 1.0 : -1.0;
        denominator[3] = o + 2.0 * g;
        normalize_carries(denominator, 4);  // odd numbers above B/2 spread
    }
}

// {out, 8} <- v, |v| < B^4 / 2, as the balanced digits that a carry sweep of v leaves.
// Returns whether none of them is +-B/2.
bool put_digits(std::int64_t v, double* out) {
    bool unique = true;
    for (int i = 7; i >= 4; --i) {
        const std::int64_t carry = carry_out<true>(v), d = v - carry * RadixInt;
        unique = unique && d != HalfRadixInt && d != -HalfRadixInt;
        out[i] = static_cast<double>(d);
        v = carry;
    }
    for (int i = 0; i < 4; ++i) out[i] = 0.0;
    return unique;
}

}  // namespace

double drm_combine_terms(int x, int n) {
    assert(CarryMode < 0);
    const int m = n / 8;  // pairs
    // y as a group of four words, the factor of the pairs laid out, squared at the end;
    // x^2 < 2^31 * B keeps its carries exact.
    fill_words(0, PowerWork + 1, 4);
    PowerWork[4] = static_cast<double>(x) * static_cast<double>(x);
    normalize_carries(PowerWork + 1, 4);
    const double last_odd = OddCounter + 4.0 * m - 2.0;
    if (static_cast<double>(x) * x * last_odd >= FirstLevelLargest) {
        for (int pair = 0, b = 1; pair < m; ++pair, b += 8, OddCounter += 4.0)
            lay_out_terms(b, OddCounter);
        ++MergeLevels[MergeBySeparateProducts];
        return merge_level_by_words(4, m);
    }
    const std::int64_t y = static_cast<std::int64_t>(x) * x;
    const Span power = significant(PowerWork + 1, 4);
    for (int pair = 0, b = 1; pair < m; ++pair, b += 8, OddCounter += 4.0) {
        const std::int64_t o1 = static_cast<std::int64_t>(OddCounter), o2 = o1 + 2;
        const bool numerator = put_digits(y * o2 - o1, Numerators + b);
        if (!(put_digits(o1 * o2, Denominators + b) && numerator)) {
            lay_out_terms(b, OddCounter);
            merge_pair_by_words(4, b, power);
        }
    }
    ++MergeLevels[MergeFromTerms];
    return square_power(4);
}
