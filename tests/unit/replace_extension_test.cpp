#include "common/replace_extension.h"

#include <gtest/gtest.h>

using meshbridge::replaceExtension;

TEST(ReplaceExtension, ReplacesTheLastExtensionOfTheLastComponent) {
    EXPECT_EQ(replaceExtension("lh.srf", ".surf.gii"), "lh.surf.gii");
    EXPECT_EQ(replaceExtension("lh.pial.surf.gii", ".srf"), "lh.pial.surf.srf");
    EXPECT_EQ(replaceExtension("a.b.gii", ".smp"), "a.b.smp");
    EXPECT_EQ(replaceExtension("/data/S1/lh.surf.gii", "_info.txt"), "/data/S1/lh.surf_info.txt");
    EXPECT_EQ(replaceExtension("D:\\data\\brain_RH.srf", ".surf.gii"), "D:\\data\\brain_RH.surf.gii");
}

TEST(ReplaceExtension, DotsInFoldersDoNotStartAnExtension) {
    EXPECT_EQ(replaceExtension("C:\\my.data\\lh", "_info.txt"), "C:\\my.data\\lh_info.txt");
    EXPECT_EQ(replaceExtension("/my.data/lh", ".srf"), "/my.data/lh.srf");
    EXPECT_EQ(replaceExtension("C:/my.data\\sub.dir/lh", ".srf"), "C:/my.data\\sub.dir/lh.srf");
}

TEST(ReplaceExtension, NameWithoutExtensionGetsTheSuffixAppended) {
    EXPECT_EQ(replaceExtension("lh", ".srf"), "lh.srf");
    EXPECT_EQ(replaceExtension(".hidden", ".srf"), ".hidden.srf");
    EXPECT_EQ(replaceExtension("/data/.hidden", ".srf"), "/data/.hidden.srf");
    EXPECT_EQ(replaceExtension("dir.d/", ".srf"), "dir.d/.srf");
}

TEST(ReplaceExtension, EmptyNameGivesQuotes) {
    EXPECT_EQ(replaceExtension("", ".srf"), "''.srf");
}
