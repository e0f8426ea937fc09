/* Large fresh buffers backed by huge pages where the system offers them on
 * request (Linux's transparent huge pages in "madvise" mode): the first write
 * then faults once per 2 MB instead of once per 4 KB page, which is most of
 * the cost of touching new memory. Elsewhere, and for small buffers, nothing
 * happens. The advice is callable from gifticlib's C code. */
#ifndef MESHBRIDGE_HUGE_PAGES_H
#define MESHBRIDGE_HUGE_PAGES_H

#ifdef __cplusplus
extern "C" {
#endif

/* Advises the whole 4 KB pages within `bytes` bytes from `data`, before they
 * are first written. */
void meshbridge_advise_huge_pages(void* data, long long bytes);

#ifdef __cplusplus
}

#include <cstddef>
#include <limits>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace meshbridge {

// Memory for one array of `bytes` bytes. On Linux, arrays of 256 KB and more
// are mapped on their own, so that their memory goes back to the system when
// they are freed, with all their pages mapped at once; from 1 MB they start on
// a 2 MB boundary and their whole 2 MB pages are advised to be huge pages (a
// fresh 4 KB page costs about as much to touch as 2 MB of memory in use). Smaller ones,
// and every array elsewhere, come from operator new. Throws std::bad_alloc
// when there is no memory.
void* allocateHugePageBuffer(std::size_t bytes);
// Gives back what allocateHugePageBuffer gave for the same `bytes`.
void releaseHugePageBuffer(void* data, std::size_t bytes) noexcept;

template <class T>
struct HugePageAllocator {
    using value_type = T;
    HugePageAllocator() = default;
    template <class U>
    HugePageAllocator(const HugePageAllocator<U>&) noexcept {}  // NOLINT: rebinding, as std::allocator
    T* allocate(std::size_t n) {
        if (n > std::numeric_limits<std::size_t>::max() / sizeof(T)) throw std::bad_array_new_length();
        return static_cast<T*>(allocateHugePageBuffer(n * sizeof(T)));
    }
    void deallocate(T* data, std::size_t n) noexcept { releaseHugePageBuffer(data, n * sizeof(T)); }
    template <class U>
    bool operator==(const HugePageAllocator<U>&) const noexcept {
        return true;
    }
};

// The arrays of records and of the conversions' large working tables.
template <class T>
using HugePageVector = std::vector<T, HugePageAllocator<T>>;

// The same memory, whose values are left as they are when the vector grows
// (not cleared first): for arrays whose every value is written before it is
// read.
template <class T>
struct UnclearedHugePageAllocator : HugePageAllocator<T> {
    UnclearedHugePageAllocator() = default;
    template <class U>
    UnclearedHugePageAllocator(const UnclearedHugePageAllocator<U>&) noexcept {}  // NOLINT: rebinding
    template <class U>
    void construct(U* at) noexcept(std::is_nothrow_default_constructible_v<U>) {
        ::new (static_cast<void*>(at)) U;
    }
    template <class U, class... Args>
    void construct(U* at, Args&&... args) {
        ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
    }
};

template <class T>
using UnclearedHugePageVector = std::vector<T, UnclearedHugePageAllocator<T>>;

}  // namespace meshbridge
#endif

#endif
