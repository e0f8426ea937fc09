#include "common/huge_pages.h"

#include <gtest/gtest.h>

TEST(ResizeAdvised, KeepsTheValuesAndGrowsGeometrically) {
    std::vector<int> values;
    values.reserve(3);
    values.assign({1, 2, 3});
    ASSERT_EQ(values.capacity(), 3u);
    meshbridge::resizeAdvised(values, 4);
    EXPECT_EQ(values, (std::vector<int>{1, 2, 3, 0}));
    // At least twice the capacity it had: one value appended at a time stays linear.
    EXPECT_GE(values.capacity(), 6u);
    const int* kept = values.data();
    meshbridge::resizeAdvised(values, 6);  // fits: the same memory
    EXPECT_EQ(values.data(), kept);
    EXPECT_EQ(values, (std::vector<int>{1, 2, 3, 0, 0, 0}));
}
