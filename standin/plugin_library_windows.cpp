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
        const DWORD code = GetLastError();
        std::vector<char> text(512);
        DWORD written = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                       text.data(), static_cast<DWORD>(text.size()), nullptr);
        while (written > 0 && (text[written - 1] == '\n' || text[written - 1] == '\r' || text[written - 1] == '.'))
            --written;
        error_ = (written > 0 ? std::string(text.data(), written) : "cannot load " + path) + " (error " +
                 std::to_string(code) + ")";
        return;
    }
    error_ = resolveEntryPoints(entryPoints_, [module](const char* name) {
        return reinterpret_cast<void*>(GetProcAddress(module, name));
    });
}

PluginLibrary::~PluginLibrary() {
    if (handle_) FreeLibrary(reinterpret_cast<HMODULE>(handle_));
}

std::vector<std::string> pluginCandidates() {
    std::vector<char> buffer(32768);
    const DWORD length = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0 || length >= buffer.size()) return {kLibraryName};
    const std::filesystem::path folder = std::filesystem::path(std::string(buffer.data(), length)).parent_path();
    return {(folder / kLibraryName).string()};
}

}  // namespace meshbridge::standin
