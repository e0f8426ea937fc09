#include "common/huge_pages.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>

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
// A large buffer starts on a huge page, so that all of it can be backed by huge
// pages, and is zero where it was never written.
TEST(HugePageVector, LargeBuffersStartOnAHugePage) {
    meshbridge::HugePageVector<float> values(3u << 20);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(values.data()) % (2u << 20), 0u);
    EXPECT_EQ(values[(3u << 20) - 1], 0.0f);
}
#endif
