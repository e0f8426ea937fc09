// What an SRF surface holds beyond its vertices and triangles: the mesh
// centre, vertex normals and the ring of neighbours of every vertex.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "formats/srf_file.h"

namespace meshbridge {

// Mean of each axis, summed in single precision in vertex order; (0, 0, 0)
// for a surface without vertices.
void computeMeshCenter(SrfData& srf);

// Unit vertex normals: the sum of the unit normals of the triangles that use
// a vertex (corner order p0, p1, p2: (p1 - p0) x (p2 - p1)), normalised.
// Degenerate triangles contribute nothing; a vertex without a usable triangle
// gets (0, 0, 0). Triangle indices must lie within the vertex arrays. With
// `room` for three values a vertex, the normals are kept there (the arrays
// borrow it) instead of in arrays of their own.
void computeVertexNormals(SrfData& srf, std::span<float> room = {});

// The neighbours of every vertex in rotational order. On a closed,
// consistently wound mesh each ring starts with the other two corners (in
// stored order) of the first triangle that uses the vertex and follows the
// winding. Elsewhere (borders, non-manifold vertices, mixed winding) every
// distinct neighbour is listed exactly once, in rotational order as far as
// the surface allows. Memory is proportional to the number of corners, of
// which there may be at most 2^32 - 1.
SrfNeighborTable computeNeighborRings(std::int32_t nrOfVertices, std::span<const std::int32_t> triangles);

class RingBuilder;
struct RingCorners;

// The same rings one vertex at a time, from one corner table, for a writer
// that streams them instead of keeping a table of all. `triangles` must
// outlive the object.
class NeighborRings {
public:
    NeighborRings(std::int32_t nrOfVertices, std::span<const std::int32_t> triangles);
    ~NeighborRings();
    NeighborRings(const NeighborRings&) = delete;
    NeighborRings& operator=(const NeighborRings&) = delete;
    NeighborRings(NeighborRings&&) noexcept;

    // Another reader of the same corner table, with room of its own to build
    // rings in: this one and its sibling may be read on two threads at once.
    NeighborRings sibling() const { return NeighborRings(corners_, nrOfVertices_); }

    // A reader of a corner table built apart (see ParallelRings).
    NeighborRings(std::shared_ptr<const RingCorners> corners, std::int32_t nrOfVertices);

    std::size_t size() const;
    // The ring of `vertex`, valid until the next call.
    std::span<const std::int32_t> ring(std::size_t vertex);

private:

    std::shared_ptr<const RingCorners> corners_;
    std::int32_t nrOfVertices_;
    std::vector<std::int32_t> pairs_, ring_;
    std::unique_ptr<RingBuilder> builder_;
};

// The rings of every vertex, asked for in vertex order, built on two
// threads: a worker started by the constructor counts the corners of each
// vertex while the calling thread does other work; once that thread asks for
// its first ring (and has let go of its other arrays, so that the table does
// not come on top of them) the worker completes the corner table and builds
// the rings of chunks of vertices from the top down, each chunk given back
// once read, while the calling thread builds the rings of chunks from the
// bottom up as they are asked for, until the two meet. The worker does pure
// computation (it never calls the host) and is joined before its rings are
// read, or by the destructor. `triangles` must outlive the object and stay
// unchanged.
class ParallelRings {
public:
    // `meeting` fixes the vertex where the threads meet, for tests: the
    // calling thread builds the rings below it, the worker those from it on.
    static constexpr std::uint32_t kMeetAnywhere = UINT32_MAX;
    ParallelRings(std::int32_t nrOfVertices, std::span<const std::int32_t> triangles,
                  std::uint32_t meeting = kMeetAnywhere);
    ~ParallelRings();
    ParallelRings(const ParallelRings&) = delete;
    ParallelRings& operator=(const ParallelRings&) = delete;

    // The ring of `vertex`, valid until the next call. Rethrows what the
    // worker met (an allocation that failed).
    std::span<const std::int32_t> ring(std::size_t vertex);

private:
    struct Worker;
    std::unique_ptr<Worker> worker_;
};

}  // namespace meshbridge
