// Large pages for the static working arrays of long runs (Linux), nothing elsewhere.
#include "arith/long_number.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

void hold_in_large_pages(void* array, std::size_t used, std::size_t capacity) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    assert(reinterpret_cast<std::uintptr_t>(array) % LargePage == 0);
    if (used < LargePage / 16) return;
    const std::size_t pages = (used + LargePage - 1) / LargePage, whole = capacity / LargePage;
    const std::size_t bytes = (pages < whole ? pages : whole) * LargePage;
    // A refusal (no large pages in this kernel, or none allowed) leaves the small pages.
    if (bytes > 0) static_cast<void>(madvise(array, bytes, MADV_HUGEPAGE));
#else
    static_cast<void>(array);
    static_cast<void>(used);
    static_cast<void>(capacity);
#endif
}
