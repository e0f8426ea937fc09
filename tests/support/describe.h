// Records and GIFTI arrays written out as short texts, so that one comparison
// states a whole result and a failure shows all of it.
#pragma once

#include <charconv>
#include <cstdint>
#include <string>
#include <vector>

#include "common/gifti.h"
#include "formats/poi_file.h"

namespace meshbridge::test {

// A float in the fewest digits that read back as it.
inline std::string shortest(float value) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

// The values of a read array, none when it holds no data.
template <class T>
std::vector<T> valuesOf(const giiDataArray& array) {
    const auto* data = static_cast<const T*>(array.data);
    return data ? std::vector<T>(data, data + array.nvals) : std::vector<T>{};
}

// A metadata value, or "<absent>".
inline std::string metaOf(const nvpairs& meta, const std::string& name) {
    for (int i = 0; i < meta.length; ++i)
        if (name == meta.name[i]) return meta.value[i] ? meta.value[i] : "";
    return "<absent>";
}

// "INTENT DATATYPE DIMS ENCODING NAME=VALUE;..." of an array, DIMS as 3x2.
inline std::string summary(const giiDataArray& array) {
    std::string text = std::to_string(array.intent) + ' ' + std::to_string(array.datatype) + ' ';
    for (int d = 0; d < array.num_dim; ++d) text.append(d ? "x" : "").append(std::to_string(array.dims[d]));
    text.append(1, ' ').append(gifti_encoding_list[array.encoding]).append(1, ' ');
    for (int i = 0; i < array.meta.length; ++i) text.append(array.meta.name[i]).append(1, '=').append(array.meta.value[i]).append(1, ';');
    return text;
}

// "KEY NAME R G B A" per label, one line each; components as bytes (x 255, rounded).
inline std::string describe(const giiLabelTable& table) {
    std::string text;
    for (int i = 0; i < table.length; ++i) {
        text += std::to_string(table.key[i]);
        text += ' ';
        if (table.label[i]) text += table.label[i];
        for (int c = 0; c < 4; ++c) {
            text += ' ';
            text += std::to_string(static_cast<int>(table.rgba[4 * i + c] * 255.0f + 0.5f));
        }
        text += '\n';
    }
    return text;
}

// "NAME [VERTICES] label L colour C" per patch, one line each.
inline std::string describe(const PoiData& poi) {
    std::string text;
    for (const PoiPatch& patch : poi.patches) {
        text += patch.name + " [";
        for (std::size_t i = 0; i < patch.vertices.size(); ++i) {
            if (i) text += ' ';
            text += std::to_string(patch.vertices[i]);
        }
        text += "] label " + std::to_string(patch.labelVertex) + " colour " + std::to_string(patch.color) + "\n";
    }
    return text;
}

}  // namespace meshbridge::test
