// An independent oracle for the digits of pi: exact big-integer arithmetic with GMP.
#pragma once

#include <gmpxx.h>

#include <string>

// The first `decimals` decimals of pi after "3.", as digit characters, truncated (not
// rounded). Machin's formula summed by binary splitting in exact integers; ten guard digits.
std::string gmp_pi_decimals(int decimals);

// The terms a..b-1 of atan(1/x) = sum (-1)^k / ((2k+1) x^(2k+1)) as one exact fraction:
//   sum = N / (D * x^(2b-1)),  D = prod (2k+1),  Y = x^(2(b-a)),
// merged pairwise by binary splitting.
void gmp_atan_block(long a, long b, long x, mpz_class& N, mpz_class& D, mpz_class& Y);
