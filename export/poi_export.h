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

// For each vertex of the mesh (poi.nrOfMeshVertices) the index of the first
// patch that holds it, -1 where none does; patches named `skipped` are left
// out. The log counts the vertices in more than one patch. Every patch vertex
// must lie in the mesh (patchesInsideTheirMesh).
std::vector<std::int32_t> firstPatchOfVertices(const PoiData& poi, const std::string& skipped = {});

// Whether the POI gives its mesh 1 to kMostMeshVertices vertices and every
// patch vertex lies inside it, as a label for each vertex needs; else logs
// "Export to FORMAT did not succeed: ..." with what `needs` it.
bool patchesInsideTheirMesh(const PoiData& poi, const char* format, const char* needs);

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
