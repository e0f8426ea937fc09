// CIFTI-2 dense files made by Workbench and by nibabel, imported into one
// file per hemisphere, compared with what Workbench's -cifti-separate gives.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/e2e/process.h"
#include "tests/support/temp_dir.h"

using ::testing::HasSubstr;
using namespace meshbridge::test;

namespace {

void makeCiftiFiles(const TempDir& dir) {
    const ProcessResult made = runProcess({kPython, testScript("cifti_files.py"), "make", dir.path().string()});
    ASSERT_EQ(made.exitCode, 0) << made.out << made.err;
}

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

}  // namespace

TEST(CiftiFiles, ImportIntoOneFilePerHemisphereAsWorkbenchSeparatesThem) {
    TempDir dir;
    makeCiftiFiles(dir);
    ProcessResult result = runMeshbridgeOk({"import", dir.file("wb.dscalar.nii"), "--answer", "4"});
    EXPECT_THAT(result.out, HasSubstr("CORTEX_LEFT: 550 of 642 vertices hold values; the other 92 (such as the "
                                      "medial wall) hold 0.\n"));
    EXPECT_THAT(result.out, HasSubstr("SMP saved as:\n" + dir.file("wb_LH.smp") + "\n"));
    EXPECT_THAT(result.out, HasSubstr("SMP saved as:\n" + dir.file("wb_RH.smp") + "\n"));
    EXPECT_THAT(result.out, HasSubstr("CIFTI dense scalar file successfully imported.\n"));
    result = runMeshbridgeOk({"import", dir.file("nib.dscalar.nii"), "--answer", "4"});
    EXPECT_THAT(result.out, HasSubstr("The 3 voxels of 1 subcortical structure in nib.dscalar.nii are left out.\n"));
    result = runMeshbridgeOk({"import", dir.file("wb.dtseries.nii")});
    EXPECT_THAT(result.out, HasSubstr("TR 720 ms from the series' step of 0.72 s.\n"));
    EXPECT_THAT(result.out, HasSubstr("MTC saved as:\n" + dir.file("wb_RH.mtc") + "\n"));
    runMeshbridgeOk({"import", dir.file("nibbig.dtseries.nii")});
    result = runMeshbridgeOk({"import", dir.file("wb.dlabel.nii")});
    EXPECT_THAT(result.out, HasSubstr("POI saved as:\n" + dir.file("wb_LH.poi") + "\n"));
    result = runMeshbridgeOk({"import", dir.file("nib2.dlabel.nii")});
    EXPECT_THAT(result.out, HasSubstr("POI saved as:\n" + dir.file("nib2_parcels_B_RH.poi") + "\n"));
    for (const char* maps : {"wb_LH.smp", "wb_RH.smp", "nib_LH.smp", "nib_RH.smp"})
        runMeshbridgeOk({"export", dir.file(maps)});
    const ProcessResult check = runProcess({kPython, testScript("cifti_files.py"), "check", dir.path().string()});
    EXPECT_EQ(check.exitCode, 0) << check.out << check.err;

    // And back: Workbench and nibabel read the exports with the same values, names, TR and labels.
    result = runMeshbridgeOk({"export", dir.file("wb_LH.smp"), "--cifti"});
    EXPECT_THAT(result.out, HasSubstr("Exported to CIFTI-2 format, name:\n " + dir.file("wb_LH.dscalar.nii") + "\n"));
    runMeshbridgeOk({"export", dir.file("wb_RH.mtc"), "--cifti"});
    runMeshbridgeOk({"export", dir.file("wb_LH.poi"), "--cifti"});
    for (const char* exported : {"wb_LH.dscalar.nii", "wb_RH.dtseries.nii", "wb_LH.dlabel.nii"})
        EXPECT_EQ(workbenchComplaint(dir.file(exported)), "") << exported;
    const ProcessResult back =
        runProcess({kPython, testScript("cifti_files.py"), "check-exports", dir.path().string()});
    EXPECT_EQ(back.exitCode, 0) << back.out << back.err;

    // Without a hemisphere in its name or a host surface, nothing tells the structure.
    std::filesystem::copy_file(dir.file("wb_LH.smp"), dir.file("maps.smp"));
    result = runMeshbridge({"export", dir.file("maps.smp"), "--cifti"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_THAT(result.out, HasSubstr("Export to CIFTI-2 did not succeed: CIFTI needs the surface's structure"));
    EXPECT_FALSE(std::filesystem::exists(dir.file("maps.dscalar.nii")));
}

TEST(CiftiFiles, AskTheMapTypeAndItsParametersOnceForBothHemispheres) {
    TempDir dir;
    makeCiftiFiles(dir);
    // t maps: the degrees of freedom are asked once, for the three maps of both hemispheres.
    const ProcessResult result =
        runMeshbridgeOk({"import", dir.file("wb.dscalar.nii"), "--answer", "1", "--answer", "27"});
    EXPECT_EQ(occurrences(result.err, "Which values does wb.dscalar.nii hold?"), 1u) << result.err;
    EXPECT_EQ(occurrences(result.err, "degrees of freedom"), 1u) << result.err;
    // Each map of the right hemisphere's file carries them.
    runMeshbridgeOk({"export", dir.file("wb_RH.smp")});
    const std::string exported = readFile(dir.file("wb_RH.func.gii"));
    EXPECT_EQ(occurrences(exported, "<Name><![CDATA[intent_p1]]></Name>\n            <Value><![CDATA[27]]></Value>"), 3u);
    EXPECT_EQ(occurrences(exported, "Intent=\"NIFTI_INTENT_TTEST\""), 3u);
}

TEST(CiftiFiles, DamagedAndForeignFilesAreRefusedWithTheirReasonAndNothingWritten) {
    TempDir dir;
    makeCiftiFiles(dir);
    std::string version1 = readFile(dir.file("wb.dscalar.nii"));
    version1.replace(version1.find("Version=\"2\""), 11, "Version=\"1\"");
    writeFile(dir.file("old.dscalar.nii"), version1);
    const std::string series = readFile(dir.file("wb.dtseries.nii"));
    writeFile(dir.file("cut.dtseries.nii"), series.substr(0, series.size() - 10));
    const ProcessResult made = runProcess(
        {kPython, "-c",
         "import nibabel, numpy, sys; nibabel.save(nibabel.Nifti1Image(numpy.zeros((4, 4, 4), numpy.float32), "
         "numpy.eye(4)), sys.argv[1])",
         dir.file("volume.dscalar.nii")});
    ASSERT_EQ(made.exitCode, 0) << made.err;

    const std::pair<const char*, const char*> cases[] = {
        {"old.dscalar.nii", "it is a CIFTI-1 file: only CIFTI-2 is read; convert it with wb_command -file-convert "
                            "-cifti-version-convert FILE 2 NEW_FILE."},
        {"cut.dtseries.nii", "its matrix of 6 x 1100 values of 4 bytes does not fit in the 26390 bytes after byte"},
        {"volume.dscalar.nii", "it is a NIfTI-1 volume, not a CIFTI file."},
    };
    for (const auto& [name, reason] : cases) {
        const ProcessResult result = runMeshbridge({"import", dir.file(name), "--answer", "4"});
        EXPECT_EQ(result.exitCode, 1) << name << "\n" << result.out << result.err;
        EXPECT_THAT(result.out, HasSubstr("The CIFTI file " + dir.file(name) + " cannot be imported: " + reason));
    }
    for (const char* written : {"old_LH.smp", "cut_LH.mtc", "cut_RH.mtc", "volume_LH.smp"})
        EXPECT_FALSE(std::filesystem::exists(dir.file(written))) << written;
}

TEST(BidsSidecars, AnFmriprepTimeSeriesWithoutATimeStepTakesItsTrFromItsSidecar) {
    TempDir dir;
    ASSERT_EQ(runProcess({kPython, testScript("make_sphere.py"), "2", dir.file("lh.surf.gii")}).exitCode, 0);
    runMeshbridgeOk({"import", dir.file("lh.surf.gii")});
    const std::string name = "sub-01_task-rest_hemi-L_space-fsaverage5_bold";
    // As fMRIPrep writes them: TimeStep 0; time-series arrays, or plain ones.
    for (const char* intent : {"NIFTI_INTENT_TIME_SERIES", "NIFTI_INTENT_NONE"}) {
        const std::string file = dir.file(name + (intent[13] == 'T' ? ".func.gii" : ".plain.gii"));
        const ProcessResult made = runProcess(
            {kPython, "-c",
             "import nibabel, numpy, sys; i = nibabel.gifti.GiftiImage(meta=nibabel.gifti.GiftiMetaData(TimeStep='0')); "
             "[i.add_gifti_data_array(nibabel.gifti.GiftiDataArray(numpy.full(162, t, numpy.float32), "
             "intent=sys.argv[2])) for t in range(4)]; nibabel.save(i, sys.argv[1])",
             file, intent});
        ASSERT_EQ(made.exitCode, 0) << made.err;
    }
    writeFile(dir.file(name + ".json"), "{\"RepetitionTime\": 2, \"SkullStripped\": false}\n");
    ProcessResult result = runMeshbridgeOk({"import", dir.file(name + ".func.gii"), "--surface", dir.file("lh.surf.srf")});
    EXPECT_THAT(result.out, HasSubstr("TR 2000 ms from RepetitionTime 2 in " + name + ".json.\n"));
    // As a time course of plain arrays, the TR is not asked for.
    result = runMeshbridgeOk(
        {"import", dir.file(name + ".plain.gii"), "--as-time-course", "--surface", dir.file("lh.surf.srf")});
    EXPECT_THAT(result.out, HasSubstr("TR 2000 ms from RepetitionTime 2 in " + name + ".json.\n"));
    EXPECT_THAT(result.err, ::testing::Not(HasSubstr("repetition time (TR)")));
    const ProcessResult dump = runMeshbridgeOk({"print", dir.file(name + ".plain.mtc")});
    EXPECT_THAT(dump.out, HasSubstr("TR in milliseconds:   2000\n"));
}
