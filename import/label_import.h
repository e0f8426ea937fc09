// GIFTI label file to POI file: one patch per label-table entry, holding the
// vertices whose label value is the entry's key.
#pragma once

#include <string>

#include "common/gifti.h"

namespace meshbridge {

// The label import.
// `outputName` is the file written; empty, the input's name with its extension replaced.
bool importLabelTable(const gifti_image& image, const std::string& path, bool printToLogtab, bool openInHost,
                      const std::string& outputName = {});

}  // namespace meshbridge
