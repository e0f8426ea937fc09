// SMP surface maps to a GIFTI functional file (".func.gii").
#pragma once

#include <complex>
#include <cstdint>
#include <vector>

#include "formats/smp_file.h"

namespace meshbridge {

bool exportSurfaceMap(const std::string& name, bool fromFile, bool doBinaryExport);

// A cross-correlation map (each value lag number * 1000 + correlation) as
// complex numbers: the correlation at the angle of the lag. `nrOfLags` must be
// positive.
std::vector<std::complex<float>> complexFromLagMap(const SmpMap& map, std::int32_t nrOfVertices);

}  // namespace meshbridge
