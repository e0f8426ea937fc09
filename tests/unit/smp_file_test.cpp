#include "formats/smp_file.h"

#include <gtest/gtest.h>

#include <tuple>

#include "tests/support/bytes.h"
#include "tests/support/host_test.h"

using namespace meshbridge;
using meshbridge::test::Bytes;

namespace {

SmpMap mapOfType(std::int32_t type, const std::string& name, HugePageVector<float> values) {
    return {.mapType = type, .clusterSize = 25, .enableClusterCheck = 1, .thresholdMin = 2.5f, .thresholdMax = 8.0f,
            .optionV4 = 1, .df1 = 28, .df2 = 3, .optionV5 = 3, .bonferroni = 1, .criticalColor = {192, 0, 0},
            .maxColor = {255, 192, 0}, .criticalColorNeg = {0, 0, 128}, .maxColorNeg = {0, 128, 255},
            .useVmpColor = 1, .lutFileName = "<default>", .transparentColorFactor = 1.0f, .name = name,
            .data = std::move(values)};
}

SmpData twoMaps(const std::string& fileName) {
    SmpMap cross = mapOfType(3, "", {2000.75f, -0.5f});
    std::tie(cross.nrOfLags, cross.minLag, cross.maxLag, cross.ccOverlay) = std::tuple(8, -2, 5, 1);
    return {.version = 5, .nrOfVertices = 2, .nrOfMaps = 2, .srfFileName = "lh.srf", .fileName = fileName,
            .maps = {mapOfType(1, "t", {1.5f, -2.0f}), cross}};
}

Bytes twoMapsVersion5() {
    Bytes b;
    b.i16(5).i32(2).i16(2).text("lh.srf");
    // map 1: type 1
    b.i32(1).i32(25).u8(1).f32(2.5f).f32(8.0f).i32(1).i32(28).i32(3).i32(3).i32(1);
    b.u8(192).u8(0).u8(0).u8(255).u8(192).u8(0).u8(0).u8(0).u8(128).u8(0).u8(128).u8(255).u8(1);
    b.text("<default>").f32(1.0f).text("t").f32(1.5f).f32(-2.0f);
    // map 2: type 3 with its four lag items, an empty name
    b.i32(3).i32(8).i32(-2).i32(5).i32(1).i32(25).u8(1).f32(2.5f).f32(8.0f).i32(1).i32(28).i32(3).i32(3).i32(1);
    b.u8(192).u8(0).u8(0).u8(255).u8(192).u8(0).u8(0).u8(0).u8(128).u8(0).u8(128).u8(255).u8(1);
    b.text("<default>").f32(1.0f).text("").f32(2000.75f).f32(-0.5f);
    return b;
}

}  // namespace

class SmpFile : public test::HostTest {};

TEST_F(SmpFile, WritesVersionFiveByteForByteReadsItBackAndPrintsIt) {
    ASSERT_TRUE(writeSmpFile(twoMaps(dir.file("maps.func.gii"))));
    EXPECT_EQ(test::readFile(dir.file("maps.func.smp")), twoMapsVersion5().str());

    // Every item read back: the record writes the same bytes again, also when
    // it says an older version (written as version 5).
    SmpData smp;
    ASSERT_TRUE(readSmpFile(dir.file("maps.func.smp"), smp));
    ASSERT_EQ(smp.maps.size(), 2u);
    std::filesystem::remove(dir.file("maps.func.smp"));
    smp.version = 2;
    ASSERT_TRUE(writeSmpFile(smp));
    EXPECT_EQ(test::readFile(dir.file("maps.func.smp")), twoMapsVersion5().str());

    test::writeFile(dir.file("maps.smp"), twoMapsVersion5().str());
    host.dialogAnswers.push_back(dir.file("maps.smp"));
    EXPECT_TRUE(printSmpFile(true, true, true));
    EXPECT_EQ(host.dialogs[0].title + host.dialogs[0].filter, "Please select the Corvana Surface Map*.smp");
    EXPECT_EQ(host.log, (std::vector<std::string>{"Wrote the header info to disk.", test::readFile(dir.file("maps_info.txt"))}));
    // The dump reads no values, but a file without all of them is still refused.
    const std::string bytes = twoMapsVersion5().str();
    test::writeFile(dir.file("cut.smp"), bytes.substr(0, bytes.size() - 1));
    host.dialogAnswers.push_back(dir.file("cut.smp"));
    host.log.clear();
    EXPECT_FALSE(printSmpFile(true, false, true));
    EXPECT_EQ(host.log.front(), "Error while reading SMP data");
    EXPECT_FALSE(printSmpFile(true, false, true));
    EXPECT_EQ(host.messages, std::vector<std::string>{"No surface map file was selected. Procedure finished."});
}

TEST_F(SmpFile, ReadsVersionsTwoToFourWithoutTheirMissingItemsButNoDamagedFile) {
    // Version 3: no optionV4, optionV5, second colour scale or colour table name.
    Bytes v3;
    v3.i16(3).i32(1).i16(1).text("s.srf");
    v3.i32(4).i32(10).u8(0).f32(1.0f).f32(2.0f).i32(5).i32(6).i32(0);
    v3.u8(1).u8(2).u8(3).u8(4).u8(5).u8(6).u8(0).f32(0.5f).text("F map").f32(7.0f);
    test::writeFile(dir.file("v3.smp"), v3.str());
    SmpData smp;
    ASSERT_TRUE(readSmpFile(dir.file("v3.smp"), smp));
    EXPECT_EQ(smp.maps[0].df1, 5);
    EXPECT_EQ(smp.maps[0].df2, 6);
    EXPECT_EQ(smp.maps[0].maxColor, (std::array<std::uint8_t, 3>{4, 5, 6}));
    EXPECT_EQ(smp.maps[0].name, "F map");
    EXPECT_EQ(smp.maps[0].data[0], 7.0f);

    // Version 4 adds optionV4 and the second colour scale.
    Bytes v4;
    v4.i16(4).i32(1).i16(1).text("");
    v4.i32(1).i32(10).u8(0).f32(1.0f).f32(2.0f).i32(9).i32(5).i32(6).i32(0);
    v4.u8(1).u8(2).u8(3).u8(4).u8(5).u8(6).u8(7).u8(8).u8(9).u8(10).u8(11).u8(12).u8(0).f32(0.5f).text("").f32(-1.0f);
    test::writeFile(dir.file("v4.smp"), v4.str());
    ASSERT_TRUE(readSmpFile(dir.file("v4.smp"), smp));
    EXPECT_EQ(smp.maps[0].optionV4, 9);
    EXPECT_EQ(smp.maps[0].maxColorNeg, (std::array<std::uint8_t, 3>{10, 11, 12}));
    EXPECT_EQ(smp.maps[0].data[0], -1.0f);

    // Version 6 reads like version 5.
    std::string v6 = twoMapsVersion5().str();
    v6.replace(0, 2, Bytes().i16(6).str());
    test::writeFile(dir.file("v6.smp"), v6);
    ASSERT_TRUE(readSmpFile(dir.file("v6.smp"), smp));
    EXPECT_EQ(smp.version, 6);
    EXPECT_EQ(smp.maps[1].data[1], -0.5f);

    const std::string bytes = twoMapsVersion5().str();
    const std::string path = dir.file("cut.smp");
    const std::size_t firstValues = 15 + 64 + 2;  // where map 1's values start
    for (std::size_t length = 0; length < bytes.size(); ++length) {
        host.log.clear();
        test::writeFile(path, bytes.substr(0, length));
        ::testing::internal::CaptureStdout();
        const SmpData smp = loadSmp(path, true);
        const std::string printed = ::testing::internal::GetCapturedStdout();
        EXPECT_TRUE(isFailedLoad(smp)) << length;
        EXPECT_TRUE(smp.maps.empty());
        const bool inValues = (length >= firstValues && length < firstValues + 8) || length >= bytes.size() - 8;
        const std::string problem = host.log.size() > 1 ? host.log[host.log.size() - 2] : "";
        EXPECT_EQ(problem.rfind(path + " cannot be read: ", 0), 0u) << length << problem;
        if (inValues) {
            EXPECT_EQ(host.log.size(), 3u) << length;
            EXPECT_EQ(host.log.front(), "Error while reading SMP data") << length;
        } else {
            EXPECT_EQ(printed, "Error while reading SMP file\n") << length;
            EXPECT_EQ(host.log.size(), 2u) << length;
        }
        EXPECT_EQ(host.lastLog(), "Reading of surface map did not succeed.") << length;
        if (length == firstValues + 1) {
            EXPECT_EQ(problem, path + " cannot be read: map 1: 2 values of 4 bytes from byte " +
                                   std::to_string(firstValues) + " on do not fit in the 1 bytes left.");
        }
    }
    // Absurd counts: negative, or more values than the file holds.
    test::writeFile(path, Bytes().i16(5).i32(-3).i16(1).text("").str());
    ::testing::internal::CaptureStdout();
    EXPECT_TRUE(isFailedLoad(loadSmp(path, true)));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Error while reading SMP file\n");
    std::string huge = bytes;
    huge.replace(2, 4, Bytes().i32(0x7FFFFFFF).str());
    test::writeFile(path, huge);
    EXPECT_TRUE(isFailedLoad(loadSmp(path, true)));
}

TEST_F(SmpFile, NegativeVersionOrMissingFileShowsAMessage) {
    test::writeFile(dir.file("v-1.smp"), Bytes().i16(-1).i32(0).i16(0).text("").str());
    ::testing::internal::CaptureStdout();
    EXPECT_TRUE(isFailedLoad(loadSmp(dir.file("v-1.smp"), true)));
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(host.messages, std::vector<std::string>{"SMP file version -1 is not supported."});
    EXPECT_EQ(host.log, (std::vector<std::string>{dir.file("v-1.smp") + " cannot be read: header: the file version -1 "
                                                                         "is negative.",
                                                  "Reading of surface map did not succeed."}));
    host.messages.clear();
    host.log.clear();
    EXPECT_TRUE(isFailedLoad(loadSmp("/no/such.smp", true)));
    EXPECT_EQ(host.messages,
              std::vector<std::string>{"File could not be accessed.\nPlease check if it is opened in other programs."});
    EXPECT_EQ(host.log, (std::vector<std::string>{"/no/such.smp cannot be opened: No such file or directory.",
                                                  "Reading of surface map did not succeed."}));
}

TEST_F(SmpFile, MapsOfTheCurrentSurfaceStayTheHosts) {
    host.mapsFileName = "C:\\data\\maps.smp";
    host.maps.resize(2);
    host.maps[0].name = "t map";
    host.maps[0].settings.mapType = 1;
    host.maps[0].settings.df1 = 30;
    host.maps[0].settings.thresholdMin = 3.0f;
    host.maps[0].values = {1, 2, 3};
    host.maps[1].settings.mapType = 3;
    host.maps[1].settings.ccOverlay = 4;
    host.maps[1].values = {4, 5, 6};
    const SmpData smp = loadSmp("none", false);
    ASSERT_FALSE(isFailedLoad(smp));
    EXPECT_EQ(host.log, std::vector<std::string>{"SMP name: C:\\data\\maps.smp"});
    EXPECT_EQ(smp.version, 2);
    EXPECT_EQ(smp.srfFileName, "C:\\data\\maps.srf");
    EXPECT_EQ(smp.nrOfVertices, 3);
    ASSERT_EQ(smp.maps.size(), 2u);
    EXPECT_EQ(std::tuple(smp.maps[0].name, smp.maps[0].df1, smp.maps[0].thresholdMin, smp.maps[0].ccOverlay),
              std::tuple("t map", 30, 3.0f, 0));
    EXPECT_EQ(smp.maps[0].data.data(), host.maps[0].values.data());
    EXPECT_EQ(smp.maps[1].ccOverlay, 4);

    host.maps.clear();
    host.log.clear();
    EXPECT_TRUE(isFailedLoad(loadSmp("none", false)));
    EXPECT_EQ(host.log, std::vector<std::string>{"Reading of surface map did not succeed."});
}

TEST(SmpHeader, MapDetailsOnlyBelowVersionFour) {
    SmpData smp = twoMaps("maps.smp");
    const std::string header = "\nSMP filename: \nmaps.smp\nFile type: surface map (*.smp)\nFile version: 5\n"
                               "Number of vertices: 2\nNumber of maps: 2\nSurface filename: lh.srf\n";
    EXPECT_EQ(smpHeaderText(smp), header);
    smp.version = 2;
    smp.maps.resize(1);
    smp.maps[0].mapType = 3;
    smp.maps[0].contrastXrc = 7;
    smp.nrOfMaps = 1;
    EXPECT_EQ(smpHeaderText(smp),
              "\nSMP filename: \nmaps.smp\nFile type: surface map (*.smp)\nFile version: 2\n"
              "Number of vertices: 2\nNumber of maps: 1\nSurface filename: lh.srf\n"
              "\nDetails for map nr: 1\n\n"
              "Map type: Cross-correlation\nNumber of lags: 0\nMinimum lag: 0\nMaximum lag: 0\n"
              "Cross correlation overlay: 0\nContrast X-RC maps: 7\n"
              "Clustersize: 25\nEnable clustercheck: Yes\nMinimum threshold: 2.500000\nMaximum threshold: 8.000000\n"
              "DF 1: 28\nDF 2: 3\nCortex based Bonferroni: Yes\nCritical value color: 192 0 0\n"
              "Maximum value color: 255 192 0\nUse VMP color: Yes\nTransparent color factor: 1.000000\n"
              "Map name: t\n");
}

