#include "plugin/giftiplugin.h"

#include <exception>
#include <memory>
#include <new>
#include <string>

#include "common/plugin_info.h"
#include "common/text.h"
#include "dump/gifti_dump.h"
#include "host/host_calls.h"
#include "import/import_support.h"
#include "plugin/commands.h"

namespace meshbridge {

bool isVersionAtLeast(int first, int second, int third, int lowestFirst, int lowestSecond,
                      int lowestThird) {
    if (first != lowestFirst) return first > lowestFirst;
    if (second != lowestSecond) return second > lowestSecond;
    return third >= lowestThird;
}

namespace {

bool flag(const char* name) { return intParameter(name) != 0; }

bool runImport() {
    const int fileTypeId = intParameter("FileTypeId");
    const bool printToLogtab = flag("PrintToLogtab");
    const bool openInHost = flag("OpenInCRZT");
    const bool reverseWinding = flag("ReverseWinding");
    const bool addColorsFile = flag("AddColorsFile");
    const bool asTimeCourse = flag("DoImportAsTimeCourse");
    // The results go beside the input unless a folder is named for them.
    const ScopedOutputFolder outputFolder(stringParameter("OutputFolder"));
    return importGiftiFile(fileTypeId, printToLogtab, openInHost, reverseWinding, addColorsFile, asTimeCourse);
}

bool runExport() {
    const int fileTypeId = intParameter("FileTypeId");
    const bool doBinaryExport = flag("DoBinaryExport");
    const bool useCurrentFile = flag("UseCurrentFile");
    const bool doExportColors = flag("DoExportColors");
    const bool doExportLabelsPerVertex = flag("DoExportLabelsPerVertex");
    const bool doExportRetinotopyAsReal = flag("DoExportRetinotopyAsReal");
    const bool doExportCifti = flag("DoExportCifti");
    const bool doExportFreeSurfer = flag("DoExportFreeSurfer");
    return exportGiftiFile(fileTypeId, useCurrentFile, doBinaryExport, doExportColors, doExportLabelsPerVertex,
                           doExportRetinotopyAsReal, doExportCifti, doExportFreeSurfer);
}

bool runPrint() {
    const int fileTypeId = intParameter("FileTypeId");
    const bool toLog = flag("PrintToLog");
    const bool toFile = flag("PrintToFile");
    const bool askForFile = !flag("UseCurrentFile");
    switch (fileTypeId) {
        case kFileTypeGifti: return printGiftiFile(toFile, toLog);
        case kFileTypeSrf: return printSrfFile(askForFile, toFile, toLog);
        case kFileTypeMtc: return printMtcFile(askForFile, toFile, toLog);
        case kFileTypeSmp: return printSmpFile(askForFile, toFile, toLog);
        case kFileTypePoi: return printPoiFile(askForFile, toFile, toLog);
        default: return true;
    }
}

}  // namespace
}  // namespace meshbridge

using namespace meshbridge;

giftiplugin::giftiplugin() = default;
giftiplugin::~giftiplugin() = default;

#if defined(_WIN32)
// What the host's `delete plugin` reaches: the object ends, and with bit 0 of the
// flags its memory, which createPlugin allocated, is released too.
CRZTPluginInterface* giftiplugin::destroy(unsigned int flags) {
    if (flags & 1u) {
        std::unique_ptr<giftiplugin> owned(this);
    } else {
        this->~giftiplugin();
    }
    return this;
}
#endif

bool giftiplugin::initPlugin() {
    isInitialised = false;
    if (!loadHostFunctions()) return false;
    logText("Initialising plugin...");
    int first = 0, second = 0, third = 0;
    hostFunctions().ztGetVersionOfCorvanaZT(&first, &second, &third);
    if (!isVersionAtLeast(first, second, third, 2, 9, 5)) {
        messageBox("Can not execute this plugin - Corvana version 20.0 or higher required.");
        return false;
    }
    isInitialised = true;
    return true;
}

bool giftiplugin::execute() {
    if (!isInitialised) return false;
    logText(formatText("Meshbridge %s is running!", kPluginVersion));
    if (!requireHostFunctions({MESHBRIDGE_REQUIRE(ztGetStringParameter), MESHBRIDGE_REQUIRE(ztGetIntParameter)}))
        return false;
    const std::string command = stringParameter("Command");
    logText(formatText("Command received: %s", command.c_str()));
    // Nothing may leave the plug-in: an exception reaching the host would end
    // it with the user's unsaved work. Every write is complete or not done, so
    // a command stopped here has left no damaged file.
    const auto refuse = [&](const std::string& why) {
        const std::string text =
            formatText("The %s command could not finish: %s. Nothing was written.", command.c_str(), why.c_str());
        logText(text);
        messageBox(text);
        return false;
    };
    try {
        if (command == "Import") return runImport();
        if (command == "Export") return runExport();
        if (command == "Print") return runPrint();
    } catch (const std::bad_alloc&) {
        return refuse("it needs more memory than can be had");
    } catch (const std::exception& error) {
        return refuse(error.what());
    } catch (...) {
        return refuse("an unexpected error stopped it");
    }
    logText(formatText("Received unknown command: %s", command.c_str()));
    return true;
}
