// What an SRF surface holds beyond its vertices and triangles: the mesh
// centre, vertex normals and the ring of neighbours of every vertex.
#pragma once

#include <cstdint>
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
SrfNeighborTable computeNeighborRings(std::int32_t nrOfVertices,
                                               std::span<const std::int32_t> triangles);

}  // namespace meshbridge
