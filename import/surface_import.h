// GIFTI surface (a pointset and a triangle array) to SRF file.
#pragma once

#include <string>

#include "common/gifti.h"

namespace meshbridge {

// Converts the surface in `image` (read from `path`) and writes it beside the
// GIFTI file with the extension ".srf". The vertex colours come from `colors`
// when given, else from `image` itself. True when the SRF file was written.
// Takes the coordinates and triangles out of the image: those data arrays are
// empty afterwards.
// `outputName` is the file written; empty, the input's name with its extension replaced.
bool importSurface(gifti_image& image, const std::string& path, bool printToLogtab, bool openInHost,
                   bool reverseWinding, const gifti_image* colors, const std::string& outputName = {});

}  // namespace meshbridge
