#include <gtest/gtest.h>

#include <filesystem>

#include "export/surface_colors_export.h"
#include "common/gifti.h"
#include "common/replace_extension.h"
#include "formats/srf_file.h"
#include "plugin/commands.h"
#include "tests/support/describe.h"
#include "tests/support/host_test.h"
#include "tests/support/file_size_limit.h"

using namespace meshbridge;
using namespace meshbridge::test;

namespace {

SrfData triangleSurface(const std::string& fileName, HugePageVector<std::int32_t> colors = {0, 1, 0}) {
    SrfData srf{.version = 3.0f, .nrOfVertices = 3, .nrOfTriangles = 1,
                .vertexX = HugePageVector<float>{0.1f, 1.0f, -2.5e-7f}, .vertexY = HugePageVector<float>{0.0f, 123.456789f, 1.0f},
                .vertexZ = HugePageVector<float>{-0.0f, 3.0f, 1e-30f}, .convexColor = {0.332f, 0.733f, 0.98f, 1.0f},
                .concaveColor = {0.1f, 0.24f, 0.32f, 1.0f}, .vertexColors = std::move(colors), .triangles = HugePageVector<std::int32_t>{0, 2, 1},
                .fileName = fileName};
    srf.normalX = srf.normalY = srf.normalZ = HugePageVector<float>(3, 0.0f);
    srf.neighbors.assignEmpty(3);
    return srf;
}

class SurfaceExportTest : public test::HostTest {
protected:
    std::string writeSurface(const std::string& name, HugePageVector<std::int32_t> colors = {0, 1, 0}) {
        const std::string path = dir.file(name);
        EXPECT_TRUE(writeSrfFile(triangleSurface(path, std::move(colors))));
        host.dialogAnswers.push_back(path);
        return path;
    }
};

}  // namespace

class SurfaceColorExport : public test::HostTest {};

TEST_F(SurfaceExportTest, WritesVerticesTrianglesAndMetadata) {
    writeSurface("brain_LH_INFL1000.srf");
    host.dialogBufferUse = {kHostLongPathBufferSize};  // the host may fill the export dialog's buffer
    ASSERT_TRUE(exportGiftiFile(kFileTypeSrf, false, false, false));
    const std::string out = dir.file("brain_LH_INFL1000.surf.gii");
    EXPECT_EQ(host.lastLog(), "Exported to GIfTI format, name:\n " + out);
    EXPECT_EQ(host.dialogs[0].title, "Please select the Corvana surface file");

    const GiftiImagePtr image = readGiftiImage(out, true);
    ASSERT_TRUE(image);
    EXPECT_EQ(metaOf(image->meta, "GIFTI plugin version"), "1.6");
    ASSERT_EQ(image->numDA, 2);
    const giiDataArray& points = *image->darray[0];
    EXPECT_EQ(summary(points), "1008 16 3x3 ASCII AnatomicalStructurePrimary=CortexLeft;"
                               "AnatomicalStructureSecondary=Unknown;GeometricType=Inflated;");
    // Exact, also in ASCII.
    EXPECT_EQ(valuesOf<float>(points),
              (std::vector<float>{0.1f, 0.0f, -0.0f, 1.0f, 123.456789f, 3.0f, -2.5e-7f, 1.0f, 1e-30f}));
    ASSERT_EQ(points.numCS, 1);
    EXPECT_EQ(std::string(points.coordsys[0]->dataspace) + " " + points.coordsys[0]->xformspace,
              "NIFTI_XFORM_TALAIRACH NIFTI_XFORM_TALAIRACH");
    EXPECT_EQ(summary(*image->darray[1]), "1009 8 1x3 ASCII TopologicalType=CLOSED;");
    EXPECT_EQ(valuesOf<std::int32_t>(*image->darray[1]), (std::vector<std::int32_t>{0, 2, 1}));
    EXPECT_EQ(image->darray[1]->numCS, 0);
}

TEST_F(SurfaceExportTest, FailuresAreReported) {
    EXPECT_FALSE(exportGiftiFile(kFileTypeSrf, false, false, false));
    EXPECT_EQ(host.messages, std::vector<std::string>{"No surface file was selected. Procedure finished."});

    EXPECT_FALSE(exportFile(kFileTypeSrf, dir.file("missing.srf")));
    EXPECT_EQ(host.lastLog(), "Reading of surface file did not succeed.");

    writeSurface("blocked.srf");
    std::filesystem::create_directory(dir.file("blocked.surf.gii"));  // cannot be replaced by a file
    host.log.clear();
    EXPECT_FALSE(exportGiftiFile(kFileTypeSrf, false, false, false));
    EXPECT_EQ(host.lastLog(), "Export to GIfTI format did not succeed.");
}

TEST_F(SurfaceExportTest, WriteThatFailsPartWayKeepsTheOldFile) {
    const std::string path = dir.file("big.srf");
    SrfData srf = triangleSurface(path);
    srf.nrOfVertices = 20000;
    HugePageVector<float> values(20000);
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = static_cast<float>(i * 7919 % 10007) * 0.37f;
    for (HostArray<float>* array : {&srf.vertexX, &srf.vertexY, &srf.vertexZ, &srf.normalX, &srf.normalY, &srf.normalZ})
        *array = values;  // too varied to compress below the limit
    srf.vertexColors = HugePageVector<std::int32_t>(20000, 0);
    srf.neighbors.assignEmpty(20000);
    ASSERT_TRUE(writeSrfFile(srf));
    for (bool binary : {false, true}) {
        test::writeFile(dir.file("big.surf.gii"), "old");
        host.dialogAnswers.push_back(path);
        host.log.clear();
        {
            test::FileSizeLimit limit(4096);  // the SRF file is read, the GIFTI file outgrows the limit
            EXPECT_FALSE(exportGiftiFile(kFileTypeSrf, false, binary, false)) << binary;
        }
        ASSERT_GE(host.log.size(), 2u);
        EXPECT_EQ(host.log[host.log.size() - 2], "Could not write " + dir.file("big.surf.gii") + ": File too large.");
        EXPECT_EQ(host.lastLog(), "Export to GIfTI format did not succeed.");
        EXPECT_EQ(test::readFile(dir.file("big.surf.gii")), "old");
        EXPECT_EQ(dir.entries(), (std::vector<std::string>{"big.srf", "big.surf.gii"}));
    }
}

TEST_F(SurfaceExportTest, TrianglesOutsideTheMeshAreRefused) {
    for (std::int32_t bad : {3, -1, INT32_MAX}) {
        const std::string path = dir.file("bad.srf");
        SrfData srf = triangleSurface(path);
        srf.triangles = HugePageVector<std::int32_t>{0, bad, 1};
        ASSERT_TRUE(writeSrfFile(srf));
        EXPECT_FALSE(exportFile(kFileTypeSrf, path));
        EXPECT_EQ(host.lastLog(), "Export to GIfTI format did not succeed: " + path + " holds the triangle corner " +
                                       std::to_string(bad) + " (at position 1), outside the mesh of 3 vertices; 1 of "
                                       "its 3 indices lie outside.");
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"bad.srf"});
    }
}

namespace {

// Exports the colours of a three-vertex surface; the label file's keys and its table.
std::pair<std::vector<std::int32_t>, std::string> exportColors(const SrfData& srf) {
    if (!exportSurfaceColors(srf, false)) return {};
    const GiftiImagePtr image = readGiftiImage(replaceExtension(srf.fileName, ".label.gii"), true);
    if (!image || image->numDA != 1) return {};
    const giiDataArray& array = *image->darray[0];
    EXPECT_EQ(array.intent, NIFTI_INTENT_LABEL);
    EXPECT_EQ(array.encoding, GIFTI_ENCODING_B64BIN);
    return {valuesOf<std::int32_t>(array), describe(image->labeltable)};
}

using Keys = std::vector<std::int32_t>;

}  // namespace

TEST_F(SurfaceColorExport, CurvatureOwnAndMixedColoursGetTheirEntriesWithKeysThatNeverCollide) {
    SrfData srf = triangleSurface(dir.file("brain.srf"), {0, 1, 0});
    srf.convexColor = {0.2f, 0.4f, 1.0f, 1.0f};
    srf.concaveColor = {0.0f, 1.0f, 0.6f, 0.0f};
    EXPECT_EQ(exportColors(srf), std::pair(Keys{0, 1, 0}, std::string("0 Convex Curvature 51 102 255 255\n"
                                                                        "1 Concave Curvature 0 255 153 0\n")));
    EXPECT_EQ(host.log, std::vector<std::string>{"Exported Color Label Table to GIfTI format, name:\n " +
                                                 dir.file("brain.label.gii")});

    const std::int32_t orange = kOwnColorBase + 255 * 65536 + 127 * 256 + 63;
    EXPECT_EQ(exportColors(triangleSurface(dir.file("D.srf"), {orange, kOwnColorBase + 255, kOwnColorBase})),
              std::pair(Keys{0xFF7F3F, 255, 0},
                        std::string("0 Unknown 0 0 0 255\n255 Unknown 0 0 255 255\n16744255 Unknown 255 127 63 255\n")));

    EXPECT_EQ(exportColors(triangleSurface(dir.file("a.srf"), {kOwnColorBase + 5, 0, 1})).first,
              (Keys{5, 0x1000000, 0x1000001}));
    EXPECT_EQ(exportColors(triangleSurface(dir.file("b.srf"), {1, kOwnColorBase + 0xFF0000, 0})),
              std::pair(Keys{1, 2, 0}, std::string("0 Convex Curvature 85 187 250 255\n1 Concave Curvature 26 61 82 "
                                                   "255\n2 Unknown 255 0 0 255\n")));

    // A word of 0x40000005 has the colour key 0x1000005, past the usual curvature keys.
    const auto [keys, table] = exportColors(triangleSurface(dir.file("a_LH.srf"), {kOwnColorBase + 0x1000005, 0, 1}));
    EXPECT_EQ(keys, (Keys{0x1000005, 0x1000006, 0x1000007}));
    EXPECT_EQ(table.substr(0, 8) + table.substr(table.find('\n') + 1, 8), "16777221" "16777222");
    const GiftiImagePtr image = readGiftiImage(dir.file("a_LH.label.gii"), true);
    ASSERT_TRUE(image);
    EXPECT_EQ(metaOf(image->meta, "AnatomicalStructurePrimary"), "CortexLeft");
}

TEST_F(SurfaceColorExport, SurfaceWithoutVerticesOrAFailedWriteIsRefusedNamingWhy) {
    SrfData srf;
    srf.fileName = dir.file("empty.srf");
    EXPECT_FALSE(exportSurfaceColors(srf, false));
    EXPECT_EQ(host.log, std::vector<std::string>{
                            "Export Color Label Table to GIfTI format did not succeed: the surface has no vertices."});
    EXPECT_TRUE(dir.entries().empty());

    // A folder in the colour file's place cannot be replaced by a file.
    std::filesystem::create_directory(dir.file("brain.label.gii"));
    host.log.clear();
    EXPECT_FALSE(exportSurfaceColors(triangleSurface(dir.file("brain.srf"), {0, 1, 0}), false));
    ASSERT_EQ(host.log.size(), 2u);
    EXPECT_EQ(host.log[0].rfind("Could not write " + dir.file("brain.label.gii") + ": ", 0), 0u) << host.log[0];
    EXPECT_EQ(host.log[1], "Export Color Label Table to GIfTI format did not succeed.");
}
