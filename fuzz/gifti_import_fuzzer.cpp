// The import of GIFTI files on any bytes: read, classify, dump the header and
// hand the image to its converter, as the "Import" command does (without a
// host: questions are cancelled, nothing is created in a host).
#include <unistd.h>

#include "dump/gifti_dump.h"
#include "fuzz/fuzz_support.h"
#include "import/import_dispatch.h"
#include "import/label_import.h"
#include "import/map_import.h"
#include "import/time_series_import.h"
#include "import/surface_import.h"

using namespace meshbridge;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzz::writeInput("input.gii", data, size);
    const GiftiImagePtr image = readGiftiImage(path, true);
    if (!image) return 0;
    giftiHeaderText(*image, path);
    switch (classifyGifti(*image)) {
        case GiftiContent::Surface: importSurface(*image, path, true, false, false, image.get()); break;
        case GiftiContent::TimeSeries: importTimeSeries(*image, path, true, false); break;
        case GiftiContent::SurfaceMap: importSurfaceMap(*image, path, true, false); break;
        case GiftiContent::LabelTable: importLabelTable(*image, path, true, false); break;
        case GiftiContent::Unsupported: break;
    }
    return 0;
}
