// SRF surface to GIFTI surface file (".surf.gii").
#pragma once

#include <string>

#include "formats/srf_file.h"

namespace meshbridge {

// The SRF file `name` (or the host's current surface) as the exports take it:
// without normals and neighbour lists, its header logged, every triangle
// corner checked to be one of its vertices. A failed load (version -1), the
// log saying why, otherwise.
SrfData loadSrfForExport(const std::string& name, bool fromFile);

// Exports the SRF file `name` (or the host's current surface when fromFile is
// false) beside it, with its colours in a ".label.gii" file when asked. True
// when every file asked for was written.
bool exportSurface(const std::string& name, bool fromFile, bool doBinaryExport, bool doExportColors);

}  // namespace meshbridge
