// The values of a GIFTI data array as plain numbers of one type, whatever type
// and index order the file stores them in.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/gifti.h"
#include "common/huge_pages.h"

namespace meshbridge {

// Number of values the array's dimensions announce (0 for a malformed array).
std::uint64_t announcedValueCount(const giiDataArray& array);

// The array's values in row-major order, converted to float32 (`floatValues`)
// or int32 (`int32Values`; values outside the int32 range become INT32_MIN).
// False, with `problem` describing why, when the array holds no data, values
// that are not plain numbers, or fewer values than its dimensions announce.
bool floatValues(const giiDataArray& array, HugePageVector<float>& values, std::string& problem);
bool int32Values(const giiDataArray& array, HugePageVector<std::int32_t>& values, std::string& problem);

// The array's values as gifticlib holds them, when they are already what the
// functions above would give (float32 or int32 in row-major order, all
// there); empty otherwise. Valid while the array keeps its data.
std::span<float> storedFloats(giiDataArray& array);
std::span<std::int32_t> storedInt32s(giiDataArray& array);

}  // namespace meshbridge
