// `meshbridge convert`: every file the import takes, found in folders and
// converted by the plug-in's own import, one process a file, without a
// question asked, and a report of each.
#pragma once

#include <string>

#include "standin/command_line.h"

namespace meshbridge::standin {

// Runs the conversions of `invocation` through imports of this program with
// the plug-in at `pluginPath`; the exit status of the run: 0 when every file
// recognised was converted, 1 when any was refused or left out, 2 for
// usage errors.
int runConvert(const Invocation& invocation, const std::string& pluginPath);

}  // namespace meshbridge::standin
