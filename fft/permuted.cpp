// The entry points of the permuted transform: their checks, then the code of the active
// kernel set (fft/permuted_kernels.cpp). They build no table: the run prepares the tables of
// its length once, before its first product (prepare_transforms).
#include <cassert>

#include "arith/kernel_sets.h"
#include "fft/fft.h"
#include "fft/groups.h"

int spectrum_group(int n) {
    return common::group_points(n, active_kernels().wide_lanes);
}

std::int64_t spectrum_real(std::int64_t i, int n) {
    return common::real_at(i, spectrum_group(n));
}

namespace {

// The checks every transform shares: a power-of-two length in range, whose tables have been
// prepared.
void check_length(int n, int shortest) {
    assert(n >= shortest && n <= MaxPoints && (n & (n - 1)) == 0);
    assert(transforms_prepared(n));
    static_cast<void>(n);
    static_cast<void>(shortest);
}

}  // namespace

void weighted_fft_permuted(double* points, int n, int direction) {
    check_length(n, 2);
    active_kernels().transform(points, n, direction);
}

void weighted_fft_permuted_words(const double* words, double* spectrum, int n, bool folded) {
    check_length(n, WordsTransformShortest);
    assert(!overlaps(words, n, spectrum, 2LL * n));
    assert(!folded || !overlaps(words - n, n, spectrum, 2LL * n));
    active_kernels().transform_words(words, spectrum, n, folded);
}

void weighted_fft_permuted_product(const double* words, const double* spectrum, double* points,
                                   int n) {
    check_length(n, WordsTransformShortest);
    assert(!overlaps(words, n, points, 2LL * n));
    assert(spectrum == nullptr || !overlaps(spectrum, 2LL * n, points, 2LL * n));
    active_kernels().transform_product(words, spectrum, points, n);
}
