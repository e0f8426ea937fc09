// MTC time course to a GIFTI time series file (".time.gii"): one array per
// volume, the repetition time as "TimeStep" (milliseconds).
#include "export/time_series_export.h"

#include "common/plugin_info.h"
#include "common/replace_extension.h"
#include "common/text.h"
#include "export/gifti_writing.h"
#include "export/surface_naming.h"
#include "formats/mtc_file.h"
#include "host/host_calls.h"

namespace meshbridge {

bool exportTimeSeries(const std::string& name, bool fromFile, bool doBinaryExport) {
    const MtcData mtc = loadMtc(name, fromFile);
    if (isFailedLoad(mtc)) return false;
    dumpMtcHeader(mtc, false, true);

    GiftiImagePtr image = createExportImage(mtc.nrOfVolumes);
    LentValues lent(image.get());  // each volume is written straight from the record
    const bool built = image != nullptr;
    if (built) {
        addImageMetadata(*image, kVersionMetadataName, kPluginVersion);
        addImageMetadata(*image, "TimeStep", formatText("%f", static_cast<double>(mtc.tr)));
        // Without a structure in its own name, that of the host's current surface.
        const bool named = anatomicalStructureOfNames({mtc.fileName}) != "Unknown";
        addStructureMetadata(*image, {mtc.fileName, named ? std::string() : currentSurfaceFileName()});
    }
    const auto vertices = static_cast<std::size_t>(mtc.nrOfVertices);
    for (int t = 0; built && t < mtc.nrOfVolumes; ++t) {
        logText(formatText("Adding mesh time course of volume: %d", t + 1));
        setArrayFields(*image->darray[t], NIFTI_INTENT_TIME_SERIES, NIFTI_TYPE_FLOAT32, {mtc.nrOfVertices},
                       doBinaryExport);
        if (vertices > 0) lent.lend(t, mtc.data.data() + static_cast<std::size_t>(t) * vertices);
    }
    const std::string path = replaceExtension(mtc.fileName, ".time.gii");
    return writeExportedImage(image.get(), built, path);
}

}  // namespace meshbridge
