// Writers of FreeSurfer's own files (big-endian throughout): a triangle
// surface, an MGZ overlay and an annotation; each carries a mark by which a
// later export tells this plug-in's own output from a file of the user's.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace meshbridge {

// A triangle surface: magic 0xFFFFFE, the line "created by Meshbridge 1.6 on
// DATE" and an empty line, vertex and triangle counts, x, y, z of each
// vertex, then three corners of each triangle. No volume geometry follows.
bool writeFreeSurferSurface(const std::string& path, std::span<const float> x, std::span<const float> y,
                            std::span<const float> z, std::span<const std::int32_t> triangles,
                            const std::string& date);

// The same surface written into an open file as its triangles come, a block
// at a time (as they are read from an SRF file): start() writes the counts
// and coordinates (all of them before it returns), add() a block of corners,
// finish() writes the rest and says whether everything was written. Each
// block is turned into big-endian bytes before the call returns: the
// caller's blocks need not outlive it. The bytes go through a binary writer
// (common/binary_io.h), so the stream takes a file that nothing was written
// to yet.
class FreeSurferSurfaceStream {
public:
    explicit FreeSurferSurfaceStream(std::FILE* file);
    ~FreeSurferSurfaceStream();
    FreeSurferSurfaceStream(const FreeSurferSurfaceStream&) = delete;
    FreeSurferSurfaceStream& operator=(const FreeSurferSurfaceStream&) = delete;

    bool start(std::span<const float> x, std::span<const float> y, std::span<const float> z,
               std::size_t triangles, const std::string& date);
    // The same, the coordinates taken a block at a time: `fill(count, x, y,
    // z)` puts the next `count` vertices' coordinates into the three blocks
    // (false when it cannot).
    using CoordinateFill = std::function<bool(std::size_t count, float* x, float* y, float* z)>;
    bool start(std::size_t vertices, std::size_t triangles, const std::string& date, const CoordinateFill& fill);
    bool add(std::span<const std::int32_t> corners);
    bool finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// An MGH overlay of `vertices` x 1 x 1 x `frames` float values, gzip'ed:
// `fill(f, values)` puts the `vertices` values of frame f into `values`
// (false when it cannot); `trMs` goes into the header's TR (0 without one),
// and `note` into a command-line tag after it (the mark).
bool writeMgzOverlay(const std::string& path, std::int32_t vertices, std::int32_t frames,
                     const std::function<bool(std::int32_t, float*)>& fill, float trMs, const std::string& note);

struct AnnotationEntry {
    std::string name;  // UTF-8
    std::int32_t red = 0, green = 0, blue = 0;
    // What vertices carrying the entry hold in the file.
    std::int32_t value() const { return red + (green << 8) + (blue << 16); }
};

// An annotation of one value per vertex: `labels[v]` is the entry vertex v
// carries, or -1 for none (value 0). Colour table version 2, named by
// `tableName` (the mark).
bool writeAnnotation(const std::string& path, std::span<const std::int32_t> labels,
                     const std::vector<AnnotationEntry>& entries, const std::string& tableName);

enum class FreeSurferOutput { Surface, Overlay, Annotation };

// Whether the file at `path` is one of `kind` that this plug-in wrote (its
// "created by Meshbridge" line, its Meshbridge command-line tag, or its
// colour table named by Meshbridge). Reads only what it needs, in bounded
// memory, whatever the file holds.
bool carriesMeshbridgeMark(const std::string& path, FreeSurferOutput kind);

// The local time as FreeSurfer's own tools write it in a surface's "created
// by" line: "Mon Dec  7 17:02:15 2026".
std::string freeSurferDate();

}  // namespace meshbridge
