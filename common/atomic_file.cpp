#include "common/atomic_file.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

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

bool forcedNamedTemporary = false;

bool replaceFile(const std::string& from, const std::string& to) {
#ifdef _WIN32
    // Another writer replacing the same target at this moment, or a program
    // that has just opened it (a virus scanner, an indexer), makes the move
    // fail for a short while: it is tried again for up to two seconds.
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
        const DWORD error = GetLastError();
        if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) break;
        Sleep(20);
    }
    return fail(0, "the finished file could not replace the target");
#else
    return std::rename(from.c_str(), to.c_str()) == 0 || fail(errno, "the finished file could not replace the target");
#endif
}

// What stands where the new file goes, looked at before anything is written.
struct Target {
    bool exists = false;    // something the new file replaces; also when that cannot be told
    bool readOnly = false;  // the user may not write it (as opening it for writing would be refused)
#ifndef _WIN32
    bool regular = false;  // a file whose permissions, owner and group the new one keeps
    struct stat info {};
#endif
};

Target inspectTarget(const std::string& path) {
    Target target;
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        target.exists = true;
        target.readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0 && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    } else {
        const DWORD error = GetLastError();
        target.exists = error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
    }
#else
    if (::lstat(path.c_str(), &target.info) == 0) {
        target.exists = true;
        target.regular = S_ISREG(target.info.st_mode);
        target.readOnly = target.regular && ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0 &&
                          (errno == EACCES || errno == EPERM);
    } else {
        target.exists = errno != ENOENT;
    }
#endif
    return target;
}

#ifndef _WIN32
// The finished file takes the replaced file's permission bits (and its owner
// and group where the process may set them: a user may not give files away),
// and reaches the disk before it replaces a file, so that a crash leaves the
// old file or the new one.
bool finishFile(int fd, const Target& target) {
    if (target.regular) {
        if (::fchown(fd, target.info.st_uid, target.info.st_gid) != 0)
            (void)::fchown(fd, static_cast<uid_t>(-1), target.info.st_gid);  // the group alone, if the user is in it
        // The set-user-ID, set-group-ID and sticky bits too, where the system
        // lets this user set them; else the permission bits alone.
        if (::fchmod(fd, target.info.st_mode & 07777) != 0 &&
            (errno != EPERM || ::fchmod(fd, target.info.st_mode & 0777) != 0))
            return fail(errno, "the permissions of the replaced file could not be kept");
    }
    if (target.exists && ::fsync(fd) != 0 && errno != EINVAL)  // EINVAL: a file system without syncing
        return fail(errno, "the written file could not be flushed to the disk");
    return true;
}
#endif

// The same for a temporary file that has a name; a new file needs nothing.
bool finishNamedFile(const std::string& path, const Target& target) {
    if (!target.exists) return true;
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
    const bool finished = finishFile(fd, target);
    ::close(fd);
    return finished;
#endif
}

// What writes the temporary file: given its path and, where it is open
// already, a descriptor open for writing it (else -1).
using Producer = std::function<bool(const std::string& temporary, int descriptor)>;

// Lets `produce` write the temporary file; a failure notes why.
bool runProducer(const Producer& produce, const std::string& temporary, int descriptor) {
    errno = 0;
    try {
        return produce(temporary, descriptor) || fail(errno, "the file could not be written");
    } catch (...) {
        return fail(0, "the file could not be written");
    }
}

// A short name in the target's folder that nothing else uses (".mb-" and
// twelve random hexadecimal digits): it fits whatever the target's name is.
std::string temporaryName(const std::string& path) {
    static thread_local std::mt19937_64 random{std::random_device{}() ^
                                               static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(&path))};
    const std::string name =
        formatText(".mb-%012llx.tmp", static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
    return (std::filesystem::path(path).parent_path() / name).string();
}

// Creates an empty file under a new temporary name, so that no other writer
// takes it; its name, or empty.
std::string reserveTemporaryFile(const std::string& path) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = temporaryName(path);
#ifdef _WIN32
        HANDLE handle = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            CloseHandle(handle);
            return name;
        }
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
#else
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            return name;
        }
        if (errno != EEXIST) {
            fail(errno, "the file could not be created");
            return {};
        }
#endif
    }
    fail(0, "the file could not be created");
    return {};
}

// A temporary file under a name of its own, which becomes the target.
bool produceThroughNamedFile(const std::string& path, const Target& target, const Producer& produce) {
    const std::string temporary = reserveTemporaryFile(path);
    if (temporary.empty()) return false;
    const bool done =
        runProducer(produce, temporary, -1) && finishNamedFile(temporary, target) && replaceFile(temporary, path);
    if (!done) std::remove(temporary.c_str());
    return done;
}

#if defined(__linux__)
// A file without a name in the target's folder, reached through /proc while
// it is written, named and moved into place once it is complete.
enum class Unnamed { Done, Failed, NotPossible };

Unnamed produceThroughUnnamedFile(const std::string& path, const Target& target, const Producer& produce) {
    // The file is named through /proc, which is there or not for the whole
    // life of the process.
    static const bool procMounted = ::access("/proc/self/fd", F_OK) == 0;
    if (!procMounted) return Unnamed::NotPossible;
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (folder.empty()) folder = ".";
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) return Unnamed::NotPossible;
        fail(errno, "the file could not be created");
        return Unnamed::Failed;
    }
    const std::string procPath = "/proc/self/fd/" + std::to_string(fd);
    bool done = runProducer(produce, procPath, fd) && finishFile(fd, target);
    // Where nothing stands, the finished file takes the target's name at
    // once; else (also when something took the name meanwhile) a temporary
    // name first, which then replaces the target.
    bool named = false;
    if (done && !target.exists) {
        named = ::linkat(AT_FDCWD, procPath.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0;
        if (!named && errno != EEXIST) done = fail(errno, "the finished file could not be named");
    }
    std::string staging;
    for (int attempt = 0; done && !named && staging.empty() && attempt < 100; ++attempt) {
        const std::string name = temporaryName(path);
        if (::linkat(AT_FDCWD, procPath.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) staging = name;
        else if (errno != EEXIST) done = fail(errno, "the finished file could not be named");
    }
    if (done && !named && staging.empty()) done = fail(0, "the finished file could not be named");
    if (done && !named && !replaceFile(staging, path)) {
        std::remove(staging.c_str());
        done = false;
    }
    ::close(fd);
    return done ? Unnamed::Done : Unnamed::Failed;
}
#endif

// The file a path names, through any symbolic links (relative ones from
// their own folder): a link is written through, as cp and editors do, and
// stays a link. A path that is no link, or a chain too long, is itself.
std::string throughLinks(const std::string& path) {
#ifdef _WIN32
    return path;
#else
    std::filesystem::path current = path;
    for (int hop = 0; hop < 40; ++hop) {
        std::error_code error;
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(current, error)) || error) break;
        const std::filesystem::path target = std::filesystem::read_symlink(current, error);
        if (error) break;
        current = target.is_absolute() ? target : current.parent_path() / target;
    }
    return current.string();
#endif
}

// The temporary, new and empty, opened for writing: through a copy of its
// descriptor where it has one (opening it again through /proc, and writing
// through what that opened, made the import of an HCP-sized scalar file
// nearly a tenth slower), else by its path. On POSIX systems it is not
// truncated as fopen's "w" would: a truncation to nothing makes ext4 push
// the whole file to the disk when it is closed, which cost more than a tenth
// of writing a surface of 160 000 vertices.
std::FILE* openTemporaryForWriting(const std::string& temporary, [[maybe_unused]] int descriptor, FileMode mode) {
#ifdef _WIN32
    return std::fopen(temporary.c_str(), mode == FileMode::Text ? "w" : "wb");
#else
    (void)mode;  // one kind of file on POSIX systems
    const int fd =
        descriptor >= 0 ? ::fcntl(descriptor, F_DUPFD_CLOEXEC, 0) : ::open(temporary.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    std::FILE* file = ::fdopen(fd, "w");
    if (!file) {
        const int error = errno;
        ::close(fd);
        errno = error;
    }
    return file;
#endif
}

}  // namespace

const std::string& lastWriteFailure() { return failure; }

void forceNamedTemporaryFiles(bool force) { forcedNamedTemporary = force; }

namespace {

bool produceAtomically(const std::string& named, const Producer& produce) {
    failure.clear();
    const std::string path = throughLinks(named);
    const Target target = inspectTarget(path);
    if (target.readOnly) {
        failure = kReadOnlyTarget;
        return false;
    }
#if defined(__linux__)
    if (!forcedNamedTemporary) {
        const Unnamed unnamed = produceThroughUnnamedFile(path, target, produce);
        if (unnamed != Unnamed::NotPossible) return unnamed == Unnamed::Done;
    }
#endif
    return produceThroughNamedFile(path, target, produce);
}

}  // namespace

bool produceFileAtomically(const std::string& named, const std::function<bool(const std::string&)>& produce) {
    return produceAtomically(named, [&](const std::string& temporary, int) { return produce(temporary); });
}

bool writeFileAtomically(const std::string& path, FileMode mode, const std::function<bool(std::FILE*)>& write) {
    return produceAtomically(path, [&](const std::string& temporary, int descriptor) {
        std::FILE* file = openTemporaryForWriting(temporary, descriptor, mode);
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
