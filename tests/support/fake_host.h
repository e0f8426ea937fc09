// A recording host for in-process tests: scripted answers to dialogs and
// questions, captured log lines and message boxes. Its zt* functions are also
// exported from the test program, so the plug-in binds them as it binds the
// real host's.
#pragma once

#include <array>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "host/host_api.h"

// The fake's exported host functions.
extern "C" {
#define FAKE_HOST_DECLARE(name) name##_t name;
MESHBRIDGE_HOST_FUNCTIONS(FAKE_HOST_DECLARE)
#undef FAKE_HOST_DECLARE
}

namespace meshbridge::test {

struct FakeMap {
    std::string name;  // what the plug-in wrote into the host's name buffer
    std::array<char, kHostMapNameCapacity> nameBuffer{};
    HostSmpInfo settings{};  // as last set by the plug-in (or given by the test)
    std::vector<float> values;
};

struct DialogCall {
    std::string title;
    std::string initialFolder;
    std::string filter;
};

class FakeHost {
public:
    FakeHost();   // becomes the current host and fills the plug-in's table
    ~FakeHost();  // empties the table again
    FakeHost(const FakeHost&) = delete;
    FakeHost& operator=(const FakeHost&) = delete;

    static FakeHost& current();

    int version[3] = {2, 10, 0};
    std::map<std::string, std::string> stringParameters;
    std::map<std::string, int> intParameters;
    std::deque<std::optional<std::string>> dialogAnswers;  // nothing left: cancelled
    // Per dialog, how many bytes of the plug-in's buffer the host scribbles on
    // before it writes the answer (as a host that uses the whole buffer would).
    std::deque<std::size_t> dialogBufferUse;               // nothing left: none
    std::deque<bool> yesNoAnswers;                         // nothing left: no
    // Answers to number questions, each as a host's dialog takes it: one
    // outside the question's bounds cancels it; kDefaultAnswer takes its default.
    std::deque<float> floatAnswers;                        // nothing left: cancelled
    std::deque<int> integerAnswers;                        // nothing left: cancelled
    static constexpr int kDefaultAnswer = -1000001;

    // The current surface: ztGetCurrentSRF answers it when set.
    std::optional<HostSrfInfo> currentSurface;

    // The maps of the current surface and the name of their file.
    std::vector<FakeMap> maps;
    std::string mapsFileName;
    std::vector<std::string> loadedMapFiles;  // ztLoadSMPsToCurrentSRF calls
    int loadMapsResult = 1;

    // The time course of the current surface: per-vertex courses.
    std::optional<HostMtcInfo> timeCourseInfo;
    std::vector<std::vector<float>> courses;
    std::vector<float*> coursePointers;
    std::vector<std::string> savedTimeCourses;   // ztSaveMTCOfCurrentSRF calls
    std::vector<std::string> linkedTimeCourses;  // ztLinkMTCToCurrentSRF calls
    int saveResult = 1;
    int linkResult = 1;

    // The host's patches of interest.
    HostPoiList patchList{};
    std::vector<HostPoiInfo> patches;
    std::vector<std::vector<std::int32_t>> patchVertices;
    std::vector<std::string> loadedPatchFiles;  // ztLoadPOIs calls
    int loadPatchesResult = 1;

    std::vector<std::string> log;
    std::vector<std::string> messages;
    std::vector<DialogCall> dialogs;
    std::vector<std::string> questions;
    // Default, lowest and highest value of each number question, in order.
    std::vector<std::array<double, 3>> questionRanges;
    std::vector<std::string> intParametersRead;

    // The whole log, one line per call, each followed by "\n".
    std::string logText() const;
    // The last line of the log and the last message box; "(none)" when there
    // is none, so that a test fails where it would otherwise read past an end.
    std::string lastLog() const { return log.empty() ? "(none)" : log.back(); }
    std::string lastMessage() const { return messages.empty() ? "(none)" : messages.back(); }
};

}  // namespace meshbridge::test
