#include "common/replace_extension.h"

#include <gtest/gtest.h>

TEST(ReplaceExtension, ReplacesTheLastExtensionOfTheLastComponentOnly) {
    const char* const cases[][3] = {
        {"lh.srf", ".surf.gii", "lh.surf.gii"},
        {"lh.pial.surf.gii", ".srf", "lh.pial.surf.srf"},
        {"/data/S1/lh.surf.gii", "_info.txt", "/data/S1/lh.surf_info.txt"},
        {"D:\\data\\brain_RH.srf", ".surf.gii", "D:\\data\\brain_RH.surf.gii"},
        // Dots in folders do not start an extension.
        {"C:\\my.data\\lh", "_info.txt", "C:\\my.data\\lh_info.txt"},
        {"C:/my.data\\sub.dir/lh", ".srf", "C:/my.data\\sub.dir/lh.srf"},
        // Without an extension the suffix is appended.
        {"lh", ".srf", "lh.srf"},
        {"/data/.hidden", ".srf", "/data/.hidden.srf"},
        {"dir.d/", ".srf", "dir.d/.srf"},
        {"", ".srf", "''.srf"},
    };
    for (const auto& [name, suffix, expected] : cases) EXPECT_EQ(meshbridge::replaceExtension(name, suffix), expected);
}
