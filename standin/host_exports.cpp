// The functions the stand-in host exports for the plug-in, under the names and
// types of the host interface.
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <type_traits>

#include "host/host_api.h"
#include "standin/host_documents.h"
#include "standin/host_export.h"
#include "standin/host_session.h"

using meshbridge::kHostInputCancelled;
using meshbridge::kHostPathCapacity;
using meshbridge::kHostStringParameterCapacity;
using meshbridge::standin::HostDocuments;
using meshbridge::standin::HostSession;

namespace {

// Copies `text` into a buffer of `capacity` bytes, cutting it to fit.
void copyText(const std::string& text, char* buffer, std::size_t capacity) {
    const std::size_t length = std::min(text.size(), capacity - 1);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
}

}  // namespace

extern "C" {

MESHBRIDGE_HOST_API int ztGetVersionOfCorvanaZT(int* first, int* second, int* third) {
    const auto& version = HostSession::current().version;
    if (first) *first = version.first;
    if (second) *second = version.second;
    if (third) *third = version.third;
    return 1;
}

MESHBRIDGE_HOST_API void ztLogText(const char* text) {
    HostSession::current().log(text ? text : "");
}

MESHBRIDGE_HOST_API void ztMessageBox(const char* text) {
    HostSession::current().showMessage(text ? text : "");
}

MESHBRIDGE_HOST_API int ztYesNoMessageBox(const char* question) {
    return HostSession::current().answerYesNo(question ? question : "") ? 1 : 0;
}

MESHBRIDGE_HOST_API int ztGetIntegerInput(const char* prompt, int defaultValue, int lowest, int highest) {
    (void)defaultValue;
    const auto value = HostSession::current().answerNumber(prompt ? prompt : "", lowest, highest, true);
    return value ? static_cast<int>(*value) : kHostInputCancelled;
}

MESHBRIDGE_HOST_API float ztGetFloatInput(const char* prompt, float defaultValue, float lowest,
                                          float highest) {
    (void)defaultValue;
    const auto value = HostSession::current().answerNumber(prompt ? prompt : "", lowest, highest);
    return value ? static_cast<float>(*value) : static_cast<float>(kHostInputCancelled);
}

MESHBRIDGE_HOST_API int ztGetOpenFileName(const char* title, const char* initialFolder,
                                          const char* filter, char* path) {
    (void)initialFolder;
    const auto chosen = HostSession::current().answerFileDialog(title ? title : "", filter ? filter : "");
    if (!chosen || !path) return 0;
    copyText(*chosen, path, kHostPathCapacity);
    return 1;
}

MESHBRIDGE_HOST_API void ztGetStringParameter(const char* name, char* value) {
    if (!value) return;
    const auto& parameters = HostSession::current().parameters;
    const auto found = name ? parameters.find(name) : parameters.end();
    copyText(found == parameters.end() ? std::string() : found->second, value,
             kHostStringParameterCapacity);
}

MESHBRIDGE_HOST_API int ztGetIntParameter(const char* name) {
    const auto& parameters = HostSession::current().parameters;
    const auto found = name ? parameters.find(name) : parameters.end();
    return found == parameters.end() ? 0 : std::atoi(found->second.c_str());
}

MESHBRIDGE_HOST_API void ztSetStringParameter(const char* name, const char* value) {
    if (name) HostSession::current().parameters[name] = value ? value : "";
}

MESHBRIDGE_HOST_API int ztGetCurrentSRF(meshbridge::HostSrfInfo* info) {
    if (info && HostDocuments::current().describeSurface(*info)) return 1;
    std::cerr << "meshbridge: the host has no current surface; give one with --surface FILE.srf\n";
    return 0;
}

MESHBRIDGE_HOST_API int ztGetSMPsOfCurrentSRF(meshbridge::HostSmpList* list) {
    return list && HostDocuments::current().describeMaps(*list) ? 1 : 0;
}

MESHBRIDGE_HOST_API float* ztGetSMPOfCurrentSRF(int mapIndex, meshbridge::HostSmpInfo* info) {
    return info ? HostDocuments::current().describeMap(mapIndex, *info) : nullptr;
}

MESHBRIDGE_HOST_API int ztCreateSMPForCurrentSRF() {
    return HostDocuments::current().createMap() ? 1 : 0;
}

MESHBRIDGE_HOST_API int ztSetSMPParametersOfCurrentSRF(int mapIndex, meshbridge::HostSmpInfo* info) {
    return info && HostDocuments::current().setMapParameters(mapIndex, *info) ? 1 : 0;
}

MESHBRIDGE_HOST_API int ztLoadSMPsToCurrentSRF(const char* path) {
    return path && HostDocuments::current().loadMapsFile(path) ? 1 : 0;
}

MESHBRIDGE_HOST_API float** ztGetMTCOfCurrentSRF(meshbridge::HostMtcInfo* info) {
    return info ? HostDocuments::current().describeTimeCourse(*info) : nullptr;
}

MESHBRIDGE_HOST_API int ztCreateMTCForCurrentSRF(int nrOfVolumes) {
    return HostDocuments::current().createTimeCourse(nrOfVolumes) ? 1 : 0;
}

MESHBRIDGE_HOST_API int ztSetMTCParametersOfCurrentSRF(meshbridge::HostMtcInfo* info) {
    return info && HostDocuments::current().setTimeCourseParameters(*info) ? 1 : 0;
}

MESHBRIDGE_HOST_API int ztLinkMTCToCurrentSRF(const char* path, int loadInMemory) {
    (void)loadInMemory;  // the stand-in always holds a linked time course in memory
    return path && HostDocuments::current().linkTimeCourse(path) ? 1 : 0;
}

MESHBRIDGE_HOST_API int ztSaveMTCOfCurrentSRF(const char* path) {
    return path && HostDocuments::current().saveTimeCourse(path) ? 1 : 0;
}

MESHBRIDGE_HOST_API int ztGetPOIs(meshbridge::HostPoiList* list) {
    return list && HostDocuments::current().describePatches(*list) ? 1 : 0;
}

MESHBRIDGE_HOST_API int* ztGetPOI(int patchIndex, meshbridge::HostPoiInfo* info) {
    return info ? HostDocuments::current().describePatch(patchIndex, *info) : nullptr;
}

MESHBRIDGE_HOST_API int ztLoadPOIs(const char* path) {
    return path && HostDocuments::current().loadPatchesFile(path) ? 1 : 0;
}

}  // extern "C"

// Each export has exactly the type the plug-in binds it as.
#define MESHBRIDGE_CHECK_TYPE(name) \
    static_assert(std::is_same_v<decltype(name), name##_t>, #name " differs from the host interface");
MESHBRIDGE_HOST_FUNCTIONS(MESHBRIDGE_CHECK_TYPE)
#undef MESHBRIDGE_CHECK_TYPE
