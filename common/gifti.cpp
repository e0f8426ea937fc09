#include "common/gifti.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "common/binary_io.h"
#include "common/gifti_codecs.h"
#include "common/text.h"

namespace meshbridge {

namespace {

// Why arrays of the images read lost their data, until the images are freed.
std::mutex problemsLock;
std::map<const giiDataArray*, std::string>& arrayProblems() {
    static std::map<const giiDataArray*, std::string> problems;
    return problems;
}

// The errors gifticlib printed while reading (its lines that start "** "),
// without the prefix and each once; what the XML parser found comes first, as
// it is what ended the read.
std::vector<std::string> giftiErrors() {
    std::vector<std::string> parser, others;
    std::istringstream lines(meshbridge_gifti_messages());
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("** ", 0) != 0) continue;
        line.erase(0, 3);
        while (!line.empty() && (line.back() == ' ' || line.back() == '.' || line.back() == '\r')) line.pop_back();
        if (line.empty() || line.find("errors in GIFTI file") != std::string::npos) continue;
        std::vector<std::string>& kind = line.find(" at line ") != std::string::npos ? parser : others;
        if (std::find(kind.begin(), kind.end(), line) == kind.end()) kind.push_back(line);
    }
    parser.insert(parser.end(), others.begin(), others.end());
    return parser;
}

// What gifticlib said of data array `index`.
std::string errorOfArray(const std::vector<std::string>& errors, int index) {
    const std::string tag = "DataArray[" + std::to_string(index) + "]";
    const std::string shortTag = "DA[" + std::to_string(index) + "]";
    for (const std::string& found : {tag, shortTag})
        for (const std::string& error : errors)
            if (error.find(found) != std::string::npos) return error;
    return {};
}

// Where `name`, an external data file named by a GIFTI file, is, with links
// followed; empty unless that is in the GIFTI file's folder or below it.
std::filesystem::path besideTheGiftiFile(const std::filesystem::path& name, const std::string& giftiPath) {
    std::error_code error;
    const std::filesystem::path giftiFolder = std::filesystem::absolute(giftiPath, error).parent_path();
    if (error || name.empty()) return {};
    const std::filesystem::path folder = std::filesystem::weakly_canonical(giftiFolder, error);
    if (error) return {};
    const std::filesystem::path resolved =
        std::filesystem::weakly_canonical(name.is_absolute() || name.has_root_name() ? name : giftiFolder / name, error);
    if (error) return {};
    // Inside: the folder's parts come first, and something follows them.
    auto part = resolved.begin();
    for (const auto& step : folder) {
        if (part == resolved.end() || *part != step) return {};
        ++part;
    }
    return part == resolved.end() ? std::filesystem::path() : resolved;
}

// External data is named relative to the GIFTI file's folder; gifticlib looks
// for it from the working folder and keeps zeros when that fails. The data is
// read again from the right place, or dropped when it cannot be read whole.
// A name that leads out of the folder, also through a link, is a problem of
// the file.
bool readExternalData(gifti_image& image, const std::string& giftiPath, std::string& problem) {
    for (int i = 0; i < image.numDA; ++i) {
        giiDataArray* array = image.darray ? image.darray[i] : nullptr;
        if (!array || !array->ext_fname || !*array->ext_fname) continue;
        releaseArrayData(*array);
        const std::filesystem::path path = besideTheGiftiFile(array->ext_fname, giftiPath);
        if (path.empty()) {
            problem = formatText("data array %d names the external file \"%s\", which is not in the GIFTI file's "
                                 "folder or below it",
                                 i, array->ext_fname);
            return false;
        }
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

void GiftiImageDeleter::operator()(gifti_image* image) const {
    if (image && image->darray) {
        const std::lock_guard<std::mutex> lock(problemsLock);
        for (int i = 0; i < image->numDA; ++i) arrayProblems().erase(image->darray[i]);
    }
    gifti_free_image(image);
}

std::string arrayReadProblem(const giiDataArray& array) {
    const std::lock_guard<std::mutex> lock(problemsLock);
    const auto found = arrayProblems().find(&array);
    return found == arrayProblems().end() ? std::string() : found->second;
}

GiftiImagePtr readGiftiImage(const std::string& path, bool readData, std::string* problem) {
    std::string found;
    // A folder or FIFO is refused before gifticlib opens it (a FIFO would
    // keep it waiting); a path that cannot be opened is left to the reader.
    if (FilePtr probe = openFile(path, "rb"); !probe && (errno == EISDIR || errno == ENXIO)) {
        if (problem) *problem = errno == EISDIR ? "it is a folder" : "it is not a regular file";
        return nullptr;
    }
    meshbridge_gifti_messages_clear();
    GiftiImagePtr image(gifti_read_image(path.c_str(), readData ? 1 : 0));
    const std::vector<std::string> errors = giftiErrors();
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
    if (!image && found.empty()) {
        // gifticlib's own reasons: what the XML parser found, or the element it refused.
        for (std::size_t i = 0; i < errors.size() && i < 3; ++i) found += (i ? "; " : "") + errors[i];
    }
    for (int i = 0; image && readData && i < image->numDA; ++i) {
        const giiDataArray* array = image->darray[i];
        if (array->data || (array->ext_fname && *array->ext_fname)) continue;
        const std::string error = errorOfArray(errors, i);
        if (error.empty()) continue;
        const std::lock_guard<std::mutex> lock(problemsLock);
        arrayProblems()[array] = error;
    }
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
