#include "import/surface_geometry.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cmath>
#include <exception>
#include <future>
#include <memory>
#include <optional>
#include <thread>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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

void computeVertexNormals(SrfData& srf, std::span<float> room) {
    const std::size_t n = srf.vertexX.size();
    if (room.size() >= 3 * n) {
        std::fill_n(room.begin(), 3 * n, 0.0f);
        srf.normalX = HostArray<float>::borrowed(room.data(), n);
        srf.normalY = HostArray<float>::borrowed(room.data() + n, n);
        srf.normalZ = HostArray<float>::borrowed(room.data() + 2 * n, n);
    } else {
        for (HostArray<float>* normals : {&srf.normalX, &srf.normalY, &srf.normalZ}) {
            normals->owned().clear();
            normals->owned().resize(n);
        }
    }
    float* const nx = srf.normalX.data();
    float* const ny = srf.normalY.data();
    float* const nz = srf.normalZ.data();
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

namespace {

// Asks for the memory at `data` to be brought into the cache, where the
// compiler can.
void prefetch(const void* data) {
#if defined(__GNUC__)
    __builtin_prefetch(data);
#else
    (void)data;
#endif
}

// The ring of one vertex is chained from its edge pairs, in triangle order:
// pair k holds the other two corners of the k-th triangle that uses the
// vertex, in the order that follows the winding. The chaining is the same for
// every vertex; how the pairs are searched and the vertices met are
// remembered is up to a book-keeper (FewPairs or ManyPairs), which offers
// places() (twice the pairs), value(place), isUsed(pair), markUsed(pair),
// meet(place) (true when the value at `place` was met before in this ring;
// marks it met) and takeNext(value, otherPlace).
template <class Book>
void chainRing(Book& book, std::vector<std::int32_t>& ring, std::vector<std::int32_t>& before) {
    const std::size_t pairCount = book.places() / 2;
    ring.clear();
    ring.reserve(pairCount + 1);
    for (std::size_t start = 0; start < pairCount; ++start) {
        if (book.isUsed(start)) continue;
        book.markUsed(start);
        const std::size_t chainStart = ring.size();
        if (!book.meet(2 * start)) ring.push_back(book.value(2 * start));
        if (!book.meet(2 * start + 1)) ring.push_back(book.value(2 * start + 1));
        if (ring.size() == chainStart) continue;
        std::size_t other = 0;
        // Forward along the winding from the chain's last vertex ...
        for (std::int32_t end = ring.back(); book.takeNext(end, other);) {
            if (!book.meet(other)) ring.push_back(end = book.value(other));
        }
        // ... then backward from its first vertex, for borders.
        before.clear();
        for (std::int32_t end = ring[chainStart]; book.takeNext(end, other);) {
            if (!book.meet(other)) before.push_back(end = book.value(other));
        }
        ring.insert(ring.begin() + static_cast<std::ptrdiff_t>(chainStart), before.rbegin(), before.rend());
    }
}

// The usual five to seven pairs (up to 16): the pairs' places as bits, so that
// a search is one comparison of all places, and a vertex met marks every
// place that holds it.
class FewPairs {
public:
    static constexpr std::size_t kMostPlaces = 32;

    FewPairs(std::int32_t vertex, std::span<const std::int32_t> pairs) : places_(pairs.size()) {
        values_.fill(-1);  // no vertex: the places beyond the pairs never match
        std::copy(pairs.begin(), pairs.end(), values_.begin());
        met_ = placesOf(vertex);  // a vertex is not its own neighbour
    }

    std::size_t places() const { return places_; }
    std::int32_t value(std::size_t place) const { return values_[place]; }
    bool isUsed(std::size_t pair) const { return (used_ >> (2 * pair) & 1) != 0; }
    void markUsed(std::size_t pair) { used_ |= 3u << (2 * pair); }
    bool meet(std::size_t place) {
        if ((met_ >> place & 1) != 0) return true;
        met_ |= placesOf(values_[place]);
        return false;
    }
    // The first unused pair, in scan order, that holds `value`: marks it used
    // and gives the place of its other element.
    bool takeNext(std::int32_t value, std::size_t& other) {
        const std::uint32_t free = placesOf(value) & ~used_;
        if (free == 0) return false;
        const auto place = static_cast<std::size_t>(std::countr_zero(free));
        markUsed(place / 2);
        other = place ^ 1;
        return true;
    }

private:
    // Bit p set where place p holds `value`; four places at a time where the
    // processor compares four at once.
    std::uint32_t placesOf(std::int32_t value) const {
        std::uint32_t bits = 0;
#ifdef __SSE2__
        const __m128i wanted = _mm_set1_epi32(value);
        for (std::size_t place = 0; place < places_; place += 4) {
            const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i*>(values_.data() + place));
            const int equal = _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(four, wanted)));
            bits |= static_cast<std::uint32_t>(equal) << place;
        }
#else
        for (std::size_t place = 0; place < places_; ++place)
            bits |= static_cast<std::uint32_t>(values_[place] == value) << place;
#endif
        return bits;
    }

    std::array<std::int32_t, kMostPlaces> values_;
    std::size_t places_;
    std::uint32_t used_ = 0;  // bits 2p and 2p + 1 set once pair p is used
    std::uint32_t met_ = 0;
};

// More pairs: every element with its place, sorted by value, then by scan
// order; the vertices met marked in a table over all vertices, made when a
// vertex first needs it.
class ManyPairs {
public:
    explicit ManyPairs(std::size_t nrOfVertices) : nrOfVertices_(nrOfVertices) {}

    void start(std::int32_t vertex, std::span<const std::int32_t> pairs) {
        if (metAt_.empty()) metAt_.assign(nrOfVertices_, 0);
        ++stamp_;
        pairs_ = pairs;
        meetVertex(vertex);  // a vertex is not its own neighbour
        used_.assign(pairs.size() / 2, 0);
        entries_.clear();
        for (std::size_t p = 0; p < pairs.size(); ++p) entries_.push_back({pairs[p], p});
        std::sort(entries_.begin(), entries_.end());
    }

    std::size_t places() const { return pairs_.size(); }
    std::int32_t value(std::size_t place) const { return pairs_[place]; }
    bool isUsed(std::size_t pair) const { return used_[pair] != 0; }
    void markUsed(std::size_t pair) { used_[pair] = 1; }
    bool meet(std::size_t place) { return meetVertex(pairs_[place]); }
    bool takeNext(std::int32_t value, std::size_t& other) {
        auto it = std::lower_bound(entries_.begin(), entries_.end(), Entry{value, 0});
        for (; it != entries_.end() && it->value == value; ++it) {
            const std::size_t pair = it->place / 2;
            if (used_[pair]) continue;
            used_[pair] = 1;
            other = it->place ^ 1;
            return true;
        }
        return false;
    }

private:
    struct Entry {
        std::int32_t value;
        std::size_t place;  // 2 * pair + position in the pair
        bool operator<(const Entry& other) const {
            return value != other.value ? value < other.value : place < other.place;
        }
    };

    bool meetVertex(std::int32_t vertex) {
        std::uint32_t& at = metAt_[static_cast<std::size_t>(vertex)];
        if (at == stamp_) return true;
        at = stamp_;
        return false;
    }

    std::size_t nrOfVertices_;
    HugePageVector<std::uint32_t> metAt_;
    std::uint32_t stamp_ = 0;
    std::span<const std::int32_t> pairs_;
    std::vector<unsigned char> used_;
    std::vector<Entry> entries_;
};

// The ring of a vertex whose triangles close one fan around it in one
// winding (every neighbour is the second corner of one pair and the first of
// exactly one other, and no pair holds the vertex itself), as chainRing would
// chain it: the first pair, then the second corner of each next pair. The
// common case on a closed surface, in a few compares; false for anything
// else, which chainRing then handles.
bool chainClosedFan(std::int32_t vertex, std::span<const std::int32_t> pairs, std::vector<std::int32_t>& ring) {
    constexpr std::size_t kMostPairs = 16;
    const std::size_t count = pairs.size() / 2;
    if (count < 2 || count > kMostPairs) return false;
    std::array<std::int32_t, kMostPairs> firsts;
    firsts.fill(-1);  // no vertex: never matches
    for (std::size_t p = 0; p < count; ++p) firsts[p] = pairs[2 * p];
    // Bit p set where pair p starts with `value`.
    const auto startsWith = [&](std::int32_t value) {
        std::uint32_t bits = 0;
#ifdef __SSE2__
        const __m128i wanted = _mm_set1_epi32(value);
        for (std::size_t p = 0; p < count; p += 4) {
            const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i*>(firsts.data() + p));
            bits |= static_cast<std::uint32_t>(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(four, wanted)))) << p;
        }
#else
        for (std::size_t p = 0; p < count; ++p) bits |= static_cast<std::uint32_t>(firsts[p] == value) << p;
#endif
        return bits;
    };
    if (startsWith(vertex) != 0) return false;
    ring.resize(count);
    ring[0] = pairs[0];
    std::uint32_t visited = 1;
    std::size_t pair = 0;
    for (std::size_t m = 1; m < count; ++m) {
        const std::int32_t next = ring[m] = pairs[2 * pair + 1];
        const std::uint32_t found = startsWith(next);
        if (!std::has_single_bit(found) || (found & visited) != 0) return false;
        visited |= found;
        pair = static_cast<std::size_t>(std::countr_zero(found));
    }
    return startsWith(pairs[2 * pair + 1]) == 1;  // the fan closes on the first pair
}

}  // namespace

class RingBuilder {
public:
    explicit RingBuilder(std::size_t nrOfVertices) : many_(nrOfVertices) {}

    void build(std::int32_t vertex, std::span<const std::int32_t> pairs, std::vector<std::int32_t>& ring) {
        if (chainClosedFan(vertex, pairs, ring)) return;
        if (pairs.size() <= FewPairs::kMostPlaces) {
            FewPairs few(vertex, pairs);
            chainRing(few, ring, before_);
        } else {
            many_.start(vertex, pairs);
            chainRing(many_, ring, before_);
        }
    }

private:
    ManyPairs many_;
    std::vector<std::int32_t> before_;
};

// The corners of each vertex, in triangle order, in one table: corner
// 3f + c is corner c of triangle f.
struct RingCorners {
    std::span<const std::int32_t> triangles;
    HugePageVector<std::uint32_t> offset{0};  // corners of vertex v: corners[offset[v], offset[v + 1])
    HugePageVector<std::uint32_t> corners;
};

namespace {

// The first half of a corner table: how many corners each vertex has, as the
// place where its corners go. Needs only one number per vertex. Entry v + 1
// is where vertex v's next corner goes, so that once they are all in, entry
// v is the start of vertex v's corners; each vertex's entry moves on its own
// (see fillCorners).
std::shared_ptr<RingCorners> countedCorners(std::int32_t nrOfVertices, std::span<const std::int32_t> triangles) {
    auto table = std::make_shared<RingCorners>();
    table->triangles = triangles;
    const auto n = static_cast<std::size_t>(std::max(nrOfVertices, 0));
    HugePageVector<std::uint32_t>& offset = table->offset;
    offset.resize(n + 2);
    for (std::int32_t vertex : triangles) ++offset[static_cast<std::size_t>(vertex) + 2];
    for (std::size_t v = 0; v + 2 < offset.size(); ++v) offset[v + 2] += offset[v + 1];
    return table;
}

// The second half: the corners of vertices `from` to `to` - 1, each
// vertex's in triangle order. Two threads may fill two ranges at once, after
// the corners' room has been made (makeRoomForCorners); the table is whole
// when every range is filled (finishCorners).
void makeRoomForCorners(RingCorners& table) { table.corners.resize(table.triangles.size()); }

void fillCorners(RingCorners& table, std::size_t from, std::size_t to) {
    const std::span<const std::int32_t> triangles = table.triangles;
    std::uint32_t* const place = table.offset.data() + 1;
    std::uint32_t* const corners = table.corners.data();
    for (std::size_t corner = 0; corner < triangles.size(); ++corner) {
        const auto vertex = static_cast<std::size_t>(triangles[corner]);
        if (vertex >= from && vertex < to) corners[place[vertex]++] = static_cast<std::uint32_t>(corner);
    }
}

void finishCorners(RingCorners& table) { table.offset.pop_back(); }

}  // namespace

NeighborRings::NeighborRings(std::int32_t nrOfVertices, std::span<const std::int32_t> triangles)
    : nrOfVertices_(nrOfVertices),
      builder_(std::make_unique<RingBuilder>(static_cast<std::size_t>(std::max(nrOfVertices, 0)))) {
    auto table = countedCorners(nrOfVertices, triangles);
    makeRoomForCorners(*table);
    fillCorners(*table, 0, table->offset.size() - 2);
    finishCorners(*table);
    corners_ = std::move(table);
}

NeighborRings::NeighborRings(std::shared_ptr<const RingCorners> corners, std::int32_t nrOfVertices)
    : corners_(std::move(corners)),
      nrOfVertices_(nrOfVertices),
      builder_(std::make_unique<RingBuilder>(static_cast<std::size_t>(std::max(nrOfVertices, 0)))) {}

NeighborRings::~NeighborRings() = default;
NeighborRings::NeighborRings(NeighborRings&&) noexcept = default;

std::size_t NeighborRings::size() const { return corners_->offset.size() - 1; }

std::span<const std::int32_t> NeighborRings::ring(std::size_t vertex) {
    const std::span<const std::int32_t> triangles = corners_->triangles;
    const HugePageVector<std::uint32_t>& offset = corners_->offset;
    const HugePageVector<std::uint32_t>& corners = corners_->corners;
    // Rings are asked for in vertex order, and a vertex's triangles lie
    // anywhere: those of a vertex a few ahead are fetched into the cache now,
    // so that they are there when its turn comes.
    constexpr std::size_t kAhead = 8;
    if (vertex + kAhead < size()) {
        for (std::uint32_t at = offset[vertex + kAhead]; at < offset[vertex + kAhead + 1]; ++at)
            prefetch(&triangles[corners[at]]);
    }
    // Pair of a corner: the next two corners of its triangle, in winding order.
    const std::uint32_t begin = offset[vertex], end = offset[vertex + 1];
    pairs_.resize(2 * std::size_t{end - begin});
    std::int32_t* pair = pairs_.data();
    for (std::uint32_t at = begin; at < end; ++at, pair += 2) {
        const std::size_t corner = corners[at];
        const std::size_t first = corner - corner % 3;
        pair[0] = triangles[first + (corner + 1) % 3];
        pair[1] = triangles[first + (corner + 2) % 3];
    }
    builder_->build(static_cast<std::int32_t>(vertex), pairs_, ring_);
    return ring_;
}

namespace {

// The vertices not yet taken, handed out in chunks from both ends: the
// calling thread takes them from the bottom as the writer asks, the worker
// from the top, until the two meet. One word holds both ends (vertex counts
// fit in 31 bits), so that a claim is one compare-and-swap.
class VertexRange {
public:
    // With a `split`, the bottom's claims stop there and the top's too.
    explicit VertexRange(std::uint32_t count, std::uint32_t split = UINT32_MAX)
        : ends_(std::uint64_t{count} << 32), split_(split) {}

    // The next chunk of at most `most` vertices from the bottom (or the top),
    // its first vertex and size; false when none are left.
    bool claimLow(std::uint32_t most, std::uint32_t& first, std::uint32_t& count) { return claim(most, true, first, count); }
    bool claimHigh(std::uint32_t most, std::uint32_t& first, std::uint32_t& count) { return claim(most, false, first, count); }

private:
    bool claim(std::uint32_t most, bool low, std::uint32_t& first, std::uint32_t& count) {
        std::uint64_t ends = ends_.load();
        for (;;) {
            const auto bottom = static_cast<std::uint32_t>(ends), top = static_cast<std::uint32_t>(ends >> 32);
            if (bottom >= top) return false;
            if (split_ != UINT32_MAX && (low ? bottom >= split_ : top <= split_)) return false;
            count = std::min(most, top - bottom);
            if (split_ != UINT32_MAX) count = std::min(count, low ? split_ - bottom : top - split_);
            first = low ? bottom : top - count;
            const std::uint64_t next = low ? (std::uint64_t{top} << 32) | (bottom + count)
                                           : (std::uint64_t{top - count} << 32) | bottom;
            if (ends_.compare_exchange_weak(ends, next)) return true;
        }
    }

    std::atomic<std::uint64_t> ends_;
    std::uint32_t split_;
};

constexpr std::uint32_t kRingChunk = 4096;

}  // namespace

struct ParallelRings::Worker {
    // The rings of `count` vertices from `first` on, one after another: the
    // ring of vertex first + i ends at ends[i].
    struct Chunk {
        std::size_t first = 0;
        std::vector<std::uint32_t> ends;
        std::vector<std::int32_t> indices;

        std::size_t size() const { return ends.size(); }
        std::span<const std::int32_t> ring(std::size_t i) const {
            const std::uint32_t begin = i == 0 ? 0 : ends[i - 1];
            return {indices.data() + begin, ends[i] - begin};
        }
    };

    Worker(std::int32_t nrOfVertices, std::uint32_t meeting)
        : range(static_cast<std::uint32_t>(std::max(nrOfVertices, 0)), meeting) {}

    VertexRange range;
    std::optional<NeighborRings> table;  // the worker's, built by the worker
    std::optional<NeighborRings> lower;  // the calling thread's reader of the same table
    std::size_t lowEnd = 0;              // the end of the calling thread's latest chunk
    bool meetingPassed = false;          // every vertex from lowEnd on is the worker's
    std::vector<Chunk> chunks;           // the worker's, from the top down
    std::size_t chunkAt = 0;             // the calling thread's place in them, plus one
    std::promise<void> tableBuilt;
    std::future<void> tableReady = tableBuilt.get_future();
    // The corners go in, and the rings are built, only once the calling
    // thread asks for its first ring: until then that thread holds the
    // surface's other arrays, and the table would come on top of them. Then
    // each thread fills half of the table.
    std::promise<void> goSignal;
    std::future<void> go = goSignal.get_future();
    bool signalled = false;  // the calling thread's
    std::shared_ptr<RingCorners> corners;  // the table being filled
    std::size_t half = 0;                  // the calling thread fills the corners of the vertices below it
    std::promise<void> roomMade;
    std::future<void> roomReady = roomMade.get_future();
    std::promise<void> lowerFilled;
    std::future<void> lowerReady = lowerFilled.get_future();
    std::exception_ptr failure;
    std::atomic<bool> stop{false};
    std::thread thread;

    void run(std::int32_t nrOfVertices, std::span<const std::int32_t> triangles) {
        try {
            // The counts while the calling thread still works on the other
            // arrays; the corners, and the rings, once it has let them go.
            corners = countedCorners(nrOfVertices, triangles);
            half = (corners->offset.size() - 2) / 2;
            go.wait();
            if (stop.load()) return;  // let go by the destructor: no ring is wanted
            makeRoomForCorners(*corners);
        } catch (...) {
            roomMade.set_exception(std::current_exception());
            return;
        }
        roomMade.set_value();
        fillCorners(*corners, half, corners->offset.size() - 2);
        lowerReady.wait();
        finishCorners(*corners);
        try {
            table.emplace(corners, nrOfVertices);
        } catch (...) {
            tableBuilt.set_exception(std::current_exception());
            return;
        }
        tableBuilt.set_value();
        try {
            std::uint32_t first = 0, count = 0;
            while (!stop.load(std::memory_order_relaxed) && range.claimHigh(kRingChunk, first, count)) {
                Chunk& chunk = chunks.emplace_back();
                chunk.first = first;
                chunk.ends.reserve(count);
                chunk.indices.reserve(std::size_t{count} * 6);  // six neighbours each on most meshes
                for (std::size_t v = first; v < std::size_t{first} + count; ++v) {
                    const std::span<const std::int32_t> ring = table->ring(v);
                    chunk.indices.insert(chunk.indices.end(), ring.begin(), ring.end());
                    chunk.ends.push_back(static_cast<std::uint32_t>(chunk.indices.size()));
                }
            }
        } catch (...) {
            failure = std::current_exception();
        }
    }

    void letGo() {
        if (!signalled) goSignal.set_value();
        signalled = true;
    }

    void join() {
        letGo();
        if (thread.joinable()) thread.join();
    }
};

ParallelRings::ParallelRings(std::int32_t nrOfVertices, std::span<const std::int32_t> triangles,
                             std::uint32_t meeting)
    : worker_(std::make_unique<Worker>(nrOfVertices, meeting)) {
    Worker& w = *worker_;
    w.thread = std::thread([&w, nrOfVertices, triangles] { w.run(nrOfVertices, triangles); });
}

ParallelRings::~ParallelRings() {
    worker_->stop = true;
    worker_->join();
}

std::span<const std::int32_t> ParallelRings::ring(std::size_t vertex) {
    Worker& w = *worker_;
    w.letGo();
    if (!w.meetingPassed && vertex >= w.lowEnd) {
        if (!w.lower) {
            w.roomReady.get();  // rethrows when there is no memory for the table
            fillCorners(*w.corners, 0, w.half);
            w.lowerFilled.set_value();
            w.tableReady.get();  // rethrows when the table could not be built
            w.lower.emplace(w.table->sibling());
        }
        std::uint32_t first = 0, count = 0;
        if (w.range.claimLow(kRingChunk, first, count)) {
            w.lowEnd = std::size_t{first} + count;
        } else {
            w.meetingPassed = true;
            w.join();
            if (w.failure) std::rethrow_exception(w.failure);
            w.chunkAt = w.chunks.size();
        }
    }
    if (vertex < w.lowEnd) return w.lower->ring(vertex);
    // The worker's chunks lie from the top down: the lowest is the last.
    // Each goes as soon as the rings above it are asked for.
    while (w.chunkAt > 0 && vertex >= w.chunks[w.chunkAt - 1].first + w.chunks[w.chunkAt - 1].size()) {
        Worker::Chunk& passed = w.chunks[w.chunkAt - 1];
        std::vector<std::uint32_t>().swap(passed.ends);
        std::vector<std::int32_t>().swap(passed.indices);
        --w.chunkAt;
    }
    const Worker::Chunk& chunk = w.chunks.at(w.chunkAt - 1);
    return chunk.ring(vertex - chunk.first);
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
