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

std::vector<std::string> pluginCandidates() {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return {kLibraryName};
    const std::filesystem::path folder = program.parent_path();
    std::vector<std::string> candidates = {(folder / kLibraryName).string()};
#ifdef MESHBRIDGE_LIBRARY_ARCHITECTURE
    // Debian's place for a package's private libraries.
    candidates.push_back((folder.parent_path() / "lib" / MESHBRIDGE_LIBRARY_ARCHITECTURE / "meshbridge" / kLibraryName).string());
#endif
    candidates.push_back((folder.parent_path() / "lib" / "meshbridge" / kLibraryName).string());
    return candidates;
}

}  // namespace meshbridge::standin
