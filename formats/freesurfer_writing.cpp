#include "formats/freesurfer_writing.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <ctime>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <type_traits>
#include <memory>

#include "common/atomic_file.h"
#include "common/binary_io.h"
#include "common/byte_order.h"
#include "common/plugin_info.h"
#include "common/text.h"

namespace meshbridge {

namespace {

constexpr unsigned char kTriangleMagic[3] = {0xFF, 0xFF, 0xFE};
constexpr std::size_t kMghHeaderSize = 284;
constexpr std::size_t kMghTrailerSize = 5 * 4;  // TR, flip angle, TE, TI, field of view
constexpr std::int32_t kMghFloat = 3;
constexpr std::int32_t kCommandLineTag = 3;     // FreeSurfer's tag of a command that made the file
constexpr std::size_t kMostMarkBytes = 4096;    // a mark, or a tag that may hold one, is no longer

// The big-endian form of a 32-bit value's bits.
constexpr std::uint32_t bigEndianBits(std::uint32_t value) {
    if constexpr (std::endian::native == std::endian::little) return reversedBytes(value);
    return value;
}

// Big-endian bytes, gathered in a block and handed on when it is full.
class BigEndianBlock {
public:
    explicit BigEndianBlock(std::function<bool(const unsigned char*, std::size_t)> take)
        : take_(std::move(take)), block_(std::size_t{64} << 10) {}

    void int32(std::int32_t value) { uint32(static_cast<std::uint32_t>(value)); }
    void int16(std::int16_t value) {
        const auto bits = static_cast<std::uint16_t>(value);
        byte(static_cast<unsigned char>(bits >> 8));
        byte(static_cast<unsigned char>(bits));
    }
    void int64(std::int64_t value) {
        uint32(static_cast<std::uint32_t>(static_cast<std::uint64_t>(value) >> 32));
        uint32(static_cast<std::uint32_t>(value));
    }
    void real(float value) { uint32(std::bit_cast<std::uint32_t>(value)); }
    void uint32(std::uint32_t value) {
        if (block_.size() - used_ < 4) handOn();
        unsigned char* at = block_.data() + used_;
        at[0] = static_cast<unsigned char>(value >> 24);
        at[1] = static_cast<unsigned char>(value >> 16);
        at[2] = static_cast<unsigned char>(value >> 8);
        at[3] = static_cast<unsigned char>(value);
        used_ += 4;
    }
    void byte(unsigned char value) {
        if (used_ == block_.size()) handOn();
        block_[used_++] = value;
    }
    void bytes(const void* data, std::size_t size) {
        const auto* from = static_cast<const unsigned char*>(data);
        for (std::size_t i = 0; i < size; ++i) byte(from[i]);
    }
    // A counted, zero-terminated text, as annotations hold names.
    void countedText(const std::string& text) {
        int32(static_cast<std::int32_t>(text.size() + 1));
        bytes(text.c_str(), text.size() + 1);
    }
    void zeros(std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) byte(0);
    }
    // Hands on what is gathered; false once any hand-on failed.
    bool finish() {
        handOn();
        return ok_;
    }

private:
    void handOn() {
        if (used_ > 0 && ok_) ok_ = take_(block_.data(), used_);
        used_ = 0;
    }

    std::function<bool(const unsigned char*, std::size_t)> take_;
    std::vector<unsigned char> block_;
    std::size_t used_ = 0;
    bool ok_ = true;
};

// A gzip member holding `size` bytes from `data` in stored deflate blocks
// (with `swapWords`, each four bytes in reverse order: little-endian words
// become big-endian ones on the way), into `member`. Stored: an overlay's
// float values gain little from compression (a tenth of their size at
// libdeflate's fastest level, which took about ten times as long as writing
// them), and a reader inflates them as fast as it reads. Every gzip reader
// reads the members of a file one after another as one stream. Pure
// computation.
void storedMember(const unsigned char* data, std::size_t size, bool swapWords, std::vector<unsigned char>& member) {
    constexpr std::size_t kBlock = 65532;  // at most 65 535 bytes a stored block; whole words
    constexpr std::size_t kHeader = 10, kTrailer = 8;
    const std::size_t blocks = std::max<std::size_t>(1, (size + kBlock - 1) / kBlock);
    member.resize(kHeader + 5 * blocks + size + kTrailer);
    // Header: magic, deflate, no flags, no time, no extra flags, unknown system.
    const unsigned char header[kHeader] = {0x1F, 0x8B, 8, 0, 0, 0, 0, 0, 0, 255};
    std::memcpy(member.data(), header, kHeader);
    unsigned char* at = member.data() + kHeader;
    std::uint32_t crc = 0;
    for (std::size_t b = 0; b < blocks; ++b) {
        const std::size_t from = b * kBlock, length = std::min(kBlock, size - std::min(size, from));
        at[0] = b + 1 == blocks ? 1 : 0;  // the last block is final; type 00, stored
        at[1] = static_cast<unsigned char>(length);
        at[2] = static_cast<unsigned char>(length >> 8);
        at[3] = static_cast<unsigned char>(~length);
        at[4] = static_cast<unsigned char>(~length >> 8);
        at += 5;
        if (swapWords && std::endian::native == std::endian::little) {
            reverseWordBytes(data + from, at, length / 4);
        } else if (length > 0) {
            std::memcpy(at, data + from, length);
        }
        crc = libdeflate_crc32(crc, at, length);
        at += length;
    }
    const auto count = static_cast<std::uint32_t>(size);  // modulo 2^32, as gzip counts
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<unsigned char>(crc >> (8 * i));
        at[4 + i] = static_cast<unsigned char>(count >> (8 * i));
    }
}

// Bytes of values in one gzip member: a chunk that stays in the cache.
constexpr std::size_t kChunkBytes = std::size_t{512} << 10;

// A thread that runs one job at a time for the thread that owns it (pure
// computation only: it never calls the host), and ends with its owner.
class Worker {
public:
    Worker() : thread_([this] { run(); }) {}
    ~Worker() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            quit_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Starts `job`; the one before must have been waited for.
    void start(std::function<bool()> job) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            job_ = std::move(job);
            busy_ = true;
        }
        changed_.notify_all();
    }

    // Waits for the job started last; what it returned (false when it threw).
    bool wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return !busy_; });
        return result_;
    }

private:
    void run() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (true) {
            changed_.wait(lock, [this] { return quit_ || (busy_ && job_); });
            if (quit_) return;
            const std::function<bool()> job = std::move(job_);
            job_ = nullptr;
            lock.unlock();
            bool result = false;
            try {
                result = job();
            } catch (...) {
                result = false;
            }
            lock.lock();
            result_ = result;
            busy_ = false;
            changed_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::function<bool()> job_;
    bool busy_ = false, quit_ = false, result_ = false;
    std::thread thread_;  // last: it starts once the rest is made
};

bool writeAll(std::FILE* file, const std::vector<unsigned char>& bytes) {
    return std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
}

// `count` values of each of the `columns`, from the `first` on, as big-endian
// words from `to` on, a value of each column after another (x, y, z of a vertex).
template <class T, std::size_t columns>
void bigEndianWords(const std::array<const T*, columns>& from, std::size_t first, std::size_t count,
                    unsigned char* to) {
    static_assert(sizeof(T) == 4);
    if constexpr (columns == 1 && std::endian::native == std::endian::little) {
        reverseWordBytes(reinterpret_cast<const unsigned char*>(from[0] + first), to, count);
        return;
    }
    if constexpr (columns == 3 && std::is_same_v<T, float> && std::endian::native == std::endian::little) {
        interleaveReversedWords(from[0] + first, from[1] + first, from[2] + first, to, count);
        return;
    }
    for (std::size_t i = first; i < first + count; ++i) {
        for (std::size_t c = 0; c < columns; ++c, to += 4) {
            const std::uint32_t bits = bigEndianBits(std::bit_cast<std::uint32_t>(from[c][i]));
            std::memcpy(to, &bits, 4);
        }
    }
}

// Chunks written to a file in order, each made on a worker (pure
// computation) while this thread writes the chunk before and gathers the
// inputs of the next. What a chunk is made from must stay as it is until the
// next add() or finish(): callers that fill inputs alternate two by slot().
class ChunkWriter {
public:
    explicit ChunkWriter(std::FILE* file) : file_(file) {}
    ~ChunkWriter() {
        if (working_) worker_.wait();
    }
    ChunkWriter(const ChunkWriter&) = delete;
    ChunkWriter& operator=(const ChunkWriter&) = delete;

    // The input buffer (0 or 1) of the next chunk; its last chunk is made.
    std::size_t slot() const { return index_ % 2; }

    // The next chunk, whose bytes `make` puts into the vector it is given;
    // false once anything failed.
    bool add(std::function<void(std::vector<unsigned char>&)> make) {
        if (working_ && !worker_.wait()) ok_ = false;
        working_ = false;
        if (!ok_) return false;
        std::vector<unsigned char>& bytes = bytes_[index_++ % 2];
        worker_.start([make = std::move(make), &bytes] {
            make(bytes);
            return true;
        });
        working_ = true;
        if (previous_ && !writeAll(file_, *previous_)) ok_ = false;
        previous_ = &bytes;
        return ok_;
    }

    // Writes the last chunk; whether every chunk was made and written.
    bool finish() {
        if (working_) {
            working_ = false;
            if (!worker_.wait()) ok_ = false;
            if (ok_ && previous_ && !writeAll(file_, *previous_)) ok_ = false;
        }
        previous_ = nullptr;
        return ok_;
    }

private:
    std::FILE* file_;
    Worker worker_;
    std::vector<unsigned char> bytes_[2];
    const std::vector<unsigned char>* previous_ = nullptr;
    std::size_t index_ = 0;
    bool working_ = false, ok_ = true;
};

// The big-endian bytes that `write` gives a block, gathered.
template <class Write>
std::vector<unsigned char> bigEndianBytes(Write write) {
    std::vector<unsigned char> bytes;
    BigEndianBlock out([&bytes](const unsigned char* data, std::size_t size) {
        bytes.insert(bytes.end(), data, data + size);
        return true;
    });
    write(out);
    out.finish();
    return bytes;
}

std::int64_t bigEndian(const unsigned char* at, std::size_t bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < bytes; ++i) value = (value << 8) | at[i];
    if (bytes == 4) return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
    return static_cast<std::int64_t>(value);
}

bool startsWith(const unsigned char* text, std::size_t size, const std::string& start) {
    return size >= start.size() && std::memcmp(text, start.data(), start.size()) == 0;
}

bool surfaceMarked(std::FILE* file) {
    unsigned char head[3 + 64] = {};
    const std::size_t got = std::fread(head, 1, sizeof head, file);
    return got >= 3 && std::memcmp(head, kTriangleMagic, 3) == 0 &&
           startsWith(head + 3, got - 3, "created by Meshbridge");
}

bool annotationMarked(std::FILE* file) {
    unsigned char word[8];
    if (std::fread(word, 1, 4, file) != 4) return false;
    const std::int64_t vertices = bigEndian(word, 4);
    if (vertices <= 0 || !seekFile(file, 4 + 8 * vertices)) return false;
    // The table's flag, version 2 (as -2), its size, then its name.
    unsigned char table[16];
    if (std::fread(table, 1, 16, file) != 16 || bigEndian(table, 4) != 1 || bigEndian(table + 4, 4) != -2)
        return false;
    const std::int64_t length = bigEndian(table + 12, 4);
    if (length <= 0 || static_cast<std::size_t>(length) > kMostMarkBytes) return false;
    std::vector<unsigned char> name(static_cast<std::size_t>(length));
    return std::fread(name.data(), 1, name.size(), file) == name.size() &&
           startsWith(name.data(), name.size(), "Meshbridge");
}

// Inflates a gzip'ed MGH overlay a block at a time, keeping its header and
// what follows its values, and looks for the command-line tag of an export.
bool overlayMarked(std::FILE* file) {
    // The values of an overlay of ours are stored, not compressed: its file
    // is larger than they are. A header that claims more is no overlay of
    // ours, and is not inflated (a small file may claim gigabytes).
    const std::int64_t fileSize = bytesLeftInFile(file);
    z_stream stream{};
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) return false;
    std::vector<unsigned char> in(std::size_t{256} << 10), out(std::size_t{256} << 10);
    std::vector<unsigned char> header, tail;
    std::uint64_t position = 0, valuesEnd = UINT64_MAX;
    bool ended = false, damaged = false;
    while (!ended && !damaged) {
        if (stream.avail_in == 0) {
            stream.avail_in = static_cast<uInt>(std::fread(in.data(), 1, in.size(), file));
            stream.next_in = in.data();
            if (stream.avail_in == 0) break;
        }
        stream.next_out = out.data();
        stream.avail_out = static_cast<uInt>(out.size());
        const int status = inflate(&stream, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) damaged = true;
        const std::size_t produced = out.size() - stream.avail_out;
        const std::uint64_t end = position + produced;
        if (position < kMghHeaderSize) {  // the header's bytes in this block
            const auto part = static_cast<std::size_t>(std::min<std::uint64_t>(end, kMghHeaderSize) - position);
            header.insert(header.end(), out.begin(), out.begin() + static_cast<std::ptrdiff_t>(part));
            if (header.size() == kMghHeaderSize) {
                const std::int64_t width = bigEndian(header.data() + 4, 4), frames = bigEndian(header.data() + 16, 4);
                if (bigEndian(header.data(), 4) != 1 || bigEndian(header.data() + 20, 4) != kMghFloat || width <= 0 ||
                    frames <= 0 || bigEndian(header.data() + 8, 4) != 1 || bigEndian(header.data() + 12, 4) != 1)
                    damaged = true;  // no overlay of ours
                else
                    valuesEnd = kMghHeaderSize + 4 * static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(frames);
                if (fileSize < 0 || valuesEnd > static_cast<std::uint64_t>(fileSize)) damaged = true;
            }
        }
        if (end > valuesEnd) {  // what follows the values, as far as a mark can lie
            const std::uint64_t from = std::max(position, valuesEnd);
            const std::size_t room = kMghTrailerSize + 12 + kMostMarkBytes - tail.size();
            const auto part = static_cast<std::size_t>(std::min<std::uint64_t>(end - from, room));
            const auto first = out.begin() + static_cast<std::ptrdiff_t>(from - position);
            tail.insert(tail.end(), first, first + static_cast<std::ptrdiff_t>(part));
            ended = tail.size() == kMghTrailerSize + 12 + kMostMarkBytes;
        }
        position = end;
        if (status == Z_STREAM_END) {
            if (stream.avail_in == 0) {
                stream.avail_in = static_cast<uInt>(std::fread(in.data(), 1, in.size(), file));
                stream.next_in = in.data();
            }
            if (stream.avail_in == 0) break;
            inflateReset(&stream);  // the next member
        } else if (status == Z_BUF_ERROR && stream.avail_in > 0) {
            damaged = true;
        }
    }
    inflateEnd(&stream);
    // The trailer, then tags: a number, a 64-bit length and the tag's bytes.
    std::size_t at = kMghTrailerSize;
    while (!damaged && at + 12 <= tail.size()) {
        const std::int64_t tag = bigEndian(tail.data() + at, 4);
        const std::int64_t length = bigEndian(tail.data() + at + 4, 8);
        at += 12;
        if (length < 0 || static_cast<std::uint64_t>(length) > tail.size() - at) return false;
        if (tag == kCommandLineTag && startsWith(tail.data() + at, static_cast<std::size_t>(length), "Meshbridge"))
            return true;
        at += static_cast<std::size_t>(length);
    }
    return false;
}

}  // namespace

std::string freeSurferDate() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    // The day padded with a space, as ctime() writes it ("%e" is not
    // known to every C library).
    char day[16] = {}, rest[48] = {};
    std::strftime(day, sizeof day, "%a %b ", &local);
    std::strftime(rest, sizeof rest, " %H:%M:%S %Y", &local);
    return day + formatText("%2d", local.tm_mday) + rest;
}

// The surface's values are made big-endian on this thread, straight into the
// binary writer's buffer, which is written whenever it is full (from page
// boundaries of the file): making them costs less than handing them to a
// worker.
struct FreeSurferSurfaceStream::State {
    explicit State(std::FILE* file) : out(file) {}
    BinaryWriter out;
    std::vector<float> coordinates;  // a block's x, y and z, one after the other

    template <class T, std::size_t columns>
    bool put(const std::array<const T*, columns>& from, std::size_t count) {
        out.writeMade<4 * columns>(count, [&from](std::size_t first, std::size_t n, unsigned char* to) {
            bigEndianWords(from, first, n, to);
        });
        return out.ok();
    }
};

FreeSurferSurfaceStream::FreeSurferSurfaceStream(std::FILE* file) : state_(std::make_unique<State>(file)) {}

FreeSurferSurfaceStream::~FreeSurferSurfaceStream() = default;

namespace {

constexpr std::size_t kVerticesPerChunk = (kChunkBytes / 2) / 12;  // blocks of 256 KB

void writeSurfaceHead(BinaryWriter& file, std::size_t vertices, std::size_t triangles, const std::string& date) {
    const std::string line = formatText("created by Meshbridge %s on %s\n\n", kPluginVersion, date.c_str());
    const std::vector<unsigned char> head = bigEndianBytes([&](BigEndianBlock& out) {
        out.bytes(kTriangleMagic, 3);
        out.bytes(line.data(), line.size());
        out.int32(static_cast<std::int32_t>(vertices));
        out.int32(static_cast<std::int32_t>(triangles));
    });
    file.writeArray(head.data(), head.size());
}

}  // namespace

bool FreeSurferSurfaceStream::start(std::span<const float> x, std::span<const float> y, std::span<const float> z,
                                    std::size_t triangles, const std::string& date) {
    if (x.size() != y.size() || x.size() != z.size() || x.size() > INT32_MAX || triangles > INT32_MAX) return false;
    writeSurfaceHead(state_->out, x.size(), triangles, date);
    return state_->put(std::array<const float*, 3>{x.data(), y.data(), z.data()}, x.size());
}

bool FreeSurferSurfaceStream::start(std::size_t vertices, std::size_t triangles, const std::string& date,
                                    const CoordinateFill& fill) {
    if (vertices > INT32_MAX || triangles > INT32_MAX) return false;
    writeSurfaceHead(state_->out, vertices, triangles, date);
    std::vector<float>& block = state_->coordinates;
    for (std::size_t first = 0; first < vertices; first += kVerticesPerChunk) {
        const std::size_t count = std::min(kVerticesPerChunk, vertices - first);
        block.resize(3 * count);
        float* x = block.data();
        if (!fill(count, x, x + count, x + 2 * count)) return false;
        if (!state_->put(std::array<const float*, 3>{x, x + count, x + 2 * count}, count)) return false;
    }
    return true;
}

bool FreeSurferSurfaceStream::add(std::span<const std::int32_t> corners) {
    return state_->put(std::array<const std::int32_t*, 1>{corners.data()}, corners.size());
}

bool FreeSurferSurfaceStream::finish() { return state_->out.flush(); }

bool writeFreeSurferSurface(const std::string& path, std::span<const float> x, std::span<const float> y,
                            std::span<const float> z, std::span<const std::int32_t> triangles,
                            const std::string& date) {
    if (triangles.size() % 3 != 0) return false;
    return writeFileAtomically(path, FileMode::Binary, [&](std::FILE* file) {
        FreeSurferSurfaceStream stream(file);
        if (!stream.start(x, y, z, triangles.size() / 3, date)) return false;
        constexpr std::size_t kBlock = kChunkBytes / 4;
        for (std::size_t first = 0; first < triangles.size(); first += kBlock)
            if (!stream.add(triangles.subspan(first, std::min(kBlock, triangles.size() - first)))) return false;
        return stream.finish();
    });
}

bool writeMgzOverlay(const std::string& path, std::int32_t vertices, std::int32_t frames,
                     const std::function<bool(std::int32_t, float*)>& fill, float trMs, const std::string& note) {
    if (vertices <= 0 || frames <= 0) return false;
    return writeFileAtomically(path, FileMode::Binary, [&](std::FILE* file) {
        std::vector<unsigned char> member;
        const std::vector<unsigned char> header = bigEndianBytes([&](BigEndianBlock& out) {
            out.int32(1);  // version
            for (const std::int32_t dimension : {vertices, 1, 1, frames}) out.int32(dimension);
            out.int32(kMghFloat);
            out.int32(0);  // degrees of freedom
            // FreeSurfer's own orientation of an overlay: 1 mm, coronal slices, centred at 0.
            out.int16(1);
            for (const float value : {1.0f, 1.0f, 1.0f, -1.0f, 0.0f, 0.0f, 0.0f, 0.0f, -1.0f, 0.0f, 1.0f, 0.0f, 0.0f,
                                      0.0f, 0.0f})
                out.real(value);
            out.zeros(kMghHeaderSize - 30 - 60);
        });
        storedMember(header.data(), header.size(), false, member);
        if (!writeAll(file, member)) return false;

        // The values, in chunks of whole frames: while this thread reads a
        // chunk and writes the one before, a worker (pure computation)
        // turns the chunk between into a gzip member of big-endian values.
        const auto perFrame = static_cast<std::size_t>(vertices);
        const std::size_t framesPerChunk = std::max<std::size_t>(1, kChunkBytes / (4 * perFrame));
        std::vector<float> values[2];  // before the writer: its worker may read them until it ends
        ChunkWriter chunks(file);
        for (std::size_t first = 0; first < static_cast<std::size_t>(frames); first += framesPerChunk) {
            std::vector<float>& chunk = values[chunks.slot()];
            const std::size_t count = std::min(framesPerChunk, static_cast<std::size_t>(frames) - first);
            chunk.resize(count * perFrame);
            for (std::size_t k = 0; k < count; ++k)
                if (!fill(static_cast<std::int32_t>(first + k), chunk.data() + k * perFrame)) return false;
            if (!chunks.add([&chunk](std::vector<unsigned char>& bytes) {
                    storedMember(reinterpret_cast<const unsigned char*>(chunk.data()), chunk.size() * sizeof(float),
                                 true, bytes);
                }))
                return false;
        }
        if (!chunks.finish()) return false;

        const std::vector<unsigned char> trailer = bigEndianBytes([&](BigEndianBlock& out) {
            out.real(trMs);
            for (int i = 0; i < 4; ++i) out.real(0.0f);  // flip angle, TE, TI, field of view
            out.int32(kCommandLineTag);
            out.int64(static_cast<std::int64_t>(note.size() + 1));
            out.bytes(note.c_str(), note.size() + 1);
        });
        storedMember(trailer.data(), trailer.size(), false, member);
        return writeAll(file, member);
    });
}

bool writeAnnotation(const std::string& path, std::span<const std::int32_t> labels,
                     const std::vector<AnnotationEntry>& entries, const std::string& tableName) {
    if (labels.empty() || labels.size() > INT32_MAX) return false;
    return writeFileAtomically(path, FileMode::Binary, [&](std::FILE* file) {
        BigEndianBlock out([file](const unsigned char* data, std::size_t size) {
            return std::fwrite(data, 1, size, file) == size;
        });
        out.int32(static_cast<std::int32_t>(labels.size()));
        for (std::size_t v = 0; v < labels.size(); ++v) {
            const std::int32_t entry = labels[v];
            out.int32(static_cast<std::int32_t>(v));
            out.int32(entry >= 0 ? entries.at(static_cast<std::size_t>(entry)).value() : 0);
        }
        out.int32(1);   // a colour table follows
        out.int32(-2);  // of version 2
        out.int32(static_cast<std::int32_t>(entries.size()));
        out.countedText(tableName);
        out.int32(static_cast<std::int32_t>(entries.size()));
        for (std::size_t e = 0; e < entries.size(); ++e) {
            out.int32(static_cast<std::int32_t>(e));
            out.countedText(entries[e].name);
            out.int32(entries[e].red);
            out.int32(entries[e].green);
            out.int32(entries[e].blue);
            out.int32(0);  // transparency
        }
        return out.finish();
    });
}

bool carriesMeshbridgeMark(const std::string& path, FreeSurferOutput kind) {
    FilePtr file = openFile(path, "rb");
    if (!file) return false;
    switch (kind) {
        case FreeSurferOutput::Surface: return surfaceMarked(file.get());
        case FreeSurferOutput::Annotation: return annotationMarked(file.get());
        case FreeSurferOutput::Overlay: return overlayMarked(file.get());
    }
    return false;
}

}  // namespace meshbridge
