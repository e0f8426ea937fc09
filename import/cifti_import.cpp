#include "import/cifti_import.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <set>
#include <span>
#include <thread>
#include <vector>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

#include "common/atomic_file.h"
#include "common/binary_io.h"
#include "common/colors.h"
#include "common/huge_pages.h"
#include "common/replace_extension.h"
#include "common/text.h"
#include "common/text_encoding.h"
#include "export/gifti_writing.h"
#include "formats/cifti_file.h"
#include "formats/mtc_file.h"
#include "formats/poi_file.h"
#include "host/host_calls.h"
#include "import/import_support.h"
#include "import/map_import.h"

namespace meshbridge {

namespace {

// Brainordinates read at a time: about 64 KB of values, a block that stays
// in the cache while its values are spread over the rows, and little fresh
// memory (a block of 512 KB took 0.2 ms of a 3.5 ms import to fault in).
constexpr std::size_t kBlockBytes = 64u << 10;
// The values of a file's surfaces may take much more room than the file's own
// (a small region of a large mesh), but not more than this and 16 times the
// file's values both: a file that claims more is refused before anything is
// allocated.
constexpr double kRoomWithoutQuestion = 1024.0 * 1024.0 * 1024.0;
constexpr double kMostTimesTheFile = 16.0;
constexpr int kMostMaps = 32767;  // an SMP file counts its maps in 16 bits

// Refuses the import: the log and a message box say why.
bool refuse(const std::string& path, const std::string& problem) {
    const std::string text = formatText("The CIFTI file %s cannot be imported: %s.", path.c_str(), problem.c_str());
    logText(text);
    messageBox(text);
    return false;
}

// "31 870": digits in groups of three.
std::string grouped(long long number) {
    const std::string digits = std::to_string(number);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        const std::size_t left = digits.size() - i;
        if (i > 0 && left % 3 == 0 && digits[i - 1] != '-') out += ' ';
        out += digits[i];
    }
    return out;
}

// A map's name as part of a file name: characters that no file name may hold
// become "_".
std::string fileNamePart(const std::string& name) {
    std::string part;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        part += byte < 32 || std::strchr("/\\:*?\"<>|", c) ? '_' : c;
    }
    return part;
}

// The values of the surface models, one array per model and row, each with
// one value per vertex of its surface (0 where the file has none).
struct SurfaceValues {
    const CiftiBrainModel* model;
    std::vector<HugePageVector<float>> rows;
};

// Floats for the blocks of brainordinates read at a time: at least one
// brainordinate's rows.
std::size_t blockFloats(std::size_t rows) { return std::max(rows, kBlockBytes / sizeof(float)); }

// Reads brainordinates `from` to `to` - 1 of the matrix in blocks of as many
// as `block` holds and hands each block, with its first brainordinate and
// count, to `take`.
template <class Take>
bool forEachBlock(std::FILE* file, const CiftiHeader& header, std::int64_t from, std::int64_t to,
                  std::span<float> block, std::string& problem, Take take) {
    const auto perBlock = static_cast<std::int64_t>(block.size() / static_cast<std::size_t>(header.rows));
    for (std::int64_t first = from; first < to;) {
        const auto count = std::min(perBlock, to - first);
        if (!readCiftiValues(file, header, first, count, block.data(), problem)) return false;
        take(first, count, block.data());
        first += count;
    }
    return true;
}

// The rows of four brainordinates (each one's values together, as the file
// holds them) stored at vertices `vertex` to `vertex` + 3 of each row's
// target: four rows at a time turned over in registers where the processor
// has SSE (every x86-64 one).
void storeFour(const float* values, std::span<float* const> targets, std::size_t vertex) {
    const std::size_t rows = targets.size();
    std::size_t r = 0;
#if defined(__SSE2__) || defined(_M_X64)
    for (; r + 4 <= rows; r += 4) {
        __m128 first = _mm_loadu_ps(values + r), second = _mm_loadu_ps(values + rows + r),
               third = _mm_loadu_ps(values + 2 * rows + r), fourth = _mm_loadu_ps(values + 3 * rows + r);
        _MM_TRANSPOSE4_PS(first, second, third, fourth);
        _mm_storeu_ps(targets[r] + vertex, first);
        _mm_storeu_ps(targets[r + 1] + vertex, second);
        _mm_storeu_ps(targets[r + 2] + vertex, third);
        _mm_storeu_ps(targets[r + 3] + vertex, fourth);
    }
#endif
    for (; r < rows; ++r) {
        float* to = targets[r] + vertex;
        to[0] = values[r];
        to[1] = values[rows + r];
        to[2] = values[2 * rows + r];
        to[3] = values[3 * rows + r];
    }
}

// One surface model's rows (maps, or label maps), read into `targets` (one
// array of the surface's vertices for each row). Unless the targets are
// `cleared`, the vertices the file leaves out are set to 0: in passing where
// the model names its vertices in increasing order, else all first. Only the
// model's brainordinates are read.
bool readModelRows(std::FILE* file, const CiftiHeader& header, const CiftiBrainModel& model,
                   std::span<float* const> targets, std::span<float> block, bool cleared, std::string& problem) {
    const std::size_t rows = targets.size();
    const auto vertices = static_cast<std::size_t>(model.surfaceVertices);
    const bool inPassing = !cleared && model.verticesInOrder;
    if (!cleared && !inPassing)
        for (float* row : targets) std::fill_n(row, vertices, 0.0f);
    std::size_t unwritten = 0;  // filling in passing: the first vertex not written yet
    const auto zeroUpTo = [&](std::size_t end) {
        for (; unwritten < end; ++unwritten)
            for (float* row : targets) row[unwritten] = 0.0f;
    };
    const bool done = forEachBlock(
        file, header, model.indexOffset, model.indexOffset + model.indexCount, block, problem,
        [&](std::int64_t first, std::int64_t count, const float* read) {
            const std::int32_t* vertexOf = model.vertexIndices.data() + (first - model.indexOffset);
            const auto n = static_cast<std::size_t>(count);
            for (std::size_t b = 0; b < n;) {
                const auto vertex = static_cast<std::size_t>(vertexOf[b]);
                const float* values = read + b * rows;
                // Four brainordinates of consecutive vertices (most are):
                // each row's four values are stored together.
                const bool four = b + 4 <= n && vertexOf[b + 1] - vertexOf[b] == 1 &&
                                  vertexOf[b + 2] - vertexOf[b] == 2 && vertexOf[b + 3] - vertexOf[b] == 3;
                if (inPassing) {
                    zeroUpTo(vertex);
                    unwritten = vertex + (four ? 4 : 1);
                }
                if (four) {
                    storeFour(values, targets, vertex);
                    b += 4;
                } else {
                    for (std::size_t r = 0; r < rows; ++r) targets[r][vertex] = values[r];
                    ++b;
                }
            }
        });
    if (inPassing) zeroUpTo(vertices);
    return done;
}

// Row after row (label maps): every surface model's values, in arrays of
// their own.
bool readSurfaceRows(std::FILE* file, const CiftiHeader& header, std::span<SurfaceValues> surfaces,
                     std::string& problem) {
    const auto rows = static_cast<std::size_t>(header.rows);
    UnclearedHugePageVector<float> block(blockFloats(rows));
    for (SurfaceValues& surface : surfaces) {
        std::vector<float*> targets;
        surface.rows.resize(rows);
        for (auto& row : surface.rows) {
            row.resize(static_cast<std::size_t>(surface.model->surfaceVertices));
            targets.push_back(row.data());
        }
        if (!readModelRows(file, header, *surface.model, targets, block, true, problem)) return false;
    }
    return true;
}

// Whole volumes made from the courses of one model, a batch at a time, on a
// worker thread (pure computation: it never calls the host) while the
// calling thread writes the batch before: two buffers take turns. Vertices
// no brainordinate holds keep the buffers' zeros, as no batch writes them.
class VolumeBatches {
public:
    VolumeBatches(const float* courses, const CiftiBrainModel& model, std::size_t frames, std::size_t batch)
        : courses_(courses), model_(model), frames_(frames), batch_(batch),
          vertices_(static_cast<std::size_t>(model.surfaceVertices)) {
        for (Slot& slot : slots_) slot.volumes.resize(batch * vertices_);
        worker_ = std::thread([this] { run(); });
    }
    ~VolumeBatches() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        if (worker_.joinable()) worker_.join();
    }
    VolumeBatches(const VolumeBatches&) = delete;
    VolumeBatches& operator=(const VolumeBatches&) = delete;

    // Batch `k` (volumes k * batch on), once made: its values, the calling
    // thread's to read until it calls done(k).
    std::span<const float> get(std::size_t k) {
        Slot& slot = slots_[k % 2];
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return slot.made == k + 1; });
        const std::size_t volumes = std::min(batch_, frames_ - k * batch_);
        return {slot.volumes.data(), volumes * vertices_};
    }
    void done(std::size_t k) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            slots_[k % 2].made = 0;
        }
        changed_.notify_all();
    }

private:
    struct Slot {
        HugePageVector<float> volumes;
        std::size_t made = 0;  // the batch it holds, plus one; 0: free
    };

    static void prefetch(const float* address) {
#if defined(__GNUC__)
        __builtin_prefetch(address);
#else
        (void)address;
#endif
    }

    void run() {
        constexpr std::size_t kAhead = 8;
        const auto count = static_cast<std::size_t>(model_.indexCount);
        const std::int32_t* vertexOf = model_.vertexIndices.data();
        for (std::size_t k = 0; k * batch_ < frames_; ++k) {
            Slot& slot = slots_[k % 2];
            {
                std::unique_lock<std::mutex> lock(mutex_);
                changed_.wait(lock, [&] { return stop_ || slot.made == 0; });
                if (stop_) return;
            }
            const std::size_t t0 = k * batch_, t1 = std::min(frames_, t0 + batch_);
            float* volumes = slot.volumes.data() - t0 * vertices_;
            // A brainordinate's values of the batch lie together; the next
            // brainordinates' are a course apart, fetched ahead of their turn.
            for (std::size_t b = 0; b < count; ++b) {
                if (b + kAhead < count) prefetch(courses_ + (b + kAhead) * frames_ + t0);
                const float* course = courses_ + b * frames_;
                float* at = volumes + static_cast<std::size_t>(vertexOf[b]);
                for (std::size_t t = t0; t < t1; ++t) at[t * vertices_] = course[t];
            }
            if constexpr (std::endian::native == std::endian::big)
                for (float& value : slot.volumes) value = detail::toLittleEndian(value);
            {
                const std::lock_guard<std::mutex> lock(mutex_);
                slot.made = k + 1;
            }
            changed_.notify_all();
        }
    }

    const float* courses_;
    const CiftiBrainModel& model_;
    std::size_t frames_, batch_, vertices_;
    Slot slots_[2];
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stop_ = false;
    std::thread worker_;
};

// The time course of one surface model, written into its MTC file volume
// after volume, front to back: the model's courses are read at once (each
// brainordinate's course lies together in the file), then turned into whole
// volumes a batch at a time in small buffers that stay in the cache while
// they are written.
bool writeVolumes(std::FILE* in, const CiftiHeader& header, const CiftiBrainModel& model, const MtcData& mtc,
                  UnclearedHugePageVector<float>& courses, std::string& problem) {
    constexpr std::size_t kVolumesAtOnce = 16;
    const auto frames = static_cast<std::size_t>(header.rows);
    if (!readCiftiValues(in, header, model.indexOffset, model.indexCount, courses.data(), problem)) return false;
    const std::size_t batch = std::min(kVolumesAtOnce, frames);
    const std::vector<unsigned char> head = mtcHeaderBytes(mtc);
    const bool written = writeFileAtomically(mtc.fileName, FileMode::Binary, [&](std::FILE* out) {
        if (std::fwrite(head.data(), 1, head.size(), out) != head.size()) return false;
        VolumeBatches batches(courses.data(), model, frames, batch);
        for (std::size_t k = 0; k * batch < frames; ++k) {
            const std::span<const float> values = batches.get(k);
            if (std::fwrite(values.data(), sizeof(float), values.size(), out) != values.size()) return false;
            batches.done(k);
        }
        return true;
    });
    if (!written) {
        logWriteFailure(mtc.fileName);
        problem = "its time course " + mtc.fileName + " could not be written";
    }
    return written;
}

bool importScalars(std::FILE* file, const CiftiHeader& header, std::vector<SurfaceValues>& surfaces,
                   CiftiRoom& room, const std::string& path, bool printToLogtab, bool openInHost) {
    if (header.rows > kMostMaps)
        return refuse(path, formatText("it holds %lld maps; an SMP file holds %d at most",
                                       static_cast<long long>(header.rows), kMostMaps));
    const std::optional<int> intent = askMapIntent(path);
    if (!intent) {
        logText(formatText("The import of %s is cancelled: no file was written.", path.c_str()));
        return false;
    }
    // One structure at a time, its maps' values go straight into one array,
    // lent to the arrays of an image that the map import takes and writes
    // from; the block the matrix is read in follows them. The array lies
    // where the XML was read, where it fits, and is reused for the next
    // structure.
    const auto rows = static_cast<std::size_t>(header.rows);
    UnclearedHugePageVector<float> own;  // where the room has too little
    MapAnswers answers;
    for (SurfaceValues& surface : surfaces) {
        const auto vertices = static_cast<std::size_t>(surface.model->surfaceVertices);
        const std::size_t floats = vertices * rows + blockFloats(rows);
        float* values = room.floats(floats);
        if (!values) {
            own.resize(floats);
            values = own.data();
        }
        GiftiImagePtr image = createExportImage(static_cast<int>(rows));
        if (!image) return refuse(path, "its maps do not fit in memory");
        LentValues lent(image.get());
        std::vector<float*> targets;
        for (std::size_t r = 0; r < rows; ++r) {
            giiDataArray& array = *image->darray[r];
            setArrayFields(array, *intent, NIFTI_TYPE_FLOAT32, {surface.model->surfaceVertices}, false);
            float* data = values + r * vertices;
            lent.lend(static_cast<int>(r), data);
            targets.push_back(data);
            addArrayMetadata(array, "Name", header.mapNames[r]);
        }
        const std::span<float> block(values + vertices * rows, blockFloats(rows));
        std::string problem;
        if (!readModelRows(file, header, *surface.model, targets, block, false, problem))
            return refuse(path, problem);
        const std::string output = ciftiOutputName(path, surface.model->structure, "", ".smp");
        if (!importSurfaceMap(*image, path, printToLogtab, openInHost, output, &answers)) return false;
    }
    return true;
}

bool importSeries(std::FILE* file, const CiftiHeader& header, const std::vector<SurfaceValues>& surfaces,
                  const std::string& path, bool printToLogtab) {
    if (header.rows > INT32_MAX)
        return refuse(path, formatText("it holds %lld frames; an MTC file holds %d at most",
                                       static_cast<long long>(header.rows), INT32_MAX));
    float tr = 0.0f;
    const double milliseconds = std::round(header.seriesStep * 1000.0);
    if (header.seriesUnit != "SECOND") {
        logText(formatText("The series of %s is in %s, not in seconds: TR 0 ms.", path.c_str(),
                           header.seriesUnit.empty() ? "no unit" : header.seriesUnit.c_str()));
    } else if (!(milliseconds >= 1.0 && milliseconds < 2.0e9)) {
        logText(formatText("The SeriesStep of %s, %g s, is not a usable time: TR 0 ms.", path.c_str(),
                           header.seriesStep));
    } else {
        tr = static_cast<float>(milliseconds);
        logText(formatText("TR %.0f ms from the series' step of %g s.", milliseconds, header.seriesStep));
    }
    // One structure after the other, each read at once and written as soon as
    // it is read, into one buffer for the largest structure's courses.
    MtcData mtc;
    mtc.version = 1;
    mtc.nrOfVolumes = static_cast<std::int32_t>(header.rows);
    mtc.vtcFileName = "<none>";
    mtc.prtFileName = "<none>";
    mtc.tr = tr;
    mtc.headerFlag = 1;
    std::int64_t most = 0;
    for (const SurfaceValues& surface : surfaces) most = std::max(most, surface.model->indexCount);
    UnclearedHugePageVector<float> courses(static_cast<std::size_t>(most) * static_cast<std::size_t>(header.rows));
    for (const SurfaceValues& surface : surfaces) {
        const CiftiBrainModel& model = *surface.model;
        mtc.nrOfVertices = model.surfaceVertices;
        mtc.fileName = ciftiOutputName(path, model.structure, "", ".mtc");
        std::string problem;
        if (!writeVolumes(file, header, model, mtc, courses, problem)) return refuse(path, problem);
        logText(formatText("MTC saved as:\n%s", mtc.fileName.c_str()));
        if (printToLogtab) dumpMtcHeader(mtc, false, true);
    }
    return true;
}

// One POI: a patch for each label key that vertices carry, in the table's
// order; key 0 ("???", unassigned) is no patch.
PoiData patchesOfLabels(const HugePageVector<float>& keys, const std::vector<CiftiLabel>& table,
                        std::int32_t vertices, const std::string& fileName) {
    PoiData poi;
    poi.version = 2;
    poi.nrOfMeshVertices = vertices;
    poi.fileName = fileName;
    std::map<std::int32_t, std::size_t> entryOfKey;
    for (std::size_t e = 0; e < table.size(); ++e) entryOfKey.emplace(table[e].key, e);
    std::vector<std::vector<std::int32_t>> verticesOfEntry(table.size());
    std::size_t unknown = 0;
    for (std::size_t v = 0; v < keys.size(); ++v) {
        const float value = keys[v];
        const std::int32_t key =
            std::isfinite(value) && std::fabs(value) < 2.0e9f ? static_cast<std::int32_t>(std::lround(value)) : -1;
        if (key == 0) continue;
        const auto found = entryOfKey.find(key);
        if (found == entryOfKey.end()) {
            ++unknown;
            continue;
        }
        verticesOfEntry[found->second].push_back(static_cast<std::int32_t>(v));
    }
    if (unknown > 0)
        logText(formatText("%zu vertices of %s carry a key that its label table does not hold; they are in no patch.",
                           unknown, lastPathComponent(fileName).c_str()));
    for (std::size_t e = 0; e < table.size(); ++e) {
        if (verticesOfEntry[e].empty() || table[e].key == 0) continue;
        PoiPatch patch;
        patch.name = fromXmlText(table[e].name);
        patch.color = packedRgb(colorByteRounded(table[e].rgba[0]), colorByteRounded(table[e].rgba[1]),
                                colorByteRounded(table[e].rgba[2]));
        patch.vertices.owned().assign(verticesOfEntry[e].begin(), verticesOfEntry[e].end());
        patch.nrOfVertices = static_cast<std::int32_t>(patch.vertices.size());
        patch.labelVertex = patch.vertices[0];
        poi.patches.push_back(std::move(patch));
    }
    poi.nrOfPOIs = static_cast<std::int32_t>(poi.patches.size());
    return poi;
}

bool importLabels(std::FILE* file, const CiftiHeader& header, std::vector<SurfaceValues>& surfaces,
                  const std::string& path, bool printToLogtab, bool openInHost) {
    std::string problem;
    if (!readSurfaceRows(file, header, surfaces, problem)) return refuse(path, problem);
    // With several label maps, each file is named after its map too.
    std::vector<std::string> parts(header.mapNames.size());
    std::set<std::string> taken;
    for (std::size_t r = 0; r < parts.size() && parts.size() > 1; ++r) {
        std::string base = fileNamePart(fromXmlText(header.mapNames[r]));
        if (base.empty()) base = formatText("map%zu", r + 1);
        std::string part = base;
        for (int n = 2; !taken.insert(part).second; ++n) part = base + std::to_string(n);
        parts[r] = part;
    }
    for (SurfaceValues& surface : surfaces) {
        for (std::size_t r = 0; r < surface.rows.size(); ++r) {
            const std::string output = ciftiOutputName(path, surface.model->structure, parts[r], ".poi");
            const PoiData poi =
                patchesOfLabels(surface.rows[r], header.labelTables[r], surface.model->surfaceVertices, output);
            HugePageVector<float>().swap(surface.rows[r]);
            if (!writePoiFile(poi)) return refuse(path, "its patches " + output + " could not be written");
            logText(formatText("POI saved as:\n%s", poi.fileName.c_str()));
            if (printToLogtab) dumpPoiHeader(poi, false, true);
            if (openInHost && !loadPatchesInHost(poi.fileName))
                messageBox("Patch of interest (POI) could not be loaded on current surface (SRF).");
        }
    }
    return true;
}

// Logs what the file holds and which of it is left out; the surface models.
std::vector<SurfaceValues> surfaceModels(const CiftiHeader& header, const std::string& path) {
    std::vector<SurfaceValues> surfaces;
    std::int64_t voxels = 0;
    std::set<std::string> voxelStructures;
    for (const CiftiBrainModel& model : header.models) {
        if (!model.surface) {
            voxels += model.indexCount;
            voxelStructures.insert(model.structure);
            continue;
        }
        surfaces.push_back({&model, {}});
        const std::int64_t missing = model.surfaceVertices - model.indexCount;
        logText(formatText("%s: %s of %s vertices hold values%s", model.structure.c_str(),
                           grouped(model.indexCount).c_str(), grouped(model.surfaceVertices).c_str(),
                           missing > 0 ? formatText("; the other %s (such as the medial wall) hold 0.",
                                                    grouped(missing).c_str()).c_str()
                                       : "."));
    }
    if (voxels > 0)
        logText(formatText("The %s voxels of %zu subcortical structure%s in %s are left out.", grouped(voxels).c_str(),
                           voxelStructures.size(), voxelStructures.size() == 1 ? "" : "s",
                           lastPathComponent(path).c_str()));
    return surfaces;
}

}  // namespace

bool isCiftiCandidate(const std::string& path) {
    if (hasExtension(path, ".nii") || hasExtension(path, ".nii.gz")) return true;
    FilePtr file = openFile(path, "rb");
    unsigned char head[12] = {};
    if (!file || std::fread(head, 1, sizeof head, file.get()) != sizeof head) return false;
    const bool nifti2 = std::memcmp(head + 4, "n+2\0\r\n\032\n", 8) == 0;
    const bool nifti1Size = (head[0] == 0x5C && head[1] == 0x01 && head[2] == 0 && head[3] == 0) ||
                            (head[0] == 0 && head[1] == 0 && head[2] == 0x01 && head[3] == 0x5C);
    return nifti2 || nifti1Size;
}

std::string ciftiOutputName(const std::string& path, const std::string& structure, const std::string& mapName,
                            const char* suffix) {
    std::string stem = outputBaseFor(path);
    for (const char* extension : {".dscalar.nii", ".dtseries.nii", ".dlabel.nii", ".nii"}) {
        if (hasExtension(stem, extension)) {
            stem.resize(stem.size() - std::strlen(extension));
            break;
        }
    }
    const std::string tag = structure == "CORTEX_LEFT" ? "LH" : structure == "CORTEX_RIGHT" ? "RH" : structure;
    return stem + (mapName.empty() ? "" : "_" + mapName) + "_" + tag + suffix;
}

bool importCiftiFile(const std::string& path, bool printToLogtab, bool openInHost) {
    FilePtr file = openFile(path, "rb");
    const int openError = errno;
    // Read in large blocks, straight into their arrays: no buffer in between.
    if (file) std::setvbuf(file.get(), nullptr, _IONBF, 0);
    if (const std::string foreign = notAFileOfKind(path, "a CIFTI file", file.get()); !foreign.empty()) {
        logText(foreign);
        messageBox(foreign);
        return false;
    }
    const std::int64_t size = file ? bytesLeftInFile(file.get()) : -1;
    if (size < 0) return refuse(path, std::string("it cannot be opened: ") + std::strerror(file ? errno : openError));
    std::string problem;
    // The XML's room, then the maps'; the header's vertex indices lie in it,
    // so it is made first and goes after the header.
    CiftiRoom room;
    CiftiHeader header;
    if (!readCiftiHeader(file.get(), static_cast<std::uint64_t>(size), header, problem, room))
        return refuse(path, problem);
    logText(formatText("Reading %s: a CIFTI-2 %s of %lld %s by %lld brainordinates.", path.c_str(),
                       ciftiKindName(header.kind), static_cast<long long>(header.rows),
                       header.kind == CiftiKind::Series ? (header.rows == 1 ? "frame" : "frames")
                                                        : (header.rows == 1 ? "map" : "maps"),
                       static_cast<long long>(header.brainordinates)));
    std::vector<SurfaceValues> surfaces = surfaceModels(header, path);
    if (surfaces.empty()) return refuse(path, "it holds no surface models, only voxels");
    double bytes = 0.0;
    for (const SurfaceValues& surface : surfaces)
        bytes += static_cast<double>(surface.model->surfaceVertices) * static_cast<double>(header.rows) * 4.0;
    const double fileValues = static_cast<double>(size - header.matrixOffset);
    if (bytes > kRoomWithoutQuestion && bytes > kMostTimesTheFile * fileValues)
        return refuse(path, formatText("its surfaces of %s vertices would need %.1f GB of memory for %.1f MB of values "
                                       "in the file, which no real file claims",
                                       grouped(static_cast<long long>(bytes / 4.0 / static_cast<double>(header.rows)))
                                           .c_str(),
                                       bytes / 1e9, fileValues / 1e6));
    // A file of several structures is not opened on the host's one surface.
    const bool open = openInHost && surfaces.size() == 1 && (header.kind != CiftiKind::Labels || header.rows == 1);
    if (openInHost && !open)
        logText("The results are not opened in Corvana: the file holds several structures or label maps; open each "
                "on its own surface.");
    try {
        switch (header.kind) {
            case CiftiKind::Scalars:
                if (!importScalars(file.get(), header, surfaces, room, path, printToLogtab, open)) return false;
                break;
            case CiftiKind::Series:
                if (!importSeries(file.get(), header, surfaces, path, printToLogtab)) return false;
                break;
            case CiftiKind::Labels:
                if (!importLabels(file.get(), header, surfaces, path, printToLogtab, open)) return false;
                break;
        }
    } catch (const std::bad_alloc&) {
        return refuse(path, formatText("it needs %.1f GB of memory, which cannot be had", bytes / 1e9));
    }
    logText(formatText("CIFTI %s successfully imported.", ciftiKindName(header.kind)));
    return true;
}

}  // namespace meshbridge
