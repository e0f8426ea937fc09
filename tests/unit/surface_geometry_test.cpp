#include "import/surface_geometry.h"

#include <gtest/gtest.h>

#include <numeric>
#include <random>

#include <algorithm>
#include <array>
#include <cmath>
#include <set>

using namespace meshbridge;

namespace {

SrfData mesh(HugePageVector<float> x, HugePageVector<float> y, HugePageVector<float> z,
             HugePageVector<std::int32_t> triangles) {
    SrfData srf;
    srf.nrOfVertices = static_cast<std::int32_t>(x.size());
    srf.vertexX = std::move(x);
    srf.vertexY = std::move(y);
    srf.vertexZ = std::move(z);
    srf.nrOfTriangles = static_cast<std::int32_t>(triangles.size() / 3);
    srf.triangles = std::move(triangles);
    return srf;
}

std::vector<std::int32_t> ring(const SrfNeighborTable& rings, std::size_t v) {
    const SrfNeighbors list = rings[v];
    EXPECT_EQ(list.count, static_cast<std::int32_t>(list.indices.size()));
    return {list.indices.begin(), list.indices.end()};
}

using Ring = std::vector<std::int32_t>;

std::array<float, 3> normal(const SrfData& srf, std::size_t v) { return {srf.normalX[v], srf.normalY[v], srf.normalZ[v]}; }
using Normal = std::array<float, 3>;

// The octahedron: 0 (0,0,1), 1 (1,0,0), 2 (0,1,0), 3 (-1,0,0), 4 (0,-1,0), 5 (0,0,-1).
const std::vector<std::int32_t> kOctahedron = {5, 2, 1, 0, 1, 2, 0, 4, 1, 5, 1, 4,
                                               0, 2, 3, 0, 3, 4, 5, 3, 2, 5, 4, 3};

}  // namespace

TEST(SurfaceGeometry, NormalsAreMeansOfUnitFaceNormalsAndAlwaysFinite) {
    // Vertex 0 is shared by a triangle of area 0.5 facing +z and one of area 2
    // facing +y: its normal lies halfway between, whatever the areas.
    SrfData srf = mesh({0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, -4}, {0, 1, 2, 0, 1, 3});
    computeVertexNormals(srf);
    const float half = 1.0f / std::sqrt(2.0f);
    EXPECT_FLOAT_EQ(srf.normalX[0], 0.0f);
    EXPECT_FLOAT_EQ(srf.normalY[0], half);
    EXPECT_FLOAT_EQ(srf.normalZ[0], half);
    EXPECT_EQ(normal(srf, 2), (Normal{0, 0, 1}));
    EXPECT_EQ(normal(srf, 3), (Normal{0, 1, 0}));

    srf = mesh({0, 1, 0}, {0, 0, 1}, {0, 0, 0}, {0, 1, 2});
    computeMeshCenter(srf);
    computeVertexNormals(srf);
    EXPECT_FLOAT_EQ(srf.meshCenterX, 1.0f / 3.0f);
    EXPECT_FLOAT_EQ(srf.meshCenterY, 1.0f / 3.0f);
    EXPECT_EQ(srf.meshCenterZ, 0.0f);
    for (std::size_t v = 0; v < 3; ++v) EXPECT_EQ(normal(srf, v), (Normal{0, 0, 1}));
    srf.triangles = HugePageVector<std::int32_t>{2, 1, 0};
    computeVertexNormals(srf);
    for (std::size_t v = 0; v < 3; ++v) EXPECT_EQ(normal(srf, v), (Normal{0, 0, -1}));

    // Normals are always finite: triangle 1 is degenerate (a repeated corner), vertex 3 is unused.
    srf = mesh({0, 1, 0, 5}, {0, 0, 1, 5}, {0, 0, 0, 5}, {0, 1, 2, 0, 0, 1});
    computeVertexNormals(srf);
    for (std::size_t v = 0; v < 3; ++v) EXPECT_EQ(normal(srf, v), (Normal{0, 0, 1}));
    EXPECT_EQ(normal(srf, 3), (Normal{0, 0, 0}));
    computeMeshCenter(srf);
    SrfData empty;
    computeMeshCenter(empty);
    EXPECT_EQ(empty.meshCenterX, 0.0f);
}

TEST(NeighborRings, FollowTheWindingAroundEveryKindOfVertexAndHubsStaySmall) {
    const std::vector<std::int32_t> square = {0, 1, 2, 0, 2, 3}, mixed = {0, 1, 2, 0, 3, 2};
    const struct {
        std::int32_t vertices;
        std::vector<std::int32_t> triangles;
        std::size_t vertex;
        Ring expected;
    } cases[] = {
        {6, kOctahedron, 1, {5, 2, 0, 4}},  // its pairs are (5,2), (2,0), (0,4), (4,5)
        {6, kOctahedron, 0, {1, 2, 3, 4}}, {6, kOctahedron, 5, {2, 1, 4, 3}}, {6, kOctahedron, 2, {1, 5, 3, 0}},
        {4, {0, 1, 2}, 0, {1, 2}}, {4, {0, 1, 2}, 1, {2, 0}}, {4, {0, 1, 2}, 2, {0, 1}}, {4, {0, 1, 2}, 3, {}},
        // A square of two triangles: vertex 0 has three neighbours; vertex 2
        // meets (0,1) first and the second triangle continues before 0.
        {4, square, 0, {1, 2, 3}}, {4, square, 2, {3, 0, 1}}, {4, square, 1, {2, 0}},
        {4, mixed, 0, {1, 2, 3}},                        // the second triangle wound the other way
        {5, {0, 1, 2, 0, 3, 4}, 0, {1, 2, 3, 4}},        // two fans meeting at vertex 0 (a bow tie)
        {3, {0, 1, 2, 0, 1, 2, 0, 0, 1}, 0, {1, 2}},     // a triangle twice and a degenerate one
    };
    for (const auto& c : cases)
        EXPECT_EQ(ring(computeNeighborRings(c.vertices, c.triangles), c.vertex), c.expected) << c.vertex;

    // Closed fans around vertex 0 of the sizes where the few-triangles path of
    // the ring builder gives way to the general one, alone and as a bow tie of
    // two fans meeting at vertex 0: each neighbour once, fan after fan.
    const auto fan = [](std::vector<std::int32_t>& triangles, std::int32_t first, std::int32_t size) {
        for (std::int32_t i = 0; i < size; ++i) triangles.insert(triangles.end(), {0, first + i, first + (i + 1) % size});
    };
    for (std::int32_t size : {15, 16, 17, 31, 32, 33}) {
        for (std::int32_t second : {0, size / 2 + 3}) {
            std::vector<std::int32_t> triangles;
            fan(triangles, 1, size);
            if (second > 0) fan(triangles, 1 + size, second);
            Ring expected(static_cast<std::size_t>(size + second));
            std::iota(expected.begin(), expected.end(), 1);
            const auto rings = computeNeighborRings(1 + size + second, triangles);
            EXPECT_EQ(ring(rings, 0), expected) << size << " + " << second;
            EXPECT_EQ(ring(rings, 1), (Ring{2, 0, size})) << size << " + " << second;  // a rim vertex: a border
        }
    }

    // A closed fan of 20000 triangles around vertex 0.
    const std::int32_t spokes = 20000;
    std::vector<std::int32_t> triangles;
    for (std::int32_t i = 0; i < spokes; ++i) {
        triangles.insert(triangles.end(), {0, 1 + i, 1 + (i + 1) % spokes});
    }
    const auto rings = computeNeighborRings(spokes + 1, triangles);
    ASSERT_EQ(rings[0].count, spokes);
    for (std::int32_t i = 0; i < spokes; ++i) EXPECT_EQ(rings[0].indices[static_cast<std::size_t>(i)], 1 + i);
    EXPECT_EQ(rings.indices.size(), static_cast<std::size_t>(spokes) * 4);  // the hub, and 3 per rim vertex
}

// The ring rule, written plainly: chains start at the first unused triangle of
// the vertex, in triangle order; a chain runs forward from its last vertex and
// then backward from its first, each step taking the first unused triangle (in
// triangle order) that holds the end vertex besides the centre, and adding its
// other corner unless that was met before.
Ring ringByTheRule(std::int32_t centre, const std::vector<std::int32_t>& triangles) {
    std::vector<std::array<std::int32_t, 2>> pairs;  // the two corners after the centre, in winding order
    for (std::size_t f = 0; f < triangles.size(); f += 3) {
        for (std::size_t c = 0; c < 3; ++c) {
            if (triangles[f + c] == centre) pairs.push_back({triangles[f + (c + 1) % 3], triangles[f + (c + 2) % 3]});
        }
    }
    std::vector<bool> used(pairs.size());
    std::set<std::int32_t> met = {centre};
    Ring ring;
    const auto follow = [&](std::int32_t end, Ring& chain) {
        for (bool found = true; found;) {
            found = false;
            for (std::size_t p = 0; p < pairs.size() && !found; ++p) {
                for (std::size_t at = 0; at < 2 && !found; ++at) {
                    if (used[p] || pairs[p][at] != end) continue;
                    used[p] = found = true;
                    const std::int32_t other = pairs[p][1 - at];
                    if (met.insert(other).second) chain.push_back(end = other);
                }
            }
        }
    };
    for (std::size_t start = 0; start < pairs.size(); ++start) {
        if (used[start]) continue;
        used[start] = true;
        Ring chain;
        for (std::int32_t corner : pairs[start])
            if (met.insert(corner).second) chain.push_back(corner);
        if (chain.empty()) continue;
        follow(chain.back(), chain);
        Ring before;
        follow(chain.front(), before);
        ring.insert(ring.end(), before.rbegin(), before.rend());
        ring.insert(ring.end(), chain.begin(), chain.end());
    }
    return ring;
}

TEST(NeighborRings, FollowTheRuleOnRandomFansOfEveryShape) {
    // Fans around vertex 0: closed ones, then ones with a corner changed, two
    // corners swapped (a triangle wound the other way), a triangle repeated or
    // the centre used twice, with up to 20 triangles.
    std::mt19937 random(7);
    for (int trial = 0; trial < 20000; ++trial) {
        const auto size = static_cast<std::int32_t>(2 + random() % 19);
        // The fan's triangles in any order, each starting at any corner.
        std::vector<std::array<std::int32_t, 3>> fan;
        for (std::int32_t i = 0; i < size; ++i) fan.push_back({0, 1 + i, 1 + (i + 1) % size});
        std::shuffle(fan.begin(), fan.end(), random);
        std::vector<std::int32_t> triangles;
        for (auto& triangle : fan) {
            std::rotate(triangle.begin(), triangle.begin() + random() % 3, triangle.end());
            triangles.insert(triangles.end(), triangle.begin(), triangle.end());
        }
        const auto changes = random() % 4;
        for (unsigned change = 0; change < changes; ++change) {
            const std::size_t at = random() % triangles.size();
            switch (random() % 3) {
                case 0: triangles[at] = static_cast<std::int32_t>(random() % static_cast<unsigned>(size + 1)); break;
                case 1: std::swap(triangles[at - at % 3 + 1], triangles[at - at % 3 + 2]); break;
                default: triangles.insert(triangles.end(), triangles.begin() + static_cast<std::ptrdiff_t>(at - at % 3),
                                          triangles.begin() + static_cast<std::ptrdiff_t>(at - at % 3 + 3));
            }
        }
        const auto rings = computeNeighborRings(size + 1, triangles);
        for (std::int32_t v = 0; v <= size; ++v)
            ASSERT_EQ(ring(rings, static_cast<std::size_t>(v)), ringByTheRule(v, triangles)) << "trial " << trial << ", vertex " << v;
    }
}

TEST(ParallelRings, GiveEveryVertexTheRingOfOneThreadWhereverTheThreadsMeet) {
    // A strip of 30 001 vertices (several chunks each way) with a hub that
    // every tenth triangle also uses, so that rings differ in size.
    const std::int32_t n = 30001;
    std::vector<std::int32_t> triangles;
    for (std::int32_t v = 1; v + 2 < n; ++v) {
        triangles.insert(triangles.end(), {v, v + 1, v + 2});
        if (v % 10 == 0) triangles.insert(triangles.end(), {0, v, v + 2});
    }
    const auto expected = computeNeighborRings(n, triangles);
    // Where the threads meet, fixed (every vertex, the chunks' edges of 4096
    // and beside them), then left to the threads.
    for (const std::uint32_t meeting : {0u, 1u, 4095u, 4096u, 4097u, 12345u, 25904u, 30000u, 30001u,
                                        ParallelRings::kMeetAnywhere, ParallelRings::kMeetAnywhere}) {
        ParallelRings rings(n, triangles, meeting);
        for (std::size_t v = 0; v < static_cast<std::size_t>(n); ++v) {
            const std::span<const std::int32_t> got = rings.ring(v);
            ASSERT_EQ(Ring(got.begin(), got.end()), ring(expected, v)) << "vertex " << v << ", meeting " << meeting;
        }
    }
    // Left before every ring was read (a write that failed), the worker stops.
    {
        ParallelRings rings(n, triangles);
        rings.ring(0);
    }
    // Left before any ring was asked for, it ends without filling its table.
    { ParallelRings unread(n, triangles); }
    ParallelRings none(0, {});
}
