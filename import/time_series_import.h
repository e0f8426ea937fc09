// GIFTI time series (one array per volume) to a time course on the host's
// current surface, which the host saves as an MTC file.
#pragma once

#include <span>
#include <string>

#include "common/gifti.h"
#include "formats/mtc_file.h"

namespace meshbridge {

// Where the volumes come from: a time series (NIFTI_INTENT_TIME_SERIES
// arrays), or plain arrays imported as a time course on request, whose
// repetition time is asked for when the file gives none.
enum class TimeCourseSource { TimeSeries, PlainArrays };

// The time series import. Takes the values out of the image: its data arrays
// are empty afterwards.
// `outputName` is the file written; empty, the input's name with its extension replaced.
bool importTimeSeries(gifti_image& image, const std::string& path, bool printToLogtab, bool openInHost,
                      TimeCourseSource source = TimeCourseSource::TimeSeries, const std::string& outputName = {});

// Creates the time course of `mtc`'s header on the host's current surface and
// fills it from `volumes` (nrOfVolumes arrays of nrOfVertices values).
bool createMtcInHost(const MtcData& mtc, std::span<const float* const> volumes);

}  // namespace meshbridge
