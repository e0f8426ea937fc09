#include "import/time_series_import.h"

#include <algorithm>
#include <cstdlib>
#include <cmath>
#include <cstring>
#include <optional>

#include "common/plugin_info.h"
#include "common/replace_extension.h"
#include "common/text.h"
#include "host/host_calls.h"
#include "import/bids_sidecar.h"
#include "import/import_support.h"

namespace meshbridge {

namespace {

// Whether `text` fits one of the host record's text fields, zero included.
template <std::size_t N>
bool fits(const char (&)[N], const std::string& text) {
    return text.size() < N;
}

// Copies `text`, which fits, into one of the host record's text fields.
template <std::size_t N>
void copyInto(char (&field)[N], const std::string& text) {
    std::memcpy(field, text.c_str(), std::min(text.size(), N - 1));
    field[std::min(text.size(), N - 1)] = '\0';
}

// The text of the (last) "TimeStep" entry of `meta`.
std::optional<std::string> timeStepIn(const nvpairs& meta) {
    std::optional<std::string> step;
    for (int k = 0; k < meta.length; ++k) {
        const char* name = meta.name ? meta.name[k] : nullptr;
        if (name && std::strcmp(name, "TimeStep") == 0) step = textOrEmpty(meta.value ? meta.value[k] : nullptr);
    }
    return step;
}

bool hasMetadata(const nvpairs& meta, const char* wanted) {
    for (int k = 0; k < meta.length; ++k)
        if (meta.name && meta.name[k] && std::strcmp(meta.name[k], wanted) == 0) return true;
    return false;
}

// The repetition time in whole milliseconds, from the "TimeStep" of the
// image's metadata, else of its first time-series array (where FreeSurfer and
// gifticlib put it; of plain arrays, the first), and a log line that says
// where it came from. The files this plug-in writes hold milliseconds; in
// others a value below 100 is in seconds. 0 without a usable one.
float repetitionTime(const gifti_image& image, bool plainArrays, std::string& account) {
    std::optional<std::string> step = timeStepIn(image.meta);
    std::string where = "the file's metadata";
    for (int i = 0; !step && i < image.numDA; ++i) {
        if (!image.darray[i] || (plainArrays ? i != 0 : image.darray[i]->intent != NIFTI_INTENT_TIME_SERIES)) continue;
        step = timeStepIn(image.darray[i]->meta);
        where = formatText("data array %d", i);
        break;
    }
    if (!step) {
        account = "The file gives no TimeStep: TR 0 ms.";
        return 0.0f;
    }
    const bool ours = hasMetadata(image.meta, kVersionMetadataName);
    char* end = nullptr;
    const double number = std::strtod(step->c_str(), &end);
    while (end && *end == ' ') ++end;
    const bool readable = end != step->c_str() && end && *end == '\0' && std::isfinite(number) && number > 0.0;
    const bool seconds = readable && !ours && number < 100.0;
    const double milliseconds = readable ? std::round(seconds ? number * 1000.0 : number) : 0.0;
    if (milliseconds < 1.0 || milliseconds >= 2.0e9) {
        account = formatText("The TimeStep \"%s\" of %s is not a usable time: TR 0 ms.", step->c_str(), where.c_str());
        return 0.0f;
    }
    account = formatText("TR %.0f ms from the TimeStep %s of %s, read as %s.", milliseconds, step->c_str(), where.c_str(),
                         seconds ? "seconds" : "milliseconds");
    return static_cast<float>(milliseconds);
}

}  // namespace

bool createMtcInHost(const MtcData& mtc, std::span<const float* const> volumes) {
    HostSrfInfo surface{};
    if (!getCurrentSurface(surface) || surface.nrOfVertices != mtc.nrOfVertices) {
        messageBox("The number of vertices of the time series is not equal to number of vertices in surface. Process "
                   "terminated.");
        if (surface.nrOfVertices > 0)
            logText(formatText("The time series has %d vertices, the current surface %d.", mtc.nrOfVertices,
                               surface.nrOfVertices));
        return false;
    }
    if (!requireHostFunctions({MESHBRIDGE_REQUIRE(ztCreateMTCForCurrentSRF), MESHBRIDGE_REQUIRE(ztGetMTCOfCurrentSRF),
                               MESHBRIDGE_REQUIRE(ztSetMTCParametersOfCurrentSRF)}))
        return false;
    HostMtcInfo info{};
    if (!fits(info.mtcFileName, mtc.fileName) || !fits(info.vtcFileName, mtc.vtcFileName) ||
        !fits(info.prtFileName, mtc.prtFileName)) {
        messageBox(formatText("The name %s is longer than Corvana can take (%zu characters at most).",
                              mtc.fileName.c_str(), sizeof info.mtcFileName - 1));
        return false;
    }
    hostFunctions().ztCreateMTCForCurrentSRF(mtc.nrOfVolumes);
    // The host's own record of the new time course, filled in and handed back.
    float** courses = getCurrentTimeCourses(info);
    bool ready = courses != nullptr;
    for (std::int32_t v = 0; ready && v < mtc.nrOfVertices; ++v) ready = courses[v] != nullptr;
    if (!ready) {
        messageBox("Corvana did not create the mesh time course on the current surface.");
        return false;
    }
    copyInto(info.mtcFileName, mtc.fileName);
    copyInto(info.vtcFileName, mtc.vtcFileName);
    copyInto(info.prtFileName, mtc.prtFileName);
    info.nrOfVolumes = mtc.nrOfVolumes;
    info.nrOfVertices = mtc.nrOfVertices;
    info.headerFlag = mtc.headerFlag;
    info.importedFlag = 1;
    info.tr = std::abs(mtc.tr) < 2.0e9f ? static_cast<std::int32_t>(mtc.tr) : 0;
    volumesToCourses(volumes.data(), static_cast<std::size_t>(mtc.nrOfVertices), volumes.size(), courses);
    hostFunctions().ztSetMTCParametersOfCurrentSRF(&info);
    return true;
}

bool importTimeSeries(gifti_image& image, const std::string& path, bool printToLogtab, bool openInHost,
                      TimeCourseSource source, const std::string& outputName) {
    if (image.numDA < 1) return refuseImport("The time series", path, "it has no data arrays");
    MtcData mtc;
    mtc.version = 1;
    mtc.nrOfVertices = image.darray[0]->dims[0];
    mtc.nrOfVolumes = image.numDA;
    mtc.vtcFileName = "<none>";
    mtc.prtFileName = "<none>";
    std::string trAccount;
    const bool plainArrays = source == TimeCourseSource::PlainArrays;
    mtc.tr = repetitionTime(image, plainArrays, trAccount);
    // An MGH overlay's TR came from its header, in milliseconds: said so, not in GIFTI's words
    // (only FreeSurfer's files name their output, and of them only overlays carry a TR).
    if (!outputName.empty() && mtc.tr > 0.0f)
        trAccount = formatText("TR %.0f ms from the TR of the MGH header.", static_cast<double>(mtc.tr));
    // Without a usable TimeStep (fMRIPrep writes 0), the BIDS sidecar may tell.
    if (mtc.tr == 0.0f) {
        if (const auto sidecar = repetitionTimeFromSidecar(path)) {
            mtc.tr = static_cast<float>(sidecar->milliseconds);
            trAccount = formatText("TR %.0f ms from RepetitionTime %s in %s.", sidecar->milliseconds,
                                   sidecar->text.c_str(), sidecar->file.c_str());
        }
    }
    if (plainArrays && mtc.tr == 0.0f) {
        // The surface is checked before the user is asked for anything.
        HostSrfInfo surface{};
        if (getCurrentSurface(surface) && surface.nrOfVertices != mtc.nrOfVertices) {
            messageBox("The number of vertices of the time series is not equal to number of vertices in surface. "
                       "Process terminated.");
            logText(formatText("The time series has %d vertices, the current surface %d.", mtc.nrOfVertices,
                               surface.nrOfVertices));
            return false;
        }
        logText(trAccount);  // why the file gives none
        // Arrays that are no time series say nothing of time: the user does.
        const int asked = askInteger("Please enter the repetition time (TR) of the time course in milliseconds", 2000,
                                     1, 100000);
        if (asked == kHostInputCancelled || asked < 1) {
            logText(formatText("The import of %s as a time course is cancelled: no repetition time was given.",
                               path.c_str()));
            return false;
        }
        mtc.tr = static_cast<float>(asked);
        trAccount = formatText("TR %d ms, as given.", asked);
    }
    mtc.headerFlag = 1;
    mtc.fileName = outputName.empty() ? replaceExtension(outputBaseFor(path), ".mtc") : outputName;

    // Every array must hold one plain number per vertex, as many as the first.
    // The values go from the library's arrays straight into the host's time
    // course: float32 values as they are, others converted first.
    std::vector<const float*> volumes(static_cast<std::size_t>(image.numDA));
    std::vector<HugePageVector<float>> converted;
    try {
        for (int t = 0; t < image.numDA; ++t) {
            std::string problem;
            std::span<float> values;
            HugePageVector<float> conversion;
            if (!perVertexFloats(*image.darray[t], t, mtc.nrOfVertices, conversion, values, problem))
                return refuseImport("The time series", path, problem);
            volumes[static_cast<std::size_t>(t)] = values.data();
            // Moved, a vector keeps its buffer: `values` stays valid.
            if (!conversion.empty()) converted.push_back(std::move(conversion));
        }
    } catch (const std::bad_alloc&) {
        return refuseImport("The time series", path, "its values do not fit in memory");
    }
    const bool created = createMtcInHost(mtc, volumes);
    // Taken: the library's copies go now.
    for (int t = 0; t < image.numDA; ++t) releaseArrayData(*image.darray[t]);
    converted.clear();
    if (!created) return false;
    logText(trAccount);
    if (printToLogtab) dumpMtcHeader(mtc, false, true);
    if (!saveTimeCourseInHost(mtc.fileName)) {
        messageBox(formatText("Corvana could not save the mesh time course as %s.", mtc.fileName.c_str()));
        return false;
    }
    logText(formatText("MTC saved as:\n%s", mtc.fileName.c_str()));
    if (openInHost && !linkTimeCourseInHost(mtc.fileName))
        messageBox("Mesh time course file (MTC) could not be loaded on current surface file (SRF).");
    return true;
}

}  // namespace meshbridge
