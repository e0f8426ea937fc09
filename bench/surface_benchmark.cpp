// Surface import and export on closed meshes of about 160 000, 650 000 and
// 2 600 000 vertices, time-series import and export of 40 962 vertices x
// 1 000 volumes, beside gifticlib's own read and write of the same files, and
// the import of HCP-sized CIFTI-2 dense files (91 282 brainordinates, 59 412
// of them on the cortex: a time series of 1 200 frames and 10 maps) over
// reading the file once plus writing the outputs' bytes.
//
//   surface_benchmark [--levels 7,8,9] [--encodings ascii,base64,gzip] [--repeat 5]
//                     [--volumes 1000] [--dir DIR] [--keep yes]
//
// Each step runs in a fresh process, so its peak memory is its own. The steps
// that are compared run interleaved, --repeat times (default 5), and the
// table shows the median of each (or the fastest, --fastest yes). The reference steps are Debian's unpatched
// gifticlib (the program gifti_reference beside this one), so that the
// plug-in's faster copy never flatters a ratio. The ratio of an import is
// over its floor: the reference read plus writing the output's bytes from one
// reused 1 MB block, as dd does; of an export, over the reference write of
// the same image.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "bench/bench_host.h"
#include "bench/bench_support.h"
#include "common/binary_io.h"
#include "export/time_series_export.h"
#include "import/time_series_import.h"
#include "common/gifti.h"
#include "common/replace_extension.h"
#include "export/gifti_writing.h"
#include "export/surface_export.h"
#include "export/freesurfer_export.h"
#include "common/plugin_info.h"
#include "formats/cifti_file.h"
#include "formats/srf_file.h"
#include "host/host_functions.h"
#include "import/cifti_import.h"
#include "import/surface_import.h"

using namespace meshbridge;
using namespace meshbridge::bench;

namespace {

int encodingCode(const std::string& name) {
    if (name == "ascii") return GIFTI_ENCODING_ASCII;
    if (name == "base64") return GIFTI_ENCODING_B64BIN;
    return GIFTI_ENCODING_B64GZ;
}

bool writeMesh(const Mesh& mesh, const std::string& path, int encoding) {
    GiftiImagePtr image = createExportImage(2);
    const int vertices = static_cast<int>(mesh.xyz.size() / 3);
    const int triangles = static_cast<int>(mesh.triangles.size() / 3);
    setArrayFields(*image->darray[0], NIFTI_INTENT_POINTSET, NIFTI_TYPE_FLOAT32, {vertices, 3}, false, encoding);
    setArrayFields(*image->darray[1], NIFTI_INTENT_TRIANGLE, NIFTI_TYPE_INT32, {triangles, 3}, false, encoding);
    std::memcpy(allocateArrayData(*image, 0), mesh.xyz.data(), mesh.xyz.size() * sizeof(float));
    std::memcpy(allocateArrayData(*image, 1), mesh.triangles.data(), mesh.triangles.size() * sizeof(std::int32_t));
    return gifti_write_image(image.get(), path.c_str(), 1) == 0;
}

constexpr int kTimeSeriesVertices = 40962;

float sampleValue(std::size_t vertex, std::size_t volume) {
    return static_cast<float>((vertex * 7919 + volume * 104729) % 100003) / 97.0f;
}

// A time series of `volumes` arrays of kTimeSeriesVertices values.
bool writeTimeSeries(int volumes, const std::string& path, int encoding) {
    GiftiImagePtr image = createExportImage(volumes);
    for (int t = 0; t < volumes; ++t) {
        setArrayFields(*image->darray[t], NIFTI_INTENT_TIME_SERIES, NIFTI_TYPE_FLOAT32, {kTimeSeriesVertices}, false,
                       encoding);
        auto* values = allocateArrayValues<float>(*image, t);
        for (std::size_t v = 0; v < kTimeSeriesVertices; ++v) values[v] = sampleValue(v, static_cast<std::size_t>(t));
    }
    return gifti_write_image(image.get(), path.c_str(), 1) == 0;
}

// The same time course as an MTC file, as the host writes it.
bool writeMtc(int volumes, const std::string& path) {
    FilePtr file = openFile(path, "wb");
    if (!file) return false;
    BinaryWriter out(file.get());
    out.write(std::int32_t{1});
    out.write(std::int32_t{kTimeSeriesVertices});
    out.write(std::int32_t{volumes});
    out.writeZeroTerminated("<none>");
    out.writeZeroTerminated("<none>");
    out.write(std::int32_t{0});
    out.write(2000.0f);
    for (int i = 0; i < 2; ++i) out.write(0.0f);
    for (int i = 0; i < 2; ++i) out.write(std::int32_t{0});
    out.write(std::int8_t{1});
    for (std::size_t t = 0; t < static_cast<std::size_t>(volumes); ++t)
        for (std::size_t v = 0; v < kTimeSeriesVertices; ++v) out.write(sampleValue(v, t));
    return out.flush();
}

// An HCP-sized dense file: 29 696 of the left cortex's 32 492 vertices, 29 716
// of the right's, and 31 870 voxels, by `rows` frames (.dtseries.nii) or maps
// (.dscalar.nii).
constexpr std::int32_t kHcpVertices = 32492;
constexpr std::int32_t kHcpLeft = 29696, kHcpRight = 29716, kHcpVoxels = 31870;

bool writeHcpCifti(std::int64_t rows, const std::string& path) {
    const bool series = path.find(".dtseries.") != std::string::npos;
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<CIFTI Version=\"2\">\n<Matrix>\n";
    if (series) {
        xml += "<MatrixIndicesMap AppliesToMatrixDimension=\"0\" IndicesMapToDataType=\"CIFTI_INDEX_TYPE_SERIES\" "
               "NumberOfSeriesPoints=\"" + std::to_string(rows) +
               "\" SeriesExponent=\"0\" SeriesStart=\"0\" SeriesStep=\"0.72\" SeriesUnit=\"SECOND\"/>\n";
    } else {
        xml += "<MatrixIndicesMap AppliesToMatrixDimension=\"0\" IndicesMapToDataType=\"CIFTI_INDEX_TYPE_SCALARS\">\n";
        for (std::int64_t m = 0; m < rows; ++m) xml += "<NamedMap><MapName>map " + std::to_string(m) + "</MapName></NamedMap>\n";
        xml += "</MatrixIndicesMap>\n";
    }
    xml += "<MatrixIndicesMap AppliesToMatrixDimension=\"1\" IndicesMapToDataType=\"CIFTI_INDEX_TYPE_BRAIN_MODELS\">\n";
    std::int64_t offset = 0;
    for (const auto& [structure, count] : {std::pair<const char*, std::int32_t>{"CORTEX_LEFT", kHcpLeft},
                                           std::pair<const char*, std::int32_t>{"CORTEX_RIGHT", kHcpRight}}) {
        xml += "<BrainModel IndexOffset=\"" + std::to_string(offset) + "\" IndexCount=\"" + std::to_string(count) +
               "\" ModelType=\"CIFTI_MODEL_TYPE_SURFACE\" BrainStructure=\"CIFTI_STRUCTURE_" + structure +
               "\" SurfaceNumberOfVertices=\"" + std::to_string(kHcpVertices) + "\">\n<VertexIndices>";
        // The medial wall: the last vertices of every stretch of eleven.
        for (std::int32_t v = 0, kept = 0; kept < count; ++v)
            if (v % 11 != 10 || kHcpVertices - v <= count - kept) xml += std::to_string(v) + (++kept < count ? " " : "");
        xml += "</VertexIndices>\n</BrainModel>\n";
        offset += count;
    }
    xml += "<BrainModel IndexOffset=\"" + std::to_string(offset) + "\" IndexCount=\"" + std::to_string(kHcpVoxels) +
           "\" ModelType=\"CIFTI_MODEL_TYPE_VOXELS\" BrainStructure=\"CIFTI_STRUCTURE_THALAMUS_LEFT\">"
           "<VoxelIndicesIJK>";
    for (std::int32_t v = 0; v < kHcpVoxels; ++v)
        xml += std::to_string(v % 91) + " " + std::to_string(v / 91 % 109) + " " + std::to_string(v / 91 / 109) + "\n";
    xml += "</VoxelIndicesIJK></BrainModel>\n</MatrixIndicesMap>\n</Matrix>\n</CIFTI>\n";
    const std::int64_t brainordinates = offset + kHcpVoxels;
    const std::vector<unsigned char> header =
        ciftiHeaderBytes(series ? CiftiKind::Series : CiftiKind::Scalars, rows, brainordinates, xml);
    FilePtr file = openFile(path, "wb");
    if (!file) return false;
    BinaryWriter out(file.get());
    out.writeArray(header.data(), header.size());
    for (std::int64_t b = 0; b < brainordinates; ++b)
        for (std::int64_t t = 0; t < rows; ++t)
            out.write(sampleValue(static_cast<std::size_t>(b), static_cast<std::size_t>(t)));
    return out.flush();
}

// The files the import of the dense file `path` writes.
std::vector<std::string> hcpCiftiOutputs(const std::string& path) {
    const char* suffix = path.find(".dtseries.") != std::string::npos ? ".mtc" : ".smp";
    return {ciftiOutputName(path, "CORTEX_LEFT", "", suffix), ciftiOutputName(path, "CORTEX_RIGHT", "", suffix)};
}

// Before the clock starts, the output of a step goes, so that the step writes
// a new file, unless the step's last word is "replacing": then it replaces the
// file the last run wrote.
void makeRoomFor(const std::vector<std::string>& args, const std::string& output) {
    if (args.back() != "replacing") std::filesystem::remove(output);
}

// One measured step, in this process; the exit status says whether it worked.
int runStepHere(const std::vector<std::string>& args) {
    const std::string& step = args.at(0);
    if (step == "generate") {
        return writeMesh(icosphere(std::stoi(args.at(1))), args.at(3), encodingCode(args.at(2))) ? 0 : 1;
    }
    if (step == "generate-time-series") {
        const int volumes = std::stoi(args.at(1));
        return writeTimeSeries(volumes, args.at(3), encodingCode(args.at(2))) && writeMtc(volumes, args.at(4)) ? 0 : 1;
    }
    if (step == "import-time-series") {
        installBenchmarkHost(kTimeSeriesVertices);
        const auto start = nowNanoseconds();
        GiftiImagePtr image = readGiftiImage(args.at(1), true);
        const bool done = image && importTimeSeries(*image, args.at(1), false, false);
        reportStepSeconds(secondsSince(start));
        return done ? 0 : 1;
    }
    if (step == "fill-host-courses") {  // the floor of a time-series import's output: the host's courses, each value once
        installBenchmarkHost(kTimeSeriesVertices);
        const int volumes = std::stoi(args.at(1));
        const auto start = nowNanoseconds();
        HostMtcInfo info{};
        float** courses = hostFunctions().ztCreateMTCForCurrentSRF(volumes) == 1
                              ? hostFunctions().ztGetMTCOfCurrentSRF(&info)
                              : nullptr;
        for (int v = 0; courses && v < info.nrOfVertices; ++v) std::fill_n(courses[v], volumes, 1.0f);
        reportStepSeconds(secondsSince(start));
        return courses ? 0 : 1;
    }
    if (step == "export-time-series") {
        makeRoomFor(args, replaceExtension(args.at(1), ".time.gii"));
        const auto start = nowNanoseconds();
        const bool done = exportTimeSeries(args.at(1), true, args.at(2) == "gzip");
        reportStepSeconds(secondsSince(start));
        return done ? 0 : 1;
    }
    if (step == "generate-cifti") return writeHcpCifti(std::stoll(args.at(1)), args.at(2)) ? 0 : 1;
    if (step == "import-cifti") {  // as z maps, where the file holds maps
        for (const std::string& output : hcpCiftiOutputs(args.at(1))) std::filesystem::remove(output);
        installBenchmarkHost(0);
        answerIntegerQuestions(4);
        const auto start = nowNanoseconds();
        const bool done = importCiftiFile(args.at(1), false, false);
        reportStepSeconds(secondsSince(start));
        return done ? 0 : 1;
    }
    if (step == "read-bytes") {  // the floor of reading a file once: into one reused 1 MB block, as dd does
        std::vector<char> block(std::size_t{1} << 20);
        const auto start = nowNanoseconds();
        FilePtr file = openFile(args.at(1), "rb");
        bool done = file != nullptr;
        while (done && std::fread(block.data(), 1, block.size(), file.get()) == block.size()) {
        }
        done = done && std::ferror(file.get()) == 0;
        reportStepSeconds(secondsSince(start));
        return done ? 0 : 1;
    }
    if (step == "read") {
        const auto start = nowNanoseconds();
        GiftiImagePtr image(gifti_read_image(args.at(1).c_str(), 1));
        reportStepSeconds(secondsSince(start));
        return image ? 0 : 1;
    }
    if (step == "import") {
        makeRoomFor(args, replaceExtension(args.at(1), ".srf"));
        const auto start = nowNanoseconds();
        GiftiImagePtr image = readGiftiImage(args.at(1), true);
        const bool done = image && importSurface(*image, args.at(1), false, false, false, nullptr);
        reportStepSeconds(secondsSince(start));
        return done ? 0 : 1;
    }
    if (step == "export") {
        makeRoomFor(args, replaceExtension(args.at(1), ".surf.gii"));
        const auto start = nowNanoseconds();
        const bool done = exportSurface(args.at(1), true, args.at(2) == "gzip", false);
        reportStepSeconds(secondsSince(start));
        return done ? 0 : 1;
    }
    if (step == "export-freesurfer") {  // an SRF to a surface, or an MTC to an MGZ overlay
        const bool surface = args.at(2) == "srf";
        makeRoomFor(args, replaceExtension(args.at(1), surface ? "" : ".mgz"));
        const auto start = nowNanoseconds();
        const bool done = exportFreeSurferFile(surface ? kFileTypeSrf : kFileTypeMtc, args.at(1), true);
        reportStepSeconds(secondsSince(start));
        return done ? 0 : 1;
    }
    if (step == "load-srf") {
        const auto start = nowNanoseconds();
        const bool done = !isFailedLoad(loadSrf(args.at(1), true, SrfDetail::WithoutNormalsAndNeighbors));
        reportStepSeconds(secondsSince(start));
        return done ? 0 : 1;
    }
    if (step == "write-bytes") {  // the floor of writing: these bytes from one reused 1 MB block, as dd does
        const std::uint64_t total = std::stoull(args.at(1));
        const std::vector<char> block(std::size_t{1} << 20, 'x');
        makeRoomFor(args, args.at(2));
        const auto start = nowNanoseconds();
        FilePtr file = openFile(args.at(2), "wb");
        bool done = file != nullptr;
        for (std::uint64_t written = 0; done && written < total;) {
            const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), total - written));
            done = std::fwrite(block.data(), 1, size, file.get()) == size;
            written += size;
        }
        done = done && std::fclose(file.release()) == 0;
        reportStepSeconds(secondsSince(start));
        return done ? 0 : 1;
    }
    if (step == "write") {
        GiftiImagePtr image(gifti_read_image(args.at(1).c_str(), 1));
        if (!image) return 1;
        makeRoomFor(args, args.at(2));
        const auto start = nowNanoseconds();
        const bool done = gifti_write_image(image.get(), args.at(2).c_str(), 1) == 0;
        reportStepSeconds(secondsSince(start));
        return done ? 0 : 1;
    }
    return 2;
}

#ifndef _WIN32  // the Windows build only runs steps
int repeats = 5;
bool fastest = false;  // the fastest of the rounds instead of their median

// The median of the rounds, or the least value with --fastest.
double summary(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    if (fastest) return values.empty() ? 0.0 : values.front();
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

// Runs the steps of a group interleaved, `repeats` rounds, and gives each
// step's medians (or least values); a step that fails once is failed.
std::vector<StepResult> measureGroup(const std::vector<std::vector<std::string>>& steps) {
    std::vector<std::vector<StepResult>> runs(steps.size());
    for (int round = 0; round < repeats; ++round)
        for (std::size_t i = 0; i < steps.size(); ++i) runs[i].push_back(runStep(steps[i].front(), {steps[i].begin() + 1, steps[i].end()}));
    std::vector<StepResult> results;
    for (const auto& stepRuns : runs) {
        StepResult result;
        result.succeeded = std::all_of(stepRuns.begin(), stepRuns.end(), [](const StepResult& r) { return r.succeeded; });
        std::vector<double> wall, user, system, peak, faults;
        for (const StepResult& r : stepRuns) {
            wall.push_back(r.seconds);
            user.push_back(r.userSeconds);
            system.push_back(r.systemSeconds);
            peak.push_back(r.peakMegabytes);
            faults.push_back(static_cast<double>(r.pageFaults));
        }
        result.seconds = summary(wall);
        result.userSeconds = summary(user);
        result.systemSeconds = summary(system);
        result.peakMegabytes = summary(peak);
        result.pageFaults = static_cast<long>(summary(faults));
        results.push_back(result);
    }
    return results;
}

std::vector<std::string> splitList(const std::string& text) {
    std::vector<std::string> items;
    std::stringstream in(text);
    for (std::string item; std::getline(in, item, ',');) items.push_back(item);
    return items;
}

void printRow(std::size_t vertices, const std::string& encoding, const std::string& step, const StepResult& r,
              double floorSeconds = 0.0) {
    char ratio[32] = "";
    if (floorSeconds > 0) std::snprintf(ratio, sizeof ratio, "%.2f", r.seconds / floorSeconds);
    std::printf("| %9zu | %-12s | %-31s | %7.2f | %7.2f | %7.2f | %8ld | %7.0f | %9.2f | %6s |\n", vertices,
                encoding.c_str(), step.c_str(), r.seconds, r.userSeconds, r.systemSeconds, r.pageFaults,
                r.peakMegabytes, r.seconds * 1e6 / static_cast<double>(vertices), r.succeeded ? ratio : "FAILED");
    std::fflush(stdout);
}

std::uintmax_t fileSize(const std::string& path) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    return error ? 0 : size;
}

struct Options {
    std::vector<std::string> levels = {"7", "8", "9"}, encodings = {"ascii", "base64", "gzip"};
    std::filesystem::path dir = std::filesystem::temp_directory_path() / "meshbridge-bench";
    bool keep = false, nibabel = true;
    std::string volumes = "1000";
    std::string ciftiFrames = "1200";  // 0: no CIFTI rows
    std::string windows;  // the Windows build of this benchmark, run under Wine
};

constexpr const char* kUsage =
    "usage: surface_benchmark [--levels 7,8,9] [--encodings ascii,base64,gzip] [--repeat 5]\n"
    "                         [--volumes 1000] [--dir DIR] [--keep yes] [--nibabel no]\n"
    "                         [--windows build-windows/bin/surface_benchmark.exe] [--fastest yes]\n"
    "                         [--cifti-frames 1200]\n"
    "Converts icosphere meshes of the given subdivision levels (7: 163 842 vertices, 8: 655 362,\n"
    "9: 2 621 442) and a time series of 40 962 vertices x VOLUMES in each encoding, beside\n"
    "Debian's unpatched gifticlib and the floor of each step, and prints one table row per step.\n"
    "Surfaces are also read and written by nibabel where /usr/bin/python3 has it, unless --nibabel no.\n"
    "With --windows, each of the plug-in's steps also runs in its Windows build under Wine, in the\n"
    "same rounds, and its row's ratio is its time over the Linux build's (scripts/benchmark does this).\n"
    "With --fastest yes every column shows the least value of the rounds instead of their median.\n"
    "The CIFTI rows import an HCP-sized dense time series of --cifti-frames frames (0: none) and a\n"
    "dense scalar file of 10 maps, over reading the file once plus writing the outputs' bytes.\n";

// The options, or the exit code when there is nothing to measure.
std::variant<Options, int> parseOptions(const std::vector<std::string>& args) {
    Options options;
    for (std::size_t i = 0; i < args.size(); i += 2) {
        if (args[i] == "--help" || args[i] == "-h") {
            std::printf("%s", kUsage);
            return 0;
        }
        const bool known = args[i] == "--levels" || args[i] == "--encodings" || args[i] == "--dir" ||
                           args[i] == "--keep" || args[i] == "--repeat" || args[i] == "--volumes" ||
                           args[i] == "--nibabel" || args[i] == "--windows" || args[i] == "--fastest" ||
                           args[i] == "--cifti-frames";
        if (!known || i + 1 >= args.size()) {
            std::fprintf(stderr, "surface_benchmark: %s %s\n%s", known ? "no value for" : "unknown option",
                         args[i].c_str(), kUsage);
            return 2;
        }
        if (args[i] == "--levels") options.levels = splitList(args[i + 1]);
        else if (args[i] == "--encodings") options.encodings = splitList(args[i + 1]);
        else if (args[i] == "--dir") options.dir = args[i + 1];
        else if (args[i] == "--keep") options.keep = args[i + 1] == "yes";
        else if (args[i] == "--nibabel") options.nibabel = args[i + 1] != "no";
        else if (args[i] == "--windows") options.windows = args[i + 1];
        else if (args[i] == "--fastest") fastest = args[i + 1] == "yes";
        else if (args[i] == "--cifti-frames") options.ciftiFrames = args[i + 1];
        else if (args[i] == "--repeat") repeats = std::max(1, std::atoi(args[i + 1].c_str()));
        else options.volumes = args[i + 1];
    }
    return options;
}

// The programs that run the compared steps: this one, the reference, the peer
// and this benchmark's Windows build under Wine.
struct Runners {
    std::string self, reference;
    std::vector<std::string> nibabel;  // interpreter and script; empty without the peer
    std::vector<std::string> windows;  // wine and the Windows build; empty without it
    std::vector<std::string> ours(std::vector<std::string> words) const {
        words.insert(words.begin(), {self, "--step"});
        return words;
    }
};

// A group of steps measured in the same rounds, with the row each prints.
struct Group {
    std::vector<std::vector<std::string>> steps;
    std::vector<std::string> labels;
    void add(std::string label, std::vector<std::string> step) {
        labels.push_back(std::move(label));
        steps.push_back(std::move(step));
    }
    // The peer's step, where there is a peer.
    void addPeer(const Runners& run, std::string label, std::vector<std::string> words) {
        if (run.nibabel.empty()) return;
        words.insert(words.begin(), run.nibabel.begin(), run.nibabel.end());
        add(std::move(label), std::move(words));
    }
};

// Each of our steps again in the Windows build, in the same rounds; their
// rows follow the group's, with the Windows time over the Linux time as ratio.
std::vector<std::size_t> addWindowsTwins(const Runners& run, Group& group) {
    std::vector<std::size_t> twinOf;  // the Linux step of each twin
    if (run.windows.empty()) return twinOf;
    const std::size_t linuxSteps = group.steps.size();
    for (std::size_t i = 0; i < linuxSteps; ++i) {
        if (group.steps[i].front() != run.self) continue;
        std::vector<std::string> step = run.windows;
        step.insert(step.end(), group.steps[i].begin() + 1, group.steps[i].end());
        group.add(group.labels[i] + " (Windows)", std::move(step));
        twinOf.push_back(i);
    }
    return twinOf;
}

void printWindowsRows(std::size_t vertices, const std::string& data, const Group& group,
                      const std::vector<StepResult>& results, const std::vector<std::size_t>& twinOf) {
    const std::size_t first = group.steps.size() - twinOf.size();
    for (std::size_t k = 0; k < twinOf.size(); ++k)
        printRow(vertices, data, group.labels[first + k], results[first + k], results[twinOf[k]].seconds);
}

// The FreeSurfer export of an SRF (kind "srf") or MTC ("mtc"), over reading
// the source once plus writing the output's bytes from a reused block.
bool benchFreeSurferExport(const Runners& run, const std::string& source, const std::string& kind,
                           std::size_t vertices, const std::string& label) {
    const std::string target = replaceExtension(source, kind == "srf" ? "" : ".mgz");
    if (!runStep(run.self, {"--step", "export-freesurfer", source, kind}).succeeded) {
        std::cerr << "cannot export " << source << " to FreeSurfer\n";
        return false;
    }
    Group group;
    group.add(kind == "srf" ? "SRF file read" : "MTC file read", run.ours({"read-bytes", source}));
    group.add("FreeSurfer bytes written", run.ours({"write-bytes", std::to_string(fileSize(target)), target + ".bytes"}));
    group.add("FreeSurfer export", run.ours({"export-freesurfer", source, kind}));
    const auto twins = addWindowsTwins(run, group);
    const auto in = measureGroup(group.steps);
    printRow(vertices, label, group.labels[0], in[0]);
    printRow(vertices, label, group.labels[1], in[1]);
    printRow(vertices, label, group.labels[2], in[2], in[0].seconds + in[1].seconds);
    printWindowsRows(vertices, label, group, in, twins);
    std::filesystem::remove(target);
    std::filesystem::remove(target + ".bytes");
    return true;
}

bool benchSurface(const Runners& run, const std::string& level, const std::string& encoding,
                  const std::filesystem::path& dir) {
    const std::size_t vertices = 10 * (std::size_t{1} << (2 * std::stoi(level))) + 2;
    const std::string stem = (dir / ("sphere" + level + "_" + encoding)).string();
    // Made in a process of its own, so that this one stays small: a spawned
    // step starts with the peak memory of its parent.
    if (!runStep(run.self, {"--step", "generate", level, encoding, stem + ".surf.gii"}).succeeded) {
        std::cerr << "cannot write " << stem << ".surf.gii\n";
        return false;
    }
    // The size of the SRF file the import writes, for the floor.
    runStep(run.self, {"--step", "import", stem + ".surf.gii"});
    const std::string srfBytes = std::to_string(fileSize(stem + ".surf.srf"));
    Group reads;
    reads.add("reference read", {run.reference, "read", stem + ".surf.gii"});
    reads.add("gifticlib read", run.ours({"read", stem + ".surf.gii"}));
    reads.add("SRF bytes written", run.ours({"write-bytes", srfBytes, stem + ".bytes"}));
    reads.add("import", run.ours({"import", stem + ".surf.gii"}));
    reads.add("import over old SRF", run.ours({"import", stem + ".surf.gii", "replacing"}));
    reads.addPeer(run, "nibabel read", {"read", stem + ".surf.gii"});
    const auto readTwins = addWindowsTwins(run, reads);
    const auto in = measureGroup(reads.steps);
    const double importFloor = in[0].seconds + in[2].seconds;
    for (std::size_t i = 0; i < reads.steps.size() - readTwins.size(); ++i)
        printRow(vertices, encoding, reads.labels[i], in[i], i == 3 || i == 4 ? importFloor : 0.0);
    printWindowsRows(vertices, encoding, reads, in, readTwins);
    if (encoding == "base64") return true;  // the export writes ASCII or compressed data only
    // Under a name of its own, so that its GIFTI file does not replace the input.
    const std::string srf = stem + "_export.srf";
    std::filesystem::rename(stem + ".surf.srf", srf);
    Group writes;
    writes.add("reference write", {run.reference, "write", stem + ".surf.gii", stem + ".again.gii"});
    writes.add("gifticlib write", run.ours({"write", stem + ".surf.gii", stem + ".again.gii"}));
    writes.add("SRF read", run.ours({"load-srf", srf}));
    writes.add("export", run.ours({"export", srf, encoding}));
    writes.add("export over old GIFTI", run.ours({"export", srf, encoding, "replacing"}));
    writes.addPeer(run, "nibabel write", {"write", stem + ".surf.gii", stem + ".peer.gii", encoding});
    const auto writeTwins = addWindowsTwins(run, writes);
    const auto out = measureGroup(writes.steps);
    for (std::size_t i = 0; i < writes.steps.size() - writeTwins.size(); ++i)
        printRow(vertices, encoding, writes.labels[i], out[i], i == 3 || i == 4 ? out[0].seconds : 0.0);
    printWindowsRows(vertices, encoding, writes, out, writeTwins);
    if (encoding == "gzip" && !benchFreeSurferExport(run, srf, "srf", vertices, "SRF")) return false;
    for (const char* suffix : {"_export.srf", "_export.surf.gii", ".again.gii", ".bytes", ".peer.gii"})
        std::filesystem::remove(stem + suffix);
    return true;
}

// Time series: import (with the host's part in memory) and export.
bool benchTimeSeries(const Runners& run, const std::string& volumes, const std::string& encoding,
                     const std::filesystem::path& dir) {
    const std::string stem = (dir / ("run_" + encoding)).string();
    const std::string mtc = stem + "_export.mtc";  // its GIFTI file does not replace the input
    if (!runStep(run.self, {"--step", "generate-time-series", volumes, encoding, stem + ".time.gii", mtc})
             .succeeded) {
        std::cerr << "cannot write " << stem << ".time.gii\n";
        return false;
    }
    const std::string label = encoding + " x" + volumes;
    Group reads;
    reads.add("reference read", {run.reference, "read", stem + ".time.gii"});
    reads.add("host courses filled", run.ours({"fill-host-courses", volumes}));
    reads.add("time series import", run.ours({"import-time-series", stem + ".time.gii"}));
    const auto readTwins = addWindowsTwins(run, reads);
    const auto in = measureGroup(reads.steps);
    printRow(kTimeSeriesVertices, label, reads.labels[0], in[0]);
    printRow(kTimeSeriesVertices, label, reads.labels[1], in[1]);
    printRow(kTimeSeriesVertices, label, reads.labels[2], in[2], in[0].seconds + in[1].seconds);
    printWindowsRows(kTimeSeriesVertices, label, reads, in, readTwins);
    if (encoding == "base64") return true;
    Group writes;
    writes.add("reference write", {run.reference, "write", stem + ".time.gii", stem + ".again.gii"});
    writes.add("time series export", run.ours({"export-time-series", mtc, encoding}));
    writes.add("export over old GIFTI", run.ours({"export-time-series", mtc, encoding, "replacing"}));
    const auto writeTwins = addWindowsTwins(run, writes);
    const auto out = measureGroup(writes.steps);
    printRow(kTimeSeriesVertices, label, writes.labels[0], out[0]);
    printRow(kTimeSeriesVertices, label, writes.labels[1], out[1], out[0].seconds);
    printRow(kTimeSeriesVertices, label, writes.labels[2], out[2], out[0].seconds);
    printWindowsRows(kTimeSeriesVertices, label, writes, out, writeTwins);
    if (encoding == "gzip" && !benchFreeSurferExport(run, mtc, "mtc", kTimeSeriesVertices, "MTC x" + volumes))
        return false;
    for (const char* suffix : {"_export.mtc", "_export.time.gii", ".again.gii"}) std::filesystem::remove(stem + suffix);
    return true;
}

// HCP-sized dense files into one file per hemisphere, over reading the file
// once and writing the outputs' bytes from a reused block.
bool benchCifti(const Runners& run, const std::string& frames, const std::filesystem::path& dir) {
    for (const auto& [name, rows] : {std::pair<std::string, std::string>{"hcp.dtseries.nii", frames},
                                     std::pair<std::string, std::string>{"hcp.dscalar.nii", "10"}}) {
        const std::string path = (dir / name).string();
        if (!runStep(run.self, {"--step", "generate-cifti", rows, path}).succeeded ||
            !runStep(run.self, {"--step", "import-cifti", path}).succeeded) {
            std::cerr << "cannot write or import " << path << "\n";
            return false;
        }
        std::uintmax_t written = 0;
        for (const std::string& output : hcpCiftiOutputs(path)) written += fileSize(output);
        // The new file's hundreds of megabytes reach the disk now, not while steps are timed.
        ::sync();
        Group reads;
        reads.add("CIFTI file read", run.ours({"read-bytes", path}));
        reads.add("outputs' bytes written", run.ours({"write-bytes", std::to_string(written), path + ".bytes"}));
        reads.add("CIFTI import", run.ours({"import-cifti", path}));
        const auto twins = addWindowsTwins(run, reads);
        const auto in = measureGroup(reads.steps);
        const std::string label = (name.find("dtseries") != std::string::npos ? "dtseries x" : "dscalar x") + rows;
        const double floor = in[0].seconds + in[1].seconds;
        printRow(91282, label, reads.labels[0], in[0]);
        printRow(91282, label, reads.labels[1], in[1]);
        printRow(91282, label, reads.labels[2], in[2], floor);
        printWindowsRows(91282, label, reads, in, twins);
        for (const std::string& output : hcpCiftiOutputs(path)) std::filesystem::remove(output);
        std::filesystem::remove(path);
        std::filesystem::remove(path + ".bytes");
    }
    return true;
}

// Wine's loader, as Debian installs it.
std::string wineProgram() {
    for (const char* candidate : {"/usr/bin/wine64", "/usr/lib/wine/wine64", "/usr/bin/wine"})
        if (access(candidate, X_OK) == 0) return candidate;
    return {};
}
#endif

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == "--step") return runStepHere({args.begin() + 1, args.end()});
#ifdef _WIN32
    std::fprintf(stderr, "surface_benchmark.exe runs the steps of the Linux build's surface_benchmark --windows\n");
    return 2;
#else
    const auto parsed = parseOptions(args);
    if (const int* exitCode = std::get_if<int>(&parsed)) return *exitCode;
    const Options& options = std::get<Options>(parsed);

    std::filesystem::create_directories(options.dir);
    Runners run;
    run.self = std::filesystem::canonical("/proc/self/exe").string();
    run.reference = (std::filesystem::path(run.self).parent_path() / "gifti_reference").string();
    if (!std::filesystem::exists(run.reference)) {
        std::fprintf(stderr, "surface_benchmark: %s is missing (it needs Debian's libgiftiio-dev)\n",
                     run.reference.c_str());
        return 1;
    }
    const std::string peerScript = MESHBRIDGE_BENCH_DIR "/nibabel_reference.py";
    if (options.nibabel && std::filesystem::exists(peerScript) &&
        std::system("/usr/bin/python3 -c 'import nibabel' > /dev/null 2>&1") == 0)
        run.nibabel = {"/usr/bin/python3", peerScript};
    if (!options.windows.empty()) {
        const std::string wine = wineProgram();
        if (wine.empty() || !std::filesystem::exists(options.windows)) {
            std::fprintf(stderr, "surface_benchmark: --windows needs Wine and %s\n", options.windows.c_str());
            return 1;
        }
        run.windows = {wine, std::filesystem::absolute(options.windows).string()};
    }
    std::printf("| vertices  | data         | step                            | wall s  | user s  | sys s   | faults   | peak MB | us/vertex | ratio  |\n");
    std::printf("|-----------|--------------|---------------------------------|---------|---------|---------|----------|---------|-----------|--------|\n");
    for (const std::string& level : options.levels) {
        for (const std::string& encoding : options.encodings) {
            if (!benchSurface(run, level, encoding, options.dir)) return 1;
        }
    }
    for (const std::string& encoding : options.encodings) {
        if (options.volumes != "0" && !benchTimeSeries(run, options.volumes, encoding, options.dir)) return 1;
    }
    if (options.ciftiFrames != "0" && !benchCifti(run, options.ciftiFrames, options.dir)) return 1;
    if (!options.keep) std::filesystem::remove_all(options.dir);
    return 0;
#endif
}
