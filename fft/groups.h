// How the points of the products' spectra stand: in groups of G points, the G real parts and
// then the G imaginary parts, so that the butterflies of G offsets run side by side in vector
// registers with no shuffling of real and imaginary parts. Compiled into each kernel set's
// namespace and, for the code outside the sets, into `common`.
#pragma once

#include <cstdint>
#include <type_traits>

#include "arith/registers.h"

namespace PIDRM_KERNEL_SET {

// The points of a group in spectra of n points, for a set whose widest register holds
// wide_lanes doubles: n below 4, four up to 16 points, and from 32 points on as many as that
// register holds, at least four.
constexpr int group_points(int n, int wide_lanes) {
    return n < 4 ? n : n < 32 || wide_lanes < 8 ? 4 : 8;
}

// The group of this set's spectra of 32 points or more, and of n points.
constexpr int LongGroup = group_points(32, WideLanes);
constexpr int group_points(int n) {
    return group_points(n, WideLanes);
}

// The double at which the real part of point p of a spectrum grouped by G stands; its
// imaginary part stands G doubles further on.
constexpr std::int64_t real_at(std::int64_t p, int G) {
    return 2 * p - (p & (G - 1));
}

// f(g) for the group of spectra of n >= 4 points, g a std::integral_constant of it, so that
// f can take it as a template argument.
template <typename F>
KERNEL_INLINE void with_group(int n, F f) {
    if (group_points(n) == LongGroup) {
        f(std::integral_constant<int, LongGroup>());
    } else {
        f(std::integral_constant<int, 4>());
    }
}

}  // namespace PIDRM_KERNEL_SET
