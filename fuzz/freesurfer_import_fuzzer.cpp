// The import of FreeSurfer files on any bytes: told by content (or by the
// name the first byte picks, for files the content does not tell), read into
// a GIFTI image and handed to its converter, as the "Import" command does
// (without a host: questions are cancelled, nothing is created in a host;
// overlays go the time-course way, which asks nothing when they carry a TR).
// First, whatever the bytes, the FreeSurfer export's look for its own mark
// in a file it might replace.
#include <unistd.h>

#include "formats/freesurfer_writing.h"
#include "fuzz/fuzz_support.h"
#include "import/freesurfer_import.h"
#include "import/import_dispatch.h"
#include "import/label_import.h"
#include "import/map_import.h"
#include "import/surface_import.h"
#include "import/time_series_import.h"

using namespace meshbridge;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    static const char* const kNames[] = {"lh.white", "lh.aparc.annot", "lh.sig.mgh", "lh.sig.mgz", "lh.V1.label"};
    const std::string path = fuzz::writeInput(kNames[data[0] % 5], data + 1, size - 1);
    for (const FreeSurferOutput output : {FreeSurferOutput::Surface, FreeSurferOutput::Overlay, FreeSurferOutput::Annotation})
        carriesMeshbridgeMark(path, output);
    const FreeSurferKind kind = freeSurferFileKind(path);
    if (kind == FreeSurferKind::None) return 0;
    const GiftiImagePtr image = readFreeSurferFile(path, kind, true);
    if (!image) return 0;
    switch (classifyGifti(*image)) {
        case GiftiContent::Surface: importSurface(*image, path, true, false, false, nullptr, path + ".srf"); break;
        case GiftiContent::SurfaceMap: importSurfaceMap(*image, path, true, false, path + ".smp"); break;
        case GiftiContent::LabelTable: importLabelTable(*image, path, true, false, path + ".poi"); break;
        case GiftiContent::TimeSeries:
        case GiftiContent::Unsupported:
            importTimeSeries(*image, path, true, false, TimeCourseSource::PlainArrays, path + ".mtc");
            break;
    }
    return 0;
}
