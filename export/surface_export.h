// SRF surface to GIFTI surface file (".surf.gii").
#pragma once

#include <string>

namespace meshbridge {

// Exports the SRF file `name` (or the host's current surface when fromFile is
// false) beside it, with its colours in a ".label.gii" file when asked. True
// when every file asked for was written.
bool exportSurface(const std::string& name, bool fromFile, bool doBinaryExport, bool doExportColors);

}  // namespace meshbridge
