#include "export/map_export.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <tuple>

#include "common/gifti.h"
#include "plugin/commands.h"
#include "tests/support/describe.h"
#include "tests/support/host_test.h"

using ::testing::HasSubstr;
using namespace meshbridge;
using namespace meshbridge::test;

namespace {

const std::string kQuestion =
    "Cross-correlation data detected. Please select the map type:\n\n1 = Cross-correlation\n2 = Polar angle\n3 = "
    "Eccentricity\n";

SmpMap map(std::int32_t type, const std::string& name, HugePageVector<float> values, std::int32_t df1 = 28,
           std::int32_t df2 = 7) {
    return {.mapType = type, .df1 = df1, .df2 = df2, .name = name, .data = std::move(values)};
}

class MapExportTest : public test::HostTest {
protected:
    // Writes the maps as maps.smp, exports them and reads the GIFTI file back.
    GiftiImagePtr exportMaps(std::vector<SmpMap> maps, bool expectedResult = true, bool binary = false,
                             bool retinotopyAsReal = false) {
        const SmpData smp{.version = 5, .nrOfVertices = static_cast<std::int32_t>(maps[0].data.size()),
                          .nrOfMaps = static_cast<std::int16_t>(maps.size()), .fileName = dir.file("maps.smp"),
                          .maps = std::move(maps)};
        EXPECT_TRUE(writeSmpFile(smp));
        host.dialogAnswers.push_back(dir.file("maps.smp"));
        EXPECT_EQ(exportGiftiFile(kFileTypeSmp, false, binary, false, false, retinotopyAsReal), expectedResult);
        GiftiImagePtr image = readGiftiImage(dir.file("maps.func.gii"), true);
        EXPECT_TRUE(image);
        return image;
    }
};

}  // namespace

TEST_F(MapExportTest, StatisticMapsCarryTheirDegreesOfFreedomAndTheStructureOfTheirSurface) {
    const auto image = exportMaps({map(1, "t1", {1, 2}), map(4, "F", {3, 4}), map(13, "thickness", {2.5f, 3.5f}),
                                   map(11, "psc", {0, 1}), map(14, "chi", {5, 6}), map(15, "beta", {7, 8})});
    ASSERT_TRUE(image);
    EXPECT_EQ(host.dialogs.at(0).title, "Please select the Corvana surface map file");
    ASSERT_EQ(image->numDA, 6);
    const char* expected[6] = {"3 16 2 ASCII Name=t1;intent_p1=28;", "4 16 2 ASCII Name=F;intent_p1=28;intent_p2=7;",
                               "2005 16 2 ASCII Name=thickness;", "0 16 2 ASCII Name=psc;",
                               "6 16 2 ASCII Name=chi;intent_p1=28;", "7 16 2 ASCII Name=beta;intent_p1=28;intent_p2=7;"};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(summary(*image->darray[i]), expected[i]) << i;
    EXPECT_EQ(test::valuesOf<float>(*image->darray[2]), (std::vector<float>{2.5f, 3.5f}));
    EXPECT_TRUE(host.questions.empty());
    EXPECT_THAT(host.logText(), HasSubstr("Adding map number: 6\n" + dir.file("maps.func.gii") +
        "\nExported to GIfTI format, name:\n " + dir.file("maps.func.gii")));

    for (const auto& [surface, file, structure] :
         {std::tuple{"C:\\bert\\lh.white.srf", "maps.smp", "CortexLeft"}, std::tuple{"brain.srf", "x_RH.smp", "CortexRight"},
          std::tuple{"brain.srf", "maps.smp", ""}}) {
        const SmpData smp{.version = 5, .nrOfVertices = 2, .nrOfMaps = 1, .srfFileName = surface,
                          .fileName = dir.file(file), .maps = {map(13, "thickness", {1, 2})}};
        ASSERT_TRUE(writeSmpFile(smp));
        ASSERT_TRUE(exportFile(kFileTypeSmp, smp.fileName));
        const GiftiImagePtr image = readGiftiImage(dir.file(std::string(file).substr(0, std::strlen(file) - 4) + ".func.gii"), true);
        ASSERT_TRUE(image);
        const char* value = gifti_get_meta_value(&image->meta, "AnatomicalStructurePrimary");
        EXPECT_EQ(value ? std::string(value) : "", structure) << surface << " " << file;
    }
}

TEST_F(MapExportTest, CrossCorrelationKeptOrTurnedIntoPolarAnglePairs) {
    host.integerAnswers = {1};
    SmpMap kept = map(3, "cc", {2000.75f, -0.5f});
    kept.nrOfLags = 8;
    kept.minLag = -3;
    const auto asItIs = exportMaps({kept});
    ASSERT_TRUE(asItIs && asItIs->numDA == 1);
    EXPECT_EQ(host.questions, std::vector<std::string>{kQuestion});
    EXPECT_EQ(summary(*asItIs->darray[0]), "2 16 2 ASCII Name=cc;intent_p1=28;minLag=-3;");
    EXPECT_EQ(test::valuesOf<float>(*asItIs->darray[0]), (std::vector<float>{2000.75f, -0.5f}));

    // nrOfLags 8, minLag 0: 2000.75 is lag 2 (a quarter turn) with r 0.75; -0.5
    // is lag 0 with r -0.5; 5000.25 is lag 5 (five eighths) with r 0.25; 0 is (0, 0).
    host.integerAnswers = {2};
    SmpMap cross = map(3, "cc", {2000.75f, -0.5f, 5000.25f, 0.0f});
    cross.nrOfLags = 8;
    const auto image = exportMaps({cross});
    ASSERT_TRUE(image && image->darray[0]->data);
    const auto pairsOf = [](const giiDataArray& array) {
        if (!array.data) return std::vector<float>();  // a lost array fails the comparison, not the test program
        const auto* data = static_cast<const float*>(array.data);
        return std::vector<float>(data, data + 2 * array.nvals);
    };
    const std::vector<float> fromAscii = pairsOf(*image->darray[0]);
    const double c = 0.25 * std::cos(5 * M_PI / 4);
    const std::vector<double> expected = {0, 0.75, -0.5, 0, c, c, 0, 0};
    ASSERT_EQ(fromAscii.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(fromAscii[i], expected[i], 1e-6) << i;

    // The ASCII pairs are the very floats of a binary export. Only the first
    // cross-correlation map is asked about.
    host.integerAnswers = {2};
    host.questions.clear();
    const auto binary = exportMaps({cross, map(3, "second", {1, 2, 3, 4})}, true, true);
    ASSERT_TRUE(binary && binary->numDA == 2);
    EXPECT_EQ(host.questions.size(), 1u);
    EXPECT_EQ(summary(*binary->darray[0]), "1015 32 4 GZipBase64Binary Name=cc;minLag=0;");
    EXPECT_EQ(pairsOf(*binary->darray[0]), fromAscii);
    EXPECT_EQ(summary(*binary->darray[1]), "2 16 4 GZipBase64Binary Name=second;intent_p1=28;minLag=0;");
}

TEST_F(MapExportTest, RetinotopyAsPlainArraysOfDegreesAndCorrelations) {
    // nrOfLags 8, minLag 0: lags 2, 0 and 5 are 90, 0 and 225 degrees; r as stored.
    host.integerAnswers = {2};
    SmpMap cross = map(3, "cc", {2000.75f, -0.5f, 5000.25f, 0.0f});
    cross.nrOfLags = 8;
    const auto image = exportMaps({cross, map(1, "t", {1, 2, 3, 4})}, true, false, true);
    ASSERT_TRUE(image && image->numDA == 3);
    EXPECT_EQ(summary(*image->darray[0]), "0 16 4 ASCII Name=cc polar angle (degrees);minLag=0;");
    EXPECT_EQ(test::valuesOf<float>(*image->darray[0]), (std::vector<float>{90, 0, 225, 0}));
    EXPECT_EQ(summary(*image->darray[1]), "2 16 4 ASCII Name=cc correlation r;intent_p1=28;");
    EXPECT_EQ(test::valuesOf<float>(*image->darray[1]), (std::vector<float>{0.75f, -0.5f, 0.25f, 0}));
    EXPECT_EQ(summary(*image->darray[2]), "3 16 4 ASCII Name=t;intent_p1=28;");

    host.integerAnswers = {3};  // eccentricity, minLag -2: lag 2 is (2 + 2) * 90 = 360 degrees
    cross.minLag = -2;
    cross.nrOfLags = 4;
    const auto eccentricity = exportMaps({cross}, true, true, true);
    ASSERT_TRUE(eccentricity && eccentricity->numDA == 2);
    EXPECT_EQ(summary(*eccentricity->darray[0]), "0 16 4 GZipBase64Binary Name=cc eccentricity (degrees);minLag=-2;");
    EXPECT_EQ(test::valuesOf<float>(*eccentricity->darray[0]), (std::vector<float>{360, 180, 630, 180}));
}

TEST_F(MapExportTest, EccentricityACancelledQuestionAndMapsWithoutLags) {
    host.integerAnswers = {3};
    SmpMap cross = map(3, "cc", {1000.5f, 0});
    cross.nrOfLags = 4;
    auto image = exportMaps({cross}, true, true);
    ASSERT_TRUE(image && image->darray[0]->data);
    EXPECT_EQ(image->darray[0]->intent, 1016);
    const auto* pairs = static_cast<const float*>(image->darray[0]->data);
    EXPECT_NEAR(pairs[0], 0.0f, 1e-6f);  // lag 1 of 4: a quarter turn
    EXPECT_FLOAT_EQ(pairs[1], 0.5f);

    host.questions.clear();
    image = exportMaps({cross}, false);  // no answer: cancelled, the file is written all the same
    ASSERT_TRUE(image);
    EXPECT_EQ(image->darray[0]->intent, NIFTI_INTENT_CORREL);

    host.integerAnswers = {2};
    cross = map(3, "no lags", {5, 6});
    image = exportMaps({cross});
    ASSERT_TRUE(image);
    EXPECT_EQ(summary(*image->darray[0]), "2 16 2 ASCII Name=no lags;intent_p1=28;minLag=0;");
    EXPECT_THAT(host.logText(), HasSubstr("Map 'no lags' has no lags (number of lags 0) and cannot be turned into polar angle "
        "values; it is exported as a cross-correlation map."));

    // A retinotopy map that came from a GIFTI file keeps its values and intent.
    image = exportMaps({map(16, "polar", {0.25f, -1.5f}), map(17, "ecc", {1, 2}), map(18, "sign", {1, -1})});
    ASSERT_TRUE(image && image->numDA == 3);
    EXPECT_EQ(summary(*image->darray[0]), "1015 16 2 ASCII Name=polar;minLag=0;");
    EXPECT_EQ(test::valuesOf<float>(*image->darray[0]), (std::vector<float>{0.25f, -1.5f}));
    EXPECT_EQ(image->darray[1]->intent, 1016);
    EXPECT_EQ(summary(*image->darray[2]), "1017 16 2 ASCII Name=sign;");

    // As plain maps, they go out without the retinotopy intents, names and values kept.
    image = exportMaps({map(16, "polar", {0.25f, -1.5f}), map(17, "ecc", {1, 2}), map(18, "sign", {1, -1})}, true,
                       false, true);
    ASSERT_TRUE(image && image->numDA == 3);
    EXPECT_EQ(summary(*image->darray[0]), "0 16 2 ASCII Name=polar;minLag=0;");
    EXPECT_EQ(test::valuesOf<float>(*image->darray[0]), (std::vector<float>{0.25f, -1.5f}));
    EXPECT_EQ(summary(*image->darray[1]), "0 16 2 ASCII Name=ecc;minLag=0;");
    EXPECT_EQ(summary(*image->darray[2]), "0 16 2 ASCII Name=sign;");
}

TEST_F(MapExportTest, FailuresAreReported) {
    EXPECT_FALSE(exportGiftiFile(kFileTypeSmp, false, false, false));
    EXPECT_EQ(host.messages, std::vector<std::string>{"No surface map file was selected. Procedure finished."});
    EXPECT_FALSE(exportFile(kFileTypeSmp, dir.file("missing.smp")));
    EXPECT_EQ(host.lastLog(), "Reading of surface map did not succeed.");
    exportMaps({map(5, "z", {1})});
    std::filesystem::remove(dir.file("maps.func.gii"));
    std::filesystem::create_directory(dir.file("maps.func.gii"));
    host.log.clear();
    EXPECT_FALSE(exportFile(kFileTypeSmp, dir.file("maps.smp")));
    EXPECT_EQ(host.lastLog(), "Export to GIfTI format did not succeed.");
}

TEST(ComplexFromLagMap, TakesTheNearestLagForEverySignOfLagAndCorrelation) {
    // Lags -3 to 3 of 7 from -3, correlations of both signs: each value is lag * 1000 + r.
    std::vector<float> values;
    std::vector<std::pair<int, float>> expected;
    for (int lag = -3; lag <= 3; ++lag)
        for (const float r : {0.0856f, -0.0856f, 0.75f, -0.75f, 0.0f}) {
            values.push_back(static_cast<float>(lag * 1000) + r);
            expected.emplace_back(lag, r);
        }
    SmpMap cross = map(3, "", HugePageVector<float>(values.begin(), values.end()));
    cross.nrOfLags = 7;
    cross.minLag = -3;
    const auto pairs = complexFromLagMap(cross, static_cast<std::int32_t>(values.size()));
    for (std::size_t i = 0; i < values.size(); ++i) {
        const auto [lag, r] = expected[i];
        const float angle = static_cast<float>(lag + 3) * 6.2831855f / 7;
        EXPECT_NEAR(std::abs(pairs[i]), std::fabs(r), 1e-3f) << values[i];
        if (r != 0.0f) {
            const std::complex<float> unit = pairs[i] * (r < 0 ? -1.0f : 1.0f);
            EXPECT_NEAR(std::arg(unit), std::remainder(angle, 6.2831855f), 1e-4f) << values[i];
        }
    }
}

TEST_F(MapExportTest, RetinotopyAsPlainArraysTakesTheNearestLagForEverySign) {
    host.integerAnswers = {2};
    std::vector<float> values, degrees, correlations;
    for (int lag = -3; lag <= 3; ++lag)
        for (const float r : {0.0856f, -0.0856f, 0.75f, -0.75f}) {
            values.push_back(static_cast<float>(lag * 1000) + r);
            degrees.push_back(static_cast<float>(lag + 3) * (360.0f / 7.0f));
            correlations.push_back(values.back() - static_cast<float>(lag * 1000));
        }
    SmpMap cross = map(3, "cc", HugePageVector<float>(values.begin(), values.end()));
    cross.nrOfLags = 7;
    cross.minLag = -3;
    const auto image = exportMaps({cross}, true, false, true);
    ASSERT_TRUE(image && image->numDA == 2);
    EXPECT_EQ(test::valuesOf<float>(*image->darray[0]), degrees);
    EXPECT_EQ(test::valuesOf<float>(*image->darray[1]), correlations);
}

TEST(ComplexFromLagMap, FollowsTheLagAroundTheCircle) {
    SmpMap cross = map(3, "", {2000.75f, -0.5f, 7000.0f});
    cross.nrOfLags = 8;
    const auto pairs = complexFromLagMap(cross, 3);
    EXPECT_NEAR(pairs[0].real(), 0.0f, 1e-6f);
    EXPECT_FLOAT_EQ(pairs[0].imag(), 0.75f);
    EXPECT_EQ(pairs[1], std::complex<float>(-0.5f, -0.0f));
    EXPECT_EQ(pairs[2], std::complex<float>(0.0f, 0.0f));  // correlation 0 at lag 7
    // A minimum lag turns every angle back: lag 2 of 8 from -3 is five eighths of a turn.
    cross.minLag = -3;
    const auto turned = complexFromLagMap(cross, 3);
    EXPECT_NEAR(turned[0].real(), 0.75f * std::cos(5 * 6.2831855f / 8), 1e-6f);
    EXPECT_NEAR(turned[0].imag(), 0.75f * std::sin(5 * 6.2831855f / 8), 1e-6f);
}
