#pragma once

#include <string>

namespace meshbridge {

// Replaces the extension of the last path component by `suffix`.
//
// The extension starts at the last "." of the last component (the text after
// the last "/" or "\"), unless that dot is the component's first character. A
// name without such a dot keeps its whole text and gets the suffix appended.
// An empty name gives "''" followed by the suffix. The suffix carries its own
// dot or separator:
//   lh.pial.surf.gii + ".srf"      -> lh.pial.surf.srf
//   C:\my.data\lh    + "_info.txt" -> C:\my.data\lh_info.txt
//   lh               + ".srf"      -> lh.srf
std::string replaceExtension(const std::string& name, const std::string& suffix);

// The last component of a path, after the last "/" or "\" (the whole path
// when it has neither): C:\fs/lh.white -> lh.white.
std::string lastPathComponent(const std::string& path);

// Whether the last component of `path` ends in `extension` and holds more
// than it: lh.thickness.mgz ends in ".mgz"; a file named ".mgz" does not.
bool hasExtension(const std::string& path, const char* extension);

}  // namespace meshbridge
