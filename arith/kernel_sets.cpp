// The list of kernel sets and the choice of one, once, before main.
#include "arith/kernel_sets.h"

#include <cassert>

// Each set's table (arith/kernel_table_kernels.cpp, compiled once for each set in the build).
namespace baseline {
extern const KernelTable Kernels;
}
namespace avx2 {
extern const KernelTable Kernels;
}
namespace avx512 {
extern const KernelTable Kernels;
}

namespace {

bool always() {
    return true;
}

// Whether the processor, and the system that saves its registers, runs AVX2 code. The
// compilers' check (GCC and Clang, which alone build the x86 sets) reads CPUID and, for the
// AVX registers, whether the system saves them (XGETBV), on Linux and on Windows alike.
#if defined(PIDRM_AVX2_KERNELS)
bool processor_has_avx2() {
    __builtin_cpu_init();  // it may run before the compiler's own initialisation
    return __builtin_cpu_supports("avx2");
}
#endif

// Whether it runs the AVX-512 set: the foundation, and the forms of its instructions on four
// and two doubles (VL) and the logic on doubles (DQ), which the compilers may take.
#if defined(PIDRM_AVX512_KERNELS)
bool processor_has_avx512() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
           __builtin_cpu_supports("avx512dq");
}
#endif

// A set of the list: its name, its table where this build has the set (CMake defines
// PIDRM_<NAME>_KERNELS for each set it compiles), and whether the processor runs it.
struct SetEntry {
    const char* name;
    const KernelTable* kernels;
    bool (*runs)();
};

// The list, in the order of KernelSet.
const SetEntry Sets[KernelSetCount] = {
    {"baseline", &baseline::Kernels, always},
#if defined(PIDRM_AVX2_KERNELS)
    {"avx2", &avx2::Kernels, processor_has_avx2},
#else
    {"avx2", nullptr, always},
#endif
#if defined(PIDRM_AVX512_KERNELS)
    {"avx512", &avx512::Kernels, processor_has_avx512},
#else
    {"avx512", nullptr, always},
#endif
};

}  // namespace

bool kernel_set_available(KernelSet set) {
    return set >= 0 && set < KernelSetCount && Sets[set].kernels != nullptr && Sets[set].runs();
}

KernelSet best_kernel_set() {
    int best = BaselineKernels;
    for (int s = 0; s < KernelSetCount; ++s)
        if (kernel_set_available(static_cast<KernelSet>(s))) best = s;
    return static_cast<KernelSet>(best);
}

KernelSet ActiveKernels = best_kernel_set();

const KernelTable& active_kernels() {
    return *Sets[ActiveKernels].kernels;
}

void use_kernel_set(KernelSet set) {
    assert(kernel_set_available(set));
    ActiveKernels = set;
}

const char* kernel_set_name(KernelSet set) {
    return Sets[set].name;
}
