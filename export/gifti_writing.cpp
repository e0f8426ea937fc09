#include "export/gifti_writing.h"

#include "common/text_encoding.h"
#include "export/surface_naming.h"

#include <algorithm>

#include "common/atomic_file.h"
#include "common/gifti_values.h"
#include "common/text.h"
#include "host/host_calls.h"

namespace meshbridge {

GiftiImagePtr createExportImage(int numDA) {
    int dims[6] = {1, 1, 1, 1, 1, 1};
    GiftiImagePtr image(gifti_create_image(numDA, NIFTI_INTENT_NONE, NIFTI_TYPE_FLOAT32, 1, dims, 0));
    if (image) {
        image->numDA = numDA;
        image->compressed = 0;
    }
    return image;
}

void setArrayFields(giiDataArray& array, int intent, int datatype, std::initializer_list<int> dims,
                    bool compressed, int plainEncoding) {
    array.intent = intent;
    array.datatype = datatype;
    int bytes = 0, swapSize = 0;
    gifti_datatype_sizes(datatype, &bytes, &swapSize);
    array.nbyper = bytes;
    array.ind_ord = GIFTI_IND_ORD_ROW_MAJOR;
    array.num_dim = static_cast<int>(dims.size());
    int d = 0;
    for (int extent : dims) array.dims[d++] = extent;
    for (; d < 6; ++d) array.dims[d] = 1;
    array.nvals = static_cast<long long>(announcedValueCount(array));
    array.encoding = compressed ? GIFTI_ENCODING_B64GZ : plainEncoding;
    array.endian = GIFTI_ENDIAN_LITTLE;
    array.ext_offset = 0;
}

void* allocateArrayData(gifti_image& image, int index) {
    giiDataArray* array = image.darray[index];
    if (array->data) return array->data;
    if (array->nvals == 0) return nullptr;
    return gifti_alloc_DA_data(&image, &index, 1) == 0 ? array->data : nullptr;
}

LentValues::~LentValues() {
    for (int index : lent_) image_->darray[index]->data = nullptr;
}

void LentValues::lend(int index, const void* values) {
    lent_.push_back(index);  // first: should it throw, the array does not hold values it would free
    image_->darray[index]->data = const_cast<void*>(values);
}

void addStructureMetadata(gifti_image& image, std::initializer_list<std::string> names) {
    const std::string structure = anatomicalStructureOfNames(names);
    if (structure != "Unknown") addImageMetadata(image, "AnatomicalStructurePrimary", structure);
}

void addImageMetadata(gifti_image& image, const std::string& name, const std::string& value) {
    gifti_add_to_meta(&image.meta, toXmlText(name).c_str(), toXmlText(value).c_str(), 1);
}

void addArrayMetadata(giiDataArray& array, const std::string& name, const std::string& value) {
    gifti_add_to_meta(&array.meta, toXmlText(name).c_str(), toXmlText(value).c_str(), 1);
}

std::array<float, 4> opaqueRgbaOfPacked(std::int32_t packed) {
    const auto byte = [](std::int32_t value) { return static_cast<float>(std::clamp(value, 0, 255)) / 255.0f; };
    return {byte(packed / 65536), byte(packed % 65536 / 256), byte(packed % 256), 1.0f};
}

bool setLabelTable(gifti_image& image, const std::vector<LabelEntry>& entries) {
    std::vector<int> keys;
    std::vector<std::string> texts;
    std::vector<char*> labels;
    std::vector<float> rgba;
    texts.reserve(entries.size());
    for (const LabelEntry& entry : entries) {
        keys.push_back(entry.key);
        texts.push_back(toXmlText(entry.label));
        labels.push_back(texts.back().data());  // only read by the copy
        rgba.insert(rgba.end(), entry.rgba.begin(), entry.rgba.end());
    }
    const giiLabelTable source{static_cast<int>(entries.size()), keys.data(), labels.data(), rgba.data()};
    gifti_free_LabelTable(&image.labeltable);
    return gifti_copy_LabelTable(&image.labeltable, &source) == 0;
}

bool indicesWithinMesh(const std::int32_t* indices, std::size_t count, std::int32_t nrOfVertices,
                       const std::string& file, const char* what) {
    std::size_t outside = 0;
    std::size_t first = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (indices[i] >= 0 && indices[i] < nrOfVertices) continue;
        if (outside++ == 0) first = i;
    }
    if (outside == 0) return true;
    logText(formatText("Export to GIfTI format did not succeed: %s holds the %s %d (at position %zu), outside the "
                       "mesh of %d vertices; %zu of its %zu indices lie outside.",
                       file.c_str(), what, indices[first], first, nrOfVertices, outside, count));
    return false;
}

bool writeExportedImage(gifti_image* image, bool built, const std::string& path) {
    const bool written = image && built && writeGiftiFile(*image, path);
    if (!written && image && built) logWriteFailure(path);
    if (written) {
        logText(formatText("Exported to GIfTI format, name:\n %s", path.c_str()));
    } else {
        logText("Export to GIfTI format did not succeed.");
    }
    return written;
}

bool writeGiftiFile(gifti_image& image, const std::string& path) {
    return produceFileAtomically(path, [&](const std::string& temporary) {
        return gifti_write_image(&image, temporary.c_str(), 1) == 0;
    });
}

}  // namespace meshbridge
