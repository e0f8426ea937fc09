// Converters that are not part of this build yet: each says so in the log and
// reports failure.
#include "export/export_dispatch.h"
#include "host/host_calls.h"
#include "import/import_dispatch.h"
#include "plugin/commands.h"

namespace meshbridge {

namespace {

bool notAvailable(const char* what) {
    logText(std::string(what) + " is not available in this version of the plugin.");
    return false;
}

}  // namespace

bool importLabelTable(const gifti_image&, const std::string&, bool, bool) {
    return notAvailable("The import of GIFTI label tables");
}
bool exportPatchesOfInterest(const std::string&, bool, bool) { return notAvailable("The export of POI files"); }
bool printPoiFile(bool, bool, bool) { return notAvailable("Printing of POI files"); }

}  // namespace meshbridge
