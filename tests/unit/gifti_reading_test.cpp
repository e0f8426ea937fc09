// Reading GIFTI files: what gifticlib and the reader around it refuse.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <tuple>

#include "common/gifti.h"
#include "tests/support/bytes.h"
#include "tests/support/describe.h"
#include "tests/support/gifti_xml.h"
#include "tests/support/host_test.h"

using namespace meshbridge;
using namespace meshbridge::test;

namespace {

std::string values(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += std::to_string(i) + " ";
    return text;
}

std::string shapeArray(int dim, const std::string& data, const std::string& order = "RowMajorOrder") {
    return dataArray("NIFTI_INTENT_SHAPE", "NIFTI_TYPE_FLOAT32", "Dimensionality=\"1\" Dim0=\"" + std::to_string(dim) + "\"",
                     data, "", order);
}

std::string externalArray(const std::string& fileName) {
    return "<DataArray Intent=\"NIFTI_INTENT_SHAPE\" DataType=\"NIFTI_TYPE_INT32\" ArrayIndexingOrder=\"RowMajorOrder\" "
           "Dimensionality=\"1\" Dim0=\"2\" Encoding=\"ExternalFileBinary\" Endian=\"LittleEndian\" "
           "ExternalFileName=\"" + fileName + "\" ExternalFileOffset=\"4\"><MetaData/><Data></Data></DataArray>\n";
}

}  // namespace

class GiftiReading : public test::HostTest {};

TEST_F(GiftiReading, DataMustDecodeToExactlyTheValuesOfItsDimensionsInRowOrColumnMajorOrder) {
    test::writeFile(dir.file("exact.gii"), gifti({shapeArray(3, "1.5 2 3")}));
    GiftiImagePtr image = readGiftiImage(dir.file("exact.gii"), true);
    ASSERT_TRUE(image);
    EXPECT_EQ(valuesOf<float>(*image->darray[0]), (std::vector<float>{1.5f, 2, 3}));

    // One value too many, right after the last, or far into a long array
    // (where the parser hands the text over in pieces): the data is dropped.
    for (const auto& [dim, data] : {std::pair{3, std::string("1 2 3 4")}, std::pair{3, std::string("1 2 3\n 4\n")},
                                    std::pair{200000, values(200001)}}) {
        test::writeFile(dir.file("surplus.gii"), gifti({shapeArray(dim, data)}));
        image = readGiftiImage(dir.file("surplus.gii"), true);
        ASSERT_TRUE(image) << dim;
        EXPECT_EQ(image->darray[0]->data, nullptr) << dim;
    }
    test::writeFile(dir.file("long.gii"), gifti({shapeArray(200000, values(200000) + "\n  ")}));
    image = readGiftiImage(dir.file("long.gii"), true);
    ASSERT_TRUE(image);
    const std::vector<float> read = valuesOf<float>(*image->darray[0]);
    EXPECT_TRUE(read.size() == 200000u && read.back() == 199999.0f);

    // Two floats, 1 and 2, in Base64; then a damaged character, a short text and bad GZip data.
    for (const auto& [encoding, data, kept] :
         {std::tuple{"Base64Binary", "AACAPwAAAEA=", true}, std::tuple{"Base64Binary", "AACAP!AAAEA=", false},
          std::tuple{"Base64Binary", "AACAPw==", false}, std::tuple{"GZipBase64Binary", "AACAPwAAAEA=", false}}) {
        std::string array = shapeArray(2, data);
        array.replace(array.find("\"ASCII\""), 7, std::string("\"") + encoding + "\"");
        test::writeFile(dir.file("coded.gii"), gifti({array}));
        const GiftiImagePtr image = readGiftiImage(dir.file("coded.gii"), true);
        ASSERT_TRUE(image) << data;
        EXPECT_EQ(image->darray[0]->data != nullptr, kept) << encoding << " " << data;
    }

    test::writeFile(dir.file("diagonal.gii"), gifti({shapeArray(3, "1 2 3", "DiagonalOrder")}));
    std::string problem;
    EXPECT_FALSE(readGiftiImage(dir.file("diagonal.gii"), true, &problem));
    EXPECT_EQ(problem, "data array 0 has the ArrayIndexingOrder 0, neither RowMajorOrder nor ColumnMajorOrder");
}

TEST_F(GiftiReading, ExternalDataOnlyFromTheFilesFolderOrBelowAndNestingNoDeeperThanTheStack) {
    std::filesystem::create_directories(dir.file("sub/data"));
    const std::string data = test::Bytes().i32(99).i32(7).i32(-8).str();
    test::writeFile(dir.file("sub/data/values.bin"), data);
    test::writeFile(dir.file("secret.bin"), data);

    // Inside the folder however it is named: relative, absolute, through "..".
    for (const std::string& name : {std::string("data/values.bin"), dir.file("sub/data/values.bin"),
                                    std::string("data/../data/values.bin")}) {
        test::writeFile(dir.file("sub/below.gii"), gifti({externalArray(name)}));
        const GiftiImagePtr image = readGiftiImage(dir.file("sub/below.gii"), true);
        ASSERT_TRUE(image) << name;
        EXPECT_EQ(valuesOf<std::int32_t>(*image->darray[0]), (std::vector<std::int32_t>{7, -8})) << name;
    }

    // Dimensions that end in 1, as inline data of the same shape.
    for (const char* dims : {"Dimensionality=\"2\" Dim0=\"2\" Dim1=\"1\"",
                             "Dimensionality=\"3\" Dim0=\"2\" Dim1=\"1\" Dim2=\"1\""}) {
        std::string array = externalArray("data/values.bin");
        const std::string oneDimension = "Dimensionality=\"1\" Dim0=\"2\"";
        array.replace(array.find(oneDimension), oneDimension.size(), dims);
        test::writeFile(dir.file("sub/column.gii"), gifti({array}));
        const GiftiImagePtr image = readGiftiImage(dir.file("sub/column.gii"), true);
        ASSERT_TRUE(image) << dims;
        EXPECT_EQ(valuesOf<std::int32_t>(*image->darray[0]), (std::vector<std::int32_t>{7, -8})) << dims;
    }

    // Outside it: a sibling folder whose name begins with the folder's, and a
    // link inside the folder that leads out.
    std::filesystem::create_directories(dir.file("sub-private"));
    test::writeFile(dir.file("sub-private/values.bin"), data);
    std::vector<std::string> outside = {"../secret.bin", "data/../../secret.bin", dir.file("secret.bin"), "/etc/passwd",
                                        "../sub-private/values.bin", dir.file("sub-private/values.bin")};
#ifndef _WIN32
    std::filesystem::create_symlink("../../secret.bin", dir.file("sub/data/link.bin"));
    outside.push_back("data/link.bin");
#endif
    for (const std::string& name : outside) {
        test::writeFile(dir.file("sub/outside.gii"), gifti({externalArray(name)}));
        std::string problem;
        EXPECT_FALSE(readGiftiImage(dir.file("sub/outside.gii"), true, &problem)) << name;
        EXPECT_EQ(problem, "data array 0 names the external file \"" + name +
                               "\", which is not in the GIFTI file's folder or below it");
    }

#ifndef _WIN32
    // A GIFTI folder reached through a link reads its own external data.
    std::filesystem::create_directory_symlink(dir.file("sub"), dir.file("linked"));
    test::writeFile(dir.file("sub/below.gii"), gifti({externalArray("data/values.bin")}));
    const GiftiImagePtr linked = readGiftiImage(dir.file("linked/below.gii"), true);
    ASSERT_TRUE(linked);
    EXPECT_EQ(valuesOf<std::int32_t>(*linked->darray[0]), (std::vector<std::int32_t>{7, -8}));
#endif

    // Unknown elements are skipped; the file is refused once they nest deeper
    // than the eleven levels the element stack holds.
    for (int depth : {9, 10, 11, 12, 40}) {
        std::string nested;
        for (int i = 0; i < depth; ++i) nested += "<Deep>";
        nested += "text";
        for (int i = 0; i < depth; ++i) nested += "</Deep>";
        test::writeFile(dir.file("nested.gii"), gifti({shapeArray(3, "1 2 3")}, "<LabelTable/>" + nested));
        EXPECT_EQ(readGiftiImage(dir.file("nested.gii"), true) != nullptr, depth <= 10) << depth;
    }
}


namespace {

// The values of the one array of a file holding `array`, or nothing when its
// data was dropped; `problem` gets why.
template <class T>
std::vector<T> readValues(const test::TempDir& dir, const std::string& array, std::string* problem = nullptr,
                          const std::string& metadata = "") {
    test::writeFile(dir.file("values.gii"), gifti({array}, "<LabelTable/>", metadata));
    const GiftiImagePtr image = readGiftiImage(dir.file("values.gii"), true);
    if (!image) return {};
    if (problem) *problem = arrayReadProblem(*image->darray[0]);
    return valuesOf<T>(*image->darray[0]);
}

std::string typedArray(const std::string& type, int dim, const std::string& data) {
    return dataArray("NIFTI_INTENT_SHAPE", type, "Dimensionality=\"1\" Dim0=\"" + std::to_string(dim) + "\"", data);
}

}  // namespace

TEST_F(GiftiReading, AsciiNumbersSplitBetweenPiecesOfTextKeepTheirPlaces) {
    // A character reference ends one piece of text and starts the next (the
    // parser's buffer ends do too: tests/e2e/foreign_files_test.cpp puts one
    // at every place within a number).
    EXPECT_EQ(readValues<float>(dir, shapeArray(3, "1.5 &#45;2.5 3.5")), (std::vector<float>{1.5f, -2.5f, 3.5f}));
    EXPECT_EQ(readValues<float>(dir, shapeArray(3, "1&#46;5 -2&#x35; 3")), (std::vector<float>{1.5f, -25.0f, 3.0f}));

    // Signs, nan and inf, tabs and CR LF, one or many numbers a line.
    const std::vector<float> special = readValues<float>(dir, shapeArray(6, "\r\n\t+3 -inf\tnan\r\n1e400 -0 Infinity\n"));
    ASSERT_EQ(special.size(), 6u);
    EXPECT_TRUE(special[0] == 3 && special[1] == -INFINITY && std::isnan(special[2]) && special[3] == INFINITY &&
                std::signbit(special[4]) && special[5] == INFINITY);
    EXPECT_EQ(readValues<double>(dir, typedArray("NIFTI_TYPE_FLOAT64", 2, "0.1 -1e-300")),
              (std::vector<double>{0.1, -1e-300}));
}

TEST_F(GiftiReading, LongDataTextsKeepTheirValuesAndTheParsersLineNumbers) {
    // 30 000 numbers a line each, in LF, CR LF and CR lines, shifted by up to
    // two blanks so that the file's 32 KB reads end at every place in a line
    // (between a CR and its LF too); one number is a character reference.
    // A mismatched tag after the array must be reported on its own line.
    constexpr int kCount = 30000;
    std::vector<std::int32_t> expected(kCount);
    for (int i = 0; i < kCount; ++i) expected[static_cast<std::size_t>(i)] = i % 7;
    for (const std::string lineEnd : {"\n", "\r\n", "\r"}) {
        for (const std::size_t shift : {0u, 1u, 2u}) {
            std::string data(shift, ' ');
            for (int i = 0; i < kCount; ++i) data += (i == 20000 ? "&#49;" : std::to_string(i % 7)) + lineEnd;
            EXPECT_EQ(readValues<std::int32_t>(dir, typedArray("NIFTI_TYPE_INT32", kCount, data)), expected)
                << shift << " " << lineEnd.size();

            std::string xml = gifti({typedArray("NIFTI_TYPE_INT32", kCount, data)});
            const std::size_t wrong = xml.rfind("</GIFTI>");
            xml.insert(wrong, "<Wrong></Bad>");
            test::writeFile(dir.file("wrong.gii"), xml);
            std::string why;
            EXPECT_FALSE(readGiftiImage(dir.file("wrong.gii"), true, &why));
            // After the header's 4 line ends, the numbers' and the array's own.
            const std::string line = "mismatched tag at line " + std::to_string(1 + 4 + kCount + 1) + ";";
            EXPECT_EQ(why.rfind(line, 0), 0u) << why << ", " << shift << " " << lineEnd.size();
        }
    }
    // A metadata value of 200 000 lines, in pieces of a line each from the
    // parser, and a label of one character: each read whole.
    std::string provenance;
    for (int i = 0; i < 200000; ++i) provenance += "step " + std::to_string(i) + "\n";
    test::writeFile(dir.file("long.gii"), gifti({typedArray("NIFTI_TYPE_INT32", 1, "0")},
                                                "<LabelTable><Label Key=\"0\">x</Label></LabelTable>",
                                                md("Provenance", provenance)));
    const GiftiImagePtr image = readGiftiImage(dir.file("long.gii"), true);
    ASSERT_TRUE(image);
    EXPECT_EQ(std::string(gifti_get_meta_value(&image->meta, "Provenance")), provenance);
    EXPECT_EQ(std::string(image->labeltable.label[0]), "x");

    // Data start tags with a ">" in an attribute, or a line end.
    for (const std::string tag : {"<Data note=\"a>b\">", "<Data\r\n>"}) {
        std::string array = typedArray("NIFTI_TYPE_INT32", 3, "1 2 3");
        array.replace(array.find("<Data>"), 6, tag);
        EXPECT_EQ(readValues<std::int32_t>(dir, array), (std::vector<std::int32_t>{1, 2, 3})) << tag;
    }
}

TEST_F(GiftiReading, AsciiNumbersOfEveryIntegerTypeAndWordsThatAreNoNumbers) {
    EXPECT_EQ(readValues<std::uint32_t>(dir, typedArray("NIFTI_TYPE_UINT32", 3, "4294967295 0 +7")),
              (std::vector<std::uint32_t>{4294967295u, 0, 7}));
    EXPECT_EQ(readValues<std::uint64_t>(dir, typedArray("NIFTI_TYPE_UINT64", 2, "18446744073709551615 1")),
              (std::vector<std::uint64_t>{18446744073709551615u, 1}));
    EXPECT_EQ(readValues<std::int8_t>(dir, typedArray("NIFTI_TYPE_INT8", 2, "-128 127")),
              (std::vector<std::int8_t>{-128, 127}));

    // A thousand one-digit labels take two bytes each: far less than their
    // binary size, and still a file that can hold them.
    std::string digits;
    for (int i = 0; i < 1000; ++i) digits += std::to_string(i % 10) + "\n";
    const std::vector<std::int32_t> labels = readValues<std::int32_t>(dir, typedArray("NIFTI_TYPE_INT32", 1000, digits));
    ASSERT_EQ(labels.size(), 1000u);
    EXPECT_LT(std::filesystem::file_size(dir.file("values.gii")), 4000u);
    EXPECT_EQ(labels[999], 9);

    // Words that are no number of the type lose the array its data, and say so.
    for (const auto& [type, data, why] :
         {std::tuple{"NIFTI_TYPE_INT8", "1 200", "DataArray[0]: \"200\" is not a whole number from -128 to 127"},
          std::tuple{"NIFTI_TYPE_UINT32", "1 -1", "DataArray[0]: \"-1\" is not a whole number from 0 to 4294967295"},
          std::tuple{"NIFTI_TYPE_UINT8", "-0 1", "DataArray[0]: \"-0\" is not a whole number from 0 to 255"},
          std::tuple{"NIFTI_TYPE_INT32", "1 2.5", "DataArray[0]: \"2.5\" is not a whole number from -2147483648 to "
                                                  "2147483647"},
          std::tuple{"NIFTI_TYPE_FLOAT32", "1.5x 2", "DataArray[0]: \"1.5x\" is not a number"},
          std::tuple{"NIFTI_TYPE_FLOAT32", "1 2 3", "DataArray[0]: holds more ASCII numbers than its dimensions give (2)"},
          std::tuple{"NIFTI_TYPE_FLOAT32", "1", "DataArray[0] holds 1 of its 2 ASCII numbers"}}) {
        std::string problem;
        EXPECT_TRUE(readValues<float>(dir, typedArray(type, 2, data), &problem).empty()) << data;
        EXPECT_EQ(problem, why) << data;
    }
}

TEST_F(GiftiReading, Base64WithLineBreaksCdataDataMatricesAndLabelsWithoutColour) {
    // Floats 1 and 2 in Base64 lines, as MIME-style writers and re-indented XML give;
    // lines of lengths that are no multiple of four leave characters for the next.
    for (const std::string data : {"AACA\nPwAA\nAEA=", "AACAPwAA\r\nAEA=\r\n", "\n    AACAPwAAAEA=\n  ", "AAC APw\tAAAEA=",
                                   "AAC\nAPwA\r\nA AEA="}) {
        std::string array = shapeArray(2, data);
        array.replace(array.find("\"ASCII\""), 7, "\"Base64Binary\"");
        EXPECT_EQ(readValues<float>(dir, array), (std::vector<float>{1, 2})) << data;
    }
    std::string damaged = shapeArray(2, "AACAP*AAAEA=");
    damaged.replace(damaged.find("\"ASCII\""), 7, "\"Base64Binary\"");
    std::string problem;
    EXPECT_TRUE(readValues<float>(dir, damaged, &problem).empty());
    EXPECT_EQ(problem, "1 bad base64 chars found in DataArray[0]");

    // An encoding that is none of the four is named; a coordinate system's
    // warning of the same array is not taken for the reason.
    std::string unknown = shapeArray(2, "AACAPwAAAEA=");
    unknown.replace(unknown.find("\"ASCII\""), 7, "\"GIFTI_ENCODING_B64BIN\"");
    unknown.replace(unknown.find("<Data>"), 0,
                    "<CoordinateSystemTransformMatrix><DataSpace>NIFTI_XFORM_UNKNOWN</DataSpace><TransformedSpace>"
                    "NIFTI_XFORM_TALAIRACH</TransformedSpace><MatrixData>1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1</MatrixData>"
                    "</CoordinateSystemTransformMatrix>");
    EXPECT_TRUE(readValues<float>(dir, unknown, &problem).empty());
    EXPECT_EQ(problem, "DataArray[0]: its Encoding \"GIFTI_ENCODING_B64BIN\" is none of ASCII, Base64Binary, "
                       "GZipBase64Binary and ExternalFileBinary");
    EXPECT_FALSE(readGiftiImage(dir.file("missing.gii"), true, &problem));
    EXPECT_EQ(problem, std::strerror(ENOENT));  // "No such file or directory"

    // Padding only ends the data: an "=" before its end would read as zero bits and shift every later value.
    for (const auto& [data, why] :
         {std::pair{"AACAPwAAAEA=AAAA", "DataArray[0]: its Base64 data has '=' before its end, at character 12"},
          std::pair{"AACAP=AA\nAEA=", "DataArray[0]: its Base64 data has '=' before its end, at character 6"},
          std::pair{"AACAPwAAAE==", "DataArray[0]: its Base64 data has '=' before its end, at character 11"}}) {
        std::string padded = shapeArray(2, data);
        padded.replace(padded.find("\"ASCII\""), 7, "\"Base64Binary\"");
        EXPECT_TRUE(readValues<float>(dir, padded, &problem).empty()) << data;
        EXPECT_EQ(problem, why) << data;
    }
    std::string threeBytes = dataArray("NIFTI_INTENT_LABEL", "NIFTI_TYPE_UINT8", "Dimensionality=\"1\" Dim0=\"4\"", "AQIDBA==");
    threeBytes.replace(threeBytes.find("\"ASCII\""), 7, "\"Base64Binary\"");
    EXPECT_EQ(readValues<std::uint8_t>(dir, threeBytes), (std::vector<std::uint8_t>{1, 2, 3, 4}));

    EXPECT_EQ(readValues<float>(dir, shapeArray(3, "<![CDATA[1 2]]> 3")), (std::vector<float>{1, 2, 3}));

    // The matrix's numbers read whole across a character reference.
    std::string placed = dataArray("NIFTI_INTENT_POINTSET", "NIFTI_TYPE_FLOAT32",
                                   "Dimensionality=\"2\" Dim0=\"1\" Dim1=\"3\"", "1 2 3");
    placed.replace(placed.find("<Data>"), 0,
                   "<CoordinateSystemTransformMatrix><DataSpace>NIFTI_XFORM_UNKNOWN</DataSpace><TransformedSpace>"
                   "NIFTI_XFORM_TALAIRACH</TransformedSpace><MatrixData>1 0 0 &#45;12.5 0 1 0 0 0 0 1 0 0 0 0 1"
                   "</MatrixData></CoordinateSystemTransformMatrix>");
    test::writeFile(dir.file("matrix.gii"), gifti({placed}));
    GiftiImagePtr image = readGiftiImage(dir.file("matrix.gii"), true);
    ASSERT_TRUE(image && image->darray[0]->numCS == 1);
    EXPECT_EQ(image->darray[0]->coordsys[0]->xform[0][3], -12.5);
    EXPECT_EQ(image->darray[0]->coordsys[0]->xform[3][3], 1.0);
    placed.replace(placed.find(" 0 0 0 1</MatrixData>"), 6, "");
    test::writeFile(dir.file("matrix.gii"), gifti({placed}));
    std::string why;
    EXPECT_FALSE(readGiftiImage(dir.file("matrix.gii"), true, &why));
    EXPECT_EQ(why, "MatrixData of DataArray[0] holds 13 of its 16 numbers");

    // A first label without a colour: the later labels keep theirs.
    test::writeFile(dir.file("labels.gii"),
                    gifti({typedArray("NIFTI_TYPE_INT32", 2, "0 1")},
                          "<LabelTable><Label Key=\"0\"><![CDATA[none]]></Label><Label Key=\"1\" Red=\"1\" Green=\"0.5\" "
                          "Blue=\"0\" Alpha=\"1\"><![CDATA[red]]></Label></LabelTable>"));
    image = readGiftiImage(dir.file("labels.gii"), true);
    ASSERT_TRUE(image && image->labeltable.rgba);
    EXPECT_EQ(std::vector<float>(image->labeltable.rgba, image->labeltable.rgba + 8),
              (std::vector<float>{0, 0, 0, 0, 1, 0.5f, 0, 1}));
}
