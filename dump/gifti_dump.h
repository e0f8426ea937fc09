// The "Print" command for GIFTI files and the GIFTI header dump.
#pragma once

#include <string>

#include "common/gifti.h"

namespace meshbridge {

// The header text of a GIFTI image: its metadata and the attributes of every
// data array, with the coordinate transform of pointset arrays.
std::string giftiHeaderText(const gifti_image& image, const std::string& fileName);

// Builds the header text and sends it through the output stage (text-mode info file).
bool dumpGiftiHeader(const gifti_image& image, bool toFile, bool toLog, const std::string& fileName);

// Asks for a GIFTI file and dumps its header. True when the header was dumped;
// false when nothing was chosen or the file could not be read.
bool printGiftiFile(bool toFile, bool toLog);

// Reads a GIFTI file for a command; when it cannot be read, logs "Reading of
// GIfTI file did not succeed: PATH" and, where known, a line saying why.
GiftiImagePtr readGiftiFileOrLog(const std::string& path, bool readData);

}  // namespace meshbridge
