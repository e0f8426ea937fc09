// The "Import" command: choose a GIFTI file, classify it by the intents of its
// data arrays and hand it to one converter.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "common/gifti.h"

namespace meshbridge {

enum class GiftiContent { Surface, TimeSeries, SurfaceMap, LabelTable, Unsupported };

// The distinct intents of the image's arrays, every statistic intent (2 to 23)
// and NIFTI_INTENT_SHAPE entered as 2.
std::set<int> classifiedIntents(const gifti_image& image);

// What the image holds, tested in the order surface, time series, map, labels.
GiftiContent classifyGifti(const gifti_image& image);

// Refuses an import: a message box "<what> in <path> cannot be imported:
// <problem>." and false.
bool refuseImport(const char* what, const std::string& path, const std::string& problem);

// The values of data array `index` as floats, when the array is a list of
// `count` plain numbers (as many as the first array holds); else false with
// the problem.
bool perVertexValues(const giiDataArray& array, int index, std::int32_t count, std::vector<float>& values,
                     std::string& problem);

// The converters other than the surface import, one per kind of content.
// Takes the values out of the image: its data arrays are empty afterwards.
bool importTimeSeries(gifti_image& image, const std::string& path, bool printToLogtab, bool openInHost);
bool importSurfaceMap(const gifti_image& image, const std::string& path, bool printToLogtab, bool openInHost);
bool importLabelTable(const gifti_image& image, const std::string& path, bool printToLogtab, bool openInHost);

}  // namespace meshbridge
