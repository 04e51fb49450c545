// The second yardstick of the whole-run benchmark: pi to N decimals from MPFR's own pi
// routine (mpfr_const_pi), then one conversion to decimal. Single-threaded, like pidrm.
//
//   mpfr_pi N [FILE]
//
// prints the time the computation took, and with FILE writes "3." and the N decimals
// (truncated) to it as one line, in the form gmp_machin writes. MPFR serves only here;
// pidrm never links it.
#include <mpfr.h>

#include <cmath>
#include <string>

#include "bench/yardstick_main.h"

namespace {

// "3" followed by the first `decimals` decimals of pi, truncated. pi is rounded to a binary
// precision of `decimals` + 20 decimal digits, then converted to that many digits rounding
// toward zero; the twenty guard digits absorb both roundings unless the decimals after the
// N-th are a run of twenty zeros or nines, which the first 1,310,715 decimals have not.
std::string mpfr_pi(long decimals) {
    const long digits = decimals + 1 + 20;
    const mpfr_prec_t bits = static_cast<mpfr_prec_t>(std::ceil(digits * std::log2(10.0))) + 64;
    mpfr_t pi;
    mpfr_init2(pi, bits);
    mpfr_const_pi(pi, MPFR_RNDN);
    mpfr_exp_t exponent = 0;
    char* text = mpfr_get_str(nullptr, &exponent, 10, static_cast<size_t>(digits), pi, MPFR_RNDZ);
    std::string all = text == nullptr || exponent != 1 ? std::string() : std::string(text);
    if (text != nullptr) mpfr_free_str(text);
    mpfr_clear(pi);
    mpfr_free_cache();
    all.resize(all.empty() ? 0 : decimals + 1);
    return all;
}

}  // namespace

int main(int argc, char** argv) {
    return yardstick_main(argc, argv, "mpfr_pi", "MPFR pi", mpfr_pi);
}
