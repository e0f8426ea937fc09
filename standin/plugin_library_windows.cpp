#include <windows.h>

#include <filesystem>
#include <vector>

#include "standin/plugin_library.h"

namespace meshbridge::standin {

namespace {

constexpr const char* kLibraryName = "meshbridge_plugin.dll";

template <class Function>
void resolve(HMODULE module, const char* name, Function& slot, std::string& error) {
    slot = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    if (!slot && error.empty()) error = std::string("the library does not export ") + name;
}

}  // namespace

PluginLibrary::PluginLibrary(const std::string& path) {
    HMODULE module = LoadLibraryA(path.c_str());
    handle_ = reinterpret_cast<void*>(module);
    if (!module) {
        error_ = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
        return;
    }
    resolve(module, "createPlugin", entryPoints_.createPlugin, error_);
    resolve(module, "getPluginName", entryPoints_.getPluginName, error_);
    resolve(module, "getPluginVersion", entryPoints_.getPluginVersion, error_);
    resolve(module, "getGUIScript", entryPoints_.getGUIScript, error_);
    resolve(module, "getHelpFile", entryPoints_.getHelpFile, error_);
    resolve(module, "getAuthor", entryPoints_.getAuthor, error_);
    resolve(module, "getPluginDescription", entryPoints_.getPluginDescription, error_);
    if (!error_.empty()) entryPoints_ = PluginEntryPoints{};
}

PluginLibrary::~PluginLibrary() {
    if (handle_) FreeLibrary(reinterpret_cast<HMODULE>(handle_));
}

std::string defaultPluginPath() {
    std::vector<char> buffer(32768);
    const DWORD length = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0 || length >= buffer.size()) return kLibraryName;
    const std::filesystem::path folder = std::filesystem::path(std::string(buffer.data(), length)).parent_path();
    return (folder / kLibraryName).string();
}

}  // namespace meshbridge::standin
