#include "import/surface_geometry.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "common/huge_pages.h"

namespace meshbridge {

void computeMeshCenter(SrfData& srf) {
    const std::size_t n = srf.vertexX.size();
    if (n == 0) {
        srf.meshCenterX = srf.meshCenterY = srf.meshCenterZ = 0.0f;
        return;
    }
    float sumX = 0.0f, sumY = 0.0f, sumZ = 0.0f;
    for (std::size_t i = 0; i < n; ++i) {
        sumX += srf.vertexX[i];
        sumY += srf.vertexY[i];
        sumZ += srf.vertexZ[i];
    }
    const auto count = static_cast<float>(n);
    srf.meshCenterX = sumX / count;
    srf.meshCenterY = sumY / count;
    srf.meshCenterZ = sumZ / count;
}

void computeVertexNormals(SrfData& srf) {
    const std::size_t n = srf.vertexX.size();
    HugePageVector<float>& nx = srf.normalX.owned();
    HugePageVector<float>& ny = srf.normalY.owned();
    HugePageVector<float>& nz = srf.normalZ.owned();
    for (HugePageVector<float>* normals : {&nx, &ny, &nz}) {
        normals->clear();
        normals->resize(n);
    }
    const auto& t = srf.triangles;
    for (std::size_t f = 0; f + 2 < t.size(); f += 3) {
        const auto a = static_cast<std::size_t>(t[f]);
        const auto b = static_cast<std::size_t>(t[f + 1]);
        const auto c = static_cast<std::size_t>(t[f + 2]);
        const float d1x = srf.vertexX[b] - srf.vertexX[a];
        const float d1y = srf.vertexY[b] - srf.vertexY[a];
        const float d1z = srf.vertexZ[b] - srf.vertexZ[a];
        const float d2x = srf.vertexX[c] - srf.vertexX[b];
        const float d2y = srf.vertexY[c] - srf.vertexY[b];
        const float d2z = srf.vertexZ[c] - srf.vertexZ[b];
        float fx = d1y * d2z - d1z * d2y;
        float fy = d1z * d2x - d1x * d2z;
        float fz = d1x * d2y - d1y * d2x;
        const float length = std::sqrt(fx * fx + fy * fy + fz * fz);
        if (!(length > 0.0f) || !std::isfinite(length)) continue;  // degenerate
        fx /= length;
        fy /= length;
        fz /= length;
        for (std::size_t corner : {a, b, c}) {
            nx[corner] += fx;
            ny[corner] += fy;
            nz[corner] += fz;
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        const float length = std::sqrt(nx[i] * nx[i] + ny[i] * ny[i] + nz[i] * nz[i]);
        if (length > 0.0f && std::isfinite(length)) {
            nx[i] /= length;
            ny[i] /= length;
            nz[i] /= length;
        } else {
            nx[i] = ny[i] = nz[i] = 0.0f;
        }
    }
}

// Builds the ring of one vertex from its edge pairs, in triangle order: pair k
// holds the other two corners of the k-th triangle that uses the vertex, in
// the order that follows the winding.
class RingBuilder {
public:
    explicit RingBuilder(std::size_t nrOfVertices) : seenAt_(nrOfVertices, 0) {}

    void build(std::int32_t vertex, std::span<const std::int32_t> pairs, std::vector<std::int32_t>& ring) {
        ++stamp_;
        seen(vertex);  // a vertex is not its own neighbour
        pairs_ = pairs;
        const std::size_t pairCount = pairs.size() / 2;
        used_.assign(pairCount, 0);
        // Many pairs: every element with its place, sorted by value, then by
        // scan order. Few pairs (the usual five to seven): a plain scan is quicker.
        indexed_ = pairCount > kPlainScanPairs;
        if (indexed_) {
            entries_.clear();
            for (std::size_t p = 0; p < pairs.size(); ++p) entries_.push_back({pairs[p], p});
            std::sort(entries_.begin(), entries_.end());
        }
        ring.clear();
        ring.reserve(pairCount + 1);
        for (std::size_t start = 0; start < pairCount; ++start) {
            if (used_[start]) continue;
            used_[start] = 1;
            const std::size_t chainStart = ring.size();
            if (!seen(pairs[2 * start])) ring.push_back(pairs[2 * start]);
            if (!seen(pairs[2 * start + 1])) ring.push_back(pairs[2 * start + 1]);
            if (ring.size() == chainStart) continue;
            // Forward along the winding from the chain's last vertex ...
            for (std::int32_t end = ring.back(), other = 0; takeNext(end, other);) {
                if (!seen(other)) ring.push_back(end = other);
            }
            // ... then backward from its first vertex, for borders.
            before_.clear();
            for (std::int32_t end = ring[chainStart], other = 0; takeNext(end, other);) {
                if (!seen(other)) before_.push_back(end = other);
            }
            ring.insert(ring.begin() + static_cast<std::ptrdiff_t>(chainStart), before_.rbegin(), before_.rend());
        }
    }

private:
    struct Entry {
        std::int32_t value;
        std::size_t place;  // 2 * pair + position in the pair
        bool operator<(const Entry& other) const {
            return value != other.value ? value < other.value : place < other.place;
        }
    };

    // True when `vertex` was met before in this ring; marks it met.
    bool seen(std::int32_t vertex) {
        std::uint32_t& at = seenAt_[static_cast<std::size_t>(vertex)];
        if (at == stamp_) return true;
        at = stamp_;
        return false;
    }

    // The first unused pair, in scan order, that holds `value`: marks it used
    // and gives its other element.
    bool takeNext(std::int32_t value, std::int32_t& other) {
        if (!indexed_) {
            for (std::size_t place = 0; place < pairs_.size(); ++place) {
                if (pairs_[place] != value || used_[place / 2]) continue;
                used_[place / 2] = 1;
                other = pairs_[place ^ 1];
                return true;
            }
            return false;
        }
        auto it = std::lower_bound(entries_.begin(), entries_.end(), Entry{value, 0});
        for (; it != entries_.end() && it->value == value; ++it) {
            const std::size_t pair = it->place / 2;
            if (used_[pair]) continue;
            used_[pair] = 1;
            other = pairs_[it->place ^ 1];
            return true;
        }
        return false;
    }

    HugePageVector<std::uint32_t> seenAt_;
    std::uint32_t stamp_ = 0;
    std::span<const std::int32_t> pairs_;
    static constexpr std::size_t kPlainScanPairs = 16;
    bool indexed_ = false;
    std::vector<unsigned char> used_;
    std::vector<Entry> entries_;
    std::vector<std::int32_t> before_;
};

NeighborRings::NeighborRings(std::int32_t nrOfVertices, std::span<const std::int32_t> triangles)
    : triangles_(triangles), builder_(std::make_unique<RingBuilder>(static_cast<std::size_t>(std::max(nrOfVertices, 0)))) {
    const auto n = static_cast<std::size_t>(std::max(nrOfVertices, 0));
    // The corners of each vertex, in triangle order, in one table: corner
    // 3f + c is corner c of triangle f.
    offset_.resize(n + 1);
    for (std::int32_t vertex : triangles) ++offset_[static_cast<std::size_t>(vertex) + 1];
    for (std::size_t v = 0; v < n; ++v) offset_[v + 1] += offset_[v];
    corners_.resize(triangles.size());
    for (std::size_t corner = 0; corner < triangles.size(); ++corner) {
        corners_[offset_[static_cast<std::size_t>(triangles[corner])]++] = static_cast<std::uint32_t>(corner);
    }
    for (std::size_t v = n; v > 0; --v) offset_[v] = offset_[v - 1];  // back to the starts
    if (n > 0) offset_[0] = 0;
}

NeighborRings::~NeighborRings() = default;

std::span<const std::int32_t> NeighborRings::ring(std::size_t vertex) {
    // Pair of a corner: the next two corners of its triangle, in winding order.
    pairs_.clear();
    for (std::uint32_t at = offset_[vertex]; at < offset_[vertex + 1]; ++at) {
        const std::size_t corner = corners_[at];
        const std::size_t first = corner - corner % 3;
        pairs_.push_back(triangles_[first + (corner + 1) % 3]);
        pairs_.push_back(triangles_[first + (corner + 2) % 3]);
    }
    builder_->build(static_cast<std::int32_t>(vertex), pairs_, ring_);
    return ring_;
}

SrfNeighborTable computeNeighborRings(std::int32_t nrOfVertices, std::span<const std::int32_t> triangles) {
    NeighborRings source(nrOfVertices, triangles);
    SrfNeighborTable rings;
    rings.offsets.reserve(source.size() + 1);
    rings.indices.reserve(triangles.size());
    for (std::size_t v = 0; v < source.size(); ++v) rings.append(source.ring(v));
    return rings;
}

}  // namespace meshbridge
