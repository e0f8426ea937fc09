#include "host/host_calls.h"

#include <algorithm>
#include <vector>

#include "common/atomic_file.h"
#include "common/text.h"

namespace meshbridge {

bool requireHostFunctions(std::initializer_list<RequiredHostFunction> required) {
    for (const RequiredHostFunction& function : required) {
        if (!function.present) {
            logText(formatText("Corvana does not provide %s; the command cannot run.", function.name));
            return false;
        }
    }
    return true;
}

void logText(const std::string& text) {
    if (auto log = hostFunctions().ztLogText) log(text.c_str());
}

void logWriteFailure(const std::string& target) {
    const std::string& reason = lastWriteFailure();
    if (reason == kReadOnlyTarget) {
        logText(formatText("%s is read-only.", target.c_str()));
        return;
    }
    logText(formatText("Could not write %s: %s.", target.c_str(), reason.empty() ? "the data is not consistent" : reason.c_str()));
}

void logReadProblem(const std::string& file, const std::string& problem) {
    if (!problem.empty()) logText(formatText("%s cannot be read: %s.", file.c_str(), problem.c_str()));
}

void messageBox(const std::string& text) {
    if (auto box = hostFunctions().ztMessageBox) box(text.c_str());
}

std::optional<std::string> openFileDialog(const std::string& title, const std::string& filter,
                                          std::size_t bufferSize) {
    auto dialog = hostFunctions().ztGetOpenFileName;
    if (!dialog) return std::nullopt;
    // One byte beyond what the host may write keeps the text terminated whatever it does.
    std::vector<char> path(std::max(bufferSize, kHostPathCapacity) + 1, '\0');
    if (dialog(title.c_str(), "", filter.c_str(), path.data()) < 1) return std::nullopt;
    path.back() = '\0';
    return std::string(path.data());
}

std::optional<std::string> chooseFile(const std::string& title, const std::string& filter,
                                      const std::string& cancelledMessage, std::size_t bufferSize) {
    if (!requireHostFunctions({MESHBRIDGE_REQUIRE(ztGetOpenFileName), MESHBRIDGE_REQUIRE(ztMessageBox)}))
        return std::nullopt;
    std::optional<std::string> chosen = openFileDialog(title, filter, bufferSize);
    if (!chosen) messageBox(cancelledMessage);
    return chosen;
}

std::string stringParameter(const char* name) {
    auto get = hostFunctions().ztGetStringParameter;
    if (!get) return {};
    std::vector<char> value(kHostStringParameterCapacity + 1, '\0');
    get(name, value.data());
    value.back() = '\0';
    return std::string(value.data());
}

int intParameter(const char* name) {
    auto get = hostFunctions().ztGetIntParameter;
    return get ? get(name) : 0;
}

void setStringParameter(const char* name, const std::string& value) {
    if (auto set = hostFunctions().ztSetStringParameter) set(name, value.c_str());
}

bool askYesNo(const std::string& question) {
    auto ask = hostFunctions().ztYesNoMessageBox;
    return ask && ask(question.c_str()) != 0;
}

int askInteger(const std::string& prompt, int defaultValue, int lowest, int highest) {
    auto ask = hostFunctions().ztGetIntegerInput;
    return ask ? ask(prompt.c_str(), defaultValue, lowest, highest) : kHostInputCancelled;
}

float askFloat(const std::string& prompt, float defaultValue, float lowest, float highest) {
    auto ask = hostFunctions().ztGetFloatInput;
    return ask ? ask(prompt.c_str(), defaultValue, lowest, highest)
               : static_cast<float>(kHostInputCancelled);
}

bool getCurrentSurface(HostSrfInfo& info) {
    auto get = hostFunctions().ztGetCurrentSRF;
    return get && get(&info) >= 1;
}

std::string currentSurfaceFileName() {
    HostSrfInfo surface{};
    return getCurrentSurface(surface) ? textOrEmpty(surface.fileName) : std::string();
}

bool getCurrentMapList(HostSmpList& list) {
    auto get = hostFunctions().ztGetSMPsOfCurrentSRF;
    return get && get(&list) != 0;
}

float* getCurrentMap(int index, HostSmpInfo& info) {
    auto get = hostFunctions().ztGetSMPOfCurrentSRF;
    return get ? get(index, &info) : nullptr;
}

bool getCurrentPatchList(HostPoiList& list) {
    auto get = hostFunctions().ztGetPOIs;
    if (!get) return false;
    get(&list);
    return true;
}

std::int32_t* getCurrentPatch(int index, HostPoiInfo& info) {
    auto get = hostFunctions().ztGetPOI;
    return get ? get(index, &info) : nullptr;
}

float** getCurrentTimeCourses(HostMtcInfo& info) {
    auto get = hostFunctions().ztGetMTCOfCurrentSRF;
    return get ? get(&info) : nullptr;
}

namespace {

template <typename Function, typename... Extra>
bool handToHost(Function* function, const std::string& path, Extra... extra) {
    return function && function(path.c_str(), extra...) != 0;
}

}  // namespace

bool loadMapsInHost(const std::string& path) { return handToHost(hostFunctions().ztLoadSMPsToCurrentSRF, path); }
bool saveTimeCourseInHost(const std::string& path) { return handToHost(hostFunctions().ztSaveMTCOfCurrentSRF, path); }
bool linkTimeCourseInHost(const std::string& path) { return handToHost(hostFunctions().ztLinkMTCToCurrentSRF, path, 0); }
bool loadPatchesInHost(const std::string& path) { return handToHost(hostFunctions().ztLoadPOIs, path); }

}  // namespace meshbridge
