#include "bench/bench_support.h"

#ifndef _WIN32
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>

#ifndef _WIN32
extern char** environ;
#endif

namespace meshbridge::bench {

namespace {
constexpr const char* kResultVariable = "MESHBRIDGE_BENCH_RESULT";
}

Mesh icosphere(int level) {
    const float t = (1.0f + std::sqrt(5.0f)) / 2.0f;
    Mesh mesh;
    mesh.xyz = {-1, t, 0, 1, t, 0, -1, -t, 0, 1, -t, 0, 0, -1, t, 0, 1, t,
                0, -1, -t, 0, 1, -t, t, 0, -1, t, 0, 1, -t, 0, -1, -t, 0, 1};
    mesh.triangles = {0, 11, 5, 0, 5, 1, 0, 1, 7, 0, 7, 10, 0, 10, 11, 1, 5, 9, 5, 11, 4, 11, 10, 2,
                      10, 7, 6, 7, 1, 8, 3, 9, 4, 3, 4, 2, 3, 2, 6, 3, 6, 8, 3, 8, 9, 4, 9, 5,
                      2, 4, 11, 6, 2, 10, 8, 6, 7, 9, 8, 1};
    for (int step = 0; step < level; ++step) {
        std::map<std::pair<std::int32_t, std::int32_t>, std::int32_t> midpoints;
        auto midpoint = [&](std::int32_t a, std::int32_t b) {
            const auto key = std::make_pair(std::min(a, b), std::max(a, b));
            const auto found = midpoints.find(key);
            if (found != midpoints.end()) return found->second;
            const auto index = static_cast<std::int32_t>(mesh.xyz.size() / 3);
            for (int c = 0; c < 3; ++c)
                mesh.xyz.push_back((mesh.xyz[3 * static_cast<std::size_t>(a) + c] +
                                    mesh.xyz[3 * static_cast<std::size_t>(b) + c]) / 2.0f);
            midpoints.emplace(key, index);
            return index;
        };
        std::vector<std::int32_t> finer;
        finer.reserve(mesh.triangles.size() * 4);
        for (std::size_t f = 0; f < mesh.triangles.size(); f += 3) {
            const std::int32_t a = mesh.triangles[f], b = mesh.triangles[f + 1], c = mesh.triangles[f + 2];
            const std::int32_t ab = midpoint(a, b), bc = midpoint(b, c), ca = midpoint(c, a);
            finer.insert(finer.end(), {a, ab, ca, b, bc, ab, c, ca, bc, ab, bc, ca});
        }
        mesh.triangles = std::move(finer);
    }
    // Onto a sphere of radius 80 mm.
    for (std::size_t v = 0; v < mesh.xyz.size(); v += 3) {
        const float length = std::sqrt(mesh.xyz[v] * mesh.xyz[v] + mesh.xyz[v + 1] * mesh.xyz[v + 1] +
                                       mesh.xyz[v + 2] * mesh.xyz[v + 2]);
        for (int c = 0; c < 3; ++c) mesh.xyz[v + static_cast<std::size_t>(c)] *= 80.0f / length;
    }
    return mesh;
}

std::uint64_t nowNanoseconds() {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

double secondsSince(std::uint64_t startNanoseconds) {
    return static_cast<double>(nowNanoseconds() - startNanoseconds) / 1e9;
}

void reportStepSeconds(double seconds) {
    if (const char* path = std::getenv(kResultVariable)) {
        std::ofstream(path) << seconds << "\n";
    }
}

namespace {
// A step that measures no time (such as making the input) still reports.
struct ReportAtExit {
    ~ReportAtExit() {
        if (const char* path = std::getenv(kResultVariable)) {
            std::ifstream existing(path);
            double seconds = 0;
            if (!(existing >> seconds)) std::ofstream(path) << 0.0 << "\n";
        }
    }
} reportAtExit;
}  // namespace

#ifndef _WIN32
StepResult runStep(const std::string& program, const std::vector<std::string>& arguments) {
    char resultPath[] = "/tmp/meshbridge-bench-XXXXXX";
    const int fd = mkstemp(resultPath);
    if (fd >= 0) close(fd);
    std::vector<std::string> environment;
    for (char** variable = environ; *variable; ++variable) environment.emplace_back(*variable);
    environment.push_back(std::string(kResultVariable) + "=" + resultPath);
    std::vector<char*> envp;
    for (auto& variable : environment) envp.push_back(variable.data());
    envp.push_back(nullptr);
    std::vector<std::string> words = {program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    StepResult result;
    pid_t child = 0;
    if (posix_spawn(&child, program.c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0) return result;
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    result.peakMegabytes = static_cast<double>(usage.ru_maxrss) / 1024.0;
    result.userSeconds = static_cast<double>(usage.ru_utime.tv_sec) + static_cast<double>(usage.ru_utime.tv_usec) / 1e6;
    result.systemSeconds = static_cast<double>(usage.ru_stime.tv_sec) + static_cast<double>(usage.ru_stime.tv_usec) / 1e6;
    result.pageFaults = usage.ru_minflt + usage.ru_majflt;
    std::ifstream in(resultPath);
    result.succeeded = WIFEXITED(status) && WEXITSTATUS(status) == 0 && static_cast<bool>(in >> result.seconds);
    std::remove(resultPath);
    return result;
}
#endif

}  // namespace meshbridge::bench
