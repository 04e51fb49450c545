// The rearrangements of lanes that the leaves of the permuted transform take
// (fft/leaf_kernels.h): pairs swapped, halves joined and parted, and 4 x 4 transposes; and the
// lanes of a register in reverse order, for the weights that the stages read backwards
// (fft/stage_kernels.h). Each is written once for the registers of each kernel set
// (arith/registers.h): the compilers' shuffles where they have them, which stay in
// registers, and plain lane copies elsewhere.
// A rearrangement moves doubles and rounds nothing. Included only by the kernels' sources.
#pragma once

#include "arith/lanes.h"

namespace PIDRM_KERNEL_SET {

// The lanes of a register in reverse order: (v[N-1], .., v[1], v[0]) for a register of N.
KERNEL_INLINE Register reversed(const Register& v) {
#if PIDRM_REGISTER_LANES == 1
    return v;
#elif defined(PIDRM_SHUFFLES) && PIDRM_REGISTER_LANES == 4
    return __builtin_shufflevector(v, v, 3, 2, 1, 0);
#elif defined(PIDRM_SHUFFLES)
    return __builtin_shufflevector(v, v, 1, 0);
#else
    double d[RegisterLanes], r[RegisterLanes];
    std::memcpy(d, &v, sizeof d);
    for (int i = 0; i < RegisterLanes; ++i) r[i] = d[RegisterLanes - 1 - i];
    return load_as<Register>(r);
#endif
}

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

// v[0..3] <- their transpose as a 4 x 4 matrix: lane j of v[k] becomes lane k of v[j].
KERNEL_INLINE void transpose_4x4(Lanes* v) {
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

#if PIDRM_WIDE_LANES == 8
// The registers of eight lanes, where the set has them (AVX-512).

KERNEL_INLINE Wide reversed(const Wide& v) {
    return __builtin_shufflevector(v, v, 7, 6, 5, 4, 3, 2, 1, 0);
}

// (v[1], v[0], v[3], v[2], v[5], v[4], v[7], v[6]).
KERNEL_INLINE Wide swapped_pairs(const Wide& v) {
    return __builtin_shufflevector(v, v, 1, 0, 3, 2, 5, 4, 7, 6);
}

// transpose_4x4 on the two halves of four registers at once: lane j of half h of register k
// becomes lane k of half h of register j.
KERNEL_INLINE void transpose_4x4_in_halves(Wide* v) {
    const Wide t0 = __builtin_shufflevector(v[0], v[1], 0, 8, 2, 10, 4, 12, 6, 14);
    const Wide t1 = __builtin_shufflevector(v[0], v[1], 1, 9, 3, 11, 5, 13, 7, 15);
    const Wide t2 = __builtin_shufflevector(v[2], v[3], 0, 8, 2, 10, 4, 12, 6, 14);
    const Wide t3 = __builtin_shufflevector(v[2], v[3], 1, 9, 3, 11, 5, 13, 7, 15);
    v[0] = __builtin_shufflevector(t0, t2, 0, 1, 8, 9, 4, 5, 12, 13);
    v[1] = __builtin_shufflevector(t1, t3, 0, 1, 8, 9, 4, 5, 12, 13);
    v[2] = __builtin_shufflevector(t0, t2, 2, 3, 10, 11, 6, 7, 14, 15);
    v[3] = __builtin_shufflevector(t1, t3, 2, 3, 10, 11, 6, 7, 14, 15);
}

// Four registers of four pairs of lanes each, transposed as a 4 x 4 matrix of pairs: pair c of
// register b becomes pair b of register c.
KERNEL_INLINE void transpose_pairs_4x4(Wide* v) {
    const Wide a0 = __builtin_shufflevector(v[0], v[1], 0, 1, 8, 9, 2, 3, 10, 11);
    const Wide a1 = __builtin_shufflevector(v[0], v[1], 4, 5, 12, 13, 6, 7, 14, 15);
    const Wide a2 = __builtin_shufflevector(v[2], v[3], 0, 1, 8, 9, 2, 3, 10, 11);
    const Wide a3 = __builtin_shufflevector(v[2], v[3], 4, 5, 12, 13, 6, 7, 14, 15);
    v[0] = __builtin_shufflevector(a0, a2, 0, 1, 2, 3, 8, 9, 10, 11);
    v[1] = __builtin_shufflevector(a0, a2, 4, 5, 6, 7, 12, 13, 14, 15);
    v[2] = __builtin_shufflevector(a1, a3, 0, 1, 2, 3, 8, 9, 10, 11);
    v[3] = __builtin_shufflevector(a1, a3, 4, 5, 6, 7, 12, 13, 14, 15);
}

// Quarters q of two blocks of 16 points grouped by eight, side by side: registers 3 - q of
// the lower halves of a block's two groups (quarters 3 and 1), then of the upper halves (2 and
// 0), one block in each half; and back.
KERNEL_INLINE void quarters_of_two_blocks(const Wide* first, const Wide* second, Wide* q) {
    q[3] = __builtin_shufflevector(first[0], second[0], 0, 1, 2, 3, 8, 9, 10, 11);
    q[2] = __builtin_shufflevector(first[0], second[0], 4, 5, 6, 7, 12, 13, 14, 15);
    q[1] = __builtin_shufflevector(first[1], second[1], 0, 1, 2, 3, 8, 9, 10, 11);
    q[0] = __builtin_shufflevector(first[1], second[1], 4, 5, 6, 7, 12, 13, 14, 15);
}
KERNEL_INLINE void blocks_of_quarters(const Wide* q, Wide* first, Wide* second) {
    first[0] = __builtin_shufflevector(q[3], q[2], 0, 1, 2, 3, 8, 9, 10, 11);
    second[0] = __builtin_shufflevector(q[3], q[2], 4, 5, 6, 7, 12, 13, 14, 15);
    first[1] = __builtin_shufflevector(q[1], q[0], 0, 1, 2, 3, 8, 9, 10, 11);
    second[1] = __builtin_shufflevector(q[1], q[0], 4, 5, 6, 7, 12, 13, 14, 15);
}
#endif

}  // namespace PIDRM_KERNEL_SET
