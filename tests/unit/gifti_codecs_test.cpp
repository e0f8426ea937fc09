// gifticlib's data paths in the plug-in's own code: the same bytes as the
// library's printf and strtod, Base64 as the standard spells it, and zlib
// streams that inflate to what went in.
#include "common/gifti_codecs.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace {

// What a writer put into a temporary file.
template <class Write>
std::string written(Write write) {
    std::FILE* file = std::tmpfile();
    write(file);
    std::string text(static_cast<std::size_t>(std::ftell(file)), '\0');
    std::rewind(file);
    EXPECT_EQ(std::fread(text.data(), 1, text.size(), file), text.size());
    std::fclose(file);
    return text;
}

template <class T>
std::string printfRows(const std::vector<T>& values, std::size_t cols, int space, const char* format) {
    return written([&](std::FILE* file) {
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (i % cols == 0) std::fprintf(file, "%*s", space, "");
            std::fprintf(file, format, values[i]);
            if ((i + 1) % cols == 0) std::fputc('\n', file);
        }
    });
}

template <class T>
std::string ourRows(int type, const std::vector<T>& values, std::size_t cols, int space) {
    const auto rows = static_cast<long long>(values.size() / cols);
    return written([&](std::FILE* file) {
        EXPECT_EQ(meshbridge_write_ascii_rows(file, type, values.data(), rows, static_cast<long long>(cols), space), 1);
    });
}

}  // namespace

// The reference is the GNU C library's printf and strtod, whose bytes the
// plug-in writes on every platform (the end-to-end suite compares the files of
// both builds); Windows's C runtime spells some numbers otherwise.
#ifndef _WIN32
TEST(GiftiCodecs, AsciiRowsAreThePrintfBytes) {
    std::mt19937 random(7);
    std::vector<float> floats = {0.0f, -0.0f, 0.1f, 1e-30f, -2.5e-7f, 123.456789f, 3.4028235e38f, 1.4e-45f,
                                 std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
                                 std::nanf(""), 16777216.0f, 1e9f, 0.000123f, 1e-5f, 100000.0f};
    std::vector<double> doubles = {0.1, -1e-300, 5e-324, 1.7976931348623157e308, 2.0 / 3.0, 1e21, 1e15};
    for (int i = 0; i < 20000; ++i) {
        std::uint32_t bits = static_cast<std::uint32_t>(random());
        float f;
        std::memcpy(&f, &bits, sizeof f);
        floats.push_back(f);
        doubles.push_back(static_cast<double>(f) * 1.000000123);
    }
    floats.resize(floats.size() / 4 * 4);
    // Rows of four values, over many of the writer's blocks; one row longer than a block.
    EXPECT_EQ(ourRows(16, floats, 4, 6), printfRows<double>({floats.begin(), floats.end()}, 4, 6, "%.9g "));
    EXPECT_EQ(ourRows(64, doubles, doubles.size(), 0), printfRows(doubles, doubles.size(), 0, "%.17g "));

    const std::vector<int> ints = {0, -1, 2147483647, -2147483647 - 1, 42, 7};
    EXPECT_EQ(ourRows(8, ints, 3, 9), printfRows(ints, 3, 9, "%d "));
    EXPECT_EQ(ourRows(8, ints, 3, 1), " 0 -1 2147483647 \n -2147483648 42 7 \n");
    EXPECT_EQ(ourRows(2, std::vector<unsigned char>{0, 255, 128}, 3, 0), "0 255 128 \n");
    EXPECT_EQ(ourRows(4, std::vector<short>{-32768, 32767}, 2, 1), " -32768 32767 \n");
    EXPECT_EQ(ourRows(1024, std::vector<long long>{-9223372036854775807LL - 1}, 1, 0), "-9223372036854775808 \n");

    // Complex, RGB and long double values stay gifticlib's.
    EXPECT_EQ(written([&](std::FILE* file) { EXPECT_EQ(meshbridge_write_ascii_rows(file, 32, floats.data(), 1, 1, 0), 0); }),
              "");
}
#endif

TEST(GiftiCodecs, Base64ReadingKeepsTheAlphabetCountsStrangersAndDecodesBlocks) {
    // Blanks and line ends are left out silently, other strangers counted,
    // in blocks that are whole and blocks that are not.
    std::string text;
    std::string expected;
    int expectedErrors = 0;
    std::mt19937 random(5);
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=";
    for (int i = 0; i < 5000; ++i) {
        const unsigned pick = random() % 100;
        if (pick < 3) {
            text += " \t\r\n"[random() % 4];
        } else if (pick < 4) {
            text += "*\x80<-"[random() % 4];
            ++expectedErrors;
        } else {
            text += alphabet[random() % alphabet.size()];
            expected += text.back();
        }
        if (i == 2000) text.append(300, 'Q'), expected.append(300, 'Q');  // several whole blocks
    }
    std::string kept(text.size(), '\0');
    int errors = 0;
    kept.resize(static_cast<std::size_t>(
        meshbridge_base64_compact(text.data(), static_cast<int>(text.size()), kept.data(), &errors)));
    EXPECT_EQ(kept, expected);
    EXPECT_EQ(errors, expectedErrors);

    const std::string blocks = "TWFu//4ATWE=";  // "Man", ff fe 00, then padding, which whole blocks never hold
    unsigned char bytes[9] = {};
    const auto* in = reinterpret_cast<const unsigned char*>(blocks.data());
    EXPECT_EQ(meshbridge_base64_decode_blocks(in, 2, bytes, 0), -1);
    const unsigned char decoded[6] = {'M', 'a', 'n', 0xff, 0xfe, 0x00};
    EXPECT_EQ(std::memcmp(bytes, decoded, 6), 0);
    EXPECT_EQ(meshbridge_base64_decode_blocks(in, 3, bytes, 0), 11);  // the offset of the "="
    EXPECT_EQ(meshbridge_base64_decode_blocks(in, 3, bytes, 1), -1);  // compressed data: read as 0
    EXPECT_EQ(bytes[6], 'M');
    EXPECT_EQ(bytes[8], 0);
}

TEST(GiftiCodecs, PlainTextEndsAtWhatTheXmlParserMustSeeAndCountsItsLineEnds) {
    const auto plain = [](const std::string& text, int afterCr = 0) {
        long long lines = 0;
        const long long length = meshbridge_xml_plain_text(text.data(), static_cast<long long>(text.size()), &lines, &afterCr);
        return std::tuple{length, lines, afterCr};
    };
    // Base64, numbers, blanks and tabs, in blocks of 16 and short tails.
    const std::string base64 = "AACAPwAAAEA=+/09 \t-1.5e+3 nan inf";
    EXPECT_EQ(plain(base64), std::tuple(static_cast<long long>(base64.size()), 0LL, 0));
    // Markup, references, "]" and what the parser checks stop it, in a block
    // of 16 or its tail: control characters, DEL, bytes from 0x80 up.
    for (const char stop : {'<', '&', ']', '\x01', '\v', '\f', '\x7f', '\x80', '\xc3', '\xff', '\0'}) {
        for (const std::size_t at : {0u, 5u, 15u, 16u, 21u, 40u}) {
            std::string text = std::string(41, 'A');
            text[at] = stop;
            EXPECT_EQ(std::get<0>(plain(text)), static_cast<long long>(at)) << int(stop) << " at " << at;
        }
    }
    // Line ends as the parser counts them: CR LF, CR or LF each once.
    EXPECT_EQ(plain("AAAA\nBBBB\nCCCCDDDDEEEEFFFF\nG"), std::tuple(28LL, 3LL, 0));
    EXPECT_EQ(plain("1\r\n2\r\n3\r4\n\n5\r"), std::tuple(13LL, 6LL, 1));
    EXPECT_EQ(plain("\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n"), std::tuple(17LL, 17LL, 0));
    EXPECT_EQ(plain("AAAA\r\nBBBB\r\nCCCCDDDD<x"), std::tuple(20LL, 2LL, 0));
    // A CR that ended the text before and the LF that starts this one are one.
    EXPECT_EQ(plain("\nAAAAAAAAAAAAAAAAAAAA", 1), std::tuple(21LL, 0LL, 0));
    EXPECT_EQ(plain("\n", 1), std::tuple(1LL, 0LL, 0));
    EXPECT_EQ(plain("\r", 1), std::tuple(1LL, 1LL, 1));
    EXPECT_EQ(plain("A\n", 1), std::tuple(2LL, 1LL, 0));
    EXPECT_EQ(plain("", 1), std::tuple(0LL, 0LL, 1));
}

TEST(GiftiCodecs, Base64AsTheStandardSpellsItAndCompressedDataInflatesToWhatWentIn) {
    const auto encoded = [](const std::string& text) {
        return written([&](std::FILE* file) { meshbridge_write_base64(file, text.data(), static_cast<long long>(text.size())); });
    };
    EXPECT_EQ(encoded("Man"), "TWFu");
    EXPECT_EQ(encoded("Ma"), "TWE=");
    EXPECT_EQ(encoded("M"), "TQ==");
    EXPECT_EQ(encoded(std::string("\xff\xfe\x00", 3)), "//4A");
    // Across the writer's chunks, with a tail of one byte.
    std::string big(48 * 1024 * 3 + 1, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 37 + i / 251);
    const std::string text = encoded(big);
    ASSERT_EQ(text.size(), (big.size() + 2) / 3 * 4);
    EXPECT_EQ(text.substr(text.size() - 2), "==");
    EXPECT_EQ(text.substr(0, 8), encoded(big.substr(0, 6)));
    EXPECT_EQ(text.substr(48 * 1024 / 3 * 4, 8), encoded(big.substr(48 * 1024, 6)));

    std::vector<float> values(100000);
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = std::sin(static_cast<float>(i) * 0.01f);
    const auto size = static_cast<long long>(values.size() * sizeof(float));
    for (int level : {-1, 1, 6, 9}) {
        std::vector<unsigned char> packed(static_cast<std::size_t>(size * 1.01 + 12));
        const long long made = meshbridge_zlib_compress(packed.data(), static_cast<long long>(packed.size()),
                                                        values.data(), size, level);
        ASSERT_GT(made, 0) << level;
        std::vector<float> back(values.size());
        EXPECT_EQ(meshbridge_zlib_decompress(back.data(), size, packed.data(), made), size) << level;
        EXPECT_EQ(back, values) << level;
        // Too little room, and damaged data, fail.
        EXPECT_EQ(meshbridge_zlib_decompress(back.data(), size - 1, packed.data(), made), -1);
        packed[static_cast<std::size_t>(made / 2)] ^= 0x55;
        EXPECT_EQ(meshbridge_zlib_decompress(back.data(), size, packed.data(), made), -1);
    }
    // Incompressible bytes still fit the room gifticlib gives: 1% and 12 bytes more.
    std::vector<unsigned char> noise(5000);
    std::mt19937 random(3);
    for (auto& byte : noise) byte = static_cast<unsigned char>(random());
    std::vector<unsigned char> packed(static_cast<std::size_t>(5000 * 1.01 + 12));
    EXPECT_GT(meshbridge_zlib_compress(packed.data(), static_cast<long long>(packed.size()), noise.data(), 5000, 9), 0);
    EXPECT_GT(meshbridge_zlib_compress(packed.data(), 16, "abcd", 4, 6), 0);
}

#ifndef _WIN32
TEST(GiftiCodecs, NumbersParseAsStrtodParsesThem) {
    std::vector<std::string> texts = {"0", "-0", "1.5", "  +2.25 rest", "1e10", "1E-10", "-3.4028236e38", "1e-400",
                                      "1e400", "-1e400", "inf", "-Infinity", "nan", "nan(0x1)", "0x1p3", "+-1",
                                      "--1", "", "   ", "abc", ".5", "5.", "1.5e", "1.5e+", "12abc", "\n7\t",
                                      "0.100000001", "4.9406564584124654e-324", "2.4703282292062327e-324"};
    std::mt19937 random(11);
    for (int i = 0; i < 5000; ++i) {
        char text[64];
        std::uint64_t bits = (static_cast<std::uint64_t>(random()) << 32) | random();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        std::snprintf(text, sizeof text, i % 2 ? "%.17g" : "%.9g", value);
        texts.push_back(text);
    }
    for (const std::string& text : texts) {
        char* ourEnd = nullptr;
        char* theirEnd = nullptr;
        const double ours = meshbridge_strtod(text.c_str(), &ourEnd);
        const double theirs = std::strtod(text.c_str(), &theirEnd);
        EXPECT_EQ(ourEnd - text.c_str(), theirEnd - text.c_str()) << text;
        if (std::isnan(theirs)) {
            EXPECT_TRUE(std::isnan(ours)) << text;
        } else {
            EXPECT_EQ(std::memcmp(&ours, &theirs, sizeof ours), 0) << text << " " << ours << " " << theirs;
        }
    }
}
#endif
