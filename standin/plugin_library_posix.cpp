#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "standin/plugin_library.h"

namespace meshbridge::standin {

namespace {

constexpr const char* kLibraryName = "libmeshbridge_plugin.so";

template <class Function>
void resolve(void* handle, const char* name, Function& slot, std::string& error) {
    slot = reinterpret_cast<Function>(dlsym(handle, name));
    if (!slot && error.empty()) error = std::string("the library does not export ") + name;
}

}  // namespace

PluginLibrary::PluginLibrary(const std::string& path) {
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* reason = dlerror();
        error_ = reason ? reason : "cannot load " + path;
        return;
    }
    resolve(handle_, "createPlugin", entryPoints_.createPlugin, error_);
    resolve(handle_, "getPluginName", entryPoints_.getPluginName, error_);
    resolve(handle_, "getPluginVersion", entryPoints_.getPluginVersion, error_);
    resolve(handle_, "getGUIScript", entryPoints_.getGUIScript, error_);
    resolve(handle_, "getHelpFile", entryPoints_.getHelpFile, error_);
    resolve(handle_, "getAuthor", entryPoints_.getAuthor, error_);
    resolve(handle_, "getPluginDescription", entryPoints_.getPluginDescription, error_);
    if (!error_.empty()) entryPoints_ = PluginEntryPoints{};
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
