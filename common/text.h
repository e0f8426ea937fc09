// printf-style formatting into strings sized to fit the result.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

namespace meshbridge {

#if defined(__MINGW32__)
// Formatting follows the C99 rules of mingw's own printf (see the build).
#define MESHBRIDGE_PRINTF(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#elif defined(__GNUC__)
#define MESHBRIDGE_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define MESHBRIDGE_PRINTF(fmt, args)
#endif

std::string formatText(const char* format, ...) MESHBRIDGE_PRINTF(1, 2);

// Appends the formatted text to `out`.
void appendText(std::string& out, const char* format, ...) MESHBRIDGE_PRINTF(2, 3);

// A text pointer from a C library that may be null, as a string.
inline std::string textOrEmpty(const char* text) { return text ? std::string(text) : std::string(); }

// A text in a fixed-size field of a host record, which may lack its
// terminating zero.
template <std::size_t N>
std::string textOfField(const char (&field)[N]) {
    std::size_t length = 0;
    while (length < N && field[length] != '\0') ++length;
    return std::string(field, length);
}

}  // namespace meshbridge
