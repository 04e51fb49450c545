// The merge levels of a DRM step: the groups of a level merged pair by pair, with exact
// products, into groups of twice as many terms.
//
// Groups of a terms are k = 4a words each (drm/atan.cpp). The left group L at word b and
// the right group R at word r = b + k merge into
//     N = N_L * (y^a D_R) + N_R * D_L,    D = D_L * D_R,
// with y^a in PowerWork[1..k], which the level then squares into y^(2a) in PowerWork[1..2k].
// From the group invariant,
//     N_L / (D_L y^(a-1)) + y^(-a) N_R / (D_R y^(a-1)) = N / (D y^(2a-1)),
// which is the invariant of the merged group of 2a terms. N and D take 2k words each, so the
// merged groups tile words 1..n again. The numerator takes the low k words of y^a D_R only,
// so that product must fit in k words; a pair where it does not would give wrong digits, so
// it stops the run (stop_on_group_overflow).
//
// The routes of a level (fft/routes.h) differ only in how its products are made. The levels of
// short groups make them word by word, each pair in one pass (merge_level_by_words), and the
// first level straight from the terms (drm_combine_terms). For the routes that transform,
// merge_level writes the formula once, and each route gives its products by three functions:
// operand (what the route keeps of a factor), product (a * b into 2k words) and
// sum_of_products (a*b + c*d).
//   SharedSpectra: every factor transformed once at the level's length L <= k, from its low
//     L words; N comes back as one sum through one inverse transform.
//   FoldedSpectra: the same at k/2 points, each factor's upper half in the imaginary parts.
//     N_L (y^a D_R) alone overruns word k; its coefficients from there up come back
//     subtracted from its bottom ones, so they are summed word by word and put back.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "drm/drm.h"
#include "fft/fft.h"
#include "fft/routes.h"

long MergeLevels[MergeRouteCount];

namespace {

// A merge whose y^a * D_R does not fit in k words would give wrong digits: the run stops
// with status 1. The exit handlers of the program keep an older result file as it was.
[[noreturn]] void stop_on_group_overflow() {
    std::printf(" ** Error Stop \n");
    std::exit(1);
}

// The factors of a pair and of its level. In the spectra routes each has an area of its
// own for its spectrum; the LowHalf area also takes each product as it is formed, since the
// low half of y^a D_R is transformed only after that product is back in words and is used
// up by the numerator before the next product.
enum Role {
    Power,
    RightDenominator,
    LeftDenominator,
    LeftNumerator,
    RightNumerator,
    LowHalf,
    Roles
};

// The memory of a level of group length k and length L, named once:
//   power_times_right: ProductWork[1..2k], y^a D_R; its low half (words k+1..2k) is a factor
//     of the numerator.
//   spectra: FftScratch, the spectra routes' spectra, 2L doubles for each Role (12L <= 6n);
//   beyond: after them, folded: N_L (y^a D_R)'s coefficients from word k up, at most
//     k / FoldedOverrunShare.
struct LevelAreas {
    double* power_times_right;
    double* low_half;
    double* spectra;
    double* beyond;
};

LevelAreas level_areas(int k, int L) {
    double* power_times_right = ProductWork + 1;
    return {power_times_right, power_times_right + k, FftScratch, FftScratch + 2 * L * Roles};
}

double* spectrum_area(const LevelAreas& at, int L, Role role) {
    return at.spectra + 2 * L * role;
}

// Words of the k-word integer X (most significant first) below its leading zeros.
int significant_words(const double* X, int k) {
    return k - leading_zero_words(X, k);
}

// ---- Shared spectra ---------------------------------------------------------------------

struct SharedSpectra {
    int k, L;
    LevelAreas at;
};

// A factor: its k words and its spectrum of the level's length.
struct Spectrum {
    const double* words;
    double* points;
};

Spectrum operand(const SharedSpectra& way, const double* group, Role role) {
    double* points = spectrum_area(way.at, way.L, role);
    forward_spectrum(group + (way.k - way.L), points, way.L);
    return {group, points};
}

// {out, 2k} <- the product whose spectrum of length L <= k is given: its 2L words at the
// bottom, zeros above, normalised as a product of length k would be. The spectrum is used
// up. Returns the RoundingError.
double product_into(double* spectrum, double* out, int L, int k) {
    const int above = 2 * (k - L);
    fill_words(0, out, above);
    const double err = product_from_spectrum(spectrum, out + above, L);
    // The top word of the short product took its carry unreduced; reduce it into the zero
    // word above, the last step the longer product's normalisation would take.
    if (above > 0) normalize_carries(out + above - 1, 2);
    return err;
}

double product(const SharedSpectra& way, const Spectrum& a, const Spectrum& b, double* out) {
    double* formed = spectrum_area(way.at, way.L, LowHalf);
    multiply_spectra(a.points, b.points, formed, way.L);
    return product_into(formed, out, way.L, way.k);
}

double sum_of_products(const SharedSpectra& way, const Spectrum& a, const Spectrum& b,
                       const Spectrum& c, const Spectrum& d, double* out) {
    double* formed = spectrum_area(way.at, way.L, LowHalf);
    multiply_spectra(a.points, b.points, formed, way.L);
    add_product_of_spectra(c.points, d.points, formed, way.L);
    return product_into(formed, out, way.L, way.k);
}

// ---- Folded spectra ---------------------------------------------------------------------

// Spectra of length L = k/2, every factor folded.
struct FoldedSpectra {
    int k, L;
    LevelAreas at;
};

Spectrum operand(const FoldedSpectra& way, const double* group, Role role) {
    double* points = spectrum_area(way.at, way.L, role);
    forward_spectrum_folded(group, points, way.L);
    return {group, points};
}

// A product of folded factors whose coefficients stand below word k is their product of
// length k, as the shared spectra make it.
double product(const FoldedSpectra& way, const Spectrum& a, const Spectrum& b, double* out) {
    return product(SharedSpectra{way.k, way.L, way.at}, a, b, out);
}

// over[t] <- the coefficient of A * B at word k + t from the bottom, for the k-word integers
// {A, k} and {B, k} (most significant first) with sa and sb significant words: the part of
// the product that a folded transform of length k/2 subtracts from its bottom words. Each is
// a sum of products of two words, exact. Returns their number.
int coefficients_beyond(const double* A, int sa, const double* B, int sb, int k, double* over) {
    const int count = sa + sb - 1 - k;  // words k .. sa + sb - 2
    for (int t = 0; t < count; ++t) {
        // Word i of A from the bottom, A[k-1-i], meets word k+t-i of B, B[i-t-1]. Whole
        // numbers far below 2^53 add up exactly in any order: eight sums side by side, so that
        // the additions do not wait for one another.
        double sum[8] = {};
        int i = k + t - sb + 1;
        for (; i + 8 <= sa; i += 8)
            for (int j = 0; j < 8; ++j) sum[j] += A[k - 1 - i - j] * B[i + j - t - 1];
        for (; i < sa; ++i) sum[0] += A[k - 1 - i] * B[i - t - 1];
        over[t] = ((sum[0] + sum[1]) + (sum[2] + sum[3])) + ((sum[4] + sum[5]) + (sum[6] + sum[7]));
    }
    return count > 0 ? count : 0;
}

// {out, 2k} <- the sum whose folded spectrum of length k/2 is given, with its `count`
// coefficients from word k up (over) put back: the transform subtracted them from its bottom
// words. Normalised as a product of length k would be. Returns the RoundingError.
double numerator_from_folded(double* spectrum, const double* over, int count, double* out, int k) {
    fill_words(0, out, k);
    const double err = product_coefficients(spectrum, out + k, k / 2);
    for (int t = 0; t < count; ++t) {
        out[2 * k - 1 - t] += over[t];
        out[k - 1 - t] = over[t];
    }
    normalize_carries(out, 2 * k);
    return err;
}

// a*b + c*d, of which a*b may overrun word k (by at most k / FoldedOverrunShare words) and
// c*d may not. The overrun is summed from the factors' words before out, which may be a's
// words, is written.
double sum_of_products(const FoldedSpectra& way, const Spectrum& a, const Spectrum& b,
                       const Spectrum& c, const Spectrum& d, double* out) {
    const int k = way.k, L = way.L;
    double* beyond = way.at.beyond;
    const int count = coefficients_beyond(a.words, significant_words(a.words, k), b.words,
                                          significant_words(b.words, k), k, beyond);
    double* formed = spectrum_area(way.at, L, LowHalf);
    multiply_spectra(a.points, b.points, formed, L);
    add_product_of_spectra(c.points, d.points, formed, L);
    return numerator_from_folded(formed, beyond, count, out, k);
}

// ---- The level --------------------------------------------------------------------------

// Every pair of a level merged by the formula above, then y^a squared, each product made the
// way's own way. Returns the largest RoundingError.
template <typename Way>
double merge_level(const Way& way, int m) {
    const int k = way.k;
    const LevelAreas& at = way.at;
    const auto power = operand(way, PowerWork + 1, Power);
    double err = 0.0;
    for (int pair = 0, b = 1; pair < m; ++pair, b += 2 * k) {
        const int r = b + k;
        const auto right = operand(way, Denominators + r, RightDenominator);
        const auto left = operand(way, Denominators + b, LeftDenominator);
        const auto left_numerator = operand(way, Numerators + b, LeftNumerator);
        const auto right_numerator = operand(way, Numerators + r, RightNumerator);
        const double e1 = product(way, power, right, at.power_times_right);
        // y^a D_R must fit in k words: the word just above its low half must be zero.
        if (at.power_times_right[k - 1] != 0) stop_on_group_overflow();
        const auto low_half = operand(way, at.low_half, LowHalf);
        // The merged group goes over the pair once each factor has been read.
        const double e2 =
            sum_of_products(way, left_numerator, low_half, right_numerator, left, Numerators + b);
        const double e3 = product(way, left, right, Denominators + b);
        err = max3(err, e1, max2(e2, e3));
    }
    return max2(err, product(way, power, power, PowerWork + 1));
}

// The route of a level and its length (fft/routes.h): the shortest power of two L that holds
// every operand of its products, which are the groups' numerators and denominators, y^a, and
// the low half of y^a D_R, which has at most as many words as y^a and D_R together. A
// group's k words are mostly leading zeros (a group of a terms has k = 4a words, its odd
// numbers take about 1.2a and y^a from 0.3a for x = 5 to 2a for x = 110443), and operands
// of at most L words multiply exactly by transforms of length L.
//
// Numerators of just over half a group (those of x = 239, 515 and 682 take 0.50 to 0.53 of
// it) would double the length to k. Such a level runs folded at k/2 where that pays: every
// product of at most k coefficients comes out exact, and only the numerator's
// N_L (y^a D_R) may overrun word k.
MergeRoute level_route(int k, int m, int* length) {
    *length = k;
    // A level's length is at most its group length: short groups need no scan.
    if (k <= MergeProductsLongest) return MergeBySeparateProducts;
    int longest_numerator = 0, longest_denominator = 0;
    for (int g = 0; g < 2 * m; ++g) {
        longest_numerator =
            std::max(longest_numerator, significant_words(Numerators + 1 + g * k, k));
        longest_denominator =
            std::max(longest_denominator, significant_words(Denominators + 1 + g * k, k));
    }
    const int power = significant_words(PowerWork + 1, k);
    const int low_half = min(k, power + longest_denominator);
    const int needed = std::max({longest_numerator, longest_denominator, low_half});
    int L = 2;
    while (L < needed) L *= 2;
    *length = L;
    if (L <= MergeProductsLongest) return MergeBySeparateProducts;
    if (L == k) {
        // The coefficients of y^a D_R, D_L D_R, (y^a)^2 and N_R D_L must stand below word k.
        const bool fit = power + longest_denominator - 1 <= k && 2 * longest_denominator - 1 <= k &&
                         2 * power - 1 <= k && longest_numerator + longest_denominator - 1 <= k;
        if (fit && fold_pays(k, longest_numerator + low_half - 1 - k)) {
            *length = k / 2;
            return MergeFolded;
        }
    }
    return MergeBySharedSpectra;
}

// ---- Word by word ------------------------------------------------------------------------
// A level on the route of separate products has no operand of more than MergeProductsLongest
// significant words, so convolve would sum each of its products word by word (fft/routes.h):
// exact coefficients, swept for carries from the bottom word up. Here a pair's products are
// formed on their significant words alone, in spans (the bottom words of a product's run of
// 2k words, the words above them zero), with no call per product: y^a D_R first, then N and D
// side by side, two chains of carries at once; N's two products are summed as coefficients
// and swept once.
//
// The words must be those that the products made apart and add_words leave, bit for bit, and
// a carry sweep's tie rule depends on the coefficients it sweeps. But after any sweeps of any
// coefficients of an integer, the words below word i hold it modulo B^i, so word i is fixed
// modulo B; in -B/2..B/2 that leaves one digit, or two where it is B/2 modulo B (+B/2 and
// -B/2), and the top word of a run takes what is left. So wherever no digit is +-B/2, any
// sweep of the integer leaves the very words the products leave. The sweeps here are quick
// ones whose digits lie in -B/2..B/2-1; where one is -B/2, the span is swept again by the
// products' own rule, and N as the products and add_words sweep it. That happens often:
// powers of 10 and odd multiples of 5 make words of B/2 (y^2 D_R for x = 10 ends in one in a
// fifth of the pairs).

// Words of a span: the coefficients of two operands of at most MergeProductsLongest words and
// the two words above them that take the carry out of the top one.
constexpr int SpanLongest = 2 * MergeProductsLongest + 2;

// A group's words below its leading zeros, most significant first.
struct Span {
    const double* words;
    int count;
};

Span significant(const double* group, int k) {
    const int count = significant_words(group, k);
    return {group + (k - count), count};
}

// {C, count} += the coefficients of a * b at its bottom: C[count - len + i + j] += a[i] b[j]
// for len = a.count + b.count - 1 <= count. Whole numbers below 2^53, exact in any order. Two
// rows at a time, so that each word of C is read and written once for both: rows i and i + 1
// meet at word i + j through b[j] and b[j - 1]. (Row by row, the vector loads of a row would
// straddle the stores of the row before, and wait for them.)
void add_product(const Span& a, const Span& b, double* C, int count) {
    if (a.count == 0 || b.count == 0) return;
    const double* B = b.words;
    const int sb = b.count;
    double* bottom = C + count - (a.count + sb - 1);
    int i = 0;
    for (; i + 1 < a.count; i += 2) {
        const double a0 = a.words[i], a1 = a.words[i + 1];
        double* row = bottom + i;
        row[0] += a0 * B[0];
        for (int j = 1; j < sb; ++j) row[j] += a0 * B[j] + a1 * B[j - 1];
        row[sb] += a1 * B[sb - 1];
    }
    if (i < a.count) {
        const double a0 = a.words[i];
        double* row = bottom + i;
        for (int j = 0; j < sb; ++j) row[j] += a0 * B[j];
    }
}

// {C, count} <- the coefficients of a * b at its bottom, zeros above.
void coefficients(const Span& a, const Span& b, double* C, int count) {
    fill_words(0, C, count);
    add_product(a, b, C, count);
}

// The digit of a word whose coefficient is c, with *carry the carry into it; *carry becomes
// the carry out. Quick: floor((v + B/2) / B) carried leaves the digit in -B/2..B/2-1; *tie is
// set where it is -B/2.
inline double quick_digit(double c, std::int64_t* carry, bool* tie) {
    // An unsigned quotient: FloorBias B keeps the dividend positive.
    const std::uint64_t u = static_cast<std::uint64_t>(static_cast<std::int64_t>(c) + *carry +
                                                       (HalfRadixInt + FloorBias * RadixInt));
    const std::uint64_t q = u / static_cast<std::uint64_t>(RadixInt);
    const std::int64_t d = static_cast<std::int64_t>(u - q * RadixInt) - HalfRadixInt;
    *carry = static_cast<std::int64_t>(q) - FloorBias;
    *tie |= d == -HalfRadixInt;
    return static_cast<double>(d);
}

// The top word of a run, which keeps every carry into it unreduced.
inline double top_word(double c, std::int64_t carry) {
    return static_cast<double>(static_cast<std::int64_t>(c) + carry);
}

// {S, count} <- the coefficients {C, count}, the bottom of a run, swept as the products sweep
// them (normalize_carries: a digit of +-B/2 takes the sign of the word plus the carry into
// it). Where the span is shorter than its run, its top two words take every carry, so the
// carry out of its top word, which normalize_carries keeps in it, is 0. S may be C.
void sweep_exactly(const double* C, double* S, int count) {
    if (S != C) copy_words(C, S, count);
    normalize_carries(S, count);
}

// {S, count} <- the coefficients {C, count} swept as sweep_exactly sweeps them: quickly, and
// again by the rule where a digit is -B/2. S is not C.
void sweep(const double* C, double* S, int count, int run) {
    const int top = count == run ? 1 : 0;
    std::int64_t carry = 0;
    bool tie = false;
    for (int i = count - 1; i >= top; --i) S[i] = quick_digit(C[i], &carry, &tie);
    if (top) S[0] = top_word(C[0], carry);
    if (tie) sweep_exactly(C, S, count);
}

// {out, run} <- the span {S, count}, zeros above it.
void put_span(const double* S, int count, double* out, int run) {
    fill_words(0, out, run - count);
    copy_words(S, out + (run - count), count);
}

// The pair at word b merged word by word, with y^a = power.
void merge_pair_by_words(int k, int b, const Span& power) {
    const int run = 2 * k, r = b + k;
    const Span left_numerator = significant(Numerators + b, k);
    const Span right_numerator = significant(Numerators + r, k);
    const Span left = significant(Denominators + b, k), right = significant(Denominators + r, k);
    const int longest = std::max(
        {power.count, left_numerator.count, right_numerator.count, left.count, right.count});
    assert(longest <= MergeProductsLongest);
    // Two words above the coefficients take all their carries where every word is a digit.
    // A group of k significant words has an unreduced top word: then the spans are the runs.
    const auto span = [&](int words) { return longest < k ? min(run, words + 1) : run; };
    double C[SpanLongest], P[SpanLongest], N[SpanLongest], D[SpanLongest];

    const int pc = span(power.count + right.count);
    coefficients(power, right, C, pc);
    sweep(C, P, pc, run);
    // y^a D_R must fit in k words: the word just above its low half must be zero.
    if (pc > k && P[pc - 1 - k] != 0) stop_on_group_overflow();
    const Span low_half = significant(P + (pc - min(pc, k)), min(pc, k));
    assert(low_half.count <= MergeProductsLongest);

    // N and D side by side, two chains of carries at once.
    const int count =
        span(std::max({left_numerator.count + low_half.count, right_numerator.count + left.count,
                       left.count + right.count}));
    coefficients(left_numerator, low_half, N, count);
    add_product(right_numerator, left, N, count);
    coefficients(left, right, C, count);
    const int top = count == run ? 1 : 0;
    std::int64_t carry_n = 0, carry_d = 0;
    bool tie_n = false, tie_d = false;
    for (int i = count - 1; i >= top; --i) {
        N[i] = quick_digit(N[i], &carry_n, &tie_n);
        D[i] = quick_digit(C[i], &carry_d, &tie_d);
    }
    if (top) N[0] = top_word(N[0], carry_n), D[0] = top_word(C[0], carry_d);
    if (tie_d) sweep_exactly(C, D, count);
    if (tie_n) {
        // As the products and add_words sweep it: each product, then the sum of their words,
        // which carries nothing beyond the two carry words, since their words are small.
        coefficients(left_numerator, low_half, N, count);
        coefficients(right_numerator, left, C, count);
        sweep_exactly(N, N, count);
        sweep_exactly(C, C, count);
        for (int i = 0; i < count; ++i) N[i] += C[i];
        sweep_exactly(N, N, count);
    }
    put_span(N, count, Numerators + b, run);
    put_span(D, count, Denominators + b, run);
}

// PowerWork[1..2k] <- the square of y^a in PowerWork[1..k] by convolve_known's route, formed
// in ProductWork first. Returns the RoundingError.
double square_power(int k) {
    const int zeros = leading_zero_words(PowerWork + 1, k);
    const double err =
        convolve_known(PowerWork + 1, zeros, PowerWork + 1, zeros, ProductWork + 1, k, FftScratch);
    copy_words(ProductWork + 1, PowerWork + 1, 2 * k);
    return err;
}

// A level on the route of separate products, every pair word by word; then y^a squared.
// Returns the largest RoundingError.
double merge_level_by_words(int k, int m) {
    assert(CarryMode < 0);
    const Span power = significant(PowerWork + 1, k);
    for (int pair = 0, b = 1; pair < m; ++pair, b += 2 * k) merge_pair_by_words(k, b, power);
    return square_power(k);
}

// ---- The first level, from the terms -----------------------------------------------------
// At the first level every group is one term: numerator s = +1 or -1, denominator its odd
// number o, in the bottom word of four. A pair of terms o1, o2 = o1 + 2 (signs +1, -1: every
// pair starts on an even term) merges by the formula above into
//     N = y o2 - o1,    D = o1 o2,
// which the level forms as 64-bit integers from the odd numbers and y alone: no groups laid
// out, no products of words.
//
// Their digits, taken from the bottom up, are the words the products of the groups would
// leave wherever none of them is +-B/2, as for the levels word by word above. A pair where one
// is (about two in 10^5) is laid out as two groups and merged word by word.

// N and D of the first level as 64-bit integers need y o below 2^62, which also keeps them
// below B^4 / 2: four digits, the group's top four words zero.
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

double drm_combine(int k, int m) {
    int L;
    const MergeRoute route = level_route(k, m, &L);
    ++MergeLevels[route];
    const LevelAreas at = level_areas(k, L);
    if (route == MergeBySeparateProducts) return merge_level_by_words(k, m);
    if (route == MergeFolded) return merge_level(FoldedSpectra{k, L, at}, m);
    return merge_level(SharedSpectra{k, L, at}, m);
}
