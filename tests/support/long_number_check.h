// Helpers for tests of multi-word numbers: the carry mode of one test, operands and results
// fenced by guard words, random normalised operands, and exact values as GMP integers (the
// independent oracle of the arithmetic).
#pragma once

#include <gmpxx.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "arith/long_number.h"

using Words = std::vector<double>;

// Sets CarryMode for one test and restores the balanced mode of the computation after it.
struct CarryModeGuard {
    explicit CarryModeGuard(int mode) { CarryMode = mode; }
    ~CarryModeGuard() { CarryMode = -1; }
};

// A copy of `init` with a guard word on each side: a write just outside the words given to
// an operation shows up even where the operation works inside one big array. The guard is
// not a whole number, so no operation produces it.
struct Fenced {
    static constexpr double Guard = 0.3141592653589793;
    explicit Fenced(const Words& init) : all(init.size() + 2, Guard) {
        std::copy(init.begin(), init.end(), all.begin() + 1);
    }
    double* at() { return all.data() + 1; }
    Words words() const { return Words(all.begin() + 1, all.end() - 1); }
    bool guards_intact() const { return all.front() == Guard && all.back() == Guard; }
    Words all;
};

// An output area of n+1 words, filled with a value that is not a whole number so that a word
// the operation fails to write cannot pass for a result.
inline Fenced fenced_output(int n) {
    return Fenced(Words(n + 1, 0.5));
}

// Runs op(Z) into a fenced output area of n+1 words and returns the words left there.
template <class Op>
Words into_fenced(int n, Op op) {
    Fenced z = fenced_output(n);
    op(z.at());
    EXPECT_TRUE(z.guards_intact()) << "a word beside the result was written";
    return z.words();
}

// Runs op(Z) with Z a fenced copy of x, for the operations that may work in place.
template <class Op>
Words in_place(const Words& x, Op op) {
    Fenced z(x);
    op(z.at());
    EXPECT_TRUE(z.guards_intact()) << "a word beside the result was written";
    return z.words();
}

// True when x is in the normalised form of the current CarryMode: whole words, words 2..n in
// its digit range, word 1 non-zero unless the whole mantissa is zero.
inline bool is_normalised(const Words& x) {
    const double lo = CarryMode < 0 ? -50000 : 0, hi = CarryMode < 0 ? 50000 : 99999;
    bool zero = true;
    for (size_t i = 1; i < x.size(); ++i) {
        if (x[i] != std::floor(x[i])) return false;
        if (i >= 2 && (x[i] < lo || x[i] > hi)) return false;
        zero = zero && x[i] == 0;
    }
    return zero || x.size() < 2 || x[1] != 0;
}

// Names the rows of a parameterised table after their `name` member.
struct RowName {
    template <class Row>
    std::string operator()(const testing::TestParamInfo<Row>& info) const {
        return info.param.name;
    }
};

// "[E | w1, w2, ...]", for failure messages.
inline std::string words_text(const Words& x) {
    std::ostringstream s;
    s.precision(17);
    s << '[' << x[0] << " |";
    for (size_t i = 1; i < x.size(); ++i) s << (i > 1 ? ", " : " ") << x[i];
    s << ']';
    return s.str();
}

// B^k as an exact integer, k >= 0.
inline mpz_class radix_power(long k) {
    mpz_class p;
    if (k < 0) {
        ADD_FAILURE() << "radix_power(" << k << ")";
        return p;
    }
    mpz_ui_pow_ui(p.get_mpz_t(), 100000, static_cast<unsigned long>(k));
    return p;
}

// The value of the number x (x.size()-1 mantissa words) in units of B^low, that is
// sum x[i]*B^(x[0]-i-low); low must be at most x[0] - n.
inline mpz_class scaled_value(const Words& x, long low) {
    const long n = static_cast<long>(x.size()) - 1;
    mpz_class v = 0;
    for (long i = 1; i <= n; ++i) v = v * 100000 + mpz_class(x[i]);
    return v * radix_power(static_cast<long>(x[0]) - n - low);
}

// A normalised balanced number of n words with exponent e: word 1 non-zero within
// -(B-1)..B-1, words 2..n within -B/2..B/2. About one word in six comes from the ends of
// those ranges or is 0 or +-1, so that carries, ties and cancellations are frequent.
inline Words random_balanced(std::mt19937_64& rng, int n, long e) {
    static const double top_ends[] = {1, -1, 99999, -99999, 50000, -50000};
    static const double word_ends[] = {0, 0, 1, -1, 50000, -50000, 49999, -49999};
    std::uniform_int_distribution<int> top(-99999, 99999), word(-50000, 50000), pick(0, 47);
    Words x(n + 1);
    x[0] = static_cast<double>(e);
    do {
        const int p = pick(rng);
        x[1] = p < 6 ? top_ends[p] : top(rng);
    } while (x[1] == 0);
    for (int i = 2; i <= n; ++i) {
        const int p = pick(rng);
        x[i] = p < 8 ? word_ends[p] : word(rng);
    }
    return x;
}

// The size of a random case: 2 to 64 words, small sizes as often as large ones.
inline int random_size(std::mt19937_64& rng) {
    std::uniform_int_distribution<int> coin(0, 1), small(2, 8), any(2, 64);
    return coin(rng) ? small(rng) : any(rng);
}
