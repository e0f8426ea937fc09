#include <gtest/gtest.h>

#include "export/surface_colors_export.h"
#include "common/gifti.h"
#include "common/replace_extension.h"
#include "formats/srf_file.h"
#include "plugin/commands.h"
#include "tests/support/fake_host.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/temp_dir.h"

using namespace meshbridge;
using meshbridge::test::FakeHost;
using meshbridge::test::TempDir;

namespace {

SrfData triangleSurface(const std::string& fileName, std::vector<std::int32_t> colors = {0, 1, 0}) {
    SrfData srf;
    srf.version = 3.0f;
    srf.nrOfVertices = 3;
    srf.nrOfTriangles = 1;
    srf.vertexX = std::vector<float>{0.1f, 1.0f, -2.5e-7f};
    srf.vertexY = std::vector<float>{0.0f, 123.456789f, 1.0f};
    srf.vertexZ = std::vector<float>{-0.0f, 3.0f, 1e-30f};
    srf.normalX = srf.normalY = srf.normalZ = std::vector<float>(3, 0.0f);
    srf.convexColor = {0.332f, 0.733f, 0.98f, 1.0f};
    srf.concaveColor = {0.1f, 0.24f, 0.32f, 1.0f};
    srf.vertexColors = std::move(colors);
    srf.neighbors.assignEmpty(3);
    srf.triangles = {0, 2, 1};
    srf.fileName = fileName;
    return srf;
}

std::string metaValue(const nvpairs& meta, const std::string& name) {
    for (int i = 0; i < meta.length; ++i)
        if (name == meta.name[i]) return meta.value[i];
    return "<absent>";
}

class SurfaceExportTest : public ::testing::Test {
protected:
    std::string writeSurface(const std::string& name, std::vector<std::int32_t> colors = {0, 1, 0}) {
        const std::string path = dir.file(name);
        EXPECT_TRUE(writeSrfFile(triangleSurface(path, std::move(colors))));
        host.dialogAnswers.push_back(path);
        return path;
    }

    TempDir dir;
    FakeHost host;
};

}  // namespace

TEST_F(SurfaceExportTest, WritesVerticesTrianglesAndMetadata) {
    writeSurface("brain_LH_INFL1000.srf");
    host.dialogBufferUse = {kHostLongPathBufferSize};  // the host may fill the export dialog's buffer
    ASSERT_TRUE(exportGiftiFile(2, false, false, false));
    const std::string out = dir.file("brain_LH_INFL1000.surf.gii");
    EXPECT_EQ(host.log.back(), "Exported to GIfTI format, name:\n " + out);
    EXPECT_EQ(host.dialogs[0].title, "Please select the Corvana surface file");

    const GiftiImagePtr image = readGiftiImage(out, true);
    ASSERT_TRUE(image);
    EXPECT_EQ(metaValue(image->meta, "GIFTI plugin version"), "1.6");
    ASSERT_EQ(image->numDA, 2);
    const giiDataArray& points = *image->darray[0];
    EXPECT_EQ(points.intent, NIFTI_INTENT_POINTSET);
    EXPECT_EQ(points.datatype, NIFTI_TYPE_FLOAT32);
    EXPECT_EQ(points.num_dim, 2);
    EXPECT_EQ(points.dims[0], 3);
    EXPECT_EQ(points.dims[1], 3);
    EXPECT_EQ(points.encoding, GIFTI_ENCODING_ASCII);
    EXPECT_EQ(points.ind_ord, GIFTI_IND_ORD_ROW_MAJOR);
    const auto* xyz = static_cast<const float*>(points.data);
    const std::vector<float> expected = {0.1f, 0.0f, -0.0f, 1.0f, 123.456789f, 3.0f, -2.5e-7f, 1.0f, 1e-30f};
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(xyz[i], expected[i]) << i;  // exact, also in ASCII
    EXPECT_EQ(metaValue(points.meta, "AnatomicalStructurePrimary"), "CortexLeft");
    EXPECT_EQ(metaValue(points.meta, "AnatomicalStructureSecondary"), "Unknown");
    EXPECT_EQ(metaValue(points.meta, "GeometricType"), "Inflated");
    ASSERT_EQ(points.numCS, 1);
    EXPECT_STREQ(points.coordsys[0]->dataspace, "NIFTI_XFORM_TALAIRACH");
    EXPECT_STREQ(points.coordsys[0]->xformspace, "NIFTI_XFORM_TALAIRACH");
    EXPECT_EQ(points.coordsys[0]->xform[2][2], 1.0);
    EXPECT_EQ(points.coordsys[0]->xform[0][3], 0.0);

    const giiDataArray& triangles = *image->darray[1];
    EXPECT_EQ(triangles.intent, NIFTI_INTENT_TRIANGLE);
    EXPECT_EQ(triangles.datatype, NIFTI_TYPE_INT32);
    EXPECT_EQ(triangles.dims[0], 1);
    const auto* indices = static_cast<const std::int32_t*>(triangles.data);
    EXPECT_EQ(std::vector<std::int32_t>(indices, indices + 3), (std::vector<std::int32_t>{0, 2, 1}));
    EXPECT_EQ(metaValue(triangles.meta, "TopologicalType"), "CLOSED");
    EXPECT_EQ(triangles.numCS, 0);
}

TEST_F(SurfaceExportTest, BinaryExportCompressesEveryArray) {
    writeSurface("brain.srf");
    ASSERT_TRUE(exportGiftiFile(2, false, true, true));
    for (const char* name : {"brain.surf.gii", "brain.label.gii"}) {
        const GiftiImagePtr image = readGiftiImage(dir.file(name), true);
        ASSERT_TRUE(image) << name;
        for (int i = 0; i < image->numDA; ++i) EXPECT_EQ(image->darray[i]->encoding, GIFTI_ENCODING_B64GZ) << name;
    }
}

TEST_F(SurfaceExportTest, CurrentSurfaceNeedsNoDialog) {
    std::vector<float> x{0, 1, 0}, y{0, 0, 1}, z(3, 0.0f), n(3, 0.0f);
    std::vector<std::int32_t> colors(3, 0), triangles{0, 1, 2};
    HostSrfInfo info{};
    info.nrOfVertices = 3;
    info.nrOfTriangles = 1;
    info.vertexX = x.data();
    info.vertexY = y.data();
    info.vertexZ = z.data();
    info.normalX = info.normalY = info.normalZ = n.data();
    info.colors = colors.data();
    info.triangles = triangles.data();
    const std::string name = dir.file("current_RH.srf");
    info.fileName = name.c_str();
    host.currentSurface = info;
    ASSERT_TRUE(exportGiftiFile(2, true, false, false));
    EXPECT_TRUE(host.dialogs.empty());
    const GiftiImagePtr image = readGiftiImage(dir.file("current_RH.surf.gii"), true);
    ASSERT_TRUE(image);
    EXPECT_EQ(metaValue(image->darray[0]->meta, "AnatomicalStructurePrimary"), "CortexRight");
}

TEST_F(SurfaceExportTest, FailuresAreReported) {
    EXPECT_FALSE(exportGiftiFile(2, false, false, false));
    EXPECT_EQ(host.messages, std::vector<std::string>{"No surface file was selected. Procedure finished."});

    host.dialogAnswers.push_back(dir.file("missing.srf"));
    EXPECT_FALSE(exportGiftiFile(2, false, false, false));
    EXPECT_EQ(host.log.back(), "Reading of surface file did not succeed.");

    writeSurface("blocked.srf");
    std::filesystem::create_directory(dir.file("blocked.surf.gii"));  // cannot be replaced by a file
    host.log.clear();
    EXPECT_FALSE(exportGiftiFile(2, false, false, false));
    EXPECT_EQ(host.log.back(), "Export to GIfTI format did not succeed.");
}

TEST_F(SurfaceExportTest, WriteThatFailsPartWayKeepsTheOldFile) {
    const std::string path = dir.file("big.srf");
    SrfData srf = triangleSurface(path);
    srf.nrOfVertices = 20000;
    std::vector<float> values(20000);
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = static_cast<float>(i * 7919 % 10007) * 0.37f;
    for (HostArray<float>* array : {&srf.vertexX, &srf.vertexY, &srf.vertexZ, &srf.normalX, &srf.normalY, &srf.normalZ})
        *array = values;  // too varied to compress below the limit
    srf.vertexColors = std::vector<std::int32_t>(20000, 0);
    srf.neighbors.assignEmpty(20000);
    ASSERT_TRUE(writeSrfFile(srf));
    for (bool binary : {false, true}) {
        test::writeFile(dir.file("big.surf.gii"), "old");
        host.dialogAnswers.push_back(path);
        host.log.clear();
        {
            test::FileSizeLimit limit(4096);  // the SRF file is read, the GIFTI file outgrows the limit
            EXPECT_FALSE(exportGiftiFile(2, false, binary, false)) << binary;
        }
        ASSERT_GE(host.log.size(), 2u);
        EXPECT_EQ(host.log[host.log.size() - 2], "Could not write " + dir.file("big.surf.gii") + ": File too large.");
        EXPECT_EQ(host.log.back(), "Export to GIfTI format did not succeed.");
        EXPECT_EQ(test::readFile(dir.file("big.surf.gii")), "old");
        EXPECT_EQ(dir.entries(), (std::vector<std::string>{"big.srf", "big.surf.gii"}));
    }
}

TEST_F(SurfaceExportTest, TrianglesOutsideTheMeshAreRefused) {
    for (std::int32_t bad : {3, -1, INT32_MAX}) {
        const std::string path = dir.file("bad.srf");
        SrfData srf = triangleSurface(path);
        srf.triangles = {0, bad, 1};
        ASSERT_TRUE(writeSrfFile(srf));
        host.dialogAnswers.push_back(path);
        EXPECT_FALSE(exportGiftiFile(2, false, false, false));
        EXPECT_EQ(host.log.back(), "Export to GIfTI format did not succeed: " + path + " holds the triangle corner " +
                                       std::to_string(bad) + " (at position 1), outside the mesh of 3 vertices; 1 of "
                                       "its 3 indices lie outside.");
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"bad.srf"});
    }
}

TEST_F(SurfaceExportTest, OtherFileTypesDoNothing) {
    EXPECT_TRUE(exportGiftiFile(1, false, false, false));
    EXPECT_TRUE(exportGiftiFile(6, false, false, false));
    EXPECT_TRUE(host.dialogs.empty());
    EXPECT_TRUE(host.log.empty());
}

namespace {

struct Label {
    std::int32_t key;
    std::string name;
    std::array<float, 4> rgba;
    bool operator==(const Label&) const = default;
};

// Exports the colours of a three-vertex surface and reads the label file back.
void exportColors(const SrfData& srf, std::vector<std::int32_t>& keys, std::vector<Label>& table) {
    ASSERT_TRUE(exportSurfaceColors(srf, false));
    const GiftiImagePtr image = readGiftiImage(replaceExtension(srf.fileName, ".label.gii"), true);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->meta.length <= 1, true);  // at most the library's own version entry
    ASSERT_EQ(image->numDA, 1);
    const giiDataArray& array = *image->darray[0];
    EXPECT_EQ(array.intent, NIFTI_INTENT_LABEL);
    EXPECT_EQ(array.datatype, NIFTI_TYPE_INT32);
    EXPECT_EQ(array.encoding, GIFTI_ENCODING_B64BIN);
    const auto* values = static_cast<const std::int32_t*>(array.data);
    keys.assign(values, values + array.dims[0]);
    for (int i = 0; i < image->labeltable.length; ++i) {
        const float* c = image->labeltable.rgba + 4 * i;
        table.push_back({image->labeltable.key[i], image->labeltable.label[i], {c[0], c[1], c[2], c[3]}});
    }
}

}  // namespace

TEST(SurfaceColorExport, CurvatureModeHasTwoEntries) {
    TempDir dir;
    FakeHost host;
    std::vector<std::int32_t> keys;
    std::vector<Label> table;
    exportColors(triangleSurface(dir.file("brain.srf"), {0, 1, 0}), keys, table);
    EXPECT_EQ(keys, (std::vector<std::int32_t>{0, 1, 0}));
    EXPECT_EQ(table, (std::vector<Label>{{0, "Convex Curvature", {0.332f, 0.733f, 0.98f, 1.0f}},
                                         {1, "Concave Curvature", {0.1f, 0.24f, 0.32f, 1.0f}}}));
    EXPECT_EQ(host.log, std::vector<std::string>{"Exported Color Label Table to GIfTI format, name:\n " +
                                                 dir.file("brain.label.gii")});
}

TEST(SurfaceColorExport, OwnColoursAreSortedAndKeyedByTheirRgb) {
    TempDir dir;
    FakeHost host;
    std::vector<std::int32_t> keys;
    std::vector<Label> table;
    const std::int32_t orange = kOwnColorBase + 255 * 65536 + 127 * 256 + 63;
    exportColors(triangleSurface(dir.file("D.srf"), {orange, kOwnColorBase + 255, kOwnColorBase}), keys, table);
    EXPECT_EQ(keys, (std::vector<std::int32_t>{0xFF7F3F, 255, 0}));
    EXPECT_EQ(table, (std::vector<Label>{{0, "Unknown", {0, 0, 0, 1}},
                                         {255, "Unknown", {0, 0, 1, 1}},
                                         {0xFF7F3F, "Unknown", {1.0f, 127.0f / 255.0f, 63.0f / 255.0f, 1.0f}}}));
}

TEST(SurfaceColorExport, MixedMeshesGiveEveryVertexAnEntry) {
    TempDir dir;
    FakeHost host;
    std::vector<std::int32_t> keys;
    std::vector<Label> table;
    exportColors(triangleSurface(dir.file("a.srf"), {kOwnColorBase + 5, 0, 1}), keys, table);
    EXPECT_EQ(keys, (std::vector<std::int32_t>{5, 0x1000000, 0x1000001}));
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table[1].key, 0x1000000);
    EXPECT_EQ(table[1].name, "Convex Curvature");
    EXPECT_EQ(table[2].name, "Concave Curvature");

    keys.clear();
    table.clear();
    exportColors(triangleSurface(dir.file("b.srf"), {1, kOwnColorBase + 0xFF0000, 0}), keys, table);
    EXPECT_EQ(keys, (std::vector<std::int32_t>{1, 2, 0}));
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table[2], (Label{2, "Unknown", {1, 0, 0, 1}}));
}

TEST(SurfaceColorExport, KeysNeverCollideAndTheStructureIsNamed) {
    TempDir dir;
    FakeHost host;
    // A word of 0x40000005 has the colour key 0x1000005, past the usual curvature keys.
    const SrfData srf = triangleSurface(dir.file("a_LH.srf"), {kOwnColorBase + 0x1000005, 0, 1});
    ASSERT_TRUE(exportSurfaceColors(srf, false));
    const GiftiImagePtr image = readGiftiImage(dir.file("a_LH.label.gii"), true);
    ASSERT_TRUE(image);
    const auto* keys = static_cast<const std::int32_t*>(image->darray[0]->data);
    EXPECT_EQ(std::vector<std::int32_t>(keys, keys + 3), (std::vector<std::int32_t>{0x1000005, 0x1000006, 0x1000007}));
    ASSERT_EQ(image->labeltable.length, 3);
    EXPECT_EQ(std::vector<int>(image->labeltable.key, image->labeltable.key + 3),
              (std::vector<int>{0x1000005, 0x1000006, 0x1000007}));
    ASSERT_NE(gifti_get_meta_value(&image->meta, "AnatomicalStructurePrimary"), nullptr);
    EXPECT_STREQ(gifti_get_meta_value(&image->meta, "AnatomicalStructurePrimary"), "CortexLeft");
}

TEST(SurfaceColorExport, SurfaceWithoutVerticesIsRefused) {
    TempDir dir;
    FakeHost host;
    SrfData srf;
    srf.fileName = dir.file("empty.srf");
    EXPECT_FALSE(exportSurfaceColors(srf, false));
    EXPECT_EQ(host.log, std::vector<std::string>{
                            "Export Color Label Table to GIfTI format did not succeed: the surface has no vertices."});
    EXPECT_TRUE(dir.entries().empty());
}
