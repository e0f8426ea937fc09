// Label import (GIFTI to POI) and POI export (POI to GIFTI).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

#include "common/gifti.h"
#include "formats/poi_file.h"
#include "plugin/commands.h"
#include "tests/support/bytes.h"
#include "tests/support/describe.h"
#include "tests/support/host_test.h"
#include "tests/support/gifti_xml.h"

using ::testing::HasSubstr;
using namespace meshbridge;
using namespace meshbridge::test;

namespace {

const std::string kTable =
    "<LabelTable>"
    "<Label Key=\"0\" Red=\"0\" Green=\"0\" Blue=\"0\" Alpha=\"0\"><![CDATA[Background]]></Label>"
    "<Label Key=\"1\" Red=\"1\" Green=\"0\" Blue=\"0\" Alpha=\"1\"><![CDATA[V1]]></Label>"
    "<Label Key=\"4\" Red=\"0.5\" Green=\"0.5\" Blue=\"0.5\" Alpha=\"1\"><![CDATA[100% grey]]></Label>"
    "</LabelTable>";

std::string labels(const std::string& values = "0 0 1 1 1 7") {
    return dataArray("NIFTI_INTENT_LABEL", "NIFTI_TYPE_INT32", "Dimensionality=\"1\" Dim0=\"6\"", values);
}

std::string nodes(const std::string& values = "10 20 30 40 50 60") {
    return dataArray("NIFTI_INTENT_NODE_INDEX", "NIFTI_TYPE_INT32", "Dimensionality=\"1\" Dim0=\"6\"", values);
}

// A POI file of the given patches (name, colour, vertices) on a mesh of
// `meshVertices`, written as `path`.
PoiData writePatches(const std::string& path, std::int32_t meshVertices,
                     const std::vector<std::tuple<const char*, int, std::vector<std::int32_t>>>& patches) {
    PoiData poi{.version = 2, .nrOfMeshVertices = meshVertices, .nrOfPOIs = static_cast<std::int32_t>(patches.size()),
                .fileName = path};
    for (const auto& [name, color, vertices] : patches)
        poi.patches.push_back(
            {.nrOfVertices = static_cast<std::int32_t>(vertices.size()), .name = name, .color = color, .vertices = HugePageVector<std::int32_t>(vertices.begin(), vertices.end())});
    EXPECT_TRUE(writePoiFile(poi));
    return poi;
}

class LabelImportTest : public ImportTest {
protected:
    bool import(const std::vector<std::string>& arrays, bool open = false) {
        return importFile(kFileTypePoi, "lh.aparc.label.gii", gifti(arrays, kTable), {.open = open});
    }

    PoiData written() {
        PoiData poi;
        EXPECT_TRUE(readPoiFile(dir.file("lh.aparc.label.poi"), poi));
        return poi;
    }
};

}  // namespace

class PoiExport : public test::HostTest {};

TEST_F(LabelImportTest, OnePatchPerLabel) {
    ASSERT_TRUE(import({labels()}));
    EXPECT_EQ(host.dialogs[0].title, "Please select the GIFTI label file");
    EXPECT_EQ(host.log, (std::vector<std::string>{"Determine number of mesh vertices...",
                                                  "Number of mesh vertices equal to number of POI nodes: 6",
                                                  "1 of 6 vertices have a label value that the label table does "
                                                  "not hold; they are in no patch.",
                                                  "POI saved as:\n" + dir.file("lh.aparc.label.poi"),
                                                  "GIFTI label table successfully imported."}));
    const PoiData poi = written();
    EXPECT_EQ(poi.version, 2);
    EXPECT_EQ(poi.nrOfMeshVertices, 6);
    // A key without vertices has label vertex 0; a component of 0.5 gives 128.
    EXPECT_EQ(describe(poi), "Background [0 1] label 0 colour 0\nV1 [2 3 4] label 2 colour 16711680\n"
                             "100% grey [] label 0 colour " + std::to_string(128 * 65536 + 128 * 256 + 128) + "\n");
}

TEST_F(LabelImportTest, NodeIndicesWithTheHostsSurface) {
    host.currentSurface = HostSrfInfo{.nrOfVertices = 100};
    ASSERT_TRUE(import({labels(), nodes()}, true));
    const PoiData poi = written();
    EXPECT_EQ(poi.nrOfMeshVertices, 100);
    EXPECT_THAT(describe(poi), HasSubstr("V1 [30 40 50] label 30 "));
    EXPECT_THAT(host.log[1], HasSubstr("Number of mesh vertices: 100. Please note"));
    EXPECT_EQ(host.loadedPatchFiles, std::vector<std::string>{dir.file("lh.aparc.label.poi")});
}

TEST_F(LabelImportTest, NodeIndicesWithAChosenSurfaceOrNone) {
    // An SRF file of 70 vertices, chosen in the dialog that follows.
    test::Bytes srf;
    srf.f32(3.0f).i32(0).i32(70).i32(0).f32(0).f32(0).f32(0);
    for (int i = 0; i < 6 * 70 + 8 + 70; ++i) srf.i32(0);
    for (int i = 0; i < 70; ++i) srf.i32(0);  // no neighbours
    srf.i32(0);
    test::writeFile(dir.file("lh.srf"), srf.str());
    host.dialogAnswers = {dir.file("lh.srf")};
    host.dialogBufferUse = {0, kHostLongPathBufferSize};  // the host may fill the surface dialog's buffer
    ASSERT_TRUE(import({labels(), nodes()}));
    EXPECT_EQ(host.dialogs[1].title, "Please select the Corvana surface file where this POI belongs to");
    EXPECT_EQ(host.dialogs[1].filter, "*.srf");
    EXPECT_EQ(written().nrOfMeshVertices, 70);
    EXPECT_EQ(host.log[1], "Number of mesh vertices: 70");

    // No surface: the count of label values, or enough for the highest node.
    host.log.clear();
    host.dialogAnswers.clear();
    ASSERT_TRUE(import({labels(), nodes("0 1 2 3 4 5")}));
    EXPECT_EQ(written().nrOfMeshVertices, 6);
    EXPECT_EQ(host.log[1], "Number of mesh vertices not determined.");
    EXPECT_EQ(host.log[2], "The POI gives its mesh 6 vertices, one more than the highest vertex the labels name: no "
                           "surface is open in Corvana and none was chosen.");
    ASSERT_TRUE(import({labels(), nodes()}));
    EXPECT_EQ(written().nrOfMeshVertices, 61);
    // A negative node lies outside any mesh.
    host.messages.clear();
    EXPECT_FALSE(import({labels(), nodes("0 1 -2 3 4 5")}));
    EXPECT_EQ(host.messages, std::vector<std::string>{"The labels in " + dir.file("lh.aparc.label.gii") +
                                                      " cannot be imported: node index -2 (value 2) lies outside the "
                                                      "mesh of 6 vertices."});
}

TEST_F(LabelImportTest, BadArraysAndFailedWritesAreRefused) {
    EXPECT_FALSE(import({labels(), dataArray("NIFTI_INTENT_NODE_INDEX", "NIFTI_TYPE_INT32",
                                             "Dimensionality=\"1\" Dim0=\"5\"", "1 2 3 4 5")}));
    EXPECT_THAT(host.lastMessage(), HasSubstr("its node-index array holds 5 values for 6 labels"));
    EXPECT_FALSE(import({nodes()}));  // node indices alone are not a label file
    EXPECT_EQ(host.lastLog(), "GIfTI filetype not supported (check INTENT code by making headerdump).");
    EXPECT_FALSE(std::filesystem::exists(dir.file("lh.aparc.label.poi")));

    // Of several label arrays the last counts; a failed write is reported.
    ASSERT_TRUE(import({labels("1 1 1 1 1 1"), labels("4 4 0 0 0 0")}));
    EXPECT_THAT(describe(written()), HasSubstr("100% grey [0 1] "));
    std::filesystem::remove(dir.file("lh.aparc.label.poi"));
    std::filesystem::create_directory(dir.file("lh.aparc.label.poi"));
    host.log.clear();
    EXPECT_FALSE(import({labels()}, true));
    EXPECT_EQ(host.lastLog(), "Could not write " + dir.file("lh.aparc.label.poi") + ": Is a directory.");
    EXPECT_TRUE(host.loadedPatchFiles.empty());
}

TEST_F(PoiExport, PatchesBecomeNodeAndLabelArrays) {
    PoiData poi = writePatches(dir.file("areas.poi"), 40962,
                               {{"V1", 255 * 65536, {10, 11, 12}}, {"V2", 255 * 65536 + 127 * 256 + 63, {12, 40}},
                                {"empty", 255, {}}});
    poi.fromMeshFile = "lh brain.srf";
    ASSERT_TRUE(writePoiFile(poi));
    ASSERT_TRUE(exportFile(kFileTypePoi, poi.fileName));
    EXPECT_EQ(host.dialogs[0].title, "Please select the Corvana patch of interest file");
    EXPECT_THAT(host.logText(), HasSubstr("Workbench and FreeSurfer read a label file as one label per vertex: export "
                                          "with \"Labels per vertex\" for them.\n"));

    const GiftiImagePtr image = readGiftiImage(dir.file("areas.label.gii"), true);
    ASSERT_TRUE(image);
    EXPECT_EQ(test::metaOf(image->meta, "Corresponding (underlying) Corvana surface"), "lh brain.srf");
    EXPECT_EQ(test::metaOf(image->meta, "Number of mesh vertices"), "40962");
    ASSERT_EQ(image->numDA, 2);
    EXPECT_EQ(image->darray[0]->intent, NIFTI_INTENT_NODE_INDEX);
    EXPECT_EQ(image->darray[1]->intent, NIFTI_INTENT_LABEL);
    EXPECT_EQ(valuesOf<std::int32_t>(*image->darray[0]), (std::vector<std::int32_t>{10, 11, 12, 12, 40}));
    EXPECT_EQ(valuesOf<std::int32_t>(*image->darray[1]), (std::vector<std::int32_t>{0, 0, 0, 1, 1}));
    EXPECT_EQ(describe(image->labeltable), "0 V1 255 0 0 255\n1 V2 255 127 63 255\n2 empty 0 0 255 255\n");
}

TEST_F(PoiExport, OneLabelPerVertexAndBackToTheSamePatches) {
    PoiData poi = writePatches(dir.file("areas.poi"), 6, {{"V1", 255 * 65536, {0, 1, 2}}, {"V2", 255, {2, 3}}});
    ASSERT_TRUE(exportFile(kFileTypePoi, poi.fileName, {.labelsPerVertex = true}));
    EXPECT_EQ(host.logText().find("Labels per vertex"), std::string::npos);  // no advice where it is followed
    EXPECT_THAT(host.logText(), HasSubstr("1 vertices lie in more than one patch; each keeps the label of its first patch."));

    const GiftiImagePtr image = readGiftiImage(dir.file("areas.label.gii"), true);
    ASSERT_TRUE(image);
    ASSERT_EQ(image->numDA, 1);
    EXPECT_EQ(image->darray[0]->intent, NIFTI_INTENT_LABEL);
    const char* name = gifti_get_meta_value(&image->darray[0]->meta, "Name");
    EXPECT_STREQ(name, "areas");  // Workbench shows a label map by its name
    EXPECT_EQ(valuesOf<std::int32_t>(*image->darray[0]), (std::vector<std::int32_t>{1, 1, 1, 2, 0, 0}));
    // Vertices in no patch are transparent.
    EXPECT_EQ(describe(image->labeltable), "0 ??? 0 0 0 0\n1 V1 255 0 0 255\n2 V2 0 0 255 255\n");

    // The import gives the patches back, and "???" with the vertices in none.
    std::filesystem::remove(poi.fileName);
    host.dialogAnswers.push_back(dir.file("areas.label.gii"));
    ASSERT_TRUE(importGiftiFile(kFileTypePoi, false, false, false, false));
    PoiData back;
    ASSERT_TRUE(readPoiFile(dir.file("areas.label.poi"), back));
    EXPECT_EQ(back.nrOfMeshVertices, 6);
    EXPECT_EQ(describe(back), "??? [4 5] label 4 colour 0\nV1 [0 1 2] label 0 colour 16711680\nV2 [3] label 3 colour 255\n");

    // Without the mesh's size there is nothing to label, nor with a size no mesh has.
    for (const auto& [vertices, problem] :
         {std::pair{0, " does not say how many vertices its mesh has, which one label per vertex needs."},
          std::pair{2000000000, " gives its mesh 2000000000 vertices, more than the 268435456 one label per vertex "
                                "is written for."}}) {
        poi.nrOfMeshVertices = vertices;
        ASSERT_TRUE(writePoiFile(poi));
        EXPECT_FALSE(exportFile(kFileTypePoi, poi.fileName, {.labelsPerVertex = true}));
        EXPECT_EQ(host.lastLog(), "Export to GIfTI format did not succeed: " + poi.fileName + problem);
    }
}

TEST_F(PoiExport, VerticesBeyondTheMeshAreWrittenAsTheyAreUnlessLabelledPerVertex) {
    // The node-index form has no mesh to protect: the POI's vertex count is
    // written, and its vertices as they are.
    PoiData poi = writePatches(dir.file("far.poi"), 6, {{"V1", 0, {10, 50}}});
    ASSERT_TRUE(exportFile(kFileTypePoi, poi.fileName));
    EXPECT_THAT(host.logText(), HasSubstr("2 of the 2 patch vertices lie at or beyond the 6 mesh vertices " +
                                          poi.fileName + " gives; they are written as they are.\n"));
    const GiftiImagePtr image = readGiftiImage(dir.file("far.label.gii"), true);
    ASSERT_TRUE(image);
    EXPECT_EQ(valuesOf<std::int32_t>(*image->darray[0]), (std::vector<std::int32_t>{10, 50}));
    EXPECT_EQ(metaOf(image->meta, "Number of mesh vertices"), "6");

    // One label per vertex cannot place them; a negative index is no vertex at all.
    EXPECT_FALSE(exportFile(kFileTypePoi, poi.fileName, {.labelsPerVertex = true}));
    EXPECT_EQ(host.log.end()[-2], "Export to GIfTI format did not succeed: " + poi.fileName +
                                      " holds the vertex of patch \"V1\" 10 (at position 0), outside the mesh of 6 "
                                      "vertices; 2 of its 2 indices lie outside.");
    EXPECT_EQ(host.lastLog(), "One label per vertex needs every patch vertex inside the mesh; export without labels "
                               "per vertex to write the patches as they are.");
    std::filesystem::remove(dir.file("far.label.gii"));
    poi = writePatches(dir.file("far.poi"), 6, {{"V1", 0, {0, 5, -4, -4}}});
    EXPECT_FALSE(exportFile(kFileTypePoi, poi.fileName, {.binary = true}));
    EXPECT_EQ(host.lastLog(), "Export to GIfTI format did not succeed: " + poi.fileName +
                                   " holds the vertex of patch \"V1\" -4 (at position 2), which is no vertex index; 2 "
                                   "of its 4 indices are negative.");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"far.poi"});
}

TEST_F(PoiExport, PatchesWithoutVerticesAreRefused) {
    PoiData poi;
    poi.version = 2;
    poi.fileName = dir.file("none.poi");
    ASSERT_TRUE(writePoiFile(poi));
    EXPECT_FALSE(exportFile(kFileTypePoi, poi.fileName, {.binary = true}));
    EXPECT_EQ(host.lastLog(), "Export to GIfTI format did not succeed: the patches hold no vertices.");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"none.poi"});
}
