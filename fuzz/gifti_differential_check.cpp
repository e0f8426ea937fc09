// The differential fuzzer's comparison on given files, outside libFuzzer:
//   gifti_differential_check FILE...          prints each unexplained difference; exit 1 if any
//   gifti_differential_check --digest FILE... prints the plug-in's digest of each file
// (fuzz/replay-nibabel compares these digests with nibabel's).
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "fuzz/gifti_differential.h"

using namespace meshbridge;

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--digest") == 0) {
        for (int i = 2; i < argc; ++i) std::printf("file %s\n%s", argv[i], fuzz::ourDigest(argv[i]).c_str());
        return 0;
    }
    fuzz::ReferenceReader reference(fuzz::referenceProgram(argv[0]));
    int differences = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::filesystem::is_directory(argv[i])) continue;
        std::ifstream file(argv[i], std::ios::binary);
        const std::string input((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        const std::string difference = fuzz::unexplainedDifference(argv[i], input, reference);
        if (difference.empty()) continue;
        ++differences;
        std::printf("%s: %s\n", argv[i], difference.c_str());
    }
    std::printf("%d files, %d unexplained differences\n", argc - 1, differences);
    return differences == 0 ? 0 : 1;
}
