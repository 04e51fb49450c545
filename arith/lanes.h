// Lanes of doubles for the vector kernels (arith/kernel_sets.h): Lanes holds four doubles side
// by side, Mask four 64-bit lanes, each all ones or all zeros, as comparisons leave them. Every
// operation acts lane by lane and rounds each lane exactly as the same operation on two
// doubles would, so code written on lanes gives the bits of the same code written on doubles.
// Choices between two values are arithmetic on masks or maxima, never branches.
//
// The four lanes are held in registers of the kernel set's width: one of four doubles where
// the set is compiled for AVX, two of two doubles for SSE2 and NEON (GCC's vector extension,
// GCC and Clang), and four plain doubles where the compiler has no vector types or with
// PIDRM_PLAIN_VECTORS (CMake option of that name): standard C++, same bits. Registers of the
// processor's own width matter: a comparison of four doubles on a unit of two becomes scalar
// code.
#pragma once

#include <cstdint>
#include <cstring>

#include "arith/kernel_sets.h"

#if defined(__aarch64__) && defined(__ARM_NEON) && !defined(PIDRM_PLAIN_VECTORS)
#include <arm_neon.h>
#endif
#if (defined(__GNUC__) || defined(__clang__)) && !defined(PIDRM_PLAIN_VECTORS) && \
    defined(__AVX512F__)
// GCC 12's AVX-512 intrinsics start their results from an undefined register, which its
// warning about uninitialised values reports where they are inlined.
#if !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif

namespace PIDRM_KERNEL_SET {

// ---- One register ------------------------------------------------------------------------

#if (defined(__GNUC__) || defined(__clang__)) && !defined(PIDRM_PLAIN_VECTORS)

#if defined(__AVX__)
#define PIDRM_REGISTER_LANES 4
typedef double Register __attribute__((vector_size(32)));
#else
#define PIDRM_REGISTER_LANES 2
typedef double Register __attribute__((vector_size(16)));
#endif
typedef std::int64_t RegisterMask __attribute__((vector_size(sizeof(Register))));

KERNEL_INLINE RegisterMask register_greater(const Register& a, const Register& b) {
    return (RegisterMask)(a > b);
}
// a where a > b, else b (b where either is a NaN): what x86's maxpd computes, and on x86 that
// instruction, which the compilers may otherwise build from a comparison and a blend: two
// steps in the chain of a running maximum.
KERNEL_INLINE Register register_larger(const Register& a, const Register& b) {
#if defined(__AVX__)
    return __builtin_ia32_maxpd256(a, b);
#elif defined(__SSE2__)
    return __builtin_ia32_maxpd(a, b);
#else
    return a > b ? a : b;
#endif
}
// a where a < b, else b (b where either is a NaN): what x86's minpd computes.
KERNEL_INLINE Register register_smaller(const Register& a, const Register& b) {
#if defined(__AVX__)
    return __builtin_ia32_minpd256(a, b);
#elif defined(__SSE2__)
    return __builtin_ia32_minpd(a, b);
#else
    return a < b ? a : b;
#endif
}
KERNEL_INLINE RegisterMask bits_of(const Register& a) {
    return (RegisterMask)a;
}
KERNEL_INLINE Register register_of(const RegisterMask& m) {
    return (Register)m;
}

// floor in one instruction where the unit has one: AVX's vroundpd (toward -infinity, no
// inexact exception) and ARMv8's frintm, which give std::floor's bits, -0 included.
#if defined(__AVX__)
#define PIDRM_FLOOR_INSTRUCTION
KERNEL_INLINE Register register_floor(const Register& v) {
    return __builtin_ia32_roundpd256(v, 0x09);
}
#elif defined(__aarch64__) && defined(__ARM_NEON)
#define PIDRM_FLOOR_INSTRUCTION
KERNEL_INLINE Register register_floor(const Register& v) {
    return (Register)vrndmq_f64((float64x2_t)v);
}
#endif

#else

#define PIDRM_REGISTER_LANES 1
typedef double Register;
typedef std::uint64_t RegisterMask;

// All ones where the comparison holds: the negation of 1, unsigned, without a branch.
KERNEL_INLINE RegisterMask register_greater(double a, double b) {
    return 0 - static_cast<RegisterMask>(a > b);
}
KERNEL_INLINE double register_larger(double a, double b) {
    return a > b ? a : b;
}
KERNEL_INLINE double register_smaller(double a, double b) {
    return a < b ? a : b;
}
KERNEL_INLINE RegisterMask bits_of(double a) {
    RegisterMask m;
    std::memcpy(&m, &a, sizeof m);
    return m;
}
KERNEL_INLINE double register_of(RegisterMask m) {
    double a;
    std::memcpy(&a, &m, sizeof a);
    return a;
}

#endif

constexpr int RegisterLanes = PIDRM_REGISTER_LANES;
static_assert(sizeof(Register) == RegisterLanes * sizeof(double), "a register of doubles");

// The widest register of the set, for loops that take eight doubles side by side where the
// set is compiled for AVX-512; elsewhere one Register.
#if (defined(__GNUC__) || defined(__clang__)) && !defined(PIDRM_PLAIN_VECTORS) && \
    defined(__AVX512F__)
#define PIDRM_WIDE_LANES 8
typedef double Wide __attribute__((vector_size(64)));
#else
#define PIDRM_WIDE_LANES PIDRM_REGISTER_LANES
typedef Register Wide;
#endif
constexpr int WideLanes = PIDRM_WIDE_LANES;
static_assert(sizeof(Wide) == WideLanes * sizeof(double), "a register of doubles");

// A register of type R from p, and back: memcpy, so no alignment is assumed.
template <typename R>
KERNEL_INLINE R load_as(const double* p) {
    R r;
    std::memcpy(&r, p, sizeof r);
    return r;
}
template <typename R>
KERNEL_INLINE void store_as(double* p, const R& r) {
    std::memcpy(p, &r, sizeof r);
}

// Lanes are rearranged by the compilers' shuffles where they have them (GCC 12, Clang).
#if (defined(__GNUC__) || defined(__clang__)) && !defined(PIDRM_PLAIN_VECTORS) && \
    defined(__has_builtin)
#if __has_builtin(__builtin_shufflevector)
#define PIDRM_SHUFFLES
#endif
#endif

// ---- Lanes -------------------------------------------------------------------------------
// LanesOf<N> holds N doubles, four or eight, side by side; Lanes are four of them. Four lanes
// are held in Registers, eight in the widest registers (one where the set has AVX-512).

#if PIDRM_WIDE_LANES == 8
typedef std::int64_t WideMask __attribute__((vector_size(64)));
KERNEL_INLINE WideMask register_greater(const Wide& a, const Wide& b) {
    return (WideMask)(a > b);
}
KERNEL_INLINE Wide register_larger(const Wide& a, const Wide& b) {
    return _mm512_max_pd(a, b);
}
KERNEL_INLINE Wide register_smaller(const Wide& a, const Wide& b) {
    return _mm512_min_pd(a, b);
}
KERNEL_INLINE WideMask bits_of(const Wide& a) {
    return (WideMask)a;
}
KERNEL_INLINE Wide register_of(const WideMask& m) {
    return (Wide)m;
}
KERNEL_INLINE Wide register_floor(const Wide& v) {
    return _mm512_roundscale_pd(v, 0x09);
}
#endif

// The register that holds the lanes of LanesOf<N>, its mask, and its lanes.
template <int N>
struct PackRegister {
    typedef Register type;
    typedef RegisterMask mask;
    static constexpr int lanes = RegisterLanes;
};
#if PIDRM_WIDE_LANES == 8
template <>
struct PackRegister<8> {
    typedef Wide type;
    typedef WideMask mask;
    static constexpr int lanes = 8;
};
#endif

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

// ---- Rearranging lanes -----------------------------------------------------------------------

// (v[1], v[0], v[3], v[2]).
KERNEL_INLINE Lanes swapped_pairs(const Lanes& v) {
    Lanes s;
#if defined(PIDRM_SHUFFLES)
    for (int k = 0; k < Registers; ++k) {
#if PIDRM_REGISTER_LANES == 4
        s.r[k] = __builtin_shufflevector(v.r[k], v.r[k], 1, 0, 3, 2);
#else
        s.r[k] = __builtin_shufflevector(v.r[k], v.r[k], 1, 0);
#endif
    }
#else
    s = lanes(v[1], v[0], v[3], v[2]);
#endif
    return s;
}

// (lo[0], lo[1], hi[0], hi[1]), and back. Where a register holds four lanes, its halves are
// joined and taken apart by shuffles, which the compilers keep in registers.
#if PIDRM_REGISTER_LANES == 4 && defined(PIDRM_SHUFFLES)
typedef double HalfRegister __attribute__((vector_size(16)));
#endif
KERNEL_INLINE Lanes load_halves(const double* lo, const double* hi) {
#if PIDRM_REGISTER_LANES == 2
    Lanes v;
    std::memcpy(&v.r[0], lo, sizeof(Register));
    std::memcpy(&v.r[1], hi, sizeof(Register));
    return v;
#elif PIDRM_REGISTER_LANES == 4 && defined(PIDRM_SHUFFLES)
    Lanes v;
    v.r[0] =
        __builtin_shufflevector(load_as<HalfRegister>(lo), load_as<HalfRegister>(hi), 0, 1, 2, 3);
    return v;
#else
    return lanes(lo[0], lo[1], hi[0], hi[1]);
#endif
}
KERNEL_INLINE void store_halves(double* lo, double* hi, const Lanes& v) {
#if PIDRM_REGISTER_LANES == 2
    std::memcpy(lo, &v.r[0], sizeof(Register));
    std::memcpy(hi, &v.r[1], sizeof(Register));
#elif PIDRM_REGISTER_LANES == 4 && defined(PIDRM_SHUFFLES)
    store_as(lo, static_cast<HalfRegister>(__builtin_shufflevector(v.r[0], v.r[0], 0, 1)));
    store_as(hi, static_cast<HalfRegister>(__builtin_shufflevector(v.r[0], v.r[0], 2, 3)));
#else
    lo[0] = v[0], lo[1] = v[1], hi[0] = v[2], hi[1] = v[3];
#endif
}

// v[0..3] <- their transpose: lane j of v[k] becomes lane k of v[j].
KERNEL_INLINE void transpose(Lanes* v) {
#if defined(PIDRM_SHUFFLES) && PIDRM_REGISTER_LANES == 4
    {
        // Pairs of rows interleaved, then the halves of the interleaved rows exchanged.
        const Register t0 = __builtin_shufflevector(v[0].r[0], v[1].r[0], 0, 4, 2, 6);
        const Register t1 = __builtin_shufflevector(v[0].r[0], v[1].r[0], 1, 5, 3, 7);
        const Register t2 = __builtin_shufflevector(v[2].r[0], v[3].r[0], 0, 4, 2, 6);
        const Register t3 = __builtin_shufflevector(v[2].r[0], v[3].r[0], 1, 5, 3, 7);
        v[0].r[0] = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
        v[1].r[0] = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
        v[2].r[0] = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
        v[3].r[0] = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
    }
#elif defined(PIDRM_SHUFFLES)
    {
        // Register h of row k holds lanes 2h, 2h+1: the 2 x 2 blocks transposed in place.
        Lanes t[4];
        for (int h = 0; h < 2; ++h)
            for (int p = 0; p < 4; p += 2) {
                const Register a = v[p].r[h], b = v[p + 1].r[h];
                t[2 * h].r[p / 2] = __builtin_shufflevector(a, b, 0, 2);
                t[2 * h + 1].r[p / 2] = __builtin_shufflevector(a, b, 1, 3);
            }
        for (int k = 0; k < 4; ++k) v[k] = t[k];
    }
#else
    const Lanes v0 = v[0], v1 = v[1], v2 = v[2], v3 = v[3];
    for (int k = 0; k < 4; ++k) v[k] = lanes(v0[k], v1[k], v2[k], v3[k]);
#endif
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
