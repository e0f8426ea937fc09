// Loads the plug-in library as the host does: by path, through its exported
// entry points.
#pragma once

#include <memory>
#include <string>

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

// The plug-in library installed or built beside this program.
std::string defaultPluginPath();

}  // namespace meshbridge::standin
