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

struct HostMap {
    std::array<char, kHostMapNameCapacity> name{};  // the buffer a HostSmpInfo points to
    HostSmpInfo settings{};                         // its name pointer is not kept
    std::vector<float> values;
};

struct HostTimeCourse {
    std::vector<std::vector<float>> courses;  // one per vertex, nrOfVolumes values each
    std::vector<float*> pointers;             // what ztGetMTCOfCurrentSRF hands out
    HostMtcInfo info{};
    std::string savedAs;
    std::string linkedTo;
};

struct HostPatch {
    HostPoiInfo info{};
    std::vector<std::int32_t> vertices;
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

    // Maps of the current surface, read from an SMP file as the host does.
    bool openMaps(const std::string& path, std::string& error);
    const std::vector<HostMap>& maps() const { return maps_; }
    bool describeMaps(HostSmpList& list);
    float* describeMap(int index, HostSmpInfo& info);
    bool createMap();
    bool setMapParameters(int index, const HostSmpInfo& info);
    bool loadMapsFile(const std::string& path);
    // One line per map, for the report of what a command left in the host.
    std::string mapsReport() const;
    bool mapsChanged() const { return mapsChanged_; }

    // The time course of the current surface.
    bool openTimeCourse(const std::string& path, std::string& error);
    bool createTimeCourse(int volumes);
    float** describeTimeCourse(HostMtcInfo& info);
    bool setTimeCourseParameters(const HostMtcInfo& info);
    bool saveTimeCourse(const std::string& path);
    bool linkTimeCourse(const std::string& path);
    bool timeCourseChanged() const { return timeCourseChanged_; }
    std::string timeCourseReport() const;

    // Patches of interest of the current surface.
    bool openPatches(const std::string& path, std::string& error);
    bool describePatches(HostPoiList& list);
    std::int32_t* describePatch(int index, HostPoiInfo& info);
    bool loadPatchesFile(const std::string& path);
    bool patchesChanged() const { return patchesChanged_; }
    std::string patchesReport() const;

private:
    bool hasSurface_ = false;
    HostSurface surface_;
    std::vector<HostMap> maps_;
    std::string mapsFileName_;
    bool mapsChanged_ = false;
    bool hasTimeCourse_ = false;
    bool timeCourseChanged_ = false;
    HostTimeCourse timeCourse_;
    std::vector<HostPatch> patches_;
    std::string patchesFileName_;
    std::int32_t patchTimeCourses_ = 0;
    bool patchesChanged_ = false;
};

}  // namespace meshbridge::standin
