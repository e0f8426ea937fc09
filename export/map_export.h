// SMP surface maps to a GIFTI functional file (".func.gii").
#pragma once

#include <complex>
#include <cstdint>
#include <vector>

#include "formats/smp_file.h"

namespace meshbridge {

// The map export. With `retinotopyAsReal` a polar angle or eccentricity map
// made from lags goes out as two FLOAT32 arrays that every GIFTI reader
// takes: the angle in degrees, (k - minLag) * 360 / nrOfLags, and the
// correlation r; otherwise as one COMPLEX64 array.
bool exportSurfaceMap(const std::string& name, bool fromFile, bool doBinaryExport, bool retinotopyAsReal = false);

// A cross-correlation map (each value lag number * 1000 + correlation) as
// complex numbers: the correlation at the angle of the lag. `nrOfLags` must be
// positive.
std::vector<std::complex<float>> complexFromLagMap(const SmpMap& map, std::int32_t nrOfVertices);

}  // namespace meshbridge
