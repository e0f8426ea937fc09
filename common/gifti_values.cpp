#include "common/gifti_values.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

#include "common/gifti.h"
#include "common/huge_pages.h"
#include "common/text.h"

namespace meshbridge {

namespace {

template <class Out, class In>
Out convert(In value) {
    if constexpr (std::is_floating_point_v<Out>) {
        return static_cast<Out>(value);
    } else {
        constexpr auto lowest = std::numeric_limits<std::int32_t>::min();
        constexpr auto highest = std::numeric_limits<std::int32_t>::max();
        if constexpr (std::is_floating_point_v<In>) {
            if (!(value >= static_cast<In>(lowest) && value <= static_cast<In>(highest))) return lowest;
            return static_cast<Out>(value);
        } else if constexpr (std::is_signed_v<In>) {
            if (value < lowest || value > highest) return lowest;
            return static_cast<Out>(value);
        } else {
            if (value > static_cast<std::uint64_t>(highest)) return lowest;
            return static_cast<Out>(value);
        }
    }
}

// Offset in the stored order of the value at row-major position `rowMajor`.
std::uint64_t storedOffset(const giiDataArray& array, std::uint64_t rowMajor) {
    if (array.ind_ord != GIFTI_IND_ORD_COL_MAJOR || array.num_dim < 2) return rowMajor;
    std::uint64_t index[6] = {};
    for (int d = array.num_dim - 1; d >= 0; --d) {
        const auto extent = static_cast<std::uint64_t>(array.dims[d]);
        index[d] = rowMajor % extent;
        rowMajor /= extent;
    }
    std::uint64_t offset = 0;
    for (int d = array.num_dim - 1; d >= 0; --d) offset = offset * static_cast<std::uint64_t>(array.dims[d]) + index[d];
    return offset;
}

template <class Out, class In>
bool copyConverted(const giiDataArray& array, std::uint64_t count, HugePageVector<Out>& values) {
    if (count > 0 && array.nbyper != static_cast<int>(sizeof(In))) return false;
    const auto* bytes = static_cast<const unsigned char*>(array.data);
    const bool columnMajor = array.ind_ord == GIFTI_IND_ORD_COL_MAJOR && array.num_dim >= 2;
    if constexpr (std::is_same_v<In, Out>) {
        if (!columnMajor) {  // values of the wanted type in order: copied as they are
            values.resize(static_cast<std::size_t>(count));
            if (count > 0) std::memcpy(values.data(), bytes, static_cast<std::size_t>(count) * sizeof(In));
            return true;
        }
    }
    values.resize(static_cast<std::size_t>(count));
    for (std::uint64_t i = 0; i < count; ++i) {
        In value;
        std::memcpy(&value, bytes + (columnMajor ? storedOffset(array, i) : i) * sizeof(In), sizeof(In));
        values[static_cast<std::size_t>(i)] = convert<Out>(value);
    }
    return true;
}

template <class Out>
bool convertValues(const giiDataArray& array, HugePageVector<Out>& values, std::string& problem) {
    const std::uint64_t count = announcedValueCount(array);
    if (array.num_dim < 1 || array.num_dim > 6 || (count == 0 && array.dims[0] != 0)) {
        problem = formatText("its dimensions (%d of them) are not valid", array.num_dim);
        return false;
    }
    if (count > 0 && (!array.data || array.nvals < 0 || static_cast<std::uint64_t>(array.nvals) < count)) {
        problem = "its data is missing or incomplete";
        if (const std::string why = arrayReadProblem(array); !why.empty()) problem += " (" + why + ")";
        return false;
    }
    bool stored = false;
    switch (array.datatype) {
        case NIFTI_TYPE_UINT8: stored = copyConverted<Out, std::uint8_t>(array, count, values); break;
        case NIFTI_TYPE_INT8: stored = copyConverted<Out, std::int8_t>(array, count, values); break;
        case NIFTI_TYPE_INT16: stored = copyConverted<Out, std::int16_t>(array, count, values); break;
        case NIFTI_TYPE_UINT16: stored = copyConverted<Out, std::uint16_t>(array, count, values); break;
        case NIFTI_TYPE_INT32: stored = copyConverted<Out, std::int32_t>(array, count, values); break;
        case NIFTI_TYPE_UINT32: stored = copyConverted<Out, std::uint32_t>(array, count, values); break;
        case NIFTI_TYPE_INT64: stored = copyConverted<Out, std::int64_t>(array, count, values); break;
        case NIFTI_TYPE_UINT64: stored = copyConverted<Out, std::uint64_t>(array, count, values); break;
        case NIFTI_TYPE_FLOAT32: stored = copyConverted<Out, float>(array, count, values); break;
        case NIFTI_TYPE_FLOAT64: stored = copyConverted<Out, double>(array, count, values); break;
        default:
            problem = formatText("its values of type %s are not plain numbers",
                                 textOrEmpty(gifti_datatype2str(array.datatype)).c_str());
            return false;
    }
    if (!stored) problem = "its values are not stored at the size of their type";
    return stored;
}

}  // namespace

std::uint64_t announcedValueCount(const giiDataArray& array) {
    if (array.num_dim < 1 || array.num_dim > 6) return 0;
    std::uint64_t count = 1;
    for (int d = 0; d < array.num_dim; ++d) {
        if (array.dims[d] < 0) return 0;
        count *= static_cast<std::uint64_t>(array.dims[d]);
        if (count > (std::uint64_t{1} << 40)) return 0;
    }
    return count;
}

namespace {

template <class T>
std::span<T> storedAs(giiDataArray& array, int datatype) {
    const std::uint64_t count = announcedValueCount(array);
    const bool inOrder = array.ind_ord != GIFTI_IND_ORD_COL_MAJOR || array.num_dim < 2;
    if (array.datatype != datatype || array.nbyper != static_cast<int>(sizeof(T)) || !inOrder || !array.data ||
        count == 0 || array.nvals < 0 || static_cast<std::uint64_t>(array.nvals) < count)
        return {};
    return {static_cast<T*>(array.data), static_cast<std::size_t>(count)};
}

}  // namespace

std::span<float> storedFloats(giiDataArray& array) { return storedAs<float>(array, NIFTI_TYPE_FLOAT32); }
std::span<std::int32_t> storedInt32s(giiDataArray& array) { return storedAs<std::int32_t>(array, NIFTI_TYPE_INT32); }

bool floatValues(const giiDataArray& array, HugePageVector<float>& values, std::string& problem) {
    return convertValues(array, values, problem);
}

bool int32Values(const giiDataArray& array, HugePageVector<std::int32_t>& values, std::string& problem) {
    return convertValues(array, values, problem);
}

}  // namespace meshbridge
