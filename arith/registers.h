// The vector registers of each kernel set (arith/kernel_sets.h), and the few operations on
// them that differ from one instruction set to another. Everything above this header is
// written once on lanes (arith/lanes.h); a new set adds its registers here.
//
//   Register   the set's register of doubles: four doubles where the set is compiled for AVX
//              (the avx2 and avx512 sets), two for SSE2 and NEON (the baseline set), one
//              plain double where the compiler has no vector types or with
//              PIDRM_PLAIN_VECTORS (CMake option of that name): standard C++, the same bits
//   Wide       the set's widest register: eight doubles where the set is compiled for
//              AVX-512, elsewhere one Register
//
// Registers are GCC's vector extension (GCC and Clang). Registers of the processor's own width
// matter: a comparison of four doubles on a unit of two becomes scalar code.
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
// warnings about uninitialised values report where they are inlined.
#if !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif
#include <immintrin.h>
#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif

namespace PIDRM_KERNEL_SET {

// ---- Register ----------------------------------------------------------------------------

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

// ---- Wide --------------------------------------------------------------------------------

#if (defined(__GNUC__) || defined(__clang__)) && !defined(PIDRM_PLAIN_VECTORS) && \
    defined(__AVX512F__)
#define PIDRM_WIDE_LANES 8
typedef double Wide __attribute__((vector_size(64)));
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
#else
#define PIDRM_WIDE_LANES PIDRM_REGISTER_LANES
typedef Register Wide;
#endif
constexpr int WideLanes = PIDRM_WIDE_LANES;
static_assert(sizeof(Wide) == WideLanes * sizeof(double), "a register of doubles");

// ---- Registers of N lanes ----------------------------------------------------------------

// The register that holds N lanes side by side (N = 4 or 8), its mask, and its lanes: the
// Wide register where it holds eight, else Registers.
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

// Asks for the cache line that holds *p ahead of its use, where the compiler has a way to: a
// hint, which changes no value.
KERNEL_INLINE void prefetch(const double* p) {
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(p);
#else
    static_cast<void>(p);
#endif
}

// Lanes are rearranged by the compilers' shuffles where they have them (GCC 12, Clang).
#if (defined(__GNUC__) || defined(__clang__)) && !defined(PIDRM_PLAIN_VECTORS) && \
    defined(__has_builtin)
#if __has_builtin(__builtin_shufflevector)
#define PIDRM_SHUFFLES
#endif
#endif

// The lanes of the run of two registers (a, b), a's lanes first, from lane K, 0 <= K < the
// register's lanes L: (a[K], .., a[L-1], b[0], .., b[K-1]). The words one and two places on
// from a group of words held in registers, without loading them again from memory that may
// still wait in the store buffer, where a load that straddles two stores stalls.
template <int K>
KERNEL_INLINE Register register_run_from(const Register& a, const Register& b) {
    static_assert(K >= 0 && K < RegisterLanes, "a lane of the first register");
#if PIDRM_REGISTER_LANES == 1
    static_cast<void>(b);
    return a;
#elif defined(PIDRM_SHUFFLES) && PIDRM_REGISTER_LANES == 4
    return __builtin_shufflevector(a, b, K, K + 1, K + 2, K + 3);
#elif defined(PIDRM_SHUFFLES)
    return __builtin_shufflevector(a, b, K, K + 1);
#else
    double run[2 * RegisterLanes];
    std::memcpy(run, &a, sizeof a);
    std::memcpy(run + RegisterLanes, &b, sizeof b);
    return load_as<Register>(run + K);
#endif
}
#if PIDRM_WIDE_LANES == 8
template <int K>
KERNEL_INLINE Wide register_run_from(const Wide& a, const Wide& b) {
    static_assert(K >= 0 && K < 8, "a lane of the first register");
    return __builtin_shufflevector(a, b, K, K + 1, K + 2, K + 3, K + 4, K + 5, K + 6, K + 7);
}
#endif

}  // namespace PIDRM_KERNEL_SET
