// Loads the plug-in library as the host does: by path, through its exported
// entry points.
#pragma once

#include <memory>
#include <string>
#include <vector>
#include <type_traits>

class CRZTPluginInterface;

namespace meshbridge::standin {

struct PluginEntryPoints {
    CRZTPluginInterface* (*createPlugin)() = nullptr;
    const char* (*getPluginName)() = nullptr;
    const char* (*getPluginVersion)() = nullptr;
    const char* (*getGUIScript)() = nullptr;
    const char* (*getHelpFile)() = nullptr;
    const char* (*getAuthor)() = nullptr;
    const char* (*getPluginDescription)() = nullptr;
};

// Finds every entry point with `lookup(name)` (the platform's symbol lookup);
// the error names the first one missing, and then all are null.
template <class Lookup>
std::string resolveEntryPoints(PluginEntryPoints& entry, Lookup lookup) {
    std::string error;
    const auto resolve = [&](const char* name, auto& slot) {
        slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(lookup(name));
        if (!slot && error.empty()) error = std::string("the library does not export ") + name;
    };
    resolve("createPlugin", entry.createPlugin);
    resolve("getPluginName", entry.getPluginName);
    resolve("getPluginVersion", entry.getPluginVersion);
    resolve("getGUIScript", entry.getGUIScript);
    resolve("getHelpFile", entry.getHelpFile);
    resolve("getAuthor", entry.getAuthor);
    resolve("getPluginDescription", entry.getPluginDescription);
    if (!error.empty()) entry = PluginEntryPoints{};
    return error;
}

class PluginLibrary {
public:
    // Loads the library; on failure `error()` says why and the entry points are null.
    explicit PluginLibrary(const std::string& path);
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    bool loaded() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    const PluginEntryPoints& entryPoints() const { return entryPoints_; }

private:
    void* handle_ = nullptr;
    std::string error_;
    PluginEntryPoints entryPoints_;
};

// Where this program looks for its plug-in library, in order: beside itself,
// then where an installation puts it.
std::vector<std::string> pluginCandidates();

}  // namespace meshbridge::standin
