// What the fuzzers share: the input as a file in a folder of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

namespace meshbridge::fuzz {

// A folder that lives as long as the fuzzer; each input replaces the last
// under the same name.
inline std::filesystem::path workFolder() {
    static const std::filesystem::path folder = [] {
        // In memory where the system has a file system there (the readers need a path).
        std::error_code error;
        const std::filesystem::path base =
            std::filesystem::is_directory("/dev/shm", error) ? "/dev/shm" : std::filesystem::temp_directory_path();
        auto path = base / ("meshbridge-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
        return path;
    }();
    return folder;
}

inline std::string writeInput(const std::string& name, const std::uint8_t* data, std::size_t size) {
    const std::string path = (workFolder() / name).string();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return path;
}

}  // namespace meshbridge::fuzz
