/* Large fresh buffers backed by huge pages where the system offers them on
 * request (Linux's transparent huge pages in "madvise" mode): the first write
 * then faults once per 2 MB instead of once per 4 KB page, which is most of
 * the cost of touching new memory. Elsewhere, and for small buffers, nothing
 * happens. Callable from gifticlib's C code. */
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

#include <algorithm>
#include <cstddef>
#include <vector>

namespace meshbridge {

// As values.resize(count), with fresh memory advised before it is first written.
// Growth is geometric, as the vector's own, so that appending stays linear.
template <class T>
void resizeAdvised(std::vector<T>& values, std::size_t count) {
    if (values.capacity() < count) {
        std::vector<T> fresh;
        fresh.reserve(std::max(count, 2 * values.capacity()));
        meshbridge_advise_huge_pages(fresh.data(), static_cast<long long>(fresh.capacity() * sizeof(T)));
        fresh.assign(values.begin(), values.end());
        values.swap(fresh);
    }
    values.resize(count);
}

}  // namespace meshbridge
#endif

#endif
