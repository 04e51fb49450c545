// Carry propagation and the word-run primitives of the number format.
#include <cstdint>
#include <cstring>

#include "arith/long_number.h"

double Radix = 100000.0;
int CarryMode = -1;

void normalize_carries(double* M, int n) {
    if (n <= 1) return;
    const double B = Radix;
    // First sweep: reduce every word below the top into (-B, B), keeping its sign. The
    // carry is a 64-bit integer: convolution coefficients reach about 6.6e14 at 2^18 words,
    // beyond what a 32-bit quotient of B holds.
    for (int i = n - 1; i >= 1; --i) {
        const double q = static_cast<double>(static_cast<int64_t>(M[i] / B));
        M[i] -= q * B;
        M[i - 1] += q;
    }
    // Second sweep: fold each word into the digit range of the mode; the +-1 that arrives
    // from below is included when the sweep reaches a word, so one pass suffices.
    if (CarryMode >= 0) {
        for (int i = n - 1; i >= 1; --i) {
            if (M[i] < 0) {
                M[i] += B;
                M[i - 1] -= 1;
            }
        }
    } else {
        const double h = B / 2;
        for (int i = n - 1; i >= 1; --i) {
            if (M[i] > h) {
                M[i] -= B;
                M[i - 1] += 1;
            } else if (M[i] < -h) {
                M[i] += B;
                M[i - 1] -= 1;
            }
        }
    }
}

void strip_leading_zeros(double* X, int n) {
    int k = 0;
    while (k < n && X[k + 1] == 0) ++k;
    if (k == 0) return;
    if (k < n) std::memmove(X + 1, X + 1 + k, sizeof(double) * (n - k));
    fill_words(0, X + 1 + (n - k), k);
    X[0] -= k;
}

void as_integer(double* X, int n) {
    X[0] = n;
    strip_leading_zeros(X, n);
}

void set_small(int a, double* X, int n) {
    X[0] = 1;
    X[1] = a;
    fill_words(0, X + 2, n - 1);
}

void fill_words(double v, double* X, int m) {
    for (int i = 0; i < m; ++i) X[i] = v;
}

void copy_words(const double* src, double* dst, int m) {
    assert(src == dst || !overlaps(src, m, dst, m));
    if (src == dst || m <= 0) return;
    std::memcpy(dst, src, sizeof(double) * m);
}
