// MTC mesh time course files: one value per vertex and volume, with a small
// header. The plug-in reads them; the host writes those of its surfaces, the
// plug-in those of imports that do not go through the host's surface.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/huge_pages.h"
#include "host/host_api.h"

namespace meshbridge {

struct MtcData {
    std::int32_t version = 0;  // -1 marks a failed load
    std::int32_t nrOfVertices = 0;
    std::int32_t nrOfVolumes = 0;
    std::string vtcFileName;
    std::string prtFileName;
    std::int32_t hrf = 0;
    float tr = 0.0f;  // milliseconds
    float hrfDelta = 0.0f;
    float hrfTau = 0.0f;
    std::int32_t segmentSize = 0;
    std::int32_t segmentOffset = 0;
    std::int8_t headerFlag = 0;
    HugePageVector<float> data;  // volume after volume: vertex v of volume t is data[t * nrOfVertices + v]
    std::string fileName;
};

inline bool isFailedLoad(const MtcData& mtc) { return mtc.version == -1; }

// What a reader fills: the whole record, or only the header (the values are
// checked to be there, not read), as the header dump needs.
enum class MtcDetail { Whole, HeaderOnly };

// The file `name` (fromFile) or the time course of the host's current surface.
MtcData loadMtc(const std::string& name, bool fromFile, MtcDetail detail = MtcDetail::Whole);
bool readMtcFile(const std::string& name, MtcData& mtc, MtcDetail detail = MtcDetail::Whole);

// The host's time course: `courses` holds one array of nrOfVolumes values per
// vertex; the values are copied into the record, volume by volume (not for
// HeaderOnly).
MtcData mtcFromHost(const HostMtcInfo& info, const float* const* courses, MtcDetail detail = MtcDetail::Whole);

// Copies between per-vertex courses and volume-major values (one array per
// volume, or all volumes in one), in blocks that stay in the cache.
void coursesToVolumes(const float* const* courses, std::size_t vertices, std::size_t volumes, float* volumeMajor);
void volumesToCourses(const float* const* volumes, std::size_t vertices, std::size_t count, float* const* courses);

// Writes `mtc` as the file mtc.fileName (complete or not at all).
bool writeMtcFile(const MtcData& mtc);
// The bytes of `mtc`'s header, which its values follow.
std::vector<unsigned char> mtcHeaderBytes(const MtcData& mtc);

std::string mtcHeaderText(const MtcData& mtc);
bool dumpMtcHeader(const MtcData& mtc, bool toFile, bool toLog);
bool printMtcFile(bool askForFile, bool toFile, bool toLog);

}  // namespace meshbridge
