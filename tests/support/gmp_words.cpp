#include "tests/support/gmp_words.h"

mpz_class run_value(const double* M, int m) {
    // Word by word up to 64 words; above, the two halves joined by one product, so that a run
    // of 2^18 words takes a fraction of a second, not the 10 s of 2^18 short steps.
    if (m <= 64) {
        mpz_class v = 0;
        for (int i = 0; i < m; ++i) v = v * 100000 + static_cast<long>(M[i]);
        return v;
    }
    const int low = m / 2;
    mpz_class power;
    mpz_ui_pow_ui(power.get_mpz_t(), 100000, static_cast<unsigned long>(low));
    return run_value(M, m - low) * power + run_value(M + (m - low), low);
}

mpq_class radix_power_q(long k) {
    mpz_class p;
    mpz_ui_pow_ui(p.get_mpz_t(), 100000, static_cast<unsigned long>(k < 0 ? -k : k));
    return k < 0 ? mpq_class(1, p) : mpq_class(p);
}

mpq_class long_value(const double* X, int n) {
    mpq_class v(run_value(X + 1, n));
    v *= radix_power_q(static_cast<long>(X[0]) - n);
    v.canonicalize();
    return v;
}

void random_long(double* X, int n, int exponent, std::mt19937_64& rng, bool negative_allowed) {
    std::uniform_int_distribution<int> word(-50000, 50000), lead(1, 99999);
    X[0] = exponent;
    for (int i = 2; i <= n; ++i) X[i] = word(rng);
    X[1] = lead(rng);
    if (negative_allowed && (rng() & 1)) X[1] = -X[1];
}
