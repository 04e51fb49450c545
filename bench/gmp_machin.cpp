// The yardstick of the whole-run benchmark: pi to N decimals by Machin's formula,
//   pi = 16 atan(1/5) - 4 atan(1/239),
// each arctangent series summed by binary splitting in exact GMP integers, then one
// division for the whole of pi and one conversion to decimal. Single-threaded, like pidrm.
//
//   gmp_machin N [FILE]
//
// prints the time the computation took, and with FILE writes "3." and the N decimals
// (truncated) to it as one line, so that a script can compare them with a pidrm result.
// GMP serves only here and in the tests; pidrm never links it.
#include <gmpxx.h>

#include <cmath>
#include <string>
#include <vector>

#include "bench/yardstick_main.h"

namespace {

// x^(2 len) for the lengths the splitting meets: a halving splits a length into its floor and
// ceiling halves, so each level has at most two lengths and every power is made once.
long SquareOfX;                         // x^2 of the arctangent being summed
std::vector<long> PowerLengths;         // len of each power made so far
std::vector<mpz_class> PowersOfSquare;  // (x^2)^len, beside its len

// The reference stays valid until the next call, which may grow the table.
const mpz_class& power_of_square(long len) {
    for (size_t i = 0; i < PowerLengths.size(); ++i) {
        if (PowerLengths[i] == len) return PowersOfSquare[i];
    }
    PowersOfSquare.emplace_back();
    mpz_ui_pow_ui(PowersOfSquare.back().get_mpz_t(), SquareOfX, len);
    PowerLengths.push_back(len);
    return PowersOfSquare.back();
}

// The terms a..b-1 of atan(1/x) = sum (-1)^k / ((2k+1) x^(2k+1)) as one exact fraction
//   sum = T / (D x^(2b-1)),  D = prod_{a<=k<b} (2k+1),
// from the halves: T = T_left D_right x^(2(b-m)) + T_right D_left.
void split(long a, long b, mpz_class& T, mpz_class& D) {
    if (b - a == 1) {
        T = a % 2 == 0 ? 1 : -1;
        D = 2 * a + 1;
        return;
    }
    if (b - a == 2) {  // (-1)^a ((2a+3) x^2 - (2a+1)) / ((2a+1)(2a+3) x^(2b-1))
        mpz_class t = mpz_class(2 * a + 3) * SquareOfX - (2 * a + 1);
        T = a % 2 == 0 ? t : mpz_class(-t);
        D = mpz_class(2 * a + 1) * (2 * a + 3);
        return;
    }
    const long m = (a + b) / 2;
    mpz_class T2, D2;
    split(a, m, T, D);
    split(m, b, T2, D2);
    T *= D2;
    T *= power_of_square(b - m);
    T2 *= D;
    T += T2;
    D *= D2;
}

// atan(1/x) = T / Q with Q = D x^(2 terms - 1), from enough terms for `digits` decimals:
// the first term left out is below x^-(2 terms + 1) < 10^-digits.
void atan_fraction(long x, long digits, mpz_class& T, mpz_class& Q) {
    const long terms = static_cast<long>(digits / (2 * std::log10(static_cast<double>(x)))) + 2;
    SquareOfX = x * x;
    PowerLengths.clear();
    PowersOfSquare.clear();
    mpz_class D;
    split(0, terms, T, D);
    mpz_class power;
    mpz_ui_pow_ui(power.get_mpz_t(), x, 2 * terms - 1);
    Q = D * power;
}

// "3" followed by the first `decimals` decimals of pi, truncated; ten guard digits absorb the
// tail of the series.
std::string machin_pi(long decimals) {
    const long guard = 10, p = decimals + guard;
    mpz_class T5, Q5, T239, Q239;
    atan_fraction(5, p, T5, Q5);
    atan_fraction(239, p, T239, Q239);
    // pi 10^p = (16 T5 Q239 - 4 T239 Q5) 10^p / (Q5 Q239)
    mpz_class numerator = 16 * T5 * Q239 - 4 * T239 * Q5;
    mpz_class scale;
    mpz_ui_pow_ui(scale.get_mpz_t(), 10, p);
    numerator *= scale;
    mpz_class denominator = Q5 * Q239;
    mpz_class pi;
    mpz_fdiv_q(pi.get_mpz_t(), numerator.get_mpz_t(), denominator.get_mpz_t());
    std::string all = pi.get_str();
    all.resize(decimals + 1);
    return all;
}

}  // namespace

int main(int argc, char** argv) {
    return yardstick_main(argc, argv, "gmp_machin", "GMP Machin", machin_pi);
}
