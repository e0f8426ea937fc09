#include "export/freesurfer_export.h"

#include <bit>
#include <cerrno>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <set>
#include <vector>

#include "common/atomic_file.h"
#include "common/binary_io.h"
#include "common/plugin_info.h"
#include "common/replace_extension.h"
#include "common/text.h"
#include "common/text_encoding.h"
#include "export/gifti_writing.h"
#include "export/poi_export.h"
#include "export/surface_export.h"
#include "formats/freesurfer_writing.h"
#include "formats/mtc_file.h"
#include "formats/poi_file.h"
#include "formats/smp_file.h"
#include "formats/srf_file.h"
#include "host/host_calls.h"

namespace meshbridge {

namespace {

// Whether `path` may be written: nothing is there, or this plug-in wrote
// what is. Otherwise the user's file stays, and the log and a message say so.
bool mayWrite(const std::string& path, FreeSurferOutput kind, const char* source) {
    {
        errno = 0;
        FilePtr file = openFile(path, "rb");
        if (!file && errno == ENOENT) return true;
    }
    if (carriesMeshbridgeMark(path, kind)) {
        logText(formatText("%s was written by Meshbridge: it is replaced.", path.c_str()));
        return true;
    }
    const std::string text = formatText("%s exists and was not written by Meshbridge: it is left as it is; rename the "
                                        "%s or remove the file to export.",
                                        path.c_str(), source);
    logText(text);
    messageBox(text);
    return false;
}

bool finish(bool written, const std::string& path) {
    if (written) {
        logText(formatText("Exported to FreeSurfer format, name:\n %s", path.c_str()));
    } else {
        logWriteFailure(path);
        logText("Export to FreeSurfer did not succeed.");
    }
    return written;
}

// What an overlay carries in its command-line tag: the mark and the source.
std::string noteOf(const std::string& source) {
    return formatText("Meshbridge %s export of %s", kPluginVersion, lastPathComponent(source).c_str());
}

// The coordinates of an SRF file, a block of vertices at a time: the file
// keeps all x, then all y, then all z, and each column is read in turn by a
// reader of its own, so that no column is ever held whole.
class CoordinateColumns {
public:
    // The reader of the header has found the file to hold every column.
    bool open(const std::string& name, const SrfData& header) {
        const auto column = 4 * static_cast<std::uint64_t>(header.nrOfVertices);
        for (std::size_t c = 0; c < 3; ++c) {
            files_[c] = openFile(name, "rb");
            if (files_[c]) std::setvbuf(files_[c].get(), nullptr, _IONBF, 0);  // one read a block
            if (!files_[c] || !seekFile(files_[c].get(), static_cast<std::int64_t>(header.coordinatesOffset + c * column)))
                return false;
        }
        return true;
    }
    // Straight into the blocks: large reads pass by the files' buffers.
    bool fill(std::size_t count, float* x, float* y, float* z) {
        float* const blocks[3] = {x, y, z};
        for (std::size_t c = 0; c < 3; ++c) {
            if (std::fread(blocks[c], 4, count, files_[c].get()) != count) return false;
            if constexpr (std::endian::native == std::endian::big) {
                for (std::size_t i = 0; i < count; ++i) blocks[c][i] = detail::fromLittleEndian(blocks[c][i]);
            }
        }
        return true;
    }

private:
    FilePtr files_[3];
};

// An SRF file's triangles go out as they are read, a block at a time.
bool exportSurfaceStreamed(const std::string& name) {
    const std::string path = replaceExtension(name, "");
    if (!mayWrite(path, FreeSurferOutput::Surface, "SRF")) return false;
    SrfData srf;
    bool read = false, started = false;
    std::size_t cornersSeen = 0;
    // Why the triangles stopped coming, when they did: a corner beyond the
    // mesh, or a failed write (said by finish()).
    enum class Stop { None, BadCorner, Write } stopped = Stop::None;
    const std::string date = freeSurferDate();
    const bool written = writeFileAtomically(path, FileMode::Binary, [&](std::FILE* file) {
        FreeSurferSurfaceStream stream(file);
        CoordinateColumns columns;
        const auto begin = [&](const SrfData& header) {
            started = true;
            return columns.open(name, header) &&
                   stream.start(static_cast<std::size_t>(header.nrOfVertices),
                                static_cast<std::size_t>(header.nrOfTriangles), date,
                                [&](std::size_t count, float* x, float* y, float* z) {
                                    return columns.fill(count, x, y, z);
                                });
        };
        read = readSrfFile(name, srf, SrfDetail::HeaderOnly,
                           [&](const SrfData& header, std::span<const std::int32_t> corners) {
                               if (!started && !begin(header)) {
                                   stopped = Stop::Write;
                                   return false;
                               }
                               // Whether the block holds any corner beyond the mesh, first, in a loop
                               // without a branch: as unsigned numbers, negative corners are beyond it too.
                               const auto vertices = static_cast<std::uint32_t>(header.nrOfVertices);
                               std::uint32_t beyond = 0;
                               for (const std::int32_t corner : corners)
                                   beyond |= static_cast<std::uint32_t>(corner) >= vertices ? 1u : 0u;
                               const bool inside = beyond == 0;
                               for (std::size_t i = 0; !inside && i < corners.size(); ++i) {
                                   if (corners[i] < 0 || corners[i] >= header.nrOfVertices) {
                                       logText(formatText("Export to FreeSurfer did not succeed: %s holds the triangle "
                                                          "corner %d (at position %zu), which is no vertex index of its "
                                                          "%d vertices.",
                                                          name.c_str(), corners[i], cornersSeen + i,
                                                          header.nrOfVertices));
                                       stopped = Stop::BadCorner;
                                       return false;
                                   }
                               }
                               cornersSeen += corners.size();
                               if (stream.add(corners)) return true;
                               stopped = Stop::Write;
                               return false;
                           });
        if (read && !started && !begin(srf)) return false;  // a surface without triangles
        return read && stream.finish();
    });
    if (stopped == Stop::BadCorner) return false;  // the log says which corner
    if (!read && stopped == Stop::None) {           // the reader says why
        logText("Export to FreeSurfer did not succeed.");
        return false;
    }
    dumpSrfHeader(srf, false, true);
    logText("No volume geometry is written: FreeSurfer takes the coordinates as tkregister (surface RAS) space.");
    return finish(written, path);
}

bool exportSurfaceFile(const std::string& name, bool fromFile) {
    if (fromFile) return exportSurfaceStreamed(name);
    const SrfData srf = loadSrfForExport(name, fromFile);
    if (isFailedLoad(srf)) return false;
    const std::string path = replaceExtension(srf.fileName, "");
    if (!mayWrite(path, FreeSurferOutput::Surface, "SRF")) return false;
    logText("No volume geometry is written: FreeSurfer takes the coordinates as tkregister (surface RAS) space.");
    return finish(writeFreeSurferSurface(path, {srf.vertexX.data(), srf.vertexX.size()},
                                         {srf.vertexY.data(), srf.vertexY.size()},
                                         {srf.vertexZ.data(), srf.vertexZ.size()},
                                         {srf.triangles.data(), srf.triangles.size()}, freeSurferDate()),
                  path);
}

bool exportMapsFile(const std::string& name, bool fromFile) {
    const SmpData smp = loadSmp(name, fromFile);
    if (isFailedLoad(smp)) return false;
    dumpSmpHeader(smp, false, true);
    if (smp.maps.empty() || smp.nrOfVertices <= 0) {
        logText("Export to FreeSurfer did not succeed: the file holds no maps.");
        return false;
    }
    const std::string path = replaceExtension(smp.fileName, ".mgz");
    if (!mayWrite(path, FreeSurferOutput::Overlay, "SMP")) return false;
    // An overlay's frames have no names: the log keeps them.
    for (std::size_t m = 0; m < smp.maps.size(); ++m)
        logText(formatText("Frame %zu: map \"%s\".", m + 1, smp.maps[m].name.c_str()));
    const auto frames = static_cast<std::int32_t>(smp.maps.size());
    const auto vertices = static_cast<std::size_t>(smp.nrOfVertices);
    const auto fill = [&](std::int32_t f, float* values) {
        const SmpMap& map = smp.maps[static_cast<std::size_t>(f)];
        if (map.data.size() < vertices) return false;
        std::copy_n(map.data.data(), vertices, values);
        return true;
    };
    return finish(writeMgzOverlay(path, smp.nrOfVertices, frames, fill, 0.0f, noteOf(smp.fileName)), path);
}

bool exportTimeCourseFile(const std::string& name, bool fromFile) {
    // A file's volumes are read one at a time, as they are written, not all at once.
    const MtcData mtc = loadMtc(name, fromFile, fromFile ? MtcDetail::HeaderOnly : MtcDetail::Whole);
    if (isFailedLoad(mtc)) return false;
    dumpMtcHeader(mtc, false, true);
    if (mtc.nrOfVolumes <= 0 || mtc.nrOfVertices <= 0) {
        logText("Export to FreeSurfer did not succeed: the time course holds no values.");
        return false;
    }
    const std::string path = replaceExtension(mtc.fileName, ".mgz");
    if (!mayWrite(path, FreeSurferOutput::Overlay, "MTC")) return false;
    if (!(mtc.tr > 0.0f)) logText("The time course has no TR: the overlay's TR is written as 0.");
    const auto vertices = static_cast<std::size_t>(mtc.nrOfVertices);
    FilePtr in;
    if (fromFile) {
        in = openFile(mtc.fileName, "rb");
        if (in) std::setvbuf(in.get(), nullptr, _IONBF, 0);  // whole volumes at a time, straight into place
        if (in && !seekFile(in.get(), static_cast<std::int64_t>(mtcHeaderBytes(mtc).size()))) in.reset();
    }
    const auto frame = [&](std::int32_t f, float* values) {
        if (!fromFile) {
            std::copy_n(mtc.data.data() + static_cast<std::size_t>(f) * vertices, vertices, values);
            return true;
        }
        if (!in || std::fread(values, sizeof(float), vertices, in.get()) != vertices) return false;
        if constexpr (std::endian::native == std::endian::big)
            for (std::size_t v = 0; v < vertices; ++v) values[v] = detail::toLittleEndian(values[v]);  // the file's order
        return true;
    };
    return finish(writeMgzOverlay(path, mtc.nrOfVertices, mtc.nrOfVolumes, frame, mtc.tr > 0.0f ? mtc.tr : 0.0f,
                                  noteOf(mtc.fileName)),
                  path);
}

// The colour nearest to `wanted` (one component one step away first, then
// further) that no earlier entry has and that is not black, which FreeSurfer
// reads as no label.
AnnotationEntry freeColor(AnnotationEntry wanted, const std::set<std::int32_t>& taken) {
    if (wanted.value() != 0 && !taken.count(wanted.value())) return wanted;
    for (int step = 1; step < 256; ++step) {
        for (int component = 2; component >= 0; --component) {
            for (const int sign : {1, -1}) {
                AnnotationEntry moved = wanted;
                std::int32_t& value = component == 0 ? moved.red : component == 1 ? moved.green : moved.blue;
                value += sign * step;
                if (value < 0 || value > 255 || moved.value() == 0 || taken.count(moved.value())) continue;
                return moved;
            }
        }
    }
    return wanted;  // not reached: fewer patches than colours
}

bool exportPatchesFile(const std::string& name, bool fromFile) {
    const PoiData poi = loadPoi(name, fromFile);
    if (isFailedLoad(poi)) return false;
    dumpPoiHeader(poi, false, true);
    if (!patchesInsideTheirMesh(poi, "FreeSurfer", "an annotation")) return false;
    const std::string path = replaceExtension(poi.fileName, ".annot");
    if (!mayWrite(path, FreeSurferOutput::Annotation, "POI")) return false;

    // FreeSurfer tells labels by colour: each patch's must be its own.
    std::vector<AnnotationEntry> entries;
    std::set<std::int32_t> taken;
    for (const PoiPatch& patch : poi.patches) {
        AnnotationEntry wanted{toXmlText(patch.name), (patch.color >> 16) & 0xFF, (patch.color >> 8) & 0xFF,
                               patch.color & 0xFF};
        const AnnotationEntry entry = freeColor(wanted, taken);
        if (entry.value() != wanted.value())
            logText(formatText("Patch \"%s\" has the colour %d %d %d of an earlier patch, or black (no label to "
                               "FreeSurfer): it is written as %d %d %d, one step away, as FreeSurfer tells labels by "
                               "their colours.",
                               patch.name.c_str(), wanted.red, wanted.green, wanted.blue, entry.red, entry.green,
                               entry.blue));
        taken.insert(entry.value());
        entries.push_back(entry);
    }
    // Each vertex carries the first patch it is in; vertices in none, no label.
    const std::vector<std::int32_t> labels = firstPatchOfVertices(poi);
    return finish(writeAnnotation(path, labels, entries, noteOf(poi.fileName)), path);
}

}  // namespace

bool exportFreeSurferFile(int fileTypeId, const std::string& name, bool fromFile) {
    switch (fileTypeId) {
        case kFileTypeSrf: return exportSurfaceFile(name, fromFile);
        case kFileTypeSmp: return exportMapsFile(name, fromFile);
        case kFileTypeMtc: return exportTimeCourseFile(name, fromFile);
        case kFileTypePoi: return exportPatchesFile(name, fromFile);
        default: return false;
    }
}

}  // namespace meshbridge
