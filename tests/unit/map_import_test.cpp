#include "import/map_import.h"

#include <gtest/gtest.h>

#include "import/import_dispatch.h"
#include "plugin/commands.h"
#include "tests/support/fake_host.h"
#include "tests/support/gifti_xml.h"
#include "tests/support/temp_dir.h"

using namespace meshbridge;
using meshbridge::test::dataArray;
using meshbridge::test::FakeHost;
using meshbridge::test::gifti;
using meshbridge::test::md;
using meshbridge::test::TempDir;

namespace {

const std::string kShape = "Dimensionality=\"1\" Dim0=\"4\"";

std::string array(const std::string& intent, const std::string& metadata = "", const std::string& values = "1 2 3 4") {
    return dataArray(intent, "NIFTI_TYPE_FLOAT32", kShape, values, metadata);
}

class MapImportTest : public ::testing::Test {
protected:
    bool import(const std::vector<std::string>& arrays, bool open = false) {
        test::writeFile(dir.file("stats.func.gii"), gifti(arrays));
        host.dialogAnswers.push_back(dir.file("stats.func.gii"));
        return importGiftiFile(4, false, open, false, false);
    }

    SmpData written() {
        SmpData smp;
        EXPECT_TRUE(readSmpFile(dir.file("stats.func.smp"), smp));
        return smp;
    }

    TempDir dir;
    FakeHost host;
};

}  // namespace

TEST_F(MapImportTest, NamedZScoreNeedsNoQuestion) {
    ASSERT_TRUE(import({array("NIFTI_INTENT_ZSCORE", md("Name", "contrast A"))}));
    EXPECT_TRUE(host.questions.empty());
    EXPECT_EQ(host.log, (std::vector<std::string>{"Found Name: 'contrast A' for Map: 0",
                                                  "SMP saved as:\n" + dir.file("stats.func.smp"),
                                                  "GIFTI surface map successfully imported."}));
    const SmpData smp = written();
    EXPECT_EQ(smp.version, 5);
    EXPECT_EQ(smp.nrOfVertices, 4);
    EXPECT_EQ(smp.srfFileName, "untitled.srf");
    const SmpMap& map = smp.maps[0];
    EXPECT_EQ(map.mapType, 5);
    EXPECT_EQ(map.name, "contrast A");
    EXPECT_EQ(map.df1, 0);
    EXPECT_EQ(map.df2, 0);
    EXPECT_EQ(map.clusterSize, 25);
    EXPECT_EQ(map.enableClusterCheck, 1);
    EXPECT_EQ(map.thresholdMin, 2.282f);
    EXPECT_EQ(map.thresholdMax, 8.0f);
    EXPECT_EQ(map.optionV4, 1);
    EXPECT_EQ(map.optionV5, 3);
    EXPECT_EQ(map.criticalColor, (std::array<std::uint8_t, 3>{192, 0, 0}));
    EXPECT_EQ(map.maxColor, (std::array<std::uint8_t, 3>{255, 192, 0}));
    EXPECT_EQ(map.criticalColorNeg, (std::array<std::uint8_t, 3>{0, 0, 128}));
    EXPECT_EQ(map.maxColorNeg, (std::array<std::uint8_t, 3>{0, 128, 255}));
    EXPECT_EQ(map.lutFileName, "<default>");
    EXPECT_EQ(map.transparentColorFactor, 1.0f);
    EXPECT_EQ(std::vector<float>(map.data.begin(), map.data.end()), (std::vector<float>{1, 2, 3, 4}));
}

TEST_F(MapImportTest, DegreesOfFreedomFromMetadataOrQuestions) {
    host.floatAnswers = {20.0f, 5.0f, 9.5f};
    ASSERT_TRUE(import({array("NIFTI_INTENT_TTEST", md("intent_p1", "27.9")), array("NIFTI_INTENT_TTEST"),
                        array("NIFTI_INTENT_CORREL"), array("NIFTI_INTENT_PVAL")}));
    // Only arrays without intent_p1 ask, in array order.
    EXPECT_EQ(host.questions,
              std::vector<std::string>(3, "Please enter the first degrees of freedom parameter (see manual for help)"));
    EXPECT_EQ(host.log[0], "Found distribution parameter 1: '27.900000' of intent 'T-statistic'");
    const SmpData smp = written();
    ASSERT_EQ(smp.nrOfMaps, 4);
    EXPECT_EQ(smp.maps[0].df1, 27);
    EXPECT_EQ(smp.maps[1].df1, 20);
    EXPECT_EQ(smp.maps[2].mapType, 2);
    EXPECT_EQ(smp.maps[2].name, "Correlation statistic");
    EXPECT_EQ(smp.maps[2].df1, 5);
    EXPECT_EQ(smp.maps[3].mapType, 1);
    EXPECT_EQ(smp.maps[3].name, "P-value");
    EXPECT_EQ(smp.maps[3].df1, 9);
}

TEST_F(MapImportTest, CancelledQuestionWritesNothing) {
    host.floatAnswers = {12.0f};  // the second question of the F map is cancelled
    EXPECT_FALSE(import({array("NIFTI_INTENT_FTEST")}));
    EXPECT_EQ(host.questions, (std::vector<std::string>{
                                  "Please enter the first degrees of freedom parameter (see manual for help)",
                                  "Please enter the second degrees of freedom parameter "}));
    EXPECT_EQ(host.log, std::vector<std::string>{"Distribution parameters missing. Set to zero!"});
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"stats.func.gii"});
}

TEST_F(MapImportTest, NamesComeFromNameOrNameMetadataOnly) {
    ASSERT_TRUE(import({array("NIFTI_INTENT_ZSCORE", md("NAME", "no") + md("Name", "a") + md("name", "b"))}));
    EXPECT_EQ(written().maps[0].name, "b");
    EXPECT_EQ(host.log[0], "Found Name: 'a' for Map: 0");
    EXPECT_EQ(host.log[1], "Found Name: 'b' for Map: 0");
}

TEST_F(MapImportTest, ShapeArraysAskOneQuestionEach) {
    host.yesNoAnswers = {true, false, true};
    host.floatAnswers = {3.0f};
    ASSERT_TRUE(import({array("NIFTI_INTENT_SHAPE"), array("NIFTI_INTENT_SHAPE"), array("NIFTI_INTENT_SHAPE")}));
    const std::string shape = "GIFTI type is 'Shape'\n\nIs this a Cortical Thickness (Yes) or Curvature (No) map";
    const std::string df = "Please enter the first degrees of freedom parameter (see manual for help)";
    EXPECT_EQ(host.questions, (std::vector<std::string>{shape, shape, df, shape}));
    const SmpData smp = written();
    EXPECT_EQ(smp.maps[0].mapType, 13);
    EXPECT_EQ(smp.maps[1].mapType, 1);
    EXPECT_EQ(smp.maps[1].df1, 3);
    EXPECT_EQ(smp.maps[2].mapType, 13);
}

TEST_F(MapImportTest, RetinotopyIntentsBecomeTheirMapTypes) {
    // Retinotopy arrays alone are not maps to import; beside a statistic they are.
    ASSERT_TRUE(import({array("NIFTI_INTENT_ZSCORE"), array("NIFTI_INTENT_RETINOTOPY_POLAR"),
                        array("NIFTI_INTENT_RETINOTOPY_ECCENTRICITY"), array("NIFTI_INTENT_RETINOTOPY_FIELD_SIGN")}));
    const SmpData smp = written();
    EXPECT_EQ(smp.maps[1].mapType, 16);
    EXPECT_EQ(smp.maps[2].mapType, 17);
    EXPECT_EQ(smp.maps[3].mapType, 18);
    EXPECT_TRUE(host.questions.empty());
}

TEST_F(MapImportTest, ValuesOfAnyNumberTypeAndOneColumn) {
    const std::string shorts = dataArray("NIFTI_INTENT_ZSCORE", "NIFTI_TYPE_INT16", kShape, "-1 0 1 300");
    const std::string column = dataArray("NIFTI_INTENT_ZSCORE", "NIFTI_TYPE_FLOAT64",
                                         "Dimensionality=\"2\" Dim0=\"4\" Dim1=\"1\"", "0.5 1.5 2.5 3.5", "",
                                         "ColumnMajorOrder");
    ASSERT_TRUE(import({shorts, column}));
    const SmpData smp = written();
    EXPECT_EQ(std::vector<float>(smp.maps[0].data.begin(), smp.maps[0].data.end()), (std::vector<float>{-1, 0, 1, 300}));
    EXPECT_EQ(smp.maps[1].data[3], 3.5f);
}

TEST_F(MapImportTest, ArraysThatDoNotFitAreRefused) {
    const std::string path = dir.file("stats.func.gii");
    test::writeFile(dir.file("stats.func.smp"), "existing");
    EXPECT_FALSE(import({array("NIFTI_INTENT_ZSCORE"),
                         dataArray("NIFTI_INTENT_ZSCORE", "NIFTI_TYPE_FLOAT32", "Dimensionality=\"1\" Dim0=\"3\"",
                                   "1 2 3")}));
    EXPECT_EQ(host.messages.back(),
              "The maps in " + path + " cannot be imported: data array 1 is not a list of 4 values like the first.");
    EXPECT_FALSE(import({array("NIFTI_INTENT_ZSCORE"),
                         dataArray("NIFTI_INTENT_ZSCORE", "NIFTI_TYPE_FLOAT32", "Dimensionality=\"2\" Dim0=\"4\" Dim1=\"2\"",
                                   "1 2 3 4 5 6 7 8")}));
    EXPECT_FALSE(import({"<DataArray Intent=\"NIFTI_INTENT_ZSCORE\" DataType=\"NIFTI_TYPE_RGB24\" "
                         "ArrayIndexingOrder=\"RowMajorOrder\" " + kShape + " Encoding=\"Base64Binary\" "
                         "Endian=\"LittleEndian\"><Data>AQIDBAUGBwgJAQID</Data></DataArray>"}));
    EXPECT_NE(host.messages.back().find("data array 0 cannot be read: its values of type NIFTI_TYPE_RGB24 are not "
                                        "plain numbers"),
              std::string::npos);
    EXPECT_FALSE(import({array("NIFTI_INTENT_ZSCORE", "", "1 2")}));  // data shorter than its dimensions
    EXPECT_EQ(test::readFile(dir.file("stats.func.smp")), "existing");
    EXPECT_TRUE(host.questions.empty());
}

TEST_F(MapImportTest, FailedWriteEndsWithoutTheSavedLine) {
    std::filesystem::create_directory(dir.file("stats.func.smp"));
    EXPECT_FALSE(import({array("NIFTI_INTENT_ZSCORE")}, true));
    EXPECT_EQ(host.log, std::vector<std::string>{"Could not write " + dir.file("stats.func.smp") + ": Is a directory."});
    EXPECT_TRUE(host.loadedMapFiles.empty());
}

TEST_F(MapImportTest, OpenCreatesTheMapsOnTheCurrentSurface) {
    HostSrfInfo surface{};
    surface.nrOfVertices = 4;
    host.currentSurface = surface;
    host.maps.resize(1);  // a map the surface had before
    host.maps[0].values.assign(4, 9.0f);
    host.mapsFileName = "old.smp";
    ASSERT_TRUE(import({array("NIFTI_INTENT_ZSCORE", md("Name", "z")), array("NIFTI_INTENT_TTEST", md("intent_p1", "12"))},
                       true));
    ASSERT_EQ(host.maps.size(), 3u);
    EXPECT_EQ(host.maps[0].values[0], 9.0f);  // untouched
    EXPECT_EQ(host.maps[1].name, "z");
    EXPECT_EQ(host.maps[1].settings.mapType, 5);
    EXPECT_EQ(host.maps[1].settings.importedFlag, 1.0f);
    EXPECT_EQ(host.maps[2].name, "T-statistic");
    EXPECT_EQ(host.maps[2].settings.mapType, 1);
    EXPECT_EQ(host.maps[2].settings.df1, 12);
    EXPECT_EQ(host.loadedMapFiles, std::vector<std::string>{dir.file("stats.func.smp")});
    EXPECT_TRUE(host.messages.empty());

    host.loadMapsResult = 0;
    EXPECT_TRUE(import({array("NIFTI_INTENT_ZSCORE")}, true));
    EXPECT_EQ(host.messages, std::vector<std::string>{"Surface map (SMP) could not be loaded on current surface (SRF)."});
}

TEST_F(MapImportTest, OpenRefusesASurfaceOfAnotherSize) {
    HostSrfInfo surface{};
    surface.nrOfVertices = 5;
    host.currentSurface = surface;
    EXPECT_FALSE(import({array("NIFTI_INTENT_ZSCORE")}, true));
    EXPECT_EQ(host.messages, std::vector<std::string>{"The number of vertices of the map is not equal to number of "
                                                      "vertices in surface. Process terminated."});
    EXPECT_TRUE(host.maps.empty());
    EXPECT_TRUE(host.loadedMapFiles.empty());
    EXPECT_TRUE(std::filesystem::exists(dir.file("stats.func.smp")));
}

TEST(MapTypes, EveryRowGoesOutAndComesBack) {
    for (const MapTypeRow& row : kMapTypes) {
        EXPECT_EQ(intentForMapType(row.mapType), row.intent) << row.mapType;
        if (row.importedFromIntent) {
            EXPECT_EQ(mapTypeOfIntent(row.intent), row.mapType) << row.mapType;
        }
    }
    // Chi-squared is NIfTI's 6 and beta its 7; t and F take one and two degrees of freedom.
    EXPECT_EQ(intentForMapType(14), 6);
    EXPECT_EQ(intentForMapType(15), 7);
    EXPECT_EQ(intentForMapType(3), NIFTI_INTENT_CORREL);
    EXPECT_EQ(intentForMapType(12), NIFTI_INTENT_NONE);
    EXPECT_EQ(mapTypeOfIntent(NIFTI_INTENT_CORREL), 2);
    EXPECT_EQ(mapTypeOfIntent(NIFTI_INTENT_SHAPE), std::nullopt);
    // t, correlation and chi-squared have one degree of freedom, F and beta two.
    for (std::int32_t type : {1, 2, 3, 14}) EXPECT_EQ(numberOfDistributionParameters(type), 1) << type;
    for (std::int32_t type : {4, 15}) EXPECT_EQ(numberOfDistributionParameters(type), 2) << type;
    EXPECT_EQ(numberOfDistributionParameters(99), 0);
    EXPECT_STREQ(intentName(16), "Uniform distribition");
    EXPECT_STREQ(intentName(2005), "Unknown");
}
