#include "import/surface_import.h"

#include <optional>

#include "common/gifti_values.h"
#include "common/huge_pages.h"
#include "common/replace_extension.h"
#include "common/text.h"
#include "formats/srf_file.h"
#include "host/host_calls.h"
#include "import/surface_colors.h"
#include "import/import_support.h"
#include "import/surface_geometry.h"

namespace meshbridge {

namespace {

// The coordinates and triangles of a surface: gifticlib's own arrays where
// they need no conversion, else converted copies.
struct Mesh {
    giiDataArray* pointset = nullptr;
    std::span<const float> points;  // x, y, z of each vertex
    HostArray<std::int32_t> triangles;
    HugePageVector<float> convertedPoints;
};

// The mesh of the image, checked; false with the problem when the arrays do
// not make a surface.
bool readMesh(gifti_image& image, Mesh& mesh, std::string& problem) {
    giiDataArray* pointset = mesh.pointset = arrayWithIntent(image, {NIFTI_INTENT_POINTSET});
    giiDataArray* triangleArray = arrayWithIntent(image, {NIFTI_INTENT_TRIANGLE});
    if (!pointset) {
        problem = "it has no NIFTI_INTENT_POINTSET array";
        return false;
    }
    if (!triangleArray) {
        problem = "it has no NIFTI_INTENT_TRIANGLE array";
        return false;
    }
    if (pointset->num_dim != 2 || pointset->dims[1] != 3) {
        problem = "the NIFTI_INTENT_POINTSET array is not a list of N x 3 coordinates";
        return false;
    }
    const bool rows = triangleArray->num_dim == 2 && triangleArray->dims[1] == 3;
    const bool flat = triangleArray->num_dim == 1 && triangleArray->dims[0] % 3 == 0;
    if (!rows && !flat) {
        problem = "the NIFTI_INTENT_TRIANGLE array is not a list of T x 3 vertex indices";
        return false;
    }
    std::string why;
    mesh.points = storedFloats(*pointset);
    if (mesh.points.empty() && pointset->dims[0] > 0) {
        if (!floatValues(*pointset, mesh.convertedPoints, why)) {
            problem = "the NIFTI_INTENT_POINTSET array cannot be read: " + why;
            return false;
        }
        mesh.points = mesh.convertedPoints;
    }
    const std::span<std::int32_t> stored = storedInt32s(*triangleArray);
    if (!stored.empty()) {
        mesh.triangles = HostArray<std::int32_t>::borrowed(stored.data(), stored.size());
    } else if (!int32Values(*triangleArray, mesh.triangles.owned(), why)) {
        problem = "the NIFTI_INTENT_TRIANGLE array cannot be read: " + why;
        return false;
    }
    if (mesh.points.size() / 3 > static_cast<std::size_t>(INT32_MAX) || mesh.triangles.size() >= UINT32_MAX) {
        problem = "it has more vertices or triangles than an SRF file can hold";
        return false;
    }
    const auto nrOfVertices = static_cast<std::int64_t>(mesh.points.size() / 3);
    for (std::size_t i = 0; i < mesh.triangles.size(); ++i) {
        if (mesh.triangles[i] < 0 || mesh.triangles[i] >= nrOfVertices) {
            problem = formatText("triangle %zu uses the vertex index %d, outside 0 to %lld", i / 3, mesh.triangles[i],
                                 static_cast<long long>(nrOfVertices - 1));
            return false;
        }
    }
    return true;
}

}  // namespace

bool importSurface(gifti_image& image, const std::string& path, bool printToLogtab, bool openInHost,
                   bool reverseWinding, const gifti_image* colors, const std::string& outputName) {
    Mesh mesh;
    std::string problem;
    if (!readMesh(image, mesh, problem)) return refuseImport("The surface", path, problem);

    SrfData srf;
    srf.fileName = outputName.empty() ? replaceExtension(outputBaseFor(path), ".srf") : outputName;
    srf.reserved = 0;
    srf.nrOfVertices = static_cast<std::int32_t>(mesh.points.size() / 3);
    srf.nrOfTriangles = static_cast<std::int32_t>(mesh.triangles.size() / 3);

    // The triangles stay where they were read (the library's array, kept until
    // the image goes) unless they had to be converted.
    srf.triangles = std::move(mesh.triangles);
    if (reverseWinding) {
        for (std::size_t f = 0; f + 2 < srf.triangles.size(); f += 3) std::swap(srf.triangles[f], srf.triangles[f + 2]);
    }
    srf.nrOfStripElements = 0;
    // The rings are built on a worker thread while this one splits the
    // coordinates, finds the colours and normals and writes them; the rings go
    // straight into the file, one vertex at a time, after what is written
    // already has been released.
    ParallelRings rings(srf.nrOfVertices, std::span<const std::int32_t>(srf.triangles.data(), srf.triangles.size()));

    logText(formatText("nr of vertices: %i", srf.nrOfVertices));
    const auto n = static_cast<std::size_t>(srf.nrOfVertices);
    HugePageVector<float>& x = srf.vertexX.owned();
    HugePageVector<float>& y = srf.vertexY.owned();
    HugePageVector<float>& z = srf.vertexZ.owned();
    x.resize(n);
    y.resize(n);
    z.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        x[i] = mesh.points[3 * i];
        y[i] = mesh.points[3 * i + 1];
        z[i] = mesh.points[3 * i + 2];
    }
    mesh.points = {};
    computeMeshCenter(srf);
    srf.convexColor = {0.332f, 0.733f, 0.98f, 1.0f};
    srf.concaveColor = {0.1f, 0.24f, 0.32f, 1.0f};
    srf.version = 3.0f;

    const gifti_image& colorSource = colors ? *colors : image;
    if (!colors) logText("No external color file.");
    logText(formatText("Length color labeltable: %i, number of vertices: %i", colorSource.labeltable.length,
                       srf.nrOfVertices));
    srf.vertexColors = convertGiftiColors(colorSource, srf.nrOfVertices);

    // After the split the coordinates as read (the library's, or the converted
    // copy) are free: they hold the normals, in memory that is in use already.
    float* const asRead = mesh.convertedPoints.empty() ? static_cast<float*>(mesh.pointset->data)
                                                       : mesh.convertedPoints.data();
    computeVertexNormals(srf, std::span<float>(asRead, asRead ? 3 * n : 0));
    bool released = false;
    const auto ringOf = [&](std::size_t vertex) {
        if (!released) {  // what is written goes
            for (HostArray<float>* written : {&srf.vertexX, &srf.vertexY, &srf.vertexZ, &srf.normalX, &srf.normalY,
                                              &srf.normalZ})
                HugePageVector<float>().swap(written->owned());
            HugePageVector<std::int32_t>().swap(srf.vertexColors.owned());
            HugePageVector<float>().swap(mesh.convertedPoints);  // `= {}` would keep the memory
            releaseArrayData(*mesh.pointset);
            released = true;
        }
        return rings.ring(vertex);
    };
    if (!writeSrfFile(srf, ringOf)) return false;
    if (printToLogtab) dumpSrfHeader(srf, false, true);
    logText(formatText("SRF saved as:\n%s", srf.fileName.c_str()));
    if (openInHost) setStringParameter("SrfFileName", srf.fileName);
    return true;
}

}  // namespace meshbridge
