#include "tests/e2e/process.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <spawn.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <stdexcept>

#include "tests/support/temp_dir.h"

namespace meshbridge::test {

ProcessResult runProcess(const std::vector<std::string>& command, const std::string& workingDirectory) {
    TempDir capture;
    const std::string outPath = capture.file("out");
    const std::string errPath = capture.file("err");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (!workingDirectory.empty()) posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.c_str());
    std::vector<char*> argv;
    for (const auto& word : command) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    pid_t child = 0;
    const int failed = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed) return {127, "", command[0] + ": " + std::strerror(failed)};
    int status = 0;
    waitpid(child, &status, 0);
    ProcessResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = readFile(outPath);
    result.err = readFile(errPath);
    return result;
}

ProcessResult runNativeMeshbridge(const std::vector<std::string>& arguments, const std::string& workingDirectory) {
    std::vector<std::string> command = {MESHBRIDGE_BINARY_DIR "/meshbridge"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return runProcess(command, workingDirectory);
}

bool testingWindowsBuild() {
    const char* platform = std::getenv("MESHBRIDGE_E2E_PLATFORM");
    return platform && std::string(platform) == "windows";
}

std::string inTextMode(const std::string& text) {
    if (!testingWindowsBuild()) return text;
    std::string crlf;
    for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return crlf;
}

ProcessResult runMeshbridge(const std::vector<std::string>& arguments, const std::string& workingDirectory) {
    const char* replacement = std::getenv("MESHBRIDGE_E2E_COMMAND");
    std::vector<std::string> command;
    if (replacement && *replacement) {
        std::istringstream words(replacement);
        for (std::string word; words >> word;) command.push_back(word);
    } else {
        command.push_back(MESHBRIDGE_BINARY_DIR "/meshbridge");
    }
    command.insert(command.end(), arguments.begin(), arguments.end());
    ProcessResult result = runProcess(command, workingDirectory);
    // The stand-in always logs its first line: a run that failed without a
    // word never started (the emulator, loaded by other work, can fail to
    // start a program), and is tried once more.
    if (result.exitCode != 0 && result.out.empty() && result.err.empty()) result = runProcess(command, workingDirectory);
    return result;
}

ProcessResult runMeshbridgeOk(const std::vector<std::string>& arguments) {
    ProcessResult result = runMeshbridge(arguments);
    if (result.exitCode != 0) ADD_FAILURE() << "meshbridge exited with " << result.exitCode << "\n" << result.out << result.err;
    return result;
}

std::string importedOctahedron(const std::string& folder) {
    const std::string gii = folder + "/oct.surf.gii";
    std::filesystem::copy_file(MESHBRIDGE_SOURCE_DIR "/samples/octahedron.surf.gii", gii);
    runMeshbridgeOk({"import", gii});
    return folder + "/oct.surf.srf";
}

std::string commandPreamble(const std::string& command) {
    return "Initialising plugin...\nMeshbridge 1.6 is running!\nCommand received: " + command + "\n";
}

std::string nibabelDataDir() {
    static const std::string dir = [] {
        ProcessResult found = runProcess(
            {kPython, "-c", "import nibabel, os; print(os.path.dirname(nibabel.__file__))"});
        if (found.exitCode != 0) throw std::runtime_error("nibabel is missing: " + found.err);
        while (!found.out.empty() && found.out.back() == '\n') found.out.pop_back();
        return found.out + "/gifti/tests/data";
    }();
    return dir;
}

std::string workbenchComplaint(const std::string& path, bool warningsAllowed) {
    const ProcessResult info = runProcess({"wb_command", "-file-information", path});
    const std::string said = info.out + info.err;
    const bool warned = said.find("WARNING") != std::string::npos;
    if (info.exitCode == 0 && said.find("ERROR") == std::string::npos && (warningsAllowed || !warned)) return "";
    return said.empty() ? "wb_command failed without a word (exit " + std::to_string(info.exitCode) + ")" : said;
}

std::string giftiArrays(const std::string& path) {
    const ProcessResult result = runProcess({kPython, testScript("gifti_arrays.py"), path});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return result.out;
}

std::string testScript(const std::string& name) {
    return MESHBRIDGE_SOURCE_DIR "/tests/e2e/" + name;
}

}  // namespace meshbridge::test
