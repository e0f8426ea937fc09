// File layout (little-endian, no padding): version int32, nrOfVertices int32,
// nrOfVolumes int32, vtcFileName text, prtFileName text, hrf int32, tr float32,
// hrfDelta float32, hrfTau float32, segmentSize int32, segmentOffset int32,
// headerFlag int8, then nrOfVolumes x nrOfVertices float32 values, volume
// after volume. Texts are their bytes and one zero byte.
#include "formats/mtc_file.h"

#include <cerrno>
#include <cstring>

#include "common/atomic_file.h"
#include "common/binary_io.h"
#include "common/huge_pages.h"
#include "common/text.h"
#include "dump/native_print.h"
#include "dump/output_stage.h"
#include "host/host_calls.h"

namespace meshbridge {

namespace {

constexpr std::int32_t kNewestVersion = 1;
constexpr std::size_t kBlock = 64;

bool readBody(BinaryReader& in, MtcData& mtc, MtcDetail detail) {
    if (!(in.read(mtc.nrOfVertices) && in.read(mtc.nrOfVolumes) && in.readZeroTerminated(mtc.vtcFileName) &&
          in.readZeroTerminated(mtc.prtFileName) && in.read(mtc.hrf) && in.read(mtc.tr) && in.read(mtc.hrfDelta) &&
          in.read(mtc.hrfTau) && in.read(mtc.segmentSize) && in.read(mtc.segmentOffset) && in.read(mtc.headerFlag)))
        return false;
    if (mtc.nrOfVertices < 0 || mtc.nrOfVolumes < 0)
        return in.fail(formatText("the counts of vertices (%d) and volumes (%d) must not be negative",
                                  mtc.nrOfVertices, mtc.nrOfVolumes));
    const std::uint64_t values = static_cast<std::uint64_t>(mtc.nrOfVertices) * static_cast<std::uint64_t>(mtc.nrOfVolumes);
    in.setSection("time courses");
    if (detail == MtcDetail::HeaderOnly) return in.skip(sizeof(float) * values);
    return in.readArray(mtc.data, values);
}

}  // namespace

void coursesToVolumes(const float* const* courses, std::size_t vertices, std::size_t volumes, float* volumeMajor) {
    for (std::size_t v0 = 0; v0 < vertices; v0 += kBlock) {
        const std::size_t v1 = std::min(vertices, v0 + kBlock);
        for (std::size_t t0 = 0; t0 < volumes; t0 += kBlock) {
            const std::size_t t1 = std::min(volumes, t0 + kBlock);
            for (std::size_t v = v0; v < v1; ++v)
                for (std::size_t t = t0; t < t1; ++t) volumeMajor[t * vertices + v] = courses[v][t];
        }
    }
}

void volumesToCourses(const float* const* volumes, std::size_t vertices, std::size_t count, float* const* courses) {
    for (std::size_t v0 = 0; v0 < vertices; v0 += kBlock) {
        const std::size_t v1 = std::min(vertices, v0 + kBlock);
        for (std::size_t t0 = 0; t0 < count; t0 += kBlock) {
            const std::size_t t1 = std::min(count, t0 + kBlock);
            for (std::size_t v = v0; v < v1; ++v)
                for (std::size_t t = t0; t < t1; ++t) courses[v][t] = volumes[t][v];
        }
    }
}

std::vector<unsigned char> mtcHeaderBytes(const MtcData& mtc) {
    // 12 bytes of counts, the two texts and their zero bytes, 24 of settings and the flag: 39 without names.
    std::vector<unsigned char> bytes(39 + mtc.vtcFileName.size() + mtc.prtFileName.size());
    std::size_t at = 0;
    const auto put = [&](auto value) {
        value = detail::toLittleEndian(value);
        std::memcpy(bytes.data() + at, &value, sizeof value);
        at += sizeof value;
    };
    const auto text = [&](const std::string& value) {
        std::memcpy(bytes.data() + at, value.c_str(), value.size() + 1);
        at += value.size() + 1;
    };
    put(mtc.version);
    put(mtc.nrOfVertices);
    put(mtc.nrOfVolumes);
    text(mtc.vtcFileName);
    text(mtc.prtFileName);
    put(mtc.hrf);
    put(mtc.tr);
    put(mtc.hrfDelta);
    put(mtc.hrfTau);
    put(mtc.segmentSize);
    put(mtc.segmentOffset);
    put(mtc.headerFlag);
    return bytes;
}

bool writeMtcFile(const MtcData& mtc) {
    const auto values = static_cast<std::uint64_t>(std::max(mtc.nrOfVertices, 0)) *
                        static_cast<std::uint64_t>(std::max(mtc.nrOfVolumes, 0));
    bool written = false;
    try {
        const std::vector<unsigned char> header = mtcHeaderBytes(mtc);
        written = mtc.data.size() == values && writeFileAtomically(mtc.fileName, FileMode::Binary, [&](std::FILE* file) {
            BinaryWriter out(file);
            out.writeArray(header.data(), header.size());
            out.writeArray(mtc.data.data(), mtc.data.size());
            return out.flush();
        });
    } catch (...) {
        written = false;
    }
    if (!written) logWriteFailure(mtc.fileName);
    return written;
}

bool readMtcFile(const std::string& name, MtcData& mtc, MtcDetail detail) {
    mtc = MtcData{};
    mtc.fileName = name;
    if (const std::string foreign = notAFileOfKind(name, "an MTC file"); !foreign.empty()) {
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
    bool complete = false;
    try {
        in.setSection("header");
        if (in.read(mtc.version)) {
            if (mtc.version > kNewestVersion || mtc.version < 0) {
                messageBox(formatText("MTC file version %d is not supported; versions up to %d can be read.",
                                      mtc.version, kNewestVersion));
                logReadProblem(name, formatText("its file version %d is not supported", mtc.version));
                return false;
            }
            complete = readBody(in, mtc, detail);
        }
    } catch (...) {
        complete = in.fail("the file holds more than memory can take");
    }
    if (!complete) {
        logText("Error while reading *.mtc file.");
        logReadProblem(name, in.problem());
        mtc = MtcData{};
        mtc.fileName = name;
        return false;
    }
    return true;
}

MtcData mtcFromHost(const HostMtcInfo& info, const float* const* courses, MtcDetail detail) {
    MtcData mtc;
    mtc.vtcFileName = textOfField(info.vtcFileName);
    mtc.prtFileName = textOfField(info.prtFileName);
    mtc.fileName = textOfField(info.mtcFileName);
    mtc.version = 1;
    mtc.nrOfVolumes = info.nrOfVolumes;
    mtc.nrOfVertices = info.nrOfVertices;
    mtc.tr = static_cast<float>(info.tr);
    if (detail == MtcDetail::HeaderOnly) return mtc;
    const auto vertices = static_cast<std::size_t>(std::max(info.nrOfVertices, 0));
    const auto volumes = static_cast<std::size_t>(std::max(info.nrOfVolumes, 0));
    mtc.data.resize(vertices * volumes);
    coursesToVolumes(courses, vertices, volumes, mtc.data.data());
    return mtc;
}

MtcData loadMtc(const std::string& name, bool fromFile, MtcDetail detail) {
    MtcData mtc;
    bool loaded = false;
    if (fromFile) {
        loaded = readMtcFile(name, mtc, detail);
    } else {
        HostMtcInfo info{};
        const float* const* courses = getCurrentTimeCourses(info);
        if (!courses) {
            logText("Could not get current mesh time course (MTC).\nPlease select the option 'Load in memory' when "
                    "linking the MTC.");
        } else if (info.nrOfVertices >= 0 && info.nrOfVolumes >= 0) {
            loaded = true;
            for (std::int32_t v = 0; v < info.nrOfVertices && loaded; ++v) loaded = courses[v] != nullptr;
            try {
                if (loaded) mtc = mtcFromHost(info, courses, detail);
            } catch (const std::bad_alloc&) {
                loaded = false;
            }
        }
    }
    if (!loaded) {
        mtc.version = -1;
        logText("Reading of mesh time course (MTC) file did not succeed.");
    }
    return mtc;
}

std::string mtcHeaderText(const MtcData& mtc) {
    std::string text;
    appendText(text, "\nMTC filename: \n%s\n", mtc.fileName.c_str());
    text += "File type: mesh time course (*.mtc)\n";
    appendText(text, "Fileversion: %d\n", mtc.version);
    appendText(text, "Number of vertices: %d\n", mtc.nrOfVertices);
    appendText(text, "Number of volumes: %d\n", mtc.nrOfVolumes);
    appendText(text, "VTC filename: %s\n", mtc.vtcFileName.c_str());
    appendText(text, "PRT filename: %s\n", mtc.prtFileName.c_str());
    appendText(text, "TR in milliseconds: %6.0f\n", static_cast<double>(mtc.tr));
    appendText(text, "HRF: %d\n", mtc.hrf);
    appendText(text, "HRF delta: %f\n", static_cast<double>(mtc.hrfDelta));
    appendText(text, "HRF tau: %f\n", static_cast<double>(mtc.hrfTau));
    appendText(text, "Segment size: %d\n", mtc.segmentSize);
    appendText(text, "Segment offset: %d\n", mtc.segmentOffset);
    return text;
}

bool dumpMtcHeader(const MtcData& mtc, bool toFile, bool toLog) {
    return outputHeaderDump(mtcHeaderText(mtc), mtc.fileName, toFile, toLog, FileMode::Binary,
                     "Error while printing MTC header data to ascii");
}

bool printMtcFile(bool askForFile, bool toFile, bool toLog) {
    const NativePrintDialog dialog{"Please select the Corvana Mesh Time Course file", "*.mtc",
                                   "No Mesh Time Course file was selected. Procedure finished."};
    const auto load = [](const std::string& name, bool fromFile) {
        return loadMtc(name, fromFile, MtcDetail::HeaderOnly);
    };
    return printNativeFile(dialog, askForFile, toFile, toLog, load,
                           [](const MtcData& mtc) { return isFailedLoad(mtc); }, dumpMtcHeader);
}

}  // namespace meshbridge
