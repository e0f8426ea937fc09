#include "import/import_dispatch.h"

#include <optional>
#include <string>

#include "common/plugin_info.h"
#include "common/replace_extension.h"
#include "common/text.h"
#include "dump/gifti_dump.h"
#include "host/host_calls.h"
#include "import/cifti_import.h"
#include "import/freesurfer_import.h"
#include "import/label_import.h"
#include "import/map_import.h"
#include "import/surface_import.h"
#include "import/time_series_import.h"

namespace meshbridge {

namespace {

constexpr int kStatisticIntent = 2;

const char* dialogTitle(int fileTypeId) {
    switch (fileTypeId) {
        case kFileTypeSrf: return "Please select the GIFTI surface file";
        case kFileTypeMtc: return "Please select the GIFTI time series file";
        case kFileTypeSmp: return "Please select the GIFTI statistical file";
        case kFileTypePoi: return "Please select the GIFTI label file";
        default: return nullptr;
    }
}

// The files each dialog shows: GIFTI files, and the FreeSurfer and CIFTI
// files that become the chosen type (surfaces and morphometry files have no extension
// of their own: they are named after the hemisphere).
const char* dialogFilter(int fileTypeId) {
    switch (fileTypeId) {
        case kFileTypeSrf: return "*.gii;*.gii.gz;lh.*;rh.*";
        case kFileTypeMtc: return "*.gii;*.gii.gz;*.mgh;*.mgz;*.dtseries.nii";
        case kFileTypeSmp: return "*.gii;*.gii.gz;*.mgh;*.mgz;lh.*;rh.*;*.dscalar.nii";
        default: return "*.gii;*.gii.gz;*.annot;*.label;*.dlabel.nii";
    }
}

}  // namespace

std::set<int> classifiedIntents(const gifti_image& image) {
    std::set<int> intents;
    for (int i = 0; i < image.numDA; ++i) {
        const giiDataArray* array = image.darray ? image.darray[i] : nullptr;
        if (!array) continue;
        const int intent = array->intent;
        const bool statistic = (intent >= NIFTI_INTENT_CORREL && intent <= NIFTI_INTENT_LOGPVAL) ||
                               intent == NIFTI_INTENT_SHAPE;
        intents.insert(statistic ? kStatisticIntent : intent);
    }
    return intents;
}

GiftiContent classifyGifti(const gifti_image& image) {
    const std::set<int> intents = classifiedIntents(image);
    if (intents.count(NIFTI_INTENT_POINTSET)) return GiftiContent::Surface;
    if (intents.count(NIFTI_INTENT_TIME_SERIES)) return GiftiContent::TimeSeries;
    if (intents.count(kStatisticIntent)) return GiftiContent::SurfaceMap;
    if (intents.count(NIFTI_INTENT_LABEL)) return GiftiContent::LabelTable;
    return GiftiContent::Unsupported;
}

bool importGiftiFile(int fileTypeId, bool printToLogtab, bool openInHost, bool reverseWinding,
                     bool addColorsFile, bool asTimeCourse) {
    if (!requireHostFunctions({MESHBRIDGE_REQUIRE(ztGetOpenFileName), MESHBRIDGE_REQUIRE(ztMessageBox)}))
        return false;
    const char* title = dialogTitle(fileTypeId);
    if (!title) {
        messageBox("Import makes an SRF, MTC, SMP or POI file from a GIFTI file: choose one of these as the file "
                   "type. Procedure finished.");
        return false;
    }
    std::optional<std::string> path = openFileDialog(title, dialogFilter(fileTypeId));
    std::optional<std::string> colorsPath;
    const bool wantsColors = fileTypeId == kFileTypeSrf && addColorsFile && path;
    if (wantsColors) colorsPath = openFileDialog("Please select the GIFTI colors file", "*.gii");
    if (!path || (wantsColors && !colorsPath)) {
        messageBox("No GIFTI file was selected. Procedure finished.");
        return false;
    }

    // CIFTI files (and other NIfTI files, which it names) have an import of their own.
    if (!wantsColors && isCiftiCandidate(*path)) return importCiftiFile(*path, printToLogtab, openInHost);
    // FreeSurfer's own files come in as the GIFTI images they stand for.
    const FreeSurferKind freeSurfer = freeSurferFileKind(*path);
    const GiftiImagePtr image = freeSurfer == FreeSurferKind::None ? readGiftiFileOrLog(*path, true)
                                                                   : readFreeSurferFile(*path, freeSurfer, asTimeCourse);
    GiftiImagePtr colors;
    if (colorsPath && image) {
        colors = readGiftiImage(*colorsPath, true);
        if (colors) dumpGiftiHeader(*colors, false, true, *colorsPath);
    }
    if (!image) return false;
    const auto outputName = [&](const char* suffix) {
        return freeSurfer == FreeSurferKind::None ? std::string() : freeSurferOutputName(*path, suffix);
    };
    const std::string kind = freeSurfer == FreeSurferKind::None ? "GIFTI" : freeSurferKindName(freeSurfer);

    const GiftiContent content = classifyGifti(*image);
    const bool plainArrays = content == GiftiContent::TimeSeries || content == GiftiContent::SurfaceMap ||
                             (content == GiftiContent::Unsupported && image->numDA > 0);
    if (asTimeCourse && plainArrays) {
        if (!importTimeSeries(*image, *path, printToLogtab, openInHost, TimeCourseSource::PlainArrays,
                              outputName(".mtc")))
            return false;
        logText(freeSurfer == FreeSurferKind::None ? "GIFTI arrays successfully imported as a time course."
                                                   : kind + " successfully imported as a time course.");
        return true;
    }
    switch (content) {
        case GiftiContent::Surface:
            if (!importSurface(*image, *path, printToLogtab, openInHost, reverseWinding, colors.get(),
                               outputName(".srf")))
                return false;
            logText(freeSurfer == FreeSurferKind::None ? "GIFTI surface successfully imported."
                                                       : kind + " successfully imported.");
            return true;
        case GiftiContent::TimeSeries:
            if (!importTimeSeries(*image, *path, printToLogtab, openInHost)) return false;
            logText("GIFTI time series successfully imported.");
            return true;
        case GiftiContent::SurfaceMap:
            if (freeSurfer == FreeSurferKind::None) {
                if (!importSurfaceMap(*image, *path, printToLogtab, openInHost)) return false;
            } else {
                // A FreeSurfer file's maps: its own words, and each question once for all its frames.
                MapAnswers answers;
                answers.shapeQuestion = formatText("%s holds shape values\n\nIs this a Cortical Thickness (Yes) or "
                                                   "Curvature (No) map",
                                                   lastPathComponent(*path).c_str());
                if (!importSurfaceMap(*image, *path, printToLogtab, openInHost, outputName(".smp"), &answers))
                    return false;
            }
            logText(freeSurfer == FreeSurferKind::None ? "GIFTI surface map successfully imported."
                                                       : kind + " successfully imported.");
            return true;
        case GiftiContent::LabelTable:
            if (!importLabelTable(*image, *path, printToLogtab, openInHost, outputName(".poi"))) return false;
            logText(freeSurfer == FreeSurferKind::None ? "GIFTI label table successfully imported."
                                                       : kind + " successfully imported.");
            return true;
        case GiftiContent::Unsupported: break;
    }
    logText("GIfTI filetype not supported (check INTENT code by making headerdump).");
    return false;
}

}  // namespace meshbridge
