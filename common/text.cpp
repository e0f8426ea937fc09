#include "common/text.h"

#include <cstdio>

namespace meshbridge {

namespace {

void appendFormatted(std::string& out, const char* format, std::va_list args) {
    std::va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length <= 0) return;
    const std::size_t start = out.size();
    out.resize(start + static_cast<std::size_t>(length) + 1);
    std::vsnprintf(out.data() + start, static_cast<std::size_t>(length) + 1, format, args);
    out.resize(start + static_cast<std::size_t>(length));
}

}  // namespace

std::string formatText(const char* format, ...) {
    std::string out;
    std::va_list args;
    va_start(args, format);
    appendFormatted(out, format, args);
    va_end(args);
    return out;
}

void appendText(std::string& out, const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    appendFormatted(out, format, args);
    va_end(args);
}

}  // namespace meshbridge
