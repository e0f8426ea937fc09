// The abstract plug-in object of the host's plug-in interface. The host calls
// its virtual operations through the object's virtual table, in this slot order:
// destructor, execute, initPlugin.
#pragma once

#include "plugin/plugin_export.h"

class MESHBRIDGE_PLUGIN_API CRZTPluginInterface {
public:
    CRZTPluginInterface();
    CRZTPluginInterface(const CRZTPluginInterface& other);
    virtual ~CRZTPluginInterface();
    CRZTPluginInterface& operator=(const CRZTPluginInterface& other);

    // Runs the command the dialog has set up; the command's outcome.
    virtual bool execute() = 0;
    // Binds the host's functions and checks its version; true when the plug-in can run.
    virtual bool initPlugin() = 0;
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
