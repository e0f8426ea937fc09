#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "standin/plugin_library.h"

namespace meshbridge::standin {

namespace {

constexpr const char* kLibraryName = "libmeshbridge_plugin.so";

}  // namespace

PluginLibrary::PluginLibrary(const std::string& path) {
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* reason = dlerror();
        error_ = reason ? reason : "cannot load " + path;
        return;
    }
    error_ = resolveEntryPoints(entryPoints_, [this](const char* name) { return dlsym(handle_, name); });
}

PluginLibrary::~PluginLibrary() {
    if (handle_) dlclose(handle_);
}

std::string defaultPluginPath() {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return kLibraryName;
    const std::filesystem::path folder = program.parent_path();
    const std::vector<std::filesystem::path> candidates = {
        folder / kLibraryName,
        folder.parent_path() / "lib" / "meshbridge" / kLibraryName,
    };
    for (const auto& candidate : candidates) {
        if (std::filesystem::exists(candidate, error)) return candidate.string();
    }
    return candidates.front().string();
}

}  // namespace meshbridge::standin
