// GIFTI time series (one array per volume) to a time course on the host's
// current surface, which the host saves as an MTC file.
#pragma once

#include "formats/mtc_file.h"

namespace meshbridge {

// Creates the time course on the host's current surface and fills it.
bool createMtcInHost(const MtcData& mtc);

}  // namespace meshbridge
