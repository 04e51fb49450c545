// The table of a kernel set's kernels. Compiled once for each set (arith/kernel_sets.h), in
// its namespace, with the set's instruction set: the kernels it lists are that set's own.
#include "arith/kernel_sets.h"
#include "arith/registers.h"

namespace PIDRM_KERNEL_SET {

// The digits of products in one pass where the set's registers hold eight doubles
// (fft/pointwise_kernels.cpp); elsewhere products take rounded_coefficients and the carry
// kernel, which cost less there.
#if PIDRM_WIDE_LANES >= 8
constexpr ProductDigits* ProductDigitsKernel = product_digits;
#else
constexpr ProductDigits* ProductDigitsKernel = nullptr;
#endif

const KernelTable Kernels = {
    balanced_digits,     plain_digits,      permuted_transform,    permuted_transform_words,
    permuted_product,    pointwise_product, pointwise_product_sum, rounded_coefficients,
    ProductDigitsKernel, lanes_from_groups, runs_from_lanes,       lane_products,
    lane_digits,         WideLanes};

}  // namespace PIDRM_KERNEL_SET
