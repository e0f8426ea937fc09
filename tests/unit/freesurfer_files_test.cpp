// FreeSurfer's files from hand-made bytes: what each reader finds in them,
// and what it says of damaged ones.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <bit>
#include <cstring>

#include "common/text.h"
#include "formats/freesurfer_files.h"
#include "import/freesurfer_import.h"
#include "tests/support/describe.h"
#include "tests/support/gzip.h"
#include "tests/support/host_test.h"

using namespace meshbridge;
using meshbridge::test::gzipped;
using ::testing::ElementsAre;

namespace {

// Big-endian bytes, appended value by value.
struct Bytes {
    std::vector<unsigned char> data;
    Bytes& i32(std::int32_t value) {
        for (int shift = 24; shift >= 0; shift -= 8) data.push_back(static_cast<unsigned char>(value >> shift));
        return *this;
    }
    Bytes& f32(float value) { return i32(std::bit_cast<std::int32_t>(value)); }
    Bytes& i16(std::int16_t value) { return raw({static_cast<unsigned char>(value >> 8), static_cast<unsigned char>(value)}); }
    Bytes& raw(std::initializer_list<unsigned char> bytes) {
        data.insert(data.end(), bytes);
        return *this;
    }
    Bytes& text(const std::string& text) {
        data.insert(data.end(), text.begin(), text.end());
        return *this;
    }
    Bytes& counted(const std::string& name) { return i32(static_cast<std::int32_t>(name.size() + 1)).text(name).raw({0}); }
};

Bytes triangleSurface(std::int32_t lastCorner) {
    Bytes file;
    file.raw({0xFF, 0xFF, 0xFE}).text("created by someone on a day\n\n").i32(3).i32(1);
    for (float value : {0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, -1.5f, 2.25f}) file.f32(value);
    return file.i32(0).i32(1).i32(lastCorner);
}

// An MGH file of two vertices and two frames of shorts, with a TR.
Bytes mghOfShorts() {
    Bytes file;
    file.i32(1).i32(2).i32(1).i32(1).i32(2).i32(4).i32(0).i16(0);
    file.data.resize(284, 0);
    return file.i16(1).i16(-2).i16(300).i16(4).f32(2000.0f);
}

}  // namespace

TEST(FreeSurferSurfaceFile, ReadsCoordinatesAndFacesAndIgnoresTheGeometryFooter) {
    Bytes file = triangleSurface(2);
    file.i32(2).i32(0).i32(20).text("valid = 1\n");
    FreeSurferSurface surface;
    std::string problem;
    ASSERT_TRUE(parseFreeSurferSurface(file.data, surface, problem)) << problem;
    EXPECT_EQ(surface.createdBy, "created by someone on a day");
    EXPECT_THAT(surface.xyz, ElementsAre(0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, -1.5f, 2.25f));
    EXPECT_THAT(surface.triangles, ElementsAre(0, 1, 2));
}

TEST(FreeSurferSurfaceFile, RefusesFacesOutsideTheVerticesAndFilesCutShort) {
    FreeSurferSurface surface;
    std::string problem;
    EXPECT_FALSE(parseFreeSurferSurface(triangleSurface(3).data, surface, problem));
    EXPECT_EQ(problem, "face 0 uses the vertex index 3, outside 0 to 2");
    Bytes cut = triangleSurface(2);
    cut.data.resize(cut.data.size() - 1);
    EXPECT_FALSE(parseFreeSurferSurface(cut.data, surface, problem));
    EXPECT_EQ(problem, "the file ends at byte 87, within the coordinates and faces (4 values of 12 bytes from byte 40)");
    // Counts no file of this size can hold are refused before anything is allocated.
    Bytes huge;
    huge.raw({0xFF, 0xFF, 0xFE}).text("x\n\n").i32(INT32_MAX).i32(INT32_MAX);
    EXPECT_FALSE(parseFreeSurferSurface(huge.data, surface, problem));
    EXPECT_THAT(problem, ::testing::StartsWith("the file ends at byte 14, within the coordinates and faces"));
}

TEST(FreeSurferMorphometryFile, ReadsTheNewAndTheOldFormat) {
    Bytes newer;
    newer.raw({0xFF, 0xFF, 0xFF}).i32(2).i32(7).i32(1).f32(1.5f).f32(-2.25f);
    FreeSurferValues values;
    std::string problem;
    ASSERT_TRUE(parseMorphometry(newer.data, values, problem)) << problem;
    EXPECT_EQ(values.nrOfVertices, 2);
    EXPECT_THAT(values.values, ElementsAre(1.5f, -2.25f));
    // Three-byte counts, values in hundredths.
    Bytes older;
    older.raw({0, 0, 2, 0, 0, 1}).i16(150).i16(-200);
    ASSERT_TRUE(parseMorphometry(older.data, values, problem)) << problem;
    EXPECT_THAT(values.values, ElementsAre(1.5f, -2.0f));
    EXPECT_EQ(freeSurferKindOf(older.data, older.data.size()), FreeSurferKind::Morphometry);

    Bytes none;
    none.raw({0xFF, 0xFF, 0xFF}).i32(0).i32(0).i32(1);
    EXPECT_FALSE(parseMorphometry(none.data, values, problem));
    EXPECT_EQ(problem, "it holds no vertices");
    Bytes three;
    three.raw({0xFF, 0xFF, 0xFF}).i32(1).i32(0).i32(3).f32(1).f32(2).f32(3);
    EXPECT_FALSE(parseMorphometry(three.data, values, problem));
    EXPECT_EQ(problem, "it holds 3 values per vertex, not 1");
}

TEST(MghOverlayFile, ReadsEveryValueTypeFrameAfterFrameWithItsTr) {
    FreeSurferValues values;
    std::string problem;
    ASSERT_TRUE(parseMghOverlay(mghOfShorts().data, values, problem)) << problem;
    EXPECT_EQ(values.nrOfVertices, 2);
    EXPECT_EQ(values.nrOfFrames, 2);
    EXPECT_THAT(values.values, ElementsAre(1.0f, -2.0f, 300.0f, 4.0f));
    EXPECT_EQ(values.repetitionTimeMs, 2000.0f);

    Bytes uchars = mghOfShorts();
    uchars.data[23] = 0;  // unsigned char
    uchars.data.resize(284);
    uchars.raw({200, 1, 2, 3});
    ASSERT_TRUE(parseMghOverlay(uchars.data, values, problem)) << problem;
    EXPECT_THAT(values.values, ElementsAre(200.0f, 1.0f, 2.0f, 3.0f));
    EXPECT_EQ(values.repetitionTimeMs, 0.0f);  // no trailer

    Bytes ints = mghOfShorts();
    ints.data[23] = 1;  // int
    ints.data.resize(284);
    ints.i32(-70000).i32(1).i32(2).i32(3);
    ASSERT_TRUE(parseMghOverlay(ints.data, values, problem)) << problem;
    EXPECT_EQ(values.values[0], -70000.0f);
}

TEST(MghOverlayFile, RefusesOtherTypesAndValuesBeyondTheFile) {
    FreeSurferValues values;
    std::string problem;
    Bytes longs = mghOfShorts();
    longs.data[23] = 2;
    EXPECT_FALSE(parseMghOverlay(longs.data, values, problem));
    EXPECT_EQ(problem, "its data type 2 is none of uchar (0), int (1), float (3) or short (4)");
    Bytes frames = mghOfShorts();
    frames.data[16] = 0x7F;  // 2^30 frames and more
    EXPECT_FALSE(parseMghOverlay(frames.data, values, problem));
    EXPECT_THAT(problem, ::testing::StartsWith("the file ends at byte 296, within the values"));
    Bytes wide = mghOfShorts();
    for (int at : {4, 8}) wide.data[static_cast<std::size_t>(at)] = 0x7F;
    EXPECT_FALSE(parseMghOverlay(wide.data, values, problem));
    EXPECT_THAT(problem, ::testing::HasSubstr("more values per frame than a map can hold"));
    for (int at : {4, 8, 12}) wide.data[static_cast<std::size_t>(at)] = 0x7F;  // 2^93 values per frame
    EXPECT_FALSE(parseMghOverlay(wide.data, values, problem));
    EXPECT_THAT(problem, ::testing::HasSubstr("more values per frame than a map can hold"));

    // Values along more than one dimension make a volume, whichever two.
    for (const auto& [first, second] : {std::pair{4, 8}, std::pair{4, 12}, std::pair{8, 12}}) {
        Bytes volume = mghOfShorts();
        for (int at : {4, 8, 12}) volume.data[static_cast<std::size_t>(at + 3)] = 1;
        volume.data[static_cast<std::size_t>(first + 3)] = 16;
        volume.data[static_cast<std::size_t>(second + 3)] = 2;
        EXPECT_FALSE(parseMghOverlay(volume.data, values, problem));
        EXPECT_EQ(problem, formatText("it is a volume of %d x %d x %d, not a surface overlay", first == 4 ? 16 : 1,
                                      first == 8 ? 16 : second == 8 ? 2 : 1, second == 12 ? 2 : 1));
    }
    // One long dimension is an overlay, whichever it is.
    Bytes tall = mghOfShorts();
    tall.data[7] = 1;
    tall.data[11] = 2;  // 1 x 2 x 1
    EXPECT_TRUE(parseMghOverlay(tall.data, values, problem)) << problem;
}

TEST(FreeSurferAnnotationFile, ReadsPairsInAnyOrderAndBothColourTables) {
    // Vertices 2, 0 and 1; vertex 1 carries a value no entry has.
    Bytes pairs;
    pairs.i32(3).i32(2).i32(10 + 20 * 256 + 30 * 65536).i32(0).i32(1).i32(1).i32(99).i32(1);
    Bytes newer = pairs;
    newer.i32(-2).i32(5).counted("NOFILE").i32(2);
    newer.i32(0).counted("unknown").i32(1).i32(0).i32(0).i32(0);
    newer.i32(4).counted("cuneus").i32(10).i32(20).i32(30).i32(0);
    FreeSurferAnnotation annotation;
    std::string problem;
    ASSERT_TRUE(parseAnnotation(newer.data, annotation, problem)) << problem;
    EXPECT_THAT(annotation.values, ElementsAre(1, 99, 10 + 20 * 256 + 30 * 65536));
    ASSERT_EQ(annotation.table.size(), 2u);
    EXPECT_EQ(annotation.table[1].id, 4);
    EXPECT_EQ(annotation.table[1].name, "cuneus");
    EXPECT_EQ(annotation.table[1].value(), annotation.values[2]);
    EXPECT_EQ(freeSurferKindOf(newer.data, newer.data.size()), FreeSurferKind::Annotation);

    Bytes older = pairs;
    older.i32(1).counted("colortable.txt").counted("unknown").i32(1).i32(0).i32(0).i32(0);
    ASSERT_TRUE(parseAnnotation(older.data, annotation, problem)) << problem;
    ASSERT_EQ(annotation.table.size(), 1u);
    EXPECT_EQ(annotation.table[0].name, "unknown");
    EXPECT_EQ(annotation.table[0].value(), 1);
    // Colour values beyond a byte wrap around instead of overflowing.
    EXPECT_EQ((FreeSurferColorEntry{0, "", INT32_MAX, INT32_MAX, INT32_MAX, 0}.value()), 0x7FFEFEFF);
}

TEST(FreeSurferAnnotationFile, RefusesUnknownTablesVerticesOutsideAndTablesCutShort) {
    FreeSurferAnnotation annotation;
    std::string problem;
    Bytes version3;
    version3.i32(1).i32(0).i32(5).i32(1).i32(-3);
    EXPECT_FALSE(parseAnnotation(version3.data, annotation, problem));
    EXPECT_EQ(problem, "its colour table has the version 3, not 2");
    Bytes outside;
    outside.i32(2).i32(0).i32(5).i32(2).i32(5);
    EXPECT_FALSE(parseAnnotation(outside.data, annotation, problem));
    EXPECT_EQ(problem, "pair 1 names the vertex 2, outside 0 to 1");
    Bytes claims;
    claims.i32(1).i32(0).i32(5).i32(1).i32(-2).i32(5).counted("x").i32(1000000);
    EXPECT_FALSE(parseAnnotation(claims.data, annotation, problem));
    EXPECT_THAT(problem, ::testing::StartsWith("the file ends at byte 34, within the colour table's entries"));
}

TEST(FreeSurferLabelFile, ReadsTheVertexOfEveryLineAndRefusesWhatIsNoSurfaceLabel) {
    const std::string text = "#!ascii label  , from subject fsaverage vox2ras=TkReg\r\n3\r\n"
                             "12  -1.5  2.0  3.0 0.0\r\n0 1 2 3 4\r\n\t7\t1e3 -2 3 0.25";
    FreeSurferLabel label;
    std::string problem;
    const auto bytes = [](const std::string& s) { return std::vector<unsigned char>(s.begin(), s.end()); };
    ASSERT_TRUE(parseLabelFile(bytes(text), label, problem)) << problem;
    EXPECT_THAT(label.vertices, ElementsAre(12, 0, 7));
    EXPECT_EQ(freeSurferKindOf(bytes(text), text.size()), FreeSurferKind::Label);

    EXPECT_FALSE(parseLabelFile(bytes("#\n3\n1 0 0 0 0\n2 0 0 0 0\n"), label, problem));
    EXPECT_EQ(problem, "it ends after 2 of its 3 vertex lines");
    EXPECT_FALSE(parseLabelFile(bytes("#\n1\n1 0 0 zero 0\n"), label, problem));
    EXPECT_EQ(problem, "its vertex line 1 \"1 0 0 zero 0\" is not a vertex number and four values");
    EXPECT_FALSE(parseLabelFile(bytes("#\n0\n"), label, problem));
    EXPECT_EQ(problem, "it holds no vertices");
    EXPECT_FALSE(parseLabelFile(bytes("#!ascii label"), label, problem));
    EXPECT_EQ(problem, "its second line \"\" is no count of vertices");
    EXPECT_FALSE(parseLabelFile(bytes("#\nmany\n"), label, problem));
    EXPECT_EQ(problem, "its second line \"many\" is no count of vertices");
}

TEST(FreeSurferKinds, AreToldByContentAndGiftiAndHostFilesAreNone) {
    const std::string gifti = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<GIFTI>";
    const std::vector<unsigned char> xml(gifti.begin(), gifti.end());
    EXPECT_EQ(freeSurferKindOf(xml, xml.size()), FreeSurferKind::None);
    EXPECT_EQ(freeSurferKindOf(triangleSurface(2).data, 100), FreeSurferKind::Surface);
    EXPECT_EQ(freeSurferKindOf(mghOfShorts().data, 300), FreeSurferKind::Overlay);
    const std::vector<unsigned char> quad = {0xFF, 0xFF, 0xFD, 0, 0, 0};
    EXPECT_EQ(freeSurferKindOf(quad, 6), FreeSurferKind::QuadSurface);
    // An SRF file: version 4.0 as a little-endian float, then zeros.
    const std::vector<unsigned char> srf = {0, 0, 0x80, 0x40, 0, 0, 0, 0, 3, 0, 0, 0, 1, 0, 0, 0};
    EXPECT_EQ(freeSurferKindOf(srf, 100000), FreeSurferKind::None);

    const std::vector<unsigned char> mgz = gzipped(mghOfShorts().data);
    std::vector<unsigned char> inflated;
    std::string problem;
    ASSERT_TRUE(inflateGzip(mgz, 1000, inflated, problem)) << problem;
    EXPECT_EQ(inflated, mghOfShorts().data);
    EXPECT_EQ(freeSurferKindOf(mgz, mgz.size(), inflated), FreeSurferKind::CompressedOverlay);
    EXPECT_EQ(freeSurferKindOf(gzipped(xml), 60, xml), FreeSurferKind::None);  // a .gii.gz
}

TEST(FreeSurferKinds, InflatingStopsAtItsLimitAndTellsDamage) {
    const std::vector<unsigned char> zeros(1 << 22, 0);
    const std::vector<unsigned char> packed = gzipped(zeros);
    std::vector<unsigned char> out;
    std::string problem;
    ASSERT_TRUE(inflateGzip(packed, 1000, out, problem));
    EXPECT_EQ(out.size(), 1000u);
    std::vector<unsigned char> cut(packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(packed.size() / 2));
    EXPECT_FALSE(inflateGzip(cut, zeros.size() + 1, out, problem));
    EXPECT_EQ(problem, "its compressed data end early");
    std::vector<unsigned char> damaged = packed;
    damaged[12] ^= 0xFF;
    EXPECT_FALSE(inflateGzip(damaged, zeros.size() + 1, out, problem));
    EXPECT_EQ(problem, "its compressed data are damaged");
}

TEST(FreeSurferKinds, AWholeStreamIsCheckedToItsTrailerAndReadThroughEveryMember) {
    std::vector<unsigned char> first(3000), second(500);
    for (std::size_t i = 0; i < first.size(); ++i) first[i] = static_cast<unsigned char>(i * 7);
    for (std::size_t i = 0; i < second.size(); ++i) second[i] = static_cast<unsigned char>(i * 3 + 1);
    std::vector<unsigned char> both = first;
    both.insert(both.end(), second.begin(), second.end());
    std::vector<unsigned char> packed = gzipped(first);
    const std::vector<unsigned char> more = gzipped(second);
    packed.insert(packed.end(), more.begin(), more.end());  // two members, as nibabel reads them
    std::vector<unsigned char> out;
    std::string problem;
    ASSERT_TRUE(inflateGzip(packed, 1 << 20, out, problem, GzipCheck::WholeStream)) << problem;
    EXPECT_EQ(out, both);
    // Kept up to the limit, checked to the end.
    ASSERT_TRUE(inflateGzip(packed, 100, out, problem, GzipCheck::WholeStream)) << problem;
    EXPECT_EQ(out.size(), 100u);
    packed.insert(packed.end(), 7, 0);  // zero bytes may pad the end
    EXPECT_TRUE(inflateGzip(packed, 1 << 20, out, problem, GzipCheck::WholeStream)) << problem;

    const std::vector<unsigned char> one = gzipped(first);
    const std::pair<std::vector<unsigned char>, const char*> cases[] = {
        // The checksum and the length in the trailer.
        {[&] { auto b = one; b[b.size() - 6] ^= 1; return b; }(), "its compressed data are damaged (their checksum is wrong)"},
        {[&] { auto b = one; b[b.size() - 2] ^= 1; return b; }(), "its compressed data are damaged (their length is wrong)"},
        {{one.begin(), one.end() - 3}, "its compressed data end early"},  // cut inside the trailer
        {[&] { auto b = one; b.push_back('x'); b.push_back('y'); return b; }(),
         "bytes that are no gzip data follow its compressed data"},
    };
    for (const auto& [bytes, why] : cases) {
        // Even a limit the data reach before their end does not pass the trailer by.
        EXPECT_FALSE(inflateGzip(bytes, first.size(), out, problem, GzipCheck::WholeStream)) << why;
        EXPECT_EQ(problem, why);
    }
}

TEST(FreeSurferOutputNames, AddTheExtensionOrReplaceTheFreeSurferOne) {
    EXPECT_EQ(freeSurferOutputName("lh.white", ".srf"), "lh.white.srf");
    EXPECT_EQ(freeSurferOutputName("lh.pial", ".srf"), "lh.pial.srf");
    EXPECT_EQ(freeSurferOutputName("s/lh.thickness", ".smp"), "s/lh.thickness.smp");
    EXPECT_EQ(freeSurferOutputName("label/lh.aparc.annot", ".poi"), "label/lh.aparc.poi");
    EXPECT_EQ(freeSurferOutputName("lh.V1.label", ".poi"), "lh.V1.poi");
    EXPECT_EQ(freeSurferOutputName("C:\\fs\\lh.sig.mgz", ".smp"), "C:\\fs\\lh.sig.smp");
    EXPECT_EQ(freeSurferOutputName("x.mgh/lh.sphere.reg", ".srf"), "x.mgh/lh.sphere.reg.srf");
}

// The GIFTI images the import makes of FreeSurfer's files, as the host's
// import hands them on.
class FreeSurferImport : public test::HostTest {
protected:
    GiftiImagePtr read(const std::string& name, const Bytes& bytes, bool asTimeCourse) {
        test::writeFile(dir.file(name), std::string(bytes.data.begin(), bytes.data.end()));
        return readFreeSurferFile(dir.file(name), freeSurferFileKind(dir.file(name)), asTimeCourse);
    }
    static const char* timeStep(const gifti_image& image) { return gifti_get_meta_value(&image.meta, "TimeStep"); }
};

TEST_F(FreeSurferImport, OverlaysGiveOneArrayPerFrameInOrderAndTheirTrInMilliseconds) {
    // Two vertices, two frames: frame 0 holds 1 and -2, frame 1 300 and 4.
    host.integerAnswers = {4};
    GiftiImagePtr image = read("lh.two.mgh", mghOfShorts(), false);
    ASSERT_TRUE(image && image->numDA == 2);
    EXPECT_EQ(test::valuesOf<float>(*image->darray[0]), (std::vector<float>{1, -2}));
    EXPECT_EQ(test::valuesOf<float>(*image->darray[1]), (std::vector<float>{300, 4}));
    EXPECT_EQ(image->darray[1]->intent, NIFTI_INTENT_ZSCORE);
    EXPECT_STREQ(gifti_get_meta_value(&image->darray[1]->meta, "Name"), "lh.two frame 2");

    // As a time course: no intent, no question, the TR as TimeStep (2000 ms);
    // a TR below 100 ms goes as seconds, so that it is read back as 50 ms.
    host.questions.clear();
    image = read("lh.run.mgh", mghOfShorts(), true);
    ASSERT_TRUE(image);
    EXPECT_TRUE(host.questions.empty());
    EXPECT_EQ(image->darray[0]->intent, NIFTI_INTENT_NONE);
    EXPECT_STREQ(timeStep(*image), "2000");
    Bytes fast = mghOfShorts();
    fast.data.resize(fast.data.size() - 4);
    fast.f32(50.0f);
    image = read("lh.fast.mgh", fast, true);
    ASSERT_TRUE(image);
    EXPECT_STREQ(timeStep(*image), "0.05");
}

TEST_F(FreeSurferImport, AnAnnotationsVerticesOutsideItsTableFormThePatchOfUnknowns) {
    Bytes annotation;
    annotation.i32(3).i32(0).i32(10 + 20 * 256 + 30 * 65536).i32(1).i32(99).i32(2).i32(10 + 20 * 256 + 30 * 65536);
    annotation.i32(1).i32(-2).i32(5).counted("NOFILE").i32(2);
    annotation.i32(0).counted("unused").i32(1).i32(0).i32(0).i32(0);
    annotation.i32(4).counted("cuneus").i32(10).i32(20).i32(30).i32(0);
    const GiftiImagePtr image = read("lh.x.annot", annotation, false);
    ASSERT_TRUE(image);
    // Only the used entry, then "???" for the vertex whose value no entry has.
    EXPECT_EQ(test::valuesOf<std::int32_t>(*image->darray[0]), (std::vector<std::int32_t>{0, 1, 0}));
    ASSERT_EQ(image->labeltable.length, 2);
    EXPECT_STREQ(image->labeltable.label[0], "cuneus");
    EXPECT_STREQ(image->labeltable.label[1], "???");
    EXPECT_THAT(host.logText(), ::testing::HasSubstr("1 of the 3 vertices of " + dir.file("lh.x.annot") +
                                                     " carry a value that its colour table does not hold"));
}
