// Calls into the host that are safe when the host lacks a function: a missing
// log or message function makes the call do nothing, a missing question answers
// as cancelled. Commands check with requireHostFunctions before they start.
#pragma once

#include <initializer_list>
#include <optional>
#include <string>

#include "host/host_functions.h"

namespace meshbridge {

struct RequiredHostFunction {
    const char* name;
    bool present;
};

#define MESHBRIDGE_REQUIRE(name) \
    ::meshbridge::RequiredHostFunction{#name, ::meshbridge::hostFunctions().name != nullptr}

// True when every listed function is bound; otherwise logs which one the host
// lacks (when it can log) and returns false.
bool requireHostFunctions(std::initializer_list<RequiredHostFunction> required);

void logText(const std::string& text);
// After a failed atomic write: "Could not write TARGET: REASON." in the log.
void logWriteFailure(const std::string& target);
// After a refused read: "FILE cannot be read: PROBLEM." when the problem is known.
void logReadProblem(const std::string& file, const std::string& problem);
void messageBox(const std::string& text);

// The chosen path, or nothing when the dialog was cancelled. The host may write
// up to `bufferSize` bytes.
std::optional<std::string> openFileDialog(const std::string& title, const std::string& filter,
                                          std::size_t bufferSize = kHostPathCapacity);

// A command's choice of its file: the chosen path, or nothing when the host
// lacks the dialog or the message box (logged) or the dialog was cancelled
// (`cancelledMessage` is shown).
std::optional<std::string> chooseFile(const std::string& title, const std::string& filter,
                                      const std::string& cancelledMessage,
                                      std::size_t bufferSize = kHostPathCapacity);

std::string stringParameter(const char* name);
int intParameter(const char* name);
void setStringParameter(const char* name, const std::string& value);

bool askYesNo(const std::string& question);
int askInteger(const std::string& prompt, int defaultValue, int lowest, int highest);
float askFloat(const std::string& prompt, float defaultValue, float lowest, float highest);

// The host's current documents. Each is false (or null) when the host lacks
// the function or holds no such document; true means the host filled the record.
bool getCurrentSurface(HostSrfInfo& info);        // a result of 1 or more
// The file name of the host's current surface; empty without one.
std::string currentSurfaceFileName();
bool getCurrentMapList(HostSmpList& list);        // a non-zero result
float* getCurrentMap(int index, HostSmpInfo& info);
bool getCurrentPatchList(HostPoiList& list);      // the host's result says nothing
std::int32_t* getCurrentPatch(int index, HostPoiInfo& info);
float** getCurrentTimeCourses(HostMtcInfo& info);

// Files handed to the host; true when the host reports success (a non-zero result).
bool loadMapsInHost(const std::string& path);
bool saveTimeCourseInHost(const std::string& path);
bool linkTimeCourseInHost(const std::string& path);
bool loadPatchesInHost(const std::string& path);

}  // namespace meshbridge
