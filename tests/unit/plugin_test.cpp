#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>
#include <tuple>

#include "host/host_functions.h"
#include "common/plugin_info.h"
#include "plugin/giftiplugin.h"
#include "tests/support/fake_host.h"

using meshbridge::test::FakeHost;

TEST(PluginInit, AcceptsHostsFrom295OnAndBindsEveryHostFunctionByName) {
    const struct {
        int version[3];
        bool accepted;
    } cases[] = {{{2, 9, 5}, true},   {{2, 10, 0}, true}, {{3, 0, 0}, true},
                 {{2, 9, 4}, false},  {{2, 8, 9}, false}, {{1, 99, 99}, false}};
    for (const auto& c : cases) {
        FakeHost host;
        std::copy(c.version, c.version + 3, host.version);
        giftiplugin plugin;
        EXPECT_EQ(plugin.initPlugin(), c.accepted) << c.version[0] << "." << c.version[1] << "." << c.version[2];
        EXPECT_EQ(host.log, std::vector<std::string>{"Initialising plugin..."});
        EXPECT_EQ(host.messages, c.accepted ? std::vector<std::string>{}
                                            : std::vector<std::string>{"Can not execute this plugin - Corvana version "
                                                                       "20.0 or higher required."});
        // A plug-in refused by its host does nothing when asked to run.
        host.log.clear();
        host.stringParameters["Command"] = "Print";
        EXPECT_EQ(plugin.execute(), c.accepted);
        EXPECT_EQ(host.log.empty(), !c.accepted);
    }

    FakeHost host;
    meshbridge::hostFunctions() = {};
    giftiplugin plugin;
    ASSERT_TRUE(plugin.initPlugin());
    const auto& table = meshbridge::hostFunctions();
#define EXPECT_BOUND(name) EXPECT_EQ(table.name, &::name) << #name;
    MESHBRIDGE_HOST_FUNCTIONS(EXPECT_BOUND)
#undef EXPECT_BOUND
}

class PluginCommandTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(plugin.initPlugin()); host.log.clear(); }

    FakeHost host;
    giftiplugin plugin;
};

TEST_F(PluginCommandTest, UnknownCommandsAndFileTypesSucceedAndEachCommandReadsItsParameters) {
    host.stringParameters["Command"] = "Print";
    EXPECT_FALSE(giftiplugin().execute());
    EXPECT_TRUE(host.log.empty());
    for (const std::string command : {"import", "Import ", "Printx", ""}) {
        host.log.clear();
        host.stringParameters["Command"] = command;
        EXPECT_TRUE(plugin.execute()) << command;
        EXPECT_EQ(host.log, (std::vector<std::string>{"Meshbridge 1.6 is running!",
                                                      "Command received: " + command,
                                                      "Received unknown command: " + command}));
    }

    for (int fileType : {0, 6}) {
        host.log.clear();
        host.stringParameters["Command"] = "Print";
        host.intParameters["FileTypeId"] = fileType;
        EXPECT_TRUE(plugin.execute());
        EXPECT_EQ(host.log, (std::vector<std::string>{"Meshbridge 1.6 is running!", "Command received: Print"}));
        EXPECT_TRUE(host.dialogs.empty());
    }
    const std::pair<const char*, std::vector<std::string>> commands[] = {
        {"Print", {"FileTypeId", "PrintToLog", "PrintToFile", "UseCurrentFile"}},
        {"Import", {"FileTypeId", "PrintToLogtab", "OpenInCRZT", "ReverseWinding", "AddColorsFile", "DoImportAsTimeCourse"}},
        {"Export", {"FileTypeId", "DoBinaryExport", "UseCurrentFile", "DoExportColors", "DoExportLabelsPerVertex",
                    "DoExportRetinotopyAsReal", "DoExportCifti", "DoExportFreeSurfer"}}};
    for (const auto& [command, parameters] : commands) {
        host.intParametersRead.clear();
        host.stringParameters["Command"] = command;
        plugin.execute();
        EXPECT_EQ(host.intParametersRead, parameters) << command;
    }
}

TEST_F(PluginCommandTest, PrintOfGiftiAlwaysAsksForAFileAndAMissingHostFunctionFailsIt) {
    host.stringParameters["Command"] = "Print";
    host.intParameters = {{"FileTypeId", meshbridge::kFileTypeGifti}, {"UseCurrentFile", 1}, {"PrintToLog", 1}};
    EXPECT_FALSE(plugin.execute());  // the dialog is cancelled
    ASSERT_EQ(host.dialogs.size(), 1u);
    EXPECT_EQ(std::tie(host.dialogs[0].title, host.dialogs[0].filter, host.dialogs[0].initialFolder),
              std::tuple("Please select the GIFTI file", "*.gii", ""));
    EXPECT_EQ(host.messages, std::vector<std::string>{"No GIFTI file was selected. Procedure finished."});

    // Export starts from the host's kinds of file: with GIFTI chosen it says so and fails.
    host.messages.clear();
    host.dialogs.clear();
    host.stringParameters["Command"] = "Export";
    EXPECT_FALSE(plugin.execute());
    EXPECT_TRUE(host.dialogs.empty());
    EXPECT_EQ(host.messages, std::vector<std::string>{"Export starts from an SRF, MTC, SMP or POI file: choose one of "
                                                      "these as the file type (GIFTI files are what Export makes). "
                                                      "Procedure finished."});

    meshbridge::hostFunctions().ztGetOpenFileName = nullptr;
    host.stringParameters["Command"] = "Print";
    host.intParameters = {{"FileTypeId", meshbridge::kFileTypeGifti}};
    EXPECT_FALSE(plugin.execute());
    EXPECT_EQ(host.lastLog(), "Corvana does not provide ztGetOpenFileName; the command cannot run.");
    // Without the parameter function the command is not even read.
    host.log.clear();
    meshbridge::hostFunctions().ztGetIntParameter = nullptr;
    EXPECT_FALSE(plugin.execute());
    EXPECT_EQ(host.log, (std::vector<std::string>{"Meshbridge 1.6 is running!",
                                                  "Corvana does not provide ztGetIntParameter; the command cannot run."}));
}


TEST_F(PluginCommandTest, AnExceptionInsideACommandEndsItWithAMessageInsteadOfLeavingThePlugin) {
    host.stringParameters["Command"] = "Import";
    auto& table = meshbridge::hostFunctions();
    const auto bound = table.ztGetIntParameter;
    table.ztGetIntParameter = [](const char*) -> int { throw std::bad_alloc(); };
    EXPECT_FALSE(plugin.execute());
    const std::string memory = "The Import command could not finish: it needs more memory than can be had. Nothing was written.";
    EXPECT_EQ(host.lastLog(), memory);
    EXPECT_EQ(host.lastMessage(), memory);
    host.stringParameters["Command"] = "Export";
    table.ztGetIntParameter = [](const char*) -> int { throw std::runtime_error("a disk went away"); };
    EXPECT_FALSE(plugin.execute());
    EXPECT_EQ(host.lastLog(), "The Export command could not finish: a disk went away. Nothing was written.");
    table.ztGetIntParameter = bound;
}
