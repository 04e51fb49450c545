// Word runs with a guard word on each side, to catch writes just outside an output or a
// scratch area that AddressSanitizer cannot see inside one large array.
#pragma once

#include <cstddef>
#include <vector>

constexpr double GuardWord = -7.0e300;

struct Guarded {
    std::vector<double> words;
    explicit Guarded(std::size_t m, double fill = 0) : words(m + 2, fill) {
        words.front() = words.back() = GuardWord;
    }
    double* data() { return words.data() + 1; }
    bool intact() const { return words.front() == GuardWord && words.back() == GuardWord; }
};
