#include "common/atomic_file.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "tests/support/host_test.h"

#ifdef __linux__
#include <dlfcn.h>

#include <cerrno>
#endif
#ifndef _WIN32
#include "tests/support/file_size_limit.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
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

// Both ways of writing a temporary file: without a name (Linux, O_TMPFILE)
// and with one of its own (Windows, other file systems). Elsewhere than on
// Linux both are the named way.
class AtomicFileBothWays : public test::HostTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override { forceNamedTemporaryFiles(GetParam()); }
    void TearDown() override { forceNamedTemporaryFiles(false); }

    bool write(const std::string& name, const std::string& content) {
        return writeFileAtomically(dir.file(name), FileMode::Binary, [&](std::FILE* file) {
            return std::fputs(content.c_str(), file) >= 0;
        });
    }
};

INSTANTIATE_TEST_SUITE_P(Temporaries, AtomicFileBothWays, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "named" : "unnamed"; });

TEST_P(AtomicFileBothWays, FailedWritesKeepTheOldFileAndNoTemporaryIsLeftOrTakenOver) {
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

    // A file of the user's under the name an earlier version used is left alone.
    test::writeFile(dir.file("b.gii.partial"), "the user's");
    std::string used;
    std::vector<std::string> whileWriting;
    ASSERT_TRUE(produceFileAtomically(dir.file("b.gii"), [&](const std::string& temporary) {
        used = temporary;
        test::writeFile(temporary, "<xml/>");
        whileWriting = dir.entries();
        return true;
    }));
    EXPECT_NE(used, dir.file("b.gii"));
    // Killed now, the process would leave nothing behind on Linux.
#ifdef __linux__
    const bool named = GetParam();
#else
    const bool named = true;
#endif
    ASSERT_EQ(whileWriting.size(), named ? 3u : 2u);
    if (named) {
        EXPECT_EQ(whileWriting[0].rfind(".mb-", 0), 0u);
    }
    EXPECT_EQ(test::readFile(dir.file("b.gii")), "<xml/>");
    EXPECT_EQ(test::readFile(dir.file("b.gii.partial")), "the user's");
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"a.txt", "b.gii", "b.gii.partial"}));
}

TEST_P(AtomicFileBothWays, AnyLegalNameAndWritersOfOneTargetAtOnce) {
    const std::string longName = std::string(246, 'n') + ".srf";  // 250 bytes
    ASSERT_TRUE(write(longName, "long"));
    EXPECT_EQ(test::readFile(dir.file(longName)), "long");

    std::vector<std::thread> writers;
    std::atomic<int> failed{0};
    for (int w = 0; w < 8; ++w) {
        writers.emplace_back([&, w] {
            for (int round = 0; round < 10; ++round)
                if (!write("same.gii", std::string(4096, static_cast<char>('a' + w)))) ++failed;
        });
    }
    for (std::thread& writer : writers) writer.join();
    EXPECT_EQ(failed, 0);
    const std::string last = test::readFile(dir.file("same.gii"));
    EXPECT_EQ(last, std::string(4096, last.at(0)));  // one writer's whole file
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{longName, "same.gii"}));
}

TEST_P(AtomicFileBothWays, ANameTakenWhileTheNewFileIsWrittenIsReplacedByIt) {
    // Nothing stands at the target when the writing starts (a new file takes
    // the name at once); a file that takes the name meanwhile is replaced,
    // as an old one would be.
    const bool written = writeFileAtomically(dir.file("taken.smp"), FileMode::Binary, [&](std::FILE* file) {
        test::writeFile(dir.file("taken.smp"), "other writer");
        return std::fputs("ours", file) >= 0;
    });
    EXPECT_TRUE(written);
    EXPECT_EQ(test::readFile(dir.file("taken.smp")), "ours");
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"taken.smp"}));
}

#ifndef _WIN32
TEST_P(AtomicFileBothWays, AReplacementKeepsThePermissionsAndAReadOnlyFileIsNotReplaced) {
    ASSERT_TRUE(write("private.srf", "old"));
    ASSERT_EQ(::chmod(dir.file("private.srf").c_str(), 0600), 0);
    ASSERT_TRUE(write("private.srf", "new"));
    struct stat info {};
    ASSERT_EQ(::stat(dir.file("private.srf").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    const mode_t mask = ::umask(022);
    ::umask(mask);
    ASSERT_TRUE(write("fresh.srf", "new"));
    ASSERT_EQ(::stat(dir.file("fresh.srf").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0666u & ~mask);

    // A 444 file, written by a user who is not its owner's superuser: refused.
    ASSERT_TRUE(write("q.srf", "protected"));
    ASSERT_EQ(::chmod(dir.file("q.srf").c_str(), 0444), 0);
    ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
    const auto refusedAsUser = [&] {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return 2;
        const bool written = write("q.srf", "replaced");
        return !written && lastWriteFailure() == kReadOnlyTarget ? 0 : 1;
    };
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) ::_exit(refusedAsUser());
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(test::readFile(dir.file("q.srf")), "protected");
    ASSERT_EQ(::stat(dir.file("q.srf").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0444u);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"fresh.srf", "private.srf", "q.srf"}));

    // The set-group-ID and sticky bits are kept as well.
    ASSERT_EQ(::chmod(dir.file("private.srf").c_str(), 03640), 0);
    ASSERT_TRUE(write("private.srf", "newer"));
    ASSERT_EQ(::stat(dir.file("private.srf").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 03640u);
}

TEST_P(AtomicFileBothWays, ALinkIsWrittenThroughAndStaysALink) {
    std::filesystem::create_directories(dir.file("store"));
    std::filesystem::create_directories(dir.file("work"));
    ASSERT_TRUE(write("store/lh.srf", "old"));
    ASSERT_EQ(::chmod(dir.file("store/lh.srf").c_str(), 0640), 0);
    std::filesystem::create_symlink("../store/lh.srf", dir.file("work/lh.srf"));
    std::filesystem::create_symlink("lh.srf", dir.file("work/again.srf"));  // a link to a link
    ASSERT_TRUE(write("work/again.srf", "new"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("work/lh.srf")));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("work/again.srf")));
    EXPECT_EQ(test::readFile(dir.file("store/lh.srf")), "new");
    struct stat info {};
    ASSERT_EQ(::stat(dir.file("store/lh.srf").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);  // the file's, never the link's 0777
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"store", "work"}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.file("store")), {}), 1);
    // A link whose file is missing makes it, as cp does.
    std::filesystem::create_symlink("../store/rh.srf", dir.file("work/rh.srf"));
    ASSERT_TRUE(write("work/rh.srf", "made"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("work/rh.srf")));
    EXPECT_EQ(test::readFile(dir.file("store/rh.srf")), "made");
}
#endif

#ifndef _WIN32  // file-size limits
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
#endif

#ifdef __linux__
TEST_P(AtomicFileBothWays, OnlyAFileThatReplacesAnotherIsFlushedToTheDiskAndAFailedFlushKeepsTheOld) {
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

#ifdef __linux__
TEST_P(AtomicFileBothWays, WithoutADescriptorLeftTheOldFileStaysAndNoneIsLeftOpen) {
    // Room for one more open file, then for none: a file without a name
    // needs two descriptors while it is written (its own and the stream's),
    // a named one a single one at a time.
    test::writeFile(dir.file("a.smp"), "old content");
    const int lowestFree = ::dup(0);
    ASSERT_GE(lowestFree, 0);
    ::close(lowestFree);
    rlimit previous{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &previous), 0);
    // Under the limit only the write itself runs: the sanitizers' checks of
    // member calls need descriptors of their own.
    const std::string target = dir.file("a.smp");
    for (const int room : GetParam() ? std::vector<int>{0} : std::vector<int>{1, 0}) {
        rlimit limit = previous;
        limit.rlim_cur = static_cast<rlim_t>(lowestFree + room);
        ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &limit), 0);
        const bool written = writeFileAtomically(target, FileMode::Binary, [](std::FILE* file) {
            return std::fputs("new content", file) >= 0;
        });
        const std::string failure = lastWriteFailure();
        setrlimit(RLIMIT_NOFILE, &previous);
        EXPECT_FALSE(written) << room;
        EXPECT_EQ(failure, "Too many open files") << room;
        const int next = ::dup(0);
        EXPECT_EQ(next, lowestFree) << room;  // nothing the failed write opened is still open
        ::close(next);
    }
    EXPECT_EQ(test::readFile(dir.file("a.smp")), "old content");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"a.smp"});
}
#endif
