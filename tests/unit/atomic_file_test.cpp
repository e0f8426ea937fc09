#include "common/atomic_file.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

using namespace meshbridge;
using meshbridge::test::TempDir;

TEST(AtomicFile, WritesTheWholeContent) {
    TempDir dir;
    ASSERT_TRUE(writeFileAtomically(dir.file("a.txt"), FileMode::Binary, [](std::FILE* file) {
        return std::fputs("one\ntwo\n", file) >= 0;
    }));
    EXPECT_EQ(test::readFile(dir.file("a.txt")), "one\ntwo\n");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"a.txt"});
}

TEST(AtomicFile, FailedWriteKeepsTheOldFileAndLeavesNoTemporary) {
    TempDir dir;
    test::writeFile(dir.file("a.txt"), "old content");
    EXPECT_FALSE(writeFileAtomically(dir.file("a.txt"), FileMode::Binary, [](std::FILE* file) {
        std::fputs("half", file);
        return false;
    }));
    EXPECT_EQ(test::readFile(dir.file("a.txt")), "old content");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"a.txt"});
}

TEST(AtomicFile, ExceptionInsideTheWriterIsAFailure) {
    TempDir dir;
    EXPECT_FALSE(writeFileAtomically(dir.file("a.txt"), FileMode::Binary,
                                     [](std::FILE*) -> bool { throw std::bad_alloc(); }));
    EXPECT_TRUE(dir.entries().empty());
}

TEST(AtomicFile, MissingFolderIsAFailure) {
    TempDir dir;
    EXPECT_FALSE(writeFileAtomically(dir.file("no/such/a.txt"), FileMode::Text,
                                     [](std::FILE*) { return true; }));
}

TEST(AtomicFile, ProducerWritesTheTemporaryByName) {
    TempDir dir;
    std::string used;
    ASSERT_TRUE(produceFileAtomically(dir.file("b.gii"), [&](const std::string& temporary) {
        used = temporary;
        test::writeFile(temporary, "<xml/>");
        return true;
    }));
    EXPECT_NE(used, dir.file("b.gii"));
    EXPECT_EQ(std::filesystem::path(used).parent_path(), dir.path());
    EXPECT_EQ(test::readFile(dir.file("b.gii")), "<xml/>");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"b.gii"});
}
