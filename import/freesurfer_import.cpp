#include "import/freesurfer_import.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

#include "common/binary_io.h"
#include "common/replace_extension.h"
#include "common/text.h"
#include "export/gifti_writing.h"
#include "host/host_calls.h"
#include "import/import_support.h"
#include "import/map_import.h"

namespace meshbridge {

namespace {

// The part of the last component before `extension`, where it ends so.
std::string stemOf(const std::string& path, const char* extension) {
    std::string name = lastPathComponent(path);
    if (hasExtension(name, extension)) name.resize(name.size() - std::strlen(extension));
    return name;
}

// The bytes of the file; false when it cannot be read.
bool readFileBytes(const std::string& path, std::vector<unsigned char>& bytes) {
    FilePtr file = openFile(path, "rb");
    const std::int64_t size = file ? bytesLeftInFile(file.get()) : -1;
    if (size < 0) return false;
    bytes.resize(static_cast<std::size_t>(size));
    return std::fread(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
}

// The image of one array per block of `perArray` values.
GiftiImagePtr imageOfArrays(const HugePageVector<float>& values, std::int32_t perArray, std::int32_t arrays,
                            int intent) {
    GiftiImagePtr image = createExportImage(arrays);
    for (int a = 0; image && a < arrays; ++a) {
        setArrayFields(*image->darray[a], intent, NIFTI_TYPE_FLOAT32, {perArray}, false);
        float* data = allocateArrayValues<float>(*image, a);
        if (!data && perArray > 0) return nullptr;
        if (data) std::copy_n(values.begin() + static_cast<std::ptrdiff_t>(a) * perArray, perArray, data);
    }
    return image;
}

GiftiImagePtr surfaceImage(const FreeSurferSurface& surface) {
    GiftiImagePtr image = createExportImage(2);
    if (!image) return nullptr;
    const auto vertices = static_cast<int>(surface.xyz.size() / 3);
    const auto faces = static_cast<int>(surface.triangles.size() / 3);
    setArrayFields(*image->darray[0], NIFTI_INTENT_POINTSET, NIFTI_TYPE_FLOAT32, {vertices, 3}, false);
    setArrayFields(*image->darray[1], NIFTI_INTENT_TRIANGLE, NIFTI_TYPE_INT32, {faces, 3}, false);
    float* xyz = allocateArrayValues<float>(*image, 0);
    std::int32_t* triangles = allocateArrayValues<std::int32_t>(*image, 1);
    if ((!xyz && vertices > 0) || (!triangles && faces > 0)) return nullptr;
    std::copy(surface.xyz.begin(), surface.xyz.end(), xyz);
    std::copy(surface.triangles.begin(), surface.triangles.end(), triangles);
    return image;
}

// One label per vertex: the used entries of the colour table in table order,
// and "???" for vertices whose value the table does not hold.
GiftiImagePtr annotationImage(const FreeSurferAnnotation& annotation, const std::string& path) {
    std::map<std::int32_t, std::size_t> entryOfValue;  // the first entry of each value
    for (std::size_t e = 0; e < annotation.table.size(); ++e) entryOfValue.emplace(annotation.table[e].value(), e);
    constexpr std::size_t kNone = SIZE_MAX;
    std::vector<std::size_t> entryOfVertex(annotation.values.size(), kNone);
    std::vector<bool> used(annotation.table.size(), false);
    std::size_t outside = 0;
    for (std::size_t v = 0; v < annotation.values.size(); ++v) {
        const auto found = entryOfValue.find(annotation.values[v]);
        if (found == entryOfValue.end()) {
            ++outside;
        } else {
            entryOfVertex[v] = found->second;
            used[found->second] = true;
        }
    }
    std::vector<LabelEntry> entries;
    std::vector<std::int32_t> keyOfEntry(annotation.table.size(), -1);
    for (std::size_t e = 0; e < annotation.table.size(); ++e) {
        if (!used[e]) continue;
        const FreeSurferColorEntry& entry = annotation.table[e];
        keyOfEntry[e] = static_cast<std::int32_t>(entries.size());
        entries.push_back({keyOfEntry[e], entry.name,
                           {static_cast<float>(std::clamp(entry.red, 0, 255)) / 255.0f,
                            static_cast<float>(std::clamp(entry.green, 0, 255)) / 255.0f,
                            static_cast<float>(std::clamp(entry.blue, 0, 255)) / 255.0f, 1.0f}});
    }
    const auto unknownKey = static_cast<std::int32_t>(entries.size());
    if (outside > 0) {
        entries.push_back({unknownKey, "???", {0.0f, 0.0f, 0.0f, 0.0f}});
        logText(formatText("%zu of the %zu vertices of %s carry a value that its colour table does not hold: they form "
                           "the patch \"???\".",
                           outside, annotation.values.size(), path.c_str()));
    }
    GiftiImagePtr image = createExportImage(1);
    if (!image) return nullptr;
    setArrayFields(*image->darray[0], NIFTI_INTENT_LABEL, NIFTI_TYPE_INT32,
                   {static_cast<int>(annotation.values.size())}, false);
    std::int32_t* labels = allocateArrayValues<std::int32_t>(*image, 0);
    if (!labels && !annotation.values.empty()) return nullptr;
    for (std::size_t v = 0; v < entryOfVertex.size(); ++v)
        labels[v] = entryOfVertex[v] == kNone ? unknownKey : keyOfEntry[entryOfVertex[v]];
    if (!setLabelTable(*image, entries)) return nullptr;
    logText(formatText("%zu labels of the colour table's %zu are used.", entries.size() - (outside > 0 ? 1 : 0),
                       annotation.table.size()));
    return image;
}

// The listed vertices as one patch, named after the file.
GiftiImagePtr labelImage(const FreeSurferLabel& label, const std::string& path) {
    GiftiImagePtr image = createExportImage(2);
    if (!image) return nullptr;
    const auto count = static_cast<int>(label.vertices.size());
    setArrayFields(*image->darray[0], NIFTI_INTENT_NODE_INDEX, NIFTI_TYPE_INT32, {count}, false);
    setArrayFields(*image->darray[1], NIFTI_INTENT_LABEL, NIFTI_TYPE_INT32, {count}, false);
    std::int32_t* nodes = allocateArrayValues<std::int32_t>(*image, 0);
    std::int32_t* labels = allocateArrayValues<std::int32_t>(*image, 1);
    if ((!nodes || !labels) && count > 0) return nullptr;
    std::copy(label.vertices.begin(), label.vertices.end(), nodes);
    std::fill_n(labels, count, 1);
    // A label file has no colour of its own: its patch is shown in red.
    if (!setLabelTable(*image, {{1, stemOf(path, ".label"), {1.0f, 0.0f, 0.0f, 1.0f}}})) return nullptr;
    return image;
}

GiftiImagePtr overlayImage(const FreeSurferValues& overlay, const std::string& path, bool asTimeCourse) {
    std::optional<int> intent = NIFTI_INTENT_NONE;
    if (!asTimeCourse && !(intent = askMapIntent(path))) {
        logText(formatText("The import of %s is cancelled: no file was written.", path.c_str()));
        return nullptr;
    }
    GiftiImagePtr image = imageOfArrays(overlay.values, overlay.nrOfVertices, overlay.nrOfFrames, *intent);
    if (!image) return nullptr;
    const std::string stem = stemOf(stemOf(path, ".mgz"), ".mgh");
    for (int f = 0; f < overlay.nrOfFrames && !asTimeCourse; ++f)
        addArrayMetadata(*image->darray[f], "Name",
                         overlay.nrOfFrames == 1 ? stem : formatText("%s frame %d", stem.c_str(), f + 1));
    // The TR in milliseconds; below 100 a TimeStep would be taken for seconds.
    const float tr = overlay.repetitionTimeMs;
    if (asTimeCourse && tr > 0.0f && tr < 1e7f)
        addImageMetadata(*image, "TimeStep", tr >= 100.0f ? formatText("%g", static_cast<double>(tr))
                                                          : formatText("%g", static_cast<double>(tr) / 1000.0));
    return image;
}

// The whole read, which may run out of memory.
GiftiImagePtr readFreeSurferFileBytes(const std::string& path, FreeSurferKind kind, bool asTimeCourse,
                                      const std::string& what) {
    std::vector<unsigned char> bytes;
    std::string problem;
    if (!readFileBytes(path, bytes)) {
        refuseImport(what.c_str(), path, whyNotOpened(path));
        return nullptr;
    }
    if (kind == FreeSurferKind::CompressedOverlay) {
        std::vector<unsigned char> inflated;
        // The header first, then no more than it says the file holds.
        inflateGzip(bytes, kMghHeaderSize, inflated, problem);
        const std::uint64_t limit = mghOverlayMaximumSize(inflated);
        if (limit == 0 || !inflateGzip(bytes, limit, inflated, problem, GzipCheck::WholeStream)) {
            refuseImport(what.c_str(), path, problem.empty() ? "its header is no MGH header" : problem);
            return nullptr;
        }
        bytes = std::move(inflated);
    }
    logText(formatText("Reading %s: %s.", path.c_str(), freeSurferKindName(kind)));
    GiftiImagePtr image;
    bool parsed = false;
    switch (kind) {
        case FreeSurferKind::Surface: {
            FreeSurferSurface surface;
            parsed = parseFreeSurferSurface(bytes, surface, problem);
            std::vector<unsigned char>().swap(bytes);
            if (parsed) {
                logText(formatText("%zu vertices, %zu triangles; %s", surface.xyz.size() / 3,
                                   surface.triangles.size() / 3, surface.createdBy.c_str()));
                image = surfaceImage(surface);
            }
            break;
        }
        case FreeSurferKind::QuadSurface: {
            FreeSurferSurface surface;
            parsed = parseQuadSurface(bytes, surface, problem);
            std::vector<unsigned char>().swap(bytes);
            if (parsed) {
                logText(formatText("%zu vertices, %zu quadrangles, each split into two triangles",
                                   surface.xyz.size() / 3, surface.triangles.size() / 6));
                image = surfaceImage(surface);
            }
            break;
        }
        case FreeSurferKind::Morphometry: {
            FreeSurferValues values;
            if ((parsed = parseMorphometry(bytes, values, problem))) {
                image = imageOfArrays(values.values, values.nrOfVertices, 1, NIFTI_INTENT_SHAPE);
                if (image) addArrayMetadata(*image->darray[0], "Name", lastPathComponent(path));
            }
            break;
        }
        case FreeSurferKind::Overlay:
        case FreeSurferKind::CompressedOverlay: {
            FreeSurferValues values;
            if ((parsed = parseMghOverlay(bytes, values, problem))) {
                logText(formatText("%d values in each of %d frame%s, TR %g ms", values.nrOfVertices, values.nrOfFrames,
                                   values.nrOfFrames == 1 ? "" : "s",
                                   static_cast<double>(values.repetitionTimeMs)));
                std::vector<unsigned char>().swap(bytes);
                return overlayImage(values, path, asTimeCourse);
            }
            break;
        }
        case FreeSurferKind::Annotation: {
            FreeSurferAnnotation annotation;
            if ((parsed = parseAnnotation(bytes, annotation, problem))) image = annotationImage(annotation, path);
            break;
        }
        case FreeSurferKind::Label: {
            FreeSurferLabel label;
            if ((parsed = parseLabelFile(bytes, label, problem))) image = labelImage(label, path);
            break;
        }
        case FreeSurferKind::None: break;
    }
    if (!parsed) {
        refuseImport(what.c_str(), path, problem);
        return nullptr;
    }
    if (!image) refuseImport(what.c_str(), path, "its values do not fit in memory");
    return image;
}

}  // namespace

FreeSurferKind freeSurferFileKind(const std::string& path) {
    const FreeSurferKind kind = freeSurferKindOfFile(path);
    if (kind != FreeSurferKind::None) return kind;
    // A damaged file whose content tells nothing goes by its extension, so
    // that the reader says what is wrong with it.
    if (hasExtension(path, ".annot")) return FreeSurferKind::Annotation;
    if (hasExtension(path, ".mgh")) return FreeSurferKind::Overlay;
    if (hasExtension(path, ".mgz")) return FreeSurferKind::CompressedOverlay;
    if (hasExtension(path, ".label")) return FreeSurferKind::Label;
    return FreeSurferKind::None;
}

std::string freeSurferOutputName(const std::string& path, const std::string& suffix) {
    const std::string base = outputBaseFor(path);
    for (const char* replaced : {".annot", ".label", ".mgh", ".mgz"})
        if (hasExtension(base, replaced)) return base.substr(0, base.size() - std::strlen(replaced)) + suffix;
    return base + suffix;
}

GiftiImagePtr readFreeSurferFile(const std::string& path, FreeSurferKind kind, bool asTimeCourse) {
    const std::string what = std::string("The ") + freeSurferKindName(kind);
    try {
        return readFreeSurferFileBytes(path, kind, asTimeCourse, what);
    } catch (const std::bad_alloc&) {
        refuseImport(what.c_str(), path, "its values do not fit in the memory that can be had");
        return nullptr;
    }
}

}  // namespace meshbridge
