// `meshbridge convert` on a FreeSurfer subject and an fMRIPrep subject made
// by nibabel: every output equals its single-file import, the report has a
// row for each input, files that need a mesh go with their subject's
// surface, and reruns, shares and exit statuses are what scripts rely on.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "tests/e2e/process.h"
#include "tests/support/temp_dir.h"

using ::testing::HasSubstr;
using ::testing::Not;
using namespace meshbridge::test;
namespace fs = std::filesystem;

namespace {

struct Row {
    std::string kind, outputs, status, reason;
};

// A Windows build writes its own separators: the same paths with "/".
std::string unixPath(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

// The report's rows by input path, relative to `base`.
std::map<std::string, Row> reportRows(const std::string& text, const std::string& base = "") {
    std::map<std::string, Row> rows;
    std::istringstream lines(text);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "path\tkind\toutputs\tstatus\treason\tseconds");
    while (std::getline(lines, line)) {
        std::vector<std::string> fields;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');) fields.push_back(unixPath(cell));
        EXPECT_EQ(fields.size(), 6u) << line;
        if (fields.size() != 6) continue;
        const std::string path = fields[0].rfind(base, 0) == 0 ? fields[0].substr(base.size()) : fields[0];
        EXPECT_EQ(rows.count(path), 0u) << "two rows for " << path;
        rows[path] = {fields[1], fields[2], fields[3], fields[4]};
    }
    return rows;
}

std::vector<std::string> outputsOf(const Row& row) {
    std::vector<std::string> outputs;
    std::istringstream parts(row.outputs);
    for (std::string output; std::getline(parts, output, ';');) outputs.push_back(output);
    return outputs;
}

// Every file below `folder`, relative to it.
std::set<std::string> filesBelow(const fs::path& folder) {
    std::set<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) files.insert(entry.path().lexically_relative(folder).generic_string());
    return files;
}

ino_t inodeOf(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

void makeFiles(const TempDir& dir, const char* what, const char* level) {
    const ProcessResult made = runProcess({kPython, testScript("study_files.py"), what, dir.path().string(), level});
    ASSERT_EQ(made.exitCode, 0) << made.err;
}

}  // namespace

// A subject of seven importable files, one of them damaged, at fsaverage's size.
TEST(Convert, ASubjectBecomesItsSixOutputsAndTheReportNamesTheDamagedFile) {
    TempDir dir;
    makeFiles(dir, "subject", "7");
    const ProcessResult run = runMeshbridge({"convert", "sub", "-o", "out", "--jobs", "2"}, dir.path().string());
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    EXPECT_THAT(run.out, HasSubstr("meshbridge: 6 converted, 1 refused, 0 left out, 3 not recognised, in "));
    EXPECT_EQ(filesBelow(dir.path() / "out"),
              (std::set<std::string>{"meshbridge-report.tsv", "sub/func/sub-01_task-rest_hemi-L_space-fsnative_bold.func.mtc",
                                     "sub/label/lh.aparc.poi", "sub/surf/lh.thickness.smp", "sub/surf/lh.white.srf",
                                     "sub/surf/rh.thickness.smp", "sub/surf/rh.white.srf"}));
    const auto rows = reportRows(readFile(dir.file("out/meshbridge-report.tsv")));
    ASSERT_EQ(rows.size(), 7u);
    const Row& damaged = rows.at("sub/surf/rh.pial");
    EXPECT_EQ(std::tuple(damaged.kind, damaged.outputs, damaged.status), std::tuple("FreeSurfer surface", "", "refused"));
    EXPECT_THAT(damaged.reason, HasSubstr("rh.pial cannot be imported: the file ends at byte 300"));
    EXPECT_THAT(unixPath(run.out), HasSubstr("refused sub/surf/rh.pial: The FreeSurfer surface in sub"));

    const std::string series = "out/sub/func/sub-01_task-rest_hemi-L_space-fsnative_bold.func.mtc";
    EXPECT_EQ(rows.at("sub/func/sub-01_task-rest_hemi-L_space-fsnative_bold.func.gii").reason,
              "on the surface out/sub/surf/lh.white.srf");
    EXPECT_THAT(runMeshbridgeOk({"print", dir.file(series)}).out, HasSubstr("TR in milliseconds:   2000\n"));

    // Each output is what the import of that one file writes.
    const std::string single = dir.file("single");
    const std::vector<std::vector<std::string>> imports = {
        {"sub/surf/lh.white"},
        {"sub/surf/rh.white"},
        {"sub/surf/lh.thickness", "--map-type", "shape"},
        {"sub/surf/rh.thickness", "--map-type", "shape"},
        {"sub/label/lh.aparc.annot"},
        {"sub/func/sub-01_task-rest_hemi-L_space-fsnative_bold.func.gii", "--as-time-course", "--surface",
         dir.file("out/sub/surf/lh.white.srf")}};
    for (const auto& import : imports) {
        std::vector<std::string> arguments = {"import", dir.file(import[0]), "-o", single};
        arguments.insert(arguments.end(), import.begin() + 1, import.end());
        runMeshbridgeOk(arguments);
        const Row& row = rows.at(import[0]);
        ASSERT_EQ(outputsOf(row).size(), 1u) << import[0];
        const std::string output = outputsOf(row).front();
        EXPECT_EQ(readFile(dir.file(output)), readFile(single + "/" + fs::path(output).filename().string())) << output;
        EXPECT_EQ(row.status, "converted");
    }
}

TEST(Convert, AStudyIsConvertedAsFarAsItTellsAndRerunsAndSharesCoverEveryFileOnce) {
    TempDir dir;
    makeFiles(dir, "study", "5");
    const std::string cwd = dir.path().string();
    ProcessResult run = runMeshbridge({"convert", "study", "-o", "out", "--jobs", "2"}, cwd);
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    EXPECT_THAT(run.out, HasSubstr("meshbridge: 14 converted, 1 refused, 3 left out, 4 not recognised, in "));
    const std::string firstReport = readFile(dir.file("out/meshbridge-report.tsv"));
    auto rows = reportRows(firstReport, "study/");
    ASSERT_EQ(rows.size(), 18u);
    const std::string anat = "fmriprep/sub-01/anat/sub-01_hemi-";
    const std::string func = "fmriprep/sub-01/func/sub-01_task-rest_";
    // What is told is converted: shape values by name (thickness, and sulc
    // and area as curvature), the sidecar's TR, CIFTI's own series step.
    for (const char* converted : {"freesurfer/bert/surf/lh.thickness", "freesurfer/bert/surf/lh.sulc",
                                  "freesurfer/bert/surf/lh.area.pial", "freesurfer/bert/label/lh.aparc.annot",
                                  "fmriprep/sub-01/anat/sub-01_hemi-L_thickness.shape.gii",
                                  "fmriprep/sub-01/anat/sub-01_hemi-R_white.surf.gii"})
        EXPECT_EQ(rows.at(converted).status, "converted") << converted << ": " << rows.at(converted).reason;
    EXPECT_EQ(rows.at(func + "space-fsLR_den-91k_bold.dtseries.nii").kind, "CIFTI dense time series");
    EXPECT_EQ(outputsOf(rows.at(func + "space-fsLR_den-91k_bold.dtseries.nii")),
              (std::vector<std::string>{"out/study/" + func + "space-fsLR_den-91k_bold_LH.mtc",
                                        "out/study/" + func + "space-fsLR_den-91k_bold_RH.mtc"}));
    // Files that need a mesh go with white before midthickness and pial.
    EXPECT_EQ(rows.at(func + "hemi-L_space-fsnative_bold.func.gii").reason,
              "on the surface out/study/" + anat + "L_white.surf.srf");
    EXPECT_EQ(rows.at("freesurfer/bert/label/lh.V1.label").reason,
              "on the surface out/study/freesurfer/bert/surf/lh.white.srf");
    // What is not told is left out, and the report says what to give.
    const Row& overlay = rows.at("freesurfer/bert/surf/lh.sig.mgh");
    EXPECT_EQ(std::tuple(overlay.kind, overlay.status), std::tuple("MGH overlay", "left out"));
    EXPECT_THAT(overlay.reason, HasSubstr("give --map-type"));
    EXPECT_THAT(rows.at(func + "hemi-R_space-fsnative_bold.func.gii").reason, HasSubstr("give --tr"));
    EXPECT_EQ(rows.at(func + "hemi-L_space-fsaverage5_bold.func.gii").reason,
              "no surface of its hemisphere (CortexLeft) with its 2562 vertices was converted in study/fmriprep/sub-01");
    EXPECT_EQ(rows.at("freesurfer/bert/surf/rh.pial").status, "refused");
    EXPECT_FALSE(fs::exists(dir.file("out/study/freesurfer/bert/surf/lh.sig.smp")));
    // Every kind's outputs are what the import of that one file writes.
    const std::string single = dir.file("single");
    for (const auto& import : std::vector<std::vector<std::string>>{
             {"fmriprep/sub-01/anat/sub-01_hemi-R_white.surf.gii"},
             {"fmriprep/sub-01/anat/sub-01_hemi-L_thickness.shape.gii", "--map-type", "shape"},
             {"freesurfer/bert/surf/lh.sulc", "--map-type", "shape"},
             {"freesurfer/bert/label/lh.V1.label", "--surface", dir.file("out/study/freesurfer/bert/surf/lh.white.srf")},
             {func + "space-fsLR_den-91k_bold.dtseries.nii"}}) {
        std::vector<std::string> arguments = {"import", dir.file("study/" + import[0]), "-o", single};
        arguments.insert(arguments.end(), import.begin() + 1, import.end());
        runMeshbridgeOk(arguments);
        for (const std::string& output : outputsOf(rows.at(import[0])))
            EXPECT_EQ(readFile(dir.file(output)), readFile(single + "/" + fs::path(output).filename().string())) << output;
    }

    // An interrupted run: its report holds the rows of the files done. The
    // rerun leaves them as they are (one whose output is gone aside) and
    // converts the rest, now with the answers it lacked.
    std::istringstream lines(firstReport);
    std::string kept, line;
    std::vector<std::string> keptPaths;
    for (int i = 0; i < 6 && std::getline(lines, line); ++i) {
        kept += line + "\n";
        if (i > 0) keptPaths.push_back(unixPath(line.substr(0, line.find('\t'))));
    }
    writeFile(dir.file("out/meshbridge-report.tsv"), kept);
    const std::string lost = outputsOf(rows.at(keptPaths[0].substr(6))).front();
    const std::string lostBytes = readFile(dir.file(lost));
    fs::remove(dir.file(lost));
    const std::string keptOutput = outputsOf(rows.at(keptPaths[1].substr(6))).front();
    const ino_t keptInode = inodeOf(dir.file(keptOutput));
    run = runMeshbridge({"convert", "study", "-o", "out", "--skip-existing", "--map-type", "z", "--tr", "1500"}, cwd);
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;  // the damaged surface, and the series of no surface
    EXPECT_THAT(run.out, HasSubstr("meshbridge: 16 converted, 1 refused, 1 left out, 4 not recognised"));
    rows = reportRows(readFile(dir.file("out/meshbridge-report.tsv")), "study/");
    EXPECT_EQ(rows.size(), 18u);
    EXPECT_EQ(rows.at(keptPaths[1].substr(6)).reason, "converted by an earlier run");
    EXPECT_EQ(inodeOf(dir.file(keptOutput)), keptInode);
    EXPECT_EQ(readFile(dir.file(lost)), lostBytes);
    EXPECT_EQ(rows.at("freesurfer/bert/surf/lh.sig.mgh").status, "converted");
    EXPECT_THAT(runMeshbridgeOk({"print", dir.file("out/study/" + func + "hemi-R_space-fsnative_bold.func.mtc")}).out,
                HasSubstr("TR in milliseconds:   1500\n"));

    // Shares of whole subjects: each input in exactly one, the header in the first.
    std::set<std::string> shared;
    for (const char* share : {"1/2", "2/2"}) {
        run = runMeshbridge({"convert", "study", "-o", "shares", "--shard", share}, cwd);
        EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    }
    const std::string first = readFile(dir.file("shares/meshbridge-report.1-of-2.tsv"));
    const std::string second = readFile(dir.file("shares/meshbridge-report.2-of-2.tsv"));
    EXPECT_THAT(second, Not(HasSubstr("path\tkind")));
    const auto sharedRows = reportRows(first + second, "study/");
    EXPECT_EQ(sharedRows.size(), 18u);
    for (const auto& [path, row] : rows) EXPECT_EQ(sharedRows.count(path), 1u) << path;
    EXPECT_FALSE(first.find("freesurfer/bert") != std::string::npos && second.find("freesurfer/bert") != std::string::npos);
}

TEST(Convert, EverythingConvertedExitsWithZeroAndUsageErrorsWithTwo) {
    TempDir dir;
    makeFiles(dir, "study", "3");
    const ProcessResult run = runMeshbridge(
        {"convert", dir.file("study/fmriprep/sub-01/anat"), dir.file("study/freesurfer/bert/label/lh.aparc.annot")},
        dir.path().string());
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    // Without -o the results lie beside their files.
    EXPECT_TRUE(fs::exists(dir.file("study/fmriprep/sub-01/anat/sub-01_hemi-L_white.surf.srf")));
    EXPECT_TRUE(fs::exists(dir.file("study/freesurfer/bert/label/lh.aparc.poi")));
    // With processes to spare, a time series still waits for its surface.
    const ProcessResult paired = runMeshbridge(
        {"convert", dir.file("study/fmriprep/sub-01/func/sub-01_task-rest_hemi-L_space-fsnative_bold.func.gii"),
         dir.file("study/fmriprep/sub-01/anat/sub-01_hemi-L_white.surf.gii"), "-o", "paired", "--jobs", "4"},
        dir.path().string());
    EXPECT_EQ(paired.exitCode, 0) << paired.out << paired.err;
    EXPECT_TRUE(fs::exists(dir.file("paired/sub-01_task-rest_hemi-L_space-fsnative_bold.func.mtc")));
    for (const auto& [arguments, message] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"convert"}, "convert wants the folders or files to convert"},
             {{"convert", dir.file("study"), "--shard", "3/2"}, "--shard wants K/N"},
             {{"convert", dir.file("study"), "--jobs", "0"}, "--jobs wants a number of processes from 1 to 64"},
             {{"convert", dir.file("nothing")}, "nothing is no file or folder"},
             {{"convert", dir.file("study"), "--map-type", "p"}, "--map-type wants z, t, r, F or shape, not p"},
             {{"convert", dir.file("study"), "--binary"}, "--binary does not apply to convert"}}) {
        const ProcessResult refused = runMeshbridge(arguments);
        EXPECT_EQ(refused.exitCode, 2) << message;
        EXPECT_THAT(refused.err, HasSubstr(message));
    }
}

TEST(Convert, ImportAnswersQuestionsByKindAndWritesIntoAnotherFolder) {
    TempDir dir;
    makeFiles(dir, "study", "3");
    const std::string overlay = dir.file("study/freesurfer/bert/surf/lh.sig.mgh");
    ProcessResult result = runMeshbridgeOk({"import", overlay, "--map-type", "t", "--dof", "30", "-o", dir.file("o")});
    EXPECT_THAT(result.err, HasSubstr("Which values does lh.sig.mgh hold? 1: t statistic 2: correlation (r) 3: F "
                                      "statistic 4: z score 5: thickness or curvature\": 1 (from --map-type)"));
    EXPECT_THAT(result.err, HasSubstr("first degrees of freedom parameter (see manual for help)\": 30 (from --dof)"));
    EXPECT_THAT(result.out, HasSubstr("SMP saved as:\n" + dir.file("o") + "/lh.sig.smp\n"));
    // --answer values come first.
    result = runMeshbridgeOk({"import", overlay, "--answer", "4", "--map-type", "t", "-o", dir.file("o")});
    EXPECT_THAT(result.err, HasSubstr("5: thickness or curvature\": 4 (from --answer)"));
    result = runMeshbridgeOk({"import", dir.file("study/freesurfer/bert/surf/lh.thickness"), "--map-type", "shape",
                              "-o", dir.file("o")});
    EXPECT_THAT(result.err, HasSubstr("Curvature (No) map\": yes (from --map-type and the file's name)"));
}

// A folder linked in (FreeSurfer's fsaverage often is) is walked, a loop of
// links once; two files that make one output are not both reported converted.
TEST(Convert, LinkedFoldersAreWalkedOnceAndOutputsOfTwoFilesAreNotBothTakenForConverted) {
    if (testingWindowsBuild()) GTEST_SKIP() << "links between folders are the Linux build's";
    TempDir dir;
    makeFiles(dir, "study", "3");
    const fs::path bert = dir.path() / "study/freesurfer/bert";
    fs::create_directory_symlink("..", bert / "surf/up");
    fs::copy_file(dir.file("study/fmriprep/sub-01/anat/sub-01_hemi-L_white.surf.gii"), bert / "surf/lh.white.gii");
    fs::create_directories(dir.path() / "linked");
    fs::create_directory_symlink(bert, dir.path() / "linked/bert");
    const ProcessResult run = runMeshbridge({"convert", "linked", "-o", "out", "--map-type", "z"}, dir.path().string());
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    const auto rows = reportRows(readFile(dir.file("out/meshbridge-report.tsv")), "linked/bert/");
    EXPECT_EQ(rows.count("surf/lh.white"), 1u);
    EXPECT_EQ(rows.count("surf/up/surf/lh.white"), 0u);  // the loop's files are the files walked
    const Row& white = rows.at("surf/lh.white");
    const Row& gifti = rows.at("surf/lh.white.gii");
    EXPECT_NE(white.status, gifti.status);
    const Row& later = white.status == "refused" ? white : gifti;
    EXPECT_THAT(later.reason, HasSubstr("is also that of linked/bert/surf/lh.white"));
    EXPECT_THAT(later.reason, HasSubstr("rename one of them"));
}

// What Workbench and nibabel write is told by its content: dense scalars,
// series and labels, metric and label files; arrays of no statistic intent
// are refused with the import's own reason.
TEST(Convert, WorkbenchAndNibabelFilesAreToldByTheirContent) {
    TempDir dir;
    fs::create_directory(dir.file("hcp"));
    const ProcessResult made = runProcess({kPython, testScript("cifti_files.py"), "make", dir.file("hcp")});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    const ProcessResult run =
        runMeshbridge({"convert", "hcp", "-o", "out", "--map-type", "z", "--dof", "0,1"}, dir.path().string());
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;  // the plain arrays of no intent
    EXPECT_THAT(run.out, HasSubstr(" 5 not recognised"));  // nibabel's values kept for the checks, as .npy
    const auto rows = reportRows(readFile(dir.file("out/meshbridge-report.tsv")), "hcp/");
    const std::map<std::string, std::pair<std::string, std::string>> expected = {
        {"wb.dscalar.nii", {"CIFTI dense scalars", "converted"}},
        {"wb.dtseries.nii", {"CIFTI dense time series", "converted"}},
        {"wb.dlabel.nii", {"CIFTI dense labels", "converted"}},
        {"nibbig.dtseries.nii", {"CIFTI dense time series", "converted"}},
        {"nib2.dlabel.nii", {"CIFTI dense labels", "converted"}},
        {"wbsep_L.func.gii", {"GIFTI maps", "converted"}},
        {"wbsep_lab_R.label.gii", {"GIFTI labels", "converted"}},
        {"maps_L.func.gii", {"GIFTI maps", "refused"}}};
    for (const auto& [file, kindAndStatus] : expected) {
        ASSERT_EQ(rows.count(file), 1u) << file;
        EXPECT_EQ(std::pair(rows.at(file).kind, rows.at(file).status), kindAndStatus) << file << ": " << rows.at(file).reason;
    }
    EXPECT_THAT(rows.at("maps_L.func.gii").reason, HasSubstr("GIfTI filetype not supported"));
    EXPECT_EQ(outputsOf(rows.at("wb.dlabel.nii")),
              (std::vector<std::string>{"out/hcp/wb_LH.poi", "out/hcp/wb_RH.poi"}));
}
