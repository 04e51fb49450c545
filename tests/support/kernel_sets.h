// Checks run once under each kernel set that the processor runs.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "arith/kernel_sets.h"

// Calls check() once for each kernel set this build has and this processor runs, with that
// set active and its name in failure messages; the set active before is restored.
inline void for_each_kernel_set(const std::function<void(KernelSet)>& check) {
    const KernelSet before = ActiveKernels;
    for (int s = 0; s < KernelSetCount; ++s) {
        const KernelSet set = static_cast<KernelSet>(s);
        if (!kernel_set_available(set)) continue;
        use_kernel_set(set);
        SCOPED_TRACE(std::string("kernel set ") + kernel_set_name(set));
        check(set);
    }
    use_kernel_set(before);
}
