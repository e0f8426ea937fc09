// GIFTI statistic and shape arrays to SMP surface maps.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "common/gifti.h"
#include "common/map_types.h"
#include "formats/smp_file.h"

namespace meshbridge {

// What the user answered for the maps of one file, kept so that a file that
// becomes several map files (a CIFTI file's hemispheres) asks only once.
struct MapAnswers {
    std::optional<std::int32_t> shapeMapType;                // thickness (13) or curvature (1)
    std::map<std::int32_t, std::array<float, 3>> parameters;  // distribution parameters by map type
    std::string shapeQuestion;  // the thickness question for a file that is no GIFTI file; empty: GIFTI's
};

// The intent of maps whose file does not tell it (an overlay's frames, a
// CIFTI file's maps), as the user picks it from a numbered list; nullopt
// when cancelled.
std::optional<int> askMapIntent(const std::string& path);

// The map type of a GIFTI intent; NIFTI_INTENT_SHAPE asks whether the map is
// a cortical thickness (13) or a curvature (1) map (once, with `answers`).
std::int32_t mapTypeForIntent(int intent, MapAnswers* answers = nullptr);

// A readable name of an intent ("Unknown" for codes without one).
const char* intentName(int intent);

// The value of the last "Name" or "name" entry of array i's metadata, else the
// name of its intent.
std::string mapNameFromMetadata(const gifti_image& image, int i);

// The distribution parameters of array i from its "intent_p1" to "intent_p3"
// metadata, else asked from the user for map types that need them. False
// when the user cancelled a question.
bool getDistributionParameters(const gifti_image& image, int i, std::int32_t mapType,
                               std::array<float, 3>& params, MapAnswers* answers = nullptr);

// The map import.
// `outputName` is the file written; empty, the input's name with its extension replaced.
// With `answers`, each question is asked once for all the maps it covers.
bool importSurfaceMap(gifti_image& image, const std::string& path, bool printToLogtab, bool openInHost,
                      const std::string& outputName = {}, MapAnswers* answers = nullptr);

// Creates the maps of `smp` (their settings) on the host's current surface.
bool createSmpInHost(const SmpData& smp);

}  // namespace meshbridge
