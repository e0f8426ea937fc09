#include "common/binary_io.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>
#endif

#include "common/text.h"

namespace meshbridge {

namespace {
constexpr std::size_t kBlockSize = 64 << 10;
}

bool BinaryReader::fail(const std::string& what) {
    if (problem_.empty()) problem_ = section_.empty() ? what : section_ + ": " + what;
    return false;
}

bool BinaryReader::cutShort(std::size_t valueSize) {
    return fail(formatText("the file ends at byte %llu, within a value of %zu bytes at byte %llu",
                           static_cast<unsigned long long>(size_), valueSize,
                           static_cast<unsigned long long>(offset())));
}

bool BinaryReader::tooFewBytes(std::uint64_t count, std::size_t valueSize) {
    return fail(formatText("%llu values of %zu bytes from byte %llu on do not fit in the %llu bytes left",
                           static_cast<unsigned long long>(count), valueSize,
                           static_cast<unsigned long long>(offset()), static_cast<unsigned long long>(remaining_)));
}

bool BinaryReader::buffered(std::size_t size) {
    if (end_ - position_ >= size) return true;
    if (!buffer_) {  // a block, or less for a small file: no more than the bytes left
        capacity_ = static_cast<std::size_t>(std::min<std::uint64_t>(kBlockSize, std::max<std::uint64_t>(size, remaining_)));
        buffer_ = std::make_unique_for_overwrite<unsigned char[]>(capacity_);
    }
    std::memmove(buffer_.get(), buffer_.get() + position_, end_ - position_);
    end_ -= position_;
    position_ = 0;
    // The first filling, and the first after a seek, asks for little, and each
    // after it for twice as much, up to the block: a header, or the few values
    // between two far skips, do not cost a whole block's read.
    while (end_ < size) {
        const std::size_t wanted = std::min(capacity_ - end_, std::max(size - end_, nextRead_));
        const std::size_t got = std::fread(buffer_.get() + end_, 1, wanted, file_);
        if (got == 0) return false;
        end_ += got;
    }
    nextRead_ = std::min(2 * nextRead_, kBlockSize);
    return true;
}

bool BinaryReader::readBytes(void* destination, std::size_t size) {
    if (size == 0) return true;
    auto* out = static_cast<unsigned char*>(destination);
    const std::size_t fromBuffer = std::min(size, end_ - position_);
    if (fromBuffer > 0) std::memcpy(out, buffer_.get() + position_, fromBuffer);
    consume(fromBuffer);
    const std::size_t rest = size - fromBuffer;
    if (rest == 0) return true;
    if (rest < kBlockSize / 4) {  // small: through the buffer
        if (!buffered(rest)) return false;
        std::memcpy(out + fromBuffer, buffer_.get() + position_, rest);
        consume(rest);
        return true;
    }
    if (std::fread(out + fromBuffer, 1, rest, file_) != rest) return false;
    remaining_ -= rest;
    return true;
}

bool BinaryReader::skip(std::uint64_t size) {
    if (size > remaining_) return tooFewBytes(size, 1);
    const std::uint64_t fromBuffer = std::min<std::uint64_t>(size, end_ - position_);
    consume(static_cast<std::size_t>(fromBuffer));
    std::uint64_t rest = size - fromBuffer;
    // Far: past it by seeking, not by reading (the buffer is empty now).
    if (rest >= kBlockSize / 16 && rest <= static_cast<std::uint64_t>(INT64_MAX) &&
        seekForward(file_, static_cast<std::int64_t>(rest))) {
        remaining_ -= rest;
        nextRead_ = kFirstRead;
        return true;
    }
    while (rest > 0) {
        if (!buffered(1)) return fail("the file could not be read");
        const std::size_t step = static_cast<std::size_t>(std::min<std::uint64_t>(rest, end_ - position_));
        consume(step);
        rest -= step;
    }
    return true;
}

bool BinaryReader::skipCountedLists(std::uint64_t lists, std::uint64_t& negativeAt, std::int32_t& negativeCount) {
    negativeAt = UINT64_MAX;
    for (std::uint64_t list = 0; list < lists; ++list) {
        // The lists within the buffer, in one pass over it.
        while (list < lists && end_ - position_ >= 4) {
            std::int32_t count = 0;
            std::memcpy(&count, buffer_.get() + position_, 4);
            count = detail::fromLittleEndian(count);
            if (count < 0) {
                negativeAt = list;
                negativeCount = count;
                return false;
            }
            const std::size_t size = 4 + 4 * static_cast<std::size_t>(count);
            if (end_ - position_ < size) break;
            consume(size);
            ++list;
        }
        if (list == lists) break;
        std::int32_t count = 0;
        if (!read(count)) return false;
        if (count < 0) {
            negativeAt = list;
            negativeCount = count;
            return false;
        }
        if (!skip(4 * static_cast<std::uint64_t>(count))) return false;
    }
    return true;
}

bool BinaryReader::readZeroTerminated(std::string& text, std::size_t maxLength) {
    text.clear();
    const std::uint64_t start = offset();
    while (remaining_ > 0) {
        if (!buffered(1)) return fail("the file could not be read");
        const unsigned char* begin = buffer_.get() + position_;
        const auto* zero = static_cast<const unsigned char*>(std::memchr(begin, 0, end_ - position_));
        const std::size_t length = zero ? static_cast<std::size_t>(zero - begin) : end_ - position_;
        if (text.size() + length > maxLength)
            return fail(formatText("the text at byte %llu is longer than %zu bytes",
                                   static_cast<unsigned long long>(start), maxLength));
        text.append(reinterpret_cast<const char*>(begin), length);
        consume(length);
        if (zero) {
            consume(1);
            return true;
        }
    }
    return fail(formatText("the text at byte %llu has no terminating zero byte before the file ends",
                           static_cast<unsigned long long>(start)));
}

BinaryWriter::BinaryWriter(std::FILE* file) : file_(file) {
    std::setvbuf(file, nullptr, _IONBF, 0);
#ifndef _WIN32
    gathers_ = ::fileno(file) >= 0;
#endif
}

void BinaryWriter::buffer(const unsigned char* bytes, std::size_t size) {
    while (size > 0) {
        const std::size_t now = std::min(size, kBufferSize - used_);
        std::memcpy(buffer_.get() + used_, bytes, now);
        used_ += now;
        bytes += now;
        size -= now;
        if (used_ == kBufferSize) flush();
    }
}

void BinaryWriter::appendLarge(const void* bytes, std::size_t size) {
    const auto* from = static_cast<const unsigned char*>(bytes);
    if (size < kDirectSize) {  // small, but more than the buffer has room for
        buffer(from, size);
        return;
    }
    if (!kept_.empty()) flush();
    // Up to the file's next page boundary through the buffer, which is then
    // written; the whole pages after it straight from the array; the rest
    // into the buffer.
    const std::size_t intoPage = static_cast<std::size_t>((written_ + used_) % kPage);
    const std::size_t head = intoPage == 0 ? 0 : kPage - intoPage;
    buffer(from, head);
    flush();
    const std::size_t whole = (size - head) / kPage * kPage;
    if (whole > 0 && !failed_ && std::fwrite(from + head, 1, whole, file_) != whole) failed_ = true;
    written_ += whole;
    buffer(from + head + whole, size - head - whole);
}

void BinaryWriter::keep(const void* bytes, std::size_t size) {
    if (!gathers_ || size < kDirectSize) {
        append(bytes, size);
        return;
    }
    constexpr std::size_t kMostKept = 256;
    if (used_ > keptFrom_) kept_.push_back({buffer_.get() + keptFrom_, used_ - keptFrom_});
    keptFrom_ = used_;
    kept_.push_back({static_cast<const unsigned char*>(bytes), size});
    if (kept_.size() >= kMostKept) flush();
}

void BinaryWriter::writeKept() {
    if (used_ > keptFrom_) kept_.push_back({buffer_.get() + keptFrom_, used_ - keptFrom_});
#ifndef _WIN32
    constexpr int kPiecesAtOnce = 64;
    const int descriptor = ::fileno(file_);
    std::size_t next = 0, into = 0;  // the first piece not written whole, and its bytes written
    while (!failed_ && next < kept_.size()) {
        iovec pieces[kPiecesAtOnce];
        int count = 0;
        for (std::size_t i = next; i < kept_.size() && count < kPiecesAtOnce; ++i, ++count) {
            const std::size_t skip = i == next ? into : 0;
            pieces[count].iov_base = const_cast<unsigned char*>(kept_[i].data + skip);
            pieces[count].iov_len = kept_[i].size - skip;
        }
        const ssize_t done = ::writev(descriptor, pieces, count);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) {
            failed_ = true;
            break;
        }
        written_ += static_cast<std::uint64_t>(done);
        for (auto left = static_cast<std::size_t>(done); left > 0;) {
            const std::size_t rest = kept_[next].size - into;
            if (left < rest) {
                into += left;
                break;
            }
            left -= rest;
            ++next;
            into = 0;
        }
    }
#endif
    kept_.clear();
    keptFrom_ = 0;
    used_ = 0;
}

bool BinaryWriter::flush() {
    if (!kept_.empty()) {
        writeKept();
    } else if (used_ > 0) {
        if (!failed_ && std::fwrite(buffer_.get(), 1, used_, file_) != used_) failed_ = true;
        written_ += used_;
        used_ = 0;
    }
    // The file's error flag too: not every kind of stream says in fwrite's count.
    if (std::ferror(file_)) failed_ = true;
    return !failed_;
}

namespace {

bool seek(std::FILE* file, std::int64_t offset, int origin) {
#ifdef _WIN32
    return _fseeki64(file, offset, origin) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), origin) == 0;
#endif
}

}  // namespace

bool seekForward(std::FILE* file, std::int64_t bytes) { return seek(file, bytes, SEEK_CUR); }

bool seekFile(std::FILE* file, std::int64_t offset) { return seek(file, offset, SEEK_SET); }

bool readBytesAt(std::FILE* file, std::int64_t offset, void* data, std::size_t bytes) {
#ifndef _WIN32
    if (const int descriptor = ::fileno(file); descriptor >= 0) {
        auto* to = static_cast<unsigned char*>(data);
        while (bytes > 0) {
            const ssize_t got = ::pread(descriptor, to, std::min<std::size_t>(bytes, std::size_t{1} << 30),
                                        static_cast<off_t>(offset));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return false;
            to += got;
            offset += got;
            bytes -= static_cast<std::size_t>(got);
        }
        return true;
    }
#endif
    return seekFile(file, offset) && std::fread(data, 1, bytes, file) == bytes;
}

std::int64_t bytesLeftInFile(std::FILE* file) {
#ifdef _WIN32
    const std::int64_t start = _ftelli64(file);
    if (start < 0 || _fseeki64(file, 0, SEEK_END) != 0) return -1;
    const std::int64_t end = _ftelli64(file);
    if (_fseeki64(file, start, SEEK_SET) != 0) return -1;
#else
    const off_t start = ftello(file);
    if (start < 0 || fseeko(file, 0, SEEK_END) != 0) return -1;
    const off_t end = ftello(file);
    if (fseeko(file, start, SEEK_SET) != 0) return -1;
#endif
    return end < start ? -1 : static_cast<std::int64_t>(end - start);
}

FilePtr openFile(const std::string& path, const char* mode) {
    if (mode[0] != 'r') return FilePtr(std::fopen(path.c_str(), mode));
#ifdef _WIN32
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        errno = EISDIR;
        return nullptr;
    }
    return FilePtr(std::fopen(path.c_str(), mode));
#else
    // Opened without waiting (a FIFO without a writer would block), checked, then read as usual.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        const int why = S_ISDIR(status.st_mode) ? EISDIR : ENXIO;
        ::close(fd);
        errno = why;
        return nullptr;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, mode);
    if (!file) ::close(fd);
    return FilePtr(file);
#endif
}

std::string whyNotOpened(const std::string& path) {
    if (FilePtr file = openFile(path, "rb")) return "it cannot be read";
    // openFile tells a folder and anything but a regular file apart.
    return errno == EISDIR ? "it is a folder" : errno == ENXIO ? "it is not a regular file" : std::strerror(errno);
}

std::string notAFileOfKind(const std::string& path, const char* kind) {
    const FilePtr file = openFile(path, "rb");  // none for folders and other files that are not regular
    return notAFileOfKind(path, kind, file.get());
}

std::string notAFileOfKind(const std::string& path, const char* kind, std::FILE* file) {
#ifdef _WIN32
    const bool lookAtPath = true;
#else
    const bool lookAtPath = !file;  // openFile opens regular files only
#endif
    if (lookAtPath) {
        std::error_code error;
        const auto status = std::filesystem::status(path, error);
        if (!error && std::filesystem::is_directory(status))
            return formatText("%s is a folder, not %s.", path.c_str(), kind);
        if (!error && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status))
            return formatText("%s is not a regular file, so not %s.", path.c_str(), kind);
    }
    if (!file) return {};
    unsigned char start[64] = {};
    const std::size_t got = std::fread(start, 1, sizeof start, file);
    std::clearerr(file);
    if (!seekFile(file, 0)) return {};
    if (got >= 2 && start[0] == 0x1f && start[1] == 0x8b)
        return formatText("%s is not %s: it holds gzip-compressed data.", path.c_str(), kind);
    std::size_t at = got >= 3 && start[0] == 0xEF && start[1] == 0xBB && start[2] == 0xBF ? 3 : 0;  // a UTF-8 mark
    while (at < got && (start[at] == ' ' || start[at] == '\t' || start[at] == '\r' || start[at] == '\n')) ++at;
    const std::string text(reinterpret_cast<const char*>(start) + at, got - at);
    if (text.rfind("<?xml", 0) == 0 || text.rfind("<GIFTI", 0) == 0 || text.rfind("<!--", 0) == 0)
        return formatText("%s is not %s: it holds XML text, as GIFTI files do.", path.c_str(), kind);
    return {};
}

}  // namespace meshbridge
