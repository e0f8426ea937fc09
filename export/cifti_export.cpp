#include "export/cifti_export.h"

#include <algorithm>
#include <vector>

#include "common/plugin_info.h"
#include "common/replace_extension.h"
#include "common/text.h"
#include "common/text_encoding.h"
#include "export/gifti_writing.h"
#include "export/poi_export.h"
#include "export/surface_naming.h"
#include "formats/cifti_file.h"
#include "formats/mtc_file.h"
#include "formats/poi_file.h"
#include "formats/smp_file.h"
#include "host/host_calls.h"

namespace meshbridge {

namespace {

// The CIFTI structure of the first of `names` that tells one, else of the
// host's current surface; empty (and a log line) when none does.
std::string structureOf(std::initializer_list<std::string> names, const std::string& file) {
    std::string structure = anatomicalStructureOfNames(names);
    if (structure == "Unknown") structure = anatomicalStructureOfNames({currentSurfaceFileName()});
    const std::string cifti = ciftiStructureOf(structure);
    if (cifti.empty())
        logText(formatText("Export to CIFTI-2 did not succeed: CIFTI needs the surface's structure, and neither the "
                           "name of %s nor the host's current surface tells it; name the file with _LH or _RH (or "
                           "lh./rh.), or open its surface in Corvana.",
                           file.c_str()));
    return cifti;
}

bool finish(bool written, const std::string& path) {
    if (written) {
        logText(formatText("Exported to CIFTI-2 format, name:\n %s", path.c_str()));
    } else {
        logWriteFailure(path);
        logText("Export to CIFTI-2 did not succeed.");
    }
    return written;
}

bool exportMaps(const std::string& name, bool fromFile) {
    const SmpData smp = loadSmp(name, fromFile);
    if (isFailedLoad(smp)) return false;
    dumpSmpHeader(smp, false, true);
    const std::string structure = structureOf({smp.srfFileName, smp.fileName}, smp.fileName);
    if (structure.empty()) return false;
    if (smp.maps.empty() || smp.nrOfVertices <= 0) {
        logText("Export to CIFTI-2 did not succeed: the file holds no maps.");
        return false;
    }
    std::string rows = "    <MatrixIndicesMap AppliesToMatrixDimension=\"0\" "
                       "IndicesMapToDataType=\"CIFTI_INDEX_TYPE_SCALARS\">\n";
    for (const SmpMap& map : smp.maps)
        rows += "      <NamedMap><MapName>" + xmlEscaped(toXmlText(map.name)) + "</MapName></NamedMap>\n";
    rows += "    </MatrixIndicesMap>\n";
    const auto count = static_cast<std::int64_t>(smp.maps.size());
    const std::string path = replaceExtension(smp.fileName, ".dscalar.nii");
    const bool written = writeCiftiFile(
        path, CiftiKind::Scalars, count, smp.nrOfVertices, ciftiDenseXml(rows, structure, smp.nrOfVertices),
        [&](std::int64_t first, std::int64_t vertices, float* values) {
            for (std::int64_t v = 0; v < vertices; ++v)
                for (std::int64_t m = 0; m < count; ++m)
                    values[static_cast<std::size_t>(v * count + m)] = smp.maps[static_cast<std::size_t>(m)].data[static_cast<std::size_t>(first + v)];
        });
    return finish(written, path);
}

bool exportTimeCourse(const std::string& name, bool fromFile) {
    const MtcData mtc = loadMtc(name, fromFile);
    if (isFailedLoad(mtc)) return false;
    dumpMtcHeader(mtc, false, true);
    const std::string structure = structureOf({mtc.fileName}, mtc.fileName);
    if (structure.empty()) return false;
    if (mtc.nrOfVolumes <= 0 || mtc.nrOfVertices <= 0) {
        logText("Export to CIFTI-2 did not succeed: the time course holds no values.");
        return false;
    }
    if (!(mtc.tr > 0.0f)) logText("The time course has no TR: its series step is written as 0 s.");
    const double step = mtc.tr > 0.0f ? static_cast<double>(mtc.tr) / 1000.0 : 0.0;
    const std::string rows = formatText(
        "    <MatrixIndicesMap AppliesToMatrixDimension=\"0\" IndicesMapToDataType=\"CIFTI_INDEX_TYPE_SERIES\" "
        "NumberOfSeriesPoints=\"%d\" SeriesExponent=\"0\" SeriesStart=\"0\" SeriesStep=\"%.9g\" "
        "SeriesUnit=\"SECOND\"/>\n",
        mtc.nrOfVolumes, step);
    const auto volumes = static_cast<std::int64_t>(mtc.nrOfVolumes);
    const auto vertices = static_cast<std::size_t>(mtc.nrOfVertices);
    const std::string path = replaceExtension(mtc.fileName, ".dtseries.nii");
    // Volume after volume in the MTC, each vertex's course together in the file.
    const bool written = writeCiftiFile(
        path, CiftiKind::Series, volumes, mtc.nrOfVertices, ciftiDenseXml(rows, structure, mtc.nrOfVertices),
        [&](std::int64_t first, std::int64_t count, float* values) {
            constexpr std::int64_t kTile = 64;
            for (std::int64_t v0 = 0; v0 < count; v0 += kTile)
                for (std::int64_t t0 = 0; t0 < volumes; t0 += kTile)
                    for (std::int64_t v = v0; v < std::min(count, v0 + kTile); ++v)
                        for (std::int64_t t = t0; t < std::min(volumes, t0 + kTile); ++t)
                            values[static_cast<std::size_t>(v * volumes + t)] =
                                mtc.data[static_cast<std::size_t>(t) * vertices + static_cast<std::size_t>(first + v)];
        });
    return finish(written, path);
}

std::string labelXml(const LabelEntry& entry) {
    const auto& rgba = entry.rgba;
    return formatText("          <Label Key=\"%d\" Red=\"%.6g\" Green=\"%.6g\" Blue=\"%.6g\" Alpha=\"%.6g\">",
                      entry.key, static_cast<double>(rgba[0]), static_cast<double>(rgba[1]),
                      static_cast<double>(rgba[2]), static_cast<double>(rgba[3])) +
           xmlEscaped(toXmlText(entry.label)) + "</Label>\n";
}

bool exportPatches(const std::string& name, bool fromFile) {
    const PoiData poi = loadPoi(name, fromFile);
    if (isFailedLoad(poi)) return false;
    dumpPoiHeader(poi, false, true);
    const std::string structure = structureOf({poi.fromMeshFile, poi.fileName}, poi.fileName);
    if (structure.empty()) return false;
    if (!patchesInsideTheirMesh(poi, "CIFTI-2", "one label per vertex")) return false;
    std::vector<std::int32_t> labels(static_cast<std::size_t>(poi.nrOfMeshVertices));
    std::string table;
    for (const LabelEntry& entry : labelsPerVertex(poi, labels.data())) table += labelXml(entry);
    const std::string mapName = lastPathComponent(replaceExtension(poi.fileName, ""));
    const std::string rows =
        "    <MatrixIndicesMap AppliesToMatrixDimension=\"0\" IndicesMapToDataType=\"CIFTI_INDEX_TYPE_LABELS\">\n"
        "      <NamedMap>\n        <MapName>" +
        xmlEscaped(toXmlText(mapName)) + "</MapName>\n        <LabelTable>\n" + table +
        "        </LabelTable>\n      </NamedMap>\n    </MatrixIndicesMap>\n";
    const std::string path = replaceExtension(poi.fileName, ".dlabel.nii");
    const bool written =
        writeCiftiFile(path, CiftiKind::Labels, 1, poi.nrOfMeshVertices,
                       ciftiDenseXml(rows, structure, poi.nrOfMeshVertices),
                       [&](std::int64_t first, std::int64_t count, float* values) {
                           for (std::int64_t v = 0; v < count; ++v)
                               values[static_cast<std::size_t>(v)] = static_cast<float>(labels[static_cast<std::size_t>(first + v)]);
                       });
    return finish(written, path);
}

}  // namespace

std::string ciftiStructureOf(const std::string& giftiStructure) {
    if (giftiStructure == "CortexLeft") return "CORTEX_LEFT";
    if (giftiStructure == "CortexRight") return "CORTEX_RIGHT";
    if (giftiStructure == "CortexRightAndLeft") return "CORTEX";
    if (giftiStructure == "Head") return "OTHER";
    return {};
}

bool exportCiftiFile(int fileTypeId, const std::string& name, bool fromFile) {
    switch (fileTypeId) {
        case kFileTypeSmp: return exportMaps(name, fromFile);
        case kFileTypeMtc: return exportTimeCourse(name, fromFile);
        case kFileTypePoi: return exportPatches(name, fromFile);
        default:
            logText("Export as CIFTI-2 takes maps (SMP), time courses (MTC) and patches (POI); a surface goes out "
                    "as GIFTI.");
            return false;
    }
}

}  // namespace meshbridge
