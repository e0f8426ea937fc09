#include "common/replace_extension.h"

#include <cstring>

#include "common/text_encoding.h"

namespace meshbridge {

namespace {

// Whether `byte` starts a character of two bytes in the double-byte code page
// `codePage` (Japanese 932, Simplified Chinese 936, Korean 949, Traditional
// Chinese 950); the second byte may be that of "\" (0x5C), as in 構 and 表.
bool isLeadByte(int codePage, unsigned char byte) {
    switch (codePage) {
        case 932: return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
        case 936:
        case 949:
        case 950: return byte >= 0x81 && byte <= 0xFE;
        default: return false;
    }
}

// The last "/" or "\" of `path` that is a character of its own in the host's
// code page; npos when there is none.
std::size_t lastSeparator(const std::string& path) {
    const int codePage = hostCodePage();
    std::size_t last = std::string::npos;
    for (std::size_t at = 0; at < path.size(); ++at) {
        const auto byte = static_cast<unsigned char>(path[at]);
        if (isLeadByte(codePage, byte)) {
            ++at;  // its second byte is no separator
        } else if (byte == '/' || byte == '\\') {
            last = at;
        }
    }
    return last;
}

}  // namespace

std::string replaceExtension(const std::string& name, const std::string& suffix) {
    if (name.empty()) return "''" + suffix;
    const std::size_t separator = lastSeparator(name);
    const std::size_t componentStart = separator == std::string::npos ? 0 : separator + 1;
    // No second byte of a double-byte character is a ".".
    const std::size_t dot = name.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && dot > componentStart;
    return (hasExtension ? name.substr(0, dot) : name) + suffix;
}

std::string lastPathComponent(const std::string& path) {
    const std::size_t separator = lastSeparator(path);
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

bool hasExtension(const std::string& path, const char* extension) {
    const std::string name = lastPathComponent(path);
    const std::size_t length = std::strlen(extension);
    return name.size() > length && name.compare(name.size() - length, length, extension) == 0;
}

}  // namespace meshbridge
