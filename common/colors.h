// Colours as the host packs them, and colour components as bytes.
#pragma once

#include <cstdint>

namespace meshbridge {

// red * 65536 + green * 256 + blue, as the host's patches and the own colours
// of surfaces hold a colour.
constexpr std::int32_t packedRgb(std::int32_t red, std::int32_t green, std::int32_t blue) {
    return red * 65536 + green * 256 + blue;
}

// A colour component from 0 to 1 as a byte, 0 for NaN: truncated, as surface
// colours are taken from a label table ...
inline std::int32_t colorByteTruncated(float component) {
    const float scaled = component * 255.0f;
    if (!(scaled > 0.0f)) return 0;
    if (scaled >= 255.0f) return 255;
    return static_cast<std::int32_t>(scaled);
}

// ... and rounded, as patch colours are.
inline std::int32_t colorByteRounded(float component) {
    const double scaled = static_cast<double>(component * 255.0f) + 0.5;
    if (!(scaled > 0.0)) return 0;
    return scaled >= 255.0 ? 255 : static_cast<std::int32_t>(scaled);
}

}  // namespace meshbridge
