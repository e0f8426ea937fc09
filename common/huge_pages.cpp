#include "common/huge_pages.h"

#include <cstdint>

#if defined(__linux__) && !defined(__SANITIZE_ADDRESS__)
#define MESHBRIDGE_MAPPED_BUFFERS 1
#endif

#ifdef __linux__
#include <sys/mman.h>

namespace {

constexpr std::uintptr_t kPage = 4096;
std::uintptr_t roundUp(std::uintptr_t value, std::uintptr_t unit) { return (value + unit - 1) & ~(unit - 1); }

}  // namespace
#endif

#ifdef MESHBRIDGE_MAPPED_BUFFERS
namespace {

// Arrays from this size up are mapped on their own, so that their memory goes
// back to the system as soon as they are freed (rather than stay with the
// heap, where the next large array may not fit) ...
constexpr std::size_t kMappedAlone = 256 << 10;
// ... and from this size up in aligned huge pages: below it, rounding up to a
// huge page would cost more memory than the faults cost time.
constexpr std::size_t kHugeFrom = 1 << 20;
constexpr std::uintptr_t kHugePage = 2 << 20;

// The length of an array's mapping: whole huge pages where the last one is at
// least half used, else the part beyond the last whole huge page in small
// pages (a huge page is all in memory once touched).
std::size_t mappedLength(std::size_t bytes) {
    if (bytes < kHugeFrom) return roundUp(bytes, kPage);
    return bytes % kHugePage >= kHugePage / 2 ? roundUp(bytes, kHugePage) : roundUp(bytes, kPage);
}

}  // namespace
#endif

extern "C" void meshbridge_advise_huge_pages(void* data, long long bytes) {
#ifdef __linux__
    constexpr long long kWorthIt = 2 << 20;  // below one huge page there is nothing to win
    if (!data || bytes < kWorthIt) return;
    const auto start = roundUp(reinterpret_cast<std::uintptr_t>(data), kPage);
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + static_cast<std::uintptr_t>(bytes)) & ~(kPage - 1);
    // Advice only: where the kernel declines, the memory is ordinary pages.
    if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

namespace meshbridge {

void* allocateHugePageBuffer(std::size_t bytes) {
#ifdef MESHBRIDGE_MAPPED_BUFFERS
    if (bytes >= kMappedAlone) {
        if (bytes > SIZE_MAX - 2 * kHugePage) throw std::bad_alloc();
        const std::size_t length = mappedLength(bytes);
        const bool huge = bytes >= kHugeFrom;
        // For huge pages one more than needed, so that an aligned start lies
        // inside; what lies before and after it is given back at once. Small
        // pages are all mapped at once, in one call: cheaper than one fault
        // for each.
        const std::size_t slack = huge ? kHugePage : 0;
        const int populate = huge ? 0 : MAP_POPULATE;
        void* mapped =
            mmap(nullptr, length + slack, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | populate, -1, 0);
        if (mapped == MAP_FAILED) throw std::bad_alloc();
        if (!huge) return mapped;
        const auto first = reinterpret_cast<std::uintptr_t>(mapped);
        const auto start = roundUp(first, kHugePage);
        if (start > first) munmap(mapped, start - first);
        if (const std::uintptr_t after = first + slack - start; after > 0)
            munmap(reinterpret_cast<void*>(start + length), after);
        madvise(reinterpret_cast<void*>(start), length & ~(kHugePage - 1), MADV_HUGEPAGE);  // advice only, as above
        return reinterpret_cast<void*>(start);
    }
#endif
    return ::operator new(bytes);
}

void releaseHugePageBuffer(void* data, [[maybe_unused]] std::size_t bytes) noexcept {
#ifdef MESHBRIDGE_MAPPED_BUFFERS
    if (bytes >= kMappedAlone) {
        munmap(data, mappedLength(bytes));
        return;
    }
#endif
    ::operator delete(data);
}

}  // namespace meshbridge
