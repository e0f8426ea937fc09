// POI patches to a GIFTI label file (".label.gii").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "export/gifti_writing.h"
#include "formats/poi_file.h"

namespace meshbridge {

// With `labelsPerVertex`, one label for each vertex of the mesh instead of
// node indices and their labels.
bool exportPatchesOfInterest(const std::string& name, bool fromFile, bool doBinaryExport, bool labelsPerVertex);

// One label for each vertex of the mesh, as tools that read a label file as a
// map of the mesh need it: key 0 "???" (transparent) for vertices in no patch,
// key i + 1 for patch i (a patch named "???" is key 0); a vertex in several
// patches keeps its first, and the log counts such vertices. Fills `labels`
// (poi.nrOfMeshVertices of them; every patch vertex must lie in the mesh) and
// gives the label table.
std::vector<LabelEntry> labelsPerVertex(const PoiData& poi, std::int32_t* labels);

// One label per vertex takes 4 bytes a vertex; a count beyond any real mesh
// (such as a damaged file's) is refused rather than allocated.
inline constexpr std::int32_t kMostMeshVertices = 1 << 28;

}  // namespace meshbridge
