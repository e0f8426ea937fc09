// Reading GIFTI files: what gifticlib and the reader around it refuse.
#include <gtest/gtest.h>

#include <cstring>
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

    test::writeFile(dir.file("sub/below.gii"), gifti({externalArray("data/values.bin")}));
    const GiftiImagePtr image = readGiftiImage(dir.file("sub/below.gii"), true);
    ASSERT_TRUE(image);
    EXPECT_EQ(valuesOf<std::int32_t>(*image->darray[0]), (std::vector<std::int32_t>{7, -8}));

    for (const std::string& name : {std::string("../secret.bin"), std::string("data/../../secret.bin"),
                                    dir.file("secret.bin"), std::string("/etc/passwd")}) {
        test::writeFile(dir.file("sub/outside.gii"), gifti({externalArray(name)}));
        std::string problem;
        EXPECT_FALSE(readGiftiImage(dir.file("sub/outside.gii"), true, &problem)) << name;
        EXPECT_EQ(problem, "data array 0 names the external file \"" + name +
                               "\", which is not in the GIFTI file's folder or below it");
    }

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

