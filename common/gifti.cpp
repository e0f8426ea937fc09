#include "common/gifti.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
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
#include "common/replace_extension.h"
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

// What gifticlib said of data array `index`: its own reason, never a warning
// that names the same array (of a coordinate system's intent).
std::string errorOfArray(const std::vector<std::string>& errors, int index) {
    const std::string tag = "DataArray[" + std::to_string(index) + "]";
    const std::string shortTag = "DA[" + std::to_string(index) + "]";
    for (const std::string& found : {tag, shortTag})
        for (const std::string& error : errors)
            if (error.find(found) != std::string::npos && error.find("has coordsys") == std::string::npos) return error;
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
        // Allocated here: gifticlib's allocation refuses dimensions that end in
        // 1 ([40, 1]), which the same array inline, and other readers, take.
        array->data = std::malloc(static_cast<std::size_t>(bytes));
        if (!array->data) continue;
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

namespace {

bool startsWith(const std::string& text, const char* start) { return text.rfind(start, 0) == 0; }

// What a NIfTI header at `head` is, else empty.
std::string niftiKind(const unsigned char* head, std::size_t size) {
    if (size < 4) return {};
    std::uint32_t first = 0;
    std::memcpy(&first, head, 4);
    const std::uint32_t swapped = (first >> 24) | ((first >> 8) & 0xFF00) | ((first << 8) & 0xFF0000) | (first << 24);
    if (first == 348 || swapped == 348) return "a NIfTI-1 volume";
    if ((first == 540 || swapped == 540) && size >= 8 && std::memcmp(head + 4, "n+2", 3) == 0)
        return "a NIfTI-2 file (a CIFTI file comes in through the Import command, as the GIFTI files do)";
    return {};
}

// The first inflated bytes of gzip'ed data.
std::string inflatedHead(const unsigned char* bytes, std::size_t size) {
    std::string out(512, '\0');
    z_stream stream{};
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) return {};
    stream.next_in = const_cast<unsigned char*>(bytes);
    stream.avail_in = static_cast<uInt>(size);
    stream.next_out = reinterpret_cast<unsigned char*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    inflate(&stream, Z_SYNC_FLUSH);
    out.resize(out.size() - stream.avail_out);
    inflateEnd(&stream);
    return out;
}

// Why the file open at `file` (from `path`) is no GIFTI file, told by its
// first bytes (and, for the host's own files, its name): empty where it may
// be one.
std::string notGifti(std::FILE* file, const std::string& path) {
    unsigned char head[4096];
    const std::size_t size = std::fread(head, 1, sizeof head, file);
    if (size == 0) return "it is empty";
    std::size_t at = size >= 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF ? 3 : 0;
    while (at < size && (head[at] == ' ' || head[at] == '\t' || head[at] == '\r' || head[at] == '\n')) ++at;
    if (at < size && head[at] == '<') return {};  // XML: gifticlib judges it
    if (size >= 2 && head[0] == 0x1F && head[1] == 0x8B) {
        const std::string inner = inflatedHead(head, size);
        const std::string kind = niftiKind(reinterpret_cast<const unsigned char*>(inner.data()), inner.size());
        return kind.empty() ? std::string() : "it is " + kind + ", gzip-compressed, not a GIFTI file";
    }
    if (const std::string kind = niftiKind(head, size); !kind.empty()) return "it is " + kind + ", not a GIFTI file";
    const std::string name = lastPathComponent(path);
    const auto extension = [&](const char* wanted) {
        const std::string end = wanted;
        if (name.size() < end.size()) return false;
        for (std::size_t i = 0; i < end.size(); ++i)
            if (std::tolower(static_cast<unsigned char>(name[name.size() - end.size() + i])) != end[i]) return false;
        return true;
    };
    for (const auto& [suffix, kind] : {std::pair{".srf", "an SRF surface"}, std::pair{".smp", "an SMP map file"},
                                       std::pair{".mtc", "an MTC time course"}, std::pair{".poi", "a POI file"}}) {
        if (extension(suffix))
            return formatText("it is %s, one of Corvana's own files: Import makes them from GIFTI files, and Export "
                              "turns them into GIFTI files",
                              kind);
    }
    const std::string text(reinterpret_cast<const char*>(head), std::min<std::size_t>(size, 64));
    if (startsWith(text, "FileVersion:")) return "it is a POI file, one of Corvana's own files: Export turns it into a GIFTI file";
    return {};
}

}  // namespace

GiftiImagePtr readGiftiImage(const std::string& path, bool readData, std::string* problem) {
    std::string found;
    {
        // A folder or FIFO is refused before gifticlib opens it (a FIFO would
        // keep it waiting), as is a path that cannot be opened.
        const FilePtr probe = openFile(path, "rb");
        if (!probe) {
            if (problem) *problem = whyNotOpened(path);
            return nullptr;
        }
        // A file that is plainly something else says what it is, rather than
        // where the XML parser stopped.
        if (const std::string other = notGifti(probe.get(), path); !other.empty()) {
            if (problem) *problem = other;
            return nullptr;
        }
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
