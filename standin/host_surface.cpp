// The host's current surface.
#include "standin/host_documents.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "standin/file_bytes.h"

namespace meshbridge::standin {

HostDocuments& HostDocuments::current() {
    static HostDocuments documents;
    return documents;
}

bool HostDocuments::openSurface(const std::string& path, std::string& error) {
    bool opened = false;
    Bytes file(fileBytes(path, opened));
    if (!opened) {
        error = "cannot open " + path;
        return false;
    }
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
