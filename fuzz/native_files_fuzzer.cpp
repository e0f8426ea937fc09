// The readers of the host's own files on any bytes: the first byte chooses
// the kind (SRF, SMP, MTC, POI), the rest is the file. A read either fails
// cleanly or gives a record that writes back. An SRF file also goes to the
// FreeSurfer export, which reads its header alone and its coordinates and
// triangles a block at a time.
#include <unistd.h>

#include "common/plugin_info.h"
#include "export/freesurfer_export.h"
#include "formats/mtc_file.h"
#include "formats/poi_file.h"
#include "formats/smp_file.h"
#include "formats/srf_file.h"
#include "fuzz/fuzz_support.h"

using namespace meshbridge;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    switch (data[0] % 4) {
        case 0: {
            SrfData srf;
            const std::string input = fuzz::writeInput("input.srf", data + 1, size - 1);
            if (readSrfFile(input, srf)) {
                srf.fileName = (fuzz::workFolder() / "output.srf").string();
                writeSrfFile(srf);
            }
            exportFreeSurferFile(kFileTypeSrf, input, true);
            break;
        }
        case 1: {
            SmpData smp;
            if (readSmpFile(fuzz::writeInput("input.smp", data + 1, size - 1), smp)) {
                smp.fileName = (fuzz::workFolder() / "output.smp").string();
                writeSmpFile(smp);
                smpHeaderText(smp);
            }
            break;
        }
        case 2: {
            MtcData mtc;
            if (readMtcFile(fuzz::writeInput("input.mtc", data + 1, size - 1), mtc)) mtcHeaderText(mtc);
            break;
        }
        default: {
            PoiData poi;
            if (readPoiFile(fuzz::writeInput("input.poi", data + 1, size - 1), poi)) {
                poi.fileName = (fuzz::workFolder() / "output.poi").string();
                writePoiFile(poi);
                poiHeaderText(poi);
            }
            break;
        }
    }
    return 0;
}
