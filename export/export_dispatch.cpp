#include "export/export_dispatch.h"

#include <optional>

#include "common/plugin_info.h"
#include "export/cifti_export.h"
#include "export/freesurfer_export.h"
#include "export/map_export.h"
#include "export/poi_export.h"
#include "export/surface_export.h"
#include "export/time_series_export.h"
#include "host/host_calls.h"

namespace meshbridge {

namespace {

struct ExportDialog {
    const char* prompt;
    const char* filter;
    const char* cancelledMessage;
};

std::optional<ExportDialog> exportDialog(int fileTypeId) {
    switch (fileTypeId) {
        case kFileTypeSrf:
            return ExportDialog{"Please select the Corvana surface file", "*.srf",
                                "No surface file was selected. Procedure finished."};
        case kFileTypeMtc:
            return ExportDialog{"Please select the Corvana mesh time course file", "*.mtc",
                                "No mesh time course file was selected. Procedure finished."};
        case kFileTypeSmp:
            return ExportDialog{"Please select the Corvana surface map file", "*.smp",
                                "No surface map file was selected. Procedure finished."};
        case kFileTypePoi:
            return ExportDialog{"Please select the Corvana patch of interest file", "*.poi",
                                "No *.poi file was selected. Procedure finished."};
        default: return std::nullopt;
    }
}

}  // namespace

bool exportGiftiFile(int fileTypeId, bool useCurrentFile, bool doBinaryExport, bool doExportColors,
                     bool doExportLabelsPerVertex, bool doExportRetinotopyAsReal, bool doExportCifti,
                     bool doExportFreeSurfer) {
    const std::optional<ExportDialog> dialog = exportDialog(fileTypeId);
    if (!dialog) {
        messageBox("Export starts from an SRF, MTC, SMP or POI file: choose one of these as the file type (GIFTI "
                   "files are what Export makes). Procedure finished.");
        return false;
    }
    if (doExportCifti && doExportFreeSurfer) {
        messageBox("\"Export as CIFTI-2\" and \"Export to FreeSurfer\" exclude each other: choose one. Procedure "
                   "finished.");
        return false;
    }
    if (doExportCifti && fileTypeId == kFileTypeSrf) {
        messageBox("Export as CIFTI-2 takes maps (SMP), time courses (MTC) and patches (POI); a surface goes out as "
                   "GIFTI: clear \"Export as CIFTI-2\". Procedure finished.");
        return false;
    }
    std::string name = "none";
    if (!useCurrentFile) {
        const std::optional<std::string> chosen = chooseFile(dialog->prompt, dialog->filter, dialog->cancelledMessage,
                                                                  kHostLongPathBufferSize);
        if (!chosen) return false;
        name = *chosen;
    }
    const bool fromFile = !useCurrentFile;
    if (doExportCifti) return exportCiftiFile(fileTypeId, name, fromFile);
    if (doExportFreeSurfer) return exportFreeSurferFile(fileTypeId, name, fromFile);
    switch (fileTypeId) {
        case kFileTypeSrf: return exportSurface(name, fromFile, doBinaryExport, doExportColors);
        case kFileTypeMtc: return exportTimeSeries(name, fromFile, doBinaryExport);
        case kFileTypeSmp: return exportSurfaceMap(name, fromFile, doBinaryExport, doExportRetinotopyAsReal);
        default: return exportPatchesOfInterest(name, fromFile, doBinaryExport, doExportLabelsPerVertex);
    }
}

}  // namespace meshbridge
