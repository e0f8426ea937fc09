// Files are never written in place: the content goes to a temporary file in the
// target's folder, which replaces the target only once it is complete. A failed
// write leaves an existing target as it was and no temporary file behind.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

namespace meshbridge {

enum class FileMode { Binary, Text };

// Opens the temporary file in the given mode and lets `write` fill it; the
// target is replaced when `write` returns true and every byte reached the disk.
bool writeFileAtomically(const std::string& path, FileMode mode,
                         const std::function<bool(std::FILE*)>& write);

// For libraries that write a file by name: `produce` writes the named
// temporary file, which then replaces the target if `produce` returned true.
bool produceFileAtomically(const std::string& path,
                           const std::function<bool(const std::string& temporaryPath)>& produce);

}  // namespace meshbridge
