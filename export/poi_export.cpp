// POI patches to a GIFTI label file (".label.gii"): a node-index array of all
// patches' vertices, a label array of the patch each belongs to, and a label
// table of the patches' names and colours.
#include "common/plugin_info.h"
#include "common/replace_extension.h"
#include "common/text.h"
#include "export/export_dispatch.h"
#include "export/gifti_writing.h"
#include "formats/poi_file.h"
#include "host/host_calls.h"

namespace meshbridge {

bool exportPatchesOfInterest(const std::string& name, bool fromFile, bool doBinaryExport) {
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
    // A file that does not know its mesh's size is checked for negative indices only.
    const std::int32_t meshVertices = poi.nrOfMeshVertices > 0 ? poi.nrOfMeshVertices : INT32_MAX;
    for (const PoiPatch& patch : poi.patches) {
        if (!indicesWithinMesh(patch.vertices.data(), patch.vertices.size(), meshVertices, poi.fileName,
                               ("vertex of patch \"" + patch.name + "\"").c_str()))
            return false;
    }

    GiftiImagePtr image = createExportImage(2);
    bool built = image != nullptr;
    if (built) {
        addImageMetadata(*image, kVersionMetadataName, kPluginVersion);
        addImageMetadata(*image, "Corresponding (underlying) Corvana surface", poi.fromMeshFile);
        addImageMetadata(*image, "Number of mesh vertices", formatText("%i", poi.nrOfMeshVertices));
        addStructureMetadata(*image, {poi.fromMeshFile, poi.fileName});
        const int count = static_cast<int>(total);
        setArrayFields(*image->darray[0], NIFTI_INTENT_NODE_INDEX, NIFTI_TYPE_INT32, {count}, doBinaryExport);
        setArrayFields(*image->darray[1], NIFTI_INTENT_LABEL, NIFTI_TYPE_INT32, {count}, doBinaryExport);
        auto* vertices = allocateArrayValues<std::int32_t>(*image, 0);
        auto* labels = allocateArrayValues<std::int32_t>(*image, 1);
        std::vector<LabelEntry> table;
        built = vertices && labels;
        for (std::size_t i = 0; built && i < poi.patches.size(); ++i) {
            const PoiPatch& patch = poi.patches[i];
            vertices = std::copy(patch.vertices.begin(), patch.vertices.end(), vertices);
            labels = std::fill_n(labels, patch.vertices.size(), static_cast<std::int32_t>(i));
            table.push_back({static_cast<std::int32_t>(i), patch.name, opaqueRgbaOfPacked(patch.color)});
        }
        built = built && setLabelTable(*image, table);
    }
    const std::string path = replaceExtension(poi.fileName, ".label.gii");
    return writeExportedImage(image.get(), built, path);
}

}  // namespace meshbridge
