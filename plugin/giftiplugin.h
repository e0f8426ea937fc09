// The plug-in object: binds the host at initialisation and dispatches the
// dialog's "Import", "Export" and "Print" commands.
#pragma once

#include "plugin/plugin_interface.h"

class MESHBRIDGE_PLUGIN_API giftiplugin final : public CRZTPluginInterface {
public:
    giftiplugin();
#if defined(_WIN32)
    ~giftiplugin();
    CRZTPluginInterface* destroy(unsigned int flags) override;
#else
    ~giftiplugin() override;
#endif
    bool execute() override;
    bool initPlugin() override;

private:
    bool isInitialised = false;
};

namespace meshbridge {

// Compares a host version with a lowest accepted one, number by number.
bool isVersionAtLeast(int first, int second, int third, int lowestFirst, int lowestSecond,
                      int lowestThird);

}  // namespace meshbridge
