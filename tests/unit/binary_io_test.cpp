// The binary reader across the fillings of its buffer, and the binary writer:
// every byte in order whatever the mix of small values and large arrays,
// written in writes that start at page boundaries of the file.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "common/binary_io.h"
#include "tests/support/temp_dir.h"

using namespace meshbridge;

TEST(BinaryReader, ListsValuesAndSkipsAcrossEveryFillingOfItsBuffer) {
    // 30 000 counted lists of 0 to 40 values (about 2.5 MB), a far skip, then
    // values and a text: the buffer's fillings grow from 16 KB to 64 KB and
    // start small again after the skip, so lists and values lie across them.
    std::string bytes;
    const auto put = [&bytes](std::int32_t value) { bytes.append(reinterpret_cast<const char*>(&value), 4); };
    for (std::int32_t list = 0; list < 30000; ++list) {
        const std::int32_t count = (list * 7) % 41;
        put(count);
        for (std::int32_t i = 0; i < count; ++i) put(list);
    }
    put(-12345);  // the first value after the lists
    bytes.append(100000, 'x');  // passed over by seeking
    for (std::int32_t v = 0; v < 20000; ++v) put(v);
    bytes += "end";
    bytes.push_back('\0');
    test::TempDir dir;
    test::writeFile(dir.file("lists.bin"), bytes);
    FilePtr file = openFile(dir.file("lists.bin"), "rb");
    ASSERT_NE(file, nullptr);
    std::setvbuf(file.get(), nullptr, _IONBF, 0);
    BinaryReader in(file.get(), bytes.size());
    std::uint64_t negativeAt = 0;
    std::int32_t negativeCount = 0;
    ASSERT_TRUE(in.skipCountedLists(30000, negativeAt, negativeCount)) << in.problem();
    std::int32_t value = 0;
    ASSERT_TRUE(in.read(value));
    EXPECT_EQ(value, -12345);
    ASSERT_TRUE(in.skip(100000));
    std::int32_t v = 0;
    for (; v < 19990; v += 1 + v % 3) {  // single values and runs, some passed over
        if (v % 5 == 0) {
            std::vector<std::int32_t> run;
            ASSERT_TRUE(in.readArray(run, 1)) << v;
            EXPECT_EQ(run[0], v);
        } else {
            ASSERT_TRUE(in.read(value));
            EXPECT_EQ(value, v);
        }
        ASSERT_TRUE(in.skip(4 * static_cast<std::uint64_t>(v % 3)));
    }
    ASSERT_TRUE(in.skip(4 * static_cast<std::uint64_t>(20000 - v)));
    std::string text;
    ASSERT_TRUE(in.readZeroTerminated(text));
    EXPECT_EQ(text, "end");
    EXPECT_EQ(in.remaining(), 0u);
    // A negative count is named with its list.
    bytes.replace(4, 4, std::string("\xF6\xFF\xFF\xFF", 4));  // list 1 (list 0 is empty): -10
    test::writeFile(dir.file("negative.bin"), bytes);
    FilePtr negative = openFile(dir.file("negative.bin"), "rb");
    BinaryReader bad(negative.get(), bytes.size());
    EXPECT_FALSE(bad.skipCountedLists(30000, negativeAt, negativeCount));
    EXPECT_EQ(negativeAt, 1u);
    EXPECT_EQ(negativeCount, -10);
}

TEST(ReadBytesAt, ReadsFromAnyOffsetAndLeavesTheStreamWhereItStood) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    std::string bytes(100000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 % 251);
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
    ASSERT_EQ(std::fseek(file, 123, SEEK_SET), 0);
    std::string read(70000, '\0');
    ASSERT_TRUE(readBytesAt(file, 29999, read.data(), read.size()));
    EXPECT_TRUE(read == bytes.substr(29999, 70000));
    EXPECT_FALSE(readBytesAt(file, 30001, read.data(), read.size()));  // one byte past the end
#ifndef _WIN32
    EXPECT_EQ(std::ftell(file), 123);
#endif
    std::fclose(file);
}

#ifdef __GLIBC__
namespace {

// A file in memory that notes where each write the writer makes starts and
// how long it is.
struct Recorded {
    std::string bytes;
    std::vector<std::pair<std::size_t, std::size_t>> writes;  // offset, length
};

ssize_t recordWrite(void* cookie, const char* data, std::size_t size) {
    auto& file = *static_cast<Recorded*>(cookie);
    file.writes.emplace_back(file.bytes.size(), size);
    file.bytes.append(data, size);
    return static_cast<ssize_t>(size);
}

ssize_t failWrite(void*, const char*, std::size_t) { return -1; }

std::string pattern(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + seed * 7) % 251);
    return bytes;
}

}  // namespace

TEST(BinaryWriter, KeepsEveryByteInOrderAndWritesFromPageBoundaries) {
    // Small values and arrays of every size around the page, the direct size
    // and the buffer, in turn, from offsets that are and are not on a page.
    const std::vector<std::size_t> sizes = {1,     3,     4096,  4095,   65535,  65536,  4097, 65537, 2,
                                            262144, 262143, 262145, 1 << 20, 7,     (1 << 20) + 3, 12288, 5};
    Recorded recorded;
    std::FILE* file = fopencookie(&recorded, "w", cookie_io_functions_t{nullptr, recordWrite, nullptr, nullptr});
    ASSERT_NE(file, nullptr);
    std::string expected;
    {
        BinaryWriter out(file);
        out.write(std::int32_t{0x01020304});
        expected += std::string("\x04\x03\x02\x01", 4);
        unsigned seed = 0;
        for (const std::size_t size : sizes) {
            const std::string bytes = pattern(size, ++seed);
            out.writeArray(bytes.data(), bytes.size());
            expected += bytes;
            out.writeZeroTerminated("name");
            expected += std::string("name", 5);
        }
        // Items of 12 bytes made in place, some across the buffer's end.
        out.writeMade<12>(50000, [](std::size_t first, std::size_t n, unsigned char* to) {
            for (std::size_t i = first; i < first + n; ++i)
                for (std::size_t b = 0; b < 12; ++b) *to++ = static_cast<unsigned char>((i * 12 + b) % 253);
        });
        for (std::size_t i = 0; i < 50000 * 12; ++i) expected.push_back(static_cast<char>(i % 253));
        EXPECT_TRUE(out.ok());
        EXPECT_TRUE(out.flush());
    }
    std::fclose(file);
    EXPECT_TRUE(recorded.bytes == expected);
    ASSERT_FALSE(recorded.writes.empty());
    for (std::size_t i = 0; i < recorded.writes.size(); ++i) {
        const auto [offset, length] = recorded.writes[i];
        EXPECT_EQ(offset % 4096, 0u) << "write " << i << " of " << length << " bytes";
        if (i + 1 < recorded.writes.size()) {
            EXPECT_EQ((offset + length) % 4096, 0u) << "write " << i;
        }
    }
}

TEST(BinaryWriter, ArraysWrittenInPlaceKeepTheirOrderAmongEveryOtherWrite) {
    // Through a file descriptor the large ones wait for one gathering write;
    // more than the pieces kept at once, and writes that must flush them
    // first, come between.
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    std::string expected;
    std::vector<std::string> arrays;
    for (unsigned seed = 0; seed < 300; ++seed) arrays.push_back(pattern(seed % 3 == 0 ? 100 : 65536 + seed * 40, seed));
    {
        BinaryWriter out(file);
        for (std::size_t i = 0; i < arrays.size(); ++i) {
            out.write(static_cast<std::int16_t>(i));
            expected += std::string{static_cast<char>(i & 0xFF), static_cast<char>(i >> 8)};
            out.writeArrayInPlace(arrays[i].data(), arrays[i].size());
            expected += arrays[i];
            if (i % 50 == 7) {
                const std::string copied = pattern(300000, static_cast<unsigned>(i));
                out.writeArray(copied.data(), copied.size());
                expected += copied;
            }
            if (i % 70 == 3) {
                out.writeMade<4>(70000, [](std::size_t first, std::size_t n, unsigned char* to) {
                    for (std::size_t k = first; k < first + n; ++k)
                        for (std::size_t b = 0; b < 4; ++b) *to++ = static_cast<unsigned char>(k + b);
                });
                for (std::size_t k = 0; k < 70000; ++k)
                    for (std::size_t b = 0; b < 4; ++b) expected.push_back(static_cast<char>(k + b));
            }
        }
        EXPECT_TRUE(out.flush());
    }
    std::rewind(file);
    std::string bytes(expected.size() + 1, '\0');
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
    std::fclose(file);
    EXPECT_TRUE(bytes == expected) << bytes.size() << " bytes against " << expected.size();
}

TEST(BinaryWriter, AFailedGatheringWriteIsReportedByFlush) {
    std::FILE* file = std::fopen("/dev/full", "wb");
    if (!file) GTEST_SKIP() << "no /dev/full here";
    {
        BinaryWriter out(file);
        const std::string bytes = pattern(300000, 1);
        out.write(1.0f);
        out.writeArrayInPlace(bytes.data(), bytes.size());
        EXPECT_FALSE(out.flush());
    }
    std::fclose(file);
}

TEST(BinaryWriter, AFailedWriteIsReportedByFlush) {
    std::FILE* file = fopencookie(nullptr, "w", cookie_io_functions_t{nullptr, failWrite, nullptr, nullptr});
    ASSERT_NE(file, nullptr);
    {
        BinaryWriter out(file);
        const std::string bytes = pattern(300000, 1);
        out.writeArray(bytes.data(), bytes.size());  // the whole pages go out at once, and fail
        out.write(1.0f);
        EXPECT_FALSE(out.flush());
    }
    std::fclose(file);
}
#endif
