#include "import/surface_colors.h"

#include "formats/srf_file.h"

#include <gtest/gtest.h>

#include "tests/support/host_test.h"
#include "tests/support/gifti_builder.h"

using namespace meshbridge;

namespace {

GiftiImagePtr labelledImage(const std::vector<LabelEntry>& table, const std::vector<std::int32_t>& labels) {
    GiftiImagePtr image = test::emptyImage();
    setLabelTable(*image, table);
    if (!labels.empty())
        test::addArray(*image, NIFTI_INTENT_LABEL, NIFTI_TYPE_INT32, {static_cast<int>(labels.size())}, labels);
    return image;
}

}  // namespace

class SurfaceColorImport : public test::HostTest {};

TEST_F(SurfaceColorImport, LabelColoursBecomeOwnColourWordsOfALabelArrayThatFitsTheMesh) {
    const auto image = labelledImage({{5, "five", {1.0f, 0.5f, 0.25f, 1.0f}},
                                      {7, "clear", {0.3f, 0.3f, 0.3f, 0.0f}},
                                      {9, "blue", {0.0f, 0.0f, 1.0f, 1.0f}}},
                                     {5, 7, 9, 3, 5});
    EXPECT_EQ(convertGiftiColors(*image, 5),
              (HugePageVector<std::int32_t>{0x3FFF7F3F, 0x3F000000, 0x3F0000FF, 0, 0x3FFF7F3F}));
    EXPECT_EQ(host.log, (std::vector<std::string>{"Converting GIFTI colors to Corvana colors...",
                                                  "Assigning converted colors to mesh..."}));

    const std::vector<LabelEntry> table = {{1, "red", {1, 0, 0, 1}}, {2, "a", {1, 0, 0, 1}}, {2, "b", {0, 1, 0, 1}}};
    EXPECT_EQ(convertGiftiColors(*labelledImage(table, {1, 2}), 4),
              (HugePageVector<std::int32_t>{0x3FFF0000, 0x3F00FF00, 0, 0}));
    EXPECT_EQ(convertGiftiColors(*labelledImage(table, std::vector<std::int32_t>(13, 1)), 12),
              HugePageVector<std::int32_t>(12, 0));

    for (int k = 0; k < 256; ++k) {
        const float c = static_cast<float>(k) / 255.0f;
        EXPECT_EQ(colorWordFromRgba(c, c, c, 1.0f), kOwnColorBase + k * 65536 + k * 256 + k) << k;
    }
}

TEST_F(SurfaceColorImport, WithoutTableOrLabelsEveryVertexKeepsTheCurvatureColour) {
    auto bare = labelledImage({}, {1, 2});
    EXPECT_EQ(convertGiftiColors(*bare, 2), (HugePageVector<std::int32_t>{0, 0}));
    EXPECT_EQ(host.log, std::vector<std::string>{
                            "No predefined colors present (length = 0). Colors will be default Corvana colors (blue)."});
    host.log.clear();
    // A surface as its own colour source: a table but only pointset and triangle arrays.
    auto surface = labelledImage({{0, "x", {1, 1, 1, 1}}}, {});
    test::addArray(*surface, NIFTI_INTENT_POINTSET, NIFTI_TYPE_FLOAT32, {1, 3}, std::vector<float>{0, 0, 0});
    EXPECT_EQ(convertGiftiColors(*surface, 1), HugePageVector<std::int32_t>{0});
    EXPECT_EQ(host.log, (std::vector<std::string>{"Converting GIFTI colors to Corvana colors...",
                                                  "Assigning converted colors to mesh..."}));
}

