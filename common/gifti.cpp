#include "common/gifti.h"

#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/binary_io.h"
#include "common/text.h"

namespace meshbridge {

namespace {

// Whether `name`, an external data file named by a GIFTI file, stays in the
// GIFTI file's folder or below it: no absolute path, no "..", no drive.
bool isBesideTheGiftiFile(const std::filesystem::path& name) {
    if (name.empty() || name.is_absolute() || name.has_root_name() || name.has_root_directory()) return false;
    for (const auto& part : name)
        if (part == "..") return false;
    return true;
}

// External data is named relative to the GIFTI file's folder; gifticlib looks
// for it from the working folder and keeps zeros when that fails. The data is
// read again from the right place, or dropped when it cannot be read whole.
// A name that leads out of the folder is a problem of the file.
bool readExternalData(gifti_image& image, const std::string& giftiPath, std::string& problem) {
    for (int i = 0; i < image.numDA; ++i) {
        giiDataArray* array = image.darray ? image.darray[i] : nullptr;
        if (!array || !array->ext_fname || !*array->ext_fname) continue;
        releaseArrayData(*array);
        const std::filesystem::path name(array->ext_fname);
        if (!isBesideTheGiftiFile(name)) {
            problem = formatText("data array %d names the external file \"%s\", which is not in the GIFTI file's "
                                 "folder or below it",
                                 i, array->ext_fname);
            return false;
        }
        const std::filesystem::path path = std::filesystem::path(giftiPath).parent_path() / name;
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
    return true;
}

}  // namespace

GiftiImagePtr readGiftiImage(const std::string& path, bool readData, std::string* problem) {
    std::string found;
    GiftiImagePtr image(gifti_read_image(path.c_str(), readData ? 1 : 0));
    // Every data array the image counts must be there.
    if (image && image->numDA > 0 && !image->darray) image.reset();
    for (int i = 0; image && i < image->numDA; ++i) {
        if (!image->darray[i]) {
            image.reset();
            break;
        }
        const int order = image->darray[i]->ind_ord;
        if (order != GIFTI_IND_ORD_ROW_MAJOR && order != GIFTI_IND_ORD_COL_MAJOR) {
            found = formatText("data array %d has the ArrayIndexingOrder %d, neither RowMajorOrder nor "
                               "ColumnMajorOrder", i, order);
            image.reset();
        }
    }
    if (image && readData && !readExternalData(*image, path, found)) image.reset();
    if (problem) *problem = found;
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
