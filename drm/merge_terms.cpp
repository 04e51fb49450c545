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

// {out, 8} <- v, 0 <= v < FirstLevelLargest, as the balanced digits that a carry sweep of v
// leaves. Returns whether none of them is +-B/2. The plain digits of v + B/2 (1 + B + B^2) less
// B/2 are balanced digits of v in -B/2..B/2-1, the top one below B/2 as it stands: where none
// is -B/2 they are the only ones, those of the sweep. Each comes from v by a division of its own,
// which none waits for another.
bool put_digits(std::int64_t v, double* out) {
    assert(v >= 0 && v < FirstLevelLargest);
    constexpr std::uint64_t B = RadixInt, Half = HalfRadixInt;
    const std::uint64_t w = static_cast<std::uint64_t>(v) + Half * (1 + B + B * B);
    const std::uint64_t digits[4] = {w / (B * B * B), w / (B * B) % B, w / B % B, w % B};
    for (int i = 0; i < 4; ++i) {
        const std::uint64_t half = i == 0 ? 0 : Half;
        out[4 + i] = static_cast<double>(static_cast<std::int64_t>(digits[i] - half));
    }
    for (int i = 0; i < 4; ++i) out[i] = 0.0;
    return digits[1] != 0 && digits[2] != 0 && digits[3] != 0;
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
        int words;
        return merge_level_by_words(4, m, 4, &words);
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
