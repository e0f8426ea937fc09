#include "formats/mtc_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <tuple>

#include "tests/support/bytes.h"
#include "tests/support/host_test.h"

using ::testing::HasSubstr;
using namespace meshbridge;
using meshbridge::test::Bytes;

namespace {

// Two vertices, three volumes: volume 0 of vertex 0, volume 0 of vertex 1, volume 1 of vertex 0, ...
Bytes twoByThree(std::int32_t version = 1) {
    Bytes b;
    b.i32(version).i32(2).i32(3).text("").text("");
    b.i32(1).f32(2000.4f).f32(6.0f).f32(16.0f).i32(10).i32(2).i8(1);
    for (float v : {0.0f, 10.0f, 1.0f, 11.0f, 2.0f, 12.0f}) b.f32(v);
    return b;
}

}  // namespace

class MtcFile : public test::HostTest {};

TEST_F(MtcFile, ReadsVolumeAfterVolumeAndPrintsTheHeader) {
    const Bytes bytes = twoByThree();
    EXPECT_EQ(bytes.size(), 39u + 24u);  // the header of a file without names is 39 bytes
    test::writeFile(dir.file("run.mtc"), bytes.str());
    MtcData mtc;
    ASSERT_TRUE(readMtcFile(dir.file("run.mtc"), mtc));
    mtc.fileName = "run1.mtc";
    EXPECT_EQ(mtcHeaderText(mtc),
              "\nMTC filename: \nrun1.mtc\nFile type: mesh time course (*.mtc)\nFileversion: 1\n"
              "Number of vertices: 2\nNumber of volumes: 3\nVTC filename: \nPRT filename: \n"
              "TR in milliseconds:   2000\nHRF: 1\nHRF delta: 6.000000\nHRF tau: 16.000000\nSegment size: 10\n"
              "Segment offset: 2\n");
    EXPECT_EQ(mtc.headerFlag, 1);
    EXPECT_EQ(mtc.data, (HugePageVector<float>{0, 10, 1, 11, 2, 12}));
    test::writeFile(dir.file("v0.mtc"), twoByThree(0).str());
    EXPECT_TRUE(readMtcFile(dir.file("v0.mtc"), mtc));

    test::writeFile(dir.file("run.mtc"), twoByThree().str());
    host.dialogAnswers.push_back(dir.file("run.mtc"));
    EXPECT_TRUE(printMtcFile(true, true, false));
    EXPECT_EQ(host.dialogs[0].title, "Please select the Corvana Mesh Time Course file");
    EXPECT_THAT(test::readFile(dir.file("run_info.txt")), HasSubstr("Number of volumes: 3\n"));
    EXPECT_FALSE(printMtcFile(true, false, true));
    EXPECT_EQ(host.messages, std::vector<std::string>{"No Mesh Time Course file was selected. Procedure finished."});
}

TEST_F(MtcFile, NewerVersionsAndDamagedFilesAreRefused) {
    test::writeFile(dir.file("v2.mtc"), twoByThree(2).str());
    EXPECT_TRUE(isFailedLoad(loadMtc(dir.file("v2.mtc"), true)));
    EXPECT_EQ(host.messages, std::vector<std::string>{"MTC file version 2 is not supported; versions up to 1 can be read."});
    EXPECT_EQ(host.log, (std::vector<std::string>{dir.file("v2.mtc") + " cannot be read: its file version 2 is not "
                                                                        "supported.",
                                                  "Reading of mesh time course (MTC) file did not succeed."}));
    // -1 is no version, whatever else marks a failed load.
    host.messages.clear();
    test::writeFile(dir.file("v-1.mtc"), twoByThree(-1).str());
    EXPECT_TRUE(isFailedLoad(loadMtc(dir.file("v-1.mtc"), true)));
    EXPECT_EQ(host.messages, std::vector<std::string>{"MTC file version -1 is not supported; versions up to 1 can be read."});

    const std::string bytes = twoByThree().str();
    for (std::size_t length = 0; length < bytes.size(); ++length) {
        host.log.clear();
        test::writeFile(dir.file("cut.mtc"), bytes.substr(0, length));
        const MtcData mtc = loadMtc(dir.file("cut.mtc"), true);
        EXPECT_TRUE(isFailedLoad(mtc)) << length;
        EXPECT_TRUE(mtc.data.empty());
        if (length >= 4) {
            ASSERT_EQ(host.log.size(), 3u) << length;
            EXPECT_EQ(host.log[0], "Error while reading *.mtc file.");
            EXPECT_EQ(host.log[1].rfind(dir.file("cut.mtc") + " cannot be read: ", 0), 0u) << host.log[1];
            EXPECT_EQ(host.log[2], "Reading of mesh time course (MTC) file did not succeed.");
        }
        if (length == 5) {
            EXPECT_EQ(host.log[1], dir.file("cut.mtc") +
                                       " cannot be read: header: the file ends at byte 5, within a value of 4 bytes "
                                       "at byte 4.");
        }
    }
    // V x N beyond 32 bits, in a small file.
    std::string huge = bytes;
    huge.replace(4, 8, Bytes().i32(0x10000).i32(0x10000).str());
    test::writeFile(dir.file("huge.mtc"), huge);
    EXPECT_TRUE(isFailedLoad(loadMtc(dir.file("huge.mtc"), true)));
    huge.replace(4, 4, Bytes().i32(-1).str());
    test::writeFile(dir.file("huge.mtc"), huge);
    EXPECT_TRUE(isFailedLoad(loadMtc(dir.file("huge.mtc"), true)));
    EXPECT_TRUE(isFailedLoad(loadMtc(dir.file("missing.mtc"), true)));
    EXPECT_EQ(host.lastMessage(), "File could not be accessed.\nPlease check if it is opened in other programs.");
}

TEST_F(MtcFile, HostCoursesAreCopiedVolumeByVolumeInBlocks) {
    host.timeCourseInfo = HostMtcInfo{.nrOfVolumes = 3, .nrOfVertices = 2, .tr = 2000,
                                      .mtcFileName = "C:\\data\\run1.mtc", .vtcFileName = "run1.vtc"};
    host.courses = {{0, 1, 2}, {10, 11, 12}};
    const MtcData mtc = loadMtc("none", false);
    ASSERT_FALSE(isFailedLoad(mtc));
    EXPECT_EQ(std::tuple(mtc.version, mtc.fileName, mtc.vtcFileName, mtc.tr),
              std::tuple(1, "C:\\data\\run1.mtc", "run1.vtc", 2000.0f));
    EXPECT_EQ(mtc.data, (HugePageVector<float>{0, 10, 1, 11, 2, 12}));

    host.timeCourseInfo.reset();
    EXPECT_TRUE(isFailedLoad(loadMtc("none", false)));
    EXPECT_EQ(host.log, (std::vector<std::string>{
                            "Could not get current mesh time course (MTC).\nPlease select the option 'Load in memory' "
                            "when linking the MTC.",
                            "Reading of mesh time course (MTC) file did not succeed."}));

    const std::size_t vertices = 130, volumes = 70;
    std::vector<std::vector<float>> courses(vertices, std::vector<float>(volumes));
    std::vector<float*> pointers;
    for (std::size_t v = 0; v < vertices; ++v) {
        for (std::size_t t = 0; t < volumes; ++t) courses[v][t] = static_cast<float>(v * 1000 + t);
        pointers.push_back(courses[v].data());
    }
    std::vector<float> volumeMajor(vertices * volumes);
    coursesToVolumes(pointers.data(), vertices, volumes, volumeMajor.data());
    EXPECT_EQ(volumeMajor[69 * vertices + 129], 129069.0f);
    std::vector<std::vector<float>> back(vertices, std::vector<float>(volumes));
    std::vector<float*> backPointers;
    for (auto& course : back) backPointers.push_back(course.data());
    std::vector<const float*> volumePointers;
    for (std::size_t t = 0; t < volumes; ++t) volumePointers.push_back(volumeMajor.data() + t * vertices);
    volumesToCourses(volumePointers.data(), vertices, volumes, backPointers.data());
    EXPECT_EQ(back, courses);
}

