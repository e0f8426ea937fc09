// SRF surface files: a triangle mesh with normals, curvature colours, a colour
// word per vertex, neighbour lists, triangles and triangle-strip elements.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "common/host_array.h"
#include "host/host_api.h"

namespace meshbridge {

// Colour words: below kOwnColorBase a curvature colour (0 convex, 1 concave);
// from kOwnColorBase on an own colour, the word minus kOwnColorBase being
// red * 65536 + green * 256 + blue.
inline constexpr std::int32_t kOwnColorBase = 0x3F000000;

// The neighbour list of one vertex, a view into the record's table.
struct SrfNeighbors {
    std::int32_t count = 0;
    std::span<const std::int32_t> indices;
};

// The neighbour lists of all vertices, back to back in vertex order: one
// allocation for a whole mesh instead of one per vertex.
struct SrfNeighborTable {
    HugePageVector<std::size_t> offsets{0};  // vertex v's list is indices[offsets[v], offsets[v + 1])
    HugePageVector<std::int32_t> indices;

    std::size_t size() const { return offsets.size() - 1; }
    SrfNeighbors operator[](std::size_t v) const {
        const std::size_t begin = offsets[v], end = offsets[v + 1];
        return {static_cast<std::int32_t>(end - begin), {indices.data() + begin, end - begin}};
    }
    void append(std::span<const std::int32_t> list) {
        indices.insert(indices.end(), list.begin(), list.end());
        offsets.push_back(indices.size());
    }
    // Vertices without neighbours, as many as `vertices`.
    void assignEmpty(std::size_t vertices) {
        offsets.assign(vertices + 1, 0);
        indices.clear();
    }
};

struct SrfData {
    float version = 0.0f;  // -1 marks a failed load
    std::int32_t reserved = 0;
    std::int32_t nrOfVertices = 0;
    std::int32_t nrOfTriangles = 0;
    float meshCenterX = 0.0f;
    float meshCenterY = 0.0f;
    float meshCenterZ = 0.0f;
    // Borrowed from the host for a surface taken from its current document.
    HostArray<float> vertexX, vertexY, vertexZ;
    HostArray<float> normalX, normalY, normalZ;
    std::array<float, 4> convexColor{};   // red, green, blue, alpha, 0 to 1
    std::array<float, 4> concaveColor{};
    HostArray<std::int32_t> vertexColors;
    SrfNeighborTable neighbors;
    HostArray<std::int32_t> triangles;  // three vertex indices per triangle; may be borrowed from a GIFTI image
    std::int32_t nrOfStripElements = 0;
    std::vector<std::int32_t> stripElements;
    std::string fileName;
    std::uint64_t coordinatesOffset = 0;  // of vertexX in the file (vertexY and vertexZ follow), as read
};

inline bool isFailedLoad(const SrfData& srf) { return static_cast<int>(srf.version) == -1; }

// What a reader fills: the whole record, all but the normals and the
// neighbour lists (which the exports do not use; they are checked and
// skipped), or the header alone: every array is checked and skipped, and
// `coordinatesOffset` says where the coordinates lie in the file, for a
// reader that takes them a block at a time.
enum class SrfDetail { Whole, WithoutNormalsAndNeighbors, HeaderOnly };

// The file `name` (fromFile) or the host's current surface; never fails to
// return a record: a failed load has version -1.
SrfData loadSrf(const std::string& name, bool fromFile, SrfDetail detail = SrfDetail::Whole);
bool readSrfFile(const std::string& name, SrfData& srf, SrfDetail detail = SrfDetail::Whole);
// The same, but the triangles' corners are handed to `take` in blocks as they
// are read (after everything before them is in `srf`) instead of kept; false
// when `take` returns false, as when the file cannot be read.
using TriangleSink = std::function<bool(const SrfData& srf, std::span<const std::int32_t> corners)>;
bool readSrfFile(const std::string& name, SrfData& srf, SrfDetail detail, const TriangleSink& take);
SrfData srfFromHost(const HostSrfInfo& info);

// Writes `srf` to its file name with the extension ".srf"; true when the
// whole file was written.
bool writeSrfFile(const SrfData& srf);

// The neighbour list of each vertex in turn, as the writer reaches it (valid
// until the next call), for a mesh whose lists are not kept in the record.
// The writer asks for the first list only once the coordinates, normals and
// colour words are in the file; it reads none of them again.
using NeighborSource = std::function<std::span<const std::int32_t>(std::size_t vertex)>;
bool writeSrfFile(const SrfData& srf, const NeighborSource& neighborSource);

std::string srfHeaderText(const SrfData& srf);
bool dumpSrfHeader(const SrfData& srf, bool toFile, bool toLog);
bool printSrfFile(bool askForFile, bool toFile, bool toLog);

}  // namespace meshbridge
