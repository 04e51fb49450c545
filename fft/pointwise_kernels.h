// The pointwise product of two spectra grouped by G, the loop that both the products' kernels
// (fft/pointwise_kernels.cpp) and the depth-first product between two transforms
// (fft/permuted_kernels.cpp) run. Included only by the kernels' sources.
#pragma once

#include <cstdint>

#include "arith/registers.h"

namespace PIDRM_KERNEL_SET {

// {product, n points} <- x * y point by point, or with Sum product + x * y, grouped by G
// (n >= G); product may be x or y.
template <int G, bool Sum>
KERNEL_INLINE void pointwise(const double* x, const double* y, double* product, std::int64_t n) {
    typedef typename PackRegister<G>::type R;
    for (std::int64_t at = 0; at < 2 * n; at += 2 * G)
        for (int e = 0; e < G; e += PackRegister<G>::lanes) {
            const std::int64_t re = at + e, im = at + G + e;
            const R xr = load_as<R>(x + re), xi = load_as<R>(x + im);
            const R yr = load_as<R>(y + re), yi = load_as<R>(y + im);
            const R pr = xr * yr - xi * yi, pi = xr * yi + xi * yr;
            store_as(product + re, Sum ? load_as<R>(product + re) + pr : pr);
            store_as(product + im, Sum ? load_as<R>(product + im) + pi : pi);
        }
}

}  // namespace PIDRM_KERNEL_SET
