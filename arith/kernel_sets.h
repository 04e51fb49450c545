// The vector kernels: the hot loops of products and carries, compiled once for each
// instruction set that processors of the program's kind may have, and the set a run uses,
// chosen once at start from what the processor reports.
//
// The kernels, each written once on lanes of four doubles (arith/lanes.h):
//   carry pass   the digits of a chunk of words with guessed carries (arith/carry_kernels.cpp)
//   transforms   the permuted weighted transform: in place, from words, and the depth-first
//                product of an operand with a spectrum (fft/permuted_kernels.cpp)
//   spectra      pointwise products of spectra and their sums, and the rounding of a
//                product's coefficients to whole numbers (fft/pointwise_kernels.cpp)
//
// The sets:
//   BaselineKernels   in every build: SSE2 on x86-64, NEON on 64-bit ARM, plain C++ where the
//                     compiler has no vector types (or with PIDRM_PLAIN_VECTORS)
//   Avx2Kernels       x86-64 with GCC or Clang: the same sources compiled for AVX2, four lanes
//                     to a register, still without fused multiply-adds
//   Avx512Kernels     x86-64 with GCC or Clang: compiled for AVX-512 (F, VL, DQ), eight lanes to
//                     its widest registers, which the transforms of 32 points or more take a
//                     group of eight points at a time; no fused multiply-adds either
// Every set runs the same operations in the same order, none fused, so every product's
// integers, every digit and every rounding error are the same whichever set runs. The best
// set the processor runs is chosen before main; tests and benchmarks may choose another.
//
// A set's sources are compiled with PIDRM_KERNEL_SET naming the set, and every function they
// define or inline from a header lives in the namespace of that name: no function compiled
// for one instruction set can stand in for another set's at link time (tools/kernel_symbols.sh
// checks the objects). Code outside the sets compiles in the namespace `common`.
#pragma once

#ifndef PIDRM_KERNEL_SET
#define PIDRM_KERNEL_SET common
#endif

// The small functions of the kernels' inner loops (lanes, butterflies, rotations), inlined
// always: where the lanes are two registers or more, the compilers' own weighing leaves some
// as calls that pass their lanes through memory.
#if defined(__GNUC__) || defined(__clang__)
#define KERNEL_INLINE inline __attribute__((always_inline))
#else
#define KERNEL_INLINE inline
#endif

enum KernelSet { BaselineKernels, Avx2Kernels, Avx512Kernels, KernelSetCount };

// The set the kernels run now: best_kernel_set() from the start of the process.
extern KernelSet ActiveKernels;

// True when the set is in this build and the processor (and its system) runs it.
bool kernel_set_available(KernelSet set);

// The fastest available set: Avx512Kernels, else Avx2Kernels, else BaselineKernels.
KernelSet best_kernel_set();

// Makes the kernels run `set`, which must be available. For tests and benchmarks; the
// program itself always runs best_kernel_set().
void use_kernel_set(KernelSet set);

// "baseline", "avx2" or "avx512".
const char* kernel_set_name(KernelSet set);

// ---- The carry kernels ------------------------------------------------------------------

// Digits of the chunk X[0..len), len >= 8, with the carry into each word guessed from the
// three words below it (X[len..len+2], the words below the chunk; X is read up to X[len+9]),
// written to D[0..len). True when every guess is confirmed: the guess for the word below the
// chunk equals carry_in, the carry entering X[len-1], and every digit lies in its range; the
// digits are then those of the word-by-word sweep, and *carry_out is the carry out of X[0].
// When false, D holds no digits to keep. guess: len + 8 doubles of scratch. Balanced and
// plain digits as normalize_carries forms them.
using GuessedDigits = bool (*)(const double* X, double* D, int len, double* guess, double carry_in,
                               double* carry_out);

struct CarryKernels {
    GuessedDigits balanced, plain;
};

namespace baseline {
extern const CarryKernels Carries;
}
namespace avx2 {
extern const CarryKernels Carries;
}
namespace avx512 {
extern const CarryKernels Carries;
}

// The carry kernels of the active set.
const CarryKernels& carry_kernels();
