#include "common/replace_extension.h"

namespace meshbridge {

std::string replaceExtension(const std::string& name, const std::string& suffix) {
    if (name.empty()) return "''" + suffix;
    const std::size_t separator = name.find_last_of("/\\");
    const std::size_t componentStart = separator == std::string::npos ? 0 : separator + 1;
    const std::size_t dot = name.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && dot > componentStart;
    return (hasExtension ? name.substr(0, dot) : name) + suffix;
}

std::string lastPathComponent(const std::string& path) {
    const std::size_t separator = path.find_last_of("/\\");
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

}  // namespace meshbridge
