// The third yardstick of the whole-run benchmark: pi to N decimals by the Chudnovsky series,
//   1/pi = 12 sum_k (-1)^k (6k)! (A + B k) / ((3k)! (k!)^3 C^(3k + 3/2)),
//   A = 13591409, B = 545140134, C = 640320,
// summed by binary splitting in exact GMP integers (P, Q, T), then one integer square root
// of 10005, one division for the whole of pi and one conversion to decimal. Single-threaded,
// like pidrm. Each term adds log10(C^3 / 1728) = 14.18 decimals, against 1.4 and 4.8 for the
// two arctangents of Machin's formula. The splitting is the plain one: common factors of P
// and Q are not divided out (some programs do, with a sieve of their primes).
//
//   gmp_chudnovsky N [FILE]
//
// prints the time the computation took, and with FILE writes "3." and the N decimals
// (truncated) to it as one line, in the form gmp_machin writes. GMP serves only here and in
// the tests; pidrm never links it.
#include <gmpxx.h>

#include <cmath>
#include <string>

#include "bench/yardstick_main.h"

namespace {

constexpr unsigned long SeriesA = 13591409;
constexpr unsigned long SeriesB = 545140134;
constexpr unsigned long SqrtFactor = 426880;  // C^(3/2) / 12 = 426880 sqrt(10005)
constexpr unsigned long SqrtRadicand = 10005;
// Decimals each term adds: log10(C^3 / 1728), the ratio of consecutive terms tending to
// -1728 / C^3 (C^3 / 1728 = 151931373056000).
constexpr double DecimalsPerTerm = 14.181647462725477;

// C^3 / 24 = 10939058860032000: above 32 bits, so built from C rather than taken as one
// unsigned long (32 bits on Windows).
mpz_class c3_over_24() {
    mpz_class c = 640320;
    return c * c * c / 24;
}

// The terms a..b-1 (1 <= a < b) of the series as exact integers. Term k is (A + B k) s(k)
// with s(0) = 1 and s(k) = s(k-1) p(k) / q(k),
//   p(k) = -(6k - 5)(2k - 1)(6k - 1),  q(k) = k^3 C^3 / 24;
// with P = prod p(k), Q = prod q(k) and T = sum_k (A + B k) p(a)..p(k) q(k+1)..q(b-1) over
// a <= k < b, the terms a..b-1 sum to s(a-1) T / Q. From the halves:
//   P = P_left P_right,  Q = Q_left Q_right,  T = T_left Q_right + P_left T_right.
// The rightmost splits of the whole series never need their P (only a left half's P is
// used), so need_p = false leaves it unmade: one product of each such level saved.
void split(unsigned long a, unsigned long b, bool need_p, const mpz_class& q_factor, mpz_class& P,
           mpz_class& Q, mpz_class& T) {
    if (b - a == 1) {
        P = 6 * a - 5;
        P *= 2 * a - 1;
        P *= 6 * a - 1;
        P = -P;
        Q = q_factor;
        Q *= a;
        Q *= a;
        Q *= a;
        T = a;  // A + B a exceeds 32 bits: made in GMP integers
        T *= SeriesB;
        T += SeriesA;
        T *= P;
        return;
    }
    const unsigned long m = a + (b - a) / 2;
    mpz_class P2, Q2, T2;
    split(a, m, true, q_factor, P, Q, T);
    split(m, b, need_p, q_factor, P2, Q2, T2);
    T *= Q2;
    T2 *= P;
    T += T2;
    if (need_p) P *= P2;
    Q *= Q2;
}

// "3" followed by the first `decimals` decimals of pi, truncated. With Q and T of terms
// 1..terms-1, pi = 426880 sqrt(10005) Q / (A Q + T), so
//   pi 10^p = 426880 sqrt(10005 10^(2p)) Q / (A Q + T).
// Q and D = A Q + T (both positive) are cut to the b = log2(10^p) + 64 top bits of D by the
// same shift, for only their ratio matters: that costs a relative error below 2^(25-b) (Q is
// about D / A, 24 bits shorter), the square root's floor one below 10^-p, the series' tail
// one below 10^-p. So pi 10^p comes out within 2 of the truth, and ten guard digits absorb
// that unless the decimals after the N-th are a run of ten zeros or nines, which the first
// 1,310,715 decimals have not. The square root is an integer square root (mpz_sqrt, exact
// floor) at the decimal scale: the scale of the result, whose floor bounds its error plainly.
std::string chudnovsky_pi(long decimals) {
    const long guard = 10, p = decimals + guard;
    const unsigned long terms = static_cast<unsigned long>(p / DecimalsPerTerm) + 2;
    mpz_class P, Q, T;
    split(1, terms, false, c3_over_24(), P, Q, T);  // terms >= 2
    mpz_class D = Q * SeriesA;
    D += T;
    const long bits = static_cast<long>(std::ceil(p * std::log2(10.0))) + 64;
    const long shift = static_cast<long>(mpz_sizeinbase(D.get_mpz_t(), 2)) - bits;
    if (shift > 0) {
        mpz_fdiv_q_2exp(Q.get_mpz_t(), Q.get_mpz_t(), static_cast<mp_bitcnt_t>(shift));
        mpz_fdiv_q_2exp(D.get_mpz_t(), D.get_mpz_t(), static_cast<mp_bitcnt_t>(shift));
    }
    mpz_class root;
    mpz_ui_pow_ui(root.get_mpz_t(), 10, static_cast<unsigned long>(2 * p));
    root *= SqrtRadicand;
    mpz_sqrt(root.get_mpz_t(), root.get_mpz_t());
    root *= SqrtFactor;
    root *= Q;
    mpz_class pi;
    mpz_fdiv_q(pi.get_mpz_t(), root.get_mpz_t(), D.get_mpz_t());
    std::string all = pi.get_str();
    all.resize(decimals + 1);
    return all;
}

}  // namespace

int main(int argc, char** argv) {
    return yardstick_main(argc, argv, "gmp_chudnovsky", "GMP Chudnovsky", chudnovsky_pi);
}
