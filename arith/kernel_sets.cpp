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

// Whether it runs the AVX-512 set: the foundation, and the forms of its instructions on four
// and two doubles (VL) and the logic on doubles (DQ), which the compilers may take.
bool processor_has_avx512() {
#if defined(PIDRM_AVX512_KERNELS)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
           __builtin_cpu_supports("avx512dq");
#else
    return false;
#endif
}

}  // namespace

bool kernel_set_available(KernelSet set) {
    switch (set) {
        case BaselineKernels:
            return true;
        case Avx2Kernels:
            return processor_has_avx2();
        case Avx512Kernels:
            return processor_has_avx512();
        default:
            return false;
    }
}

KernelSet best_kernel_set() {
    if (kernel_set_available(Avx512Kernels)) return Avx512Kernels;
    return kernel_set_available(Avx2Kernels) ? Avx2Kernels : BaselineKernels;
}

KernelSet ActiveKernels = best_kernel_set();

void use_kernel_set(KernelSet set) {
    assert(kernel_set_available(set));
    ActiveKernels = set;
}

const char* kernel_set_name(KernelSet set) {
    return set == Avx512Kernels ? "avx512" : set == Avx2Kernels ? "avx2" : "baseline";
}

const CarryKernels& carry_kernels() {
#if defined(PIDRM_AVX2_KERNELS)
    if (ActiveKernels == Avx2Kernels) return avx2::Carries;
#endif
#if defined(PIDRM_AVX512_KERNELS)
    if (ActiveKernels == Avx512Kernels) return avx512::Carries;
#endif
    return baseline::Carries;
}
