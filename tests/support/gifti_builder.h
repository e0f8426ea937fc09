// GIFTI images made in memory for tests.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "common/gifti.h"
#include "export/gifti_writing.h"

namespace meshbridge::test {

inline GiftiImagePtr emptyImage() { return createExportImage(0); }

// Appends a row-major data array holding `values` (of the C type of `datatype`).
template <class T>
giiDataArray& addArray(gifti_image& image, int intent, int datatype, std::initializer_list<int> dims,
                       const std::vector<T>& values) {
    gifti_add_empty_darray(&image, 1);
    const int index = image.numDA - 1;
    giiDataArray& array = *image.darray[index];
    gifti_set_DA_defaults(&array);
    setArrayFields(array, intent, datatype, dims, false);
    if (!values.empty()) {
        void* data = allocateArrayData(image, index);
        std::memcpy(data, values.data(), values.size() * sizeof(T));
    }
    return array;
}

}  // namespace meshbridge::test
