// The abstract plug-in object of the host's plug-in interface. The host calls
// its virtual operations through the object's virtual table, in this slot order:
// destructor, execute, initPlugin.
#pragma once

#include "plugin/plugin_export.h"

class MESHBRIDGE_PLUGIN_API CRZTPluginInterface {
public:
    CRZTPluginInterface();
    CRZTPluginInterface(const CRZTPluginInterface& other);
    CRZTPluginInterface& operator=(const CRZTPluginInterface& other);

#if defined(_WIN32)
    // The Windows host is built with Microsoft's compiler: slot 0 is its deleting destructor,
    // which takes flags (bit 0: free the memory) and returns the object; g++ would give a
    // virtual destructor two slots, so on Windows slot 0 is declared as that function.
    virtual CRZTPluginInterface* destroy(unsigned int flags) = 0;

protected:
    ~CRZTPluginInterface();

public:
#else
    virtual ~CRZTPluginInterface();
#endif

    // Runs the command the dialog has set up; the command's outcome.
    virtual bool execute() = 0;
    // Binds the host's functions and checks its version; true when the plug-in can run.
    virtual bool initPlugin() = 0;
};

// How a host built with this declaration releases the object `createPlugin` gave it.
struct PluginDeleter {
    void operator()(CRZTPluginInterface* plugin) const {
#if defined(_WIN32)
        if (plugin) plugin->destroy(1);
#else
        delete plugin;
#endif
    }
};

// The library's exported entry points, all without arguments.
extern "C" {
MESHBRIDGE_PLUGIN_API CRZTPluginInterface* createPlugin();
MESHBRIDGE_PLUGIN_API const char* getPluginName();
MESHBRIDGE_PLUGIN_API const char* getPluginVersion();
MESHBRIDGE_PLUGIN_API const char* getGUIScript();
MESHBRIDGE_PLUGIN_API const char* getHelpFile();
MESHBRIDGE_PLUGIN_API const char* getAuthor();
MESHBRIDGE_PLUGIN_API const char* getPluginDescription();
}
