// The plug-in's reading of a GIFTI file against Debian's unpatched gifticlib
// (bench/gifti_reference.c, run as a child process). A difference counts
// where the reference reads data that the plug-in refuses or reads otherwise,
// unless it is a refusal the plug-in means to make or one of the reference's
// own misreadings; both lists are in gifti_differential.cpp, with their
// reasons.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <string>

namespace meshbridge::fuzz {

class ReferenceReader {
public:
    // Starts `program serve`; its standard error goes to the null device.
    explicit ReferenceReader(const std::string& program);
    ~ReferenceReader();
    ReferenceReader(const ReferenceReader&) = delete;
    ReferenceReader& operator=(const ReferenceReader&) = delete;

    // Its digest of the file (fuzz/gifti_digest.h), or "refused" (also when
    // it crashed on the file: it is started again).
    std::string digest(const std::string& path);

    // Starts it again: its library keeps state from one read to the next
    // (static variables), so a difference is confirmed by a fresh process.
    void restart() {
        stop();
        start();
    }

private:
    void start();
    void stop();

    std::string program_;
    pid_t pid_ = -1;
    std::FILE* to_ = nullptr;
    std::FILE* from_ = nullptr;
};

// The reference program: MESHBRIDGE_GIFTI_REFERENCE, else gifti_reference
// beside `argv0`'s program.
std::string referenceProgram(const char* argv0);

// The plug-in's digest of the file, or "refused: REASON".
std::string ourDigest(const std::string& path);

// What differs without a reason, or empty. `input` is the file's bytes.
std::string unexplainedDifference(const std::string& path, const std::string& input, ReferenceReader& reference);

}  // namespace meshbridge::fuzz
