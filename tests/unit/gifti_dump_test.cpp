#include "dump/gifti_dump.h"

#include <gtest/gtest.h>

#include "tests/support/gifti_xml.h"
#include "tests/support/host_test.h"

using namespace meshbridge;
using namespace meshbridge::test;

namespace {

const char* const kHeader = R"(<?xml version="1.0" encoding="UTF-8"?>
<GIFTI Version="1.0" NumberOfDataArrays="3">
<MetaData>
  <MD><Name><![CDATA[Subject]]></Name><Value><![CDATA[S1]]></Value></MD>
  <MD><Name><![CDATA[Note]]></Name><Value><![CDATA[100% sure]]></Value></MD>
</MetaData>
<LabelTable/>
)";

const char* const kArrays = R"(<DataArray Intent="NIFTI_INTENT_POINTSET" DataType="NIFTI_TYPE_FLOAT32"
  ArrayIndexingOrder="RowMajorOrder" Dimensionality="2" Dim0="2" Dim1="3" Encoding="ASCII"
  Endian="LittleEndian" ExternalFileName="" ExternalFileOffset="">
<MetaData>
  <MD><Name><![CDATA[AnatomicalStructurePrimary]]></Name><Value><![CDATA[CortexLeft]]></Value></MD>
</MetaData>
<CoordinateSystemTransformMatrix>
  <DataSpace><![CDATA[NIFTI_XFORM_TALAIRACH]]></DataSpace>
  <TransformedSpace><![CDATA[NIFTI_XFORM_MNI_152]]></TransformedSpace>
  <MatrixData>1 0 0 10 0 2 0 -20.5 0 0 3 0 0 0 0 1</MatrixData>
</CoordinateSystemTransformMatrix>
<Data>0 0 0 1 1 1</Data>
</DataArray>
<DataArray Intent="NIFTI_INTENT_TRIANGLE" DataType="NIFTI_TYPE_INT32"
  ArrayIndexingOrder="RowMajorOrder" Dimensionality="2" Dim0="1" Dim1="3" Encoding="ASCII"
  Endian="LittleEndian" ExternalFileName="" ExternalFileOffset="">
<MetaData/>
<Data>0 1 0</Data>
</DataArray>
<DataArray Intent="NIFTI_INTENT_SHAPE" DataType="NIFTI_TYPE_FLOAT32"
  ArrayIndexingOrder="ColumnMajorOrder" Dimensionality="4" Dim0="1" Dim1="2" Dim2="1" Dim3="2"
  Encoding="ASCII" Endian="BigEndian" ExternalFileName="" ExternalFileOffset="">
<MetaData>
  <MD><Name><![CDATA[Name]]></Name><Value><![CDATA[thickness]]></Value></MD>
  <MD><Name><![CDATA[Empty]]></Name><Value></Value></MD>
</MetaData>
<Data>1 2 3 4</Data>
</DataArray>
</GIFTI>
)";

std::string expectedDump(const std::string& path) {
    return "\nGIfTI filename: \n" + path + "\n" +
           "Number of MetaData tags: 2\n"
           "Number: 0\nName: Subject\nValue: S1\n"
           "Number: 1\nName: Note\nValue: 100% sure\n"
           "\nDataArray 1\nGIfTI intent: \nNIFTI_INTENT_POINTSET\n"
           "GIfTI data type: \nNIFTI_TYPE_FLOAT32\n"
           "ArrayIndexingOrder: 1\nDimensionality: 2\nDim0: 2\nDim1: 3\n"
           "Encoding: ASCII\nEndian: LittleEndian\n"
           "External file name: \nExternal file offset: 0\n"
           "Number of MetaData tags of DataArray: 1\n"
           "Number: 0\nName: AnatomicalStructurePrimary\nValue: CortexLeft\n"
           "Data space: NIFTI_XFORM_TALAIRACH\nXForm space: NIFTI_XFORM_MNI_152\nMatrix data:\n"
           "\t1.000000\t0.000000\t0.000000\t10.000000\n"
           "\t0.000000\t2.000000\t0.000000\t-20.500000\n"
           "\t0.000000\t0.000000\t3.000000\t0.000000\n"
           "\t0.000000\t0.000000\t0.000000\t1.000000\n"
           "\nDataArray 2\nGIfTI intent: \nNIFTI_INTENT_TRIANGLE\n"
           "GIfTI data type: \nNIFTI_TYPE_INT32\n"
           "ArrayIndexingOrder: 1\nDimensionality: 2\nDim0: 1\nDim1: 3\n"
           "Encoding: ASCII\nEndian: LittleEndian\n"
           "External file name: \nExternal file offset: 0\n"
           "Number of MetaData tags of DataArray: 0\n"
           "\nDataArray 3\nGIfTI intent: \nNIFTI_INTENT_SHAPE\n"
           "GIfTI data type: \nNIFTI_TYPE_FLOAT32\n"
           "ArrayIndexingOrder: 2\nDimensionality: 4\nDim0: 1\nDim1: 2\nDim2: 1\n"
           "Encoding: ASCII\nEndian: BigEndian\n"
           "External file name: \nExternal file offset: 0\n"
           "Number of MetaData tags of DataArray: 2\n"
           "Number: 0\nName: Name\nValue: thickness\n"
           "Number: 1\nName: Empty\nValue: \n";
}

}  // namespace

class GiftiPrint : public test::HostTest {};

TEST_F(GiftiPrint, DumpsHeaderMetadataArraysAndTransformLineByLine) {
    const std::string path = dir.file("sample.surf.gii");
    test::writeFile(path, std::string(kHeader) + kArrays);
    host.dialogAnswers = {path, path};
    EXPECT_TRUE(printGiftiFile(false, true));
    EXPECT_EQ(host.log, std::vector<std::string>{expectedDump(path)});
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"sample.surf.gii"});
    host.log.clear();
    EXPECT_TRUE(printGiftiFile(true, true));
    EXPECT_EQ(host.log, (std::vector<std::string>{"Wrote the header info to disk.", expectedDump(path)}));
    EXPECT_EQ(test::readFile(dir.file("sample.surf_info.txt")), expectedDump(path));
}

TEST_F(GiftiPrint, UnreadableFileOrInfoFileIsAFailureNamedInTheLog) {
    const std::string path = dir.file("broken.gii");
    test::writeFile(path, "<GIFTI><DataArray");
    host.dialogAnswers = {path, dir.file("sample.surf.gii")};
    EXPECT_FALSE(printGiftiFile(false, true));
    // The parser's reason follows, as gifticlib's messages go only to standard error.
    EXPECT_EQ(host.log, (std::vector<std::string>{"Reading of GIfTI file did not succeed: " + path,
                                                  path + ": unclosed token at line 1."}));

    // A folder in the info file's place cannot be replaced by a file.
    test::writeFile(dir.file("sample.surf.gii"), std::string(kHeader) + kArrays);
    std::filesystem::create_directory(dir.file("sample.surf_info.txt"));
    host.log.clear();
    EXPECT_FALSE(printGiftiFile(true, true));
    EXPECT_EQ(host.log, (std::vector<std::string>{"Error while printing GIfTI header data to ascii",
                                                  "Could not write " + dir.file("sample.surf_info.txt") +
                                                      ": Is a directory."}));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"broken.gii", "sample.surf.gii", "sample.surf_info.txt"}));
}

TEST_F(GiftiPrint, LongDumpsArePrintedWhole) {
    std::string metadata, last;
    for (int i = 0; i < 300; ++i) {
        const std::string value = std::string(40, 'v') + std::to_string(i);
        metadata += md("key" + std::to_string(i), value);
        last = "Number: " + std::to_string(i) + "\nName: key" + std::to_string(i) + "\nValue: " + value + "\n";
    }
    test::writeFile(dir.file("many.gii"), gifti({}, "<LabelTable/>", metadata));
    host.dialogAnswers.push_back(dir.file("many.gii"));
    EXPECT_TRUE(printGiftiFile(false, true));
    ASSERT_EQ(host.log.size(), 1u);
    EXPECT_GT(host.log[0].size(), 15000u);
    EXPECT_TRUE(host.log[0].ends_with(last));
}
