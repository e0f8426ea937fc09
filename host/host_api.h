// The host application's interface, as the plug-in and the stand-in host both
// see it: the C types of the zt* functions that the host exports and the plug-in
// binds by name, and the host's records that those functions fill or read.
//
// Conventions of the interface:
//  - Texts are NUL-terminated 8-bit strings.
//  - A result tested for success is non-zero on success.
//  - ztGetOpenFileName writes the chosen path into the caller's buffer and never
//    more than kHostPathCapacity bytes (terminating NUL included); callers give
//    it buffers of at least that size.
//  - ztGetStringParameter writes at most kHostStringParameterCapacity bytes,
//    terminating NUL included.
//  - The name buffer a HostSmpInfo points to holds kHostMapNameCapacity
//    bytes; the plug-in writes no more than that into it.
//  - ztGetFloatInput and ztGetIntegerInput answer kHostInputCancelled when the
//    user cancels the question.
//  - Arrays that the host hands out (coordinates, map values, time courses,
//    patch vertex lists) stay the host's; the plug-in never frees them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace meshbridge {

inline constexpr std::size_t kHostPathCapacity = 256;
// The export's dialogs and the label import's surface dialog give the host this many bytes.
inline constexpr std::size_t kHostLongPathBufferSize = 501;
inline constexpr std::size_t kHostStringParameterCapacity = 256;
inline constexpr std::size_t kHostMapNameCapacity = 256;
inline constexpr int kHostInputCancelled = -1001;

// The surface that is current in the host. The caller provides the record.
struct HostSrfInfo {
    std::int32_t nrOfVertices;         // 0
    std::int32_t nrOfTriangles;        // 4
    float* vertexX;                    // 8
    float* vertexY;                    // 16
    float* vertexZ;                    // 24
    float* normalX;                    // 32
    float* normalY;                    // 40
    float* normalZ;                    // 48
    std::int32_t* colors;              // 56
    std::uint8_t unused64[8];          // 64
    float convexRed;                   // 72
    float convexGreen;                 // 76
    float convexBlue;                  // 80
    float concaveRed;                  // 84
    float concaveGreen;                // 88
    float concaveBlue;                 // 92
    float meshCenterX;                 // 96
    float meshCenterY;                 // 100
    float meshCenterZ;                 // 104
    std::uint8_t unused108[12];        // 108
    std::int32_t* triangles;           // 120
    std::uint8_t unused128[32];        // 128
    const char* fileName;              // 160
};

// The maps of the current surface.
struct HostSmpList {
    std::int32_t nrOfMaps;             // 0
    std::int32_t nrOfVertices;         // 4
    char fileName[304];                // 8
};

// One map of the current surface.
struct HostSmpInfo {
    char* name;                        // 0, a buffer the host owns
    std::int32_t mapType;              // 8
    std::uint8_t unused12[8];          // 12
    float thresholdMin;                // 20
    float thresholdMax;                // 24
    std::uint8_t unused28[4];          // 28
    std::int32_t df1;                  // 32
    std::int32_t df2;                  // 36
    std::uint8_t unused40[20];         // 40
    float importedFlag;                // 60, set to 1.0 by the map import
    std::uint8_t unused64[4];          // 64
    std::int32_t ccOverlay;            // 68
};

// The time course of the current surface.
struct HostMtcInfo {
    std::uint8_t unused0[4];           // 0
    std::int32_t nrOfVolumes;          // 4
    std::int32_t nrOfVertices;         // 8
    std::int32_t headerFlag;           // 12
    std::int32_t importedFlag;         // 16, set to 1 by the time series import
    std::int32_t tr;                   // 20, milliseconds
    char mtcFileName[261];             // 24
    char prtFileName[261];             // 285
    char vtcFileName[262];             // 546
};

// The host's current patches of interest.
struct HostPoiList {
    std::int32_t nrOfPOIs;             // 0
    std::int32_t nrOfPOIMTCs;          // 4
    char fileName[264];                // 8
};

// One patch of interest.
struct HostPoiInfo {
    std::int32_t nrOfVertices;         // 0
    char name[256];                    // 4
    std::int32_t color;                // 260, red * 65536 + green * 256 + blue
    std::int32_t labelVertex;          // 264
    char infoTextFile[264];            // 268
};

static_assert(offsetof(HostSrfInfo, nrOfTriangles) == 4);
static_assert(offsetof(HostSrfInfo, vertexX) == 8);
static_assert(offsetof(HostSrfInfo, vertexY) == 16);
static_assert(offsetof(HostSrfInfo, vertexZ) == 24);
static_assert(offsetof(HostSrfInfo, normalX) == 32);
static_assert(offsetof(HostSrfInfo, normalY) == 40);
static_assert(offsetof(HostSrfInfo, normalZ) == 48);
static_assert(offsetof(HostSrfInfo, colors) == 56);
static_assert(offsetof(HostSrfInfo, convexRed) == 72);
static_assert(offsetof(HostSrfInfo, convexGreen) == 76);
static_assert(offsetof(HostSrfInfo, convexBlue) == 80);
static_assert(offsetof(HostSrfInfo, concaveRed) == 84);
static_assert(offsetof(HostSrfInfo, concaveGreen) == 88);
static_assert(offsetof(HostSrfInfo, concaveBlue) == 92);
static_assert(offsetof(HostSrfInfo, meshCenterX) == 96);
static_assert(offsetof(HostSrfInfo, meshCenterY) == 100);
static_assert(offsetof(HostSrfInfo, meshCenterZ) == 104);
static_assert(offsetof(HostSrfInfo, triangles) == 120);
static_assert(offsetof(HostSrfInfo, fileName) == 160);
static_assert(sizeof(HostSrfInfo) == 168);

static_assert(offsetof(HostSmpList, nrOfVertices) == 4);
static_assert(offsetof(HostSmpList, fileName) == 8);
static_assert(sizeof(HostSmpList) == 312);

static_assert(offsetof(HostSmpInfo, mapType) == 8);
static_assert(offsetof(HostSmpInfo, thresholdMin) == 20);
static_assert(offsetof(HostSmpInfo, thresholdMax) == 24);
static_assert(offsetof(HostSmpInfo, df1) == 32);
static_assert(offsetof(HostSmpInfo, df2) == 36);
static_assert(offsetof(HostSmpInfo, importedFlag) == 60);
static_assert(offsetof(HostSmpInfo, ccOverlay) == 68);
static_assert(sizeof(HostSmpInfo) == 72);

static_assert(offsetof(HostMtcInfo, nrOfVolumes) == 4);
static_assert(offsetof(HostMtcInfo, nrOfVertices) == 8);
static_assert(offsetof(HostMtcInfo, headerFlag) == 12);
static_assert(offsetof(HostMtcInfo, importedFlag) == 16);
static_assert(offsetof(HostMtcInfo, tr) == 20);
static_assert(offsetof(HostMtcInfo, mtcFileName) == 24);
static_assert(offsetof(HostMtcInfo, prtFileName) == 285);
static_assert(offsetof(HostMtcInfo, vtcFileName) == 546);
static_assert(sizeof(HostMtcInfo) == 808);

static_assert(offsetof(HostPoiList, nrOfPOIMTCs) == 4);
static_assert(offsetof(HostPoiList, fileName) == 8);
static_assert(sizeof(HostPoiList) == 272);

static_assert(offsetof(HostPoiInfo, name) == 4);
static_assert(offsetof(HostPoiInfo, color) == 260);
static_assert(offsetof(HostPoiInfo, labelVertex) == 264);
static_assert(offsetof(HostPoiInfo, infoTextFile) == 268);
static_assert(sizeof(HostPoiInfo) == 532);

}  // namespace meshbridge

// Function types of the host's exports, with C linkage.
extern "C" {
typedef int ztGetVersionOfCorvanaZT_t(int* first, int* second, int* third);
typedef void ztLogText_t(const char* text);
typedef void ztMessageBox_t(const char* text);
typedef int ztYesNoMessageBox_t(const char* question);
typedef int ztGetIntegerInput_t(const char* prompt, int defaultValue, int lowest, int highest);
typedef float ztGetFloatInput_t(const char* prompt, float defaultValue, float lowest, float highest);
typedef int ztGetOpenFileName_t(const char* title, const char* initialFolder, const char* filter,
                                char* path);
typedef void ztGetStringParameter_t(const char* name, char* value);
typedef int ztGetIntParameter_t(const char* name);
typedef void ztSetStringParameter_t(const char* name, const char* value);
typedef int ztGetCurrentSRF_t(meshbridge::HostSrfInfo* info);
typedef float** ztGetMTCOfCurrentSRF_t(meshbridge::HostMtcInfo* info);
typedef int ztCreateMTCForCurrentSRF_t(int nrOfVolumes);
typedef int ztSetMTCParametersOfCurrentSRF_t(meshbridge::HostMtcInfo* info);
typedef int ztLinkMTCToCurrentSRF_t(const char* path, int loadInMemory);
typedef int ztSaveMTCOfCurrentSRF_t(const char* path);
typedef int ztGetSMPsOfCurrentSRF_t(meshbridge::HostSmpList* list);
typedef float* ztGetSMPOfCurrentSRF_t(int mapIndex, meshbridge::HostSmpInfo* info);
typedef int ztCreateSMPForCurrentSRF_t();
typedef int ztSetSMPParametersOfCurrentSRF_t(int mapIndex, meshbridge::HostSmpInfo* info);
typedef int ztLoadSMPsToCurrentSRF_t(const char* path);
typedef int ztGetPOIs_t(meshbridge::HostPoiList* list);
typedef int* ztGetPOI_t(int patchIndex, meshbridge::HostPoiInfo* info);
typedef int ztLoadPOIs_t(const char* path);
}

// Every host function the plug-in binds, for code that walks the whole list.
#define MESHBRIDGE_HOST_FUNCTIONS(X)  \
    X(ztGetVersionOfCorvanaZT)        \
    X(ztLogText)                      \
    X(ztMessageBox)                   \
    X(ztYesNoMessageBox)              \
    X(ztGetIntegerInput)              \
    X(ztGetFloatInput)                \
    X(ztGetOpenFileName)              \
    X(ztGetStringParameter)           \
    X(ztGetIntParameter)              \
    X(ztSetStringParameter)           \
    X(ztGetCurrentSRF)                \
    X(ztGetMTCOfCurrentSRF)           \
    X(ztCreateMTCForCurrentSRF)       \
    X(ztSetMTCParametersOfCurrentSRF) \
    X(ztLinkMTCToCurrentSRF)          \
    X(ztSaveMTCOfCurrentSRF)          \
    X(ztGetSMPsOfCurrentSRF)          \
    X(ztGetSMPOfCurrentSRF)           \
    X(ztCreateSMPForCurrentSRF)       \
    X(ztSetSMPParametersOfCurrentSRF) \
    X(ztLoadSMPsToCurrentSRF)         \
    X(ztGetPOIs)                      \
    X(ztGetPOI)                       \
    X(ztLoadPOIs)
