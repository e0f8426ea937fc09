// The processes a convert run starts: each reads nothing, writes its standard
// output and error into files of its own, and is waited for by the run.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace meshbridge::standin {

// The path of the program that runs, for starting more of itself.
std::string ownProgramPath();

class ChildProcesses {
public:
    ChildProcesses() = default;
    ~ChildProcesses();  // waits for those still running
    ChildProcesses(const ChildProcesses&) = delete;
    ChildProcesses& operator=(const ChildProcesses&) = delete;

    // Starts `program` with `arguments`, its output and errors in the files
    // named; true, or false with the reason.
    bool start(std::int64_t id, const std::string& program, const std::vector<std::string>& arguments,
               const std::string& outputFile, const std::string& errorFile, std::string& problem);

    struct Finished {
        std::int64_t id;
        int exitStatus;  // its exit status; 128 + the signal for one that was killed
    };
    // Waits for any one of the running processes to end; none while none runs.
    std::optional<Finished> waitForAny();

    std::size_t running() const { return running_.size(); }

private:
#ifdef _WIN32
    std::map<void*, std::int64_t> running_;  // by process handle
#else
    std::map<long, std::int64_t> running_;   // by process id
#endif
};

// The command line of `arguments` as the C runtime of a Windows program
// splits it back into the same words.
std::string windowsCommandLine(const std::vector<std::string>& arguments);

}  // namespace meshbridge::standin
