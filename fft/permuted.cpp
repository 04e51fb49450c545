// The entry points of the permuted transform: their checks, then the code of the active
// kernel set (fft/permuted_kernels.cpp, fft/pointwise_kernels.cpp). They build no table: the
// run prepares the tables of its length once, before its first product (prepare_transforms).
#include "fft/kernels.h"

const ProductKernels& product_kernels() {
#if defined(PIDRM_AVX2_KERNELS)
    if (ActiveKernels == Avx2Kernels) return avx2::Products;
#endif
#if defined(PIDRM_AVX512_KERNELS)
    if (ActiveKernels == Avx512Kernels) return avx512::Products;
#endif
    return baseline::Products;
}

int spectrum_group(int n) {
    // The groups up to 16 points are every set's; from 32 points on, the active set's.
    return n < 32 ? common::group_points(n) : product_kernels().long_group;
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
    product_kernels().transform(points, n, direction);
}

void weighted_fft_permuted_words(const double* words, double* spectrum, int n, bool folded) {
    check_length(n, WordsTransformShortest);
    assert(!overlaps(words, n, spectrum, 2LL * n));
    assert(!folded || !overlaps(words - n, n, spectrum, 2LL * n));
    product_kernels().transform_words(words, spectrum, n, folded);
}

void weighted_fft_permuted_product(const double* words, const double* spectrum, double* points,
                                   int n) {
    check_length(n, WordsTransformShortest);
    assert(!overlaps(words, n, points, 2LL * n));
    assert(spectrum == nullptr || !overlaps(spectrum, 2LL * n, points, 2LL * n));
    product_kernels().product(words, spectrum, points, n);
}
