// The binary writer: every byte in order whatever the mix of small values and
// large arrays, written in writes that start at page boundaries of the file.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "common/binary_io.h"

using namespace meshbridge;

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
