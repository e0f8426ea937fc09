#include "formats/srf_file.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tests/support/bytes.h"
#include "tests/support/fake_host.h"
#include "tests/support/temp_dir.h"

using namespace meshbridge;
using meshbridge::test::Bytes;
using meshbridge::test::FakeHost;
using meshbridge::test::TempDir;

namespace {

SrfData twoVertexSurface(const std::string& fileName) {
    SrfData srf;
    srf.version = 3.0f;
    srf.nrOfVertices = 2;
    srf.nrOfTriangles = 1;
    srf.meshCenterX = 1.5f;
    srf.meshCenterY = -2.0f;
    srf.meshCenterZ = 0.25f;
    srf.vertexX = std::vector<float>{1, 2};
    srf.vertexY = std::vector<float>{3, 4};
    srf.vertexZ = std::vector<float>{5, 6};
    srf.normalX = std::vector<float>{0, 0};
    srf.normalY = std::vector<float>{0, 0};
    srf.normalZ = std::vector<float>{1, -1};
    srf.convexColor = {0.1f, 0.2f, 0.3f, 1.0f};
    srf.concaveColor = {0.4f, 0.5f, 0.6f, 1.0f};
    srf.vertexColors = std::vector<std::int32_t>{0, 0x3FFF0000};
    srf.neighbors.append(std::vector<std::int32_t>{1});
    srf.neighbors.append(std::vector<std::int32_t>{});
    srf.triangles = {0, 1, 1};
    srf.fileName = fileName;
    return srf;
}

// The file of twoVertexSurface, item by item.
Bytes twoVertexBytes() {
    Bytes b;
    b.f32(3.0f).i32(0).i32(2).i32(1).f32(1.5f).f32(-2.0f).f32(0.25f);
    b.f32(1).f32(2).f32(3).f32(4).f32(5).f32(6);     // vertexX, vertexY, vertexZ
    b.f32(0).f32(0).f32(0).f32(0).f32(1).f32(-1);    // normalX, normalY, normalZ
    b.f32(0.1f).f32(0.2f).f32(0.3f).f32(1.0f);       // convex
    b.f32(0.4f).f32(0.5f).f32(0.6f).f32(1.0f);       // concave
    b.i32(0).i32(0x3FFF0000);                        // colour words
    b.i32(1).i32(1).i32(0);                          // neighbours: one of vertex 0, none of vertex 1
    b.i32(0).i32(1).i32(1);                          // triangle
    b.i32(0);                                        // no strip elements
    return b;
}

}  // namespace

TEST(SrfFile, WritesTheLayoutByteForByte) {
    TempDir dir;
    FakeHost host;
    ASSERT_TRUE(writeSrfFile(twoVertexSurface(dir.file("mesh.gii"))));
    const std::string bytes = test::readFile(dir.file("mesh.srf"));
    EXPECT_EQ(bytes.size(), 144u);
    EXPECT_EQ(bytes, twoVertexBytes().str());
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"mesh.srf"});
}

TEST(SrfFile, ReadsTheLayoutAndWritesTheSameBytesBack) {
    TempDir dir;
    FakeHost host;
    Bytes file = twoVertexBytes();
    std::string bytes = file.str();
    bytes.replace(bytes.size() - 4, 4, Bytes().i32(2).i32(7).i32(9).str());  // two strip elements
    test::writeFile(dir.file("lh.old.srf"), bytes);

    SrfData srf;
    ASSERT_TRUE(readSrfFile(dir.file("lh.old.srf"), srf));
    EXPECT_EQ(srf.fileName, dir.file("lh.old.srf"));
    EXPECT_EQ(srf.nrOfVertices, 2);
    EXPECT_EQ(srf.meshCenterY, -2.0f);
    EXPECT_EQ(srf.vertexZ[1], 6.0f);
    EXPECT_EQ(srf.normalZ[1], -1.0f);
    EXPECT_EQ(srf.concaveColor[2], 0.6f);
    EXPECT_EQ(srf.vertexColors[1], 0x3FFF0000);
    ASSERT_EQ(srf.neighbors.size(), 2u);
    EXPECT_EQ(std::vector<std::int32_t>(srf.neighbors[0].indices.begin(), srf.neighbors[0].indices.end()),
              std::vector<std::int32_t>{1});
    EXPECT_EQ(srf.neighbors[1].count, 0);
    EXPECT_EQ(srf.stripElements, (std::vector<std::int32_t>{7, 9}));

    std::filesystem::remove(dir.file("lh.old.srf"));
    ASSERT_TRUE(writeSrfFile(srf));
    EXPECT_EQ(test::readFile(dir.file("lh.old.srf")), bytes);
}

TEST(SrfFile, AcceptsVersionsThreeToFour) {
    TempDir dir;
    FakeHost host;
    for (float version : {3.0f, 3.5f, 4.0f}) {
        std::string bytes = twoVertexBytes().str();
        bytes.replace(0, 4, Bytes().f32(version).str());
        test::writeFile(dir.file("v.srf"), bytes);
        SrfData srf;
        EXPECT_TRUE(readSrfFile(dir.file("v.srf"), srf)) << version;
        EXPECT_EQ(srf.version, version);
    }
    EXPECT_TRUE(host.messages.empty());
}

TEST(SrfFile, RefusesOtherVersionsWithTheMessageBox) {
    TempDir dir;
    FakeHost host;
    for (float version : {2.9f, 4.1f, NAN}) {
        host.messages.clear();
        std::string bytes = twoVertexBytes().str();
        bytes.replace(0, 4, Bytes().f32(version).str());
        test::writeFile(dir.file("v.srf"), bytes);
        const SrfData srf = loadSrf(dir.file("v.srf"), true);
        EXPECT_TRUE(isFailedLoad(srf)) << version;
        EXPECT_EQ(host.messages, std::vector<std::string>{"SRF file version is not supported"});
        EXPECT_EQ(host.log.back(), "Reading of surface file did not succeed.");
    }
}

TEST(SrfFile, RefusesEveryTruncationCleanly) {
    TempDir dir;
    FakeHost host;
    const std::string bytes = twoVertexBytes().str();
    const std::string path = dir.file("short.srf");
    for (std::size_t length = 4; length < bytes.size(); ++length) {
        host.log.clear();
        test::writeFile(path, bytes.substr(0, length));
        const SrfData srf = loadSrf(path, true);
        EXPECT_TRUE(isFailedLoad(srf)) << length;
        ASSERT_EQ(host.log.size(), 3u) << length;
        EXPECT_EQ(host.log[0], "Error while reading surface file " + path + ".");
        EXPECT_EQ(host.log[1].rfind(path + " cannot be read: ", 0), 0u) << host.log[1];
        EXPECT_EQ(host.log[2], "Reading of surface file did not succeed.");
        EXPECT_TRUE(srf.neighbors.size() == 0 && srf.triangles.empty() && srf.vertexX.empty());
    }
}

TEST(SrfFile, RefusesAbsurdCountsWithoutAllocating) {
    TempDir dir;
    FakeHost host;
    const std::string path = dir.file("absurd.srf");
    for (const Bytes& header : {Bytes().f32(3).i32(0).i32(0x7FFFFFFF).i32(1).f32(0).f32(0).f32(0),
                                Bytes().f32(3).i32(0).i32(-5).i32(1).f32(0).f32(0).f32(0),
                                Bytes().f32(3).i32(0).i32(0).i32(0x7FFFFFFF).f32(0).f32(0).f32(0)}) {
        std::string bytes = header.str() + std::string(200, '\0');
        test::writeFile(path, bytes);
        SrfData srf;
        EXPECT_FALSE(readSrfFile(path, srf));
    }
    // A neighbour count beyond the file.
    std::string bytes = twoVertexBytes().str();
    bytes.replace(28 + 48 + 32 + 8, 4, Bytes().i32(1 << 30).str());
    test::writeFile(path, bytes);
    SrfData srf;
    EXPECT_FALSE(readSrfFile(path, srf));
}

TEST(SrfFile, MissingFileIsAFailedLoad) {
    FakeHost host;
    const SrfData srf = loadSrf("/no/such/file.srf", true);
    EXPECT_TRUE(isFailedLoad(srf));
    EXPECT_EQ(host.log, (std::vector<std::string>{"/no/such/file.srf cannot be opened: No such file or directory.",
                                                  "Reading of surface file did not succeed."}));
}

TEST(SrfFile, FailedWriteReportsAndKeepsTheOldFile) {
    TempDir dir;
    FakeHost host;
    test::writeFile(dir.file("mesh.srf"), "old");
    SrfData srf = twoVertexSurface(dir.file("mesh.srf"));
    srf.triangles.pop_back();  // fewer indices than the count says
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(writeSrfFile(srf));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Error while writing SRF file\n");
    EXPECT_EQ(test::readFile(dir.file("mesh.srf")), "old");

    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(writeSrfFile(twoVertexSurface(dir.file("no/folder/mesh.srf"))));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Error while writing SRF file\n");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"mesh.srf"});
}

TEST(SrfFile, CurrentSurfaceIsTakenFromTheHostWithoutCopyingItsArrays) {
    FakeHost host;
    std::vector<float> x{1, 2, 3}, y{4, 5, 6}, z{7, 8, 9}, nx(3), ny(3), nz(3, 1.0f);
    std::vector<std::int32_t> colors{0, 1, 0x3F00FF00}, triangles{0, 1, 2};
    HostSrfInfo info{};
    info.nrOfVertices = 3;
    info.nrOfTriangles = 1;
    info.vertexX = x.data();
    info.vertexY = y.data();
    info.vertexZ = z.data();
    info.normalX = nx.data();
    info.normalY = ny.data();
    info.normalZ = nz.data();
    info.colors = colors.data();
    info.convexRed = 0.25f;
    info.concaveBlue = 0.75f;
    info.meshCenterX = 2.0f;
    info.triangles = triangles.data();
    info.fileName = "C:\\data\\brain_RH.srf";
    host.currentSurface = info;

    const SrfData srf = loadSrf("none", false);
    EXPECT_EQ(srf.version, 3.5f);
    EXPECT_EQ(srf.fileName, "C:\\data\\brain_RH.srf");
    EXPECT_EQ(host.log, (std::vector<std::string>{"C:\\data\\brain_RH.srf", "C:\\data\\brain_RH.srf"}));
    EXPECT_EQ(srf.vertexX.data(), x.data());
    EXPECT_EQ(srf.vertexColors.data(), colors.data());
    EXPECT_TRUE(srf.vertexZ.isBorrowed());
    EXPECT_NE(srf.triangles.data(), triangles.data());
    EXPECT_EQ(srf.triangles, triangles);
    EXPECT_EQ(srf.convexColor, (std::array<float, 4>{0.25f, 0.0f, 0.0f, 1.0f}));
    EXPECT_EQ(srf.concaveColor, (std::array<float, 4>{0.0f, 0.0f, 0.75f, 1.0f}));
    EXPECT_EQ(srf.meshCenterX, 2.0f);
}

TEST(SrfFile, NoCurrentSurfaceIsAFailedLoad) {
    FakeHost host;
    EXPECT_TRUE(isFailedLoad(loadSrf("none", false)));
    EXPECT_EQ(host.log, std::vector<std::string>{"Reading of surface file did not succeed."});
}

TEST(SrfHeader, PrintsConcaveBeforeConvexAndOneDecimalOfTheVersion) {
    SrfData srf = twoVertexSurface("lh.srf");
    srf.version = 3.5f;
    EXPECT_EQ(srfHeaderText(srf),
              "\nSRF filename: \nlh.srf\n"
              "File type: surface (*.srf)\n"
              "File version: 3.5\n"
              "Number of vertices: 2\n"
              "Number of triangles: 1\n"
              "Mesh center: X: 1.500000, Y: -2.000000, Z: 0.250000\n"
              "Mesh curvature colors: \n"
              "Concave red: 0.400000, green: 0.500000, blue: 0.600000\n"
              "Concave alpha: 1.000000\n"
              "Convex red: 0.100000, green: 0.200000, blue: 0.300000\n"
              "Convex alpha: 1.000000\n");
}

TEST(SrfPrint, WritesTheInfoFileBesideTheSurface) {
    TempDir dir;
    FakeHost host;
    test::writeFile(dir.file("lh.srf"), twoVertexBytes().str());
    host.dialogAnswers.push_back(dir.file("lh.srf"));
    EXPECT_TRUE(printSrfFile(true, true, false));
    EXPECT_EQ(host.dialogs[0].title, "Please select the Corvana surface file");
    EXPECT_EQ(host.dialogs[0].filter, "*.srf");
    EXPECT_EQ(host.log, std::vector<std::string>{"Wrote the header info to disk."});
    EXPECT_EQ(test::readFile(dir.file("lh_info.txt")).substr(0, 16 + dir.file("lh.srf").size()),
              "\nSRF filename: \n" + dir.file("lh.srf"));
}

TEST(SrfPrint, CancelledDialogAndFailedLoad) {
    FakeHost host;
    EXPECT_FALSE(printSrfFile(true, false, true));
    EXPECT_EQ(host.messages, std::vector<std::string>{"No surface file was selected. Procedure finished."});
    host.dialogAnswers.push_back("/no/such.srf");
    EXPECT_FALSE(printSrfFile(true, false, true));  // a failed load is a failed print
    EXPECT_EQ(host.log.back(), "Reading of surface file did not succeed.");
}
