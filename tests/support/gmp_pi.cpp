#include "tests/support/gmp_pi.h"

#include <gmpxx.h>

#include <cmath>

namespace {

void split(long a, long b, const mpz_class& x2, mpz_class& N, mpz_class& D, mpz_class& Y) {
    if (b - a == 1) {
        N = a % 2 == 0 ? 1 : -1;
        D = 2 * a + 1;
        Y = x2;
        return;
    }
    const long m = (a + b) / 2;
    mpz_class N2, D2, Y2;
    split(a, m, x2, N, D, Y);
    split(m, b, x2, N2, D2, Y2);
    N = N * D2 * Y2 + N2 * D;
    D *= D2;
    Y *= Y2;
}

// floor(atan(1/x) * 10^p) up to a unit or two of truncation, from enough terms for p digits.
mpz_class scaled_atan(long x, long p) {
    const long terms = static_cast<long>(p / (2 * std::log10(static_cast<double>(x)))) + 2;
    mpz_class N, D, Y, scale, power;
    split(0, terms, mpz_class(x) * x, N, D, Y);
    mpz_ui_pow_ui(scale.get_mpz_t(), 10, p);
    mpz_ui_pow_ui(power.get_mpz_t(), x, 2 * terms - 1);
    mpz_class q = N * scale;
    mpz_fdiv_q(q.get_mpz_t(), q.get_mpz_t(), mpz_class(D * power).get_mpz_t());
    return q;
}

}  // namespace

void gmp_atan_block(long a, long b, long x, mpz_class& N, mpz_class& D, mpz_class& Y) {
    split(a, b, mpz_class(x) * x, N, D, Y);
}

std::string gmp_pi_decimals(int decimals) {
    const long guard = 10, p = decimals + guard;
    mpz_class pi = 16 * scaled_atan(5, p) - 4 * scaled_atan(239, p);
    mpz_class unit;
    mpz_ui_pow_ui(unit.get_mpz_t(), 10, guard);
    mpz_fdiv_q(pi.get_mpz_t(), pi.get_mpz_t(), unit.get_mpz_t());
    const std::string all = pi.get_str();  // "3" followed by the decimals
    return all.substr(1, decimals);
}
