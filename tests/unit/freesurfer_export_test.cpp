// The FreeSurfer export against hand-computed bytes, and its refusal to
// replace a file this plug-in did not write.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <bit>
#include <filesystem>
#include <tuple>

#include "formats/freesurfer_writing.h"
#include "formats/mtc_file.h"
#include "formats/poi_file.h"
#include "formats/smp_file.h"
#include "formats/srf_file.h"
#include "plugin/commands.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/gzip.h"
#include "tests/support/host_test.h"

using ::testing::HasSubstr;
using namespace meshbridge;
using namespace meshbridge::test;

namespace {

// Big-endian bytes written out by hand, as FreeSurfer's files hold them.
class BigEndian {
public:
    BigEndian& i32(std::int32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) bytes_.push_back(static_cast<char>((static_cast<std::uint32_t>(v) >> shift) & 0xFF));
        return *this;
    }
    BigEndian& i64(std::int64_t v) { return i32(static_cast<std::int32_t>(v >> 32)).i32(static_cast<std::int32_t>(v)); }
    BigEndian& f32(float v) { return i32(std::bit_cast<std::int32_t>(v)); }
    BigEndian& counted(const std::string& text) {  // a length with the zero byte, the text, a zero byte
        i32(static_cast<std::int32_t>(text.size() + 1));
        bytes_ += text;
        bytes_.push_back('\0');
        return *this;
    }
    const std::string& str() const { return bytes_; }

private:
    std::string bytes_;
};

std::string gunzip(const std::string& bytes) {
    z_stream stream{};
    inflateInit2(&stream, 16 + MAX_WBITS);
    std::string out;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    char block[4096];
    while (true) {
        stream.next_out = reinterpret_cast<Bytef*>(block);
        stream.avail_out = sizeof block;
        const int status = inflate(&stream, Z_NO_FLUSH);
        out.append(block, sizeof block - stream.avail_out);
        if (status == Z_STREAM_END && stream.avail_in > 0) {
            inflateReset(&stream);
            continue;
        }
        if (status != Z_OK) break;
    }
    inflateEnd(&stream);
    return out;
}

class FreeSurferExportTest : public HostTest {
protected:
    bool exportTo(FileTypeId type, const std::string& path) {
        host.dialogAnswers.push_back(path);
        return exportGiftiFile(type, false, false, false, false, false, false, true);
    }
};

}  // namespace

TEST_F(FreeSurferExportTest, ASurfaceKeepsItsCoordinatesAndWindingInBigEndianOrder) {
    SrfData srf;
    srf.version = 3.0f;
    srf.nrOfVertices = 3;
    srf.nrOfTriangles = 1;
    srf.vertexX = HugePageVector<float>{0.5f, -1.0f, 2.0f};
    srf.vertexY = HugePageVector<float>{0.0f, 3.25f, 1.0f};
    srf.vertexZ = HugePageVector<float>{-0.0f, 7.0f, 1e-30f};
    srf.vertexColors = HugePageVector<std::int32_t>(3, 0);
    srf.triangles = HugePageVector<std::int32_t>{0, 2, 1};
    srf.fileName = dir.file("lh.white.srf");
    srf.normalX = srf.normalY = srf.normalZ = HugePageVector<float>(3, 0.0f);
    srf.neighbors.assignEmpty(3);
    ASSERT_TRUE(writeSrfFile(srf));
    ASSERT_TRUE(exportTo(kFileTypeSrf, dir.file("lh.white.srf")));
    EXPECT_EQ(host.lastLog(), "Exported to FreeSurfer format, name:\n " + dir.file("lh.white"));
    EXPECT_THAT(host.log, ::testing::Contains("No volume geometry is written: FreeSurfer takes the coordinates as "
                                              "tkregister (surface RAS) space."));
    const std::string bytes = readFile(dir.file("lh.white"));
    ASSERT_EQ(bytes.compare(0, 32, "\xFF\xFF\xFE" "created by Meshbridge 1.6 on "), 0);
    const std::size_t counts = bytes.find("\n\n") + 2;
    const BigEndian expected = BigEndian().i32(3).i32(1).f32(0.5f).f32(0.0f).f32(-0.0f).f32(-1.0f).f32(3.25f)
                                   .f32(7.0f).f32(2.0f).f32(1.0f).f32(1e-30f).i32(0).i32(2).i32(1);
    EXPECT_EQ(bytes.substr(counts), expected.str());
    EXPECT_TRUE(carriesMeshbridgeMark(dir.file("lh.white"), FreeSurferOutput::Surface));

    // The user's own surface of that name stays as it is.
    const std::string foreign = std::string("\xFF\xFF\xFE", 3) + "created by someone on a day\n\n" + expected.str();
    writeFile(dir.file("lh.white"), foreign);
    EXPECT_FALSE(carriesMeshbridgeMark(dir.file("lh.white"), FreeSurferOutput::Surface));
    EXPECT_FALSE(exportTo(kFileTypeSrf, dir.file("lh.white.srf")));
    const std::string refusal = dir.file("lh.white") + " exists and was not written by Meshbridge: it is left as it "
                                                       "is; rename the SRF or remove the file to export.";
    EXPECT_EQ(host.lastLog(), refusal);
    EXPECT_EQ(host.lastMessage(), refusal);
    EXPECT_EQ(readFile(dir.file("lh.white")), foreign);
    // A triangle corner beyond the mesh makes no surface; the reason is logged.
    std::filesystem::remove(dir.file("lh.white"));
    srf.triangles = HugePageVector<std::int32_t>{0, 2, 3};
    ASSERT_TRUE(writeSrfFile(srf));
    EXPECT_FALSE(exportTo(kFileTypeSrf, dir.file("lh.white.srf")));
    EXPECT_THAT(host.log, ::testing::Contains("Export to FreeSurfer did not succeed: " + dir.file("lh.white.srf") +
                                              " holds the triangle corner 3 (at position 2), which is no vertex "
                                              "index of its 3 vertices."));
    EXPECT_FALSE(std::filesystem::exists(dir.file("lh.white")));
    writeFile(dir.file("lh.white"), foreign);
    // Nor does a folder of that name, or anything that is no surface.
    std::filesystem::remove(dir.file("lh.white"));
    std::filesystem::create_directory(dir.file("lh.white"));
    EXPECT_FALSE(exportTo(kFileTypeSrf, dir.file("lh.white.srf")));
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("lh.white")));
}

TEST_F(FreeSurferExportTest, MapsAndTimeCoursesBecomeFramesOfAnOverlayWithItsTrAndMark) {
    SmpData smp{.version = 5, .nrOfVertices = 3, .nrOfMaps = 2, .fileName = dir.file("lh.z.smp")};
    smp.maps.push_back({.name = "first", .data = HugePageVector<float>{1.5f, -2.0f, 0.0f}});
    smp.maps.push_back({.name = "second", .data = HugePageVector<float>{3.0f, 4.0f, -1e20f}});
    ASSERT_TRUE(writeSmpFile(smp));
    ASSERT_TRUE(exportTo(kFileTypeSmp, dir.file("lh.z.smp")));
    EXPECT_THAT(host.log, ::testing::Contains("Frame 2: map \"second\"."));
    const std::string note = "Meshbridge 1.6 export of lh.z.smp";
    const auto overlay = [&](std::int32_t frames, std::initializer_list<float> values, float tr, const std::string& of) {
        BigEndian header;
        header.i32(1).i32(3).i32(1).i32(1).i32(frames).i32(3).i32(0);
        std::string bytes = header.str() + std::string("\0\1", 2);
        BigEndian orientation;
        for (const float v : {1.0f, 1.0f, 1.0f, -1.0f, 0.0f, 0.0f, 0.0f, 0.0f, -1.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f})
            orientation.f32(v);
        bytes += orientation.str() + std::string(284 - 90, '\0');
        BigEndian rest;
        for (const float v : values) rest.f32(v);
        rest.f32(tr).f32(0).f32(0).f32(0).f32(0).i32(3).i64(static_cast<std::int64_t>(of.size() + 1));
        return bytes + rest.str() + of + std::string(1, '\0');
    };
    EXPECT_EQ(gunzip(readFile(dir.file("lh.z.mgz"))), overlay(2, {1.5f, -2.0f, 0.0f, 3.0f, 4.0f, -1e20f}, 0.0f, note));
    EXPECT_TRUE(carriesMeshbridgeMark(dir.file("lh.z.mgz"), FreeSurferOutput::Overlay));

    MtcData mtc{.version = 1, .nrOfVertices = 3, .nrOfVolumes = 2, .tr = 720.0f,
                .data = HugePageVector<float>{1, 2, 3, 4, 5, 6}, .fileName = dir.file("run.mtc")};
    ASSERT_TRUE(writeMtcFile(mtc));
    ASSERT_TRUE(exportTo(kFileTypeMtc, dir.file("run.mtc")));
    EXPECT_EQ(gunzip(readFile(dir.file("run.mgz"))),
              overlay(2, {1, 2, 3, 4, 5, 6}, 720.0f, "Meshbridge 1.6 export of run.mtc"));

    // Its own earlier overlay is replaced; another, or a damaged one, is not.
    ASSERT_TRUE(exportTo(kFileTypeMtc, dir.file("run.mtc")));
    EXPECT_THAT(host.log, ::testing::Contains(dir.file("run.mgz") + " was written by Meshbridge: it is replaced."));
    const std::string ours = readFile(dir.file("run.mgz"));
    writeFile(dir.file("run.mgz"), ours.substr(0, ours.size() / 2));
    EXPECT_FALSE(carriesMeshbridgeMark(dir.file("run.mgz"), FreeSurferOutput::Overlay));
    // A header that claims a billion values, in a few hundred bytes: no overlay of ours, not inflated.
    std::string claim = gunzip(ours);
    claim.replace(4, 4, BigEndian().i32(1000000000).str());
    claim += std::string(1 << 20, '\0');
    for (const std::string& other : {std::string(), std::string("not gzip at all"), gunzip(ours), gzipped(claim)}) {
        writeFile(dir.file("run.mgz"), other);
        EXPECT_FALSE(exportTo(kFileTypeMtc, dir.file("run.mtc")));
        EXPECT_EQ(readFile(dir.file("run.mgz")), other);
    }
}

TEST_F(FreeSurferExportTest, PatchesBecomeAnAnnotationWhereEachPatchHasAColourOfItsOwn) {
    PoiData poi{.version = 2, .nrOfMeshVertices = 5, .nrOfPOIs = 3, .fileName = dir.file("lh.areas.poi")};
    const auto patch = [](const char* name, std::int32_t color, HugePageVector<std::int32_t> vertices) {
        PoiPatch p;
        p.name = name;
        p.color = color;
        p.nrOfVertices = static_cast<std::int32_t>(vertices.size());
        p.labelVertex = vertices[0];
        p.vertices = std::move(vertices);
        return p;
    };
    poi.patches.push_back(patch("V1", 0xFF0000, {0, 1}));
    poi.patches.push_back(patch("V2", 0xFF0000, {1, 2}));  // V1's colour, and vertex 1 of V1
    poi.patches.push_back(patch("MT", 0x000000, {3}));     // black: no label to FreeSurfer
    ASSERT_TRUE(writePoiFile(poi));
    ASSERT_TRUE(exportTo(kFileTypePoi, dir.file("lh.areas.poi")));
    EXPECT_THAT(host.log, ::testing::Contains("Patch \"V2\" has the colour 255 0 0 of an earlier patch, or black (no "
                                              "label to FreeSurfer): it is written as 255 0 1, one step away, as "
                                              "FreeSurfer tells labels by their colours."));
    EXPECT_THAT(host.log, ::testing::Contains(HasSubstr("it is written as 0 0 1, one step away")));
    EXPECT_THAT(host.log, ::testing::Contains("1 vertices lie in more than one patch; each keeps the label of its "
                                              "first patch."));
    const std::int32_t v1 = 255, v2 = 255 + (1 << 16), mt = 1 << 16;
    BigEndian expected;
    expected.i32(5).i32(0).i32(v1).i32(1).i32(v1).i32(2).i32(v2).i32(3).i32(mt).i32(4).i32(0);
    expected.i32(1).i32(-2).i32(3).counted("Meshbridge 1.6 export of lh.areas.poi").i32(3);
    expected.i32(0).counted("V1").i32(255).i32(0).i32(0).i32(0);
    expected.i32(1).counted("V2").i32(255).i32(0).i32(1).i32(0);
    expected.i32(2).counted("MT").i32(0).i32(0).i32(1).i32(0);
    EXPECT_EQ(readFile(dir.file("lh.areas.annot")), expected.str());
    EXPECT_TRUE(carriesMeshbridgeMark(dir.file("lh.areas.annot"), FreeSurferOutput::Annotation));

    // A patch vertex beyond the mesh makes no annotation.
    poi.patches.push_back(patch("far", 0x00FF00, {5}));
    poi.nrOfPOIs = 4;
    ASSERT_TRUE(writePoiFile(poi));
    EXPECT_FALSE(exportTo(kFileTypePoi, dir.file("lh.areas.poi")));
    EXPECT_EQ(readFile(dir.file("lh.areas.annot")), expected.str());
}

TEST_F(FreeSurferExportTest, AFailedWriteSaysWhyAndLeavesTheEarlierExportAsItWas) {
    constexpr std::int32_t n = 2000;  // every output beyond the limit below
    HugePageVector<float> ramp(n);
    for (std::int32_t v = 0; v < n; ++v) ramp[static_cast<std::size_t>(v)] = static_cast<float>(v);
    SrfData srf;
    srf.version = 3.0f;
    srf.nrOfVertices = n;
    srf.nrOfTriangles = n - 2;
    srf.vertexX = srf.vertexY = srf.vertexZ = srf.normalX = srf.normalY = srf.normalZ = ramp;
    srf.vertexColors = HugePageVector<std::int32_t>(n, 0);
    HugePageVector<std::int32_t> triangles;
    for (std::int32_t f = 0; f + 2 < n; ++f) triangles.insert(triangles.end(), {f, f + 1, f + 2});
    srf.triangles = std::move(triangles);
    srf.neighbors.assignEmpty(n);
    srf.fileName = dir.file("big.srf");
    ASSERT_TRUE(writeSrfFile(srf));
    SmpData smp{.version = 5, .nrOfVertices = n, .nrOfMaps = 1, .fileName = dir.file("big.smp")};
    smp.maps.push_back({.name = "ramp", .data = ramp});
    ASSERT_TRUE(writeSmpFile(smp));
    MtcData mtc{.version = 1, .nrOfVertices = n, .nrOfVolumes = 1, .tr = 2000.0f, .data = ramp,
                .fileName = dir.file("run.mtc")};
    ASSERT_TRUE(writeMtcFile(mtc));
    PoiData poi{.version = 2, .nrOfMeshVertices = n, .nrOfPOIs = 1, .fileName = dir.file("areas.poi")};
    PoiPatch patch;
    patch.name = "all";
    patch.color = 0x00FF00;
    patch.vertices = HugePageVector<std::int32_t>(n, 0);
    for (std::int32_t v = 0; v < n; ++v) patch.vertices[static_cast<std::size_t>(v)] = v;
    patch.nrOfVertices = n;
    poi.patches.push_back(std::move(patch));
    ASSERT_TRUE(writePoiFile(poi));

    for (const auto& [type, source, target] :
         {std::tuple{kFileTypeSrf, "big.srf", "big"}, std::tuple{kFileTypeSmp, "big.smp", "big.mgz"},
          std::tuple{kFileTypeMtc, "run.mtc", "run.mgz"}, std::tuple{kFileTypePoi, "areas.poi", "areas.annot"}}) {
        ASSERT_TRUE(exportTo(type, dir.file(source))) << source;
        std::filesystem::permissions(dir.file(target), std::filesystem::perms(0640));
        const std::string earlier = readFile(dir.file(target));
        const auto entries = dir.entries();
        host.log.clear();
        {
            FileSizeLimit limit(4096);
            EXPECT_FALSE(exportTo(type, dir.file(source))) << source;
        }
        ASSERT_GE(host.log.size(), 2u) << source;
        EXPECT_EQ(host.log[host.log.size() - 2], "Could not write " + dir.file(target) + ": File too large.");
        EXPECT_EQ(host.lastLog(), "Export to FreeSurfer did not succeed.");
        EXPECT_EQ(readFile(dir.file(target)), earlier) << source;
        EXPECT_EQ(std::filesystem::status(dir.file(target)).permissions(), std::filesystem::perms(0640)) << source;
        EXPECT_EQ(dir.entries(), entries) << source;
    }
}

TEST_F(FreeSurferExportTest, NotTogetherWithCifti) {
    host.dialogAnswers.push_back(dir.file("x.smp"));
    EXPECT_FALSE(exportGiftiFile(kFileTypeSmp, false, false, false, false, false, true, true));
    EXPECT_EQ(host.lastMessage(), "\"Export as CIFTI-2\" and \"Export to FreeSurfer\" exclude each other: choose one. "
                                  "Procedure finished.");
    EXPECT_TRUE(host.dialogs.empty());
}

// The coordinates are read a block of vertices at a time from their three
// columns; damaged neighbour lists and a file cut short make no surface.
TEST_F(FreeSurferExportTest, CoordinatesOfManyBlocksInterleaveAndDamagedSrfFilesAreRefused) {
    constexpr int kVertices = 100000;  // more than two blocks
    SrfData srf;
    srf.version = 3.0f;
    srf.nrOfVertices = kVertices;
    srf.nrOfTriangles = 1;
    srf.vertexX.owned().resize(kVertices);
    srf.vertexY.owned().resize(kVertices);
    srf.vertexZ.owned().resize(kVertices);
    for (int v = 0; v < kVertices; ++v) {
        srf.vertexX.owned()[v] = static_cast<float>(v);
        srf.vertexY.owned()[v] = -static_cast<float>(v);
        srf.vertexZ.owned()[v] = 0.5f * static_cast<float>(v);
    }
    srf.normalX = srf.normalY = srf.normalZ = HugePageVector<float>(kVertices, 0.0f);
    srf.vertexColors = HugePageVector<std::int32_t>(kVertices, 0);
    srf.neighbors.assignEmpty(kVertices);
    // Triangles of several blocks too, the last one short and of a length
    // that is no multiple of four corners.
    constexpr int kTriangles = 50001;
    srf.nrOfTriangles = kTriangles;
    srf.triangles.owned().resize(3 * kTriangles);
    for (std::size_t c = 0; c < 3 * kTriangles; ++c)
        srf.triangles.owned()[c] = static_cast<std::int32_t>((c * 7919) % kVertices);
    srf.fileName = dir.file("rh.pial.srf");
    ASSERT_TRUE(writeSrfFile(srf));
    ASSERT_TRUE(exportTo(kFileTypeSrf, dir.file("rh.pial.srf")));
    const std::string bytes = readFile(dir.file("rh.pial"));
    const std::size_t coordinates = bytes.find("\n\n") + 2 + 8;
    ASSERT_EQ(bytes.size(), coordinates + 12 * kVertices + 12 * kTriangles);
    BigEndian vertices;
    for (int v = 0; v < kVertices; ++v)
        vertices.f32(static_cast<float>(v)).f32(-static_cast<float>(v)).f32(0.5f * static_cast<float>(v));
    EXPECT_TRUE(bytes.substr(coordinates, 12 * kVertices) == vertices.str());
    for (const int v : {0, 1, 2, 3, 4, 21844, 21845, 43689, 43690, 87380, kVertices - 1}) {
        const BigEndian expected = BigEndian().f32(static_cast<float>(v)).f32(-static_cast<float>(v)).f32(0.5f * v);
        EXPECT_EQ(bytes.substr(coordinates + 12 * static_cast<std::size_t>(v), 12), expected.str()) << v;
    }
    BigEndian corners;
    for (const std::int32_t corner : srf.triangles) corners.i32(corner);
    EXPECT_TRUE(bytes.substr(coordinates + 12 * kVertices) == corners.str());
    // A negative corner in a later block is beyond the mesh too, and named where it is.
    srf.triangles.owned()[100000] = -1;
    ASSERT_TRUE(writeSrfFile(srf));
    EXPECT_FALSE(exportTo(kFileTypeSrf, dir.file("rh.pial.srf")));
    EXPECT_THAT(host.log, ::testing::Contains(HasSubstr("holds the triangle corner -1 (at position 100000), which is "
                                                        "no vertex index of its 100000 vertices.")));
    EXPECT_TRUE(readFile(dir.file("rh.pial")) == bytes);

    // Three vertices whose second neighbour list claims -2 entries, then the
    // same file cut within its lists.
    srf.nrOfVertices = 3;
    for (HostArray<float>* column : {&srf.vertexX, &srf.vertexY, &srf.vertexZ, &srf.normalX, &srf.normalY, &srf.normalZ})
        column->owned().resize(3);
    srf.vertexColors.owned().resize(3);
    srf.neighbors.assignEmpty(3);
    srf.nrOfTriangles = 1;
    srf.triangles = HugePageVector<std::int32_t>{0, 1, 2};
    srf.fileName = dir.file("lh.sphere.srf");
    ASSERT_TRUE(writeSrfFile(srf));
    std::string damaged = readFile(dir.file("lh.sphere.srf"));
    const std::size_t lists = 28 + 12 * 3 + 12 * 3 + 32 + 4 * 3;
    damaged.replace(lists + 4, 4, std::string("\xFE\xFF\xFF\xFF", 4));  // -2, little-endian
    writeFile(dir.file("lh.sphere.srf"), damaged);
    EXPECT_FALSE(exportTo(kFileTypeSrf, dir.file("lh.sphere.srf")));
    EXPECT_THAT(host.log, ::testing::Contains(HasSubstr("vertex 1 has -2 neighbours")));
    writeFile(dir.file("lh.sphere.srf"), damaged.substr(0, lists + 6));
    EXPECT_FALSE(exportTo(kFileTypeSrf, dir.file("lh.sphere.srf")));
    EXPECT_THAT(host.log, ::testing::Contains(HasSubstr("the file ends at byte " + std::to_string(lists + 6))));
    EXPECT_FALSE(std::filesystem::exists(dir.file("lh.sphere")));
}
