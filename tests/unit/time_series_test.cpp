#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <tuple>

#include "common/gifti.h"
#include "formats/mtc_file.h"
#include "plugin/commands.h"
#include "tests/support/describe.h"
#include "tests/support/host_test.h"
#include "tests/support/gifti_xml.h"

using ::testing::HasSubstr;
using namespace meshbridge;
using namespace meshbridge::test;

namespace {

std::string volume(const std::string& values, int vertices = 4) {
    return dataArray("NIFTI_INTENT_TIME_SERIES", "NIFTI_TYPE_FLOAT32",
                     "Dimensionality=\"1\" Dim0=\"" + std::to_string(vertices) + "\"", values);
}

class TimeSeriesImportTest : public ImportTest {
protected:
    void SetUp() override { host.currentSurface = HostSrfInfo{.nrOfVertices = 4}; }

    bool import(const std::vector<std::string>& arrays, bool dump = false, bool open = false,
                const std::string& metadata = "") {
        return importFile(kFileTypeMtc, "run1.time.gii", gifti(arrays, "<LabelTable/>", metadata),
                          {.dump = dump, .open = open});
    }
};

}  // namespace

class TimeSeriesExport : public test::HostTest {};

TEST_F(TimeSeriesImportTest, VolumesBecomeCoursesOnTheHostsSurface) {
    ASSERT_TRUE(import({volume("0 1 2 3"), volume("10 11 12 13"), volume("20 21 22 23")}));
    EXPECT_EQ(host.dialogs[0].title, "Please select the GIFTI time series file");
    ASSERT_TRUE(host.timeCourseInfo);
    const HostMtcInfo& info = *host.timeCourseInfo;
    EXPECT_EQ(std::tuple(info.nrOfVolumes, info.nrOfVertices, info.headerFlag, info.importedFlag, info.tr),
              std::tuple(3, 4, 1, 1, 0));
    EXPECT_EQ(std::tuple(std::string(info.mtcFileName), std::string(info.vtcFileName), std::string(info.prtFileName)),
              std::tuple(dir.file("run1.time.mtc"), "<none>", "<none>"));
    EXPECT_EQ(info.unused0[0], 0x5a);  // the plug-in filled in the host's record
    EXPECT_EQ(host.courses[2], (std::vector<float>{2, 12, 22}));
    EXPECT_EQ(host.savedTimeCourses, std::vector<std::string>{dir.file("run1.time.mtc")});
    EXPECT_TRUE(host.linkedTimeCourses.empty());
    EXPECT_EQ(host.log, (std::vector<std::string>{"The file gives no TimeStep: TR 0 ms.",
                                                  "MTC saved as:\n" + dir.file("run1.time.mtc"),
                                                  "GIFTI time series successfully imported."}));
}

TEST_F(TimeSeriesImportTest, RepetitionTimeFromTimeStepOfTheFileOrItsFirstArray) {
    ASSERT_TRUE(import({volume("0 1 2 3")}, true, true, md("TimeStep", "2000.000000")));
    EXPECT_EQ(host.timeCourseInfo->tr, 2000);
    EXPECT_THAT(host.logText(), HasSubstr("TR in milliseconds:   2000\n"));
    EXPECT_EQ(host.linkedTimeCourses, std::vector<std::string>{dir.file("run1.time.mtc")});
    EXPECT_THAT(host.logText(), HasSubstr("TR 2000 ms from the TimeStep 2000.000000 of the file's metadata, read as "
                                          "milliseconds.\n"));
    for (const char* ignored : {"0.000000", "-2", "fast", "", "2.0s", "1e12", "nan"}) {
        host.log.clear();
        ASSERT_TRUE(import({volume("0 1 2 3")}, false, false, md("TimeStep", ignored)));
        EXPECT_EQ(host.timeCourseInfo->tr, 0) << ignored;
        EXPECT_EQ(host.log.at(0), "The TimeStep \"" + std::string(ignored) +
                                      "\" of the file's metadata is not a usable time: TR 0 ms.");
    }
    // Below 100 a time step is in seconds; every value is rounded to the millisecond.
    for (const auto& [step, tr] : {std::pair{"2.0", 2000}, std::pair{"1.5", 1500}, std::pair{"0.72", 720},
                                   std::pair{"0.0007", 1}, std::pair{"99.9994", 99999}, std::pair{"100", 100},
                                   std::pair{"1999.6", 2000}}) {
        ASSERT_TRUE(import({volume("0 1 2 3")}, false, false, md("TimeStep", step)));
        EXPECT_EQ(host.timeCourseInfo->tr, tr) << step;
    }
    // Except in the files this plug-in writes, which hold milliseconds.
    host.log.clear();
    ASSERT_TRUE(import({volume("0 1 2 3")}, false, false, md("GIFTI plugin version", "1.6") + md("TimeStep", "50.000000")));
    EXPECT_EQ(host.timeCourseInfo->tr, 50);
    EXPECT_EQ(host.log.at(0), "TR 50 ms from the TimeStep 50.000000 of the file's metadata, read as milliseconds.");

    // As FreeSurfer and gifticlib write it: on each array, not in the file's metadata.
    const auto withStep = [](const std::string& values, const std::string& step) {
        return dataArray("NIFTI_INTENT_TIME_SERIES", "NIFTI_TYPE_FLOAT32", "Dimensionality=\"1\" Dim0=\"4\"", values,
                         md("TimeStep", step));
    };
    host.log.clear();
    ASSERT_TRUE(import({withStep("0 1 2 3", "2.000000"), withStep("4 5 6 7", "3.0")}));
    EXPECT_EQ(host.timeCourseInfo->tr, 2000);
    EXPECT_EQ(host.log.at(0), "TR 2000 ms from the TimeStep 2.000000 of data array 0, read as seconds.");
    // The file's metadata comes first.
    ASSERT_TRUE(import({withStep("0 1 2 3", "2.000000")}, false, false, md("TimeStep", "720")));
    EXPECT_EQ(host.timeCourseInfo->tr, 720);
}

TEST_F(TimeSeriesImportTest, PlainArraysAsATimeCourseWithTheRepetitionTimeAskedOnce) {
    // As Workbench writes the columns of a separated dense time series: no
    // intent, no TimeStep; a z-score map goes the same way.
    const auto column = [](const std::string& intent, const std::string& values) {
        return dataArray(intent, "NIFTI_TYPE_FLOAT32", "Dimensionality=\"1\" Dim0=\"4\"", values);
    };
    const std::vector<std::string> columns = {column("NIFTI_INTENT_NONE", "0 1 2 3"),
                                              column("NIFTI_INTENT_ZSCORE", "10 11 12 13"),
                                              column("NIFTI_INTENT_NONE", "20 21 22 23")};
    host.integerAnswers = {720};
    ASSERT_TRUE(importFile(kFileTypeMtc, "run.func.gii", gifti(columns), {.asTimeCourse = true}));
    EXPECT_EQ(host.questions, std::vector<std::string>{"Please enter the repetition time (TR) of the time course in "
                                                       "milliseconds"});
    // Offered 2000 ms, from 1 ms to 100 s.
    EXPECT_EQ(host.questionRanges, (std::vector<std::array<double, 3>>{{2000, 1, 100000}}));
    ASSERT_TRUE(host.timeCourseInfo);
    EXPECT_EQ(std::tuple(host.timeCourseInfo->nrOfVolumes, host.timeCourseInfo->tr), std::tuple(3, 720));
    EXPECT_EQ(host.courses[2], (std::vector<float>{2, 12, 22}));
    EXPECT_EQ(host.savedTimeCourses, std::vector<std::string>{dir.file("run.func.mtc")});
    EXPECT_THAT(host.logText(), HasSubstr("TR 720 ms, as given.\n"));
    EXPECT_EQ(host.lastLog(), "GIFTI arrays successfully imported as a time course.");

    // Of plain arrays, only the first's TimeStep counts (the others' may be the
    // metadata of maps that happen to stand beside it).
    host.questions.clear();
    host.integerAnswers = {720};
    std::vector<std::string> laterStep = columns;
    laterStep[1] = dataArray("NIFTI_INTENT_NONE", "NIFTI_TYPE_FLOAT32", "Dimensionality=\"1\" Dim0=\"4\"",
                             "10 11 12 13", md("TimeStep", "1500"));
    ASSERT_TRUE(importFile(kFileTypeMtc, "run.func.gii", gifti(laterStep), {.asTimeCourse = true}));
    EXPECT_EQ(host.questions.size(), 1u);
    EXPECT_EQ(host.timeCourseInfo->tr, 720);
    laterStep[0] = dataArray("NIFTI_INTENT_NONE", "NIFTI_TYPE_FLOAT32", "Dimensionality=\"1\" Dim0=\"4\"", "0 1 2 3",
                             md("TimeStep", "1.5"));
    ASSERT_TRUE(importFile(kFileTypeMtc, "run.func.gii", gifti(laterStep), {.asTimeCourse = true}));
    EXPECT_EQ(host.timeCourseInfo->tr, 1500);

    // A TimeStep in the file is used; a cancelled question ends the import.
    host.questions.clear();
    ASSERT_TRUE(importFile(kFileTypeMtc, "run.func.gii", gifti(columns, "<LabelTable/>", md("TimeStep", "0.8")),
                           {.asTimeCourse = true}));
    EXPECT_TRUE(host.questions.empty());
    EXPECT_EQ(host.timeCourseInfo->tr, 800);
    // The default, and an answer beyond the bounds, which the host's dialog does not take.
    host.integerAnswers = {FakeHost::kDefaultAnswer};
    ASSERT_TRUE(importFile(kFileTypeMtc, "run.func.gii", gifti(columns), {.asTimeCourse = true}));
    EXPECT_EQ(host.timeCourseInfo->tr, 2000);
    host.integerAnswers = {100001};
    host.savedTimeCourses.clear();
    EXPECT_FALSE(importFile(kFileTypeMtc, "run.func.gii", gifti(columns), {.asTimeCourse = true}));
    EXPECT_TRUE(host.savedTimeCourses.empty());
    EXPECT_FALSE(importFile(kFileTypeMtc, "run.func.gii", gifti(columns), {.asTimeCourse = true}));
    EXPECT_EQ(host.lastLog(), "The import of " + dir.file("run.func.gii") +
                                   " as a time course is cancelled: no repetition time was given.");
    EXPECT_TRUE(host.savedTimeCourses.empty());
}

TEST_F(TimeSeriesImportTest, ArraysThatDoNotFitTheSurfaceOrEachOtherAreRefusedBeforeTheHostIsTouched) {
    host.currentSurface->nrOfVertices = 5;
    EXPECT_FALSE(import({volume("0 1 2 3")}));
    EXPECT_EQ(host.messages, std::vector<std::string>{"The number of vertices of the time series is not equal to number "
                                                      "of vertices in surface. Process terminated."});
    EXPECT_FALSE(host.timeCourseInfo);
    EXPECT_TRUE(host.savedTimeCourses.empty());
    EXPECT_EQ(host.lastLog(), "The time series has 4 vertices, the current surface 5.");

    // Plain arrays without a time: the surface is checked before the TR is asked for.
    host.questions.clear();
    host.integerAnswers = {720};
    const std::string plain = dataArray("NIFTI_INTENT_NONE", "NIFTI_TYPE_FLOAT32", "Dimensionality=\"1\" Dim0=\"4\"",
                                        "0 1 2 3");
    EXPECT_FALSE(importFile(kFileTypeMtc, "run.func.gii", gifti({plain}, "<LabelTable/>", md("TimeStep", "0")),
                            {.asTimeCourse = true}));
    EXPECT_TRUE(host.questions.empty());
    EXPECT_EQ(host.lastLog(), "The time series has 4 vertices, the current surface 5.");
    // On the right surface, the log says why the TR is asked for.
    host.currentSurface->nrOfVertices = 4;
    ASSERT_TRUE(importFile(kFileTypeMtc, "run.func.gii", gifti({plain}, "<LabelTable/>", md("TimeStep", "0")),
                           {.asTimeCourse = true}));
    EXPECT_EQ(host.questions.size(), 1u);
    EXPECT_THAT(host.logText(), HasSubstr("The TimeStep \"0\" of the file's metadata is not a usable time: TR 0 ms.\n"));
    host.currentSurface->nrOfVertices = 5;
    host.timeCourseInfo.reset();
    host.savedTimeCourses.clear();

    EXPECT_FALSE(import({volume("0 1 2 3"), volume("1 2 3", 3)}));
    EXPECT_EQ(host.lastMessage(), "The time series in " + dir.file("run1.time.gii") +
                                        " cannot be imported: data array 1 is not a list of 4 values like the first.");
    EXPECT_FALSE(import({volume("0 1 2 3"), volume("1 2")}));
    EXPECT_FALSE(host.timeCourseInfo);
}

TEST_F(TimeSeriesImportTest, FailedSaveAndLinkAreReported) {
    host.saveResult = 0;
    EXPECT_FALSE(import({volume("0 1 2 3")}, false, true));
    EXPECT_EQ(host.messages, std::vector<std::string>{"Corvana could not save the mesh time course as " +
                                                      dir.file("run1.time.mtc") + "."});
    EXPECT_EQ(host.log, std::vector<std::string>{"The file gives no TimeStep: TR 0 ms."});  // no "MTC saved as"
    EXPECT_TRUE(host.linkedTimeCourses.empty());

    host.saveResult = 1;
    host.linkResult = 0;
    host.messages.clear();
    EXPECT_TRUE(import({volume("0 1 2 3")}, false, true));
    EXPECT_EQ(host.messages, std::vector<std::string>{
                                 "Mesh time course file (MTC) could not be loaded on current surface file (SRF)."});
}

TEST_F(TimeSeriesExport, VolumesBecomeArraysWithTheTimeStep) {
    HostMtcInfo info{.nrOfVolumes = 3, .nrOfVertices = 4, .tr = 2000};
    std::snprintf(info.mtcFileName, sizeof info.mtcFileName, "%s", dir.file("run1.mtc").c_str());
    host.timeCourseInfo = info;
    host.courses = {{0, 4, 8}, {1, 5, 9}, {2, 6, 10}, {3, 7, 11}};
    ASSERT_TRUE(exportGiftiFile(kFileTypeMtc, true, false, false));
    EXPECT_THAT(host.logText(), HasSubstr("Adding mesh time course of volume: 1\nAdding mesh time course of volume: 2\n"
        "Adding mesh time course of volume: 3\nExported to GIfTI format, name:\n " +
        dir.file("run1.time.gii")));
    const GiftiImagePtr image = readGiftiImage(dir.file("run1.time.gii"), true);
    ASSERT_TRUE(image);
    ASSERT_EQ(image->numDA, 3);
    std::vector<std::string> names(image->meta.name, image->meta.name + image->meta.length);
    ASSERT_GE(names.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 2),
              (std::vector<std::string>{"GIFTI plugin version", "TimeStep"}));
    EXPECT_EQ(test::metaOf(image->meta, "TimeStep"), "2000.000000");
    for (int t = 0; t < 3; ++t) {
        EXPECT_EQ(summary(*image->darray[t]), "2001 16 4 ASCII ");
        EXPECT_EQ(valuesOf<float>(*image->darray[t]), (std::vector<float>{4.0f * t, 4.0f * t + 1, 4.0f * t + 2, 4.0f * t + 3}));
    }
}

TEST_F(TimeSeriesExport, FailuresAreReported) {
    EXPECT_FALSE(exportGiftiFile(kFileTypeMtc, true, false, false));  // no time course in memory
    EXPECT_FALSE(exportGiftiFile(kFileTypeMtc, false, false, false));
    EXPECT_EQ(host.messages, std::vector<std::string>{"No mesh time course file was selected. Procedure finished."});
    test::writeFile(dir.file("run.mtc"), std::string(39, '\0'));  // a header and no volumes
    std::filesystem::create_directory(dir.file("run.time.gii"));
    host.dialogAnswers.push_back(dir.file("run.mtc"));
    host.log.clear();
    EXPECT_FALSE(exportGiftiFile(kFileTypeMtc, false, true, false));
    EXPECT_EQ(host.lastLog(), "Export to GIfTI format did not succeed.");
}
