#include "formats/srf_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "tests/support/bytes.h"
#include "tests/support/host_test.h"

using namespace meshbridge;
using ::testing::StartsWith;
using meshbridge::test::Bytes;

namespace {

SrfData twoVertexSurface(const std::string& fileName) {
    SrfData srf{.version = 3.0f, .nrOfVertices = 2, .nrOfTriangles = 1, .meshCenterX = 1.5f, .meshCenterY = -2.0f,
                .meshCenterZ = 0.25f, .vertexX = HugePageVector<float>{1, 2}, .vertexY = HugePageVector<float>{3, 4},
                .vertexZ = HugePageVector<float>{5, 6}, .normalX = HugePageVector<float>{0, 0},
                .normalY = HugePageVector<float>{0, 0}, .normalZ = HugePageVector<float>{1, -1},
                .convexColor = {0.1f, 0.2f, 0.3f, 1.0f}, .concaveColor = {0.4f, 0.5f, 0.6f, 1.0f},
                .vertexColors = HugePageVector<std::int32_t>{0, 0x3FFF0000}, .triangles = HugePageVector<std::int32_t>{0, 1, 1}, .fileName = fileName};
    srf.neighbors.append(std::vector<std::int32_t>{1});
    srf.neighbors.append(std::vector<std::int32_t>{});
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

class SrfFile : public test::HostTest {};

TEST_F(SrfFile, WritesReadsAndPrintsTheLayoutByteForByte) {
    ASSERT_TRUE(writeSrfFile(twoVertexSurface(dir.file("mesh.gii"))));
    EXPECT_EQ(test::readFile(dir.file("mesh.srf")), twoVertexBytes().str());
    EXPECT_EQ(twoVertexBytes().size(), 144u);

    std::string bytes = twoVertexBytes().str();
    bytes.replace(bytes.size() - 4, 4, Bytes().i32(2).i32(7).i32(9).str());  // two strip elements
    test::writeFile(dir.file("lh.old.srf"), bytes);

    // Every item read back: the record writes the same bytes again.
    SrfData srf;
    ASSERT_TRUE(readSrfFile(dir.file("lh.old.srf"), srf));
    EXPECT_EQ(srf.fileName, dir.file("lh.old.srf"));
    EXPECT_EQ(srf.stripElements, (std::vector<std::int32_t>{7, 9}));

    std::filesystem::remove(dir.file("lh.old.srf"));
    ASSERT_TRUE(writeSrfFile(srf));
    EXPECT_EQ(test::readFile(dir.file("lh.old.srf")), bytes);

    test::writeFile(dir.file("lh.srf"), twoVertexBytes().str());
    host.dialogAnswers.push_back(dir.file("lh.srf"));
    EXPECT_TRUE(printSrfFile(true, true, false));
    EXPECT_EQ(host.dialogs[0].title + host.dialogs[0].filter, "Please select the Corvana surface file*.srf");
    EXPECT_EQ(host.log, std::vector<std::string>{"Wrote the header info to disk."});
    EXPECT_THAT(test::readFile(dir.file("lh_info.txt")), StartsWith(test::writtenInTextMode("\nSRF filename: \n") + dir.file("lh.srf")));
    host.log.clear();
    EXPECT_FALSE(printSrfFile(true, false, true));
    EXPECT_EQ(host.messages, std::vector<std::string>{"No surface file was selected. Procedure finished."});
    host.dialogAnswers.push_back("/no/such/file.srf");
    EXPECT_FALSE(printSrfFile(true, false, true));  // a failed load is a failed print
    EXPECT_EQ(host.log, (std::vector<std::string>{"/no/such/file.srf cannot be opened: No such file or directory.",
                                                  "Reading of surface file did not succeed."}));
}

TEST_F(SrfFile, AcceptsVersionsThreeToFourOnlyAndNamesWhatIsNoSrfFile) {
    for (float version : {3.0f, 3.5f, 4.0f, 2.9f, 4.1f}) {
        const bool accepted = version >= 3.0f && version <= 4.0f;
        host.messages.clear();
        std::string bytes = twoVertexBytes().str();
        bytes.replace(0, 4, Bytes().f32(version).str());
        test::writeFile(dir.file("v.srf"), bytes);
        const SrfData srf = loadSrf(dir.file("v.srf"), true);
        EXPECT_EQ(isFailedLoad(srf), !accepted) << version;
        EXPECT_EQ(host.messages, accepted ? std::vector<std::string>{}
                                          : std::vector<std::string>{"SRF file version is not supported"});
    }
    // No version at all, a GIFTI file, gzip'ed bytes and a folder are no SRF files.
    std::filesystem::create_directory(dir.file("folder.srf"));
    for (const auto& [content, why] :
         {std::pair{Bytes().f32(NAN).str(), " is not an SRF file."},
          std::pair{Bytes().f32(4.8018e+27f).str(), " is not an SRF file."},
          std::pair{std::string("\xEF\xBB\xBF <?xml version=\"1.0\"?><GIFTI>"),
                    " is not an SRF file: it holds XML text, as GIFTI files do."},
          std::pair{std::string("\x1F\x8B\x08\x00"), " is not an SRF file: it holds gzip-compressed data."},
          std::pair{std::string(), " is a folder, not an SRF file."}}) {
        host.log.clear();
        host.messages.clear();
        const std::string path = dir.file(content.empty() ? "folder.srf" : "v.srf");
        if (!content.empty()) test::writeFile(path, content + twoVertexBytes().str().substr(4));
        EXPECT_TRUE(isFailedLoad(loadSrf(path, true)));
        EXPECT_EQ(host.log, (std::vector<std::string>{path + why, "Reading of surface file did not succeed."}));
        EXPECT_TRUE(host.messages.empty());
    }
}

TEST_F(SrfFile, RefusesEveryTruncationAndAbsurdCountsWithoutAllocating) {
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
        // Counted in values: two floats do not fit in five bytes.
        if (length == 28 + 5) {
            EXPECT_EQ(host.log[1], path + " cannot be read: vertex coordinates: 2 values of 4 bytes from byte 28 on do not "
                                          "fit in the 5 bytes left.");
        }
    }

    for (const auto& [vertices, triangles] : {std::pair{0x7FFFFFFF, 1}, std::pair{-5, 1}, std::pair{0, 0x7FFFFFFF}}) {
        test::writeFile(path, Bytes().f32(3).i32(0).i32(vertices).i32(triangles).str() + std::string(212, '\0'));
        SrfData srf;
        EXPECT_FALSE(readSrfFile(path, srf)) << vertices << " " << triangles;
    }
    // A neighbour count beyond the file.
    std::string absurd = bytes;
    absurd.replace(28 + 48 + 32 + 8, 4, Bytes().i32(1 << 30).str());
    test::writeFile(path, absurd);
    SrfData srf;
    EXPECT_FALSE(readSrfFile(path, srf));
}

TEST_F(SrfFile, FailedWriteReportsAndKeepsTheOldFile) {
    test::writeFile(dir.file("mesh.srf"), "old");
    SrfData srf = twoVertexSurface(dir.file("mesh.srf"));
    srf.triangles.owned().pop_back();  // fewer indices than the count says
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(writeSrfFile(srf));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Error while writing SRF file\n");
    EXPECT_EQ(test::readFile(dir.file("mesh.srf")), "old");

    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(writeSrfFile(twoVertexSurface(dir.file("no/folder/mesh.srf"))));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Error while writing SRF file\n");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"mesh.srf"});
}

TEST_F(SrfFile, CurrentSurfaceIsTakenFromTheHostWithoutCopyingItsArrays) {
    std::vector<float> x{1, 2, 3}, y{4, 5, 6}, z{7, 8, 9}, nx(3), ny(3), nz(3, 1.0f);
    std::vector<std::int32_t> colors{0, 1, 0x3F00FF00}, triangles{0, 1, 2};
    const HostSrfInfo info{.nrOfVertices = 3, .nrOfTriangles = 1, .vertexX = x.data(), .vertexY = y.data(),
                           .vertexZ = z.data(), .normalX = nx.data(), .normalY = ny.data(), .normalZ = nz.data(),
                           .colors = colors.data(), .convexRed = 0.25f, .concaveBlue = 0.75f, .meshCenterX = 2.0f,
                           .triangles = triangles.data(), .fileName = "C:\\data\\brain_RH.srf"};
    host.currentSurface = info;

    SrfData srf = loadSrf("none", false);
    EXPECT_EQ(host.log, (std::vector<std::string>{"C:\\data\\brain_RH.srf", "C:\\data\\brain_RH.srf"}));
    EXPECT_EQ(srf.vertexX.data(), x.data());
    EXPECT_EQ(srf.vertexColors.data(), colors.data());
    EXPECT_NE(srf.triangles.data(), triangles.data());
    srf.fileName = "lh.srf";
    EXPECT_EQ(srfHeaderText(srf), "\nSRF filename: \nlh.srf\nFile type: surface (*.srf)\nFile version: 3.5\n"
                                  "Number of vertices: 3\nNumber of triangles: 1\n"
                                  "Mesh center: X: 2.000000, Y: 0.000000, Z: 0.000000\nMesh curvature colors: \n"
                                  "Concave red: 0.000000, green: 0.000000, blue: 0.750000\nConcave alpha: 1.000000\n"
                                  "Convex red: 0.250000, green: 0.000000, blue: 0.000000\nConvex alpha: 1.000000\n");
    host.currentSurface.reset();
    host.log.clear();
    EXPECT_TRUE(isFailedLoad(loadSrf("none", false)));
    EXPECT_EQ(host.log, std::vector<std::string>{"Reading of surface file did not succeed."});
}

