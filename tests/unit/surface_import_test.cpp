#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>

#include <tuple>

#include "formats/srf_file.h"
#include "import/import_dispatch.h"
#include "import/import_support.h"
#include "plugin/commands.h"
#include "tests/support/host_test.h"
#include "tests/support/gifti_builder.h"
#include "tests/support/gifti_xml.h"

using ::testing::HasSubstr;
using namespace meshbridge;
using namespace meshbridge::test;

namespace {

const std::string kOctahedronPoints = dataArray("NIFTI_INTENT_POINTSET", "NIFTI_TYPE_FLOAT32",
    "Dimensionality=\"2\" Dim0=\"6\" Dim1=\"3\"", "0 0 1  1 0 0  0 1 0  -1 0 0  0 -1 0  0 0 -1");
const std::string kOctahedronTriangles = dataArray("NIFTI_INTENT_TRIANGLE", "NIFTI_TYPE_INT32",
    "Dimensionality=\"2\" Dim0=\"8\" Dim1=\"3\"", "5 2 1 0 1 2 0 4 1 5 1 4 0 2 3 0 3 4 5 3 2 5 4 3");

class SurfaceImportTest : public ImportTest {
protected:
    bool import(const std::string& xml, bool reverse = false, bool open = false) {
        return importFile(kFileTypeSrf, "lh.surf.gii", xml, {.open = open, .reverse = reverse});
    }

    // The SRF file the import wrote; a failure of the test (not a crash in
    // the lines that index its arrays) when there is none.
    SrfData written() {
        SrfData srf;
        if (!readSrfFile(dir.file("lh.surf.srf"), srf)) throw std::runtime_error("lh.surf.srf cannot be read");
        return srf;
    }
};

}  // namespace

class ImportDispatch : public test::HostTest {};

TEST_F(SurfaceImportTest, OctahedronBecomesAnSrfFileAndReverseWindingTurnsItsTriangles) {
    ASSERT_TRUE(import(gifti({kOctahedronPoints, kOctahedronTriangles})));
    const std::string srfPath = dir.file("lh.surf.srf");
    EXPECT_EQ(host.log, (std::vector<std::string>{
                            "nr of vertices: 6", "No external color file.",
                            "Length color labeltable: 0, number of vertices: 6",
                            "No predefined colors present (length = 0). Colors will be default Corvana colors (blue).",
                            "SRF saved as:\n" + srfPath, "GIFTI surface successfully imported."}));
    EXPECT_EQ(host.dialogs[0].title, "Please select the GIFTI surface file");
    const SrfData srf = written();
    EXPECT_EQ(srfHeaderText(srf).substr(srfHeaderText(srf).find("File version")),
              "File version: 3.0\nNumber of vertices: 6\nNumber of triangles: 8\n"
              "Mesh center: X: 0.000000, Y: 0.000000, Z: 0.000000\nMesh curvature colors: \n"
              "Concave red: 0.100000, green: 0.240000, blue: 0.320000\nConcave alpha: 1.000000\n"
              "Convex red: 0.332000, green: 0.733000, blue: 0.980000\nConvex alpha: 1.000000\n");
    EXPECT_EQ(std::tuple(srf.vertexX[1], srf.vertexZ[5], srf.normalZ[0], srf.triangles[0]), std::tuple(1, -1, 1, 5));
    const SrfNeighbors ringOfOne = srf.neighbors[1];
    EXPECT_EQ(std::vector<std::int32_t>(ringOfOne.indices.begin(), ringOfOne.indices.end()),
              (std::vector<std::int32_t>{5, 2, 0, 4}));
    EXPECT_EQ(std::vector<std::int32_t>(srf.vertexColors.begin(), srf.vertexColors.end()),
              std::vector<std::int32_t>(6, 0));
    EXPECT_EQ(host.stringParameters.count("SrfFileName"), 0u);

    ASSERT_TRUE(import(gifti({kOctahedronPoints, kOctahedronTriangles}), true, true));
    const SrfData reversed = written();
    // Every triangle turned over: its first and last corners swapped.
    EXPECT_EQ(std::vector<std::int32_t>(reversed.triangles.begin(), reversed.triangles.end()),
              (std::vector<std::int32_t>{1, 2, 5, 2, 1, 0, 1, 4, 0, 4, 1, 5, 3, 2, 0, 4, 3, 0, 2, 3, 5, 3, 4, 5}));
    EXPECT_FLOAT_EQ(reversed.normalZ[0], -1.0f);
    EXPECT_EQ(host.stringParameters["SrfFileName"], dir.file("lh.surf.srf"));
}

TEST_F(SurfaceImportTest, ArraysAreFoundByIntentInAnyTypeAndOrderOfAReadableFile) {
    const std::string points = dataArray("NIFTI_INTENT_POINTSET", "NIFTI_TYPE_FLOAT32",
                                         "Dimensionality=\"2\" Dim0=\"3\" Dim1=\"3\"", "0 1 0  0 0 1  0 0 0", "",
                                         "ColumnMajorOrder");
    const std::string triangles = dataArray("NIFTI_INTENT_TRIANGLE", "NIFTI_TYPE_INT16",
                                            "Dimensionality=\"1\" Dim0=\"3\"", "0 1 2");
    const std::string shape = dataArray("NIFTI_INTENT_SHAPE", "NIFTI_TYPE_FLOAT32",
                                        "Dimensionality=\"1\" Dim0=\"3\"", "1 2 3");
    ASSERT_TRUE(import(gifti({shape, triangles, points})));
    const SrfData srf = written();
    EXPECT_EQ(std::tuple(srf.nrOfVertices, srf.nrOfTriangles), std::tuple(3, 1));
    // Column-major: x of the vertices is (0, 1, 0).
    EXPECT_EQ(std::tuple(srf.vertexX[1], srf.vertexY[2], srf.normalZ[0]), std::tuple(1, 1, 1));

    host.log.clear();
    EXPECT_FALSE(import("<GIFTI><DataArray>"));
    ASSERT_EQ(host.log.size(), 2u);
    EXPECT_EQ(host.log[0], "Reading of GIfTI file did not succeed: " + dir.file("lh.surf.gii"));
    EXPECT_EQ(host.log[1].rfind(dir.file("lh.surf.gii") + ": no element found at line 1; ", 0), 0u) << host.log[1];
}

TEST_F(SurfaceImportTest, BadSurfacesAreRefusedWithoutWriting) {
    const std::string twoD = "Dimensionality=\"2\" Dim0=\"1\" Dim1=\"3\"";
    const std::string points3 = dataArray("NIFTI_INTENT_POINTSET", "NIFTI_TYPE_FLOAT32",
                                          "Dimensionality=\"2\" Dim0=\"3\" Dim1=\"3\"", "0 0 0 1 0 0 0 1 0");
    const struct {
        std::string xml;
        std::string problem;
    } cases[] = {
        {gifti({points3}), "it has no NIFTI_INTENT_TRIANGLE array"},
        {gifti({points3, dataArray("NIFTI_INTENT_TRIANGLE", "NIFTI_TYPE_INT32", twoD, "0 1 3")}),
         "triangle 0 uses the vertex index 3, outside 0 to 2"},
        {gifti({points3, dataArray("NIFTI_INTENT_TRIANGLE", "NIFTI_TYPE_INT32", twoD, "0 -1 2")}),
         "triangle 0 uses the vertex index -1, outside 0 to 2"},
        {gifti({points3, dataArray("NIFTI_INTENT_TRIANGLE", "NIFTI_TYPE_INT32",
                                   "Dimensionality=\"2\" Dim0=\"2\" Dim1=\"2\"", "0 1 2 0")}),
         "the NIFTI_INTENT_TRIANGLE array is not a list of T x 3 vertex indices"},
        {gifti({dataArray("NIFTI_INTENT_POINTSET", "NIFTI_TYPE_FLOAT32",
                          "Dimensionality=\"2\" Dim0=\"3\" Dim1=\"2\"", "0 0 1 0 0 1"),
                dataArray("NIFTI_INTENT_TRIANGLE", "NIFTI_TYPE_INT32", twoD, "0 1 2")}),
         "the NIFTI_INTENT_POINTSET array is not a list of N x 3 coordinates"},
    };
    test::writeFile(dir.file("lh.surf.srf"), "existing");
    for (const auto& c : cases) {
        host.messages.clear();
        host.log.clear();
        EXPECT_FALSE(import(c.xml));
        const std::string refusal = "The surface in " + dir.file("lh.surf.gii") + " cannot be imported: " + c.problem + ".";
        EXPECT_EQ(host.messages, std::vector<std::string>{refusal});
        EXPECT_EQ(host.log, std::vector<std::string>{refusal});  // the log, which is all that stays, says it too
        EXPECT_EQ(test::readFile(dir.file("lh.surf.srf")), "existing");
    }
}

TEST_F(SurfaceImportTest, ColoursFromASeparateLabelFile) {
    const std::string labels = "<LabelTable><Label Key=\"1\" Red=\"1\" Green=\"0\" Blue=\"0\" Alpha=\"1\">red</Label>"
                               "<Label Key=\"2\" Red=\"0\" Green=\"0.498039216\" Blue=\"1\" Alpha=\"1\">sky</Label>"
                               "</LabelTable>";
    test::writeFile(dir.file("lh.aparc.label.gii"),
                    gifti({dataArray("NIFTI_INTENT_LABEL", "NIFTI_TYPE_INT32", "Dimensionality=\"1\" Dim0=\"6\"",
                                     "1 2 0 1 2 1")},
                          labels));
    test::writeFile(dir.file("lh.surf.gii"), gifti({kOctahedronPoints, kOctahedronTriangles}));
    host.dialogAnswers = {dir.file("lh.surf.gii"), dir.file("lh.aparc.label.gii")};
    ASSERT_TRUE(importGiftiFile(kFileTypeSrf, false, false, false, true));
    EXPECT_EQ(host.dialogs[1].title, "Please select the GIFTI colors file");
    EXPECT_EQ(host.log[0].rfind("\nGIfTI filename: \n" + dir.file("lh.aparc.label.gii") + "\n", 0), 0u);
    EXPECT_THAT(host.logText(), HasSubstr("Length color labeltable: 2, number of vertices: 6"));
    const SrfData srf = written();
    EXPECT_EQ(std::vector<std::int32_t>(srf.vertexColors.begin(), srf.vertexColors.end()),
              (std::vector<std::int32_t>{0x3FFF0000, 0x3F007FFF, 0, 0x3FFF0000, 0x3F007FFF, 0x3FFF0000}));

    // A cancelled colours dialog ends the import.
    std::filesystem::remove(dir.file("lh.surf.srf"));
    host.dialogAnswers = {dir.file("lh.surf.gii")};
    EXPECT_FALSE(importGiftiFile(kFileTypeSrf, false, false, false, true));
    EXPECT_EQ(host.messages, std::vector<std::string>{"No GIFTI file was selected. Procedure finished."});
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"lh.aparc.label.gii", "lh.surf.gii"}));
}

TEST_F(ImportDispatch, DialogTitlesUnknownTypesAndClassificationByIntentsInFixedOrder) {
    // GIFTI (1) is what Import reads, not a kind it makes.
    for (int type : {1, 7}) {
        host.messages.clear();
        EXPECT_FALSE(importGiftiFile(type, false, false, false, true));
        EXPECT_TRUE(host.dialogs.empty());
        EXPECT_EQ(host.messages, std::vector<std::string>{"Import makes an SRF, MTC, SMP or POI file from a GIFTI "
                                                          "file: choose one of these as the file type. Procedure "
                                                          "finished."});
    }
    // The filters also show the FreeSurfer and CIFTI files that become each kind.
    const std::tuple<int, const char*, const char*> titles[] = {
        {3, "Please select the GIFTI time series file", "*.gii;*.gii.gz;*.mgh;*.mgz;*.dtseries.nii"},
        {4, "Please select the GIFTI statistical file", "*.gii;*.gii.gz;*.mgh;*.mgz;lh.*;rh.*;*.dscalar.nii"},
        {5, "Please select the GIFTI label file", "*.gii;*.gii.gz;*.annot;*.label;*.dlabel.nii"}};
    for (const auto& [type, title, filter] : titles) {
        host.dialogs.clear();
        EXPECT_FALSE(importGiftiFile(type, false, false, false, true));
        ASSERT_EQ(host.dialogs.size(), 1u);  // never a colours dialog
        EXPECT_EQ(host.dialogs[0].title, title);
        EXPECT_EQ(host.dialogs[0].filter, filter);
    }

    const auto image = [](std::initializer_list<int> intents) {
        GiftiImagePtr built = test::emptyImage();
        for (int intent : intents) test::addArray(*built, intent, NIFTI_TYPE_FLOAT32, {1}, std::vector<float>{0});
        return built;
    };
    EXPECT_EQ(classifyGifti(*image({1008, 1009, 2})), GiftiContent::Surface);
    EXPECT_EQ(classifyGifti(*image({5, 2001})), GiftiContent::TimeSeries);
    EXPECT_EQ(classifyGifti(*image({1002, 5})), GiftiContent::SurfaceMap);
    EXPECT_EQ(classifyGifti(*image({2005})), GiftiContent::SurfaceMap);
    EXPECT_EQ(classifyGifti(*image({23})), GiftiContent::SurfaceMap);
    EXPECT_EQ(classifyGifti(*image({1002, 2002})), GiftiContent::LabelTable);
    for (int alone : {24, 0, 1009, 2002, 1015, 1016, 1017}) {
        EXPECT_EQ(classifyGifti(*image({alone})), GiftiContent::Unsupported) << alone;
    }
    EXPECT_EQ(classifyGifti(*image({})), GiftiContent::Unsupported);
    EXPECT_EQ(classifiedIntents(*image({3, 4, 2005, 1008})), (std::set<int>{2, 1008}));
}


TEST(ImportOutputFolder, ResultsAreNamedInTheFolderGivenAsTheyWouldBeBesideTheInput) {
    EXPECT_EQ(outputBaseFor("subjects/bert/surf/lh.white"), "subjects/bert/surf/lh.white");
    {
        const ScopedOutputFolder folder("out/bert");
        EXPECT_EQ(outputBaseFor("subjects/bert/surf/lh.white"), "out/bert/lh.white");
        {
            // A Windows folder keeps its own separator, also after a trailing one.
            const ScopedOutputFolder inner("C:\\converted\\bert");
            EXPECT_EQ(outputBaseFor("D:\\subjects\\bert\\surf\\lh.white"), "C:\\converted\\bert\\lh.white");
            const ScopedOutputFolder trailing("C:/converted/");
            EXPECT_EQ(outputBaseFor("D:\\subjects\\lh.white"), "C:/converted/lh.white");
        }
        EXPECT_EQ(outputBaseFor("lh.white"), "out/bert/lh.white");
    }
    EXPECT_EQ(outputBaseFor("lh.white"), "lh.white");
}
