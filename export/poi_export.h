// POI patches to a GIFTI label file (".label.gii").
#pragma once

#include <string>

namespace meshbridge {

// With `labelsPerVertex`, one label for each vertex of the mesh instead of
// node indices and their labels.
bool exportPatchesOfInterest(const std::string& name, bool fromFile, bool doBinaryExport, bool labelsPerVertex);

}  // namespace meshbridge
