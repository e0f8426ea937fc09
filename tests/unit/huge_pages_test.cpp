#include "common/huge_pages.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <utility>
#include <vector>

// Arrays small and large keep their values as they grow past the size at
// which they are mapped on their own, and are given back without a fault
// (the sanitizer build checks the small ones; the large ones are mapped).
TEST(HugePageVector, KeepsTheValuesAcrossEveryKindOfBuffer) {
    meshbridge::HugePageVector<std::int32_t> values;
    for (std::size_t count : {3u, 1000u, 100000u, 300000u, 1200000u}) {
        const std::size_t before = values.size();
        values.resize(count);
        std::iota(values.begin() + static_cast<std::ptrdiff_t>(before), values.end(), static_cast<std::int32_t>(before));
        for (std::size_t i = 0; i < count; i += 997) ASSERT_EQ(values[i], static_cast<std::int32_t>(i)) << count;
        ASSERT_EQ(values.back(), static_cast<std::int32_t>(count - 1));
    }
    meshbridge::HugePageVector<std::int32_t> copy = values;
    values.clear();
    values.shrink_to_fit();
    EXPECT_EQ(copy.size(), 1200000u);
    EXPECT_EQ(copy[1199999], 1199999);
}

#if defined(__linux__) && !defined(__SANITIZE_ADDRESS__)
// What the allocator returns at its thresholds: below 256 KB memory from
// operator new (glibc places such blocks 16 bytes into a page); from 256 KB
// a mapping of its own (page-aligned); from 1 MB a mapping that starts on a
// 2 MB boundary, zero where it was never written.
TEST(HugePageVector, EachSizeGetsTheMemoryOfItsKind) {
    const auto offsetIn = [](void* data, std::uintptr_t alignment) {
        return reinterpret_cast<std::uintptr_t>(data) % alignment;
    };
    std::vector<std::pair<void*, std::size_t>> held;
    const auto take = [&](std::size_t bytes) {
        held.emplace_back(meshbridge::allocateHugePageBuffer(bytes), bytes);
        return held.back().first;
    };
    EXPECT_NE(offsetIn(take((256u << 10) - 1), 4096), 0u);
    EXPECT_EQ(offsetIn(take(256u << 10), 4096), 0u);
    // Mappings of 1 MB - 1 lie next to each other: not all start on 2 MB.
    std::size_t onHugePages = 0;
    for (int i = 0; i < 4; ++i) {
        void* data = take((1u << 20) - 1);
        EXPECT_EQ(offsetIn(data, 4096), 0u);
        onHugePages += offsetIn(data, 2u << 20) == 0;
    }
    EXPECT_LT(onHugePages, 4u);
    // Sizes just past whole huge pages, whose mappings the kernel itself does
    // not place on a 2 MB boundary: only the allocator's own alignment does.
    for (std::size_t bytes : {std::size_t{1} << 20, (std::size_t{2} << 20) + 4096, (std::size_t{6} << 20) + 12345}) {
        auto* data = static_cast<unsigned char*>(take(bytes));
        EXPECT_EQ(offsetIn(data, 2u << 20), 0u) << bytes;
        EXPECT_EQ(data[bytes - 1], 0) << bytes;
        data[bytes - 1] = 1;  // all of it is there
    }
    for (const auto& [data, bytes] : held) meshbridge::releaseHugePageBuffer(data, bytes);
}
#endif
