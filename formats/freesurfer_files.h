// The files of FreeSurfer reconstructions, read from their bytes: triangle
// surfaces (lh.white), morphometry files (lh.thickness, in the new and the old
// format), MGH and MGZ overlays (one value per vertex and frame),
// annotations (lh.aparc.annot) and ASCII labels (lh.V1.label). Their numbers
// are big-endian. Every count is checked against the bytes the file holds
// before anything is allocated for it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/huge_pages.h"

namespace meshbridge {

enum class FreeSurferKind { None, Surface, QuadSurface, Morphometry, Overlay, CompressedOverlay, Annotation, Label };

// What kind of FreeSurfer file begins with `head` and holds `size` bytes;
// None for any other file, GIFTI files and other text among them. `head` is
// the whole file, except that the first few kilobytes tell a gzip'ed file or
// text: a gzip'ed file is a CompressedOverlay when `inflatedHead`, its first
// inflated bytes, begin an MGH overlay.
FreeSurferKind freeSurferKindOf(std::span<const unsigned char> head, std::uint64_t size,
                                std::span<const unsigned char> inflatedHead = {});

// What kind of FreeSurfer file the file at `path` is, told by its first bytes
// (an MGH or MGZ file by its name and first bytes together, so that a damaged
// header is still judged as one); None where they tell nothing or the file
// cannot be read.
FreeSurferKind freeSurferKindOfFile(const std::string& path);

// Where an annotation that begins with `head` keeps its colour-table flag
// (1, as the big-endian numbers of the file are stored), after its vertex
// count and pairs; 0 when `head` can begin no annotation.
std::uint64_t annotationTableFlagAt(std::span<const unsigned char> head);

// The bytes of an MGH overlay's header; its values follow.
inline constexpr std::size_t kMghHeaderSize = 284;

// What messages call a kind: "FreeSurfer surface".
const char* freeSurferKindName(FreeSurferKind kind);

struct FreeSurferSurface {
    std::string createdBy;  // the line after the magic number
    HugePageVector<float> xyz;                // x, y, z of each vertex
    HugePageVector<std::int32_t> triangles;   // three corners each
};

// Values per vertex, frame after frame: value v of frame f at f * vertices + v.
struct FreeSurferValues {
    std::int32_t nrOfVertices = 0;
    std::int32_t nrOfFrames = 0;
    HugePageVector<float> values;
    float repetitionTimeMs = 0.0f;  // an overlay's TR, 0 when it has none
};

struct FreeSurferColorEntry {
    std::int32_t id = 0;  // the structure's number in the table
    std::string name;
    std::int32_t red = 0, green = 0, blue = 0, transparency = 0;
    // The annotation value of the vertices that carry this entry (wrapping
    // around, as 32-bit arithmetic does, for colour values beyond a byte).
    std::int32_t value() const {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(red) + (static_cast<std::uint32_t>(green) << 8) +
                                         (static_cast<std::uint32_t>(blue) << 16));
    }
};

struct FreeSurferAnnotation {
    HugePageVector<std::int32_t> values;  // the annotation value of every vertex, 0 where none is given
    std::vector<FreeSurferColorEntry> table;
};

struct FreeSurferLabel {
    std::vector<std::int32_t> vertices;  // as listed
};

// Each parses the whole file's bytes; false with the problem, such as "the
// file ends at byte 120, within the coordinates of 50 vertices", otherwise.
bool parseFreeSurferSurface(std::span<const unsigned char> bytes, FreeSurferSurface& surface, std::string& problem);
// A quadrangle surface, each quadrangle split into two triangles as
// FreeSurfer's readers split it.
bool parseQuadSurface(std::span<const unsigned char> bytes, FreeSurferSurface& surface, std::string& problem);
bool parseMorphometry(std::span<const unsigned char> bytes, FreeSurferValues& values, std::string& problem);
bool parseMghOverlay(std::span<const unsigned char> bytes, FreeSurferValues& values, std::string& problem);
bool parseAnnotation(std::span<const unsigned char> bytes, FreeSurferAnnotation& annotation, std::string& problem);
bool parseLabelFile(std::span<const unsigned char> bytes, FreeSurferLabel& label, std::string& problem);

// How much of a gzip'ed file is inflated: its first bytes only (to tell what
// it is), or every member to its end, each member's checksum and length
// checked, as a file that is read must be.
enum class GzipCheck { FirstBytes, WholeStream };

// The inflated bytes of a gzip'ed file, at most `limit` of them (with
// FirstBytes the rest is not inflated; with WholeStream it is, to be
// checked, and not kept); false with the problem when the data are damaged
// or end early. Memory grows with what the data hold, not with what they
// claim.
bool inflateGzip(std::span<const unsigned char> bytes, std::uint64_t limit, std::vector<unsigned char>& out,
                 std::string& problem, GzipCheck check = GzipCheck::FirstBytes);

// The bytes an MGH overlay holds at most when its header is `header` (284
// bytes or more): header, data and the trailer read after them; 0 when the
// header is no overlay's.
std::uint64_t mghOverlayMaximumSize(std::span<const unsigned char> header);

}  // namespace meshbridge
