// The second yardstick of the whole-run benchmark: pi to N decimals from MPFR's own pi
// routine (mpfr_const_pi), then one conversion to decimal. Single-threaded, like pidrm.
//
//   mpfr_pi N [FILE]
//
// prints the time the computation took, and with FILE writes "3." and the N decimals
// (truncated) to it as one line, in the form gmp_machin writes. MPFR serves only here;
// pidrm never links it.
#include <mpfr.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

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
    const long decimals = argc > 1 ? std::atol(argv[1]) : 0;
    if (argc < 2 || argc > 3 || decimals < 1) {
        std::fprintf(stderr, "usage: mpfr_pi N [FILE]\n");
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    const std::string pi = mpfr_pi(decimals);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    if (pi.empty()) {
        std::fprintf(stderr, "mpfr_pi: conversion to decimal failed\n");
        return 1;
    }
    std::printf("MPFR pi, N=%ld: %.3f s\n", decimals, elapsed.count());
    if (argc == 3) {
        FILE* out = std::fopen(argv[2], "w");
        if (out == nullptr || std::fprintf(out, "3.%s\n", pi.c_str() + 1) < 0 ||
            std::fclose(out) != 0) {
            std::fprintf(stderr, "mpfr_pi: cannot write %s\n", argv[2]);
            return 1;
        }
    }
    return 0;
}
