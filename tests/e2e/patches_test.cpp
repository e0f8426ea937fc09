// Patches of interest both ways through the stand-in host.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/e2e/process.h"
#include "tests/support/gifti_xml.h"
#include "tests/support/temp_dir.h"

using ::testing::HasSubstr;
using namespace meshbridge::test;

namespace {

class NibabelLabels : public ::testing::TestWithParam<const char*> {};

}  // namespace

INSTANTIATE_TEST_SUITE_P(Samples, NibabelLabels, ::testing::Values("rh.aparc.annot.gii", "label.gii"),
                         [](const auto& info) { return std::string(info.param).find("annot") != std::string::npos
                                                           ? std::string("annotation")
                                                           : std::string("labels"); });

TEST_P(NibabelLabels, BecomePatchesAndGoBack) {
    TempDir dir;
    const std::string gii = dir.file("areas.gii");
    std::filesystem::copy_file(nibabelDataDir() + "/" + GetParam(), gii);
    ProcessResult result = runMeshbridgeOk({"import", gii, "--type", "poi", "--dump"});
    EXPECT_THAT(result.out, HasSubstr("POI saved as:\n" + dir.file("areas.poi")));
    EXPECT_THAT(result.err, HasSubstr("file dialog \"Please select the GIFTI label file\""));

    result = runMeshbridgeOk({"export", dir.file("areas.poi"), "--binary"});
    const ProcessResult check =
        runProcess({kPython, testScript("check_label_patches.py"), gii, dir.file("areas.poi"), dir.file("areas.label.gii")});
    EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
    // wb_command reads the node-index array as one more label map, and warns
    // so for every file that lists its vertices.
    EXPECT_EQ(workbenchComplaint(dir.file("areas.label.gii"), true), "");

    // One label per vertex: every vertex carries the name it had, and
    // wb_command reads the file as one label map of the mesh, without a warning.
    result = runMeshbridgeOk({"export", dir.file("areas.poi"), "--labels-per-vertex"});
    const ProcessResult names = runProcess(
        {kPython, "-c",
         "import nibabel, sys; a = nibabel.load(sys.argv[1]); b = nibabel.load(sys.argv[2]); "
         "na = a.labeltable.get_labels_as_dict(); nb = b.labeltable.get_labels_as_dict(); "
         "la = a.darrays[-1].data.ravel(); lb = b.darrays[0].data.ravel(); "
         "print(len(b.darrays), len(la) == len(lb), all(na.get(x, '?\?\?') == nb[y] for x, y in zip(la, lb)))",
         gii, dir.file("areas.label.gii")});
    EXPECT_EQ(names.out, "1 True True\n") << names.err;
    EXPECT_EQ(workbenchComplaint(dir.file("areas.label.gii")), "");
}

TEST(PatchRoundTrip, OpenLoadsThePatchesInTheHostAndTheyGoOutAgain) {
    TempDir dir;
    importedOctahedron(dir.path().string());
    const std::string three = "Dimensionality=\"1\" Dim0=\"3\"";
    writeFile(dir.file("two.label.gii"),
              gifti({dataArray("NIFTI_INTENT_NODE_INDEX", "NIFTI_TYPE_INT32", three, "5 0 2"),
                     dataArray("NIFTI_INTENT_LABEL", "NIFTI_TYPE_INT32", three, "3 8 3")},
                    "<LabelTable><Label Key=\"3\" Red=\"0\" Green=\"0.5\" Blue=\"1\" Alpha=\"1\"><![CDATA[front \"pole\"]]>"
                    "</Label><Label Key=\"8\" Red=\"1\" Green=\"1\" Blue=\"0\" Alpha=\"1\"><![CDATA[back]]></Label></LabelTable>"));

    ProcessResult result = runMeshbridgeOk({"import", dir.file("two.label.gii"), "--open", "--surface", dir.file("oct.surf.srf")});
    EXPECT_THAT(result.out, HasSubstr("Number of mesh vertices: 6. Please note"));
    EXPECT_THAT(result.err, HasSubstr("meshbridge: host 2 patches from " + dir.file("two.label.poi") + "\n"
        "meshbridge: host patch 1 \"front \"pole\"\": colour 33023, label vertex 5, vertices 5 2\n"
        "meshbridge: host patch 2 \"back\": colour 16776960, label vertex 0, vertices 0\n"))
        << result.err;

    result = runMeshbridgeOk({"export", "--current", "--surface", dir.file("oct.surf.srf"), "--patches",
                            dir.file("two.label.poi")});
    const std::string exported = giftiArrays(dir.file("two.label.label.gii"));
    EXPECT_THAT(exported, HasSubstr("('Number of mesh vertices', '6')"));
    EXPECT_EQ(exported.substr(exported.find("\nNIFTI")),
              "\nNIFTI_INTENT_NODE_INDEX NIFTI_TYPE_INT32 ASCII [] 5 2 0\nNIFTI_INTENT_LABEL NIFTI_TYPE_INT32 ASCII [] 0 0 1\n"
              "label 0 'front \"pole\"' 0 128 255 255\nlabel 1 'back' 255 255 0 255\n");

    result = runMeshbridge({"print", "--current", "--surface", dir.file("oct.surf.srf"), "--patches",
                            dir.file("two.label.poi")});
    EXPECT_THAT(result.out, HasSubstr("Number of POIs: 2\n"));
}

TEST(PatchRoundTrip, NamesInTheHostsCodePageBothWays) {
    // A patch named "Привет" in code page 1251, as a Russian Windows keeps it:
    // the Windows build takes the system's code page (Wine's for a Russian
    // locale), the Linux build the one --code-page gives.
    TempDir dir;
    const std::string poi = dir.file("ru.poi");
    writeFile(poi, "FileVersion:      2\n\nFromMeshFile:     \"x.srf\"\n\nNrOfMeshVertices: 6\n\n\nNrOfPOIs:         1\n\n"
                   "NameOfPOI:        \"\xCF\xF0\xE8\xE2\xE5\xF2\"\nInfoTextFile:     \"\"\nColorOfPOI:       255 0 0\n"
                   "LabelVertex:      1\nNrOfVertices:     2\n1\n2\n\n\nNrOfPOIMTCs: 0\n");
    const bool windows = testingWindowsBuild();
    std::vector<std::string> russian = {"--code-page", "1251"};
    if (windows) {
        setenv("LC_ALL", "ru_RU.UTF-8", 1);
        russian.clear();
    }
    std::vector<std::string> command = {"export", poi};
    command.insert(command.end(), russian.begin(), russian.end());
    runMeshbridgeOk(command);
    const ProcessResult check = runProcess(
        {kPython, "-c", "import nibabel, sys; print(nibabel.load(sys.argv[1]).labeltable.labels[0].label)",
         dir.file("ru.label.gii")});
    EXPECT_EQ(check.out, "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82\n") << check.err;  // Привет

    std::filesystem::rename(dir.file("ru.label.gii"), dir.file("back.label.gii"));
    command = {"import", dir.file("back.label.gii")};
    command.insert(command.end(), russian.begin(), russian.end());
    runMeshbridgeOk(command);
    if (windows) unsetenv("LC_ALL");
    EXPECT_THAT(readFile(dir.file("back.label.poi")), HasSubstr("\"\xCF\xF0\xE8\xE2\xE5\xF2\""));
}
