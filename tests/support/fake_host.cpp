#include "tests/support/fake_host.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "host/host_functions.h"

using meshbridge::test::FakeHost;

namespace {

FakeHost* currentHost = nullptr;

void copyOut(const std::string& text, char* buffer, std::size_t capacity) {
    const std::size_t length = std::min(text.size(), capacity - 1);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
}

template <class T>
std::optional<T> take(std::deque<T>& queue) {
    if (queue.empty()) return std::nullopt;
    T value = queue.front();
    queue.pop_front();
    return value;
}

// Notes a question and takes the next answer the test gave, if any.
template <class T>
std::optional<T> ask(const char* prompt, std::deque<T> FakeHost::*answers) {
    FakeHost& host = FakeHost::current();
    host.questions.emplace_back(prompt);
    return take(host.*answers);
}

// Notes a call that names a file and answers as the test set the host up to.
int recordCall(const char* path, std::vector<std::string> FakeHost::*calls, int FakeHost::*result) {
    FakeHost& host = FakeHost::current();
    (host.*calls).emplace_back(path);
    return host.*result;
}

}  // namespace

#define FAKE_API extern "C" __attribute__((visibility("default")))

FAKE_API int ztGetVersionOfCorvanaZT(int* first, int* second, int* third) {
    auto& host = FakeHost::current();
    *first = host.version[0];
    *second = host.version[1];
    *third = host.version[2];
    return 1;
}
FAKE_API void ztLogText(const char* text) { FakeHost::current().log.emplace_back(text); }
FAKE_API void ztMessageBox(const char* text) { FakeHost::current().messages.emplace_back(text); }
FAKE_API int ztYesNoMessageBox(const char* question) { return ask(question, &FakeHost::yesNoAnswers).value_or(false); }
// A number question as a host's dialog asks it: the default offered, answers
// outside the bounds not taken.
template <class T>
T askNumber(const char* prompt, T defaultValue, T lowest, T highest, std::deque<T> FakeHost::*answers) {
    FakeHost::current().questionRanges.push_back(
        {static_cast<double>(defaultValue), static_cast<double>(lowest), static_cast<double>(highest)});
    const std::optional<T> answer = ask(prompt, answers);
    const auto cancelled = static_cast<T>(meshbridge::kHostInputCancelled);
    if (!answer) return cancelled;
    if (*answer == static_cast<T>(FakeHost::kDefaultAnswer)) return defaultValue;
    return *answer < lowest || *answer > highest ? cancelled : *answer;
}

FAKE_API int ztGetIntegerInput(const char* prompt, int defaultValue, int lowest, int highest) {
    return askNumber(prompt, defaultValue, lowest, highest, &FakeHost::integerAnswers);
}
FAKE_API float ztGetFloatInput(const char* prompt, float defaultValue, float lowest, float highest) {
    return askNumber(prompt, defaultValue, lowest, highest, &FakeHost::floatAnswers);
}
FAKE_API int ztGetOpenFileName(const char* title, const char* folder, const char* filter, char* path) {
    auto& host = FakeHost::current();
    host.dialogs.push_back({title, folder, filter});
    const std::size_t used = take(host.dialogBufferUse).value_or(0);
    std::memset(path, 'x', used);
    const auto answer = take(host.dialogAnswers);
    if (!answer || !*answer) return 0;
    copyOut(**answer, path, std::max(used, meshbridge::kHostPathCapacity));
    return 1;
}
FAKE_API void ztGetStringParameter(const char* name, char* value) {
    const auto& parameters = FakeHost::current().stringParameters;
    const auto found = parameters.find(name);
    copyOut(found == parameters.end() ? "" : found->second, value,
            meshbridge::kHostStringParameterCapacity);
}
FAKE_API int ztGetIntParameter(const char* name) {
    auto& host = FakeHost::current();
    host.intParametersRead.emplace_back(name);
    const auto found = host.intParameters.find(name);
    return found == host.intParameters.end() ? 0 : found->second;
}
FAKE_API void ztSetStringParameter(const char* name, const char* value) {
    FakeHost::current().stringParameters[name] = value;
}
FAKE_API int ztGetCurrentSRF(meshbridge::HostSrfInfo* info) {
    const auto& surface = FakeHost::current().currentSurface;
    if (!surface) return 0;
    *info = *surface;
    return 1;
}
FAKE_API float** ztGetMTCOfCurrentSRF(meshbridge::HostMtcInfo* info) {
    auto& host = FakeHost::current();
    if (!host.timeCourseInfo) return nullptr;
    *info = *host.timeCourseInfo;
    host.coursePointers.clear();
    for (auto& course : host.courses) host.coursePointers.push_back(course.data());
    return host.coursePointers.data();
}
FAKE_API int ztCreateMTCForCurrentSRF(int volumes) {
    auto& host = FakeHost::current();
    if (!host.currentSurface) return 0;
    host.timeCourseInfo = meshbridge::HostMtcInfo{};
    host.timeCourseInfo->nrOfVolumes = volumes;
    host.timeCourseInfo->nrOfVertices = host.currentSurface->nrOfVertices;
    host.timeCourseInfo->unused0[0] = 0x5a;  // the host's own, to be handed back unchanged
    host.courses.assign(static_cast<std::size_t>(host.currentSurface->nrOfVertices),
                        std::vector<float>(static_cast<std::size_t>(volumes), 0.0f));
    return 1;
}
FAKE_API int ztSetMTCParametersOfCurrentSRF(meshbridge::HostMtcInfo* info) {
    FakeHost::current().timeCourseInfo = *info;
    return 1;
}
FAKE_API int ztLinkMTCToCurrentSRF(const char* path, int) { return recordCall(path, &FakeHost::linkedTimeCourses, &FakeHost::linkResult); }
FAKE_API int ztSaveMTCOfCurrentSRF(const char* path) { return recordCall(path, &FakeHost::savedTimeCourses, &FakeHost::saveResult); }
FAKE_API int ztGetSMPsOfCurrentSRF(meshbridge::HostSmpList* list) {
    auto& host = FakeHost::current();
    if (host.maps.empty()) return 0;
    *list = {};
    list->nrOfMaps = static_cast<int>(host.maps.size());
    list->nrOfVertices = host.currentSurface ? host.currentSurface->nrOfVertices
                                             : static_cast<int>(host.maps[0].values.size());
    copyOut(host.mapsFileName, list->fileName, sizeof list->fileName);
    return 1;
}
FAKE_API float* ztGetSMPOfCurrentSRF(int index, meshbridge::HostSmpInfo* info) {
    auto& maps = FakeHost::current().maps;
    if (index < 0 || static_cast<std::size_t>(index) >= maps.size()) return nullptr;
    auto& map = maps[static_cast<std::size_t>(index)];
    *info = map.settings;
    copyOut(map.name, map.nameBuffer.data(), map.nameBuffer.size());
    info->name = map.nameBuffer.data();
    return map.values.data();
}
FAKE_API int ztCreateSMPForCurrentSRF() {
    auto& host = FakeHost::current();
    if (!host.currentSurface) return 0;
    host.maps.push_back({});
    host.maps.back().values.assign(static_cast<std::size_t>(host.currentSurface->nrOfVertices), 0.0f);
    return 1;
}
FAKE_API int ztSetSMPParametersOfCurrentSRF(int index, meshbridge::HostSmpInfo* info) {
    auto& maps = FakeHost::current().maps;
    if (index < 0 || static_cast<std::size_t>(index) >= maps.size()) return 0;
    auto& map = maps[static_cast<std::size_t>(index)];
    map.settings = *info;
    map.name = map.nameBuffer.data();
    return 1;
}
FAKE_API int ztLoadSMPsToCurrentSRF(const char* path) { return recordCall(path, &FakeHost::loadedMapFiles, &FakeHost::loadMapsResult); }
FAKE_API int ztGetPOIs(meshbridge::HostPoiList* list) {
    *list = FakeHost::current().patchList;
    return 1;
}
FAKE_API int* ztGetPOI(int index, meshbridge::HostPoiInfo* info) {
    auto& host = FakeHost::current();
    if (index < 0 || static_cast<std::size_t>(index) >= host.patches.size()) return nullptr;
    *info = host.patches[static_cast<std::size_t>(index)];
    return host.patchVertices[static_cast<std::size_t>(index)].data();
}
FAKE_API int ztLoadPOIs(const char* path) { return recordCall(path, &FakeHost::loadedPatchFiles, &FakeHost::loadPatchesResult); }

namespace meshbridge::test {

FakeHost::FakeHost() {
    currentHost = this;
    HostFunctions& table = hostFunctions();
#define FAKE_INSTALL(name) table.name = &::name;
    MESHBRIDGE_HOST_FUNCTIONS(FAKE_INSTALL)
#undef FAKE_INSTALL
}

FakeHost::~FakeHost() {
    hostFunctions() = HostFunctions{};
    currentHost = nullptr;
}

FakeHost& FakeHost::current() {
    if (!currentHost) throw std::logic_error("no fake host");
    return *currentHost;
}

std::string FakeHost::logText() const {
    std::string text;
    for (const auto& line : log) text += line + "\n";
    return text;
}

}  // namespace meshbridge::test
