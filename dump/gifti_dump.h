// The "Print" command for GIFTI files and the GIFTI header dump.
#pragma once

#include <string>

#include "common/gifti.h"

namespace meshbridge {

// The header text of a GIFTI image: its metadata and the attributes of every
// data array, with the coordinate transform of pointset arrays.
std::string giftiHeaderText(const gifti_image& image, const std::string& fileName);

// Builds the header text and sends it through the output stage (text-mode info file).
void dumpGiftiHeader(const gifti_image& image, bool toFile, bool toLog, const std::string& fileName);

// Asks for a GIFTI file and dumps its header. True when the header was dumped;
// false when nothing was chosen or the file could not be read.
bool printGiftiFile(bool toFile, bool toLog);

}  // namespace meshbridge
