// The command line of the whole-run yardsticks (gmp_machin, mpfr_pi, gmp_chudnovsky), written
// once:
//
//   <program> N [FILE]
//
// times the computation of "3" and the first N decimals of pi, prints "<name>, N=<N>: <time>
// s", and with FILE writes "3." and the N decimals to it as one line. Returns the exit
// status: 2 for a bad command line, 1 when the computation or the file fails.
#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

// pi: "3" and the first `decimals` decimals, truncated, or an empty string when it failed.
inline int yardstick_main(int argc, char** argv, const char* program, const char* name,
                          std::string (*pi_of)(long decimals)) {
    const long decimals = argc > 1 ? std::atol(argv[1]) : 0;
    if (argc < 2 || argc > 3 || decimals < 1) {
        std::fprintf(stderr, "usage: %s N [FILE]\n", program);
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    const std::string pi = pi_of(decimals);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    if (pi.size() != static_cast<std::size_t>(decimals) + 1) {
        std::fprintf(stderr, "%s: the computation failed\n", program);
        return 1;
    }
    std::printf("%s, N=%ld: %.3f s\n", name, decimals, elapsed.count());
    if (argc == 3) {
        FILE* out = std::fopen(argv[2], "w");
        if (out == nullptr || std::fprintf(out, "3.%s\n", pi.c_str() + 1) < 0 ||
            std::fclose(out) != 0) {
            std::fprintf(stderr, "%s: cannot write %s\n", program, argv[2]);
            return 1;
        }
    }
    return 0;
}
