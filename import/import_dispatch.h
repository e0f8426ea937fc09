// The "Import" command: choose a GIFTI file, classify it by the intents of its
// data arrays and hand it to one converter.
#pragma once

#include <set>
#include <string>

#include "common/gifti.h"

namespace meshbridge {

enum class GiftiContent { Surface, TimeSeries, SurfaceMap, LabelTable, Unsupported };

// The distinct intents of the image's arrays, every statistic intent (2 to 23)
// and NIFTI_INTENT_SHAPE entered as 2.
std::set<int> classifiedIntents(const gifti_image& image);

// What the image holds, tested in the order surface, time series, map, labels.
GiftiContent classifyGifti(const gifti_image& image);

// "Import": a GIFTI file becomes one of the host's own files. With
// `asTimeCourse`, a file of plain arrays (maps of any intent, NIFTI_INTENT_NONE
// included) becomes a time course, one volume an array, as Workbench's
// metric files of a separated dense time series need.
bool importGiftiFile(int fileTypeId, bool printToLogtab, bool openInHost, bool reverseWinding,
                     bool addColorsFile, bool asTimeCourse = false);

}  // namespace meshbridge
