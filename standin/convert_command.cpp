#include "standin/convert_command.h"

#include <chrono>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <map>
#include <random>
#include <sstream>
#include <thread>

#include "standin/child_processes.h"
#include "standin/convert_plan.h"
#include "standin/terminal.h"


namespace meshbridge::standin {

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kExitUsage = 2;

std::string fileText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The vertex count in the header of an SRF file, or -1.
std::int64_t srfVertexCount(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    unsigned char header[12] = {};
    if (!in.read(reinterpret_cast<char*>(header), sizeof header)) return -1;
    const std::uint32_t count = header[8] | (header[9] << 8) | (header[10] << 16) | (static_cast<std::uint32_t>(header[11]) << 24);
    return static_cast<std::int32_t>(count);
}

bool needsMesh(const PlannedInput& input) {
    return input.recognised.kind == InputKind::GiftiTimeSeries || input.recognised.namesItsVertices;
}

bool takesMapType(InputKind kind) {
    return kind == InputKind::GiftiMaps || kind == InputKind::Overlay || kind == InputKind::Morphometry ||
           kind == InputKind::CiftiScalars;
}

std::string secondsText(double seconds) {
    std::ostringstream text;
    text << std::fixed;
    if (seconds < 90.0) {
        text << std::setprecision(0) << seconds << " s";
    } else if (seconds < 5400.0) {
        text << std::setprecision(0) << seconds / 60.0 << " min";
    } else {
        text << std::setprecision(1) << seconds / 3600.0 << " h";
    }
    return text.str();
}

// A folder of its own for the runs' output and errors, removed at the end.
class ScratchFolder {
public:
    ScratchFolder() {
        std::error_code error;
        std::random_device random;
        const fs::path base = fs::temp_directory_path(error);
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            const fs::path candidate = base / ("meshbridge-convert-" + std::to_string(random()));
            if (fs::create_directory(candidate, error)) path_ = candidate;
        }
    }
    ~ScratchFolder() {
        std::error_code error;
        if (!path_.empty()) fs::remove_all(path_, error);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

class ConvertRun {
public:
    ConvertRun(const Invocation& invocation, std::string pluginPath, std::vector<PlannedInput> inputs)
        : invocation_(invocation), pluginPath_(std::move(pluginPath)), inputs_(std::move(inputs)),
          terminal_(isTerminal(stderr)) {}

    // Converts every input, the report's rows written to `report` as they come.
    void run(std::ostream& report, const std::map<std::string, EarlierConversion>& earlier);

    int converted = 0, refused = 0, leftOut = 0;

private:
    struct Running {
        std::size_t input;
        Clock::time_point started;
        std::string surface;  // the surface it is paired with, if any
    };

    std::vector<std::string> importArguments(const PlannedInput& input, const std::string& surface) const;
    bool startNext(std::deque<std::size_t>& queue, bool dependent);
    void finish(std::size_t index, Outcome outcome, double seconds);
    void showProgress();

    const Invocation& invocation_;
    const std::string pluginPath_;
    const std::vector<PlannedInput> inputs_;
    const bool terminal_;
    const std::string program_ = ownProgramPath();
    ScratchFolder scratch_;
    ChildProcesses children_;
    std::map<std::int64_t, Running> running_;
    std::vector<ConvertedSurface> surfaces_;
    std::map<std::string, std::string> claimedOutputs_;  // each output and the input that made it
    std::ostream* report_ = nullptr;
    Clock::time_point start_ = Clock::now();
    std::size_t done_ = 0;
    int surfacesRunning_ = 0;
};

std::vector<std::string> ConvertRun::importArguments(const PlannedInput& input, const std::string& surface) const {
    std::vector<std::string> arguments{"--plugin", pluginPath_, "import", input.path};
    if (!input.outputFolder.empty()) arguments.insert(arguments.end(), {"--output", input.outputFolder});
    // A name that says shape values answers what the values are.
    const bool shapeByName = takesMapType(input.recognised.kind) && namedAfterShapeValues(input.path);
    for (std::size_t i = 0; i + 1 < invocation_.passedOn.size(); i += 2) {
        if (shapeByName && invocation_.passedOn[i] == "--map-type") continue;
        arguments.insert(arguments.end(), {invocation_.passedOn[i], invocation_.passedOn[i + 1]});
    }
    if (shapeByName) arguments.insert(arguments.end(), {"--map-type", "shape"});
    // A time series takes its TR from the file or its sidecar, else from --tr: never 0 unasked.
    if (input.recognised.kind == InputKind::GiftiTimeSeries) arguments.push_back("--as-time-course");
    if (!surface.empty()) arguments.insert(arguments.end(), {"--surface", surface});
    return arguments;
}

bool ConvertRun::startNext(std::deque<std::size_t>& queue, bool dependent) {
    while (!queue.empty()) {
        const std::size_t index = queue.front();
        queue.pop_front();
        const PlannedInput& input = inputs_[index];
        std::string surface;
        if (dependent) {
            const std::optional<ConvertedSurface> paired = pairedSurface(input, surfaces_);
            if (!paired) {
                Outcome outcome{Status::LeftOut, {}, ""};
                outcome.reason = "no surface of its hemisphere (" + input.hemisphere + ")" +
                                 (input.recognised.vertices >= 0
                                      ? " with its " + std::to_string(input.recognised.vertices) + " vertices"
                                      : std::string()) +
                                 " was converted in " + (input.subject.empty() ? "." : input.subject);
                finish(index, outcome, 0.0);
                continue;
            }
            surface = paired->srf;
        }
        std::error_code error;
        if (!input.outputFolder.empty()) fs::create_directories(input.outputFolder, error);
        const std::string stem = (scratch_.path() / std::to_string(index)).string();
        std::string problem;
        if (scratch_.path().empty()) problem = "no temporary folder for the imports' output can be made";
        if (problem.empty() && children_.start(static_cast<std::int64_t>(index), program_,
                                               importArguments(input, surface), stem + ".out", stem + ".err", problem)) {
            running_[static_cast<std::int64_t>(index)] = Running{index, Clock::now(), surface};
            if (isSurfaceKind(input.recognised.kind)) ++surfacesRunning_;
            return true;
        }
        finish(index, Outcome{Status::Refused, {}, problem}, 0.0);
    }
    return false;
}

void ConvertRun::finish(std::size_t index, Outcome outcome, double seconds) {
    const PlannedInput& input = inputs_[index];
    ++done_;
    // Two files of one name but their extensions (lh.white, lh.white.gii)
    // make the same output: the later replaced the earlier's, which is said.
    for (const std::string& output : outcome.outputs) {
        const auto [claim, fresh] = claimedOutputs_.emplace(output, input.path);
        if (fresh || outcome.status != Status::Converted) continue;
        outcome.status = Status::Refused;
        outcome.reason = "its output " + output + " is also that of " + claim->second +
                         ", which it replaced: rename one of them and convert again";
    }
    if (outcome.status == Status::Converted) ++converted;
    if (outcome.status == Status::Refused) ++refused;
    if (outcome.status == Status::LeftOut) ++leftOut;
    if (outcome.status == Status::Converted && isSurfaceKind(input.recognised.kind)) {
        for (const std::string& output : outcome.outputs)
            surfaces_.push_back({input.path, output, srfVertexCount(output), input.subject, input.hemisphere});
    }
    *report_ << reportRow(input.path, inputKindName(input.recognised.kind), outcome, seconds) << "\n" << std::flush;
    if (outcome.status != Status::Converted || !terminal_) {
        std::string line = std::string(statusName(outcome.status)) + " " + input.path;
        if (!outcome.outputs.empty()) {
            line += " ->";
            for (const std::string& output : outcome.outputs) line += " " + output;
        }
        if (!outcome.reason.empty()) line += ": " + outcome.reason;
        if (terminal_) std::cerr << "\r\033[K";
        std::cout << line << "\n" << std::flush;
    }
    showProgress();
}

void ConvertRun::showProgress() {
    if (!terminal_) return;
    const double elapsed = std::chrono::duration<double>(Clock::now() - start_).count();
    const std::size_t left = inputs_.size() - done_;
    std::string line = "meshbridge: " + std::to_string(done_) + " of " + std::to_string(inputs_.size()) + " done, " +
                       std::to_string(refused + leftOut) + " failed, " + std::to_string(left) + " left";
    if (done_ > 0 && left > 0) line += ", about " + secondsText(elapsed / static_cast<double>(done_) * static_cast<double>(left)) + " to go";
    std::cerr << "\r\033[K" << line << std::flush;
}

void ConvertRun::run(std::ostream& report, const std::map<std::string, EarlierConversion>& earlier) {
    report_ = &report;
    const int jobs = invocation_.jobs > 0 ? invocation_.jobs : std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    std::deque<std::size_t> surfaces, independent, dependent;
    for (std::size_t i = 0; i < inputs_.size(); ++i) {
        const PlannedInput& input = inputs_[i];
        if (const auto done = earlier.find(input.path); done != earlier.end()) {
            finish(i, Outcome{Status::Converted, done->second.outputs, "converted by an earlier run"}, 0.0);
            continue;
        }
        (isSurfaceKind(input.recognised.kind) ? surfaces : needsMesh(input) ? dependent : independent).push_back(i);
    }
    showProgress();
    for (;;) {
        while (children_.running() < static_cast<std::size_t>(jobs)) {
            if (startNext(surfaces, false) || startNext(independent, false)) continue;
            // Files that need a mesh wait until every surface is converted.
            if (surfacesRunning_ == 0 && surfaces.empty() && startNext(dependent, true)) continue;
            break;
        }
        const std::optional<ChildProcesses::Finished> ended = children_.waitForAny();
        if (!ended) break;
        const Running finished = running_[ended->id];
        running_.erase(ended->id);
        if (isSurfaceKind(inputs_[finished.input].recognised.kind)) --surfacesRunning_;
        const std::string stem = (scratch_.path() / std::to_string(finished.input)).string();
        Outcome outcome = outcomeOfImport(ended->exitStatus, fileText(stem + ".out"), fileText(stem + ".err"));
        if (outcome.status == Status::Converted && !finished.surface.empty())
            outcome.reason = "on the surface " + finished.surface;
        std::error_code error;
        fs::remove(stem + ".out", error);
        fs::remove(stem + ".err", error);
        finish(finished.input, outcome, std::chrono::duration<double>(Clock::now() - finished.started).count());
    }
    if (terminal_) std::cerr << "\r\033[K" << std::flush;
}

}  // namespace

int runConvert(const Invocation& invocation, const std::string& pluginPath) {
    const auto startTime = Clock::now();
    std::error_code error;
    const std::string outputRoot = invocation.outputFolder;
    if (!outputRoot.empty() && !fs::create_directories(outputRoot, error) && error) {
        std::cerr << "meshbridge: convert: cannot make the output folder " << outputRoot << ": " << error.message() << "\n";
        return kExitUsage;
    }
    FoundInputs found = findInputs(invocation.files, outputRoot);
    if (!found.missing.empty()) {
        std::cerr << "meshbridge: convert: " << found.missing.front() << " is no file or folder\n";
        return kExitUsage;
    }
    std::vector<PlannedInput> inputs = shareOf(std::move(found.inputs), invocation.shardIndex, invocation.shardCount);

    const std::string reportName = invocation.shardCount > 1 ? "meshbridge-report." + std::to_string(invocation.shardIndex) +
                                                                   "-of-" + std::to_string(invocation.shardCount) + ".tsv"
                                                             : "meshbridge-report.tsv";
    const fs::path reportPath = (outputRoot.empty() ? fs::path(".") : fs::path(outputRoot)) / reportName;
    // With --skip-existing, what an earlier run converted (its outputs all
    // still there) is not converted again.
    std::map<std::string, EarlierConversion> earlier;
    if (invocation.skipExisting) {
        for (EarlierConversion& row : convertedInReport(fileText(reportPath))) {
            bool complete = !row.outputs.empty();
            for (const std::string& output : row.outputs) complete = complete && fs::is_regular_file(output, error);
            if (complete) earlier[row.path] = std::move(row);
        }
    }
    std::ofstream report(reportPath, std::ios::binary | std::ios::trunc);
    if (!report) {
        std::cerr << "meshbridge: convert: cannot write the report " << reportPath.string() << "\n";
        return kExitUsage;
    }
    // The reports of the shards of one run concatenate into one: the header is the first share's.
    if (invocation.shardIndex == 1) report << kReportHeader << "\n" << std::flush;

    ConvertRun run(invocation, pluginPath, std::move(inputs));
    run.run(report, earlier);
    report.close();
    const double seconds = std::chrono::duration<double>(Clock::now() - startTime).count();
    std::cout << "meshbridge: " << run.converted << " converted, " << run.refused << " refused, " << run.leftOut
              << " left out, " << found.unrecognised << " not recognised, in " << secondsText(seconds)
              << "; report: " << reportPath.string() << "\n";
    if (!report) {
        std::cerr << "meshbridge: convert: the report " << reportPath.string() << " could not be written completely\n";
        return 1;
    }
    return run.refused + run.leftOut == 0 ? 0 : 1;
}

}  // namespace meshbridge::standin
