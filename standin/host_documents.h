// The host's current documents: what Corvana would have open while a command
// runs. The stand-in loads them from files named on its command line.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "host/host_api.h"

namespace meshbridge::standin {

struct HostSurface {
    std::string fileName;
    std::vector<float> x, y, z, normalX, normalY, normalZ;
    std::vector<std::int32_t> colors;
    std::vector<std::int32_t> triangles;
    std::array<float, 3> convex{}, concave{}, center{};
};

class HostDocuments {
public:
    static HostDocuments& current();

    // Reads an SRF file as the host does; false with `error` set when it cannot.
    bool openSurface(const std::string& path, std::string& error);
    bool hasSurface() const { return hasSurface_; }
    const HostSurface& surface() const { return surface_; }

    // Fills the host's record of the current surface (arrays stay the host's).
    bool describeSurface(HostSrfInfo& info);

private:
    bool hasSurface_ = false;
    HostSurface surface_;
};

}  // namespace meshbridge::standin
