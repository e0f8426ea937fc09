#include "formats/freesurfer_files.h"

#include <zlib.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>

#include "common/binary_io.h"
#include "common/replace_extension.h"
#include "common/text.h"

namespace meshbridge {

namespace {

constexpr std::uint32_t kTriangleMagic = 0xFFFFFE;
constexpr std::uint32_t kNewMorphometryMagic = 0xFFFFFF;  // also the old quad surfaces'
constexpr std::uint32_t kNewQuadMagic = 0xFFFFFD;
constexpr std::uint64_t kMghTrailerSize = 5 * 4;  // TR, flip angle, TE, TI, field of view

std::uint32_t threeBytes(const unsigned char* at) {
    return (std::uint32_t{at[0]} << 16) | (std::uint32_t{at[1]} << 8) | at[2];
}

std::int32_t bigEndianInt32(const unsigned char* at) {
    return static_cast<std::int32_t>((std::uint32_t{at[0]} << 24) | (std::uint32_t{at[1]} << 16) |
                                     (std::uint32_t{at[2]} << 8) | at[3]);
}

std::int16_t bigEndianInt16(const unsigned char* at) {
    return static_cast<std::int16_t>((std::uint16_t{at[0]} << 8) | at[1]);
}

float bigEndianFloat(const unsigned char* at) { return std::bit_cast<float>(bigEndianInt32(at)); }

// Reads big-endian numbers from the bytes of a file, front to back.
class Cursor {
public:
    explicit Cursor(std::span<const unsigned char> bytes) : bytes_(bytes) {}

    std::size_t remaining() const { return bytes_.size() - at_; }
    const unsigned char* here() const { return bytes_.data() + at_; }
    const std::string& problem() const { return problem_; }

    bool int32(std::int32_t& value, const char* what) {
        if (!has(4, 1, what)) return false;
        value = bigEndianInt32(here());
        at_ += 4;
        return true;
    }
    bool three(std::uint32_t& value, const char* what) {
        if (!has(3, 1, what)) return false;
        value = threeBytes(here());
        at_ += 3;
        return true;
    }
    // Whether `count` values of `size` bytes follow; the problem otherwise.
    bool has(std::size_t size, std::uint64_t count, const char* what) {
        if (count <= remaining() / size) return true;
        problem_ = count == 1 ? formatText("the file ends at byte %zu, within %s", bytes_.size(), what)
                              : formatText("the file ends at byte %zu, within %s (%llu values of %zu bytes from byte %zu)",
                                           bytes_.size(), what, static_cast<unsigned long long>(count), size, at_);
        return false;
    }
    void skip(std::size_t size) { at_ += size; }
    bool fail(std::string what) {
        problem_ = std::move(what);
        return false;
    }

private:
    std::span<const unsigned char> bytes_;
    std::size_t at_ = 0;
    std::string problem_;
};

// `count` big-endian 4-byte values from the cursor into `out`.
template <class T, class Vector>
bool readBigEndian(Cursor& cursor, std::uint64_t count, Vector& out, const char* what) {
    static_assert(sizeof(T) == 4);
    if (!cursor.has(4, count, what)) return false;
    out.resize(static_cast<std::size_t>(count));
    const unsigned char* in = cursor.here();
    for (std::size_t i = 0; i < out.size(); ++i, in += 4) {
        if constexpr (std::is_same_v<T, float>) out[i] = bigEndianFloat(in);
        else out[i] = bigEndianInt32(in);
    }
    cursor.skip(out.size() * 4);
    return true;
}

// A name stored as its length (zero byte included) and its bytes; the text
// before the first zero byte.
bool readCountedName(Cursor& cursor, std::string& name, const char* what) {
    std::int32_t length = 0;
    if (!cursor.int32(length, what)) return false;
    if (length < 0) return cursor.fail(formatText("%s has the length %d", what, length));
    if (!cursor.has(1, static_cast<std::uint64_t>(length), what)) return false;
    const auto* text = reinterpret_cast<const char*>(cursor.here());
    name.assign(text, std::find(text, text + length, '\0'));
    cursor.skip(static_cast<std::size_t>(length));
    return true;
}

// The readers of the files whose counts they meet as they go; each leaves
// its problem in the cursor.

bool readSurface(Cursor& in, FreeSurferSurface& surface) {
    std::uint32_t magic = 0;
    if (!in.three(magic, "the magic number")) return false;
    if (magic != kTriangleMagic) return in.fail("it is no triangle surface");
    // "created by NAME on DATE", and an empty line.
    const auto* text = reinterpret_cast<const char*>(in.here());
    const auto* lineEnd = static_cast<const char*>(std::memchr(text, '\n', in.remaining()));
    if (!lineEnd) return in.fail("its text line after the magic number never ends");
    surface.createdBy.assign(text, lineEnd);
    in.skip(static_cast<std::size_t>(lineEnd - text) + 1);
    if (in.remaining() > 0 && *in.here() == '\n') in.skip(1);
    std::int32_t vertices = 0, faces = 0;
    if (!in.int32(vertices, "the vertex count") || !in.int32(faces, "the face count")) return false;
    if (vertices == 0) return in.fail("it holds no vertices");
    if (vertices < 0 || faces < 0) return in.fail(formatText("it claims %d vertices and %d faces", vertices, faces));
    if (!in.has(12, static_cast<std::uint64_t>(vertices) + static_cast<std::uint64_t>(faces),
                "the coordinates and faces") ||
        !readBigEndian<float>(in, 3 * static_cast<std::uint64_t>(vertices), surface.xyz, "the coordinates") ||
        !readBigEndian<std::int32_t>(in, 3 * static_cast<std::uint64_t>(faces), surface.triangles, "the faces"))
        return false;
    for (std::size_t i = 0; i < surface.triangles.size(); ++i) {
        if (surface.triangles[i] < 0 || surface.triangles[i] >= vertices)
            return in.fail(formatText("face %zu uses the vertex index %d, outside 0 to %d", i / 3,
                                      surface.triangles[i], vertices - 1));
    }
    return true;  // a volume-geometry footer may follow: it says nothing the SRF file holds
}

// A quadrangle surface: three-byte counts of vertices and quadrangles, the
// coordinates (hundredths in two bytes, or floats in the newer format) and
// four three-byte corners a quadrangle, each quadrangle split into two
// triangles as FreeSurfer's own readers split it (by the parity of its first
// corner).
bool readQuadSurface(Cursor& in, FreeSurferSurface& surface) {
    std::uint32_t magic = 0, vertices = 0, quads = 0;
    if (!in.three(magic, "the magic number") || !in.three(vertices, "the vertex count") ||
        !in.three(quads, "the quadrangle count"))
        return false;
    if (magic != kNewMorphometryMagic && magic != kNewQuadMagic) return in.fail("it is no quadrangle surface");
    if (vertices == 0) return in.fail("it holds no vertices");
    const bool floats = magic == kNewQuadMagic;
    if (!in.has(floats ? 12 : 6, vertices, "the coordinates")) return false;
    if (floats) {
        if (!readBigEndian<float>(in, 3 * std::uint64_t{vertices}, surface.xyz, "the coordinates")) return false;
    } else {
        surface.xyz.resize(3 * std::size_t{vertices});
        for (float& value : surface.xyz) {
            const auto hundredths = static_cast<std::int16_t>((in.here()[0] << 8) | in.here()[1]);
            value = static_cast<float>(hundredths) / 100.0f;
            in.skip(2);
        }
    }
    if (!in.has(12, quads, "the quadrangles")) return false;
    surface.triangles.resize(6 * std::size_t{quads});
    std::int32_t* triangle = surface.triangles.data();
    for (std::uint32_t q = 0; q < quads; ++q) {
        std::int32_t corner[4];
        for (std::int32_t& c : corner) {
            c = static_cast<std::int32_t>(threeBytes(in.here()));
            in.skip(3);
            if (c >= static_cast<std::int32_t>(vertices))
                return in.fail(formatText("quadrangle %u uses the vertex index %d, outside 0 to %u", q, c,
                                          vertices - 1));
        }
        const std::int32_t split[2][3] = {{corner[0], corner[1], corner[3]}, {corner[2], corner[3], corner[1]}};
        const std::int32_t fan[2][3] = {{corner[0], corner[1], corner[2]}, {corner[0], corner[2], corner[3]}};
        const auto& pair = corner[0] % 2 == 0 ? split : fan;
        for (const auto& t : pair) triangle = std::copy(t, t + 3, triangle);
    }
    return true;
}

bool readMorphometry(Cursor& in, FreeSurferValues& values) {
    std::uint32_t magic = 0;
    if (!in.three(magic, "the magic number")) return false;
    if (magic == kNewMorphometryMagic) {
        std::int32_t vertices = 0, faces = 0, perVertex = 0;
        if (!in.int32(vertices, "the vertex count") || !in.int32(faces, "the face count") ||
            !in.int32(perVertex, "the count of values per vertex"))
            return false;
        if (vertices == 0) return in.fail("it holds no vertices");
        if (vertices < 0) return in.fail(formatText("it claims %d vertices", vertices));
        if (perVertex != 1) return in.fail(formatText("it holds %d values per vertex, not 1", perVertex));
        if (!readBigEndian<float>(in, static_cast<std::uint64_t>(vertices), values.values, "the values")) return false;
        values.nrOfVertices = vertices;
    } else {
        // The old format: counts of three bytes, values of two in hundredths.
        std::uint32_t faces = 0;
        if (!in.three(faces, "the face count") || !in.has(2, magic, "the values")) return false;
        if (magic == 0) return in.fail("it holds no vertices");
        values.values.resize(magic);
        for (std::size_t v = 0; v < magic; ++v, in.skip(2))
            values.values[v] = static_cast<float>(bigEndianInt16(in.here())) / 100.0f;
        values.nrOfVertices = static_cast<std::int32_t>(magic);
    }
    values.nrOfFrames = 1;
    return true;
}

bool readAnnotation(Cursor& in, FreeSurferAnnotation& annotation) {
    std::int32_t vertices = 0;
    if (!in.int32(vertices, "the vertex count")) return false;
    if (vertices == 0) return in.fail("it holds no vertices");
    if (vertices < 0) return in.fail(formatText("it claims %d vertices", vertices));
    if (!in.has(8, static_cast<std::uint64_t>(vertices), "the vertex and value pairs")) return false;
    annotation.values.assign(static_cast<std::size_t>(vertices), 0);
    for (std::int32_t i = 0; i < vertices; ++i, in.skip(8)) {
        const std::int32_t vertex = bigEndianInt32(in.here());
        if (vertex < 0 || vertex >= vertices)
            return in.fail(formatText("pair %d names the vertex %d, outside 0 to %d", i, vertex, vertices - 1));
        annotation.values[static_cast<std::size_t>(vertex)] = bigEndianInt32(in.here() + 4);
    }
    std::int32_t hasTable = 0, entries = 0;
    if (!in.int32(hasTable, "the colour-table flag")) return false;
    if (hasTable != 1) return in.fail("it has no colour table");
    if (!in.int32(entries, "the colour table's size")) return false;
    std::string tableFile;
    std::int32_t listed = entries;
    if (entries < 0) {  // the newer table: -version, the largest index, the table's file and the count
        std::int32_t largest = 0;
        if (entries != -2)
            return in.fail(formatText("its colour table has the version %lld, not 2", -static_cast<long long>(entries)));
        if (!in.int32(largest, "the colour table's largest index") ||
            !readCountedName(in, tableFile, "the colour table's file name") ||
            !in.int32(listed, "the colour table's entry count"))
            return false;
    } else if (!readCountedName(in, tableFile, "the colour table's file name")) {
        return false;
    }
    // Each entry holds at least its number (new tables), the length of its name and four colour values.
    if (listed < 0) return in.fail(formatText("its colour table claims %d entries", listed));
    if (!in.has(20, static_cast<std::uint64_t>(listed), "the colour table's entries")) return false;
    annotation.table.resize(static_cast<std::size_t>(listed));
    for (std::int32_t e = 0; e < listed; ++e) {
        FreeSurferColorEntry& entry = annotation.table[static_cast<std::size_t>(e)];
        entry.id = e;
        if ((entries < 0 && !in.int32(entry.id, "a colour table entry")) ||
            !readCountedName(in, entry.name, "a colour table entry's name") ||
            !in.int32(entry.red, "a colour table entry") || !in.int32(entry.green, "a colour table entry") ||
            !in.int32(entry.blue, "a colour table entry") || !in.int32(entry.transparency, "a colour table entry"))
            return false;
    }
    return true;
}

struct MghHeader {
    std::int64_t vertices = 0;  // width x height x depth
    std::int64_t dims[3] = {};
    bool volume = false;  // more than one of the three dimensions above 1
    std::int32_t frames = 0;
    std::int32_t type = -1;
    std::size_t valueSize = 0;
};

// The header of an MGH overlay, checked; false with the problem.
bool readMghHeader(std::span<const unsigned char> bytes, MghHeader& header, std::string& problem) {
    if (bytes.size() < kMghHeaderSize) {
        problem = formatText("it holds %zu bytes, fewer than an MGH header's %zu", bytes.size(), kMghHeaderSize);
        return false;
    }
    const unsigned char* at = bytes.data();
    if (bigEndianInt32(at) != 1) {
        problem = formatText("its MGH version is %d, not 1", bigEndianInt32(at));
        return false;
    }
    std::int64_t dims[4];
    for (int d = 0; d < 4; ++d) {
        dims[d] = bigEndianInt32(at + 4 + 4 * d);
        if (dims[d] < 1) {
            problem = formatText("its dimension %d is %lld", d + 1, static_cast<long long>(dims[d]));
            return false;
        }
    }
    // Each dimension below 2^31: two make less than 2^62, and three are
    // multiplied only when the last two make less than 2^31.
    const bool tooMany = dims[1] * dims[2] > INT32_MAX || dims[0] * (dims[1] * dims[2]) > INT32_MAX;
    if (tooMany) {
        problem = formatText("its dimensions %lld x %lld x %lld make more values per frame than a map can hold",
                             static_cast<long long>(dims[0]), static_cast<long long>(dims[1]),
                             static_cast<long long>(dims[2]));
        return false;
    }
    header.vertices = dims[0] * dims[1] * dims[2];
    header.volume = (dims[0] > 1) + (dims[1] > 1) + (dims[2] > 1) > 1;
    for (int d = 0; d < 3; ++d) header.dims[d] = dims[d];
    header.frames = static_cast<std::int32_t>(dims[3]);
    header.type = bigEndianInt32(at + 20);
    switch (header.type) {
        case 0: header.valueSize = 1; break;  // unsigned char
        case 1: header.valueSize = 4; break;  // int
        case 3: header.valueSize = 4; break;  // float
        case 4: header.valueSize = 2; break;  // short
        default:
            problem = formatText("its data type %d is none of uchar (0), int (1), float (3) or short (4)", header.type);
            return false;
    }
    return true;
}

float mghValue(const unsigned char* at, std::int32_t type) {
    switch (type) {
        case 0: return static_cast<float>(at[0]);
        case 1: return static_cast<float>(bigEndianInt32(at));
        case 4: return static_cast<float>(bigEndianInt16(at));
        default: return bigEndianFloat(at);
    }
}

// An ASCII line of a label file: its text without the line end, and the
// position after it.
std::string_view nextLine(std::string_view text, std::size_t& at) {
    if (at >= text.size()) {
        at = text.size() + 1;
        return {};
    }
    const std::size_t end = std::min(text.find('\n', at), text.size());
    std::string_view line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    at = end + 1;
    return line;
}

// The next blank-separated word of `line` from `at`.
std::string_view nextWord(std::string_view line, std::size_t& at) {
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
    const std::size_t start = at;
    while (at < line.size() && line[at] != ' ' && line[at] != '\t') ++at;
    return line.substr(start, at - start);
}

template <class T>
bool wholeNumber(std::string_view word, T& value) {
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    return error == std::errc() && end == word.data() + word.size();
}

// XML (GIFTI) and other text: a byte-order mark, or only printable
// characters and line ends in the first bytes.
bool looksLikeText(std::span<const unsigned char> head) {
    if (head.size() >= 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF) return true;
    const std::size_t n = std::min<std::size_t>(head.size(), 64);
    return std::all_of(head.begin(), head.begin() + static_cast<std::ptrdiff_t>(n),
                       [](unsigned char c) { return (c >= 0x20 && c < 0x7F) || c == '\n' || c == '\r' || c == '\t'; });
}

}  // namespace

FreeSurferKind freeSurferKindOf(std::span<const unsigned char> head, std::uint64_t size,
                                std::span<const unsigned char> inflatedHead) {
    if (head.size() >= 2 && head[0] == 0x1F && head[1] == 0x8B)
        return mghOverlayMaximumSize(inflatedHead) > 0 ? FreeSurferKind::CompressedOverlay : FreeSurferKind::None;
    if (head.size() < 3 || looksLikeText(head)) return head.size() > 0 && head[0] == '#' ? FreeSurferKind::Label
                                                                                       : FreeSurferKind::None;
    const std::uint32_t magic = threeBytes(head.data());
    if (magic == kTriangleMagic) return FreeSurferKind::Surface;
    if (magic == kNewQuadMagic) return FreeSurferKind::QuadSurface;
    if (magic == kNewMorphometryMagic) {
        // Also the old quadrangle surfaces' magic: the sizes the two layouts
        // give for their counts tell them apart.
        const bool morphometry = head.size() >= 15 && bigEndianInt32(head.data() + 11) == 1 &&
                                 size == 15 + 4 * std::uint64_t(std::uint32_t(bigEndianInt32(head.data() + 3)));
        const bool quads = head.size() >= 9 &&
                           size == 9 + 6 * std::uint64_t{threeBytes(head.data() + 3)} +
                                       12 * std::uint64_t{threeBytes(head.data() + 6)};
        return quads && !morphometry ? FreeSurferKind::QuadSurface : FreeSurferKind::Morphometry;
    }
    if (mghOverlayMaximumSize(head) > 0) return FreeSurferKind::Overlay;
    // The old morphometry format: three-byte counts of vertices and faces,
    // then two bytes a vertex, nothing more.
    if (head.size() >= 6 && size == 6 + 2 * std::uint64_t{magic}) return FreeSurferKind::Morphometry;
    const std::uint64_t tableFlagAt = annotationTableFlagAt(head);
    if (tableFlagAt > 0 && tableFlagAt + 8 <= head.size() && bigEndianInt32(head.data() + tableFlagAt) == 1)
        return FreeSurferKind::Annotation;
    return FreeSurferKind::None;
}

std::uint64_t annotationTableFlagAt(std::span<const unsigned char> head) {
    // The vertex count, then a vertex and value pair each.
    if (head.size() < 4) return 0;
    const std::int32_t vertices = bigEndianInt32(head.data());
    return vertices >= 0 ? 4 + 8 * static_cast<std::uint64_t>(vertices) : 0;
}

const char* freeSurferKindName(FreeSurferKind kind) {
    switch (kind) {
        case FreeSurferKind::Surface: return "FreeSurfer surface";
        case FreeSurferKind::QuadSurface: return "FreeSurfer quadrangle surface";
        case FreeSurferKind::Morphometry: return "FreeSurfer morphometry file";
        case FreeSurferKind::Overlay: return "MGH overlay";
        case FreeSurferKind::CompressedOverlay: return "MGZ overlay";
        case FreeSurferKind::Annotation: return "FreeSurfer annotation";
        case FreeSurferKind::Label: return "FreeSurfer label file";
        case FreeSurferKind::None: break;
    }
    return "file";
}

bool parseFreeSurferSurface(std::span<const unsigned char> bytes, FreeSurferSurface& surface, std::string& problem) {
    Cursor in(bytes);
    if (readSurface(in, surface)) return true;
    problem = in.problem();
    return false;
}

bool parseQuadSurface(std::span<const unsigned char> bytes, FreeSurferSurface& surface, std::string& problem) {
    Cursor in(bytes);
    if (readQuadSurface(in, surface)) return true;
    problem = in.problem();
    return false;
}

bool parseMorphometry(std::span<const unsigned char> bytes, FreeSurferValues& values, std::string& problem) {
    Cursor in(bytes);
    if (readMorphometry(in, values)) return true;
    problem = in.problem();
    return false;
}

std::uint64_t mghOverlayMaximumSize(std::span<const unsigned char> header) {
    MghHeader mgh;
    std::string problem;
    if (!readMghHeader(header, mgh, problem)) return 0;
    const std::uint64_t perFrame = static_cast<std::uint64_t>(mgh.vertices) * mgh.valueSize;
    if (perFrame > 0 && static_cast<std::uint64_t>(mgh.frames) > (UINT64_MAX / 2) / perFrame) return 0;
    return kMghHeaderSize + perFrame * static_cast<std::uint64_t>(mgh.frames) + kMghTrailerSize;
}

bool parseMghOverlay(std::span<const unsigned char> bytes, FreeSurferValues& values, std::string& problem) {
    MghHeader header;
    if (!readMghHeader(bytes, header, problem)) return false;
    // A surface overlay has its values along one dimension (FreeSurfer's
    // width); more make a volume.
    if (header.volume) {
        problem = formatText("it is a volume of %lld x %lld x %lld, not a surface overlay",
                             static_cast<long long>(header.dims[0]), static_cast<long long>(header.dims[1]),
                             static_cast<long long>(header.dims[2]));
        return false;
    }
    Cursor in(bytes);
    in.skip(kMghHeaderSize);
    const std::uint64_t count = static_cast<std::uint64_t>(header.vertices) * static_cast<std::uint64_t>(header.frames);
    if (!in.has(header.valueSize, count, "the values")) {
        problem = in.problem();
        return false;
    }
    values.values.resize(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < values.values.size(); ++i, in.skip(header.valueSize))
        values.values[i] = mghValue(in.here(), header.type);
    values.nrOfVertices = static_cast<std::int32_t>(header.vertices);
    values.nrOfFrames = header.frames;
    // TR in milliseconds, where the file carries its trailer.
    values.repetitionTimeMs = in.remaining() >= 4 ? bigEndianFloat(in.here()) : 0.0f;
    return true;
}

bool parseAnnotation(std::span<const unsigned char> bytes, FreeSurferAnnotation& annotation, std::string& problem) {
    Cursor in(bytes);
    if (readAnnotation(in, annotation)) return true;
    problem = in.problem();
    return false;
}

bool parseLabelFile(std::span<const unsigned char> bytes, FreeSurferLabel& label, std::string& problem) {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    std::size_t at = 0;
    if (text.empty() || text[0] != '#') {
        problem = "its first line is no comment line";
        return false;
    }
    nextLine(text, at);
    std::size_t word = 0;
    const std::string_view countLine = nextLine(text, at);
    std::int64_t count = 0;
    const bool isCount = wholeNumber(nextWord(countLine, word), count) && nextWord(countLine, word).empty();
    if (!isCount || count < 0) {
        problem = formatText("its second line \"%s\" is no count of vertices", std::string(countLine.substr(0, 40)).c_str());
        return false;
    }
    if (count == 0) {
        problem = "it holds no vertices";
        return false;
    }
    // A vertex line holds at least five numbers and their separators.
    if (static_cast<std::uint64_t>(count) > (text.size() - std::min(at, text.size())) / 10 + 1) {
        problem = formatText("it claims %lld vertices, more lines than its %zu bytes can hold",
                             static_cast<long long>(count), text.size());
        return false;
    }
    label.vertices.reserve(static_cast<std::size_t>(count));
    for (std::int64_t i = 0; i < count; ++i) {
        if (at >= text.size()) {
            problem = formatText("it ends after %lld of its %lld vertex lines", static_cast<long long>(i),
                                 static_cast<long long>(count));
            return false;
        }
        const std::string_view line = nextLine(text, at);
        word = 0;
        std::int32_t vertex = 0;
        bool numbers = wholeNumber(nextWord(line, word), vertex);
        for (int k = 0; k < 4 && numbers; ++k) {
            double value = 0;
            const std::string_view part = nextWord(line, word);
            numbers = !part.empty() && std::from_chars(part.data(), part.data() + part.size(), value).ptr ==
                                           part.data() + part.size();
        }
        if (!numbers) {
            problem = formatText("its vertex line %lld \"%s\" is not a vertex number and four values",
                                 static_cast<long long>(i + 1), std::string(line.substr(0, 60)).c_str());
            return false;
        }
        if (vertex < 0) {
            problem = formatText("its vertex line %lld names the vertex %d: a label of the volume, not of a surface",
                                 static_cast<long long>(i + 1), vertex);
            return false;
        }
        label.vertices.push_back(vertex);
    }
    return true;
}

namespace {

constexpr std::size_t kHeadBytes = 4096;  // enough to tell a gzip'ed file or text, and an MGZ header

}  // namespace

FreeSurferKind freeSurferKindOfFile(const std::string& path) {
    FilePtr file = openFile(path, "rb");
    const std::int64_t size = file ? bytesLeftInFile(file.get()) : -1;
    if (size < 0) return FreeSurferKind::None;
    std::vector<unsigned char> head(static_cast<std::size_t>(std::min<std::int64_t>(size, kHeadBytes)));
    if (std::fread(head.data(), 1, head.size(), file.get()) != head.size()) return FreeSurferKind::None;
    // A file whose name and first bytes both say MGH (version 1) or MGZ
    // (gzip) is judged as one, even where its header is damaged: its reader
    // then says what is wrong, rather than another kind's.
    const bool gzip = head.size() >= 2 && head[0] == 0x1F && head[1] == 0x8B;
    if (hasExtension(path, ".mgh") && head.size() >= 4 && head[0] == 0 && head[1] == 0 && head[2] == 0 && head[3] == 1)
        return FreeSurferKind::Overlay;
    if (hasExtension(path, ".mgz") && gzip) return FreeSurferKind::CompressedOverlay;
    if (gzip) {
        std::vector<unsigned char> inflated;
        std::string problem;
        inflateGzip(head, kHeadBytes, inflated, problem);  // a head cut short inflates partly, which is enough
        return freeSurferKindOf(head, static_cast<std::uint64_t>(size), inflated);
    }
    const FreeSurferKind kind = freeSurferKindOf(head, static_cast<std::uint64_t>(size));
    // An annotation longer than the head: its colour-table flag lies beyond.
    const std::uint64_t flagAt = annotationTableFlagAt(head);
    if (kind != FreeSurferKind::None || flagAt + 8 <= head.size() || flagAt + 8 > static_cast<std::uint64_t>(size))
        return kind;
    unsigned char flag[4] = {};
    const bool annotation = seekFile(file.get(), static_cast<std::int64_t>(flagAt)) &&
                            std::fread(flag, 1, 4, file.get()) == 4 && flag[0] == 0 && flag[1] == 0 &&
                            flag[2] == 0 && flag[3] == 1;
    return annotation ? FreeSurferKind::Annotation : FreeSurferKind::None;
}

bool inflateGzip(std::span<const unsigned char> bytes, std::uint64_t limit, std::vector<unsigned char>& out,
                 std::string& problem, GzipCheck check) {
    out.clear();
    z_stream stream{};
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) {
        problem = "the decompressor could not start";
        return false;
    }
    stream.next_in = const_cast<unsigned char*>(bytes.data());
    stream.avail_in = static_cast<uInt>(std::min<std::size_t>(bytes.size(), UINT32_MAX));
    std::size_t fed = stream.avail_in;
    const auto refill = [&] {
        if (stream.avail_in == 0 && fed < bytes.size()) {
            stream.avail_in = static_cast<uInt>(std::min<std::size_t>(bytes.size() - fed, UINT32_MAX));
            fed += stream.avail_in;
        }
    };
    const auto left = [&] { return static_cast<std::size_t>(stream.avail_in) + (bytes.size() - fed); };
    constexpr std::size_t kStep = std::size_t{1} << 20;
    // Beyond the limit, a whole-stream check inflates into scratch room: each
    // member's checksum and length cover all of it.
    std::vector<unsigned char> scratch;
    int status = Z_OK;
    while (true) {
        const bool keep = out.size() < limit;
        if (!keep && check == GzipCheck::FirstBytes) break;
        std::size_t before = out.size();
        unsigned char* into = nullptr;
        std::size_t room = 0;
        if (keep) {
            room = static_cast<std::size_t>(std::min<std::uint64_t>(kStep, limit - out.size()));
            out.resize(before + room);
            into = out.data() + before;
        } else {
            scratch.resize(kStep);
            into = scratch.data();
            room = scratch.size();
        }
        stream.next_out = into;
        stream.avail_out = static_cast<uInt>(room);
        refill();
        status = inflate(&stream, Z_NO_FLUSH);
        if (keep) out.resize(before + room - stream.avail_out);
        if (status == Z_STREAM_END) {
            // Another member may follow (gzip allows several; zero bytes may pad the end).
            refill();
            while (left() > 0 && stream.avail_in > 0 && *stream.next_in == 0) {
                ++stream.next_in;
                --stream.avail_in;
                refill();
            }
            if (left() == 0 || check == GzipCheck::FirstBytes) break;
            if (stream.avail_in < 2 || stream.next_in[0] != 0x1F || stream.next_in[1] != 0x8B) {
                inflateEnd(&stream);
                problem = "bytes that are no gzip data follow its compressed data";
                return false;
            }
            inflateReset(&stream);
            status = Z_OK;
            continue;
        }
        if (status != Z_OK && !(status == Z_BUF_ERROR && stream.avail_in > 0)) break;
        if (status == Z_BUF_ERROR && stream.avail_out > 0) break;
    }
    const char* message = stream.msg;
    inflateEnd(&stream);
    if (status == Z_STREAM_END || (check == GzipCheck::FirstBytes && out.size() >= limit)) return true;
    if (status == Z_DATA_ERROR) {
        const std::string what = message ? message : "";
        problem = what == "incorrect data check"     ? "its compressed data are damaged (their checksum is wrong)"
                  : what == "incorrect length check" ? "its compressed data are damaged (their length is wrong)"
                                                     : "its compressed data are damaged";
    } else {
        problem = "its compressed data end early";
    }
    return false;
}

}  // namespace meshbridge
