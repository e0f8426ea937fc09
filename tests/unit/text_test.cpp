// Text helpers: formatting, the host's and XML's encodings, file names.
#include <gtest/gtest.h>

#include "common/replace_extension.h"
#include "common/text.h"
#include "common/text_encoding.h"

using namespace meshbridge;

TEST(FormatText, GrowsToFitLongTextsAndAppends) {
    const std::string name(3000, 'x');
    EXPECT_EQ(formatText("SRF saved as:\n%s", name.c_str()), "SRF saved as:\n" + name);
    std::string text = "a";
    appendText(text, "%d-%s", 7, "b");
    appendText(text, "%s", "");
    EXPECT_EQ(text, "a7-b");
}

// The host's code page as a test sets it; Windows-1252 unless a test says otherwise.
class TextEncoding : public ::testing::Test {
protected:
    void SetUp() override { setHostCodePageForTests(1252); }
    void TearDown() override { setHostCodePageForTests(0); }
};

TEST_F(TextEncoding, HostTextsBecomeValidXmlTextInUtf8) {
    EXPECT_EQ(toXmlText("Gr\xF6\xDF" "e"), "Gr\xC3\xB6\xC3\x9F" "e");        // Größe
    EXPECT_EQ(toXmlText("caf\xE9.srf"), "caf\xC3\xA9.srf");                  // café.srf
    EXPECT_EQ(toXmlText("\x80 \x9F \x81"), "\xE2\x82\xAC \xC5\xB8 \xC2\x81");  // €, Ÿ, and an undefined byte
    EXPECT_EQ(toXmlText("a\x01" "b\tc\nd\x1F"), "a?b\tc\nd?");               // controls XML forbids
    // Text that is UTF-8 already stays, but for forbidden characters.
    EXPECT_EQ(toXmlText("Gr\xC3\xB6\xC3\x9F" "e"), "Gr\xC3\xB6\xC3\x9F" "e");
    EXPECT_EQ(toXmlText("\xEF\xBF\xBE"), "?");  // U+FFFE
    EXPECT_EQ(toXmlText("a]]>b"), "a]]>b");     // gifticlib's writer splits the section
    EXPECT_EQ(toXmlText(""), "");

    EXPECT_TRUE(isValidUtf8("\xF0\x9F\x98\x80"));
    EXPECT_FALSE(isValidUtf8("\xC0\xAF"));          // overlong
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));      // a surrogate
    EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80"));  // beyond U+10FFFF
    EXPECT_FALSE(isValidUtf8("\xE2\x82"));          // cut short
}

TEST_F(TextEncoding, XmlTextsBecomeWindows1252WhereTheyCan) {
    EXPECT_EQ(fromXmlText("Gr\xC3\xB6\xC3\x9F" "e"), "Gr\xF6\xDF" "e");
    EXPECT_EQ(fromXmlText("\xE2\x82\xAC\xC5\xB8"), "\x80\x9F");
    EXPECT_EQ(fromXmlText("plain"), "plain");
    EXPECT_EQ(fromXmlText("\xE5\xA4\xA7\xC3\xB6"), "\xE5\xA4\xA7\xC3\xB6");  // a character without a place: all stays
    EXPECT_EQ(fromXmlText("bad\xC3"), "bad\xC3");
    for (int byte = 1; byte < 256; ++byte) {
        const std::string text(1, static_cast<char>(byte));
        if (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r') continue;
        EXPECT_EQ(fromXmlText(toXmlText(text)), text) << byte;
    }
}

TEST_F(TextEncoding, OtherCodePagesBothWaysAndTheFallbackWhereACharacterHasNoPlace) {
    const std::string privet1251 = "\xCF\xF0\xE8\xE2\xE5\xF2";
    const std::string privet = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82";  // Привет
    setHostCodePageForTests(1251);
    EXPECT_EQ(toXmlText(privet1251), privet);
    EXPECT_EQ(fromXmlText(privet), privet1251);
    EXPECT_EQ(fromXmlText("Gr\xC3\xB6\xC3\x9F" "e"), "Gr\xC3\xB6\xC3\x9F" "e");  // ö and ß have no place: all stays
    EXPECT_TRUE(isValidUtf8(toXmlText("\x98")));  // a byte 1251 leaves undefined: still valid text

    setHostCodePageForTests(932);  // Shift JIS: two bytes a character
    EXPECT_EQ(toXmlText("\x93\xFA\x96\x7B"), "\xE6\x97\xA5\xE6\x9C\xAC");  // 日本
    EXPECT_EQ(fromXmlText("\xE6\x97\xA5\xE6\x9C\xAC"), "\x93\xFA\x96\x7B");

    setHostCodePageForTests(65001);  // UTF-8: nothing to convert
    EXPECT_EQ(fromXmlText(privet), privet);
}

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
    for (const auto& [name, suffix, expected] : cases) EXPECT_EQ(replaceExtension(name, suffix), expected);
}

TEST(ReplaceExtension, PathsInDoubleByteCodePagesSplitAtTheirOwnSeparatorsOnly) {
    // 構造 in Shift JIS: 0x8D 0x5C 0x91 0xA2, the second byte of 構 being that of "\".
    const std::string name = "C:\\data\\\x8D\x5C\x91\xA2.label";
    setHostCodePageForTests(932);
    EXPECT_EQ(lastPathComponent(name), "\x8D\x5C\x91\xA2.label");
    EXPECT_EQ(replaceExtension(name, ".poi"), "C:\\data\\\x8D\x5C\x91\xA2.poi");
    // 表 (0x95 0x5C) in a folder's name, and Traditional Chinese's 功 (0xA5 0x5C).
    EXPECT_EQ(lastPathComponent("D:\\\x95\x5C\\lh.white"), "lh.white");
    setHostCodePageForTests(950);
    EXPECT_EQ(lastPathComponent("\xA5\x5C.label"), "\xA5\x5C.label");
    setHostCodePageForTests(1252);  // a byte of 0x5C is a separator wherever it stands
    EXPECT_EQ(lastPathComponent(name), "\x91\xA2.label");
    setHostCodePageForTests(0);
}
