// The Print handler shared by the host's own file kinds: choose a file (or take
// the host's current document), load it, dump its header.
#pragma once

#include <string>

#include "host/host_calls.h"

namespace meshbridge {

struct NativePrintDialog {
    const char* title;
    const char* filter;
    const char* cancelledMessage;
};

// `load(name, fromFile)` returns a record whose failed load is marked by
// `isFailedLoad(record)`; `dump(record, toFile, toLog)` prints its header.
// False when the dialog was cancelled, the load failed (it has logged its own
// line) or the dump could not be written.
template <class Load, class IsFailed, class Dump>
bool printNativeFile(const NativePrintDialog& dialog, bool askForFile, bool toFile, bool toLog,
                     Load load, IsFailed isFailedLoad, Dump dump) {
    std::string name = "none";
    if (askForFile) {
        const std::optional<std::string> chosen = chooseFile(dialog.title, dialog.filter, dialog.cancelledMessage);
        if (!chosen) return false;
        name = *chosen;
    }
    const auto record = load(name, askForFile);
    return !isFailedLoad(record) && dump(record, toFile, toLog);
}

}  // namespace meshbridge
