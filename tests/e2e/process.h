// Running programs from end-to-end tests: the stand-in host and the
// independent GIFTI readers.
#pragma once

#include <string>
#include <vector>

namespace meshbridge::test {

struct ProcessResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs a program with standard input from the null device, in
// `workingDirectory` when one is given.
ProcessResult runProcess(const std::vector<std::string>& command, const std::string& workingDirectory = "");

// Runs the stand-in host with the given arguments. MESHBRIDGE_E2E_COMMAND in
// the environment (words separated by blanks) replaces the program, for
// instance to run a Windows build under an emulator.
ProcessResult runMeshbridge(const std::vector<std::string>& arguments, const std::string& workingDirectory = "");

// Runs the stand-in host and records a failure unless it exits with 0.
ProcessResult runMeshbridgeOk(const std::vector<std::string>& arguments);

// The sample octahedron imported into `folder` as oct.surf.srf (beside oct.surf.gii); its path.
std::string importedOctahedron(const std::string& folder);

// The build of this platform, whatever MESHBRIDGE_E2E_COMMAND says.
ProcessResult runNativeMeshbridge(const std::vector<std::string>& arguments, const std::string& workingDirectory = "");

// True when MESHBRIDGE_E2E_PLATFORM says the stand-in runs as a Windows program.
bool testingWindowsBuild();

// A text file's expected bytes: files written in text mode (GIFTI and SRF
// header dumps, POI files) end their lines with "\r\n" on Windows.
std::string inTextMode(const std::string& text);

// The log lines that every command starts with.
std::string commandPreamble(const std::string& command);

// Folder of nibabel's own GIFTI test files.
std::string nibabelDataDir();

// Interpreter that has nibabel.
inline const char* kPython = "/usr/bin/python3";

// What wb_command, a third independent GIFTI reader, says against `path`:
// empty when it opens the file and reports its contents without a warning or
// an error (warnings pass when `warningsAllowed`), else its whole output.
std::string workbenchComplaint(const std::string& path, bool warningsAllowed = false);

// What gifti_arrays.py, a GIFTI reader of this suite's own, reads in `path`.
std::string giftiArrays(const std::string& path);

// Script of this test suite, by file name.
std::string testScript(const std::string& name);

}  // namespace meshbridge::test
