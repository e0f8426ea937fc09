#include "dump/output_stage.h"

#include "common/replace_extension.h"
#include "host/host_calls.h"

namespace meshbridge {

std::string infoFileName(const std::string& dumpedFile) {
    return replaceExtension(dumpedFile, "_info.txt");
}

bool outputHeaderDump(const std::string& text, const std::string& dumpedFile, bool toFile,
                      bool toLog, FileMode mode, const char* failureLine) {
    try {
        if (toFile) {
            const bool written =
                writeFileAtomically(infoFileName(dumpedFile), mode, [&](std::FILE* file) {
                    return std::fwrite(text.data(), 1, text.size(), file) == text.size();
                });
            if (!written) {
                logText(failureLine);
                logWriteFailure(infoFileName(dumpedFile));
                return false;
            }
            logText("Wrote the header info to disk.");
        }
        if (toLog) logText(text);
        return true;
    } catch (...) {
        logText(failureLine);
        return false;
    }
}

}  // namespace meshbridge
