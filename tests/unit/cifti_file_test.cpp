#include "formats/cifti_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>

#include "common/binary_io.h"
#include "formats/mtc_file.h"
#include "formats/smp_file.h"
#include "import/cifti_import.h"
#include "tests/support/host_test.h"
#include "tests/support/temp_dir.h"

using ::testing::HasSubstr;
using namespace meshbridge;

namespace {

const char* kScalars =
    "    <MatrixIndicesMap AppliesToMatrixDimension=\"0\" IndicesMapToDataType=\"CIFTI_INDEX_TYPE_SCALARS\">\n"
    "      <NamedMap><MapName>first</MapName></NamedMap>\n"
    "      <NamedMap><MetaData/><MapName>z &amp; more</MapName></NamedMap>\n"
    "    </MatrixIndicesMap>\n";

// The XML of a file whose rows are `rows` and whose brainordinates are `models`.
std::string xmlOf(const std::string& rows, const std::string& models, const char* version = "2") {
    return std::string("<?xml version=\"1.0\"?>\n<CIFTI Version=\"") + version + "\">\n<Matrix>\n" + rows +
           "<MatrixIndicesMap AppliesToMatrixDimension=\"1\" IndicesMapToDataType=\"CIFTI_INDEX_TYPE_BRAIN_MODELS\">\n" +
           models + "</MatrixIndicesMap>\n</Matrix>\n</CIFTI>\n";
}

std::string surfaceModel(const char* structure, int offset, int count, int vertices, const char* indices) {
    return "<BrainModel IndexOffset=\"" + std::to_string(offset) + "\" IndexCount=\"" + std::to_string(count) +
           "\" ModelType=\"CIFTI_MODEL_TYPE_SURFACE\" BrainStructure=\"CIFTI_STRUCTURE_" + structure +
           "\" SurfaceNumberOfVertices=\"" + std::to_string(vertices) + "\"><VertexIndices>" + indices +
           "</VertexIndices></BrainModel>\n";
}

// Left: vertices 4, 0 and 2 of 5; then two voxels of the thalamus.
const std::string kModels = surfaceModel("CORTEX_LEFT", 0, 3, 5, "4 0\n2") +
                            "<BrainModel IndexOffset=\"3\" IndexCount=\"2\" ModelType=\"CIFTI_MODEL_TYPE_VOXELS\" "
                            "BrainStructure=\"CIFTI_STRUCTURE_THALAMUS_LEFT\"><VoxelIndicesIJK>1 1 1 1 2 1"
                            "</VoxelIndicesIJK></BrainModel>\n";

// A dense scalar file of 2 maps by 5 brainordinates: value 10 * b + map.
std::string scalarFile(const std::string& xml = xmlOf(kScalars, kModels)) {
    const std::vector<unsigned char> header = ciftiHeaderBytes(CiftiKind::Scalars, 2, 5, xml);
    std::string bytes(header.begin(), header.end());
    for (int b = 0; b < 5; ++b)
        for (int m = 0; m < 2; ++m) {
            const float value = static_cast<float>(10 * b + m);
            bytes.append(reinterpret_cast<const char*>(&value), 4);
        }
    return bytes;
}

// A dense file's bytes whose value of brainordinate b (from 0) and row r is
// 100 * (b + 1) + r.
std::string numberedFile(CiftiKind kind, int rows, int brainordinates, const std::string& xml) {
    const std::vector<unsigned char> header = ciftiHeaderBytes(kind, rows, brainordinates, xml);
    std::string bytes(header.begin(), header.end());
    for (int b = 0; b < brainordinates; ++b)
        for (int r = 0; r < rows; ++r) {
            const float value = static_cast<float>(100 * (b + 1) + r);
            bytes.append(reinterpret_cast<const char*>(&value), 4);
        }
    return bytes;
}

template <class T>
void patch(std::string& bytes, std::size_t at, T value) {
    std::memcpy(bytes.data() + at, &value, sizeof(T));
}

struct Read {
    bool ok;
    CiftiHeader header;
    std::string problem;
};

Read readBytes(const test::TempDir& dir, const std::string& bytes) {
    test::writeFile(dir.file("x.dscalar.nii"), bytes);
    FilePtr file = openFile(dir.file("x.dscalar.nii"), "rb");
    Read read{};
    read.ok = readCiftiHeader(file.get(), bytes.size(), read.header, read.problem);
    return read;
}

}  // namespace

TEST(CiftiFile, ReadsTheHeaderXmlAndMatrixOfADenseScalarFile) {
    test::TempDir dir;
    const Read read = readBytes(dir, scalarFile());
    ASSERT_TRUE(read.ok) << read.problem;
    const CiftiHeader& h = read.header;
    EXPECT_EQ(h.kind, CiftiKind::Scalars);
    EXPECT_EQ(h.rows, 2);
    EXPECT_EQ(h.brainordinates, 5);
    EXPECT_THAT(h.mapNames, ::testing::ElementsAre("first", "z & more"));
    ASSERT_EQ(h.models.size(), 2u);
    EXPECT_EQ(h.models[0].structure, "CORTEX_LEFT");
    EXPECT_TRUE(h.models[0].surface);
    EXPECT_EQ(h.models[0].surfaceVertices, 5);
    EXPECT_THAT(h.models[0].vertexIndices, ::testing::ElementsAre(4, 0, 2));
    EXPECT_FALSE(h.models[1].surface);
    EXPECT_EQ(h.models[1].indexOffset, 3);
    // The extension is padded to 16 bytes; the matrix follows it.
    EXPECT_EQ(h.matrixOffset % 16, 0);
    FilePtr file = openFile(dir.file("x.dscalar.nii"), "rb");
    std::vector<float> values(4);
    std::string problem;
    ASSERT_TRUE(readCiftiValues(file.get(), h, 1, 2, values.data(), problem)) << problem;
    EXPECT_THAT(values, ::testing::ElementsAre(10.0f, 11.0f, 20.0f, 21.0f));
}

namespace {

// The vertex indices of one surface model of `count` brainordinates on a
// surface of `vertices`, read from `text` both with the list kept from the
// parser (one map) and given to it (two maps, one of whose names holds a
// reference).
std::vector<std::vector<std::int32_t>> vertexIndicesBothWays(const std::string& text, int count, int vertices) {
    const std::string models = surfaceModel("CORTEX_LEFT", 0, count, vertices, text.c_str());
    const std::string rows = "<MatrixIndicesMap AppliesToMatrixDimension=\"0\" "
                             "IndicesMapToDataType=\"CIFTI_INDEX_TYPE_SCALARS\"><NamedMap><MapName>m</MapName>"
                             "</NamedMap></MatrixIndicesMap>\n";
    std::vector<std::vector<std::int32_t>> read;
    for (const std::string& mapRows : {rows, std::string(kScalars)}) {
        const std::int64_t maps = mapRows == rows ? 1 : 2;
        const std::vector<unsigned char> header = ciftiHeaderBytes(CiftiKind::Scalars, maps, count, xmlOf(mapRows, models));
        std::string bytes(header.begin(), header.end());
        bytes.append(static_cast<std::size_t>(4 * maps * count), '\0');
        test::TempDir dir;
        const Read file = readBytes(dir, bytes);
        EXPECT_TRUE(file.ok) << file.problem;
        const auto& indices = file.ok ? file.header.models.at(0).vertexIndices : std::pmr::vector<std::int32_t>();
        read.emplace_back(indices.begin(), indices.end());
    }
    return read;
}

}  // namespace

TEST(CiftiFile, ReadsVertexIndicesOfEveryLengthAndSpacing) {
    // Numbers of one to thirteen characters, signs, leading zeros and every
    // kind of blank, the last at the very end of the text.
    const char* indices = "7 42\t+305\n0004096 65536 123456 1234567 12345678 99999999 -0 100000000 "
                          "0000000000013 5 \r\n 8";
    for (const std::vector<std::int32_t>& read : vertexIndicesBothWays(indices, 14, 100000001))
        EXPECT_THAT(read, ::testing::ElementsAre(7, 42, 305, 4096, 65536, 123456, 1234567, 12345678, 99999999, 0,
                                                 100000000, 13, 5, 8));
}

TEST(CiftiFile, ReadsLongListsOfEveryMixOfNumbersAndBlanks) {
    // 20 000 different vertices of up to eight digits, some with a plus sign
    // or leading zeros (up to ten characters), one to three blanks of every
    // kind between them.
    constexpr std::int32_t kVertices = 60000000;
    std::mt19937 random(7);
    std::set<std::int32_t> taken;
    std::vector<std::int32_t> expected;
    std::string text;
    while (expected.size() < 20000) {
        const int digits = 1 + static_cast<int>(random() % 8);
        std::int32_t vertex = static_cast<std::int32_t>(random() % 100000000);
        for (int d = digits; d < 8; ++d) vertex /= 10;
        if (vertex >= kVertices || !taken.insert(vertex).second) continue;
        expected.push_back(vertex);
        const unsigned form = random() % 16;
        text += (form == 0 ? "+" : form == 1 ? "00" : form == 2 ? "0" : "") + std::to_string(vertex);
        for (unsigned blanks = 1 + random() % 3 * (random() % 4 == 0); blanks > 0; --blanks) text += " \n\t\r"[random() % 4];
    }
    for (const std::vector<std::int32_t>& read : vertexIndicesBothWays(text, static_cast<int>(expected.size()), kVertices))
        EXPECT_TRUE(read == expected);
}

TEST(CiftiFile, ReadsRunsOfConsecutiveVerticesAcrossEveryNumberOfDigits) {
    // Runs that go on by one, across 9 to 10, 99 to 100 and so on up to
    // eight digits; after each a number that starts with the text the run
    // would have next (121 after 120: "1210"), leading zeros, and runs with
    // other blanks or more than one.
    std::vector<std::int32_t> expected;
    std::string text;
    const auto add = [&](std::int32_t vertex, const std::string& written, const char* blank) {
        expected.push_back(vertex);
        text += written + blank;
    };
    for (const auto& [first, last] : {std::pair{0, 120}, {995, 1005}, {9990, 10010}, {99995, 100004},
                                      {999990, 1000020}, {9999990, 10000005}}) {
        for (std::int32_t v = first; v <= last; ++v) add(v, std::to_string(v), " ");
        const std::int32_t follower = (last + 1) * 10;
        add(follower, std::to_string(follower), " ");
    }
    add(130, "0130", " ");
    add(131, "0131", " ");
    add(132, "132", "\n");
    add(133, "133", "  ");
    add(134, "+134", "\t");
    add(135, "135", " ");
    for (const std::vector<std::int32_t>& read :
         vertexIndicesBothWays(text, static_cast<int>(expected.size()), 200000000))
        EXPECT_TRUE(read == expected);
}

TEST(CiftiFile, ConvertsEveryIntegerAndRealTypeAndAppliesTheScale) {
    test::TempDir dir;
    std::string bytes = scalarFile();
    const std::size_t matrix = bytes.size() - 40;
    bytes.resize(matrix);
    // Ten int16 values (two a brainordinate), then a slope of 0.5 and an intercept of 3.
    for (std::int16_t v = -5; v < 5; ++v) bytes.append(reinterpret_cast<const char*>(&v), 2);
    bytes.append(20, '\0');  // the file keeps its length; the values take 20 bytes
    patch<std::int16_t>(bytes, 12, 4);
    patch<double>(bytes, 176, 0.5);
    patch<double>(bytes, 184, 3.0);
    Read read = readBytes(dir, bytes);
    ASSERT_TRUE(read.ok) << read.problem;
    FilePtr file = openFile(dir.file("x.dscalar.nii"), "rb");
    std::vector<float> values(10);
    std::string problem;
    ASSERT_TRUE(readCiftiValues(file.get(), read.header, 0, 5, values.data(), problem));
    EXPECT_THAT(values, ::testing::ElementsAre(0.5f, 1.0f, 1.5f, 2.0f, 2.5f, 3.0f, 3.5f, 4.0f, 4.5f, 5.0f));

    // Unsigned bytes, without a scale (slope 0 means none).
    bytes.resize(matrix);
    for (unsigned char v = 250; v != 4; ++v) bytes.push_back(static_cast<char>(v));
    bytes.append(30, '\0');
    patch<std::int16_t>(bytes, 12, 2);
    patch<double>(bytes, 176, 0.0);
    patch<double>(bytes, 184, 0.0);
    read = readBytes(dir, bytes);
    ASSERT_TRUE(read.ok) << read.problem;
    file = openFile(dir.file("x.dscalar.nii"), "rb");
    ASSERT_TRUE(readCiftiValues(file.get(), read.header, 3, 2, values.data(), problem));
    EXPECT_THAT(std::vector<float>(values.begin(), values.begin() + 4), ::testing::ElementsAre(0.0f, 1.0f, 2.0f, 3.0f));
}

TEST(CiftiFile, ReadsSeriesAndLabelMaps) {
    test::TempDir dir;
    const std::string series =
        "<MatrixIndicesMap AppliesToMatrixDimension=\"0\" IndicesMapToDataType=\"CIFTI_INDEX_TYPE_SERIES\" "
        "NumberOfSeriesPoints=\"2\" SeriesExponent=\"-3\" SeriesStart=\"0\" SeriesStep=\"720\" SeriesUnit=\"SECOND\"/>";
    Read read = readBytes(dir, scalarFile(xmlOf(series, kModels)));
    ASSERT_TRUE(read.ok) << read.problem;
    EXPECT_EQ(read.header.kind, CiftiKind::Series);
    EXPECT_DOUBLE_EQ(read.header.seriesStep, 0.72);
    EXPECT_EQ(read.header.seriesUnit, "SECOND");
    // A document without references has its index lists read apart from the
    // XML parser: the same indices as the parser gives (the scalar file above).
    ASSERT_EQ(read.header.models.size(), 2u);
    EXPECT_THAT(read.header.models[0].vertexIndices, ::testing::ElementsAre(4, 0, 2));
    // Lists of both kinds in any order: a vertex list after a voxel list.
    const std::string between = surfaceModel("CORTEX_LEFT", 0, 2, 5, "4 0") +
                                "<BrainModel IndexOffset=\"2\" IndexCount=\"2\" ModelType=\"CIFTI_MODEL_TYPE_VOXELS\" "
                                "BrainStructure=\"CIFTI_STRUCTURE_THALAMUS_LEFT\"><VoxelIndicesIJK>1 1 1 1 2 1"
                                "</VoxelIndicesIJK></BrainModel>\n" +
                                surfaceModel("CORTEX_RIGHT", 4, 1, 3, " +2 ");
    read = readBytes(dir, scalarFile(xmlOf(series, between)));
    ASSERT_TRUE(read.ok) << read.problem;
    ASSERT_EQ(read.header.models.size(), 3u);
    EXPECT_THAT(read.header.models[0].vertexIndices, ::testing::ElementsAre(4, 0));
    EXPECT_THAT(read.header.models[2].vertexIndices, ::testing::ElementsAre(2));

    const std::string labels =
        "<MatrixIndicesMap AppliesToMatrixDimension=\"0\" IndicesMapToDataType=\"CIFTI_INDEX_TYPE_LABELS\">"
        "<NamedMap><MapName>a</MapName><LabelTable><Label Key=\"0\" Red=\"1\" Green=\"1\" Blue=\"1\" Alpha=\"0\">???"
        "</Label><Label Key=\"7\" Red=\"0.5\" Green=\"0\" Blue=\"1\" Alpha=\"1\">V1 &lt;left&gt;</Label></LabelTable>"
        "</NamedMap><NamedMap><MapName>b</MapName><LabelTable/></NamedMap></MatrixIndicesMap>";
    read = readBytes(dir, scalarFile(xmlOf(labels, kModels)));
    ASSERT_TRUE(read.ok) << read.problem;
    EXPECT_EQ(read.header.kind, CiftiKind::Labels);
    ASSERT_EQ(read.header.labelTables.size(), 2u);
    ASSERT_EQ(read.header.labelTables[0].size(), 2u);
    const CiftiLabel& v1 = read.header.labelTables[0][1];
    EXPECT_EQ(v1.key, 7);
    EXPECT_EQ(v1.name, "V1 <left>");
    EXPECT_EQ(v1.rgba, (std::array<float, 4>{0.5f, 0.0f, 1.0f, 1.0f}));
    EXPECT_TRUE(read.header.labelTables[1].empty());
}

TEST(CiftiFile, RefusesDamagedAndForeignFilesWithTheirReason) {
    test::TempDir dir;
    const std::string good = scalarFile();
    const auto with = [&](auto change) {
        std::string bytes = good;
        change(bytes);
        return bytes;
    };
    const auto xml = [](const std::string& rows, const std::string& models) { return scalarFile(xmlOf(rows, models)); };
    std::string nifti1(352, '\0');
    patch<std::int32_t>(nifti1, 0, 348);
    std::memcpy(nifti1.data() + 344, "n+1", 4);
    std::string noExtension = good;
    noExtension[540] = '\0';
    std::string otherCode = good;
    patch<std::int32_t>(otherCode, 548, 4);

    const std::pair<std::string, const char*> cases[] = {
        {nifti1, "it is a NIfTI-1 volume, not a CIFTI file"},
        {std::string("\x1f\x8b\x08\x00", 4) + good, "it is gzip-compressed"},
        {good.substr(0, 300), "fewer than a NIfTI-2 header's 540"},
        {scalarFile(xmlOf(kScalars, kModels, "1.0")),
         "it is a CIFTI-1.0 file: only CIFTI-2 is read; convert it with wb_command -file-convert "
         "-cifti-version-convert"},
        {noExtension, "it has no header extensions, so no CIFTI XML: it is a NIfTI-2 volume"},
        {otherCode, "it has no CIFTI extension (code 32)"},
        {with([](std::string& b) { patch<std::int32_t>(b, 544, 1 << 30); }),
         "claims 1073741824 bytes, beyond the start of the matrix"},
        {xml(std::string(kScalars) + "<Broken a=1>", kModels), "its CIFTI XML is not well-formed: "},
        {with([](std::string& b) { patch<std::int16_t>(b, 12, 32); }), "its values are complex (datatype 32)"},
        {with([](std::string& b) { patch<std::int16_t>(b, 12, 128); }), "its values are colour (RGB)"},
        {with([](std::string& b) { patch<std::int64_t>(b, 168, 1 << 20); }), "(vox_offset), outside its"},
        {good.substr(0, good.size() - 4), "its matrix of 2 x 5 values of 4 bytes does not fit"},
        // A product of dims that would overflow 64 bits.
        {with([](std::string& b) { patch<std::int64_t>(b, 16 + 5 * 8, std::int64_t{1} << 62); }), "does not fit"},
        {with([](std::string& b) { patch<std::int64_t>(b, 16 + 2 * 8, 3); }), "are no CIFTI matrix"},
        {xml(kScalars, surfaceModel("CORTEX_LEFT", 0, 3, 5, "4 0 2") + surfaceModel("CORTEX_RIGHT", 4, 1, 5, "0")),
         "do not tile its 5 brainordinates: CORTEX_RIGHT starts at 4, where 3 was due"},
        {xml(kScalars, surfaceModel("CORTEX_LEFT", 0, 5, 5, "4 0 2 0 1")), "name the vertex 0 twice"},
        {xml(kScalars, surfaceModel("CORTEX_LEFT", 0, 3, 5, "4 0 2") + surfaceModel("CORTEX_LEFT", 3, 2, 5, "0 1")),
         "its brain models name the structure CORTEX_LEFT twice"},
        {xml(kScalars, surfaceModel("CORTEX_LEFT", 0, 5, 5, "4 0 2 -1 1")), "name the vertex -1, outside 0 to 4"},
        {xml(kScalars, surfaceModel("CORTEX_LEFT", 0, 5, 5, "4 0 2 5 1")), "name the vertex 5, outside 0 to 4"},
        {xml(kScalars, surfaceModel("CORTEX_LEFT", 0, 5, 5, "5 4 0 2 1")), "name the vertex 5, outside 0 to 4"},
        {xml(kScalars, surfaceModel("CORTEX_LEFT", 0, 5, 5, "1234567 4 0 2 1")),
         "name the vertex 1234567, outside 0 to 4"},
        // Runs that go on past the surface's last vertex.
        {xml(kScalars, surfaceModel("CORTEX_LEFT", 0, 9, 10, "5 6 7 8 9 10 11 12 13")),
         "name the vertex 10, outside 0 to 9"},
        {xml(kScalars, surfaceModel("CORTEX_LEFT", 0, 11, 15, "8 9 10 11 12 13 14 15 16 17 18")),
         "name the vertex 15, outside 0 to 14"},
        {xml(kScalars, surfaceModel("CORTEX_LEFT", 0, 5, 5, "4 0 2 99999999999999999999 1")),
         "name a vertex beyond 4"},
        {xml(kScalars, surfaceModel("CORTEX_LEFT", 0, 5, 5, "4 0 2 1x 3")), "hold something other than whole numbers"},
        {xml(kScalars, surfaceModel("CORTEX_LEFT", 0, 5, 5, "1x 3 0 2 4")), "hold something other than whole numbers"},
        {xml(kScalars, surfaceModel("CORTEX_LEFT", 0, 5, 5, "1 3 0 2 4;")), "hold something other than whole numbers"},
        {xml(kScalars, surfaceModel("CORTEX_LEFT", 0, 5, 5, "4 0 2 1")), "has 4 VertexIndices for its IndexCount of 5"},
        {xml(kScalars, surfaceModel("CORTEX_LEFT", 0, 5, 5, "4 0 2 1 3 2")), "hold more than its IndexCount of 5"},
        {xml(kScalars, surfaceModel("CORTEX_LEFT", 0, 5, 4, "0 1 2 3 4")), "has 5 brainordinates for a surface of 4"},
        {xml(kScalars, surfaceModel("CORTEX_LEFT", 0, 4, 5, "0 1 2 3")), "cover 4 brainordinates, its matrix has 5"},
        {xml("<MatrixIndicesMap AppliesToMatrixDimension=\"0\" IndicesMapToDataType=\"CIFTI_INDEX_TYPE_SCALARS\">"
             "<NamedMap><MapName>one</MapName></NamedMap></MatrixIndicesMap>",
             kModels),
         "it names 1 maps, its matrix has 2"},
        {xml("<MatrixIndicesMap AppliesToMatrixDimension=\"0\" IndicesMapToDataType=\"CIFTI_INDEX_TYPE_SERIES\" "
             "NumberOfSeriesPoints=\"3\" SeriesExponent=\"0\" SeriesStep=\"1\" SeriesUnit=\"SECOND\"/>",
             kModels),
         "its series has 3 points, its matrix 2 rows"},
        {xml("<MatrixIndicesMap AppliesToMatrixDimension=\"0\" IndicesMapToDataType=\"CIFTI_INDEX_TYPE_PARCELS\"/>",
             kModels),
         "it is a parcels file"},
        {xml("", kModels), "its dimensions hold nothing and BRAIN_MODELS"},
        // Elements nested where they do not belong are passed over.
        {xml(kScalars, "<BrainModel IndexOffset=\"0\" IndexCount=\"3\" ModelType=\"CIFTI_MODEL_TYPE_SURFACE\" "
                       "BrainStructure=\"CIFTI_STRUCTURE_CORTEX_LEFT\" SurfaceNumberOfVertices=\"5\"><VertexIndices>"
                       "4 0 2<Label Key=\"1\"></Label><MapName></MapName></VertexIndices></BrainModel>"),
         "its brain models cover 3 brainordinates, its matrix has 5"},
        // A MapName outside any NamedMap names no map.
        {xml("<MatrixIndicesMap AppliesToMatrixDimension=\"0\" IndicesMapToDataType=\"CIFTI_INDEX_TYPE_SCALARS\">"
             "<MapName>stray</MapName><NamedMap><MapName>one</MapName></NamedMap></MatrixIndicesMap>",
             kModels),
         "it names 1 maps, its matrix has 2"},
    };
    for (const auto& [bytes, expected] : cases) {
        const Read read = readBytes(dir, bytes);
        EXPECT_FALSE(read.ok) << expected;
        EXPECT_THAT(read.problem, HasSubstr(expected));
    }
}

class CiftiImport : public test::HostTest {};

TEST_F(CiftiImport, ASeriesGivesEachHemisphereItsVolumesWithZerosWhereTheFileHasNone) {
    // Left: vertices 1, 2 and 5 of 7 (ascending: written in place, with the
    // gaps and the end as zeros); right: 3, 0 and 4 (through memory).
    const std::string series =
        "<MatrixIndicesMap AppliesToMatrixDimension=\"0\" IndicesMapToDataType=\"CIFTI_INDEX_TYPE_SERIES\" "
        "NumberOfSeriesPoints=\"3\" SeriesExponent=\"0\" SeriesStep=\"1.5\" SeriesUnit=\"SECOND\"/>";
    const std::string models =
        surfaceModel("CORTEX_LEFT", 0, 3, 7, "1 2 5") + surfaceModel("CORTEX_RIGHT", 3, 3, 7, "3 0 4");
    // Brainordinate b's volume t: 100 * (b + 1) + t.
    test::writeFile(dir.file("run.dtseries.nii"), numberedFile(CiftiKind::Series, 3, 6, xmlOf(series, models)));
    ASSERT_TRUE(importCiftiFile(dir.file("run.dtseries.nii"), false, false));
    EXPECT_THAT(host.logText(), HasSubstr("TR 1500 ms from the series' step of 1.5 s.\n"));
    const auto volumes = [&](const char* name) {
        MtcData mtc;
        EXPECT_TRUE(readMtcFile(dir.file(name), mtc)) << name;
        EXPECT_EQ(std::tuple(mtc.nrOfVertices, mtc.nrOfVolumes, mtc.tr), std::tuple(7, 3, 1500.0f)) << name;
        return std::vector<float>(mtc.data.begin(), mtc.data.end());
    };
    EXPECT_EQ(volumes("run_LH.mtc"), (std::vector<float>{0, 100, 200, 0, 0, 300, 0,    // volume 0
                                                          0, 101, 201, 0, 0, 301, 0,    // volume 1
                                                          0, 102, 202, 0, 0, 302, 0}));  // volume 2
    EXPECT_EQ(volumes("run_RH.mtc"), (std::vector<float>{500, 0, 0, 400, 600, 0, 0,
                                                          501, 0, 0, 401, 601, 0, 0,
                                                          502, 0, 0, 402, 602, 0, 0}));
}

TEST_F(CiftiImport, MapsGiveEachStructureItsValuesWithZerosWhereTheFileHasNone) {
    // Left: vertices 1, 2 and 5 of 7 (ascending: the gaps and the end are
    // made 0 while the values are read); right: 3, 0, 4 to 7, then 1 of 9
    // (cleared first; four consecutive vertices among them); the cerebellum:
    // all 6 of its vertices, none four in a row, though vertex 2 has 4 and 5
    // two and three places on. Between them, so many
    // voxels that the XML passes 256 KB: the left's values lie where the XML
    // was read, the right's need more room than the left's, the cerebellum's
    // lie where the right's were.
    const int voxels = 24000;
    std::string ijk;
    for (int v = 0; v < voxels; ++v) ijk += "100 101 102\n";
    const std::string models =
        surfaceModel("CORTEX_LEFT", 0, 3, 7, "1 2 5") +
        "<BrainModel IndexOffset=\"3\" IndexCount=\"" + std::to_string(voxels) +
        "\" ModelType=\"CIFTI_MODEL_TYPE_VOXELS\" BrainStructure=\"CIFTI_STRUCTURE_THALAMUS_LEFT\"><VoxelIndicesIJK>" +
        ijk + "</VoxelIndicesIJK></BrainModel>\n" + surfaceModel("CORTEX_RIGHT", 3 + voxels, 7, 9, "3 0 4 5 6 7 1") +
        surfaceModel("CEREBELLUM", 10 + voxels, 6, 6, "2 0 4 5 1 3");
    const int brainordinates = 16 + voxels;
    const std::string xml = xmlOf(kScalars, models);
    ASSERT_GT(xml.size(), 256u << 10);
    // Brainordinate b's map m: 100 * (b + 1) + m.
    test::writeFile(dir.file("maps.dscalar.nii"), numberedFile(CiftiKind::Scalars, 2, brainordinates, xml));
    host.integerAnswers = {4};
    ASSERT_TRUE(importCiftiFile(dir.file("maps.dscalar.nii"), false, false)) << host.logText();
    const auto maps = [&](const char* name) {
        SmpData smp;
        EXPECT_TRUE(readSmpFile(dir.file(name), smp)) << name;
        std::vector<std::vector<float>> values;
        for (const SmpMap& map : smp.maps) values.emplace_back(map.data.begin(), map.data.end());
        return values;
    };
    const float r1 = 100 * (4 + voxels), r2 = r1 + 100, r3 = r2 + 100, r4 = r3 + 100, r5 = r4 + 100,
                r6 = r5 + 100, r7 = r6 + 100;  // the right's brainordinates
    const float c1 = r7 + 100, c2 = c1 + 100, c3 = c2 + 100, c4 = c3 + 100, c5 = c4 + 100, c6 = c5 + 100;
    EXPECT_EQ(maps("maps_LH.smp"), (std::vector<std::vector<float>>{{0, 100, 200, 0, 0, 300, 0},
                                                                     {0, 101, 201, 0, 0, 301, 0}}));
    EXPECT_EQ(maps("maps_RH.smp"),
              (std::vector<std::vector<float>>{{r2, r7, 0, r1, r3, r4, r5, r6, 0},
                                               {r2 + 1, r7 + 1, 0, r1 + 1, r3 + 1, r4 + 1, r5 + 1, r6 + 1, 0}}));
    EXPECT_EQ(maps("maps_CEREBELLUM.smp"),
              (std::vector<std::vector<float>>{{c2, c5, c1, c6, c3, c4},
                                               {c2 + 1, c5 + 1, c1 + 1, c6 + 1, c3 + 1, c4 + 1}}));
}

TEST_F(CiftiImport, FoldersAndFilesOfOtherKindsAreToldApartBeforeTheyAreRead) {
    std::filesystem::create_directory(dir.file("folder.dscalar.nii"));
    test::writeFile(dir.file("surface.dscalar.nii"), "\n<?xml version=\"1.0\"?><GIFTI/>");
    test::writeFile(dir.file("packed.dtseries.nii"), std::string("\x1f\x8b\x08\x00", 4) + scalarFile());
    const std::pair<const char*, const char*> cases[] = {
        {"folder.dscalar.nii", " is a folder, not a CIFTI file."},
        {"surface.dscalar.nii", " is not a CIFTI file: it holds XML text, as GIFTI files do."},
        {"packed.dtseries.nii", " is not a CIFTI file: it holds gzip-compressed data."},
    };
    for (const auto& [name, message] : cases) {
        host.log.clear();
        EXPECT_FALSE(importCiftiFile(dir.file(name), false, false)) << name;
        EXPECT_THAT(host.logText(), HasSubstr(dir.file(name) + message));
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 3);  // nothing written
}

TEST_F(CiftiImport, SixMapsOfFourConsecutiveVerticesTurnOverIntoTheirMaps) {
    // Four maps at a time and the two left, for vertices 0 to 3 (then 4 and
    // 6) on the left and 2 to 5 (after 7, before 0) on the right.
    std::string rows =
        "<MatrixIndicesMap AppliesToMatrixDimension=\"0\" IndicesMapToDataType=\"CIFTI_INDEX_TYPE_SCALARS\">";
    for (int m = 0; m < 6; ++m) rows += "<NamedMap><MapName>m" + std::to_string(m) + "</MapName></NamedMap>";
    rows += "</MatrixIndicesMap>\n";
    const std::string models = surfaceModel("CORTEX_LEFT", 0, 6, 8, "0 1 2 3 4 6") +
                               surfaceModel("CORTEX_RIGHT", 6, 6, 8, "7 2 3 4 5 0");
    // Brainordinate b's map m: 100 * (b + 1) + m.
    test::writeFile(dir.file("six.dscalar.nii"), numberedFile(CiftiKind::Scalars, 6, 12, xmlOf(rows, models)));
    host.integerAnswers = {4};
    ASSERT_TRUE(importCiftiFile(dir.file("six.dscalar.nii"), false, false)) << host.logText();
    // Each vertex's brainordinate (0: none).
    const std::pair<const char*, std::vector<int>> expected[] = {{"six_LH.smp", {1, 2, 3, 4, 5, 0, 6, 0}},
                                                                 {"six_RH.smp", {12, 0, 8, 9, 10, 11, 0, 7}}};
    for (const auto& [name, brainordinateOf] : expected) {
        SmpData smp;
        ASSERT_TRUE(readSmpFile(dir.file(name), smp)) << name;
        ASSERT_EQ(smp.maps.size(), 6u);
        for (int m = 0; m < 6; ++m)
            for (int v = 0; v < 8; ++v) {
                const int b = brainordinateOf[static_cast<std::size_t>(v)];
                EXPECT_EQ(smp.maps[static_cast<std::size_t>(m)].data[static_cast<std::size_t>(v)],
                          b == 0 ? 0.0f : static_cast<float>(100 * b + m))
                    << name << " map " << m << " vertex " << v;
            }
    }
}

TEST(CiftiRoom, MapsBelowTheVertexIndicesAndWhatDoesNotFitFromTheHeap) {
    CiftiRoom room;
    const char* xml = room.makeForXml(300 << 10);  // a large XML: one huge page
    const auto* start = reinterpret_cast<const unsigned char*>(xml);
    const auto within = [&](const void* at) {
        const auto* byte = static_cast<const unsigned char*>(at);
        return byte >= start && byte < start + (2 << 20);
    };
    std::pmr::vector<std::int32_t> left(1000, 7, &room);  // at the top
    ASSERT_TRUE(within(left.data()));
    EXPECT_EQ(reinterpret_cast<const unsigned char*>(left.data() + 1000), start + (2 << 20));
    std::pmr::vector<std::int32_t> beyond((2 << 20) / 4, 0, &room);  // more than is left above the XML
    EXPECT_FALSE(within(beyond.data()));
    const std::size_t below = ((2 << 20) - 4000) / sizeof(float);
    EXPECT_EQ(room.floats(below + 1), nullptr);
    ASSERT_EQ(room.floats(below), reinterpret_cast<const float*>(xml));
    std::fill_n(room.floats(below), below, 1.0f);
    EXPECT_EQ(left, std::pmr::vector<std::int32_t>(1000, 7));
    std::pmr::vector<std::int32_t> late(10, 1, &room);  // nothing left between the maps and the indices
    EXPECT_FALSE(within(late.data()));

    CiftiRoom small;
    small.makeForXml(1000);
    EXPECT_EQ(small.floats(251), nullptr);
    EXPECT_NE(small.floats(250), nullptr);
}
