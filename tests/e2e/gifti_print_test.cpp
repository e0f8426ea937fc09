// "Print" of GIFTI files through the stand-in host, checked against what
// nibabel reads in the same files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/e2e/process.h"
#include "tests/support/temp_dir.h"

using ::testing::HasSubstr;
using namespace meshbridge::test;

namespace {

std::string referenceDump(const std::string& path, const std::string& shownName) {
    const ProcessResult reference = runProcess({kPython, testScript("gifti_reference.py"), path, shownName});
    EXPECT_EQ(reference.exitCode, 0) << reference.err;
    return reference.out;
}

class NibabelSamplePrint : public ::testing::TestWithParam<const char*> {};

}  // namespace

// base64bin.gii names its encoding with words that only nibabel accepts.
INSTANTIATE_TEST_SUITE_P(Samples, NibabelSamplePrint,
                         ::testing::Values("ascii.gii", "gzipbase64.gii", "external.gii", "label.gii",
                                           "rh.aparc.annot.gii", "rh.shape.curv.gii", "task.func.gii"),
                         [](const auto& info) {
                             std::string name = info.param;
                             for (char& c : name) if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

TEST_P(NibabelSamplePrint, LogsTheHeaderNibabelSees) {
    const std::string path = nibabelDataDir() + "/" + GetParam();
    const ProcessResult result = runMeshbridge({"print", path});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, commandPreamble("Print") + referenceDump(path, path) + "\n");
    EXPECT_THAT(result.err, HasSubstr("file dialog \"Please select the GIFTI file\" (*.gii): " + path));
}

TEST(GiftiPrint, ToFileWithoutLogWritesOnlyTheInfoFile) {
    TempDir dir;
    const std::string path = dir.file("lh.surf.gii");
    std::filesystem::copy_file(nibabelDataDir() + "/ascii.gii", path);
    const ProcessResult result = runMeshbridge({"print", "--no-log", "--to-file", path});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, commandPreamble("Print") + "Wrote the header info to disk.\n");
    EXPECT_EQ(readFile(dir.file("lh.surf_info.txt")), inTextMode(referenceDump(path, path)));
}

TEST(GiftiPrint, FilesThatAreNoGiftiSayWhatTheyAreInPrintAndImport) {
    TempDir dir;
    const ProcessResult made = runProcess(
        {kPython, "-c",
         "import nibabel, numpy, sys; v = nibabel.Nifti1Image(numpy.zeros((2, 2, 2), numpy.float32), numpy.eye(4)); "
         "nibabel.save(v, sys.argv[1] + '/v.nii'); nibabel.save(v, sys.argv[1] + '/v.nii.gz')",
         dir.path().string()});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    std::filesystem::rename(dir.file("v.nii"), dir.file("volume.gii"));
    std::filesystem::rename(dir.file("v.nii.gz"), dir.file("volume.gii.gz"));
    writeFile(dir.file("empty.gii"), "");
    writeFile(dir.file("areas.poi"), "FileVersion:  2\n");
    std::filesystem::copy_file(importedOctahedron(dir.path().string()), dir.file("lh.srf"));
    const std::pair<const char*, const char*> cases[] = {
        {"volume.gii", "it is a NIfTI-1 volume, not a "},  // GIFTI file (print), CIFTI file (import)
        {"volume.gii.gz", "it is a NIfTI-1 volume, gzip-compressed, not a GIFTI file."},
        {"empty.gii", "it is empty."},
        {"areas.poi", "it is a POI file, one of Corvana's own files: Import makes them from GIFTI files, and Export "
                      "turns them into GIFTI files."},
        {"lh.srf", "it is an SRF surface, one of Corvana's own files"},
    };
    for (const auto& [name, what] : cases) {
        for (const std::vector<std::string>& command :
             {std::vector<std::string>{"print", dir.file(name), "--type", "gii"},
              std::vector<std::string>{"import", dir.file(name), "--type", "srf"}}) {
            const ProcessResult result = runMeshbridge(command);
            EXPECT_EQ(result.exitCode, 1) << name;
            EXPECT_THAT(result.out, HasSubstr(dir.file(name))) << command[0] << " " << name;
            EXPECT_THAT(result.out, HasSubstr(what)) << command[0] << " " << name;
        }
    }
}
