// Commands whose converters are not part of this build yet: each says so in the
// log and reports failure.
#include "host/host_calls.h"
#include "plugin/commands.h"

namespace meshbridge {

namespace {

bool notAvailable(const char* what) {
    logText(std::string(what) + " is not available in this version of the plugin.");
    return false;
}

}  // namespace

bool importGiftiFile(int, bool, bool, bool, bool) { return notAvailable("The import of GIFTI files"); }
bool exportGiftiFile(int, bool, bool, bool) { return notAvailable("The export to GIFTI files"); }
bool printSrfFile(bool, bool, bool) { return notAvailable("Printing of SRF files"); }
bool printMtcFile(bool, bool, bool) { return notAvailable("Printing of MTC files"); }
bool printSmpFile(bool, bool, bool) { return notAvailable("Printing of SMP files"); }
bool printPoiFile(bool, bool, bool) { return notAvailable("Printing of POI files"); }

}  // namespace meshbridge
