#include "common/atomic_file.h"

#include <gtest/gtest.h>

#include "tests/support/host_test.h"
#include "tests/support/file_size_limit.h"

#ifdef __linux__
#include <dlfcn.h>

#include <cerrno>
#endif

using namespace meshbridge;

#ifdef __linux__
namespace {
int fsyncCalls = 0;
int fsyncError = 0;  // the error every fsync fails with, while not 0
}  // namespace

// Stands in for the C library's fsync in this program: counts the calls and
// fails them on request (a disk that reports an error only when it is flushed).
extern "C" int fsync(int fd) {
    ++fsyncCalls;
    if (fsyncError != 0) {
        errno = fsyncError;
        return -1;
    }
    static const auto real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fsync"));
    return real(fd);
}
#endif

class AtomicFile : public test::HostTest {};

TEST_F(AtomicFile, FailedWriteKeepsTheOldFileAndTheTemporaryHasNoNameInTheFolder) {
    test::writeFile(dir.file("a.txt"), "old content");
    EXPECT_FALSE(writeFileAtomically(dir.file("a.txt"), FileMode::Binary, [](std::FILE* file) {
        std::fputs("half", file);
        return false;
    }));
    EXPECT_FALSE(writeFileAtomically(dir.file("a.txt"), FileMode::Binary,
                                     [](std::FILE*) -> bool { throw std::bad_alloc(); }));
    EXPECT_FALSE(writeFileAtomically(dir.file("no/such/a.txt"), FileMode::Text, [](std::FILE*) { return true; }));
    EXPECT_EQ(test::readFile(dir.file("a.txt")), "old content");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"a.txt"});

    test::writeFile(dir.file("b.gii.partial"), "left by a killed process");
    std::string used;
    std::vector<std::string> whileWriting;
    ASSERT_TRUE(produceFileAtomically(dir.file("b.gii"), [&](const std::string& temporary) {
        used = temporary;
        test::writeFile(temporary, "<xml/>");
        whileWriting = dir.entries();
        return true;
    }));
    EXPECT_NE(used, dir.file("b.gii"));
    // Killed now, the process would leave nothing behind; a stale temporary
    // file of the same target is gone.
    EXPECT_EQ(whileWriting, std::vector<std::string>{"a.txt"});
    EXPECT_EQ(test::readFile(dir.file("b.gii")), "<xml/>");
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"a.txt", "b.gii"}));
}

TEST_F(AtomicFile, WriteThatFailsPartWayKeepsTheOldFileAndSaysWhy) {
    test::writeFile(dir.file("a.bin"), "old content");
    const std::string big(100000, 'x');
    {
        test::FileSizeLimit limit(1000);
        EXPECT_FALSE(writeFileAtomically(dir.file("a.bin"), FileMode::Binary, [&](std::FILE* file) {
            return std::fwrite(big.data(), 1, big.size(), file) == big.size();
        }));
        EXPECT_EQ(lastWriteFailure(), "File too large");
        // Bytes that sit in the stream's buffer until it is flushed: the writer
        // reports success, the flush does not.
        EXPECT_FALSE(writeFileAtomically(dir.file("a.bin"), FileMode::Binary, [&](std::FILE* file) {
            return std::fwrite(big.data(), 1, 3000, file) == 3000;
        }));
        // Through a library that writes by name and only later finds out.
        EXPECT_FALSE(produceFileAtomically(dir.file("a.bin"), [&](const std::string& temporary) {
            std::FILE* file = std::fopen(temporary.c_str(), "wb");
            std::fwrite(big.data(), 1, big.size(), file);
            return std::fclose(file) == 0 && false;
        }));
    }
    EXPECT_EQ(test::readFile(dir.file("a.bin")), "old content");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"a.bin"});
}

#ifdef __linux__
TEST_F(AtomicFile, OnlyAFileThatReplacesAnotherIsFlushedToTheDiskAndAFailedFlushKeepsTheOld) {
    const auto write = [&](const char* content) {
        return writeFileAtomically(dir.file("n.txt"), FileMode::Text, [&](std::FILE* file) {
            return std::fputs(content, file) >= 0;
        });
    };
    fsyncCalls = 0;
    ASSERT_TRUE(write("first"));
    EXPECT_EQ(fsyncCalls, 0);  // nothing stood there to lose
    ASSERT_TRUE(write("second"));
    EXPECT_EQ(fsyncCalls, 1);
    fsyncError = EIO;
    EXPECT_FALSE(write("third"));
    fsyncError = 0;
    EXPECT_EQ(lastWriteFailure(), "Input/output error");
    EXPECT_EQ(test::readFile(dir.file("n.txt")), "second");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"n.txt"});
}
#endif
