// Time courses both ways through the stand-in host.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/e2e/process.h"
#include "tests/support/gifti_xml.h"
#include "tests/support/temp_dir.h"

using ::testing::HasSubstr;
using namespace meshbridge::test;

TEST(TimeSeriesRoundTrip, NibabelTimeSeriesAndARepetitionTimeThroughTheHostAndBack) {
    TempDir dir;
    // A closed surface of 642 vertices.
    const ProcessResult made = runProcess({kPython, testScript("make_sphere.py"), "3", dir.file("sphere.surf.gii")});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    runMeshbridgeOk({"import", dir.file("sphere.surf.gii")});
    const std::string surface = dir.file("sphere.surf.srf");
    const std::string gii = dir.file("task.gii");
    std::filesystem::copy_file(nibabelDataDir() + "/task.func.gii", gii);
    // Without a surface in the host the stand-in says what is missing.
    ProcessResult result = runMeshbridge({"import", gii});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_THAT(result.err, HasSubstr("meshbridge: the host has no current surface; give one with --surface FILE.srf\n"));
    result = runMeshbridgeOk({"import", gii, "--surface", surface, "--open"});
    EXPECT_THAT(result.out, HasSubstr("MTC saved as:\n" + dir.file("task.mtc") + "\nGIFTI time series successfully imported.\n"));
    EXPECT_THAT(result.err, HasSubstr("meshbridge: host time course: 10 volumes on 642 vertices"));
    EXPECT_THAT(result.err, HasSubstr("meshbridge: host time course linked to " + dir.file("task.mtc")));

    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"export", dir.file("task.mtc")},
          std::vector<std::string>{"export", "--binary", "--current", "--surface", surface, "--timecourse",
                                   dir.file("task.mtc")}}) {
        result = runMeshbridgeOk(command);
        const ProcessResult check = runProcess(
            {kPython, "-c",
             "import nibabel, numpy, sys; a = nibabel.load(sys.argv[1]); b = nibabel.load(sys.argv[2]); "
             "print(len(b.darrays), all(numpy.array_equal(x.data, y.data) for x, y in zip(a.darrays, b.darrays)), "
             "{d.intent for d in b.darrays}, b.meta['TimeStep'])",
             gii, dir.file("task.time.gii")});
        EXPECT_EQ(check.out, "10 True {2001} 0.000000\n") << check.err;
        // wb_command opens per-vertex values only under the names it knows.
        std::filesystem::copy_file(dir.file("task.time.gii"), dir.file("task.func.gii"),
                                   std::filesystem::copy_options::overwrite_existing);
        EXPECT_EQ(workbenchComplaint(dir.file("task.func.gii")), "");
    }

    // A repetition time goes into the MTC file and out of it again.
    std::string values;
    for (int v = 0; v < 642; ++v) values += std::to_string(v) + " ";
    const std::string volume =
        dataArray("NIFTI_INTENT_TIME_SERIES", "NIFTI_TYPE_FLOAT32", "Dimensionality=\"1\" Dim0=\"642\"", values);
    writeFile(dir.file("run1.time.gii"), gifti({volume, volume}, "<LabelTable/>", md("TimeStep", "1500.000000")));
    runMeshbridgeOk({"import", dir.file("run1.time.gii"), "--surface", surface});
    runMeshbridgeOk({"export", dir.file("run1.time.mtc")});
    const ProcessResult check = runProcess(
        {kPython, "-c", "import nibabel, sys; i = nibabel.load(sys.argv[1]); print(i.meta['TimeStep'], i.darrays[1].data[641])",
         dir.file("run1.time.time.gii")});
    EXPECT_EQ(check.out, "1500.000000 641.0\n") << check.err;

    // A TR below 100 ms comes back as it went out.
    writeFile(dir.file("run1.time.gii"), gifti({volume, volume}, "<LabelTable/>", md("TimeStep", "0.05")));
    result = runMeshbridgeOk({"import", dir.file("run1.time.gii"), "--surface", surface});
    EXPECT_THAT(result.out, HasSubstr("TR 50 ms from the TimeStep 0.05 of the file's metadata, read as seconds.\n"));
    runMeshbridgeOk({"export", dir.file("run1.time.mtc")});
    std::filesystem::rename(dir.file("run1.time.time.gii"), dir.file("again.time.gii"));
    result = runMeshbridgeOk({"import", dir.file("again.time.gii"), "--surface", surface});
    EXPECT_THAT(result.out, HasSubstr("TR 50 ms from the TimeStep 50.000000 of the file's metadata, read as "
                                      "milliseconds.\n"));

    // A time course whose name tells no hemisphere takes that of the host's surface.
    std::filesystem::copy_file(surface, dir.file("sub-01_hemi-L_white.srf"));
    runMeshbridgeOk({"export", dir.file("again.time.mtc"), "--surface", dir.file("sub-01_hemi-L_white.srf")});
    const ProcessResult structure = runProcess(
        {kPython, "-c", "import nibabel, sys; print(nibabel.load(sys.argv[1]).meta['AnatomicalStructurePrimary'])",
         dir.file("again.time.time.gii")});
    EXPECT_EQ(structure.out, "CortexLeft\n") << structure.err;
}

TEST(TimeSeriesRoundTrip, WorkbenchMetricColumnsImportAsOneTimeCourse) {
    TempDir dir;
    const ProcessResult made = runProcess({kPython, testScript("make_sphere.py"), "3", dir.file("sphere.surf.gii")});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    runMeshbridgeOk({"import", dir.file("sphere.surf.gii")});
    // 30 frames of 642 vertices, written again by Workbench as it writes the
    // metric file of a separated dense time series.
    const ProcessResult frames = runProcess(
        {kPython, "-c",
         "import nibabel, numpy, sys; v = numpy.arange(642 * 30, dtype=numpy.float32).reshape(30, 642) / 7; "
         "nibabel.save(nibabel.gifti.GiftiImage(darrays=[nibabel.gifti.GiftiDataArray(f) for f in v]), sys.argv[1])",
         dir.file("frames.func.gii")});
    ASSERT_EQ(frames.exitCode, 0) << frames.err;
    const ProcessResult merged =
        runProcess({"wb_command", "-metric-merge", dir.file("run.func.gii"), "-metric", dir.file("frames.func.gii")});
    ASSERT_EQ(merged.exitCode, 0) << merged.out << merged.err;

    const ProcessResult result = runMeshbridgeOk(
        {"import", dir.file("run.func.gii"), "--as-time-course", "--surface", dir.file("sphere.surf.srf"), "--answer", "720"});
    EXPECT_THAT(result.err, HasSubstr("question \"Please enter the repetition time (TR) of the time course in "
                                      "milliseconds\": 720 (from --answer)"));
    EXPECT_EQ(result.err.find("degrees of freedom"), std::string::npos);
    EXPECT_THAT(result.out, HasSubstr("MTC saved as:\n" + dir.file("run.func.mtc") + "\n"));

    runMeshbridgeOk({"export", dir.file("run.func.mtc")});
    const ProcessResult check = runProcess(
        {kPython, "-c",
         "import nibabel, numpy, sys; a = nibabel.load(sys.argv[1]); b = nibabel.load(sys.argv[2]); "
         "print(len(b.darrays), b.meta['TimeStep'], all(numpy.array_equal(x.data.ravel(), y.data.ravel()) "
         "for x, y in zip(a.darrays, b.darrays)))",
         dir.file("run.func.gii"), dir.file("run.func.time.gii")});
    EXPECT_EQ(check.out, "30 720.000000 True\n") << check.err;
}
