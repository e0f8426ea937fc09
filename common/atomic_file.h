// Files are never written in place: the content goes to a temporary file in the
// target's folder, which replaces the target only once it is complete. A
// failed write leaves an existing target as it was and no temporary file
// behind. Before it takes the place of an existing file the new one is flushed
// to the disk, so that a crash cannot leave a damaged file where a good one
// stood; a file that replaces nothing is left to the system's own writing, as
// other programs' files are (a crash could lose it, but nothing else). A
// replacement keeps the replaced file's permission bits (and its owner and
// group where the process may set them); a target the user may not write is
// not replaced. On Linux the temporary file has no name until it is complete,
// so a killed process leaves nothing; elsewhere (and where the file system
// cannot do that) it has a short name of its own (".mb-" and random digits),
// so that any legal target name works and writers of one target at the same
// moment never meet (the last complete file wins). A target that is a
// symbolic link is written through: the new file takes the place of the file
// the link leads to (with that file's permissions), and the link stays.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

namespace meshbridge {

enum class FileMode { Binary, Text };

// Why the last failed write of this thread failed, such as "No space left on
// device"; empty after a write that succeeded.
const std::string& lastWriteFailure();

// Opens the temporary file in the given mode and lets `write` fill it; the
// target is replaced when `write` returns true and every byte was written.
bool writeFileAtomically(const std::string& path, FileMode mode,
                         const std::function<bool(std::FILE*)>& write);

// For libraries that write a file by name: `produce` writes the named
// temporary file, which then replaces the target if `produce` returned true.
bool produceFileAtomically(const std::string& path,
                           const std::function<bool(const std::string& temporaryPath)>& produce);

// lastWriteFailure() after a refusal to replace a file the user may not write.
inline constexpr const char* kReadOnlyTarget = "the file is read-only";

// For tests: temporary files with names also where the system could create
// them without (as on Windows and on file systems without O_TMPFILE).
void forceNamedTemporaryFiles(bool force);

}  // namespace meshbridge
