// The last stage of every header dump: the text goes to an info file beside the
// dumped file, to the host's log, or both.
#pragma once

#include <string>

#include "common/atomic_file.h"

namespace meshbridge {

// Name of the info file of a dumped file: "lh.surf.gii" gives "lh.surf_info.txt".
std::string infoFileName(const std::string& dumpedFile);

// With toFile, writes `text` to the info file of `dumpedFile` (in `mode`) and
// logs "Wrote the header info to disk."; with toLog, logs the whole text in one
// line. A failure logs `failureLine` (and why the file could not be written),
// skips whatever is left of both, and gives false.
bool outputHeaderDump(const std::string& text, const std::string& dumpedFile, bool toFile,
                      bool toLog, FileMode mode, const char* failureLine);

}  // namespace meshbridge
