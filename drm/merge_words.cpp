// The levels of the route of separate products, each pair merged word by word in one pass.
//
// A level on the route of separate products has no operand of more than MergeProductsLongest
// significant words, few enough to sum each of its products word by word, as convolve sums
// short products (fft/routes.h): exact coefficients, swept for carries from the bottom word
// up. Here a pair's products are formed on their significant words alone, in spans (the bottom
// words of a product's run of 2k words, the words above them zero), without convolve's call
// and scan per product: y^a D_R first, then N and D side by side, two chains of carries at
// once; N's two products are summed as coefficients and swept once.
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
#include <algorithm>
#include <cstdint>

#include "drm/merge.h"
#include "drm/merge_routes.h"
#include "fft/fft.h"

namespace {

// Room for the words of a span: the 2 MergeProductsLongest - 1 coefficients of two operands of
// at most MergeProductsLongest words, the two words above them that take the carry out of the
// top one, and one to spare.
constexpr int SpanLongest = 2 * MergeProductsLongest + 2;

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

}  // namespace

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
