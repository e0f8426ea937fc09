// The library's exported functions and the out-of-line members of the
// plug-in interface class, which the library exports too.
#include <memory>
#include <new>

#include "common/plugin_info.h"
#include "plugin/giftiplugin.h"

CRZTPluginInterface::CRZTPluginInterface() = default;
CRZTPluginInterface::CRZTPluginInterface(const CRZTPluginInterface&) = default;
CRZTPluginInterface::~CRZTPluginInterface() = default;
CRZTPluginInterface& CRZTPluginInterface::operator=(const CRZTPluginInterface&) = default;

namespace {

constexpr const char* kAuthor = "<i>The Meshbridge developers</i>";

constexpr const char* kDescription =
    "~~ Meshbridge (v1.6) ~~<BR>This plugin makes it possible to import and export surface files "
    "(meshes, timeseries, statistical maps and patches of interest) to GIFTI format (see "
    "<A HREF=\"https://www.nitrc.org/projects/gifti/\">the GIFTI project at NITRC</A>"
    ").<BR>The manual can be found "
    "<b><a href=\"MeshbridgeHelp/index.html\">here</a></b>"
    "<br>.";

}  // namespace

extern "C" {

// The host takes ownership and destroys the object through its virtual destructor.
CRZTPluginInterface* createPlugin() {
    try {
        return std::make_unique<giftiplugin>().release();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

const char* getPluginName() { return meshbridge::kPluginName; }
const char* getPluginVersion() { return meshbridge::kPluginVersion; }
const char* getGUIScript() { return meshbridge::kGuiScript; }
const char* getHelpFile() { return meshbridge::kHelpFile; }
const char* getAuthor() { return kAuthor; }
const char* getPluginDescription() { return kDescription; }

}
