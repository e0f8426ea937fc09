// gifticlib as built for the plug-in knows the three retinotopy intents.
#include <gtest/gtest.h>

#include "common/gifti.h"
#include "tests/support/temp_dir.h"

using namespace meshbridge;

namespace {

const std::pair<int, const char*> kRetinotopyIntents[] = {
    {1015, "NIFTI_INTENT_RETINOTOPY_POLAR"},
    {1016, "NIFTI_INTENT_RETINOTOPY_ECCENTRICITY"},
    {1017, "NIFTI_INTENT_RETINOTOPY_FIELD_SIGN"},
};

}  // namespace

TEST(RetinotopyIntents, AreKnownInBothDirections) {
    for (const auto& [code, name] : kRetinotopyIntents) {
        EXPECT_STREQ(gifti_intent_to_string(code), name);
        EXPECT_EQ(gifti_intent_from_string(name), code);
    }
    EXPECT_STREQ(gifti_intent_to_string(2005), "NIFTI_INTENT_SHAPE");
    EXPECT_EQ(gifti_intent_from_string("NIFTI_INTENT_NO_SUCH_THING"), 0);
}

TEST(RetinotopyIntents, SurviveWritingAndReadingAFile) {
    test::TempDir dir;
    const std::string path = dir.file("retinotopy.func.gii");
    int dims[6] = {4, 1, 1, 1, 1, 1};
    GiftiImagePtr image(gifti_create_image(3, NIFTI_INTENT_NONE, NIFTI_TYPE_FLOAT32, 1, dims, 1));
    ASSERT_TRUE(image);
    for (int i = 0; i < 3; ++i) {
        image->darray[i]->intent = kRetinotopyIntents[i].first;
        image->darray[i]->encoding = GIFTI_ENCODING_ASCII;
        auto* values = static_cast<float*>(image->darray[i]->data);
        for (int v = 0; v < 4; ++v) values[v] = static_cast<float>(10 * i + v);
    }
    ASSERT_EQ(gifti_write_image(image.get(), path.c_str(), 1), 0);

    const std::string xml = test::readFile(path);
    for (const auto& [code, name] : kRetinotopyIntents) {
        EXPECT_NE(xml.find(std::string("Intent=\"") + name + "\""), std::string::npos) << name;
    }
    EXPECT_EQ(xml.find("NIFTI_INTENT_NONE"), std::string::npos);

    const GiftiImagePtr back = readGiftiImage(path, true);
    ASSERT_TRUE(back);
    ASSERT_EQ(back->numDA, 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(back->darray[i]->intent, kRetinotopyIntents[i].first);
        EXPECT_EQ(static_cast<float*>(back->darray[i]->data)[3], static_cast<float>(10 * i + 3));
    }
}
