// The build under test (MESHBRIDGE_E2E_COMMAND, such as the Windows build
// under an emulator) against this platform's build: the same commands on the
// same inputs write the same bytes, but for the line ends of text-mode files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "tests/e2e/process.h"
#include "tests/support/gifti_xml.h"
#include "tests/support/temp_dir.h"

using ::testing::HasSubstr;
using namespace meshbridge::test;

namespace {

// Inputs, by file name.
void writeInputs(const TempDir& dir) {
    std::filesystem::copy_file(MESHBRIDGE_SOURCE_DIR "/samples/octahedron.surf.gii", dir.file("oct.surf.gii"));
    std::filesystem::copy_file(nibabelDataDir() + "/rh.aparc.annot.gii", dir.file("aparc.gii"));
    std::filesystem::copy_file(nibabelDataDir() + "/rh.shape.curv.gii", dir.file("curv.gii"));
    const std::string six = "Dimensionality=\"1\" Dim0=\"6\"";
    writeFile(dir.file("z.gii"),
              gifti({dataArray("NIFTI_INTENT_ZSCORE", "NIFTI_TYPE_FLOAT32", six, "0.1 -2 3e-5 4 5.5 6", md("Name", "z")),
                     dataArray("NIFTI_INTENT_RETINOTOPY_POLAR", "NIFTI_TYPE_FLOAT32", six, "1 2 3 4 5 6")}));
    writeFile(dir.file("run.gii"),
              gifti({dataArray("NIFTI_INTENT_TIME_SERIES", "NIFTI_TYPE_FLOAT32", six, "1 2 3 4 5 6"),
                     dataArray("NIFTI_INTENT_TIME_SERIES", "NIFTI_TYPE_FLOAT32", six, "7 8 9 10 11 12")},
                    "<LabelTable/>", md("TimeStep", "2500")));
}

// Every command of the comparison, with file names relative to the folder.
const std::vector<std::vector<std::string>> kCommands = {
    {"import", "oct.surf.gii", "--dump"},
    {"export", "oct.surf.srf", "--colors"},
    {"print", "oct.surf.srf", "--to-file"},
    {"print", "oct.surf.surf.gii", "--to-file"},
    {"import", "curv.gii", "--answer", "yes"},
    {"export", "curv.smp", "--binary"},
    {"print", "curv.smp", "--to-file"},
    {"import", "z.gii", "--open", "--surface", "oct.surf.srf"},
    {"export", "z.smp"},
    {"import", "run.gii", "--surface", "oct.surf.srf"},
    {"export", "run.mtc"},
    {"print", "run.mtc", "--to-file"},
    {"import", "aparc.gii"},
    {"export", "aparc.poi"},
    {"print", "aparc.poi", "--to-file"},
};

}  // namespace

TEST(Platforms, WriteTheSameFiles) {
    const char* replacement = std::getenv("MESHBRIDGE_E2E_COMMAND");
    if (!replacement || !*replacement) GTEST_SKIP() << "no other build to compare (MESHBRIDGE_E2E_COMMAND)";
    TempDir native, other;
    writeInputs(native);
    writeInputs(other);
    for (const auto& command : kCommands) {
        const ProcessResult here = runNativeMeshbridge(command, native.path().string());
        const ProcessResult there = runMeshbridge(command, other.path().string());
        EXPECT_EQ(there.exitCode, here.exitCode) << command[0] << " " << command[1] << there.err;
        EXPECT_EQ(there.out, here.out) << command[0] << " " << command[1];
    }
    ASSERT_EQ(other.entries(), native.entries());
    for (const std::string& name : native.entries()) {
        const std::string expected = readFile(native.file(name));
        const std::string written = readFile(other.file(name));
        const bool textMode = name.ends_with(".poi") || name == "oct.surf_info.txt" || name == "oct.surf.surf_info.txt";
        EXPECT_EQ(written, textMode ? inTextMode(expected) : expected) << name;
        if (textMode && testingWindowsBuild()) {
            EXPECT_THAT(written, HasSubstr("\r\n")) << name;
        }
    }
}
