// The "Export" command: choose the host's file (or take its current document)
// and hand it to the converter of its kind.
#pragma once

#include <string>

namespace meshbridge {

// The converters other than the surface export, one per kind of file.
bool exportTimeSeries(const std::string& name, bool fromFile, bool doBinaryExport);
bool exportSurfaceMap(const std::string& name, bool fromFile, bool doBinaryExport);
bool exportPatchesOfInterest(const std::string& name, bool fromFile, bool doBinaryExport, bool labelsPerVertex);

}  // namespace meshbridge
