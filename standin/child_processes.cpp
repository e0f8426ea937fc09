#include "standin/child_processes.h"

#include <chrono>
#include <filesystem>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;
#endif

namespace meshbridge::standin {

std::string windowsCommandLine(const std::vector<std::string>& arguments) {
    std::string line;
    for (const std::string& argument : arguments) {
        if (!line.empty()) line += ' ';
        if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) {
            line += argument;
            continue;
        }
        // Backslashes are literal except before a quote: there, and before the
        // closing quote, each is doubled.
        line += '"';
        std::size_t backslashes = 0;
        for (const char c : argument) {
            if (c == '\\') {
                ++backslashes;
                continue;
            }
            line.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
            backslashes = 0;
            line += c;
        }
        line.append(2 * backslashes, '\\');
        line += '"';
    }
    return line;
}

#ifdef _WIN32

std::string ownProgramPath() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

namespace {

HANDLE inheritableFile(const std::string& path, bool forWriting) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return CreateFileA(path.c_str(), forWriting ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       &inherit, forWriting ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

bool ChildProcesses::start(std::int64_t id, const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& outputFile, const std::string& errorFile, std::string& problem) {
    std::vector<std::string> words{program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::string commandLine = windowsCommandLine(words);
    // The handles are inheritable only until the next start: this process
    // starts its children one after the other and closes them at once.
    const HANDLE input = inheritableFile("NUL", false);
    const HANDLE output = inheritableFile(outputFile, true);
    const HANDLE errors = inheritableFile(errorFile, true);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = errors;
    PROCESS_INFORMATION process{};
    const bool ready = input != INVALID_HANDLE_VALUE && output != INVALID_HANDLE_VALUE && errors != INVALID_HANDLE_VALUE;
    bool started = false;
    DWORD error = ready ? ERROR_SUCCESS : GetLastError();
    // A start that fails for want of something passing (memory, the system's
    // resources, an internal error: Wine's process start fails so now and
    // then) is tried twice more; a missing or unusable program at once fails.
    for (int attempt = 0; ready && !started && attempt < 3; ++attempt) {
        if (attempt > 0) Sleep(static_cast<DWORD>(50 * attempt));
        started = CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                 &startup, &process);
        error = started ? ERROR_SUCCESS : GetLastError();
        const bool passing = error == ERROR_INTERNAL_ERROR || error == ERROR_NO_SYSTEM_RESOURCES ||
                             error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY ||
                             error == ERROR_COMMITMENT_LIMIT;
        if (!started && !passing) break;
    }
    for (const HANDLE handle : {input, output, errors})
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    if (!started) {
        problem = "cannot start " + program + " (Windows error " + std::to_string(error) + ")";
        return false;
    }
    CloseHandle(process.hThread);
    running_[process.hProcess] = id;
    return true;
}

std::optional<ChildProcesses::Finished> ChildProcesses::waitForAny() {
    if (running_.empty()) return std::nullopt;
    std::vector<HANDLE> handles;
    for (const auto& [handle, id] : running_) handles.push_back(handle);
    const DWORD which = WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, INFINITE);
    const std::size_t index = which >= WAIT_OBJECT_0 && which < WAIT_OBJECT_0 + handles.size() ? which - WAIT_OBJECT_0 : 0;
    const HANDLE handle = handles[index];
    WaitForSingleObject(handle, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(handle, &code);
    CloseHandle(handle);
    const std::int64_t id = running_[handle];
    running_.erase(handle);
    // A process ended by an exception reports its code (0xC0000005 and so on).
    return Finished{id, code > 255 ? 128 : static_cast<int>(code)};
}

#else

std::string ownProgramPath() {
    std::error_code error;
    const std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : path.string();
}

bool ChildProcesses::start(std::int64_t id, const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& outputFile, const std::string& errorFile, std::string& problem) {
    std::vector<std::string> words{program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    // A start that fails for want of something passing (processes, memory)
    // is tried twice more; a missing or unusable program at once fails.
    int error = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(50 * attempt));
        error = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
        if (error != EAGAIN && error != ENOMEM) break;
    }
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        problem = "cannot start " + program + ": " + std::strerror(error);
        return false;
    }
    running_[pid] = id;
    return true;
}

std::optional<ChildProcesses::Finished> ChildProcesses::waitForAny() {
    while (!running_.empty()) {
        int status = 0;
        const pid_t pid = waitpid(-1, &status, 0);
        if (pid < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        const auto found = running_.find(pid);
        if (found == running_.end()) continue;
        const std::int64_t id = found->second;
        running_.erase(found);
        return Finished{id, WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status)};
    }
    return std::nullopt;
}

#endif

ChildProcesses::~ChildProcesses() {
    while (waitForAny()) {
    }
}

}  // namespace meshbridge::standin
