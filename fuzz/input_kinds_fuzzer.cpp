// What `meshbridge convert` reads of every file it finds, on any bytes: the
// first bytes (inflated where they are gzip'ed), a GIFTI header's data-array
// tags, a NIfTI header and its CIFTI XML, and FreeSurfer's kinds. The first
// byte picks the file's name, as names decide MGH and MGZ files.
#include <unistd.h>

#include "fuzz/fuzz_support.h"
#include "standin/input_kinds.h"

using namespace meshbridge;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    static const char* const kNames[] = {"lh.white", "x.surf.gii", "x.gii.gz", "lh.sig.mgz", "x.dtseries.nii"};
    const std::string path = fuzz::writeInput(kNames[data[0] % 5], data + 1, size - 1);
    const standin::Recognised found = standin::recogniseInput(path);
    if (found.vertices < -1) __builtin_trap();  // a count is digits or nothing
    return 0;
}
