#include "common/gifti.h"

#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/binary_io.h"

namespace meshbridge {

namespace {

// External data is named relative to the GIFTI file's folder; gifticlib looks
// for it from the working folder and keeps zeros when that fails. The data is
// read again from the right place, or dropped when it cannot be read whole.
void readExternalData(gifti_image& image, const std::string& giftiPath) {
    for (int i = 0; i < image.numDA; ++i) {
        giiDataArray* array = image.darray ? image.darray[i] : nullptr;
        if (!array || !array->ext_fname || !*array->ext_fname) continue;
        std::free(array->data);  // gifticlib's buffer, allocated with malloc
        array->data = nullptr;
        const std::filesystem::path name(array->ext_fname);
        const std::filesystem::path path =
            name.is_absolute() ? name : std::filesystem::path(giftiPath).parent_path() / name;
        const long long bytes = array->nvals * array->nbyper;
        FilePtr file = openFile(path.string(), "rb");
        if (!file || array->ext_offset < 0 || bytes <= 0) continue;
        const std::int64_t size = bytesLeftInFile(file.get());
        if (size < 0 || array->ext_offset > size || bytes > size - array->ext_offset) continue;
        if (!seekFile(file.get(), array->ext_offset)) continue;
        if (gifti_alloc_DA_data(&image, &i, 1) != 0 || !array->data) continue;
        if (std::fread(array->data, 1, static_cast<std::size_t>(bytes), file.get()) != static_cast<std::size_t>(bytes)) {
            std::free(array->data);
            array->data = nullptr;
            continue;
        }
        int valueSize = 0, swapSize = 0;
        gifti_datatype_sizes(array->datatype, &valueSize, &swapSize);
        if (swapSize > 0) gifti_check_swap(array->data, array->endian, bytes / swapSize, swapSize);
    }
}

}  // namespace

GiftiImagePtr readGiftiImage(const std::string& path, bool readData) {
    GiftiImagePtr image(gifti_read_image(path.c_str(), readData ? 1 : 0));
    // Every data array the image counts must be there.
    if (image && image->numDA > 0 && !image->darray) image.reset();
    for (int i = 0; image && i < image->numDA; ++i) {
        if (!image->darray[i]) image.reset();
    }
    if (image && readData) readExternalData(*image, path);
    return image;
}

const giiDataArray* arrayWithIntent(const gifti_image& image, std::initializer_list<int> intents, ArrayPick pick) {
    const giiDataArray* found = nullptr;
    for (int i = 0; i < image.numDA; ++i) {
        const giiDataArray* array = image.darray ? image.darray[i] : nullptr;
        if (!array) continue;
        for (int intent : intents) {
            if (array->intent != intent) continue;
            if (pick == ArrayPick::First) return array;
            found = array;
        }
    }
    return found;
}

}  // namespace meshbridge
