#include "import/import_support.h"

#include "common/gifti_values.h"
#include "common/replace_extension.h"
#include "common/text.h"
#include "host/host_calls.h"

namespace meshbridge {

bool refuseImport(const char* what, const std::string& path, const std::string& problem) {
    const std::string text = formatText("%s in %s cannot be imported: %s.", what, path.c_str(), problem.c_str());
    logText(text);
    messageBox(text);
    return false;
}

namespace {

std::string& outputFolder() {
    static std::string folder;
    return folder;
}

bool isPerVertexList(const giiDataArray& array, int index, std::int32_t count, std::string& problem) {
    if (count >= 0 && announcedValueCount(array) == static_cast<std::uint64_t>(count) && array.dims[0] == count)
        return true;
    problem = formatText("data array %d is not a list of %d values like the first", index, count);
    return false;
}

}  // namespace

std::string outputBaseFor(const std::string& inputPath) {
    const std::string& folder = outputFolder();
    if (folder.empty()) return inputPath;
    const char last = folder.back();
    if (last == '/' || last == '\\') return folder + lastPathComponent(inputPath);
    // The folder's own separator: a Windows path written with "\\" keeps it.
    const bool backslashes = folder.find('\\') != std::string::npos && folder.find('/') == std::string::npos;
    return folder + (backslashes ? "\\" : "/") + lastPathComponent(inputPath);
}

ScopedOutputFolder::ScopedOutputFolder(std::string folder) : previous_(std::move(outputFolder())) {
    outputFolder() = std::move(folder);
}

ScopedOutputFolder::~ScopedOutputFolder() { outputFolder() = std::move(previous_); }

bool perVertexFloats(giiDataArray& array, int index, std::int32_t count, HugePageVector<float>& converted,
                     std::span<float>& values, std::string& problem) {
    if (!isPerVertexList(array, index, count, problem)) return false;
    values = storedFloats(array);
    if (!values.empty()) return true;
    if (!perVertexValues(array, index, count, converted, problem)) return false;
    values = converted;
    return true;
}

bool perVertexValues(const giiDataArray& array, int index, std::int32_t count, HugePageVector<float>& values,
                     std::string& problem) {
    if (!isPerVertexList(array, index, count, problem)) return false;
    std::string why;
    if (floatValues(array, values, why)) return true;
    problem = formatText("data array %d cannot be read: %s", index, why.c_str());
    return false;
}

}  // namespace meshbridge
