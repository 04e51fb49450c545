// The two-sweep carry propagation normalize_carries was first written as: a truncating
// division per word, then a sweep folding every word into the digit range of CarryMode.
// Tests compare the fast version with it bit for bit; the benchmark times both.
#pragma once

#include <cstdint>

#include "arith/long_number.h"

inline void normalize_carries_two_sweeps(double* M, int n) {
    if (n <= 1) return;
    const double B = Radix;
    // Reduce every word below the top into (-B, B), keeping the sign of the word plus the
    // carry it received.
    for (int i = n - 1; i >= 1; --i) {
        const double q = static_cast<double>(static_cast<int64_t>(M[i] / B));
        M[i] -= q * B;
        M[i - 1] += q;
    }
    // Fold each word into the digit range; the +-1 from below is already in it.
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
