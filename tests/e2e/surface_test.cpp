// Surfaces both ways through the stand-in host, checked with nibabel,
// gifti_tool and wb_command, three GIFTI readers independent of the plug-in.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/e2e/process.h"
#include "tests/support/gifti_xml.h"
#include "tests/support/temp_dir.h"

using ::testing::HasSubstr;
using namespace meshbridge::test;

namespace {

void expectExportMatches(const std::string& original, const std::string& exported, const std::string& encoding,
                         const std::vector<std::string>& metadata = {}) {
    std::vector<std::string> command = {kPython, testScript("check_surface_export.py"), original, exported, encoding};
    command.insert(command.end(), metadata.begin(), metadata.end());
    // Readers look for external data files from the working folder.
    const std::string folder = std::filesystem::path(original).parent_path().string();
    const ProcessResult check = runProcess(command, folder);
    EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
    const ProcessResult tool = runProcess({"gifti_tool", "-compare_data", "-infiles", original, exported}, folder);
    EXPECT_EQ(tool.exitCode, 0) << tool.out << tool.err;
    EXPECT_EQ(workbenchComplaint(exported), "");
}

class NibabelSurface : public ::testing::TestWithParam<const char*> {};

}  // namespace

// external.gii keeps its data in external.dat beside it.
INSTANTIATE_TEST_SUITE_P(Samples, NibabelSurface, ::testing::Values("ascii.gii", "external.gii"),
                         [](const auto& info) { return std::string(info.param).substr(0, std::string(info.param).find('.')); });

TEST_P(NibabelSurface, TravelsToSrfAndBackUnchanged) {
    TempDir dir;
    const std::string gii = dir.file("lh.sample_LH.surf.gii");
    std::filesystem::copy_file(nibabelDataDir() + "/" + GetParam(), gii);
    std::filesystem::copy_file(nibabelDataDir() + "/external.dat", dir.file("external.dat"));

    ProcessResult result = runMeshbridgeOk({"import", gii, "--dump"});
    EXPECT_THAT(result.out, HasSubstr("SRF saved as:\n" + dir.file("lh.sample_LH.surf.srf") + "\n"));

    std::filesystem::rename(dir.file("lh.sample_LH.surf.srf"), dir.file("brain_LH_WM.srf"));
    result = runMeshbridgeOk({"export", dir.file("brain_LH_WM.srf")});
    expectExportMatches(gii, dir.file("brain_LH_WM.surf.gii"), "ASCII",
                        {"AnatomicalStructurePrimary=CortexLeft", "AnatomicalStructureSecondary=GrayWhite",
                         "GeometricType=Unknown", "TopologicalType=CLOSED"});

    result = runMeshbridgeOk({"export", "--binary", "--colors", "--current", "--surface", dir.file("brain_LH_WM.srf")});
    expectExportMatches(gii, dir.file("brain_LH_WM.surf.gii"), "GZipBase64Binary");
    EXPECT_EQ(workbenchComplaint(dir.file("brain_LH_WM.label.gii")), "");  // the two curvature colours
}

TEST(SurfaceRoundTrip, ColoursSurviveSrfToGiftiToSrf) {
    TempDir dir;
    std::filesystem::copy_file(MESHBRIDGE_SOURCE_DIR "/samples/octahedron.surf.gii", dir.file("oct.surf.gii"));
    // Colours whose bytes are not round decimals, and a transparent one (black).
    writeFile(dir.file("oct.colors.gii"),
              gifti({dataArray("NIFTI_INTENT_LABEL", "NIFTI_TYPE_INT32", "Dimensionality=\"1\" Dim0=\"6\"", "3 4 5 3 4 5")},
                    "<LabelTable><Label Key=\"3\" Red=\"0.498039216\" Green=\"0.00392156886\" Blue=\"1\" Alpha=\"1\">a</Label>"
                    "<Label Key=\"4\" Red=\"0.2\" Green=\"0.4\" Blue=\"0.6\" Alpha=\"1\">b</Label>"
                    "<Label Key=\"5\" Red=\"0\" Green=\"0\" Blue=\"0\" Alpha=\"0\">c</Label></LabelTable>"));

    ProcessResult result = runMeshbridgeOk({"import", dir.file("oct.surf.gii"), "--colors", dir.file("oct.colors.gii")});
    std::filesystem::rename(dir.file("oct.surf.srf"), dir.file("first.srf"));

    result = runMeshbridgeOk({"export", dir.file("first.srf"), "--colors"});
    // Every own colour is labelled "Unknown", and wb_command warns that it
    // merges labels of one name.
    EXPECT_EQ(workbenchComplaint(dir.file("first.label.gii"), true), "");
    result = runMeshbridgeOk({"import", dir.file("first.surf.gii"), "--colors", dir.file("first.label.gii")});
    EXPECT_EQ(readFile(dir.file("first.surf.srf")), readFile(dir.file("first.srf")));

    const std::string labels = giftiArrays(dir.file("first.label.gii"));
    EXPECT_EQ(labels.substr(labels.find("\nNIFTI")),
              "\nNIFTI_INTENT_LABEL NIFTI_TYPE_INT32 Base64Binary [] 8323583 3368601 0 8323583 3368601 0\n"
              "label 0 'Unknown' 0 0 0 255\nlabel 3368601 'Unknown' 51 102 153 255\nlabel 8323583 'Unknown' 127 1 255 255\n");
}

TEST(SurfaceRoundTrip, CompressedGiftiFilesAreRead) {
    // As nibabel writes ".gii.gz": the whole file gzip-compressed.
    TempDir dir;
    std::filesystem::copy_file(MESHBRIDGE_SOURCE_DIR "/samples/octahedron.surf.gii", dir.file("oct.surf.gii"));
    ASSERT_EQ(runProcess({"gzip", "-k", dir.file("oct.surf.gii")}).exitCode, 0);
    runMeshbridgeOk({"import", dir.file("oct.surf.gii")});
    runMeshbridgeOk({"import", dir.file("oct.surf.gii.gz")});
    EXPECT_EQ(readFile(dir.file("oct.surf.gii.srf")), readFile(dir.file("oct.surf.srf")));
    EXPECT_EQ(runMeshbridge({"print", dir.file("oct.surf.gii.gz")}).exitCode, 0);
}

TEST(SurfaceRoundTrip, BadInputsLeaveExistingFilesAlone) {
    TempDir dir;
    // This nibabel sample names its encoding with words gifticlib does not know: no data.
    std::filesystem::copy_file(nibabelDataDir() + "/base64bin.gii", dir.file("odd.surf.gii"));
    ProcessResult result = runMeshbridge({"import", dir.file("odd.surf.gii")});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_THAT(result.err, HasSubstr("[message box] The surface in " + dir.file("odd.surf.gii") +
        " cannot be imported: the NIFTI_INTENT_POINTSET array cannot be read: its data is "
        "missing or incomplete (DataArray[0]: its Encoding \"GIFTI_ENCODING_B64BIN\" is none of ASCII, "
        "Base64Binary, GZipBase64Binary and ExternalFileBinary)."));

    importedOctahedron(dir.path().string());
    const std::string srf = readFile(dir.file("oct.surf.srf"));
    // A truncated GIFTI file in place of a good one: the old SRF stays.
    const std::string gii = readFile(dir.file("oct.surf.gii"));
    writeFile(dir.file("oct.surf.gii"), gii.substr(0, gii.size() / 2));
    result = runMeshbridge({"import", dir.file("oct.surf.gii")});
    EXPECT_EQ(result.exitCode, 1);
    // The log says why, as the parser found it.
    EXPECT_THAT(result.out, HasSubstr("Reading of GIfTI file did not succeed: " + dir.file("oct.surf.gii") + "\n" +
                                      dir.file("oct.surf.gii") + ": unclosed CDATA section at line 35.\n"));
    EXPECT_EQ(readFile(dir.file("oct.surf.srf")), srf);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"oct.surf.gii", "oct.surf.srf", "odd.surf.gii"}));
}

TEST(DamagedGifti, FilesFoundByFuzzingAreHandledCleanly) {
    for (const auto& entry : std::filesystem::directory_iterator(MESHBRIDGE_SOURCE_DIR "/fuzz/regressions")) {
        TempDir dir;
        const std::string path = dir.file("damaged.gii");
        std::filesystem::copy_file(entry.path(), path);
        for (const std::vector<std::string>& command : {std::vector<std::string>{"import", path, "--type", "srf"},
                                                        std::vector<std::string>{"print", path}}) {
            // Refused or converted, but never a crash or undefined behaviour.
            const ProcessResult result = runMeshbridge(command);
            EXPECT_TRUE(result.exitCode == 0 || result.exitCode == 1) << entry.path() << " " << command[0];
            EXPECT_EQ(result.err.find("runtime error"), std::string::npos) << entry.path();
            EXPECT_EQ(result.err.find("Sanitizer"), std::string::npos) << entry.path();
        }
    }
}
