// GIFTI label file to POI file: one patch per label-table entry, holding the
// vertices whose label value is the entry's key. A label array may cover only
// some vertices, named by a node-index array; the mesh's vertex count then
// comes from the host's current surface, or from an SRF file the user picks.
//
// An entry whose key no vertex has becomes a patch without vertices whose
// label vertex is 0.
#include <algorithm>
#include <climits>
#include <cmath>
#include <map>

#include "import/label_import.h"

#include "common/colors.h"
#include "common/gifti_values.h"
#include "common/replace_extension.h"
#include "common/text.h"
#include "common/text_encoding.h"
#include "formats/poi_file.h"
#include "formats/srf_file.h"
#include "host/host_calls.h"
#include "import/import_support.h"

namespace meshbridge {

namespace {

// The vertex count of the whole mesh, for labels that name their vertices;
// without a known mesh, enough vertices for the labels and every node named.
std::int32_t meshVertexCount(std::int32_t labelValues, std::int32_t highestNode) {
    HostSrfInfo surface{};
    if (getCurrentSurface(surface)) {
        logText(formatText("Number of mesh vertices: %i. Please note that it is assumed that the imported POI belongs "
                           "to the currently opened surface file.\nIf the files do not belong together, the location "
                           "of the POI be incorrect.",
                           surface.nrOfVertices));
        return surface.nrOfVertices;
    }
    if (const auto chosen = openFileDialog("Please select the Corvana surface file where this POI belongs to", "*.srf",
                                           kHostLongPathBufferSize)) {
        const SrfData srf = loadSrf(*chosen, true, SrfDetail::WithoutNormalsAndNeighbors);
        if (!isFailedLoad(srf)) {
            logText(formatText("Number of mesh vertices: %i", srf.nrOfVertices));
            return srf.nrOfVertices;
        }
    }
    const std::int32_t count = highestNode < INT32_MAX ? std::max(labelValues, highestNode + 1) : labelValues;
    logText("Number of mesh vertices not determined.");
    logText(formatText("The POI gives its mesh %d vertices, one more than the highest vertex the labels name: no "
                       "surface is open in Corvana and none was chosen.",
                       count));
    return count;
}

}  // namespace

bool importLabelTable(const gifti_image& image, const std::string& path, bool printToLogtab, bool openInHost,
                      const std::string& outputName) {
    PoiData poi;
    poi.fileName = outputName.empty() ? replaceExtension(outputBaseFor(path), ".poi") : outputName;
    const giiDataArray* labelArray = arrayWithIntent(image, {NIFTI_INTENT_LABEL}, ArrayPick::Last);
    if (!labelArray) {
        messageBox("No label data found in GIFTI file!\nCannot convert to POI.");
        return false;
    }
    const giiDataArray* nodeArray = arrayWithIntent(image, {NIFTI_INTENT_NODE_INDEX}, ArrayPick::Last);
    HugePageVector<std::int32_t> labels, nodes;
    std::string problem;
    if (!int32Values(*labelArray, labels, problem))
        return refuseImport("The labels", path, "the label array cannot be read: " + problem);
    labels.resize(std::min(labels.size(), static_cast<std::size_t>(std::max(labelArray->dims[0], 0))));
    if (nodeArray && !int32Values(*nodeArray, nodes, problem))
        return refuseImport("The labels", path, "the node-index array cannot be read: " + problem);
    if (nodeArray && nodes.size() < labels.size())
        return refuseImport("The labels", path,
                            formatText("its node-index array holds %zu values for %zu labels", nodes.size(),
                                       labels.size()));

    logText("Determine number of mesh vertices...");
    const auto labelValues = static_cast<std::int32_t>(labels.size());
    if (!nodeArray) {
        poi.nrOfMeshVertices = labelValues;
        logText(formatText("Number of mesh vertices equal to number of POI nodes: %i", poi.nrOfMeshVertices));
    } else {
        const auto highest = std::max_element(nodes.begin(), nodes.begin() + static_cast<std::ptrdiff_t>(labels.size()));
        poi.nrOfMeshVertices = meshVertexCount(labelValues, highest == nodes.begin() + static_cast<std::ptrdiff_t>(labels.size()) ? -1 : *highest);
        for (std::size_t i = 0; i < labels.size(); ++i) {
            if (nodes[i] < 0 || nodes[i] >= poi.nrOfMeshVertices)
                return refuseImport("The labels", path,
                                    formatText("node index %d (value %zu) lies outside the mesh of %d vertices",
                                               nodes[i], i, poi.nrOfMeshVertices));
        }
    }

    poi.version = 2;
    poi.fromMeshFile = "";
    const giiLabelTable& table = image.labeltable;
    poi.nrOfPOIs = std::max(table.length, 0);
    poi.nrOfPOIMTCs = 0;
    poi.patches.resize(static_cast<std::size_t>(poi.nrOfPOIs));
    std::multimap<std::int32_t, std::size_t> patchesOfKey;
    for (std::size_t p = 0; p < poi.patches.size(); ++p) {
        PoiPatch& patch = poi.patches[p];
        patch.name = table.label && table.label[p] ? fromXmlText(table.label[p]) : "";
        const float* rgba = table.rgba ? table.rgba + 4 * p : nullptr;
        if (rgba && rgba[3] != 0.0f)
            patch.color = packedRgb(colorByteRounded(rgba[0]), colorByteRounded(rgba[1]), colorByteRounded(rgba[2]));
        if (table.key) patchesOfKey.emplace(table.key[p], p);
    }
    // One pass over the labels, in increasing position.
    std::size_t withoutEntry = 0;
    for (std::size_t i = 0; i < labels.size(); ++i) {
        const auto [first, last] = patchesOfKey.equal_range(labels[i]);
        if (first == last) ++withoutEntry;
        for (auto it = first; it != last; ++it)
            poi.patches[it->second].vertices.owned().push_back(nodeArray ? nodes[i] : static_cast<std::int32_t>(i));
    }
    if (withoutEntry > 0)
        logText(formatText("%zu of %zu vertices have a label value that the label table does not hold; they are in "
                           "no patch.",
                           withoutEntry, labels.size()));
    for (PoiPatch& patch : poi.patches) {
        patch.nrOfVertices = static_cast<std::int32_t>(patch.vertices.size());
        patch.labelVertex = patch.vertices.empty() ? 0 : patch.vertices[0];
        patch.infoTextFile = "";
    }

    if (!writePoiFile(poi)) return false;
    logText(formatText("POI saved as:\n%s", poi.fileName.c_str()));
    if (printToLogtab) dumpPoiHeader(poi, false, true);
    if (openInHost && !loadPatchesInHost(poi.fileName))
        messageBox("Patch of interest (POI) could not be loaded on current surface (SRF).");
    return true;
}

}  // namespace meshbridge
