#include "import/bids_sidecar.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/temp_dir.h"

using namespace meshbridge;

TEST(BidsSidecar, TakesOnlyATopLevelNumberOfValidJson) {
    const std::string key = "RepetitionTime";
    EXPECT_EQ(jsonNumber(R"({"RepetitionTime": 2})", key), "2");
    EXPECT_EQ(jsonNumber(" {\n\t\"TaskName\": \"rest \\\"RepetitionTime\\\": 9\", \"SliceTiming\": [0, 0.5, 1e-1],"
                         " \"RepetitionTime\":0.72 , \"x\": {\"RepetitionTime\": 5}, \"ok\": true, \"n\": null}",
                         key),
              "0.72");
    EXPECT_EQ(jsonNumber(R"({"Nested": {"RepetitionTime": 5}})", key), std::nullopt);
    EXPECT_EQ(jsonNumber(R"({"RepetitionTime": "2"})", key), std::nullopt);
    EXPECT_EQ(jsonNumber(R"({"RepetitionTime": 2,})", key), std::nullopt);  // no JSON
    EXPECT_EQ(jsonNumber(R"({"RepetitionTime": 2)", key), std::nullopt);
    EXPECT_EQ(jsonNumber(R"({"a": "\u00)", key), std::nullopt);
    EXPECT_EQ(jsonNumber(R"([{"RepetitionTime": 2}])", key), std::nullopt);
    EXPECT_EQ(jsonNumber("", key), std::nullopt);
    EXPECT_EQ(jsonNumber(std::string(1000, '['), key), std::nullopt);
}

TEST(BidsSidecar, TheFilesOwnSidecarElseTheNearestInheritedOne) {
    test::TempDir outer;
    const auto root = outer.path() / "ds";
    const auto file = [&](const char* name) { return (root / name).string(); };
    const auto folder = root / "sub-01" / "func";
    std::filesystem::create_directories(folder);
    const std::string series = (folder / "sub-01_task-rest_hemi-L_space-fsaverage5_bold.func.gii").string();
    test::writeFile(series, "");
    test::writeFile(file("dataset_description.json"), "{}");
    EXPECT_EQ(repetitionTimeFromSidecar(series), std::nullopt);

    // Inherited from the dataset's root; a sidecar above the root is not read.
    test::writeFile(outer.file("bold.json"), R"({"RepetitionTime": 9})");
    test::writeFile(file("task-rest_bold.json"), R"({"RepetitionTime": 2.5})");
    test::writeFile(file("task-other_bold.json"), R"({"RepetitionTime": 7})");
    auto found = repetitionTimeFromSidecar(series);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->milliseconds, 2500.0);
    EXPECT_EQ(found->file, "task-rest_bold.json");
    // A nearer one wins; one without a usable time is passed over.
    test::writeFile((root / "sub-01" / "sub-01_task-rest_bold.json").string(), R"({"RepetitionTime": 0.8})");
    test::writeFile((folder / "sub-01_bold.json").string(), R"({"RepetitionTime": 0})");
    EXPECT_EQ(repetitionTimeFromSidecar(series)->milliseconds, 800.0);
    test::writeFile((folder / "sub-01_task-rest_hemi-L_space-fsaverage5_bold.json").string(),
                    R"({"RepetitionTime": 2, "SkullStripped": false})");
    found = repetitionTimeFromSidecar(series);
    EXPECT_EQ(found->milliseconds, 2000.0);
    EXPECT_EQ(found->text, "2");
    EXPECT_EQ(found->file, "sub-01_task-rest_hemi-L_space-fsaverage5_bold.json");
}
