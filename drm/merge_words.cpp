// The levels of the route of separate products: each product summed word by word, eight pairs
// side by side in vector lanes where the level has enough pairs, or a pair at a time.
//
// A level on the route of separate products has operands few enough to sum each of its
// products word by word, as convolve sums short products (fft/routes.h): exact coefficients,
// swept for carries from the bottom word up. Here the products are formed on the operands'
// significant words alone, in spans (the bottom words of a product's run of 2k words, the
// words above them zero), without convolve's call and scan per product: y^a D_R first, then N
// and D; N's two products are summed as coefficients and swept once.
//
// The words must be those that the products made apart and add_words leave, bit for bit, and
// a carry sweep's tie rule depends on the coefficients it sweeps. But after any sweeps of any
// coefficients of an integer, the words below word i hold it modulo B^i, so word i is fixed
// modulo B; in -B/2..B/2 that leaves one digit, or two where it is B/2 modulo B (+B/2 and
// -B/2), and the top word of a run takes what is left. So wherever no digit is +-B/2, any
// sweep of the integer leaves the very words the products leave. The sweeps of y^a D_R and D
// follow the products' own rule; N's sweep, of the sum of its products' coefficients, is
// followed where a digit comes out +-B/2 by N as the products and add_words sweep it. Digits of
// B/2 are common: powers of 10 and odd multiples of 5 make them (y^2 D_R for x = 10 ends in
// one in a fifth of the pairs).
#include <algorithm>
#include <cstdint>

#include "arith/kernel_sets.h"
#include "drm/merge.h"
#include "drm/merge_routes.h"
#include "fft/fft.h"

// ---- A pair at a time --------------------------------------------------------------------
// Quick sweeps, whose digits lie in -B/2..B/2-1, where one is -B/2 the span swept again by the
// products' rule; N and D side by side, two chains of carries at once.

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
int merge_pair_by_words(int k, int b, const Span& power) {
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
    return count;
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

namespace {

// ---- Pairs side by side -----------------------------------------------------------------
// A level of many pairs merges MergeLanes of them at a time, side by side in the lanes of the
// kernel set (drm/merge_lanes_kernels.cpp), each pair's integers in a lane of its own, word i
// from the bottom of every pair in the i-th word of the lanes. The pairs' spans are padded to
// the longest of theirs with zero words, which add nothing exactly: each pair's words are
// those of its own spans, as the pair merged alone would leave them.
//
// The groups' words go into the lanes and the merged groups' words out of them in blocks of
// MergeLanes words, a block of each pair at a time.

constexpr int G = MergeLanes;

// The zero words below and above each operand's lanes, which lane_products reads.
constexpr int Pad = LaneProductPad;

// The operands and sums of a batch of pairs whose operands have at most S words, in ProductWork
// from its start, which is free while the pairs merge (square_power forms y^(2a) there after
// them), each array's word 0 after Pad words of zeros:
//   operands: y^a, N_L, N_R, D_L, D_R, S + 2 Pad words each;
//   sums: the coefficients of y^a D_R, then of N; its digits, then D's; the coefficients of D;
//     N's digits: a span of at most 2S + 1 words each, and the Pad words above it of y^a D_R's
//     low half as an operand.
enum LaneOperand {
    PowerLanes,
    LeftNumeratorLanes,
    RightNumeratorLanes,
    LeftLanes,
    RightLanes,
    LaneOperands
};
enum LaneSum {
    CoefficientLanes,
    ProductLanes,
    DenominatorCoefficientLanes,
    NumeratorLanes,
    LaneSums
};

constexpr int operand_words(int S) {
    return S + 2 * Pad;
}
constexpr int sum_words(int S) {
    return 2 * S + 1 + 2 * Pad;
}
constexpr std::int64_t lane_doubles(int S) {
    return std::int64_t{G} * (LaneOperands * operand_words(S) + LaneSums * sum_words(S));
}

struct LaneAreas {
    double* operand[LaneOperands];
    double* sum[LaneSums];
};

LaneAreas lane_areas(int S) {
    LaneAreas at;
    double* next = ProductWork;
    for (double*& lanes : at.operand) lanes = next + Pad * G, next += G * operand_words(S);
    for (double*& lanes : at.sum) lanes = next + Pad * G, next += G * sum_words(S);
    return at;
}

// Whether word i of every lane of X is zero.
bool zero_in_every_lane(const double* X, int i) {
    for (int p = 0; p < G; ++p)
        if (X[i * G + p] != 0) return false;
    return true;
}

// The MergeLanes pairs from pair `first` on merged side by side, by the steps of
// merge_pair_by_words, with y^a = power, whose lanes are in place; no operand has more than L
// words. Returns the bottom words of the merged groups that hold their significant ones.
int merge_pairs_in_lanes(int k, int first, const Span& power, int L, const LaneAreas& at) {
    const KernelTable& kernels = active_kernels();
    const int run = 2 * k;
    const double* groups[LaneOperands][G];
    for (int p = 0; p < G; ++p) {
        const int b = 1 + run * (first + p), r = b + k;
        groups[LeftNumeratorLanes][p] = Numerators + b;
        groups[RightNumeratorLanes][p] = Numerators + r;
        groups[LeftLanes][p] = Denominators + b;
        groups[RightLanes][p] = Denominators + r;
    }
    int count[LaneOperands] = {power.count};
    for (int o = LeftNumeratorLanes; o < LaneOperands; ++o) {
        count[o] = kernels.lanes_from_groups(groups[o], k, at.operand[o]);
        fill_words(0, at.operand[o] + count[o] * G, Pad * G);
    }
    const int longest = *std::max_element(count, count + LaneOperands);
    assert(longest <= L);
    static_cast<void>(L);
    const auto span = [&](int words) { return longest < k ? min(run, words + 1) : run; };
    double* const* in = at.operand;
    double* const* sum = at.sum;

    const int pc = span(count[PowerLanes] + count[RightLanes]);
    kernels.lane_products(in[PowerLanes], count[PowerLanes], in[RightLanes], count[RightLanes],
                          nullptr, 0, nullptr, 0, sum[CoefficientLanes], pc);
    kernels.lane_digits(sum[CoefficientLanes], sum[ProductLanes], pc, pc == run);
    // y^a D_R must fit in k words: the word just above its low half must be zero.
    if (pc > k && !zero_in_every_lane(sum[ProductLanes], k)) stop_on_group_overflow();
    int low_half = min(pc, k);
    while (low_half > 0 && zero_in_every_lane(sum[ProductLanes], low_half - 1)) --low_half;
    fill_words(0, sum[ProductLanes] + low_half * G, Pad * G);

    const int count_nd = span(std::max({count[LeftNumeratorLanes] + low_half,
                                        count[RightNumeratorLanes] + count[LeftLanes],
                                        count[LeftLanes] + count[RightLanes]}));
    kernels.lane_products(in[LeftNumeratorLanes], count[LeftNumeratorLanes], sum[ProductLanes],
                          low_half, in[RightNumeratorLanes], count[RightNumeratorLanes],
                          in[LeftLanes], count[LeftLanes], sum[CoefficientLanes], count_nd);
    kernels.lane_products(in[LeftLanes], count[LeftLanes], in[RightLanes], count[RightLanes],
                          nullptr, 0, nullptr, 0, sum[DenominatorCoefficientLanes], count_nd);
    const bool top = count_nd == run;
    double* const numerator = sum[NumeratorLanes];
    if (kernels.lane_digits(sum[CoefficientLanes], numerator, count_nd, top) != 0) {
        // A digit of +-B/2, which the sweep of the summed coefficients need not share with the
        // products and add_words: N as they sweep it, in every lane (where no digit is +-B/2,
        // every sweep leaves the same words). Each product, the sum of their words, which carries
        // nothing beyond the two carry words, since their words are small, and its sweep.
        kernels.lane_products(in[LeftNumeratorLanes], count[LeftNumeratorLanes], sum[ProductLanes],
                              low_half, nullptr, 0, nullptr, 0, sum[CoefficientLanes], count_nd);
        kernels.lane_digits(sum[CoefficientLanes], numerator, count_nd, top);
        kernels.lane_products(in[RightNumeratorLanes], count[RightNumeratorLanes], in[LeftLanes],
                              count[LeftLanes], nullptr, 0, nullptr, 0, sum[CoefficientLanes],
                              count_nd);
        kernels.lane_digits(sum[CoefficientLanes], sum[ProductLanes], count_nd, top);
        for (int i = 0; i < G * count_nd; ++i)
            sum[CoefficientLanes][i] = numerator[i] + sum[ProductLanes][i];
        kernels.lane_digits(sum[CoefficientLanes], numerator, count_nd, top);
    }
    kernels.lane_digits(sum[DenominatorCoefficientLanes], sum[ProductLanes], count_nd, top);
    double* runs[G];
    for (int p = 0; p < G; ++p) runs[p] = Numerators + 1 + run * (first + p);
    kernels.runs_from_lanes(numerator, count_nd, runs, run);
    for (int p = 0; p < G; ++p) runs[p] = Denominators + 1 + run * (first + p);
    kernels.runs_from_lanes(sum[ProductLanes], count_nd, runs, run);
    return count_nd;
}

// The operands' words that a level of length L lays out room for: whole blocks of G, which the
// groups' words go into the lanes by.
int lane_words(int L) {
    return std::max(L, G);
}

}  // namespace

// Side by side where the batches fill the lanes and ProductWork, 4n + 2 doubles for the step's
// n = 2km words, holds them.
bool merge_in_lanes(int k, int m, int L) {
    return k % G == 0 && m % G == 0 && lane_doubles(lane_words(L)) <= 8LL * k * m + 2;
}

// A level of length L on the route of separate products, every pair word by word; then y^a
// squared. Returns the largest RoundingError.
double merge_level_by_words(int k, int m, int L, int* words) {
    assert(CarryMode < 0);
    const Span power = significant(PowerWork + 1, k);
    *words = 0;
    if (merge_in_lanes(k, m, L)) {
        const LaneAreas at = lane_areas(lane_words(L));
        for (double* lanes : at.operand) fill_words(0, lanes - Pad * G, Pad * G);
        for (double* lanes : at.sum) fill_words(0, lanes - Pad * G, Pad * G);
        double* const power_lanes = at.operand[PowerLanes];
        fill_words(0, power_lanes, G * (power.count + Pad));
        for (int i = 0; i < power.count; ++i)
            fill_words(power.words[power.count - 1 - i], power_lanes + i * G, G);
        for (int first = 0; first < m; first += G)
            *words = std::max(*words, merge_pairs_in_lanes(k, first, power, L, at));
    } else {
        assert(L <= MergeProductsLongest || k <= MergeProductsLongest);
        for (int pair = 0, b = 1; pair < m; ++pair, b += 2 * k)
            *words = std::max(*words, merge_pair_by_words(k, b, power));
    }
    return square_power(k);
}
