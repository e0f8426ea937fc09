// MTC time course to a GIFTI time series file (".time.gii").
#pragma once

#include <string>

namespace meshbridge {

bool exportTimeSeries(const std::string& name, bool fromFile, bool doBinaryExport);

}  // namespace meshbridge
