// Lanes of doubles for the vector kernels (arith/kernel_sets.h): LanesOf<N> holds N doubles
// side by side, four or eight, and MaskOf<N> N 64-bit lanes, each all ones or all zeros, as
// comparisons leave them; Lanes and Mask are those of four. Every operation acts lane by lane
// and rounds each lane exactly as the same operation on two doubles would, so code written
// on lanes gives the bits of the same code written on doubles. Choices between two values are
// arithmetic on masks or maxima, never branches.
//
// The lanes are held in the kernel set's registers (arith/registers.h): four lanes in one
// register of four, two of two or four plain doubles; eight in one register of eight where
// the set has one, else in two of four lanes' registers. The operations here are written once
// for all of them.
#pragma once

#include <cstdint>
#include <cstring>

#include "arith/registers.h"

namespace PIDRM_KERNEL_SET {

// ---- Lanes -------------------------------------------------------------------------------

template <int N>
struct LanesOf {
    typedef typename PackRegister<N>::type R;
    static constexpr int Count = N / PackRegister<N>::lanes;  // registers
    R r[Count];
    KERNEL_INLINE double operator[](int i) const {
        double v;
        std::memcpy(&v, reinterpret_cast<const double*>(r) + i, sizeof v);
        return v;
    }
};
template <int N>
struct MaskOf {
    typename PackRegister<N>::mask r[LanesOf<N>::Count];
};

typedef LanesOf<4> Lanes;
typedef MaskOf<4> Mask;
constexpr int Registers = Lanes::Count;

// Lanes from p, and back, register by register, which the compilers keep in registers where
// a copy of the whole may go through memory.
template <int N = 4>
KERNEL_INLINE LanesOf<N> load(const double* p) {
    typedef LanesOf<N> L;
    L v;
    for (int k = 0; k < L::Count; ++k)
        v.r[k] = load_as<typename L::R>(p + k * PackRegister<N>::lanes);
    return v;
}
template <int N>
KERNEL_INLINE void store(double* p, const LanesOf<N>& v) {
    for (int k = 0; k < LanesOf<N>::Count; ++k) store_as(p + k * PackRegister<N>::lanes, v.r[k]);
}

KERNEL_INLINE Lanes lanes(double a, double b, double c, double d) {
    const double v[4] = {a, b, c, d};
    return load(v);
}
template <int N = 4>
KERNEL_INLINE LanesOf<N> splat(double s) {
    double v[N];
    for (double& e : v) e = s;
    return load<N>(v);
}

template <int N>
KERNEL_INLINE LanesOf<N> operator+(LanesOf<N> a, const LanesOf<N>& b) {
    for (int k = 0; k < LanesOf<N>::Count; ++k) a.r[k] = a.r[k] + b.r[k];
    return a;
}
template <int N>
KERNEL_INLINE LanesOf<N> operator-(LanesOf<N> a, const LanesOf<N>& b) {
    for (int k = 0; k < LanesOf<N>::Count; ++k) a.r[k] = a.r[k] - b.r[k];
    return a;
}
template <int N>
KERNEL_INLINE LanesOf<N> operator*(LanesOf<N> a, const LanesOf<N>& b) {
    for (int k = 0; k < LanesOf<N>::Count; ++k) a.r[k] = a.r[k] * b.r[k];
    return a;
}
template <int N>
KERNEL_INLINE LanesOf<N>& operator*=(LanesOf<N>& a, double s) {
    for (int k = 0; k < LanesOf<N>::Count; ++k) a.r[k] = a.r[k] * s;
    return a;
}

template <int N>
KERNEL_INLINE MaskOf<N> greater(const LanesOf<N>& a, const LanesOf<N>& b) {
    MaskOf<N> m;
    for (int k = 0; k < LanesOf<N>::Count; ++k) m.r[k] = register_greater(a.r[k], b.r[k]);
    return m;
}
template <int N>
KERNEL_INLINE MaskOf<N> less(const LanesOf<N>& a, const LanesOf<N>& b) {
    return greater(b, a);
}
// a where a > b, else b, lane by lane: b where either is a NaN.
template <int N>
KERNEL_INLINE LanesOf<N> larger(LanesOf<N> a, const LanesOf<N>& b) {
    for (int k = 0; k < LanesOf<N>::Count; ++k) a.r[k] = register_larger(a.r[k], b.r[k]);
    return a;
}
// a where a < b, else b, lane by lane: b where either is a NaN.
template <int N>
KERNEL_INLINE LanesOf<N> smaller(LanesOf<N> a, const LanesOf<N>& b) {
    for (int k = 0; k < LanesOf<N>::Count; ++k) a.r[k] = register_smaller(a.r[k], b.r[k]);
    return a;
}
template <int N>
KERNEL_INLINE MaskOf<N> either(MaskOf<N> a, const MaskOf<N>& b) {
    for (int k = 0; k < LanesOf<N>::Count; ++k) a.r[k] = a.r[k] | b.r[k];
    return a;
}
template <int N>
KERNEL_INLINE bool any(const MaskOf<N>& m) {
    typedef typename PackRegister<N>::mask M;
    constexpr int lanes = PackRegister<N>::lanes;
    M all = m.r[0];
    for (int k = 1; k < LanesOf<N>::Count; ++k) all = all | m.r[k];
    std::uint64_t words[lanes];
    std::memcpy(words, &all, sizeof words);
    std::uint64_t set = 0;
    for (int i = 0; i < lanes; ++i) set |= words[i];
    return set != 0;
}
// v where m is set, +0 elsewhere.
template <int N>
KERNEL_INLINE LanesOf<N> masked(const MaskOf<N>& m, LanesOf<N> v) {
    for (int k = 0; k < LanesOf<N>::Count; ++k) v.r[k] = register_of(bits_of(v.r[k]) & m.r[k]);
    return v;
}
// |v|: the sign bits cleared, as fabs clears them.
template <int N>
KERNEL_INLINE LanesOf<N> magnitude(LanesOf<N> v) {
    const LanesOf<N> sign = splat<N>(-0.0);  // the sign bits alone
    for (int k = 0; k < LanesOf<N>::Count; ++k)
        v.r[k] = register_of(bits_of(v.r[k]) & ~bits_of(sign.r[k]));
    return v;
}

// The lanes of the run (a, b), a's lanes first, from lane K, 0 <= K < N: (a[K], .., a[N-1],
// b[0], .., b[K-1]), register by register (register_run_from), so that they stay in registers.
template <int K, int N>
KERNEL_INLINE LanesOf<N> lanes_from(const LanesOf<N>& a, const LanesOf<N>& b) {
    static_assert(K >= 0 && K < N, "a lane of the first run");
    typedef LanesOf<N> L;
    constexpr int lanes = PackRegister<N>::lanes, skip = K / lanes;
    L v;
    for (int k = 0; k < L::Count; ++k) {
        const int q = k + skip;  // the register of the run that lane K of register k starts in
        const typename L::R& first = q < L::Count ? a.r[q] : b.r[q - L::Count];
        const typename L::R& second = q + 1 < L::Count ? a.r[q + 1] : b.r[q + 1 - L::Count];
        v.r[k] = register_run_from<K % lanes>(first, second);
    }
    return v;
}

// ---- Rounding --------------------------------------------------------------------------------

// The whole number nearest to each lane (an even one at a tie), for |v| <= 2^51: v + 1.5*2^52
// lies in [2^52, 2^53), where the doubles are exactly the whole numbers, so the addition
// rounds v to a whole number and the subtraction is exact. Two additions, which every vector
// unit has.
template <int N>
KERNEL_INLINE LanesOf<N> nearest_whole(const LanesOf<N>& v) {
    const LanesOf<N> shift = splat<N>(6755399441055744.0);  // 1.5 * 2^52
    return (v + shift) - shift;
}

// floor(v) in each lane for |v| <= 2^51, bit for bit but for -0, which may come back as +0.
// Without a floor instruction: r = nearest_whole(v) is whole with |r - v| <= 1/2, so floor(v)
// is r - 1 where r > v (then r - 1 <= v - 1/2) and r elsewhere (r <= v < r + 1); the +0
// added where r <= v turns a -0 into +0.
template <int N>
KERNEL_INLINE LanesOf<N> floor_whole(const LanesOf<N>& v) {
#if defined(PIDRM_FLOOR_INSTRUCTION)
    LanesOf<N> f;
    for (int k = 0; k < LanesOf<N>::Count; ++k) f.r[k] = register_floor(v.r[k]);
    return f;
#else
    const LanesOf<N> r = nearest_whole(v);
    return r + masked(greater(r, v), splat<N>(-1.0));
#endif
}

// The largest lane, a NaN first.
template <int N>
KERNEL_INLINE double largest_lane(const LanesOf<N>& v) {
    double m = v[0];
    for (int i = 1; i < N; ++i)
        if (v[i] > m || v[i] != v[i]) m = v[i];
    return m;
}

}  // namespace PIDRM_KERNEL_SET
