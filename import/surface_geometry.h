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
// gets (0, 0, 0). Triangle indices must lie within the vertex arrays.
void computeVertexNormals(SrfData& srf);

// The neighbours of every vertex in rotational order. On a closed,
// consistently wound mesh each ring starts with the other two corners (in
// stored order) of the first triangle that uses the vertex and follows the
// winding. Elsewhere (borders, non-manifold vertices, mixed winding) every
// distinct neighbour is listed exactly once, in rotational order as far as
// the surface allows. Memory is proportional to the number of corners, of
// which there may be at most 2^32 - 1.
SrfNeighborTable computeNeighborRings(std::int32_t nrOfVertices, std::span<const std::int32_t> triangles);

class RingBuilder;

// The same rings one vertex at a time, from one corner table, for a writer
// that streams them instead of keeping a table of all. `triangles` must
// outlive the object.
class NeighborRings {
public:
    NeighborRings(std::int32_t nrOfVertices, std::span<const std::int32_t> triangles);
    ~NeighborRings();
    NeighborRings(const NeighborRings&) = delete;
    NeighborRings& operator=(const NeighborRings&) = delete;

    std::size_t size() const { return offset_.size() - 1; }
    // The ring of `vertex`, valid until the next call.
    std::span<const std::int32_t> ring(std::size_t vertex);

private:
    std::span<const std::int32_t> triangles_;
    HugePageVector<std::uint32_t> offset_{0};  // corners of vertex v: corners_[offset_[v], offset_[v + 1])
    HugePageVector<std::uint32_t> corners_;
    std::vector<std::int32_t> pairs_, ring_;
    std::unique_ptr<RingBuilder> builder_;
};

}  // namespace meshbridge
