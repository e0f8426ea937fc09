#include "common/atomic_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "common/text.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace meshbridge {

namespace {

thread_local std::string failure;

// Notes why the write failed, from errno, unless a reason is known already.
bool fail(int error, const char* fallback) {
    if (failure.empty()) failure = error != 0 ? std::strerror(error) : fallback;
    return false;
}

bool replaceFile(const std::string& from, const std::string& to) {
#ifdef _WIN32
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    return fail(0, "the finished file could not replace the target");
#else
    return std::rename(from.c_str(), to.c_str()) == 0 || fail(errno, "the finished file could not replace the target");
#endif
}

// True when a file (or anything else) stands under `path` that the new file
// would replace; also when that cannot be told.
bool targetExists(const std::string& path) {
#ifdef _WIN32
    if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    const DWORD error = GetLastError();
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
#else
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0 || errno != ENOENT;
#endif
}

// Flushes a finished file's bytes to the disk.
bool syncFile(const std::string& path) {
#ifdef _WIN32
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return fail(0, "the written file could not be reopened");
    const bool synced = FlushFileBuffers(handle) != 0;
    CloseHandle(handle);
    return synced || fail(0, "the written file could not be flushed to the disk");
#else
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return fail(errno, "the written file could not be reopened");
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL;  // EINVAL: a file system without syncing
    const int error = errno;
    ::close(fd);
    return synced || fail(error, "the written file could not be flushed to the disk");
#endif
}

// Lets `produce` write the temporary file; a failure notes why.
bool runProducer(const std::function<bool(const std::string&)>& produce, const std::string& temporary) {
    errno = 0;
    try {
        return produce(temporary) || fail(errno, "the file could not be written");
    } catch (...) {
        return fail(0, "the file could not be written");
    }
}

// A temporary file under the fixed name, stale copies removed first.
bool produceThroughNamedFile(const std::string& path, const std::function<bool(const std::string&)>& produce) {
    const std::string temporary = partialFileName(path);
    std::remove(temporary.c_str());
    const bool replacing = targetExists(path);
    const bool done = runProducer(produce, temporary) && (!replacing || syncFile(temporary)) &&
                      replaceFile(temporary, path);
    if (!done) std::remove(temporary.c_str());
    return done;
}

#if defined(__linux__)
// A file without a name in the target's folder, reached through /proc while
// it is written, named and moved into place once it is complete.
enum class Unnamed { Done, Failed, NotPossible };

Unnamed produceThroughUnnamedFile(const std::string& path, const std::function<bool(const std::string&)>& produce) {
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (folder.empty()) folder = ".";
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) return Unnamed::NotPossible;
        fail(errno, "the file could not be created");
        return Unnamed::Failed;
    }
    const std::string procPath = "/proc/self/fd/" + std::to_string(fd);
    if (::access(procPath.c_str(), F_OK) != 0) {
        ::close(fd);
        return Unnamed::NotPossible;
    }
    const std::string staging = partialFileName(path);
    std::remove(staging.c_str());  // left by a process killed while naming its file
    bool done = runProducer(produce, procPath);
    if (done && targetExists(path) && ::fsync(fd) != 0 && errno != EINVAL)
        done = fail(errno, "the file could not be flushed to the disk");
    if (done) {
        done = ::linkat(AT_FDCWD, procPath.c_str(), AT_FDCWD, staging.c_str(), AT_SYMLINK_FOLLOW) == 0 ||
               fail(errno, "the finished file could not be named");
        if (done && !replaceFile(staging, path)) {
            std::remove(staging.c_str());
            done = false;
        }
    }
    ::close(fd);
    return done ? Unnamed::Done : Unnamed::Failed;
}
#endif

}  // namespace

const std::string& lastWriteFailure() { return failure; }

std::string partialFileName(const std::string& path) { return path + ".partial"; }

bool produceFileAtomically(const std::string& path, const std::function<bool(const std::string&)>& produce) {
    failure.clear();
#if defined(__linux__)
    const Unnamed unnamed = produceThroughUnnamedFile(path, produce);
    if (unnamed != Unnamed::NotPossible) return unnamed == Unnamed::Done;
#endif
    return produceThroughNamedFile(path, produce);
}

bool writeFileAtomically(const std::string& path, FileMode mode, const std::function<bool(std::FILE*)>& write) {
    return produceFileAtomically(path, [&](const std::string& temporary) {
        std::FILE* file = std::fopen(temporary.c_str(), mode == FileMode::Text ? "w" : "wb");
        if (!file) return fail(errno, "the file could not be created");
        bool written = false;
        try {
            written = write(file);
        } catch (...) {
            std::fclose(file);
            throw;
        }
        if (written && (std::fflush(file) != 0 || std::ferror(file))) written = fail(errno, "the file could not be written");
        if (std::fclose(file) != 0 && written) written = fail(errno, "the file could not be written");
        return written;
    });
}

}  // namespace meshbridge
