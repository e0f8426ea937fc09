// Little-endian binary files without padding, read and written value by value
// and array by array. Every count is checked against the bytes the file still
// holds before anything is allocated for it.
#pragma once

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace meshbridge {

namespace detail {

template <class T>
T fromLittleEndian(T value) {
    static_assert(std::is_arithmetic_v<T>);
    if constexpr (std::endian::native == std::endian::big && sizeof(T) > 1) {
        unsigned char bytes[sizeof(T)];
        std::memcpy(bytes, &value, sizeof(T));
        for (std::size_t i = 0; i < sizeof(T) / 2; ++i) std::swap(bytes[i], bytes[sizeof(T) - 1 - i]);
        std::memcpy(&value, bytes, sizeof(T));
    }
    return value;
}

template <class T>
T toLittleEndian(T value) {
    return fromLittleEndian(value);
}

}  // namespace detail

class BinaryReader {
public:
    // Reads `file`, which holds `size` bytes from its current position on.
    BinaryReader(std::FILE* file, std::uint64_t size) : file_(file), size_(size), remaining_(size) {}

    // Bytes not read yet, and the offset of the next one.
    std::uint64_t remaining() const { return remaining_; }
    std::uint64_t offset() const { return size_ - remaining_; }

    // What the first failed read found wrong, such as "the file ends at byte
    // 20, within a value of 4 bytes at byte 18", prefixed by the part of the
    // file being read ("map 2: ..."); empty while nothing failed.
    const std::string& problem() const { return problem_; }
    // Names the part of the file read next, for the problem's text.
    void setSection(std::string section) { section_ = std::move(section); }
    // Notes a problem the caller found in what was read; false.
    bool fail(const std::string& what);

    template <class T>
    bool read(T& value) {
        if (remaining_ < sizeof(T) || !buffered(sizeof(T))) return cutShort(sizeof(T));
        std::memcpy(&value, buffer_.get() + position_, sizeof(T));
        consume(sizeof(T));
        value = detail::fromLittleEndian(value);
        return true;
    }

    // `count` values into `values`, replacing what it held; refused before
    // allocating when the file cannot hold them.
    template <class T, class Allocator>
    bool readArray(std::vector<T, Allocator>& values, std::uint64_t count) {
        values.clear();
        return appendArray(values, count);
    }

    // `count` values appended to `values`.
    template <class T, class Allocator>
    bool appendArray(std::vector<T, Allocator>& values, std::uint64_t count) {
        if (count > remaining_ / sizeof(T)) return tooFewBytes(count, sizeof(T));
        const std::size_t start = values.size();
        values.resize(start + static_cast<std::size_t>(count));
        return readValues(values.data() + start, static_cast<std::size_t>(count));
    }

    // `count` values into memory the caller has (reused blocks need no clearing first).
    template <class T>
    bool readValues(T* values, std::size_t count) {
        if (count > remaining_ / sizeof(T)) return tooFewBytes(count, sizeof(T));
        if (!readBytes(values, count * sizeof(T))) return fail("the file could not be read");
        if constexpr (std::endian::native == std::endian::big) {
            for (std::size_t i = 0; i < count; ++i) values[i] = detail::fromLittleEndian(values[i]);
        }
        return true;
    }

    // Passes over `size` bytes.
    bool skip(std::uint64_t size);

    // Passes over `lists` lists of 4-byte values, each stored as its count
    // and its values; false at a list whose count is negative (its index in
    // `negativeAt`, the count in `negativeCount`; else `negativeAt` is
    // UINT64_MAX) or one the file does not hold.
    bool skipCountedLists(std::uint64_t lists, std::uint64_t& negativeAt, std::int32_t& negativeCount);

    // A text stored as its bytes and one zero byte, of at most `maxLength` bytes.
    bool readZeroTerminated(std::string& text, std::size_t maxLength = 65536);

private:
    bool cutShort(std::size_t valueSize);
    bool tooFewBytes(std::uint64_t count, std::size_t valueSize);
    bool buffered(std::size_t size);  // at least `size` bytes in the buffer
    void consume(std::size_t size) {
        position_ += size;
        remaining_ -= size;
    }
    bool readBytes(void* destination, std::size_t size);

    std::FILE* file_;
    std::uint64_t size_;
    std::uint64_t remaining_;
    std::string section_;
    std::string problem_;
    std::unique_ptr<unsigned char[]> buffer_;  // made at the first read, not cleared
    std::size_t capacity_ = 0;
    std::size_t position_ = 0;  // next unread byte of the buffer
    std::size_t end_ = 0;       // end of the buffered bytes
    std::size_t nextRead_ = kFirstRead;  // bytes the next filling of the buffer asks for
    static constexpr std::size_t kFirstRead = 16 << 10;
};

// Collects little-endian values and writes them to a file in large blocks.
class BinaryWriter {
public:
    // Takes a file that nothing was written to yet: the writer keeps its own
    // buffer, so the file's is turned off, and each block is one write (not
    // the rest of the file's small buffer, then the block's).
    explicit BinaryWriter(std::FILE* file);
    ~BinaryWriter() { flush(); }
    BinaryWriter(const BinaryWriter&) = delete;
    BinaryWriter& operator=(const BinaryWriter&) = delete;

    template <class T>
    void write(T value) {
        value = detail::toLittleEndian(value);
        append(&value, sizeof(T));
    }

    template <class T>
    void writeArray(const T* values, std::size_t count) {
        if constexpr (std::endian::native == std::endian::little) {
            append(values, count * sizeof(T));
        } else {
            for (std::size_t i = 0; i < count; ++i) write(values[i]);
        }
    }

    void writeZeroTerminated(const std::string& text) {
        append(text.c_str(), text.size() + 1);
    }

    // `count` items of `kItem` bytes each, which `make(first, n, to)` makes
    // (items first to first + n - 1, as bytes from `to` on) straight into
    // the buffer; the one across the buffer's end is made apart and copied.
    template <std::size_t kItem, class Make>
    void writeMade(std::size_t count, const Make& make) {
        static_assert(kItem > 0 && kItem <= 64);
        for (std::size_t i = 0; !failed_ && i < count;) {
            const std::size_t fit = std::min((kBufferSize - used_) / kItem, count - i);
            if (fit == 0) {
                unsigned char item[kItem];
                make(i, std::size_t{1}, item);
                buffer(item, kItem);
                ++i;
                continue;
            }
            make(i, fit, buffer_.get() + used_);
            used_ += fit * kItem;
            i += fit;
            if (used_ == kBufferSize) flush();
        }
    }

    // `count` values written from where they are, with the bytes around them,
    // by one gathering write at the next flush() (on Windows, and to streams
    // without a file descriptor, at once, as writeArray): the values must stay
    // as they are until then. Each write of a file system's own makes its
    // pages in chunks of the write's size, so a file written in one write of
    // megabytes is made faster than in writes of a map each.
    template <class T>
    void writeArrayInPlace(const T* values, std::size_t count) {
        if constexpr (std::endian::native == std::endian::little) {
            keep(values, count * sizeof(T));
        } else {
            writeArray(values, count);
        }
    }

    // Whether every write so far went through (flush() says it for the rest).
    bool ok() const { return !failed_; }

    // Writes what is buffered; false once any write has failed.
    bool flush();

private:
    // Small values gather in the buffer; large arrays (a map, a column of
    // coordinates) go to the file from where they are, all but their first
    // and last bytes. Every write starts at a page boundary of the file and
    // all but the last end at one: a file system takes whole pages a third
    // faster than writes across pages (ext4 with large folios).
    static constexpr std::size_t kBufferSize = 256 << 10;
    static constexpr std::size_t kDirectSize = 64 << 10;
    static constexpr std::size_t kPage = 4096;

    void append(const void* bytes, std::size_t size) {
        if (size == 0) return;  // an empty array may have no data pointer
        if (size < kDirectSize && size <= kBufferSize - used_) {
            std::memcpy(buffer_.get() + used_, bytes, size);
            used_ += size;
        } else {
            appendLarge(bytes, size);
        }
    }
    void appendLarge(const void* bytes, std::size_t size);
    void keep(const void* bytes, std::size_t size);
    // Writes the kept pieces and the buffer after them in one gathering write.
    void writeKept();
    // `size` bytes into the buffer, written whenever it is full.
    void buffer(const unsigned char* bytes, std::size_t size);

    std::FILE* file_;
    std::unique_ptr<unsigned char[]> buffer_ = std::make_unique_for_overwrite<unsigned char[]>(kBufferSize);
    std::size_t used_ = 0;
    std::uint64_t written_ = 0;  // bytes handed to the file
    bool failed_ = false;
    // What writeArrayInPlace keeps for the next flush, in the file's order:
    // its arrays and the parts of the buffer between them (the buffer's
    // bytes from `keptFrom_` on come after the last piece).
    struct Piece {
        const unsigned char* data;
        std::size_t size;
    };
    std::vector<Piece> kept_;
    std::size_t keptFrom_ = 0;
    bool gathers_ = false;  // whether the file takes gathering writes
};

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Opens `path` in `mode`. To be read ("r..."), it must be a regular file:
// a folder or a FIFO named like a file of ours is refused without blocking
// (errno EISDIR for a folder, ENXIO for anything else that is no regular
// file), as a reader would otherwise wait for a FIFO's writer or take a
// folder's size for its own.
FilePtr openFile(const std::string& path, const char* mode);

// Why `path` cannot be opened for reading, after openFile failed: "it is a
// folder", "it is not a regular file" or the system's reason ("No such file
// or directory").
std::string whyNotOpened(const std::string& path);

// Moves to byte `offset` from the start of the file.
bool seekFile(std::FILE* file, std::int64_t offset);
// Moves `bytes` ahead of the current position.
bool seekForward(std::FILE* file, std::int64_t bytes);

// `bytes` bytes from `offset` on into `data`, without a seek of their own
// where the system reads at an offset (the stream's position is then left
// as it was); false when the file ends first or cannot be read.
bool readBytesAt(std::FILE* file, std::int64_t offset, void* data, std::size_t bytes);

// Size of an open file from its current position to its end, or -1.
std::int64_t bytesLeftInFile(std::FILE* file);

// Why `path` is no file of the kind a reader expects (`kind`, such as "an SRF
// file"), told before it is read: "x.srf is a folder, not an SRF file", or its
// first bytes are XML text (as GIFTI files hold) or gzip-compressed data.
// Empty when nothing tells.
std::string notAFileOfKind(const std::string& path, const char* kind);
// The same, with the first bytes read from `file`, open at the start of
// `path` (where it is left), when it is not null: the file is not opened
// again.
std::string notAFileOfKind(const std::string& path, const char* kind, std::FILE* file);

}  // namespace meshbridge
