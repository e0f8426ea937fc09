// GIFTI statistic and shape arrays to SMP surface maps.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "common/gifti.h"
#include "common/map_types.h"
#include "formats/smp_file.h"

namespace meshbridge {

// The map type of a GIFTI intent; NIFTI_INTENT_SHAPE asks whether the map is
// a cortical thickness (13) or a curvature (1) map.
std::int32_t mapTypeForIntent(int intent);

// A readable name of an intent ("Unknown" for codes without one).
const char* intentName(int intent);

// The value of the last "Name" or "name" entry of array i's metadata, else the
// name of its intent.
std::string mapNameFromMetadata(const gifti_image& image, int i);

// The distribution parameters of array i from its "intent_p1" to "intent_p3"
// metadata, else asked from the user for map types that need them. False
// when the user cancelled a question.
bool getDistributionParameters(const gifti_image& image, int i, std::int32_t mapType,
                               std::array<float, 3>& params);

// The map import.
// `outputName` is the file written; empty, the input's name with its extension replaced.
bool importSurfaceMap(const gifti_image& image, const std::string& path, bool printToLogtab, bool openInHost,
                      const std::string& outputName = {});

// Creates the maps of `smp` (their settings) on the host's current surface.
bool createSmpInHost(const SmpData& smp);

}  // namespace meshbridge
