// The import of CIFTI-2 files on any bytes: the header, XML and whole matrix
// read as the import reads them, then the import itself (with a host that
// answers the map type question with z maps and nothing else; maps, series
// and labels are written beside the input and removed after it).
#include <filesystem>
#include <vector>

#include "common/binary_io.h"
#include "formats/cifti_file.h"
#include "fuzz/fuzz_support.h"
#include "host/host_functions.h"
#include "import/cifti_import.h"

using namespace meshbridge;

namespace {

int zMaps(const char*, int, int, int) { return 4; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    hostFunctions().ztGetIntegerInput = zMaps;
    static const char* const kNames[] = {"x.dscalar.nii", "x.dtseries.nii", "x.dlabel.nii"};
    const std::string name = kNames[data[0] % 3];
    const std::string path = fuzz::writeInput(name, data + 1, size - 1);
    {
        FilePtr file = openFile(path, "rb");
        CiftiHeader header;
        std::string problem;
        if (file && readCiftiHeader(file.get(), size - 1, header, problem)) {
            std::vector<float> values(static_cast<std::size_t>(header.rows));
            for (std::int64_t b = 0; b < header.brainordinates; ++b)
                if (!readCiftiValues(file.get(), header, b, 1, values.data(), problem)) break;
        }
    }
    importCiftiFile(path, true, false);
    for (const auto& entry : std::filesystem::directory_iterator(fuzz::workFolder()))
        if (entry.path().filename() != name) std::filesystem::remove(entry.path());
    return 0;
}
