#include "formats/srf_file.h"

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

bool readBody(BinaryReader& in, SrfData& srf, SrfDetail detail, const TriangleSink* take) {
    const bool whole = detail == SrfDetail::Whole;
    if (!in.read(srf.reserved) || !in.read(srf.nrOfVertices) || !in.read(srf.nrOfTriangles) ||
        !in.read(srf.meshCenterX) || !in.read(srf.meshCenterY) || !in.read(srf.meshCenterZ))
        return false;
    if (srf.nrOfVertices < 0 || srf.nrOfTriangles < 0)
        return in.fail(formatText("the counts of vertices (%d) and triangles (%d) must not be negative",
                                  srf.nrOfVertices, srf.nrOfTriangles));
    const auto n = static_cast<std::uint64_t>(srf.nrOfVertices);
    const bool headerOnly = detail == SrfDetail::HeaderOnly;
    in.setSection("vertex coordinates");
    srf.coordinatesOffset = in.offset();
    for (HostArray<float>* array : {&srf.vertexX, &srf.vertexY, &srf.vertexZ}) {
        if (!(headerOnly ? in.skip(4 * n) : in.readArray(array->owned(), n))) return false;
    }
    in.setSection("normals");
    for (HostArray<float>* array : {&srf.normalX, &srf.normalY, &srf.normalZ}) {
        if (!(whole ? in.readArray(array->owned(), n) : in.skip(4 * n))) return false;
    }
    in.setSection("colours");
    for (float& value : srf.convexColor)
        if (!in.read(value)) return false;
    for (float& value : srf.concaveColor)
        if (!in.read(value)) return false;
    if (!(headerOnly ? in.skip(4 * n) : in.readArray(srf.vertexColors.owned(), n))) return false;
    srf.neighbors.offsets.assign(1, 0);
    if (whole) srf.neighbors.offsets.reserve(static_cast<std::size_t>(n) + 1);
    srf.neighbors.indices.clear();
    in.setSection("neighbour lists");
    if (!whole) {
        // Checked and passed over in one go.
        std::uint64_t at = 0;
        std::int32_t count = 0;
        if (!in.skipCountedLists(n, at, count))
            return at != UINT64_MAX &&
                   in.fail(formatText("vertex %llu has %d neighbours", static_cast<unsigned long long>(at), count));
        srf.neighbors.assignEmpty(0);
    }
    for (std::uint64_t v = 0; whole && v < n; ++v) {
        std::int32_t count = 0;
        if (!in.read(count)) return false;
        if (count < 0)
            return in.fail(formatText("vertex %llu has %d neighbours", static_cast<unsigned long long>(v), count));
        if (!in.appendArray(srf.neighbors.indices, static_cast<std::uint64_t>(count))) return false;
        srf.neighbors.offsets.push_back(srf.neighbors.indices.size());
    }
    in.setSection("triangles");
    const std::uint64_t corners = 3 * static_cast<std::uint64_t>(srf.nrOfTriangles);
    if (!take) {
        if (!in.readArray(srf.triangles.owned(), corners)) return false;
    } else {
        if (corners > in.remaining() / 4) return in.readArray(srf.triangles.owned(), corners);  // says why
        constexpr std::uint64_t kBlock = 3 * 21845;  // whole triangles, about 256 KB
        std::vector<std::int32_t> block;
        for (std::uint64_t done = 0; done < corners; done += block.size()) {
            if (!in.readArray(block, std::min(kBlock, corners - done))) return false;
            if (!(*take)(srf, block)) return false;  // the taker says why
        }
    }
    in.setSection("strip elements");
    if (!in.read(srf.nrOfStripElements)) return false;
    if (srf.nrOfStripElements < 0)
        return in.fail(formatText("the count of strip elements (%d) is negative", srf.nrOfStripElements));
    return in.readArray(srf.stripElements, static_cast<std::uint64_t>(srf.nrOfStripElements));
}

// The arrays hold as many values as the counts say (the neighbour lists too,
// unless they come from elsewhere).
bool isConsistent(const SrfData& srf, bool ownNeighbors = true) {
    const auto n = static_cast<std::size_t>(srf.nrOfVertices);
    if (srf.nrOfVertices < 0 || srf.nrOfTriangles < 0 || srf.nrOfStripElements < 0) return false;
    for (const HostArray<float>* array : {&srf.vertexX, &srf.vertexY, &srf.vertexZ, &srf.normalX,
                                          &srf.normalY, &srf.normalZ}) {
        if (array->size() != n) return false;
    }
    if (srf.vertexColors.size() != n) return false;
    if (ownNeighbors && (srf.neighbors.size() != n || srf.neighbors.offsets.back() != srf.neighbors.indices.size()))
        return false;
    return srf.triangles.size() == 3 * static_cast<std::size_t>(srf.nrOfTriangles) &&
           srf.stripElements.size() >= static_cast<std::size_t>(srf.nrOfStripElements);
}

}  // namespace

bool readSrfFile(const std::string& name, SrfData& srf, SrfDetail detail) {
    return readSrfFile(name, srf, detail, TriangleSink{});
}

bool readSrfFile(const std::string& name, SrfData& srf, SrfDetail detail, const TriangleSink& take) {
    srf = SrfData{};
    srf.fileName = name;
    if (const std::string foreign = notAFileOfKind(name, "an SRF file"); !foreign.empty()) {
        logText(foreign);
        return false;
    }
    FilePtr file = openFile(name, "rb");
    if (!file) {
        logText(formatText("%s cannot be opened: %s.", name.c_str(), std::strerror(errno)));
        return false;
    }
    // The reader keeps blocks of its own: each is one read of the file.
    std::setvbuf(file.get(), nullptr, _IONBF, 0);
    const std::int64_t size = bytesLeftInFile(file.get());
    BinaryReader in(file.get(), size < 0 ? 0 : static_cast<std::uint64_t>(size));
    bool complete = false;
    try {
        in.setSection("header");
        if (in.read(srf.version)) {
            if (!(srf.version > 0.0f && srf.version < 100.0f)) {  // no version at all
                logText(formatText("%s is not an SRF file.", name.c_str()));
                return false;
            }
            if (!(srf.version >= 3.0f && srf.version <= 4.0f)) {
                messageBox("SRF file version is not supported");
                logText(formatText("%s has the SRF file version %g; versions 3 to 4 can be read.", name.c_str(),
                                   static_cast<double>(srf.version)));
                return false;
            }
            complete = readBody(in, srf, detail, take ? &take : nullptr);
        }
    } catch (...) {
        complete = in.fail("the file holds more than memory can take");
    }
    if (!complete) {
        if (!in.problem().empty()) {  // else the taker of the triangles stopped, and says why
            logText(formatText("Error while reading surface file %s.", name.c_str()));
            logReadProblem(name, in.problem());
        }
        const std::string keep = srf.fileName;
        srf = SrfData{};
        srf.fileName = keep;
        return false;
    }
    return true;
}

SrfData srfFromHost(const HostSrfInfo& info) {
    const std::string name = textOrEmpty(info.fileName);
    logText(name);
    SrfData srf;
    srf.fileName = name;
    logText(srf.fileName);
    srf.meshCenterX = info.meshCenterX;
    srf.meshCenterY = info.meshCenterY;
    srf.meshCenterZ = info.meshCenterZ;
    const auto n = static_cast<std::size_t>(std::max(info.nrOfVertices, 0));
    srf.vertexX = HostArray<float>::borrowed(info.vertexX, n);
    srf.vertexY = HostArray<float>::borrowed(info.vertexY, n);
    srf.vertexZ = HostArray<float>::borrowed(info.vertexZ, n);
    srf.normalX = HostArray<float>::borrowed(info.normalX, n);
    srf.normalY = HostArray<float>::borrowed(info.normalY, n);
    srf.normalZ = HostArray<float>::borrowed(info.normalZ, n);
    srf.vertexColors = HostArray<std::int32_t>::borrowed(info.colors, n);
    srf.convexColor = {info.convexRed, info.convexGreen, info.convexBlue, 1.0f};
    srf.concaveColor = {info.concaveRed, info.concaveGreen, info.concaveBlue, 1.0f};
    srf.nrOfTriangles = info.nrOfTriangles;
    srf.nrOfVertices = info.nrOfVertices;
    srf.reserved = 0;
    if (info.triangles && info.nrOfTriangles > 0) {
        const std::size_t corners = 3 * static_cast<std::size_t>(info.nrOfTriangles);
        srf.triangles = HugePageVector<std::int32_t>(info.triangles, info.triangles + corners);
    }
    return srf;
}

SrfData loadSrf(const std::string& name, bool fromFile, SrfDetail detail) {
    SrfData srf;
    bool loaded = false;
    if (fromFile) {
        loaded = readSrfFile(name, srf, detail);
    } else {
        HostSrfInfo info{};
        if (getCurrentSurface(info)) {
            srf = srfFromHost(info);
            srf.version = 3.5f;
            // The host gives no neighbour lists; its arrays must be there for
            // every vertex and triangle.
            srf.neighbors.assignEmpty(static_cast<std::size_t>(std::max(srf.nrOfVertices, 0)));
            loaded = isConsistent(srf);
        }
    }
    if (!loaded) {
        srf.version = -1.0f;
        logText("Reading of surface file did not succeed.");
    }
    return srf;
}

bool writeSrfFile(const SrfData& srf) { return writeSrfFile(srf, nullptr); }

bool writeSrfFile(const SrfData& srf, const NeighborSource& neighborSource) {
    const std::string path = replaceExtension(srf.fileName, ".srf");
    bool written = false;
    try {
        written = isConsistent(srf, !neighborSource) && writeFileAtomically(path, FileMode::Binary, [&](std::FILE* file) {
            BinaryWriter out(file);
            out.write(srf.version);
            out.write(srf.reserved);
            out.write(srf.nrOfVertices);
            out.write(srf.nrOfTriangles);
            out.write(srf.meshCenterX);
            out.write(srf.meshCenterY);
            out.write(srf.meshCenterZ);
            for (const HostArray<float>* array : {&srf.vertexX, &srf.vertexY, &srf.vertexZ, &srf.normalX,
                                                  &srf.normalY, &srf.normalZ}) {
                out.writeArray(array->data(), array->size());
            }
            out.writeArray(srf.convexColor.data(), 4);
            out.writeArray(srf.concaveColor.data(), 4);
            out.writeArray(srf.vertexColors.data(), srf.vertexColors.size());
            for (std::size_t v = 0; v < static_cast<std::size_t>(srf.nrOfVertices); ++v) {
                const std::span<const std::int32_t> neighbors =
                    neighborSource ? neighborSource(v) : srf.neighbors[v].indices;
                out.write(static_cast<std::int32_t>(neighbors.size()));
                out.writeArray(neighbors.data(), neighbors.size());
            }
            out.writeArray(srf.triangles.data(), srf.triangles.size());
            out.write(srf.nrOfStripElements);
            if (srf.nrOfStripElements > 0)
                out.writeArray(srf.stripElements.data(), static_cast<std::size_t>(srf.nrOfStripElements));
            return out.flush();
        });
    } catch (...) {
        written = false;
    }
    if (!written) {
        std::cout << "Error while writing SRF file" << std::endl;
        logWriteFailure(path);
    }
    return written;
}

std::string srfHeaderText(const SrfData& srf) {
    std::string text;
    appendText(text, "\nSRF filename: \n%s\n", srf.fileName.c_str());
    text += "File type: surface (*.srf)\n";
    appendText(text, "File version: %1.1f\n", static_cast<double>(srf.version));
    appendText(text, "Number of vertices: %d\n", srf.nrOfVertices);
    appendText(text, "Number of triangles: %d\n", srf.nrOfTriangles);
    appendText(text, "Mesh center: X: %f, Y: %f, Z: %f\n", static_cast<double>(srf.meshCenterX),
               static_cast<double>(srf.meshCenterY), static_cast<double>(srf.meshCenterZ));
    text += "Mesh curvature colors: \n";
    appendText(text, "Concave red: %f, green: %f, blue: %f\n", static_cast<double>(srf.concaveColor[0]),
               static_cast<double>(srf.concaveColor[1]), static_cast<double>(srf.concaveColor[2]));
    appendText(text, "Concave alpha: %f\n", static_cast<double>(srf.concaveColor[3]));
    appendText(text, "Convex red: %f, green: %f, blue: %f\n", static_cast<double>(srf.convexColor[0]),
               static_cast<double>(srf.convexColor[1]), static_cast<double>(srf.convexColor[2]));
    appendText(text, "Convex alpha: %f\n", static_cast<double>(srf.convexColor[3]));
    return text;
}

bool dumpSrfHeader(const SrfData& srf, bool toFile, bool toLog) {
    return outputHeaderDump(srfHeaderText(srf), srf.fileName, toFile, toLog, FileMode::Text,
                     "Error while printing SRF header data to ascii");
}

bool printSrfFile(bool askForFile, bool toFile, bool toLog) {
    const NativePrintDialog dialog{"Please select the Corvana surface file", "*.srf",
                                   "No surface file was selected. Procedure finished."};
    const auto load = [](const std::string& name, bool fromFile) {
        return loadSrf(name, fromFile, SrfDetail::WithoutNormalsAndNeighbors);
    };
    return printNativeFile(dialog, askForFile, toFile, toLog, load,
                           [](const SrfData& srf) { return isFailedLoad(srf); }, dumpSrfHeader);
}

}  // namespace meshbridge
