#include <windows.h>

#include <filesystem>
#include <vector>

#include "standin/plugin_library.h"

namespace meshbridge::standin {

namespace {

constexpr const char* kLibraryName = "meshbridge_plugin.dll";

}  // namespace

PluginLibrary::PluginLibrary(const std::string& path) {
    HMODULE module = LoadLibraryA(path.c_str());
    handle_ = reinterpret_cast<void*>(module);
    if (!module) {
        error_ = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
        return;
    }
    error_ = resolveEntryPoints(entryPoints_, [module](const char* name) {
        return reinterpret_cast<void*>(GetProcAddress(module, name));
    });
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
