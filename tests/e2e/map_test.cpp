// Surface maps both ways through the stand-in host.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "formats/smp_file.h"
#include "tests/e2e/process.h"
#include "tests/support/gifti_xml.h"
#include "tests/support/temp_dir.h"

using ::testing::HasSubstr;
using namespace meshbridge::test;

namespace {

const std::string kSixValues = "Dimensionality=\"1\" Dim0=\"6\"";

}  // namespace

TEST(MapRoundTrip, NibabelShapeFileTravelsToSmpAndBack) {
    TempDir dir;
    const std::string gii = dir.file("rh.curv.shape.gii");
    std::filesystem::copy_file(nibabelDataDir() + "/rh.shape.curv.gii", gii);
    ProcessResult result = runMeshbridgeOk({"import", gii, "--answer", "no", "--answer", "12"});
    EXPECT_THAT(result.err, HasSubstr("question \"GIFTI type is 'Shape' Is this a Cortical Thickness (Yes) or Curvature (No) "
        "map\": no (from --answer)"));
    EXPECT_THAT(result.out, HasSubstr("SMP saved as:\n" + dir.file("rh.curv.shape.smp") + "\n"));

    result = runMeshbridgeOk({"export", dir.file("rh.curv.shape.smp")});
    const ProcessResult check = runProcess(
        {kPython, "-c",
         "import nibabel, numpy, sys; a = nibabel.load(sys.argv[1]); b = nibabel.load(sys.argv[2]); "
         "d = b.darrays[0]; "
         "print(numpy.array_equal(a.darrays[0].data.ravel(), d.data), d.intent, d.datatype, dict(d.meta), "
         "b.meta['GIFTI plugin version'])",
         gii, dir.file("rh.curv.shape.func.gii")});
    EXPECT_EQ(check.out, "True 3 16 {'Name': 'rh.curv', 'intent_p1': '12'} 1.6\n") << check.err;
    EXPECT_EQ(workbenchComplaint(dir.file("rh.curv.shape.func.gii")), "");
}

TEST(MapRoundTrip, RetinotopyAndStatisticMapsKeepTheirIntentsAndValues) {
    TempDir dir;
    const std::string gii = dir.file("retino.gii");
    writeFile(gii, gifti({dataArray("NIFTI_INTENT_ZSCORE", "NIFTI_TYPE_FLOAT32", kSixValues, "0.5 -1 2.25 3 4 1e-07",
                                    md("Name", "contrast A")),
                          dataArray("NIFTI_INTENT_RETINOTOPY_POLAR", "NIFTI_TYPE_FLOAT32", kSixValues,
                                    "0 1.5707964 3.1415927 -1.5707964 0.1 6", md("Name", "polar")),
                          dataArray("NIFTI_INTENT_RETINOTOPY_ECCENTRICITY", "NIFTI_TYPE_FLOAT32", kSixValues,
                                    "1 2 3 4 5 6"),
                          dataArray("NIFTI_INTENT_FTEST", "NIFTI_TYPE_FLOAT32", kSixValues, "1 2 3 4 5 6",
                                    md("intent_p1", "3") + md("intent_p2", "40.8"))}));
    ProcessResult result = runMeshbridgeOk({"import", gii, "--dump"});
    EXPECT_THAT(result.out, HasSubstr("File version: 5\nNumber of vertices: 6\nNumber of maps: 4\n"));

    for (const std::string flag : {"--answer=1", "--binary"}) {
        result = runMeshbridgeOk({"export", dir.file("retino.smp"), flag});
        const std::string encoding = flag == "--binary" ? "GZipBase64Binary" : "ASCII";
        EXPECT_EQ(giftiArrays(dir.file("retino.func.gii")),
                  "image [('GIFTI plugin version', '1.6'), ('gifticlib-version', 'gifti library version 1.09, 28 June, "
                  "2010')]\n"
                  "NIFTI_INTENT_ZSCORE NIFTI_TYPE_FLOAT32 " + encoding + " [('Name', 'contrast A')] "
                  "0.5 -1.0 2.25 3.0 4.0 1.0000000116860974e-07\n"
                  "NIFTI_INTENT_RETINOTOPY_POLAR NIFTI_TYPE_FLOAT32 " + encoding + " [('Name', 'polar'), "
                  "('minLag', '0')] 0.0 1.5707963705062866 3.1415927410125732 -1.5707963705062866 "
                  "0.10000000149011612 6.0\n"
                  "NIFTI_INTENT_RETINOTOPY_ECCENTRICITY NIFTI_TYPE_FLOAT32 " + encoding + " [('Name', 'Unknown'), "
                  "('minLag', '0')] 1.0 2.0 3.0 4.0 5.0 6.0\n"
                  "NIFTI_INTENT_FTEST NIFTI_TYPE_FLOAT32 " + encoding + " [('Name', 'F-statistic'), "
                  "('intent_p1', '3'), ('intent_p2', '40')] 1.0 2.0 3.0 4.0 5.0 6.0\n");
    }
}

TEST(MapRoundTrip, OpenCreatesTheMapsInTheHost) {
    TempDir dir;
    importedOctahedron(dir.path().string());
    writeFile(dir.file("z.gii"),
              gifti({dataArray("NIFTI_INTENT_ZSCORE", "NIFTI_TYPE_FLOAT32", kSixValues, "1 2 3 4 5 6", md("Name", "z")),
                     dataArray("NIFTI_INTENT_TTEST", "NIFTI_TYPE_FLOAT32", kSixValues, "-1 -2 -3 -4 -5 -6")}));
    ProcessResult result = runMeshbridgeOk({"import", dir.file("z.gii"), "--open", "--surface", dir.file("oct.surf.srf"), "--answer", "20"});
    EXPECT_THAT(result.err, HasSubstr("meshbridge: the host's surface has 2 maps\n"
        "meshbridge: host map 1 \"z\": type 5, df 0/0, imported 1, values 1 2 3 4 ...\n"
        "meshbridge: host map 2 \"T-statistic\": type 1, df 20/0, imported 1, values -1 -2 -3 -4 ...\n"))
        << result.err;

    // The maps as the host holds them go out again.
    result = runMeshbridgeOk({"export", "--current", "--surface", dir.file("oct.surf.srf"), "--maps", dir.file("z.smp")});
    EXPECT_THAT(result.out, HasSubstr("SMP name: " + dir.file("z.smp")));
    EXPECT_THAT(result.out, HasSubstr("File version: 2\n"));
    EXPECT_THAT(result.out, HasSubstr("Map name: T-statistic\n"));
    const std::string exported = giftiArrays(dir.file("z.func.gii"));
    EXPECT_EQ(exported.substr(exported.find('\n') + 1),
              "NIFTI_INTENT_ZSCORE NIFTI_TYPE_FLOAT32 ASCII [('Name', 'z')] 1.0 2.0 3.0 4.0 5.0 6.0\n"
              "NIFTI_INTENT_TTEST NIFTI_TYPE_FLOAT32 ASCII [('Name', 'T-statistic'), ('intent_p1', '20')] "
              "-1.0 -2.0 -3.0 -4.0 -5.0 -6.0\n");

    // A surface of another size is refused, and the stand-in keeps no new map.
    writeFile(dir.file("five.func.gii"), gifti({dataArray("NIFTI_INTENT_ZSCORE", "NIFTI_TYPE_FLOAT32",
                                                          "Dimensionality=\"1\" Dim0=\"5\"", "1 2 3 4 5")}));
    result = runMeshbridge({"import", dir.file("five.func.gii"), "--open", "--surface", dir.file("oct.surf.srf")});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_THAT(result.err, HasSubstr("[message box] The number of vertices of the map is not equal to number of vertices in "
        "surface. Process terminated."));
    EXPECT_EQ(result.err.find("host map"), std::string::npos);
}

TEST(MapRoundTrip, NamesInAnyCodePageSurviveBothWays) {
    // UTF-8 in the GIFTI file, Windows-1252 in the SMP file, UTF-8 again in the
    // export; "]]>" (read from split CDATA sections, as earlier versions wrote
    // it) is written escaped, which every reader reads back.
    TempDir dir;
    const std::string gii = dir.file("names.gii");
    writeFile(gii, gifti({dataArray("NIFTI_INTENT_ZSCORE", "NIFTI_TYPE_FLOAT32", kSixValues, "1 2 3 4 5 6",
                                    md("Name", "Gr\xC3\xB6\xC3\x9F" "e")),
                          dataArray("NIFTI_INTENT_ZSCORE", "NIFTI_TYPE_FLOAT32", kSixValues, "1 2 3 4 5 6",
                                    "<MD><Name><![CDATA[Name]]></Name><Value><![CDATA[a]]]]><![CDATA[>b]]></Value></MD>")}));
    ProcessResult result = runMeshbridgeOk({"import", gii});
    const std::string smp = readFile(dir.file("names.smp"));
    const std::string windows1252 = std::string("Gr\xF6\xDF") + "e";
    EXPECT_THAT(smp, HasSubstr(windows1252 + '\0'));
    EXPECT_THAT(smp, HasSubstr(std::string("a]]>b") + '\0'));

    for (const std::string flag : {"--answer=1", "--binary"}) {
        result = runMeshbridgeOk({"export", dir.file("names.smp"), flag});
        const ProcessResult check = runProcess(
            {kPython, "-c",
             "import nibabel, sys; print([d.meta['Name'] for d in nibabel.load(sys.argv[1]).darrays] == "
             "['Gr\\u00f6\\u00dfe', 'a]]>b'])",
             dir.file("names.func.gii")});
        EXPECT_EQ(check.out, "True\n") << check.err << flag;
        EXPECT_THAT(readFile(dir.file("names.func.gii")), HasSubstr("<Value>a]]&gt;b</Value>"));
        EXPECT_EQ(runMeshbridge({"print", dir.file("names.func.gii")}).exitCode, 0);
        const ProcessResult tool = runProcess({"gifti_tool", "-infile", dir.file("names.func.gii"), "-gifti_test"});
        EXPECT_EQ(tool.exitCode, 0) << tool.out << tool.err;
        EXPECT_THAT(tool.out, HasSubstr("VALID")) << tool.err;
        EXPECT_EQ(workbenchComplaint(dir.file("names.func.gii")), "");
    }
}

TEST(MapRoundTrip, RetinotopyAsPlainArraysOpensInEveryReader) {
    TempDir dir;
    // A cross-correlation map of 6 vertices, 8 lags: value = lag * 1000 + r.
    meshbridge::SmpMap cross;
    cross.mapType = 3;
    cross.nrOfLags = 8;
    cross.df1 = 30;
    cross.name = "phase";
    cross.data = meshbridge::HugePageVector<float>{2000.75f, -0.5f, 5000.25f, 7000.5f, 1000.125f, 3000.0f};
    meshbridge::SmpData smp;
    smp.version = 5;
    smp.nrOfVertices = 6;
    smp.nrOfMaps = 1;
    smp.fileName = dir.file("retino.smp");
    smp.maps = {cross};
    ASSERT_TRUE(meshbridge::writeSmpFile(smp));
    runMeshbridgeOk({"export", dir.file("retino.smp"), "--answer", "2", "--retinotopy-as-real"});
    const ProcessResult check = runProcess(
        {kPython, "-c",
         "import nibabel, sys; i = nibabel.load(sys.argv[1]); "
         "print([(d.meta['Name'], d.data.tolist()) for d in i.darrays])",
         dir.file("retino.func.gii")});
    EXPECT_EQ(check.out, "[('phase polar angle (degrees)', [90.0, 0.0, 225.0, 315.0, 45.0, 135.0]), "
                         "('phase correlation r', [0.75, -0.5, 0.25, 0.5, 0.125, 0.0])]\n")
        << check.err;
    EXPECT_EQ(workbenchComplaint(dir.file("retino.func.gii")), "");
    const ProcessResult tool = runProcess({"gifti_tool", "-infile", dir.file("retino.func.gii"), "-gifti_test"});
    EXPECT_THAT(tool.out, HasSubstr("VALID")) << tool.err;
}
