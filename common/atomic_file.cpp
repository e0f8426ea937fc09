#include "common/atomic_file.h"

#include <atomic>
#include <chrono>
#include <cstdio>

#include "common/text.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace meshbridge {

namespace {

std::string temporaryNameFor(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    const auto clock = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    return formatText("%s.%llx-%u.partial", path.c_str(), clock, counter++);
}

bool replaceFile(const std::string& from, const std::string& to) {
#ifdef _WIN32
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
    return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

}  // namespace

bool produceFileAtomically(const std::string& path,
                           const std::function<bool(const std::string&)>& produce) {
    const std::string temporary = temporaryNameFor(path);
    bool done = false;
    try {
        done = produce(temporary) && replaceFile(temporary, path);
    } catch (...) {
        done = false;
    }
    if (!done) std::remove(temporary.c_str());
    return done;
}

bool writeFileAtomically(const std::string& path, FileMode mode,
                         const std::function<bool(std::FILE*)>& write) {
    return produceFileAtomically(path, [&](const std::string& temporary) {
        std::FILE* file = std::fopen(temporary.c_str(), mode == FileMode::Text ? "w" : "wb");
        if (!file) return false;
        bool written = false;
        try {
            written = write(file);
        } catch (...) {
            std::fclose(file);
            throw;
        }
        written = written && std::fflush(file) == 0 && !std::ferror(file);
        return std::fclose(file) == 0 && written;
    });
}

}  // namespace meshbridge
