#include "import/map_import.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <tuple>

#include "import/import_dispatch.h"
#include "plugin/commands.h"
#include "tests/support/describe.h"
#include "tests/support/host_test.h"
#include "tests/support/gifti_xml.h"

using ::testing::HasSubstr;
using namespace meshbridge;
using namespace meshbridge::test;

namespace {

const std::string kShape = "Dimensionality=\"1\" Dim0=\"4\"";

std::string array(const std::string& intent, const std::string& metadata = "", const std::string& values = "1 2 3 4") {
    return dataArray(intent, "NIFTI_TYPE_FLOAT32", kShape, values, metadata);
}

// "TYPE NAME df1/df2: VALUES" per map, one line each.
std::string describe(const SmpData& smp) {
    std::string text;
    for (const SmpMap& map : smp.maps) {
        text += std::to_string(map.mapType) + ' ' + map.name + ' ' + std::to_string(map.df1) + '/' +
                std::to_string(map.df2) + ':';
        for (float value : map.data) text.append(1, ' ').append(test::shortest(value));
        text += '\n';
    }
    return text;
}

class MapImportTest : public ImportTest {
protected:
    bool import(const std::vector<std::string>& arrays, bool open = false) {
        return importFile(kFileTypeSmp, "stats.func.gii", gifti(arrays), {.open = open});
    }

    SmpData written() {
        SmpData smp;
        EXPECT_TRUE(readSmpFile(dir.file("stats.func.smp"), smp));
        return smp;
    }
};

}  // namespace

TEST_F(MapImportTest, NamedZScoreNeedsNoQuestionAndShapeArraysAskOneEach) {
    ASSERT_TRUE(import({array("NIFTI_INTENT_ZSCORE", md("Name", "contrast A"))}));
    EXPECT_TRUE(host.questions.empty());
    EXPECT_EQ(host.log, (std::vector<std::string>{"Found Name: 'contrast A' for Map: 0",
                                                  "SMP saved as:\n" + dir.file("stats.func.smp"),
                                                  "GIFTI surface map successfully imported."}));
    const SmpData smp = written();
    EXPECT_EQ(std::tuple(smp.version, smp.nrOfVertices, smp.srfFileName), std::tuple(5, 4, "untitled.srf"));
    EXPECT_EQ(describe(smp), "5 contrast A 0/0: 1 2 3 4\n");
    const SmpMap& map = smp.maps.at(0);
    EXPECT_EQ(std::tuple(map.clusterSize, map.enableClusterCheck, map.thresholdMin, map.thresholdMax, map.optionV4,
                         map.optionV5, map.lutFileName, map.transparentColorFactor),
              std::tuple(25, 1, 2.282f, 8.0f, 1, 3, "<default>", 1.0f));
    EXPECT_EQ((std::array{map.criticalColor, map.maxColor, map.criticalColorNeg, map.maxColorNeg}),
              (std::array<std::array<std::uint8_t, 3>, 4>{{{192, 0, 0}, {255, 192, 0}, {0, 0, 128}, {0, 128, 255}}}));

    // Names come from "Name" or "name" metadata only; the last one found counts.
    host.log.clear();
    ASSERT_TRUE(import({array("NIFTI_INTENT_ZSCORE", md("NAME", "no") + md("Name", "a") + md("name", "b"))}));
    EXPECT_EQ(describe(written()), "5 b 0/0: 1 2 3 4\n");
    EXPECT_EQ(std::vector(host.log.begin(), host.log.begin() + 2),
              (std::vector<std::string>{"Found Name: 'a' for Map: 0", "Found Name: 'b' for Map: 0"}));

    host.yesNoAnswers = {true, false, true};
    host.floatAnswers = {3.0f};
    ASSERT_TRUE(import({array("NIFTI_INTENT_SHAPE"), array("NIFTI_INTENT_SHAPE"), array("NIFTI_INTENT_SHAPE")}));
    const std::string shape = "GIFTI type is 'Shape'\n\nIs this a Cortical Thickness (Yes) or Curvature (No) map";
    const std::string df = "Please enter the first degrees of freedom parameter (see manual for help)";
    EXPECT_EQ(host.questions, (std::vector<std::string>{shape, shape, df, shape}));
    EXPECT_EQ(describe(written()), "13 Unknown 0/0: 1 2 3 4\n1 Unknown 3/0: 1 2 3 4\n13 Unknown 0/0: 1 2 3 4\n");
}

TEST_F(MapImportTest, DegreesOfFreedomFromMetadataOrQuestions) {
    host.floatAnswers = {20.0f, 5.0f, 9.5f};
    ASSERT_TRUE(import({array("NIFTI_INTENT_TTEST", md("intent_p1", "27.9")), array("NIFTI_INTENT_TTEST"),
                        array("NIFTI_INTENT_CORREL"), array("NIFTI_INTENT_PVAL")}));
    // Only arrays without intent_p1 ask, in array order.
    EXPECT_EQ(host.questions,
              std::vector<std::string>(3, "Please enter the first degrees of freedom parameter (see manual for help)"));
    EXPECT_EQ(host.log[0], "Found distribution parameter 1: '27.900000' of intent 'T-statistic'");
    EXPECT_EQ(describe(written()), "1 T-statistic 27/0: 1 2 3 4\n1 T-statistic 20/0: 1 2 3 4\n"
                                   "2 Correlation statistic 5/0: 1 2 3 4\n1 P-value 9/0: 1 2 3 4\n");
}

TEST_F(MapImportTest, CancelledQuestionWritesNothing) {
    host.floatAnswers = {12.0f};  // the second question of the F map is cancelled
    EXPECT_FALSE(import({array("NIFTI_INTENT_FTEST")}));
    EXPECT_EQ(host.questions, (std::vector<std::string>{
                                  "Please enter the first degrees of freedom parameter (see manual for help)",
                                  "Please enter the second degrees of freedom parameter "}));
    // The host's familiar line, and what it means.
    EXPECT_EQ(host.log, (std::vector<std::string>{"Distribution parameters missing. Set to zero!",
                                                  "The import of " + dir.file("stats.func.gii") +
                                                      " is cancelled: no file was written."}));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"stats.func.gii"});
}

TEST_F(MapImportTest, RetinotopyAndValuesOfAnyNumberTypeAndOneColumn) {
    // Retinotopy arrays alone are not maps to import; beside a statistic they are.
    const std::string shorts = dataArray("NIFTI_INTENT_ZSCORE", "NIFTI_TYPE_INT16", kShape, "-1 0 1 300");
    const std::string column = dataArray("NIFTI_INTENT_RETINOTOPY_POLAR", "NIFTI_TYPE_FLOAT64",
                                         "Dimensionality=\"2\" Dim0=\"4\" Dim1=\"1\"", "0.5 1.5 2.5 3.5", "",
                                         "ColumnMajorOrder");
    ASSERT_TRUE(import({shorts, column, array("NIFTI_INTENT_RETINOTOPY_ECCENTRICITY"),
                        array("NIFTI_INTENT_RETINOTOPY_FIELD_SIGN")}));
    EXPECT_EQ(describe(written()), "5 Z-score 0/0: -1 0 1 300\n16 Unknown 0/0: 0.5 1.5 2.5 3.5\n"
                                   "17 Unknown 0/0: 1 2 3 4\n18 Unknown 0/0: 1 2 3 4\n");
    EXPECT_TRUE(host.questions.empty());
    EXPECT_TRUE(host.loadedMapFiles.empty());
}

TEST_F(MapImportTest, ArraysThatDoNotFitAreRefused) {
    const std::string path = dir.file("stats.func.gii");
    test::writeFile(dir.file("stats.func.smp"), "existing");
    EXPECT_FALSE(import({array("NIFTI_INTENT_ZSCORE"),
                         dataArray("NIFTI_INTENT_ZSCORE", "NIFTI_TYPE_FLOAT32", "Dimensionality=\"1\" Dim0=\"3\"",
                                   "1 2 3")}));
    EXPECT_EQ(host.lastMessage(),
              "The maps in " + path + " cannot be imported: data array 1 is not a list of 4 values like the first.");
    EXPECT_FALSE(import({array("NIFTI_INTENT_ZSCORE"),
                         dataArray("NIFTI_INTENT_ZSCORE", "NIFTI_TYPE_FLOAT32", "Dimensionality=\"2\" Dim0=\"4\" Dim1=\"2\"",
                                   "1 2 3 4 5 6 7 8")}));
    EXPECT_FALSE(import({"<DataArray Intent=\"NIFTI_INTENT_ZSCORE\" DataType=\"NIFTI_TYPE_RGB24\" "
                         "ArrayIndexingOrder=\"RowMajorOrder\" " + kShape + " Encoding=\"Base64Binary\" "
                         "Endian=\"LittleEndian\"><Data>AQIDBAUGBwgJAQID</Data></DataArray>"}));
    EXPECT_THAT(host.lastMessage(), HasSubstr("data array 0 cannot be read: its values of type NIFTI_TYPE_RGB24 are not "
        "plain numbers"));
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
    host.currentSurface = HostSrfInfo{.nrOfVertices = 4};
    host.maps.resize(1);  // a map the surface had before
    host.maps[0].values.assign(4, 9.0f);
    host.mapsFileName = "old.smp";
    ASSERT_TRUE(import({array("NIFTI_INTENT_ZSCORE", md("Name", "z")), array("NIFTI_INTENT_TTEST", md("intent_p1", "12"))},
                       true));
    ASSERT_EQ(host.maps.size(), 3u);
    EXPECT_EQ(host.maps[0].values[0], 9.0f);  // untouched
    EXPECT_EQ(std::tuple(host.maps[1].name, host.maps[1].settings.mapType, host.maps[1].settings.importedFlag),
              std::tuple("z", 5, 1.0f));
    EXPECT_EQ(std::tuple(host.maps[2].name, host.maps[2].settings.mapType, host.maps[2].settings.df1),
              std::tuple("T-statistic", 1, 12));
    EXPECT_EQ(host.loadedMapFiles, std::vector<std::string>{dir.file("stats.func.smp")});
    EXPECT_TRUE(host.messages.empty());

    host.loadMapsResult = 0;
    EXPECT_TRUE(import({array("NIFTI_INTENT_ZSCORE")}, true));
    EXPECT_EQ(host.messages, std::vector<std::string>{"Surface map (SMP) could not be loaded on current surface (SRF)."});

    // A surface of another size: the file is written, the host gets no map.
    host.currentSurface = HostSrfInfo{.nrOfVertices = 5};
    host.messages.clear();
    EXPECT_FALSE(import({array("NIFTI_INTENT_ZSCORE")}, true));
    EXPECT_EQ(host.messages, std::vector<std::string>{"The number of vertices of the map is not equal to number of "
                                                      "vertices in surface. Process terminated."});
    EXPECT_EQ(host.maps.size(), 4u);
    EXPECT_EQ(host.loadedMapFiles.size(), 2u);
}

TEST(MapTypes, EachTypeGoesOutAsItsIntentWithItsParametersAndComesBack) {
    // Map type, the intent it is exported as, its degrees of freedom, and the
    // type the import gives that intent (shape arrays: as the user answers).
    const std::vector<std::tuple<std::int32_t, int, int, std::optional<std::int32_t>>> expected = {
        {1, NIFTI_INTENT_TTEST, 1, 1},     {2, NIFTI_INTENT_CORREL, 1, 2},      {3, NIFTI_INTENT_CORREL, 1, 2},
        {4, NIFTI_INTENT_FTEST, 2, 4},     {5, NIFTI_INTENT_ZSCORE, 0, 5},      {13, NIFTI_INTENT_SHAPE, 0, {}},
        {14, NIFTI_INTENT_CHISQ, 1, 14},   {15, NIFTI_INTENT_BETA, 2, 15},      {kMapTypePolarAngle, 1015, 0, kMapTypePolarAngle},
        {kMapTypeEccentricity, 1016, 0, kMapTypeEccentricity},                  {kMapTypeFieldSign, 1017, 0, kMapTypeFieldSign},
        {99, NIFTI_INTENT_NONE, 0, {}}};
    for (const auto& [mapType, intent, parameters, back] : expected) {
        EXPECT_EQ(intentForMapType(mapType), intent) << mapType;
        EXPECT_EQ(numberOfDistributionParameters(mapType), parameters) << mapType;
        EXPECT_EQ(mapTypeOfIntent(intent), back) << mapType;
    }
}
