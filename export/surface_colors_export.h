// The colours of a surface's vertices as a GIFTI label file.
#pragma once

#include "formats/srf_file.h"

namespace meshbridge {

// Writes the label file beside the surface (extension ".label.gii"): one key
// per vertex and a label table that gives every key its colour. True when the
// file was written.
bool exportSurfaceColors(const SrfData& srf, bool compressed);

}  // namespace meshbridge
