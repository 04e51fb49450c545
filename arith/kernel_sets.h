// The kernel sets: the hot loops of products and carries, compiled once for each instruction
// set that processors of the program's kind may have, each set's kernels gathered in one
// table, and the set a run uses, chosen once at start from what the processor reports.
//
// The kernels, each written once on lanes (arith/lanes.h) and compiled once for each set:
//   carry pass   the digits of a chunk of words with guessed carries (arith/carry_kernels.cpp)
//   transforms   the permuted weighted transform: in place, from words, and the depth-first
//                product of an operand with a spectrum (fft/permuted_kernels.cpp)
//   spectra      pointwise products of spectra and their sums, the rounding of a product's
//                coefficients to whole numbers, and their digits (fft/pointwise_kernels.cpp)
//   lanes        the short products of a merge level's pairs and their carries, the pairs
//                side by side (drm/merge_lanes_kernels.cpp)
//
// The sets (the list: arith/kernel_sets.cpp; their registers: arith/registers.h):
//   baseline   in every build: SSE2 on x86-64, NEON on 64-bit ARM, plain C++ where the
//              compiler has no vector types (or with PIDRM_PLAIN_VECTORS)
//   avx2       x86-64 with GCC or Clang: the same sources compiled for AVX2, four doubles to
//              a register, still without fused multiply-adds
//   avx512     x86-64 with GCC or Clang: compiled for AVX-512 (F, VL, DQ), eight doubles to
//              its widest registers, which the transforms of 32 points or more take a group
//              of eight points at a time; no fused multiply-adds either
// Every set runs the same operations in the same order, none fused, so every product's
// integers, every digit and every rounding error are the same whichever set runs. The best
// set the processor runs is chosen before main; tests and benchmarks may choose another.
//
// A set's sources (the *_kernels.cpp files, and the *_kernels.h headers only they include)
// are compiled with PIDRM_KERNEL_SET naming the set, and every function they define or inline
// from a header lives in the namespace of that name: no function compiled for one instruction
// set can stand in for another set's at link time (tools/kernel_symbols.sh checks the
// objects). Code outside the sets compiles in the namespace `common`.
#pragma once

#ifndef PIDRM_KERNEL_SET
#define PIDRM_KERNEL_SET common
#define PIDRM_OUTSIDE_KERNEL_SETS
#endif

// The small functions of the kernels' inner loops (lanes, butterflies, rotations), inlined
// always: where the lanes are two registers or more, the compilers' own weighing leaves some
// as calls that pass their lanes through memory.
#if defined(__GNUC__) || defined(__clang__)
#define KERNEL_INLINE inline __attribute__((always_inline))
#else
#define KERNEL_INLINE inline
#endif

// ---- The table of a set's kernels --------------------------------------------------------

// Digits of the chunk X[0..len), len >= 8, with the carry into each word guessed from the
// three words below it (X[len..len+2], the words below the chunk; X is read up to X[len+9]),
// written to D[0..len). True when every guess is confirmed: the guess for the word below the
// chunk equals carry_in, the carry entering X[len-1], and every digit lies in its range; the
// digits are then those of the word-by-word sweep, and *carry_out is the carry out of X[0].
// When false, D holds no digits to keep. guess: len + 8 doubles of scratch. Balanced and
// plain digits as normalize_carries forms them.
using GuessedDigits = bool(const double* X, double* D, int len, double* guess, double carry_in,
                           double* carry_out);
// weighted_fft_permuted, weighted_fft_permuted_words and weighted_fft_permuted_product
// (fft/fft.h), without their checks.
using PermutedTransform = void(double* points, int n, int direction);
using PermutedTransformWords = void(const double* words, double* spectrum, int n, bool folded);
using PermutedProduct = void(const double* words, const double* spectrum, double* points, int n);
// multiply_spectra, and add_product_of_spectra as the sum (fft/fft.h).
using PointwiseProduct = void(const double* x, const double* y, double* product, int n);
// The source of a product's words for normalize_from: words lo..lo+len-1 of the 2n-word
// product (words = 2n) whose n points stand in `points` after the inverse transform, rounded
// to whole numbers; returns the largest distance of a coefficient from its whole number.
using RoundedCoefficients = double(const double* points, int words, int lo, int len, double* X);
// Words lo..lo+len-1 of the same product rounded and settled for carries in one pass, as
// normalize_from settles the words that rounded_coefficients gives into balanced digits (the
// digits of every product a run forms): the digits to D[0..len) (the top chunk's, lo = 0,
// from D[1]: D[0] is left with nothing to keep), the carries guessed and confirmed as
// GuessedDigits guesses and confirms them. edge: eight doubles, the words lo+len.. below the
// chunk (three read; zeros below the product's bottom word), and on return words lo..lo+7.
// *distance: what rounded_coefficients returns for the chunk. True when every guess is
// confirmed, *carry_out then the carry out of the chunk's top digit word; false when one is
// not, or when the kernel does not take chunks of this length or product, and then edge is
// unchanged and D holds nothing to keep. Only sets whose registers hold eight doubles have it;
// in the others' tables it is null.
using ProductDigits = bool(const double* points, int words, int lo, int len, double* D,
                           double* edge, double carry_in, double* carry_out, double* distance);
// Integers of MergeLanes pairs side by side, each a lane: word i from the bottom of the lanes
// {X, count} is X[i * MergeLanes .. i * MergeLanes + MergeLanes - 1], one word of each pair.
constexpr int MergeLanes = 8;
// Lanes X <- the groups groups[p] of k words (k a multiple of MergeLanes; most significant
// first), bottom word first, up to the highest word that is non-zero in any group (-0 counts as
// zero); returns their number. X is written up to the next multiple of MergeLanes words.
using LanesFromGroups = int(const double* const groups[MergeLanes], int k, double* X);
// The runs runs[p] of `words` words (a multiple of MergeLanes; most significant first) <- lane p
// of {X, count}, zeros above.
using RunsFromLanes = void(const double* X, int count, double* const runs[MergeLanes], int words);
// {C, count} <- the coefficients of a * b + c * d in each lane, at the bottom, zeros above:
// C[s] = sum over i + j = s of a[i] b[j] + c[i] d[j], exact where every sum of products stays
// below 2^53. b and d are read LaneProductPad words beyond each end, which must be zeros;
// cc = 0 leaves c and d unread.
constexpr int LaneProductPad = 3;
using LaneProducts = void(const double* a, int ca, const double* b, int cb, const double* c, int cc,
                          const double* d, int cd, double* C, int count);
// {S, count} <- the coefficients {C, count} swept for carries in each lane as normalize_carries
// sweeps a run of them (balanced digits, a digit of +-B/2 taking the sign of its word plus the
// carry into it): the top word keeps its carry unreduced where top_unreduced, else it is
// reduced too and the carry out of it is dropped. Returns the lanes (bit p for lane p) where a
// reduced digit is +-B/2. S is not C.
using LaneDigits = unsigned(const double* C, double* S, int count, bool top_unreduced);

struct KernelTable {
    GuessedDigits *balanced_digits, *plain_digits;
    PermutedTransform* transform;
    PermutedTransformWords* transform_words;
    PermutedProduct* transform_product;
    PointwiseProduct *pointwise_product, *pointwise_product_sum;
    RoundedCoefficients* rounded_coefficients;
    ProductDigits* product_digits;
    LanesFromGroups* lanes_from_groups;
    RunsFromLanes* runs_from_lanes;
    LaneProducts* lane_products;
    LaneDigits* lane_digits;
    int wide_lanes;  // doubles in the set's widest register, which sets its spectra's groups
};

#if !defined(PIDRM_OUTSIDE_KERNEL_SETS)
// The kernels each set defines, in its own namespace, and its table of them
// (arith/kernel_table_kernels.cpp).
namespace PIDRM_KERNEL_SET {
GuessedDigits balanced_digits, plain_digits;  // arith/carry_kernels.cpp
PermutedTransform permuted_transform;         // fft/permuted_kernels.cpp
PermutedTransformWords permuted_transform_words;
PermutedProduct permuted_product;
PointwiseProduct pointwise_product, pointwise_product_sum;  // fft/pointwise_kernels.cpp
RoundedCoefficients rounded_coefficients;
ProductDigits product_digits;
LanesFromGroups lanes_from_groups;  // drm/merge_lanes_kernels.cpp
RunsFromLanes runs_from_lanes;
LaneProducts lane_products;
LaneDigits lane_digits;
extern const KernelTable Kernels;
}  // namespace PIDRM_KERNEL_SET
#endif

// ---- The choice of a set -----------------------------------------------------------------

// The sets, from the plainest to the fastest (the list: arith/kernel_sets.cpp).
enum KernelSet { BaselineKernels, Avx2Kernels, Avx512Kernels, KernelSetCount };

// The set the kernels run now: best_kernel_set() from the start of the process.
extern KernelSet ActiveKernels;

// The kernels of the active set.
const KernelTable& active_kernels();

// True when the set is in this build and the processor (and its system) runs it.
bool kernel_set_available(KernelSet set);

// The fastest available set.
KernelSet best_kernel_set();

// Makes the kernels run `set`, which must be available. For tests and benchmarks; the
// program itself always runs best_kernel_set().
void use_kernel_set(KernelSet set);

// "baseline", "avx2" or "avx512".
const char* kernel_set_name(KernelSet set);
