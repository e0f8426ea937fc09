// POI patches to a GIFTI label file (".label.gii"): a node-index array of all
// patches' vertices, a label array of the patch each belongs to, and a label
// table of the patches' names and colours; or, on request, one label per mesh
// vertex and no node-index array.
#include "export/poi_export.h"

#include <algorithm>
#include <span>
#include <vector>

#include "common/plugin_info.h"
#include "common/replace_extension.h"
#include "common/text.h"
#include "export/gifti_writing.h"
#include "formats/poi_file.h"
#include "host/host_calls.h"

namespace meshbridge {

namespace {

constexpr const char* kUnlabeled = "???";

// The patches as a node-index array of all patches' vertices and a label
// array of the patch each belongs to; patch i has key i.
bool fillNodesAndLabels(gifti_image& image, const PoiData& poi, int count, bool compressed) {
    setArrayFields(*image.darray[0], NIFTI_INTENT_NODE_INDEX, NIFTI_TYPE_INT32, {count}, compressed);
    setArrayFields(*image.darray[1], NIFTI_INTENT_LABEL, NIFTI_TYPE_INT32, {count}, compressed);
    auto* vertices = allocateArrayValues<std::int32_t>(image, 0);
    auto* labels = allocateArrayValues<std::int32_t>(image, 1);
    if (!vertices || !labels) return false;
    std::vector<LabelEntry> table;
    for (std::size_t i = 0; i < poi.patches.size(); ++i) {
        const PoiPatch& patch = poi.patches[i];
        vertices = std::copy(patch.vertices.begin(), patch.vertices.end(), vertices);
        labels = std::fill_n(labels, patch.vertices.size(), static_cast<std::int32_t>(i));
        table.push_back({static_cast<std::int32_t>(i), patch.name, opaqueRgbaOfPacked(patch.color)});
    }
    return setLabelTable(image, table);
}

// The patches as one label per vertex (see labelsPerVertex).
bool fillLabelsPerVertex(gifti_image& image, const PoiData& poi, bool compressed) {
    setArrayFields(*image.darray[0], NIFTI_INTENT_LABEL, NIFTI_TYPE_INT32, {poi.nrOfMeshVertices}, compressed);
    // Named after the POI file, as Workbench shows a label map by its name.
    addArrayMetadata(*image.darray[0], "Name", lastPathComponent(replaceExtension(poi.fileName, "")));
    auto* labels = allocateArrayValues<std::int32_t>(image, 0);
    return labels && setLabelTable(image, labelsPerVertex(poi, labels));
}

// Whether no vertex index is negative; else logs the first and how many.
bool nonNegativeIndices(std::span<const std::int32_t> indices, const std::string& file, const std::string& what) {
    const auto first = std::find_if(indices.begin(), indices.end(), [](std::int32_t v) { return v < 0; });
    if (first == indices.end()) return true;
    const auto negative = std::count_if(first, indices.end(), [](std::int32_t v) { return v < 0; });
    logText(formatText("Export to GIfTI format did not succeed: %s holds the %s %d (at position %td), which is no "
                       "vertex index; %td of its %zu indices are negative.",
                       file.c_str(), what.c_str(), *first, first - indices.begin(), negative, indices.size()));
    return false;
}

}  // namespace

std::vector<std::int32_t> firstPatchOfVertices(const PoiData& poi, const std::string& skipped) {
    std::vector<std::int32_t> first(static_cast<std::size_t>(poi.nrOfMeshVertices), -1);
    std::vector<bool> counted(first.size());  // as in more than one patch
    std::size_t inSeveral = 0;
    for (std::size_t i = 0; i < poi.patches.size(); ++i) {
        const PoiPatch& patch = poi.patches[i];
        if (!skipped.empty() && patch.name == skipped) continue;
        const auto index = static_cast<std::int32_t>(i);
        for (std::int32_t vertex : patch.vertices) {
            const auto v = static_cast<std::size_t>(vertex);
            if (first[v] < 0) {
                first[v] = index;
            } else if (first[v] != index && !counted[v]) {
                counted[v] = true;
                ++inSeveral;
            }
        }
    }
    if (inSeveral > 0)
        logText(formatText("%zu vertices lie in more than one patch; each keeps the label of its first patch.",
                           inSeveral));
    return first;
}

bool patchesInsideTheirMesh(const PoiData& poi, const char* format, const char* needs) {
    if (poi.nrOfMeshVertices <= 0 || poi.nrOfMeshVertices > kMostMeshVertices) {
        logText(formatText("Export to %s did not succeed: %s gives its mesh %d vertices; %s needs a count from 1 to "
                           "%d.",
                           format, poi.fileName.c_str(), poi.nrOfMeshVertices, needs, kMostMeshVertices));
        return false;
    }
    for (const PoiPatch& patch : poi.patches) {
        const std::string what = "vertex of patch \"" + patch.name + "\"";
        if (!indicesWithinMesh(patch.vertices.data(), patch.vertices.size(), poi.nrOfMeshVertices, poi.fileName,
                               what.c_str())) {
            logText(formatText("Export to %s did not succeed: %s needs every patch vertex inside the mesh.", format,
                               needs));
            return false;
        }
    }
    return true;
}

std::vector<LabelEntry> labelsPerVertex(const PoiData& poi, std::int32_t* labels) {
    const std::vector<std::int32_t> first = firstPatchOfVertices(poi, kUnlabeled);
    for (std::size_t v = 0; v < first.size(); ++v) labels[v] = first[v] + 1;  // no patch: key 0
    std::vector<LabelEntry> table = {{0, kUnlabeled, {0.0f, 0.0f, 0.0f, 0.0f}}};
    for (std::size_t i = 0; i < poi.patches.size(); ++i) {
        const PoiPatch& patch = poi.patches[i];
        if (patch.name != kUnlabeled)
            table.push_back({static_cast<std::int32_t>(i + 1), patch.name, opaqueRgbaOfPacked(patch.color)});
    }
    return table;
}

bool exportPatchesOfInterest(const std::string& name, bool fromFile, bool doBinaryExport, bool labelsPerVertex) {
    const PoiData poi = loadPoi(name, fromFile);
    if (isFailedLoad(poi)) return false;
    dumpPoiHeader(poi, false, true);

    std::size_t total = 0;
    for (const PoiPatch& patch : poi.patches) total += patch.vertices.size();
    if (total == 0) {
        logText("Export to GIfTI format did not succeed: the patches hold no vertices.");
        return false;
    }
    if (total > static_cast<std::size_t>(INT32_MAX)) {
        logText("Export to GIfTI format did not succeed: the patches hold too many vertices.");
        return false;
    }
    if (labelsPerVertex && poi.nrOfMeshVertices <= 0) {
        logText(formatText("Export to GIfTI format did not succeed: %s does not say how many vertices its mesh has, "
                           "which one label per vertex needs.",
                           poi.fileName.c_str()));
        return false;
    }
    if (labelsPerVertex && poi.nrOfMeshVertices > kMostMeshVertices) {
        logText(formatText("Export to GIfTI format did not succeed: %s gives its mesh %d vertices, more than the %d "
                           "one label per vertex is written for.",
                           poi.fileName.c_str(), poi.nrOfMeshVertices, kMostMeshVertices));
        return false;
    }
    // No index may be negative. One label per vertex also needs every index
    // inside the mesh; the node-index form writes them as they are (such POIs
    // come from other producers and older imports of sparse label files).
    std::size_t beyond = 0;
    for (const PoiPatch& patch : poi.patches) {
        const std::string what = "vertex of patch \"" + patch.name + "\"";
        if (!nonNegativeIndices({patch.vertices.data(), patch.vertices.size()}, poi.fileName, what)) return false;
        if (labelsPerVertex && !indicesWithinMesh(patch.vertices.data(), patch.vertices.size(), poi.nrOfMeshVertices,
                                                  poi.fileName, what.c_str())) {
            logText("One label per vertex needs every patch vertex inside the mesh; export without labels per vertex "
                    "to write the patches as they are.");
            return false;
        }
        if (poi.nrOfMeshVertices > 0)
            beyond += static_cast<std::size_t>(std::count_if(patch.vertices.begin(), patch.vertices.end(),
                                                             [&](std::int32_t v) { return v >= poi.nrOfMeshVertices; }));
    }
    if (beyond > 0)
        logText(formatText("%zu of the %zu patch vertices lie at or beyond the %d mesh vertices %s gives; they are "
                           "written as they are.",
                           beyond, total, poi.nrOfMeshVertices, poi.fileName.c_str()));

    GiftiImagePtr image = createExportImage(labelsPerVertex ? 1 : 2);
    bool built = image != nullptr;
    if (built) {
        addImageMetadata(*image, kVersionMetadataName, kPluginVersion);
        addImageMetadata(*image, "Corresponding (underlying) Corvana surface", poi.fromMeshFile);
        addImageMetadata(*image, "Number of mesh vertices", formatText("%i", poi.nrOfMeshVertices));
        addStructureMetadata(*image, {poi.fromMeshFile, poi.fileName});
        built = labelsPerVertex ? fillLabelsPerVertex(*image, poi, doBinaryExport)
                                : fillNodesAndLabels(*image, poi, static_cast<int>(total), doBinaryExport);
        if (!labelsPerVertex)
            logText("The patches go out as node indices and their labels, which Corvana and gifticlib-based tools "
                    "read; Workbench and FreeSurfer read a label file as one label per vertex: export with "
                    "\"Labels per vertex\" for them.");
    }
    const std::string path = replaceExtension(poi.fileName, ".label.gii");
    return writeExportedImage(image.get(), built, path);
}

}  // namespace meshbridge
