#include "export/surface_export.h"

#include "common/plugin_info.h"
#include "common/replace_extension.h"
#include "common/text.h"
#include "export/gifti_writing.h"
#include "export/surface_colors_export.h"
#include "export/surface_naming.h"
#include "formats/srf_file.h"
#include "host/host_calls.h"

namespace meshbridge {

namespace {

// GIFTI names coordinate spaces by their NIfTI transform codes; readers refuse
// other names.
const char* coordinateSpaceName(int space) {
    switch (space) {
        case 1: return "NIFTI_XFORM_SCANNER_ANAT";
        case 2: return "NIFTI_XFORM_ALIGNED_ANAT";
        case 3: return "NIFTI_XFORM_TALAIRACH";
        case 4: return "NIFTI_XFORM_MNI_152";
        default: return "NIFTI_XFORM_UNKNOWN";
    }
}

constexpr int kTalairachSpace = 3;

void setTalairachIdentity(giiDataArray& array) {
    gifti_add_empty_CS(&array);
    giiCoordSystem& system = *array.coordsys[array.numCS - 1];
    system.dataspace = gifti_strdup(coordinateSpaceName(kTalairachSpace));
    system.xformspace = gifti_strdup(coordinateSpaceName(kTalairachSpace));
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column) system.xform[row][column] = row == column ? 1.0 : 0.0;
}

bool buildSurfaceImage(const SrfData& srf, bool compressed, gifti_image& image, LentValues& lent) {
    addImageMetadata(image, kVersionMetadataName, kPluginVersion);

    giiDataArray& vertices = *image.darray[0];
    setArrayFields(vertices, NIFTI_INTENT_POINTSET, NIFTI_TYPE_FLOAT32, {srf.nrOfVertices, 3}, compressed);
    addArrayMetadata(vertices, "AnatomicalStructurePrimary", getAnatomicalStructurePrimary(srf.fileName));
    addArrayMetadata(vertices, "AnatomicalStructureSecondary", getAnatomicalStructureSecondary(srf.fileName));
    addArrayMetadata(vertices, "GeometricType", getGeometricType(srf.fileName));
    setTalairachIdentity(vertices);

    giiDataArray& triangles = *image.darray[1];
    setArrayFields(triangles, NIFTI_INTENT_TRIANGLE, NIFTI_TYPE_INT32, {srf.nrOfTriangles, 3}, compressed);
    addArrayMetadata(triangles, "TopologicalType", getTopologicalType(srf.fileName));

    const auto n = static_cast<std::size_t>(srf.nrOfVertices);
    if (n > 0) {
        auto* xyz = allocateArrayValues<float>(image, 0);
        if (!xyz) return false;
        for (std::size_t i = 0; i < n; ++i) {
            xyz[3 * i] = srf.vertexX[i];
            xyz[3 * i + 1] = srf.vertexY[i];
            xyz[3 * i + 2] = srf.vertexZ[i];
        }
    }
    if (!srf.triangles.empty()) lent.lend(1, srf.triangles.data());
    return true;
}

}  // namespace

SrfData loadSrfForExport(const std::string& name, bool fromFile) {
    SrfData srf = loadSrf(name, fromFile, SrfDetail::WithoutNormalsAndNeighbors);
    if (isFailedLoad(srf)) return srf;
    dumpSrfHeader(srf, false, true);
    if (!indicesWithinMesh(srf.triangles.data(), srf.triangles.size(), srf.nrOfVertices, srf.fileName,
                           "triangle corner"))
        srf.version = -1.0f;
    return srf;
}

bool exportSurface(const std::string& name, bool fromFile, bool doBinaryExport, bool doExportColors) {
    const SrfData srf = loadSrfForExport(name, fromFile);
    if (isFailedLoad(srf)) return false;

    bool colorsWritten = true;
    if (doExportColors) colorsWritten = exportSurfaceColors(srf, doBinaryExport);

    const std::string path = replaceExtension(srf.fileName, ".surf.gii");
    GiftiImagePtr image = createExportImage(2);
    LentValues lent(image.get());
    const bool written =
        writeExportedImage(image.get(), image && buildSurfaceImage(srf, doBinaryExport, *image, lent), path);
    return written && colorsWritten;
}

}  // namespace meshbridge
