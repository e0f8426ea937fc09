#include "formats/poi_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/describe.h"
#include "tests/support/host_test.h"

using ::testing::HasSubstr;
using namespace meshbridge;

namespace {

const std::string kExample =
    "FileVersion:      2\n"
    "\n"
    "FromMeshFile:     \"untitled.srf\"\n"
    "\n"
    "NrOfMeshVertices: 40962\n"
    "\n"
    "\n"
    "NrOfPOIs:         1\n"
    "\n"
    "NameOfPOI:        \"V1\"\n"
    "InfoTextFile:     \"\"\n"
    "ColorOfPOI:       255 0 0\n"
    "LabelVertex:      17\n"
    "NrOfVertices:     2\n"
    "17\n"
    "18\n"
    "\n"
    "\n"
    "NrOfPOIMTCs: 0\n";

PoiData example(const std::string& fileName) {
    PoiData poi{.version = 2, .fromMeshFile = "untitled.srf", .nrOfMeshVertices = 40962, .nrOfPOIs = 1,
                .fileName = fileName};
    poi.patches.push_back({.nrOfVertices = 2, .name = "V1", .color = 16711680, .labelVertex = 17,
                           .vertices = HugePageVector<std::int32_t>{17, 18}});
    return poi;
}

std::string crlf(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
}

}  // namespace

class PoiFile : public test::HostTest {};

TEST_F(PoiFile, WritesTheExampleByteForByteAndReadsItWithEitherLineEnd) {
    EXPECT_EQ(poiFileText(example("")), kExample);
    ASSERT_TRUE(writePoiFile(example(dir.file("areas.poi"))));
    EXPECT_EQ(test::readFile(dir.file("areas.poi")), test::writtenInTextMode(kExample));

    for (const std::string& text : {kExample, crlf(kExample)}) {
        test::writeFile(dir.file("areas.poi"), text);
        PoiData poi;
        ASSERT_TRUE(readPoiFile(dir.file("areas.poi"), poi));
        EXPECT_EQ(test::describe(poi), "V1 [17 18] label 17 colour 16711680\n");
        EXPECT_EQ(poiFileText(poi), kExample);  // every header item back, no second pair of quotes
    }
}

TEST_F(PoiFile, TextsEmptyLinesAndNoPatchesAreReadButNotFilesThatEndEarlyOrPromiseTooMuch) {
    PoiData poi = example(dir.file("texts.poi"));
    poi.fromMeshFile = "C:\\my data\\lh brain.srf";
    poi.patches[0].name = "area \"17\" % left";
    poi.patches[0].infoTextFile = "notes about V1.txt";
    poi.patches[0].color = 33023;
    ASSERT_TRUE(writePoiFile(poi));
    PoiData back;
    ASSERT_TRUE(readPoiFile(dir.file("texts.poi"), back));
    EXPECT_EQ(poiFileText(back), poiFileText(poi));
    EXPECT_THAT(test::readFile(dir.file("texts.poi")), HasSubstr("ColorOfPOI:       0 128 255"));

    // Extra empty lines are skipped; a file of no patches is read back.
    std::string spaced = kExample;
    spaced.insert(spaced.find("NameOfPOI"), "\n\n  \n");
    test::writeFile(dir.file("spaced.poi"), spaced);
    ASSERT_TRUE(readPoiFile(dir.file("spaced.poi"), back));
    EXPECT_EQ(test::describe(back), "V1 [17 18] label 17 colour 16711680\n");

    PoiData none = example(dir.file("none.poi"));
    none.patches.clear();
    none.nrOfPOIs = 0;
    EXPECT_EQ(poiFileText(none), "FileVersion:      2\n\nFromMeshFile:     \"untitled.srf\"\n\n"
                                 "NrOfMeshVertices: 40962\n\n\nNrOfPOIs:         0\n\n\nNrOfPOIMTCs: 0\n");
    ASSERT_TRUE(writePoiFile(none));
    ASSERT_TRUE(readPoiFile(dir.file("none.poi"), back));
    EXPECT_TRUE(back.patches.empty());

    const std::size_t lastNumber = kExample.find("0\n", kExample.find("NrOfPOIMTCs"));
    for (std::size_t length = 0; length < lastNumber; length += 3) {
        host.log.clear();
        test::writeFile(dir.file("cut.poi"), kExample.substr(0, length));
        EXPECT_TRUE(isFailedLoad(loadPoi(dir.file("cut.poi"), true))) << length;
        ASSERT_EQ(host.log.size(), 3u) << length;
        EXPECT_EQ(host.log[0], "Error while reading *.poi file.");
        EXPECT_EQ(host.log[1].rfind(dir.file("cut.poi") + " cannot be read: line ", 0), 0u) << host.log[1];
        EXPECT_EQ(host.log[2], "Reading of patch of interest did not succeed.");
    }
    std::string absurd = kExample;
    absurd.replace(absurd.find("NrOfVertices:     2"), 19, "NrOfVertices:     2000000000");
    test::writeFile(dir.file("absurd.poi"), absurd);
    EXPECT_TRUE(isFailedLoad(loadPoi(dir.file("absurd.poi"), true)));
    absurd = kExample;
    absurd.replace(absurd.find("NrOfPOIs:         1"), 19, "NrOfPOIs:         99999999999");
    test::writeFile(dir.file("absurd.poi"), absurd);
    host.log.clear();
    EXPECT_TRUE(isFailedLoad(loadPoi(dir.file("absurd.poi"), true)));
    EXPECT_EQ(host.log.at(1), dir.file("absurd.poi") + " cannot be read: line 8: expected the number of patches.");
    host.log.clear();
    EXPECT_TRUE(isFailedLoad(loadPoi(dir.file("missing.poi"), true)));
    EXPECT_EQ(host.lastLog(), "Reading of patch of interest did not succeed.");
}

TEST_F(PoiFile, HostPatchesKeepTheirVertexArrays) {
    host.currentSurface = HostSrfInfo{.nrOfVertices = 100};
    host.patchList = {.nrOfPOIs = 1, .nrOfPOIMTCs = 2, .fileName = "areas.poi"};
    host.patches = {{.nrOfVertices = 3, .name = "V2", .color = 255, .labelVertex = 4}};
    host.patchVertices = {{4, 5, 6}};
    const PoiData poi = loadPoi("none", false);
    ASSERT_FALSE(isFailedLoad(poi));
    EXPECT_EQ(poi.fileName, "areas.poi");
    EXPECT_EQ(poiHeaderText(poi).substr(0, 160), "\nPOI filename: \nareas.poi\nFile type: Patch of Interest (*.poi)\n"
                                                 "File version: 2\nFrom Mesh File: \nNumber of vertices: 100\n"
                                                 "Number of POIs: 1\nNumber of POI MTCs: 2\n");
    EXPECT_EQ(test::describe(poi), "V2 [4 5 6] label 4 colour 255\n");
    EXPECT_EQ(poi.patches[0].vertices.data(), host.patchVertices[0].data());
    host.currentSurface.reset();
    EXPECT_TRUE(isFailedLoad(loadPoi("none", false)));
}

TEST(PoiHeader, EachPatchWithItsPackedColour) {
    EXPECT_EQ(poiHeaderText(example("areas.poi")),
              "\nPOI filename: \nareas.poi\nFile type: Patch of Interest (*.poi)\nFile version: 2\n"
              "From Mesh File: untitled.srf\nNumber of vertices: 40962\nNumber of POIs: 1\nNumber of POI MTCs: 0\n"
              "\nDetails for map nr: 1\n\nNumber of vertices: 2\nPOI name: V1\nColor code: 16711680\n"
              "Reference Vertex: 17\nInfo Text File: \n");
}
