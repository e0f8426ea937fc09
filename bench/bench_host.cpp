#include "bench/bench_host.h"

#include <vector>

#include "host/host_functions.h"

namespace meshbridge::bench {

namespace {

std::int32_t surfaceVertices = 0;
HostMtcInfo timeCourseInfo{};
std::vector<std::vector<float>> courses;
std::vector<float*> pointers;

int currentSurface(HostSrfInfo* info) {
    *info = HostSrfInfo{};
    info->nrOfVertices = surfaceVertices;
    return 1;
}

int createTimeCourse(int volumes) {
    courses.assign(static_cast<std::size_t>(surfaceVertices), std::vector<float>(static_cast<std::size_t>(volumes)));
    pointers.clear();
    for (auto& course : courses) pointers.push_back(course.data());
    timeCourseInfo.nrOfVolumes = volumes;
    timeCourseInfo.nrOfVertices = surfaceVertices;
    return 1;
}

float** timeCourse(HostMtcInfo* info) {
    *info = timeCourseInfo;
    return pointers.empty() ? nullptr : pointers.data();
}

int setTimeCourse(HostMtcInfo* info) {
    timeCourseInfo = *info;
    return 1;
}

int saveTimeCourse(const char*) { return 1; }  // saving is the host's work, not measured here

int integerAnswer = 0;
int answerInteger(const char*, int, int, int) { return integerAnswer; }

}  // namespace

void installBenchmarkHost(std::int32_t vertices) {
    surfaceVertices = vertices;
    HostFunctions& host = hostFunctions();
    host.ztGetCurrentSRF = currentSurface;
    host.ztCreateMTCForCurrentSRF = createTimeCourse;
    host.ztGetMTCOfCurrentSRF = timeCourse;
    host.ztSetMTCParametersOfCurrentSRF = setTimeCourse;
    host.ztSaveMTCOfCurrentSRF = saveTimeCourse;
}

void answerIntegerQuestions(int answer) {
    integerAnswer = answer;
    hostFunctions().ztGetIntegerInput = answerInteger;
}

}  // namespace meshbridge::bench
