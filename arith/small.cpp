// A number combined with a small integer: a + X, a*X and X/a.
#include <cstdint>

#include "arith/long_number.h"

namespace {

// x truncated toward zero. Every x passed here is a quotient of whole numbers below 2^53 in
// magnitude, so the double division that formed it cannot round across a whole number and
// the truncation is that of the exact quotient; the 64-bit integer has room to spare.
inline double truncated(double x) {
    return static_cast<double>(static_cast<int64_t>(x));
}

}  // namespace

void add_small(int a, const double* X, double* Z, int n, int sign) {
    assert(n >= 1);
    assert(!overlaps(Z, n + 1, X, n + 1));
    const double f = sign < 0 ? -1.0 : 1.0;
    const double ex = X[0];
    int swept = n;  // the words the carry sweep covers
    if (ex >= 1) {
        // Word E of X is its units word; beyond word n it is cut off and a goes with it.
        const int units = ex < n ? static_cast<int>(ex) : n;
        Z[0] = ex;
        for (int i = 1; i <= units; ++i) Z[i] = f * X[i];
        if (ex <= n) Z[units] += a;
        // Below the units word a sweep passes no carry through digits, and X's words there are
        // digits when X is normalised, as the residual of a reciprocal is: then they only need
        // their zeros made +0 (the bottom word's aside), and the sweep covers words 1..E.
        const double low = CarryMode >= 0 ? 0.0 : -0.5 * Radix;
        const double high = CarryMode >= 0 ? Radix - 1 : 0.5 * Radix;
        // Misses are counted in a double, as wide as the words, so that the loop runs in
        // vector registers.
        double misses = 0;
        for (int i = units + 1; i <= n; ++i) {
            const double w = f * X[i];
            misses += ((w < low) | (w > high)) ? 1.0 : 0.0;
            Z[i] = w + 0.0;
        }
        if (units < n) Z[n] = f * X[n];  // the bottom word keeps a -0
        if (misses == 0) swept = units;
    } else {
        // X lies wholly below the units word: it moves down by k words under a.
        const int64_t shift = static_cast<int64_t>(1 - ex);
        const int k = shift < n ? static_cast<int>(shift) : n;
        Z[0] = 1;
        Z[1] = a;
        fill_words(0, Z + 2, k - 1);
        for (int i = k + 1; i <= n; ++i) Z[i] = f * X[i - k];
    }
    normalize_carries(Z + 1, swept);
    strip_leading_zeros(Z, n);
}

void mul_small(const double* X, int a, double* Z, int n) {
    assert(n >= 1);
    assert(!overlaps(Z, n + 1, X, n + 1));
    const double B = Radix;
    if (std::fabs(X[1] * a) >= B) {
        // The top product needs a word of its own: start one word higher and keep only the
        // upper part of the last product.
        Z[0] = X[0] + 1;
        Z[1] = 0;
        for (int i = 1; i < n; ++i) Z[i + 1] = a * X[i];
        Z[n] += truncated(a * X[n] / B);  // |a*X[n]| < 2^53: the truncation is exact
    } else {
        Z[0] = X[0];
        for (int i = 1; i <= n; ++i) Z[i] = a * X[i];
    }
    normalize_carries(Z + 1, n);
    strip_leading_zeros(Z, n);
}

void div_small(const double* X, int a, double* Z, int n) {
    assert(n >= 1);
    assert(a != 0);
    assert(Z == X || !overlaps(Z, n + 1, X, n + 1));
    const double B = Radix;
    // Long division, one word at a time. q truncates toward zero, so the remainder
    // r = u - q*a keeps the sign of the partial dividend u and |r| < |a|; then
    // |u| < |a|*B + |X[i]|, far below 2^53. Word i of Z is written only after word i of X
    // has been read, which lets Z be X.
    double r;
    if (std::fabs(X[1]) >= std::fabs(static_cast<double>(a))) {
        Z[0] = X[0];
        r = 0;
        for (int i = 1; i <= n; ++i) {
            const double u = r * B + X[i];
            const double q = truncated(u / a);
            Z[i] = q;
            r = u - q * a;
        }
    } else {
        // The first quotient word would be zero: start one word lower, bring X[1] in as the
        // first remainder and divide one word past the end of X.
        Z[0] = X[0] - 1;
        r = X[1];
        for (int i = 1; i < n; ++i) {
            const double u = r * B + X[i + 1];
            const double q = truncated(u / a);
            Z[i] = q;
            r = u - q * a;
        }
        Z[n] = truncated(r * B / a);
    }
    // The remainder left now is dropped: the quotient is truncated, never rounded.
    normalize_carries(Z + 1, n);
    strip_leading_zeros(Z, n);
}

void reciprocal_small(int a, double* Z, int n) {
    assert(n >= 1 && a >= 2);
    const double B = Radix;
    // As div_small divides 1 (X[1] = 1 < a): one word lower, word i of the quotient is
    // floor(r B / a) for the remainder r = B^(i-1) mod a that 1 leaves after i - 1 words.
    // That chain waits on a division a word; four stretches of words, each begun from its
    // own remainder, raised to its power apart, run side by side.
    const auto remainder_before = [a](std::int64_t words) {  // B^words mod a
        std::int64_t r = 1, power = static_cast<std::int64_t>(Radix) % a;
        for (; words > 0; words /= 2, power = power * power % a)
            if (words % 2) r = r * power % a;
        return static_cast<double>(r);
    };
    constexpr int Stretches = 4;
    const int len = (n + Stretches - 1) / Stretches;
    double r[Stretches];
    for (int s = 0; s < Stretches; ++s) r[s] = remainder_before(static_cast<std::int64_t>(s) * len);
    Z[0] = 0;
    for (int t = 0; t < len; ++t)
        for (int s = 0; s < Stretches; ++s) {
            const int i = 1 + s * len + t;
            if (i > n) continue;
            const double u = r[s] * B, q = truncated(u / a);
            Z[i] = q;
            r[s] = u - q * a;
        }
    normalize_carries(Z + 1, n);
    strip_leading_zeros(Z, n);
}
