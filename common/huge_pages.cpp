#include "common/huge_pages.h"

#include <cstdint>

#ifdef __linux__
#include <sys/mman.h>
#endif

extern "C" void meshbridge_advise_huge_pages(void* data, long long bytes) {
#ifdef __linux__
    constexpr std::uintptr_t kPage = 4096;
    constexpr long long kWorthIt = 4 << 20;  // below two huge pages there is little to win
    if (!data || bytes < kWorthIt) return;
    const auto start = (reinterpret_cast<std::uintptr_t>(data) + kPage - 1) & ~(kPage - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + static_cast<std::uintptr_t>(bytes)) & ~(kPage - 1);
    // Advice only: where the kernel declines, the memory is ordinary pages.
    if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}
