#include "import/surface_colors.h"

#include <map>
#include <string>

#include "common/colors.h"
#include "common/gifti_values.h"
#include "common/huge_pages.h"
#include "formats/srf_file.h"
#include "host/host_calls.h"

namespace meshbridge {

std::int32_t colorWordFromRgba(float red, float green, float blue, float alpha) {
    if (alpha == 0.0f) return kOwnColorBase;
    return kOwnColorBase + packedRgb(colorByteTruncated(red), colorByteTruncated(green), colorByteTruncated(blue));
}

HugePageVector<std::int32_t> convertGiftiColors(const gifti_image& source, std::int32_t nrOfVertices) {
    HugePageVector<std::int32_t> words;
    words.resize(static_cast<std::size_t>(std::max(nrOfVertices, 0)));
    const giiLabelTable& table = source.labeltable;
    if (table.length <= 0) {
        logText("No predefined colors present (length = 0). Colors will be default Corvana colors (blue).");
        return words;
    }
    logText("Converting GIFTI colors to Corvana colors...");
    std::map<std::int32_t, std::int32_t> wordOfKey;
    for (int i = 0; i < table.length && table.key; ++i) {
        // A table without colours gives its labels no colour of their own.
        if (!table.rgba) continue;
        const float* rgba = table.rgba + 4 * i;
        wordOfKey[table.key[i]] = colorWordFromRgba(rgba[0], rgba[1], rgba[2], rgba[3]);
    }

    const giiDataArray* labels = arrayWithIntent(source, {NIFTI_INTENT_LABEL, NIFTI_INTENT_NONE});
    logText("Assigning converted colors to mesh...");
    if (!labels) return words;
    const std::int64_t count = labels->dims[0];
    HugePageVector<std::int32_t> keys;
    std::string problem;
    if (count < 1 || count > nrOfVertices || !int32Values(*labels, keys, problem) ||
        keys.size() < static_cast<std::size_t>(count))
        return words;
    for (std::int64_t i = 0; i < count; ++i) {
        const auto found = wordOfKey.find(keys[static_cast<std::size_t>(i)]);
        if (found != wordOfKey.end()) words[static_cast<std::size_t>(i)] = found->second;
    }
    return words;
}

}  // namespace meshbridge
