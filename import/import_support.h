// What the GIFTI converters share: the refusal of an import and the values of
// per-vertex arrays.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/gifti.h"
#include "common/huge_pages.h"

namespace meshbridge {

// Refuses an import: the log line and message box "<what> in <path> cannot
// be imported: <problem>." and false.
bool refuseImport(const char* what, const std::string& path, const std::string& problem);

// The values of data array `index` as floats, when the array is a list of
// `count` plain numbers (as many as the first array holds); else false with
// the problem.
bool perVertexValues(const giiDataArray& array, int index, std::int32_t count, HugePageVector<float>& values,
                     std::string& problem);

// The same values without a copy where gifticlib holds them as floats already
// (else converted into `converted`); valid while the array keeps its data.
bool perVertexFloats(giiDataArray& array, int index, std::int32_t count, HugePageVector<float>& converted,
                     std::span<float>& values, std::string& problem);

// Where an import's results are named from: the input's own path, or, while
// an import into another folder runs, that folder joined with the input's
// last component (the results' names then follow from it as they would
// beside the input).
std::string outputBaseFor(const std::string& inputPath);

// Sends the results of the imports run in its lifetime into `folder` (empty:
// beside each input).
class ScopedOutputFolder {
public:
    explicit ScopedOutputFolder(std::string folder);
    ~ScopedOutputFolder();
    ScopedOutputFolder(const ScopedOutputFolder&) = delete;
    ScopedOutputFolder& operator=(const ScopedOutputFolder&) = delete;

private:
    std::string previous_;
};

}  // namespace meshbridge
