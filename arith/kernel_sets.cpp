// The choice of the kernel set, once, before main.
#include "arith/kernel_sets.h"

#include <cassert>

namespace {

// Whether the processor, and the system that saves its registers, runs AVX2 code. The
// compilers' check reads CPUID and, for the AVX registers, whether the system saves them
// (XGETBV), on Linux and on Windows alike.
bool processor_has_avx2() {
#if defined(PIDRM_AVX2_KERNELS)
    __builtin_cpu_init();  // it may run before the compiler's own initialisation
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

}  // namespace

bool kernel_set_available(KernelSet set) {
    return set == BaselineKernels || (set == Avx2Kernels && processor_has_avx2());
}

KernelSet best_kernel_set() {
    return kernel_set_available(Avx2Kernels) ? Avx2Kernels : BaselineKernels;
}

KernelSet ActiveKernels = best_kernel_set();

void use_kernel_set(KernelSet set) {
    assert(kernel_set_available(set));
    ActiveKernels = set;
}

const char* kernel_set_name(KernelSet set) {
    return set == Avx2Kernels ? "avx2" : "baseline";
}

const CarryKernels& carry_kernels() {
#if defined(PIDRM_AVX2_KERNELS)
    if (ActiveKernels == Avx2Kernels) return avx2::Carries;
#endif
    return baseline::Carries;
}
