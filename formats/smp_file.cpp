// File layout (little-endian, no padding), V being the file's version:
//   version int16, nrOfVertices int32, nrOfMaps int16, srfFileName text
//   then per map:
//     mapType int32
//     nrOfLags, minLag, maxLag, ccOverlay int32        only for map type 3
//     clusterSize int32, enableClusterCheck uint8, thresholdMin float32,
//     thresholdMax float32
//     optionV4 int32                                    V >= 4
//     df1 int32, df2 int32
//     optionV5 int32                                    V >= 5
//     bonferroni int32, criticalColor uint8[3], maxColor uint8[3]
//     criticalColorNeg uint8[3], maxColorNeg uint8[3]   V >= 4
//     useVmpColor uint8
//     lutFileName text                                  V >= 5
//     transparentColorFactor float32, name text, data float32[nrOfVertices]
// Texts are their bytes and one zero byte. Versions above 5 read as 5. The
// writer writes exactly this layout for version 5, maps of type 3 included,
// so that the reader reads back what it wrote.
#include "formats/smp_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "common/atomic_file.h"
#include "common/binary_io.h"
#include "common/replace_extension.h"
#include "common/text.h"
#include "dump/native_print.h"
#include "dump/output_stage.h"
#include "host/host_calls.h"

namespace meshbridge {

namespace {

constexpr std::int16_t kWrittenVersion = 5;

// Where a read failed: in the values of a map, or anywhere else.
enum class ReadFailure { None, Values, Other };

template <class T, std::size_t N>
bool readBytes(BinaryReader& in, std::array<T, N>& values) {
    for (T& value : values)
        if (!in.read(value)) return false;
    return true;
}

bool readMapHeader(BinaryReader& in, int version, SmpMap& map) {
    if (!in.read(map.mapType)) return false;
    if (map.mapType == kMapTypeCrossCorrelation &&
        !(in.read(map.nrOfLags) && in.read(map.minLag) && in.read(map.maxLag) && in.read(map.ccOverlay)))
        return false;
    if (!(in.read(map.clusterSize) && in.read(map.enableClusterCheck) && in.read(map.thresholdMin) &&
          in.read(map.thresholdMax)))
        return false;
    if (version >= 4 && !in.read(map.optionV4)) return false;
    if (!(in.read(map.df1) && in.read(map.df2))) return false;
    if (version >= 5 && !in.read(map.optionV5)) return false;
    if (!(in.read(map.bonferroni) && readBytes(in, map.criticalColor) && readBytes(in, map.maxColor))) return false;
    if (version >= 4 && !(readBytes(in, map.criticalColorNeg) && readBytes(in, map.maxColorNeg))) return false;
    if (!in.read(map.useVmpColor)) return false;
    if (version >= 5 && !in.readZeroTerminated(map.lutFileName)) return false;
    return in.read(map.transparentColorFactor) && in.readZeroTerminated(map.name);
}

ReadFailure readBody(BinaryReader& in, SmpData& smp, SmpDetail detail) {
    if (!(in.read(smp.version) && in.read(smp.nrOfVertices) && in.read(smp.nrOfMaps) &&
          in.readZeroTerminated(smp.srfFileName)))
        return ReadFailure::Other;
    if (smp.version < 0) {
        messageBox(formatText("SMP file version %d is not supported.", smp.version));
        in.fail(formatText("the file version %d is negative", smp.version));
        return ReadFailure::Other;
    }
    if (smp.nrOfVertices < 0 || smp.nrOfMaps < 0) {
        in.fail(formatText("the counts of vertices (%d) and maps (%d) must not be negative", smp.nrOfVertices,
                           smp.nrOfMaps));
        return ReadFailure::Other;
    }
    // Maps are added as they are read: the count alone allocates nothing.
    for (std::int16_t m = 0; m < smp.nrOfMaps; ++m) {
        in.setSection(formatText("map %d", m + 1));
        SmpMap& map = smp.maps.emplace_back();
        if (!readMapHeader(in, smp.version, map)) return ReadFailure::Other;
        const auto values = static_cast<std::uint64_t>(smp.nrOfVertices);
        const bool read =
            detail == SmpDetail::Whole ? in.readArray(map.data.owned(), values) : in.skip(4 * values);
        if (!read) return ReadFailure::Values;
    }
    return ReadFailure::None;
}

bool isConsistent(const SmpData& smp) {
    if (smp.nrOfVertices < 0 || smp.nrOfMaps < 0 || smp.maps.size() != static_cast<std::size_t>(smp.nrOfMaps))
        return false;
    for (const SmpMap& map : smp.maps)
        if (map.data.size() < static_cast<std::size_t>(smp.nrOfVertices)) return false;
    return true;
}

void writeMap(BinaryWriter& out, const SmpMap& map, std::size_t values) {
    out.write(map.mapType);
    if (map.mapType == kMapTypeCrossCorrelation) {
        out.write(map.nrOfLags);
        out.write(map.minLag);
        out.write(map.maxLag);
        out.write(map.ccOverlay);
    }
    out.write(map.clusterSize);
    out.write(map.enableClusterCheck);
    out.write(map.thresholdMin);
    out.write(map.thresholdMax);
    out.write(map.optionV4);
    out.write(map.df1);
    out.write(map.df2);
    out.write(map.optionV5);
    out.write(map.bonferroni);
    for (const auto* color : {&map.criticalColor, &map.maxColor, &map.criticalColorNeg, &map.maxColorNeg})
        out.writeArray(color->data(), 3);
    out.write(map.useVmpColor);
    out.writeZeroTerminated(map.lutFileName);
    out.write(map.transparentColorFactor);
    out.writeZeroTerminated(map.name);
    out.writeArrayInPlace(map.data.data(), values);
}

const char* mapTypeName(std::int32_t mapType) {
    switch (mapType) {
        case 1: return "T-test";
        case 2: return "Correlation";
        case 3: return "Cross-correlation";
        case 4: return "F-test";
        case 11: return "Percent signal change";
        default: return "Unknown";
    }
}

const char* yesNo(std::int64_t flag) { return flag != 0 ? "Yes" : "No"; }

}  // namespace

bool readSmpFile(const std::string& name, SmpData& smp, SmpDetail detail) {
    smp = SmpData{};
    smp.fileName = name;
    if (const std::string foreign = notAFileOfKind(name, "an SMP file"); !foreign.empty()) {
        logText(foreign);
        return false;
    }
    FilePtr file = openFile(name, "rb");
    if (!file) {
        messageBox("File could not be accessed.\nPlease check if it is opened in other programs.");
        logText(formatText("%s cannot be opened: %s.", name.c_str(), std::strerror(errno)));
        return false;
    }
    const std::int64_t size = bytesLeftInFile(file.get());
    BinaryReader in(file.get(), size < 0 ? 0 : static_cast<std::uint64_t>(size));
    ReadFailure failure = ReadFailure::Other;
    try {
        in.setSection("header");
        failure = readBody(in, smp, detail);
    } catch (...) {
        in.fail("the file holds more than memory can take");
        failure = ReadFailure::Other;
    }
    if (failure == ReadFailure::None) return true;
    if (failure == ReadFailure::Values) {
        logText("Error while reading SMP data");
    } else {
        std::cout << "Error while reading SMP file" << std::endl;
    }
    logReadProblem(name, in.problem());
    smp = SmpData{};
    smp.fileName = name;
    return false;
}

SmpData smpFromHost(const HostSmpList& list) {
    SmpData smp;
    smp.fileName = textOfField(list.fileName);
    smp.srfFileName = replaceExtension(smp.fileName, ".srf");
    logText(formatText("SMP name: %s", smp.fileName.c_str()));
    smp.nrOfMaps = static_cast<std::int16_t>(std::clamp(list.nrOfMaps, 0, 32767));
    smp.nrOfVertices = list.nrOfVertices;
    smp.version = 2;
    smp.maps.resize(static_cast<std::size_t>(smp.nrOfMaps));
    const auto n = static_cast<std::size_t>(std::max(list.nrOfVertices, 0));
    for (std::size_t i = 0; i < smp.maps.size(); ++i) {
        HostSmpInfo info{};
        float* values = getCurrentMap(static_cast<int>(i), info);
        SmpMap& map = smp.maps[i];
        map.df1 = info.df1;
        map.df2 = info.df2;
        map.mapType = info.mapType;
        map.name = textOrEmpty(info.name);
        map.thresholdMin = info.thresholdMin;
        map.thresholdMax = info.thresholdMax;
        map.data = HostArray<float>::borrowed(values, n);
        if (info.mapType == kMapTypeCrossCorrelation) map.ccOverlay = info.ccOverlay;
    }
    return smp;
}

SmpData loadSmp(const std::string& name, bool fromFile, SmpDetail detail) {
    SmpData smp;
    bool loaded = false;
    if (fromFile) {
        loaded = readSmpFile(name, smp, detail);
    } else if (hostFunctions().ztGetSMPOfCurrentSRF) {
        HostSmpList list{};
        if (getCurrentMapList(list)) {
            smp = smpFromHost(list);
            loaded = isConsistent(smp);
        }
    }
    if (!loaded) {
        smp.version = -1;
        logText("Reading of surface map did not succeed.");
    }
    return smp;
}

bool writeSmpFile(const SmpData& smp) {
    const std::string path = replaceExtension(smp.fileName, ".smp");
    bool written = false;
    try {
        written = isConsistent(smp) && writeFileAtomically(path, FileMode::Binary, [&](std::FILE* file) {
            BinaryWriter out(file);
            out.write(std::max(smp.version, kWrittenVersion));
            out.write(smp.nrOfVertices);
            out.write(smp.nrOfMaps);
            out.writeZeroTerminated(smp.srfFileName);
            for (const SmpMap& map : smp.maps) writeMap(out, map, static_cast<std::size_t>(smp.nrOfVertices));
            return out.flush();
        });
    } catch (...) {
        written = false;
    }
    if (!written) {
        std::cout << "Error while writing SMP file" << std::endl;
        logWriteFailure(path);
    }
    return written;
}

std::string smpHeaderText(const SmpData& smp) {
    std::string text;
    appendText(text, "\nSMP filename: \n%s\n", smp.fileName.c_str());
    text += "File type: surface map (*.smp)\n";
    appendText(text, "File version: %d\n", smp.version);
    appendText(text, "Number of vertices: %d\n", smp.nrOfVertices);
    appendText(text, "Number of maps: %d\n", smp.nrOfMaps);
    appendText(text, "Surface filename: %s\n", smp.srfFileName.c_str());
    if (smp.version >= 4) return text;
    int number = 1;
    for (const SmpMap& map : smp.maps) {
        appendText(text, "\nDetails for map nr: %d\n\n", number++);
        appendText(text, "Map type: %s\n", mapTypeName(map.mapType));
        if (map.mapType == kMapTypeCrossCorrelation) {
            appendText(text, "Number of lags: %i\n", map.nrOfLags);
            appendText(text, "Minimum lag: %i\n", map.minLag);
            appendText(text, "Maximum lag: %i\n", map.maxLag);
            appendText(text, "Cross correlation overlay: %i\n", map.ccOverlay);
            appendText(text, "Contrast X-RC maps: %i\n", map.contrastXrc);
        }
        appendText(text, "Clustersize: %d\n", map.clusterSize);
        appendText(text, "Enable clustercheck: %s\n", yesNo(map.enableClusterCheck));
        appendText(text, "Minimum threshold: %f\n", static_cast<double>(map.thresholdMin));
        appendText(text, "Maximum threshold: %f\n", static_cast<double>(map.thresholdMax));
        appendText(text, "DF 1: %d\n", map.df1);
        appendText(text, "DF 2: %d\n", map.df2);
        appendText(text, "Cortex based Bonferroni: %s\n", yesNo(map.bonferroni));
        appendText(text, "Critical value color: %d %d %d\n", map.criticalColor[0], map.criticalColor[1],
                   map.criticalColor[2]);
        appendText(text, "Maximum value color: %d %d %d\n", map.maxColor[0], map.maxColor[1], map.maxColor[2]);
        appendText(text, "Use VMP color: %s\n", yesNo(map.useVmpColor));
        appendText(text, "Transparent color factor: %f\n", static_cast<double>(map.transparentColorFactor));
        appendText(text, "Map name: %s\n", map.name.c_str());
    }
    return text;
}

bool dumpSmpHeader(const SmpData& smp, bool toFile, bool toLog) {
    return outputHeaderDump(smpHeaderText(smp), smp.fileName, toFile, toLog, FileMode::Binary,
                     "Error while printing SMP header data to ascii");
}

bool printSmpFile(bool askForFile, bool toFile, bool toLog) {
    const NativePrintDialog dialog{"Please select the Corvana Surface Map", "*.smp",
                                   "No surface map file was selected. Procedure finished."};
    const auto load = [](const std::string& name, bool fromFile) {
        return loadSmp(name, fromFile, SmpDetail::HeadersOnly);
    };
    return printNativeFile(dialog, askForFile, toFile, toLog, load,
                           [](const SmpData& smp) { return isFailedLoad(smp); }, dumpSmpHeader);
}

}  // namespace meshbridge
