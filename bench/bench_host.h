// A host for the benchmarks, in this process: a current surface of a given
// number of vertices and a time course in memory, nothing shown or logged.
#pragma once

#include <cstdint>

namespace meshbridge::bench {

// Binds the plug-in to this host, with a current surface of `vertices` vertices.
void installBenchmarkHost(std::int32_t vertices);

// Answers every whole-number question with `answer`.
void answerIntegerQuestions(int answer);

}  // namespace meshbridge::bench
