// Two modes, chosen by the first vertex's word:
//  - curvature (the word is below 0x3F000000): key 0 "Convex Curvature" and
//    key 1 "Concave Curvature" with the surface's curvature colours; a vertex
//    gets key 1 for the concave word 1 and key 0 for any other curvature word.
//  - own colours: one entry per distinct own-colour word in ascending order,
//    key = word - 0x3F000000 (the packed red, green and blue), label "Unknown".
// A mesh that mixes both gets the entries of the other kind too: own colours
// in curvature mode get keys 2, 3, ... in ascending order of their words;
// curvature words in own-colour mode get the keys 16777216 (convex) and
// 16777217 (concave), beyond every packed colour (or the two keys after the
// highest colour key, for words from 0x40000000 on). Every vertex thus has a
// key with an entry, no two entries share a key, and no key is negative.
#include "export/surface_colors_export.h"

#include <algorithm>
#include <map>
#include <set>

#include "common/replace_extension.h"
#include "common/text.h"
#include "export/gifti_writing.h"
#include "host/host_calls.h"

namespace meshbridge {

namespace {

constexpr std::int32_t kConvexKeyBeyondColors = 0x1000000;
constexpr std::int32_t kConcaveKeyBeyondColors = 0x1000001;

bool isOwnColor(std::int32_t word) { return word >= kOwnColorBase; }

}  // namespace

bool exportSurfaceColors(const SrfData& srf, bool compressed) {
    const std::string path = replaceExtension(srf.fileName, ".label.gii");
    const std::size_t n = srf.vertexColors.size();
    if (n == 0) {
        logText("Export Color Label Table to GIfTI format did not succeed: the surface has no vertices.");
        return false;
    }

    const bool curvatureMode = !isOwnColor(srf.vertexColors[0]);
    std::set<std::int32_t> ownWords;
    bool hasCurvature = false;
    for (std::int32_t word : srf.vertexColors) {
        if (isOwnColor(word)) {
            ownWords.insert(word);
        } else {
            hasCurvature = true;
        }
    }

    std::vector<LabelEntry> entries;
    std::map<std::int32_t, std::int32_t> keyOfOwnWord;
    std::int32_t convexKey = 0, concaveKey = 1;
    if (curvatureMode) {
        entries.push_back({0, "Convex Curvature", srf.convexColor});
        entries.push_back({1, "Concave Curvature", srf.concaveColor});
        std::int32_t next = 2;
        for (std::int32_t word : ownWords) {
            keyOfOwnWord[word] = next;
            entries.push_back({next++, "Unknown", opaqueRgbaOfPacked(word - kOwnColorBase)});
        }
    } else {
        for (std::int32_t word : ownWords) {
            keyOfOwnWord[word] = word - kOwnColorBase;
            entries.push_back({word - kOwnColorBase, "Unknown", opaqueRgbaOfPacked(word - kOwnColorBase)});
        }
        if (hasCurvature) {
            // Beyond every key of a colour; words from 0x40000000 on give keys
            // from 0x1000000 on, so the curvature keys then move past them.
            const std::int32_t highest = ownWords.empty() ? -1 : *ownWords.rbegin() - kOwnColorBase;
            convexKey = std::max(kConvexKeyBeyondColors, highest + 1);
            concaveKey = std::max(kConcaveKeyBeyondColors, highest + 2);
            entries.push_back({convexKey, "Convex Curvature", srf.convexColor});
            entries.push_back({concaveKey, "Concave Curvature", srf.concaveColor});
        }
    }

    GiftiImagePtr image = createExportImage(1);
    bool written = false;
    if (image) {
        addStructureMetadata(*image, {srf.fileName});
        // Without compression the label array keeps the library's own encoding.
        // Label values are int32: readers of label files refuse other types.
        setArrayFields(*image->darray[0], NIFTI_INTENT_LABEL, NIFTI_TYPE_INT32,
                       {static_cast<int>(n)}, compressed, GIFTI_ENCODING_B64BIN);
        auto* keys = allocateArrayValues<std::int32_t>(*image, 0);
        if (keys && setLabelTable(*image, entries)) {
            for (std::size_t i = 0; i < n; ++i) {
                const std::int32_t word = srf.vertexColors[i];
                const std::int32_t key = isOwnColor(word) ? keyOfOwnWord[word] : (word == 1 ? concaveKey : convexKey);
                keys[i] = key;
            }
            written = writeGiftiFile(*image, path);
            if (!written) logWriteFailure(path);
        }
    }
    if (written) {
        logText(formatText("Exported Color Label Table to GIfTI format, name:\n %s", path.c_str()));
    } else {
        logText("Export Color Label Table to GIfTI format did not succeed.");
    }
    return written;
}

}  // namespace meshbridge
