// Sums and differences: word-wise over mantissa runs, and aligned on exponents over numbers.
#include <algorithm>
#include <cstdint>

#include "arith/long_number.h"

void add_words(const double* U, const double* V, double* R, int m, int sign) {
    assert(R == U || !overlaps(R, m, U, m));
    assert(R == V || !overlaps(R, m, V, m));
    // Word by word the result depends only on the words at the same index, so R may start
    // where U or V starts.
    if (sign < 0) {
        for (int i = 0; i < m; ++i) R[i] = U[i] - V[i];
    } else {
        for (int i = 0; i < m; ++i) R[i] = U[i] + V[i];
    }
    normalize_carries(R, m);
}

void add_aligned(const double* X, const double* Y, double* Z, int n, int sign) {
    // Z may be X only when Y moves down onto X: then every word of X is either kept as it
    // is or read in the same step that overwrites it.
    assert((Z == X && X[0] >= Y[0]) || !overlaps(Z, n + 1, X, n + 1));
    assert(!overlaps(Z, n + 1, Y, n + 1));
    // Both exponents are taken before anything is written: Z may be X.
    const double ex = X[0], ey = Y[0];
    const int64_t d = static_cast<int64_t>(ey <= ex ? ex - ey : ey - ex);
    const int k = d < n ? static_cast<int>(d) : n;  // the words of one above the other
    if (ey <= ex) {
        // Y moves down by d words; its last d words fall below word n and are dropped.
        copy_words(X, Z, k + 1);  // the exponent and X's words above Y
        add_words(X + k + 1, Y + 1, Z + k + 1, n - k, sign);
    } else {
        // X moves down by d words under Y's top words, which are taken with their sign.
        const double s = sign < 0 ? -1.0 : 1.0;
        Z[0] = ey;
        for (int j = 1; j <= k; ++j) Z[j] = s * Y[j];
        add_words(X + 1, Y + k + 1, Z + k + 1, n - k, sign);
    }
    // Below word k+1 the words are digits already, as add_words left them, and pass no carry:
    // the words above them are all that a carry sweep over the whole mantissa changes.
    normalize_carries(Z + 1, std::min(k + 1, n));
    strip_leading_zeros(Z, n);
}
