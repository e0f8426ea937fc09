// gifticlib, for C++, with ownership of images.
#pragma once

#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>

extern "C" {
#include <gifti_io.h>
}

namespace meshbridge {

// Intents of retinotopy maps; this build's gifticlib reads and writes them by
// name.
inline constexpr int kIntentRetinotopyPolar = 1015;
inline constexpr int kIntentRetinotopyEccentricity = 1016;
inline constexpr int kIntentRetinotopyFieldSign = 1017;

// Frees an image, and forgets why any of its arrays lost its data.
struct GiftiImageDeleter {
    void operator()(gifti_image* image) const;
};
using GiftiImagePtr = std::unique_ptr<gifti_image, GiftiImageDeleter>;

// Reads a GIFTI file; with readData false only the header, metadata and the
// attributes of every data array. Null when the file could not be read or is
// refused; then `problem`, if given, says why when the reason is known (else
// it is empty). An image that is returned holds every data array it counts,
// each in row- or column-major order, its external data from the GIFTI file's
// own folder or below.
GiftiImagePtr readGiftiImage(const std::string& path, bool readData, std::string* problem = nullptr);

// Why gifticlib dropped the data of an array of an image that readGiftiImage
// returned (such as "DataArray[0] holds 2 of its 3 ASCII numbers"); empty
// when it kept the data or did not say.
std::string arrayReadProblem(const giiDataArray& array);

// Frees an array's values (gifticlib's buffer) and leaves it without data.
inline void releaseArrayData(giiDataArray& array) {
    std::free(array.data);
    array.data = nullptr;
}

// The first (or the last) data array whose intent is one of `intents`; null
// when there is none.
enum class ArrayPick { First, Last };
const giiDataArray* arrayWithIntent(const gifti_image& image, std::initializer_list<int> intents,
                                    ArrayPick pick = ArrayPick::First);
inline giiDataArray* arrayWithIntent(gifti_image& image, std::initializer_list<int> intents,
                                     ArrayPick pick = ArrayPick::First) {
    return const_cast<giiDataArray*>(arrayWithIntent(std::as_const(image), intents, pick));
}

}  // namespace meshbridge
