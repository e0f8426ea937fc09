#include "standin/host_documents.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace meshbridge::standin {

namespace {

// Little-endian values from a file held in memory, bounds-checked.
class Bytes {
public:
    explicit Bytes(std::vector<unsigned char> bytes) : bytes_(std::move(bytes)) {}

    template <class T>
    bool get(T& value) {
        if (bytes_.size() - at_ < sizeof(T)) return false;
        unsigned char raw[sizeof(T)];
        for (std::size_t i = 0; i < sizeof(T); ++i) raw[i] = bytes_[at_ + i];  // stored little-endian
        std::memcpy(&value, raw, sizeof(T));
        at_ += sizeof(T);
        return true;
    }

    template <class T>
    bool getArray(std::vector<T>& values, std::int64_t count) {
        if (count < 0 || static_cast<std::uint64_t>(count) > (bytes_.size() - at_) / sizeof(T)) return false;
        values.resize(static_cast<std::size_t>(count));
        for (T& value : values) get(value);
        return true;
    }

    bool skip(std::int64_t count) {
        if (count < 0 || static_cast<std::uint64_t>(count) > bytes_.size() - at_) return false;
        at_ += static_cast<std::size_t>(count);
        return true;
    }

private:
    std::vector<unsigned char> bytes_;
    std::size_t at_ = 0;
};

}  // namespace

HostDocuments& HostDocuments::current() {
    static HostDocuments documents;
    return documents;
}

bool HostDocuments::openSurface(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    Bytes file(std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {}));
    HostSurface surface;
    float version = 0, color[8];
    std::int32_t reserved = 0, vertices = 0, triangles = 0;
    bool ok = file.get(version) && file.get(reserved) && file.get(vertices) && file.get(triangles) &&
              file.get(surface.center[0]) && file.get(surface.center[1]) && file.get(surface.center[2]);
    ok = ok && file.getArray(surface.x, vertices) && file.getArray(surface.y, vertices) &&
         file.getArray(surface.z, vertices) && file.getArray(surface.normalX, vertices) &&
         file.getArray(surface.normalY, vertices) && file.getArray(surface.normalZ, vertices);
    for (float& c : color) ok = ok && file.get(c);
    ok = ok && file.getArray(surface.colors, vertices);
    for (std::int32_t v = 0; ok && v < vertices; ++v) {
        std::int32_t count = 0;
        ok = file.get(count) && file.skip(4 * static_cast<std::int64_t>(count));
    }
    ok = ok && file.getArray(surface.triangles, 3 * static_cast<std::int64_t>(triangles));
    if (!ok || !(version >= 3.0f && version <= 4.0f)) {
        error = path + " is not an SRF surface file of version 3 to 4";
        return false;
    }
    surface.convex = {color[0], color[1], color[2]};
    surface.concave = {color[4], color[5], color[6]};
    surface.fileName = path;
    surface_ = std::move(surface);
    hasSurface_ = true;
    return true;
}

bool HostDocuments::describeSurface(HostSrfInfo& info) {
    if (!hasSurface_) return false;
    std::memset(&info, 0, sizeof info);
    HostSurface& s = surface_;
    info.nrOfVertices = static_cast<std::int32_t>(s.x.size());
    info.nrOfTriangles = static_cast<std::int32_t>(s.triangles.size() / 3);
    info.vertexX = s.x.data();
    info.vertexY = s.y.data();
    info.vertexZ = s.z.data();
    info.normalX = s.normalX.data();
    info.normalY = s.normalY.data();
    info.normalZ = s.normalZ.data();
    info.colors = s.colors.data();
    info.convexRed = s.convex[0];
    info.convexGreen = s.convex[1];
    info.convexBlue = s.convex[2];
    info.concaveRed = s.concave[0];
    info.concaveGreen = s.concave[1];
    info.concaveBlue = s.concave[2];
    info.meshCenterX = s.center[0];
    info.meshCenterY = s.center[1];
    info.meshCenterZ = s.center[2];
    info.triangles = s.triangles.data();
    info.fileName = s.fileName.c_str();
    return true;
}

}  // namespace meshbridge::standin
