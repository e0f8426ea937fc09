// What `meshbridge convert` decides before and after each import: the kind
// of a file from its first bytes, subjects and shares, the surface a file is
// paired with, what an import's output says, the report's rows, and the
// command lines of Windows children.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "standin/child_processes.h"
#include "standin/convert_plan.h"
#include "tests/support/gzip.h"
#include "tests/support/temp_dir.h"

using ::testing::HasSubstr;
using namespace meshbridge::standin;
using namespace meshbridge::test;

namespace {

std::string giftiWith(const std::string& arrays, const std::string& metadata = "") {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE GIFTI SYSTEM \"http://www.nitrc.org/frs/download.php/115/gifti.dtd\">\n"
           "<GIFTI Version=\"1.0\" NumberOfDataArrays=\"2\"><MetaData>" +
           metadata + "</MetaData>" + arrays + "</GIFTI>";
}

std::string arrayTag(const std::string& intent, int dim0) {
    return "<DataArray\n  Intent=\"" + intent + "\" DataType=\"NIFTI_TYPE_FLOAT32\" Dim0='" + std::to_string(dim0) +
           "'><Data>0</Data></DataArray>";
}

// A NIfTI-2 header of the byte order given, with a CIFTI extension holding `xml` (none when empty).
std::string nifti2(const std::string& xml, bool bigEndian = false) {
    std::string bytes(544, '\0');
    const auto put = [&](std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i)
            bytes[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (bigEndian ? 24 - 8 * i : 8 * i));
    };
    put(0, 540);
    bytes.replace(4, 8, std::string("n+2\0\r\n\032\n", 8));
    if (xml.empty()) return bytes;
    bytes[540] = 1;
    bytes += std::string(8, '\0') + xml;
    put(544, static_cast<std::uint32_t>(8 + xml.size()));
    put(548, 32);
    return bytes;
}

PlannedInput input(const std::string& path, std::int64_t vertices = -1) {
    PlannedInput planned;
    planned.path = path;
    planned.subject = subjectOf(path);
    planned.hemisphere = path.find("lh.") != std::string::npos || path.find("hemi-L") != std::string::npos
                             ? "CortexLeft"
                             : "CortexRight";
    planned.recognised.vertices = vertices;
    return planned;
}

}  // namespace

TEST(ConvertPlan, FilesAreToldByTheirFirstBytes) {
    TempDir dir;
    const auto kindOf = [&](const std::string& name, const std::string& bytes) {
        writeFile(dir.file(name), bytes);
        return recogniseInput(dir.file(name));
    };
    // Triangles before coordinates still make a surface; a series names its vertex count.
    EXPECT_EQ(kindOf("a.gii", giftiWith(arrayTag("NIFTI_INTENT_TRIANGLE", 8) + arrayTag("NIFTI_INTENT_POINTSET", 6))).kind,
              InputKind::GiftiSurface);
    const Recognised series = kindOf("b.gii", giftiWith(arrayTag("NIFTI_INTENT_TIME_SERIES", 7)));
    EXPECT_EQ(std::tuple(series.kind, series.vertices), std::tuple(InputKind::GiftiTimeSeries, 7));
    const Recognised sparse =
        kindOf("c.gii", giftiWith(arrayTag("NIFTI_INTENT_NODE_INDEX", 3) + arrayTag("NIFTI_INTENT_LABEL", 3)));
    EXPECT_EQ(std::tuple(sparse.kind, sparse.namesItsVertices), std::tuple(InputKind::GiftiLabels, true));
    EXPECT_EQ(kindOf("d.gii", giftiWith(arrayTag("NIFTI_INTENT_ZSCORE", 5))).kind, InputKind::GiftiMaps);
    // A header longer than the first bytes read, and a compressed file.
    const std::string longMetadata = "<MD><Name>History</Name><Value>" + std::string(100000, 'x') + "</Value></MD>";
    EXPECT_EQ(kindOf("e.gii", giftiWith(arrayTag("NIFTI_INTENT_POINTSET", 6), longMetadata)).kind, InputKind::GiftiSurface);
    EXPECT_EQ(kindOf("f.gii.gz", gzipped(giftiWith(arrayTag("NIFTI_INTENT_TIME_SERIES", 9), longMetadata))).vertices, 9);

    const std::string models = "<MatrixIndicesMap AppliesToMatrixDimension=\"1\" "
                               "IndicesMapToDataType=\"CIFTI_INDEX_TYPE_BRAIN_MODELS\"/>";
    EXPECT_EQ(kindOf("g.nii", nifti2(models + "<MatrixIndicesMap IndicesMapToDataType=\"CIFTI_INDEX_TYPE_SERIES\"/>")).kind,
              InputKind::CiftiSeries);
    EXPECT_EQ(kindOf("h.nii", nifti2(models + "<M IndicesMapToDataType=\"CIFTI_INDEX_TYPE_LABELS\"/>", true)).kind,
              InputKind::CiftiLabels);
    EXPECT_EQ(kindOf("i.nii", nifti2(models + "<M IndicesMapToDataType=\"CIFTI_INDEX_TYPE_PARCELS\"/>")).kind,
              InputKind::Cifti);
    // Volumes, sidecars and other text are no input.
    EXPECT_EQ(kindOf("j.nii", nifti2("")).kind, InputKind::None);
    EXPECT_EQ(kindOf("k.json", "{\"RepetitionTime\": 2}").kind, InputKind::None);
    EXPECT_EQ(kindOf("l.xml", "<?xml version=\"1.0\"?><NotGifti/>").kind, InputKind::None);
    EXPECT_EQ(kindOf("empty", "").kind, InputKind::None);
    const Recognised label = kindOf("lh.V1.label", "#!ascii label\n1\n5 1.0 2.0 3.0 0.0\n");
    EXPECT_EQ(std::tuple(label.kind, label.namesItsVertices), std::tuple(InputKind::Label, true));
}

TEST(ConvertPlan, SubjectsAreDealtToSharesWholeAndFilesTheyNeedStayWithThem) {
    EXPECT_EQ(subjectOf("study/sub-01/ses-1/anat/sub-01_hemi-L_white.surf.gii"), "study/sub-01");
    EXPECT_EQ(subjectOf("subjects/bert/surf/lh.white"), "subjects/bert");
    EXPECT_EQ(subjectOf("subjects/bert/label/lh.V1.label"), "subjects/bert");
    EXPECT_EQ(subjectOf("data/lh.white"), "data");

    std::vector<PlannedInput> inputs;
    for (const char* subject : {"s/sub-03", "s/sub-01", "s/sub-05", "s/sub-02", "s/sub-04"})
        for (const char* file : {"/anat/lh.white", "/func/lh.run.gii"}) inputs.push_back(input(std::string(subject) + file));
    std::multiset<std::string> covered;
    std::vector<std::set<std::string>> subjects;
    for (int share = 1; share <= 2; ++share) {
        std::set<std::string> ofShare;
        for (const PlannedInput& taken : shareOf(inputs, share, 2)) {
            covered.insert(taken.path);
            ofShare.insert(taken.subject);
        }
        subjects.push_back(ofShare);
    }
    EXPECT_EQ(covered.size(), 10u);
    for (const PlannedInput& each : inputs) EXPECT_EQ(covered.count(each.path), 1u) << each.path;
    // In the order of their keys, in turn: 01, 03, 05 to the first share.
    EXPECT_EQ(subjects[0], (std::set<std::string>{"s/sub-01", "s/sub-03", "s/sub-05"}));
    EXPECT_EQ(shareOf(inputs, 1, 1).size(), 10u);
}

TEST(ConvertPlan, AFileGoesWithWhiteBeforeMidthicknessBeforePialOfItsSubjectHemisphereAndVertexCount) {
    const std::vector<ConvertedSurface> surfaces = {
        {"s/sub-01/anat/sub-01_hemi-L_pial.surf.gii", "pial.srf", 100, "s/sub-01", "CortexLeft"},
        {"s/sub-01/anat/sub-01_hemi-L_midthickness.surf.gii", "mid.srf", 100, "s/sub-01", "CortexLeft"},
        {"s/sub-01/anat/sub-01_hemi-L_inflated.surf.gii", "inflated.srf", 100, "s/sub-01", "CortexLeft"},
        {"s/sub-01/anat/sub-01_hemi-L_white.surf.gii", "white32.srf", 32, "s/sub-01", "CortexLeft"},
        {"s/sub-01/anat/sub-01_hemi-R_white.surf.gii", "right.srf", 100, "s/sub-01", "CortexRight"},
        {"s/sub-02/anat/sub-02_hemi-L_white.surf.gii", "other.srf", 100, "s/sub-02", "CortexLeft"},
    };
    const auto paired = [&](const PlannedInput& file) {
        const auto surface = pairedSurface(file, surfaces);
        return surface ? surface->srf : std::string("none");
    };
    EXPECT_EQ(paired(input("s/sub-01/func/sub-01_hemi-L_bold.func.gii", 100)), "mid.srf");
    EXPECT_EQ(paired(input("s/sub-01/func/sub-01_hemi-L_bold.func.gii", 32)), "white32.srf");
    EXPECT_EQ(paired(input("s/sub-01/func/sub-01_hemi-R_bold.func.gii", 100)), "right.srf");
    EXPECT_EQ(paired(input("s/sub-01/func/sub-01_hemi-R_bold.func.gii", 32)), "none");
    EXPECT_EQ(paired(input("s/sub-03/func/sub-03_hemi-L_bold.func.gii", 100)), "none");
    // A label file names no vertex count: the best of its hemisphere.
    EXPECT_EQ(paired(input("s/sub-01/label/lh.V1.label")), "white32.srf");
}

TEST(ConvertPlan, ShapeValuesAreToldByAWordOfTheName) {
    for (const char* shape : {"lh.thickness", "lh.area.pial", "lh.curv", "lh.sulc", "lh.volume", "sub-01_hemi-L_curv.shape.gii",
                              "X.corrThickness.32k_fs_LR.dscalar.nii", "lh.thickness.fwhm10.fsaverage.mgh"})
        EXPECT_TRUE(namedAfterShapeValues("surf/" + std::string(shape))) << shape;
    for (const char* other : {"lh.white", "lh.sig.mgh", "lh.areal.mgh", "thickness/lh.sig.mgh", "lh.curvy.mgh"})
        EXPECT_FALSE(namedAfterShapeValues(other)) << other;
}

TEST(ConvertPlan, AnImportsOutputSaysWhatItWroteOrWhyNot) {
    Outcome outcome = outcomeOfImport(0, "Reading X\nMTC saved as:\nout/X_LH.mtc\nMTC saved as:\nout/X_RH.mtc\nDone.\n", "");
    EXPECT_EQ(outcome.status, Status::Converted);
    EXPECT_EQ(outcome.outputs, (std::vector<std::string>{"out/X_LH.mtc", "out/X_RH.mtc"}));

    const auto leftOutFor = [](const std::string& question) {
        const Outcome asked = outcomeOfImport(
            1, "log\n", "meshbridge: question \"" + question + "\": cancelled (no answer given)\nmeshbridge: [message box] x\n");
        EXPECT_EQ(asked.status, Status::LeftOut) << question;
        return asked.reason;
    };
    EXPECT_THAT(leftOutFor("Which values does lh.sig.mgh hold? 1: t statistic"), HasSubstr("give --map-type"));
    EXPECT_THAT(leftOutFor("Please enter the second degrees of freedom parameter"), HasSubstr("give --dof"));
    EXPECT_THAT(leftOutFor("Please enter the repetition time (TR) of the time course in milliseconds"),
                HasSubstr("give --tr"));
    // A yes/no question without an answer goes on as no: the failure is another.
    outcome = outcomeOfImport(1, "a\nlast line\n",
                              "meshbridge: question \"Thickness (Yes) or Curvature (No)\": cancelled, taken as no (no "
                              "answer given)\nmeshbridge: [message box] The surface in x cannot\nbe imported.\n"
                              "meshbridge: [message box] second\n");
    EXPECT_EQ(std::tuple(outcome.status, outcome.reason), std::tuple(Status::Refused, "The surface in x cannot be imported."));
    EXPECT_EQ(outcomeOfImport(1, "first\nlast\n\n", "").reason, "last");
    EXPECT_EQ(outcomeOfImport(139, "", "").reason, "the import ended abnormally (status 139)");
    EXPECT_EQ(outcomeOfImport(2, "", "meshbridge: the path x is longer than the 255 bytes Corvana hands to a plug-in\n"
                                     "Try 'meshbridge --help'.\n")
                  .reason,
              "the path x is longer than the 255 bytes Corvana hands to a plug-in");
}

TEST(ConvertPlan, ReportRowsKeepTheirFieldsAndARerunFindsWhatWasConverted) {
    const std::string converted =
        reportRow("in/a b.gii", "GIFTI surface", Outcome{Status::Converted, {"out/a b.srf", "out/c.srf"}, ""}, 1.234);
    EXPECT_EQ(converted, "in/a b.gii\tGIFTI surface\tout/a b.srf;out/c.srf\tconverted\t\t1.23");
    const std::string refused =
        reportRow("in/x\ty", "FreeSurfer label", Outcome{Status::Refused, {}, "two\nlines\tand a tab"}, 0.0);
    EXPECT_EQ(refused, "in/x y\tFreeSurfer label\t\trefused\ttwo lines and a tab\t0.00");
    const std::string report = std::string(kReportHeader) + "\n" + converted + "\n" + refused + "\n" +
                               "in/cut.gii\tGIFTI surface\tout/cut.srf\tconv";  // the row a killed run began
    const auto found = convertedInReport(report);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].path, "in/a b.gii");
    EXPECT_EQ(found[0].outputs, (std::vector<std::string>{"out/a b.srf", "out/c.srf"}));
}

TEST(ConvertPlan, WindowsCommandLinesSplitBackIntoTheSameWords) {
    EXPECT_EQ(windowsCommandLine({"C:\\Program Files\\Corvana.exe", "import", "a b.gii", "say \"hi\"", "C:\\out dir\\",
                                  "C:\\plain\\", "", "x\\\\\"y"}),
              "\"C:\\Program Files\\Corvana.exe\" import \"a b.gii\" \"say \\\"hi\\\"\" \"C:\\out dir\\\\\" "
              "C:\\plain\\ \"\" \"x\\\\\\\\\\\"y\"");
}

TEST(ConvertPlan, AFileGivenTwiceIsFoundOnceAndTheOutputFolderIsNotWalked) {
    TempDir dir;
    std::filesystem::create_directories(dir.path() / "sub/surf");
    std::filesystem::create_directories(dir.path() / "sub/out");
    const std::string surface = giftiWith(arrayTag("NIFTI_INTENT_POINTSET", 6));
    writeFile(dir.file("sub/surf/lh.surf.gii"), surface);
    writeFile(dir.file("sub/out/lh.surf.gii"), surface);  // an earlier run's copy in the output folder
    writeFile(dir.file("sub/notes.txt"), "not a surface");
    const FoundInputs found =
        findInputs({dir.file("sub"), dir.file("sub/surf/lh.surf.gii")}, dir.file("sub/out"));
    ASSERT_EQ(found.inputs.size(), 1u);
    // Compared as paths: a Windows build writes its own separators.
    EXPECT_EQ(std::filesystem::path(found.inputs[0].path).lexically_normal(),
              (dir.path() / "sub/surf/lh.surf.gii").lexically_normal());
    EXPECT_EQ(std::filesystem::path(found.inputs[0].outputFolder).lexically_normal(),
              (dir.path() / "sub/out/sub/surf").lexically_normal());
    EXPECT_EQ(found.inputs[0].hemisphere, "CortexLeft");  // lh. as FreeSurfer names it
    EXPECT_EQ(found.unrecognised, 1);
    EXPECT_TRUE(found.missing.empty());
}
