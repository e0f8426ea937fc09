// The differential fuzz target: each input is read by the plug-in's patched
// gifticlib and by Debian's unpatched one (a child process); a difference
// that neither list of fuzz/gifti_differential.cpp explains stops the run.
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "fuzz/fuzz_support.h"
#include "fuzz/gifti_differential.h"

using namespace meshbridge;

namespace {
std::unique_ptr<fuzz::ReferenceReader> reference;
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    (void)argc;
    reference = std::make_unique<fuzz::ReferenceReader>(fuzz::referenceProgram((*argv)[0]));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzz::writeInput("input.gii", data, size);
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string difference = fuzz::unexplainedDifference(path, input, *reference);
    if (!difference.empty()) {
        std::fprintf(stderr, "\n== unexplained difference from the reference:\n%s\n", difference.c_str());
        std::abort();
    }
    return 0;
}
