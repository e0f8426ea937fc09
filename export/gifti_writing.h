// Building and writing the GIFTI images of the exports.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "common/gifti.h"

namespace meshbridge {

// An image of `numDA` data arrays with the library's defaults, no data yet.
GiftiImagePtr createExportImage(int numDA);

// Sets the fields of one data array: row-major values of `datatype`, the given
// dimensions, and the encoding (GZipBase64Binary when `compressed`, else
// `plainEncoding`), little-endian, no external file.
void setArrayFields(giiDataArray& array, int intent, int datatype, std::initializer_list<int> dims,
                    bool compressed, int plainEncoding = GIFTI_ENCODING_ASCII);

// Storage for the values of array `index`, sized by its dimensions and owned
// by the image; null when it cannot be allocated.
void* allocateArrayData(gifti_image& image, int index);

template <class T>
T* allocateArrayValues(gifti_image& image, int index) {
    return static_cast<T*>(allocateArrayData(image, index));
}

// Values that stay their owner's, lent to arrays of an image for its write
// instead of copied into storage of the image's own: the arrays let go of
// them when this object ends. Declared after the image, it ends first.
class LentValues {
public:
    explicit LentValues(gifti_image* image) : image_(image) {}
    ~LentValues();
    LentValues(const LentValues&) = delete;
    LentValues& operator=(const LentValues&) = delete;

    // Array `index` shows `values`, as many as its dimensions say; the writer
    // only reads them.
    void lend(int index, const void* values);

private:
    gifti_image* image_;
    std::vector<int> lent_;
};

void addImageMetadata(gifti_image& image, const std::string& name, const std::string& value);
// "AnatomicalStructurePrimary" in the image's metadata, from the first of
// `names` that tells the structure; nothing when none does.
void addStructureMetadata(gifti_image& image, std::initializer_list<std::string> names);
void addArrayMetadata(giiDataArray& array, const std::string& name, const std::string& value);

struct LabelEntry {
    std::int32_t key;
    std::string label;
    std::array<float, 4> rgba;  // red, green, blue, alpha, 0 to 1
};

// The opaque colour of a packed red * 65536 + green * 256 + blue, each byte
// divided by 255 (bytes outside 0 to 255 are held to that range).
std::array<float, 4> opaqueRgbaOfPacked(std::int32_t packed);

// Replaces the image's label table by `entries`, in their order.
bool setLabelTable(gifti_image& image, const std::vector<LabelEntry>& entries);

// Writes the image with its data to `path`, through a temporary file that
// replaces `path` only when complete. True on success.
bool writeGiftiFile(gifti_image& image, const std::string& path);

// Whether every index lies in 0..nrOfVertices-1; if not, logs which file holds
// the first one outside, which it is and how many there are.
bool indicesWithinMesh(const std::int32_t* indices, std::size_t count, std::int32_t nrOfVertices,
                       const std::string& file, const char* what);

// The last step of an export: writes the image when it was `built`, and logs
// the outcome ("Exported to GIfTI format, name: ..." or that it did not
// succeed). True when the file was written.
bool writeExportedImage(gifti_image* image, bool built, const std::string& path);

}  // namespace meshbridge
