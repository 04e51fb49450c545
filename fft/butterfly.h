// The complex arithmetic of the transforms: interleaved points, the radix-4 butterfly, and
// the rotations by twiddles and weights. Compiled into each kernel set's namespace and, for
// the code outside the sets, into `common`.
#pragma once

#include <cstdint>

#include "arith/kernel_sets.h"

namespace PIDRM_KERNEL_SET {

// Interleaved complex points.
inline double* point(double* a, std::int64_t i) {
    return a + 2 * i;
}
inline const double* point(const double* a, std::int64_t i) {
    return a + 2 * i;
}

// The radix-4 butterfly on a0..a3 (twiddles applied) for the forward direction:
// y_r = sum_d a_d i^(dr). The inverse one, with (-i)^(dr), is the same with y1 and y3 swapped.
// Each output is written to its own pointer, after every input has been read, so an output
// may be an input. T is double or a type of lanes of doubles.
template <typename T>
KERNEL_INLINE void butterfly4(const T& a0r, const T& a0i, const T& a1r, const T& a1i, const T& a2r,
                              const T& a2i, const T& a3r, const T& a3i, T* y0, T* y1, T* y2,
                              T* y3) {
    const T s02r = a0r + a2r, s02i = a0i + a2i, d02r = a0r - a2r, d02i = a0i - a2i;
    const T s13r = a1r + a3r, s13i = a1i + a3i, d13r = a1r - a3r, d13i = a1i - a3i;
    y0[0] = s02r + s13r;
    y0[1] = s02i + s13i;
    y2[0] = s02r - s13r;
    y2[1] = s02i - s13i;
    y1[0] = d02r - d13i;  // (a0 - a2) + i (a1 - a3)
    y1[1] = d02i + d13r;
    y3[0] = d02r + d13i;  // (a0 - a2) - i (a1 - a3)
    y3[1] = d02i - d13r;
}

// (xr + i xi) <- (xr + i xi)(wr + i wi), lane by lane; T is double, lanes or a register.
template <typename T>
KERNEL_INLINE void rotate(T& xr, T& xi, const T& wr, const T& wi) {
    const T r = xr * wr - xi * wi;
    xi = xr * wi + xi * wr;
    xr = r;
}

// rotate(xr, xi, wr, wi) for xi = +0 and wr, wi finite with their signs clear (>= +0, as the
// forward weights are: first-quadrant roots, wi = +0 at angle 0), bit for bit, with two
// multiplications instead of four. (+0) wi and (+0) wr are +0; xr wr - (+0) is xr wr exactly,
// a -0 included (-0 - +0 = -0), and xr wi + (+0) is xr wi but for a -0, which becomes +0: the
// addition is kept for that.
template <typename T>
KERNEL_INLINE void rotate_real(T& xr, T& xi, const T& wr, const T& wi) {
    xi = xr * wi + T{};
    xr = xr * wr;
}

// (xr + i xi) <- (xr + i xi)(wr - i wi): bit for bit rotate by (wr, -wi), as negating is
// exact and x - (-y) is x + y.
template <typename T>
KERNEL_INLINE void rotate_back(T& xr, T& xi, const T& wr, const T& wi) {
    const T r = xr * wr + xi * wi;
    xi = xi * wr - xr * wi;
    xr = r;
}

}  // namespace PIDRM_KERNEL_SET
