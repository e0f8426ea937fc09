// The stand-in host's command line and the plug-in's shell, end to end.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>

#include "tests/e2e/process.h"
#include "tests/support/temp_dir.h"

using ::testing::HasSubstr;
using namespace meshbridge::test;

TEST(StandinHost, VersionAndHelpExitWithZeroUsageErrorsWithTwo) {
    const ProcessResult version = runMeshbridge({"--version"});
    EXPECT_EQ(version.exitCode, 0) << version.err;
    EXPECT_EQ(version.out.substr(0, version.out.find('\n')), "Meshbridge (v1.6)");
    EXPECT_EQ(runMeshbridge({"--help"}).exitCode, 0);

    const std::vector<std::vector<std::string>> misuses = {
        {},
        {"frobnicate"},
        {"print"},
        {"print", "a.gii", "b.gii"},
        {"print", "notes.txt"},
        {"print", "a.gii", "--param", "Command=Print"},
        {"run", "--host-version", "2.x"},
        {"print", "a.gii", "--plugin", "/no/such/library.so"},
        {"import", "/tmp/" + std::string(247, 'x') + ".gii"},  // 256 bytes: more than a host path holds
        {"export", "--current", "--maps", std::string(300, 'm') + ".smp"},
        {"export", "maps.smp", "--cifti", "--freesurfer"},  // one format at a time
    };
    for (const auto& arguments : misuses) {
        const ProcessResult result = runMeshbridge(arguments);
        std::string shown;
        for (const auto& a : arguments) shown += a + " ";
        EXPECT_EQ(result.exitCode, 2) << shown;
        EXPECT_THAT(result.err, HasSubstr("meshbridge: ")) << shown;
        EXPECT_EQ(result.out, "") << shown;
    }
    EXPECT_THAT(runMeshbridge({"-x"}).err, HasSubstr("meshbridge: unknown option -x "));

    // A copy of the program without its plug-in names every place it looked.
    if (!testingWindowsBuild()) {
        TempDir dir;
        std::filesystem::create_directories(dir.file("bin"));
        std::filesystem::copy_file(MESHBRIDGE_BINARY_DIR "/meshbridge", dir.file("bin/meshbridge"));
        const ProcessResult lost = runProcess({dir.file("bin/meshbridge"), "--version"});
        EXPECT_EQ(lost.exitCode, 2);
        EXPECT_THAT(lost.err, HasSubstr("\n  " + dir.file("bin/libmeshbridge_plugin.so") + "\n"));
        EXPECT_THAT(lost.err, HasSubstr("\n  " + dir.file("lib/meshbridge/libmeshbridge_plugin.so") + "\n"));
    }
}

TEST(StandinHost, TheManualPageNamesEveryOptionTheHelpNames) {
    const ProcessResult help = runNativeMeshbridge({"--help"});
    std::string page = readFile(MESHBRIDGE_SOURCE_DIR "/install/meshbridge.1");
    for (std::size_t at = page.find("\\-"); at != std::string::npos; at = page.find("\\-", at)) page.erase(at, 1);
    std::set<std::string> options;
    const std::regex option("--[a-z][a-z-]*");
    for (auto it = std::sregex_iterator(help.out.begin(), help.out.end(), option); it != std::sregex_iterator(); ++it)
        options.insert(it->str());
    EXPECT_GT(options.size(), 20u);
    for (const std::string& name : options) EXPECT_NE(page.find(name), std::string::npos) << name;
}

TEST(StandinHost, AnAnswerThatIsNoAnswerIsAUsageError) {
    TempDir dir;
    const ProcessResult made = runProcess(
        {kPython, "-c",
         "import nibabel, numpy, sys; i = nibabel.gifti.GiftiImage(); i.add_gifti_data_array(nibabel.gifti."
         "GiftiDataArray(numpy.ones(42, numpy.float32), intent='NIFTI_INTENT_SHAPE')); nibabel.save(i, sys.argv[1])",
         dir.file("lh.thickness.shape.gii")});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    ProcessResult result = runMeshbridge({"import", dir.file("lh.thickness.shape.gii"), "--answer", "maybe"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_THAT(result.err, HasSubstr("meshbridge: --answer maybe is no answer to the yes/no question \"GIFTI type is "
                                      "'Shape' Is this a Cortical Thickness (Yes) or Curvature (No) map\"\n"));
    EXPECT_FALSE(std::filesystem::exists(dir.file("lh.thickness.shape.smp")));
    // A curvature map's degrees of freedom are no question; an overlay's type is a whole number.
    writeFile(dir.file("x.mgh"), std::string("\0\0\0\x01\0\0\0\x02\0\0\0\x01\0\0\0\x01\0\0\0\x01\0\0\0\x03", 24) +
                                     std::string(284 - 24, '\0') + std::string(8, '\0'));
    result = runMeshbridge({"import", dir.file("x.mgh"), "--answer", "1.5"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_THAT(result.err, HasSubstr("meshbridge: --answer 1.5 is no answer to the whole-number question \"Which "
                                      "values does x.mgh hold?"));
    // Out of range: cancelled, and the range in whole numbers.
    result = runMeshbridge({"import", dir.file("x.mgh"), "--answer", "9"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_THAT(result.err, HasSubstr("'9' is outside 1 to 5, taken as cancelled (from --answer)"));
}

TEST(StandinHost, OldHostIsRefusedAndRunSendsAnyCommand) {
    ProcessResult result = runMeshbridge({"run", "--host-version", "2.9.4", "--param", "Command=Print"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.out, "Initialising plugin...\n");
    EXPECT_THAT(result.err, HasSubstr("[message box] Can not execute this plugin - Corvana version 20.0 or higher required."));
    result = runMeshbridge({"run", "--host-version", "2.9.5", "--param", "Command=Hello"});
    EXPECT_EQ(result.exitCode, 0) << result.err;

    result = runMeshbridge({"run", "--param", "Command=Frobnicate"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, commandPreamble("Frobnicate") + "Received unknown command: Frobnicate\n");

    result = runMeshbridge({"run", "--param=Command=Print", "--param", "FileTypeId=1"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_THAT(result.err, HasSubstr("file dialog \"Please select the GIFTI file\" (*.gii): cancelled"));
    EXPECT_THAT(result.err, HasSubstr("[message box] No GIFTI file was selected. Procedure finished."));
}

