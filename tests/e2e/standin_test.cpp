// The stand-in host's command line and the plug-in's shell, end to end.
#include <gtest/gtest.h>

#include "tests/e2e/process.h"

using namespace meshbridge::test;

TEST(StandinHost, VersionNamesThePlugin) {
    const ProcessResult result = runMeshbridge({"--version"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out.substr(0, result.out.find('\n')), "Meshbridge (v1.6)");
    EXPECT_NE(result.out.find("Plug-in version: 1.6\n"), std::string::npos);
    EXPECT_NE(result.out.find("meshbridge_v16.js"), std::string::npos);
}

TEST(StandinHost, HelpDescribesCommandsAndExitStatus) {
    const ProcessResult result = runMeshbridge({"--help"});
    EXPECT_EQ(result.exitCode, 0);
    for (const char* part : {"Usage: meshbridge", "print FILE", "--to-file", "--no-log", "run [FILE...]",
                             "--param NAME=VALUE", "--answer VALUE", "--host-version", "--plugin PATH",
                             "Exit status"}) {
        EXPECT_NE(result.out.find(part), std::string::npos) << part;
    }
}

TEST(StandinHost, UsageErrorsExitWithTwo) {
    const std::vector<std::vector<std::string>> misuses = {
        {},
        {"frobnicate"},
        {"print"},
        {"print", "a.gii", "b.gii"},
        {"print", "notes.txt"},
        {"print", "a.gii", "--bogus"},
        {"print", "a.gii", "--param", "Command=Print"},
        {"run", "--param", "novalue"},
        {"run", "--host-version", "2.x"},
        {"run", "--answer"},
        {"print", "a.gii", "--plugin", "/no/such/library.so"},
        {"import", "/tmp/" + std::string(247, 'x') + ".gii"},  // 256 bytes: more than a host path holds
        {"export", "--current", "--maps", std::string(300, 'm') + ".smp"},
    };
    for (const auto& arguments : misuses) {
        const ProcessResult result = runMeshbridge(arguments);
        std::string shown;
        for (const auto& a : arguments) shown += a + " ";
        EXPECT_EQ(result.exitCode, 2) << shown;
        EXPECT_NE(result.err.find("meshbridge: "), std::string::npos) << shown;
        EXPECT_EQ(result.out, "") << shown;
    }
}

TEST(StandinHost, OldHostIsRefusedWithTheMessageBox) {
    for (const char* version : {"2.9.4", "2.8.9"}) {
        const ProcessResult result = runMeshbridge({"run", "--host-version", version, "--param", "Command=Print"});
        EXPECT_EQ(result.exitCode, 2) << version;
        EXPECT_EQ(result.out, "Initialising plugin...\n");
        EXPECT_NE(result.err.find("[message box] Can not execute this plugin - Corvana version 20.0 or higher "
                                  "required."),
                  std::string::npos);
    }
    for (const char* version : {"2.9.5", "2.10.0"}) {
        const ProcessResult result = runMeshbridge({"run", "--host-version", version, "--param", "Command=Hello"});
        EXPECT_EQ(result.exitCode, 0) << version << result.err;
    }
}

TEST(StandinHost, RunSendsAnyCommand) {
    ProcessResult result = runMeshbridge({"run", "--param", "Command=Frobnicate"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, commandPreamble("Frobnicate") + "Received unknown command: Frobnicate\n");

    result = runMeshbridge({"run", "--param", "Command=Print", "--param", "FileTypeId=6"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, commandPreamble("Print"));

    result = runMeshbridge({"run", "--param=Command=Print", "--param", "FileTypeId=1"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("file dialog \"Please select the GIFTI file\" (*.gii): cancelled"), std::string::npos);
    EXPECT_NE(result.err.find("[message box] No GIFTI file was selected. Procedure finished."), std::string::npos);
}
