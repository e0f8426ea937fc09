// SMP surface map files: one or more maps over the vertices of one surface,
// each with its display and statistics settings and one value per vertex.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/host_array.h"
#include "host/host_api.h"

namespace meshbridge {

// Map types that the file layout and the conversions treat apart.
inline constexpr std::int32_t kMapTypeCrossCorrelation = 3;
inline constexpr std::int32_t kMapTypePolarAngle = 16;
inline constexpr std::int32_t kMapTypeEccentricity = 17;
inline constexpr std::int32_t kMapTypeFieldSign = 18;

struct SmpMap {
    std::int32_t mapType = 0;
    std::int32_t nrOfLags = 0;  // cross-correlation settings, stored for map type 3 only
    std::int32_t minLag = 0;
    std::int32_t maxLag = 0;
    std::int32_t ccOverlay = 0;
    std::int32_t clusterSize = 0;
    std::uint8_t enableClusterCheck = 0;
    float thresholdMin = 0.0f;
    float thresholdMax = 0.0f;
    std::int32_t optionV4 = 0;     // stored from version 4 on
    std::int32_t contrastXrc = 0;  // not stored in the file
    std::int32_t df1 = 0;
    std::int32_t df2 = 0;
    std::int32_t optionV5 = 0;  // stored from version 5 on
    std::int32_t bonferroni = 0;
    std::array<std::uint8_t, 3> criticalColor{};
    std::array<std::uint8_t, 3> maxColor{};
    std::array<std::uint8_t, 3> criticalColorNeg{};  // stored from version 4 on
    std::array<std::uint8_t, 3> maxColorNeg{};       // stored from version 4 on
    std::uint8_t useVmpColor = 0;
    std::string lutFileName;  // stored from version 5 on
    float transparentColorFactor = 0.0f;
    std::string name;
    HostArray<float> data;  // borrowed from the host for maps of its current surface
};

struct SmpData {
    std::int16_t version = 0;  // -1 marks a failed load
    std::int32_t nrOfVertices = 0;
    std::int16_t nrOfMaps = 0;
    std::string srfFileName;
    std::string fileName;
    std::vector<SmpMap> maps;
};

inline bool isFailedLoad(const SmpData& smp) { return smp.version == -1; }

// What a reader fills: the whole record, or the headers of the file and its
// maps (the values are checked to be there, not read), as the header dump needs.
enum class SmpDetail { Whole, HeadersOnly };

// The file `name` (fromFile) or the maps of the host's current surface.
SmpData loadSmp(const std::string& name, bool fromFile, SmpDetail detail = SmpDetail::Whole);
bool readSmpFile(const std::string& name, SmpData& smp, SmpDetail detail = SmpDetail::Whole);
SmpData smpFromHost(const HostSmpList& list);

// Writes `smp` to its file name with the extension ".smp", in the layout of
// version 5 (a record of an older version is written as version 5).
bool writeSmpFile(const SmpData& smp);

std::string smpHeaderText(const SmpData& smp);
bool dumpSmpHeader(const SmpData& smp, bool toFile, bool toLog);
bool printSmpFile(bool askForFile, bool toFile, bool toLog);

}  // namespace meshbridge
