// Shared parts of the benchmarks: closed test meshes, running one measured
// step in a fresh process (so that its peak memory is its own), and the report.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace meshbridge::bench {

struct Mesh {
    std::vector<float> xyz;               // three per vertex
    std::vector<std::int32_t> triangles;  // three per triangle
};

// A closed, consistently wound icosphere of 10 * 4^level + 2 vertices.
Mesh icosphere(int level);

struct StepResult {
    double seconds = 0.0;      // as measured inside the step
    double peakMegabytes = 0.0;
    double userSeconds = 0.0;    // of the whole process
    double systemSeconds = 0.0;  // of the whole process
    long pageFaults = 0;         // of the whole process
    bool succeeded = false;
};

// Runs this program again (Linux only: the Windows build runs steps, under
// Wine, for the Linux build) with `arguments` and returns what the step measured.
StepResult runStep(const std::string& program, const std::vector<std::string>& arguments);

// Inside a step: reports the measured time to the parent.
void reportStepSeconds(double seconds);

double secondsSince(std::uint64_t startNanoseconds);
std::uint64_t nowNanoseconds();

}  // namespace meshbridge::bench
