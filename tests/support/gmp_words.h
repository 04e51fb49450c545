// Exact values of long numbers and word runs, for comparisons with GMP.
#pragma once

#include <gmpxx.h>

#include <random>

// The integer sum M[i] * B^(m-1-i) of a mantissa run of m words.
mpz_class run_value(const double* M, int m);

// The exact value sum X[i] * B^(X[0]-i), i = 1..n, of a long number of n words.
mpq_class long_value(const double* X, int n);

// B^k as a rational, for any whole k.
mpq_class radix_power_q(long k);

// A random normalised number of n words with exponent `exponent`: balanced words in
// -50000..50000 and a non-zero leading word of either sign (when `negative_allowed`).
void random_long(double* X, int n, int exponent, std::mt19937_64& rng, bool negative_allowed);
