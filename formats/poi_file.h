// POI files: named, coloured patches of interest on one surface, each a list
// of vertices, as text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/host_array.h"
#include "host/host_api.h"

namespace meshbridge {

struct PoiPatch {
    std::int32_t nrOfVertices = 0;
    std::string name;
    std::int32_t color = 0;  // red * 65536 + green * 256 + blue
    std::int32_t labelVertex = 0;
    std::string infoTextFile;
    HostArray<std::int32_t> vertices;  // borrowed from the host for its current patches
};

struct PoiData {
    std::int32_t version = 0;  // -1 marks a failed load
    std::string fromMeshFile;
    std::int32_t nrOfMeshVertices = 0;
    std::int32_t nrOfPOIs = 0;
    std::int32_t nrOfPOIMTCs = 0;
    std::string fileName;
    std::vector<PoiPatch> patches;
};

inline bool isFailedLoad(const PoiData& poi) { return poi.version == -1; }

// The file `name` (fromFile) or the host's current patches.
PoiData loadPoi(const std::string& name, bool fromFile);
bool readPoiFile(const std::string& name, PoiData& poi);
PoiData poiFromHost(const HostPoiList& list, std::int32_t nrOfMeshVertices);

// The text of a POI file (lines end in "\n"; the file is written in the
// platform's text mode).
std::string poiFileText(const PoiData& poi);
// Writes `poi` to its file name as it stands.
bool writePoiFile(const PoiData& poi);

std::string poiHeaderText(const PoiData& poi);
bool dumpPoiHeader(const PoiData& poi, bool toFile, bool toLog);
bool printPoiFile(bool askForFile, bool toFile, bool toLog);

}  // namespace meshbridge
