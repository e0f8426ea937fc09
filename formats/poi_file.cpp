// The text of a POI file, as written (each key padded to 18 characters):
//
//   FileVersion:      2
//
//   FromMeshFile:     "untitled.srf"
//
//   NrOfMeshVertices: 40962
//
//
//   NrOfPOIs:         1
//
//   NameOfPOI:        "V1"
//   InfoTextFile:     ""
//   ColorOfPOI:       255 0 0
//   LabelVertex:      17
//   NrOfVertices:     2
//   17
//   18
//
//
//   NrOfPOIMTCs: 0
//
// The reader goes by the order of the items, not by their keys. Lines may end
// in "\n" or "\r\n". A name or information line holds its text after its first
// double quote, without the line's last character (the closing quote).
#include "formats/poi_file.h"

#include <cctype>
#include <cmath>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>

#include "common/atomic_file.h"
#include "common/binary_io.h"
#include "common/text.h"
#include "dump/native_print.h"
#include "dump/output_stage.h"
#include "host/host_calls.h"

namespace meshbridge {

namespace {

// Words, numbers and lines of a POI text, in order.
class PoiText {
public:
    explicit PoiText(std::string text) : text_(std::move(text)) {}

    std::size_t remaining() const { return text_.size() - at_; }

    // Notes the first problem, with the line it was found on; false.
    bool fail(const std::string& what) {
        if (problem_.empty()) {
            const auto line = std::count(text_.begin(), text_.begin() + static_cast<std::ptrdiff_t>(at_), '\n') + 1;
            problem_ = formatText("line %lld: %s", static_cast<long long>(line), what.c_str());
        }
        return false;
    }
    const std::string& problem() const { return problem_; }

    bool skipWord() {
        skipSpace();
        const std::size_t start = at_;
        while (at_ < text_.size() && !std::isspace(static_cast<unsigned char>(text_[at_]))) ++at_;
        return at_ > start;
    }

    std::optional<std::int32_t> number() {
        skipSpace();
        const char* begin = text_.c_str() + at_;
        char* end = nullptr;
        errno = 0;
        const long value = std::strtol(begin, &end, 10);
        if (end == begin || errno == ERANGE || value < INT32_MIN || value > INT32_MAX) return std::nullopt;
        at_ += static_cast<std::size_t>(end - begin);
        return static_cast<std::int32_t>(value);
    }

    // The rest of the current line, without its line end; nothing at the end of the text.
    std::optional<std::string> line() {
        if (at_ >= text_.size()) return std::nullopt;
        const std::size_t end = text_.find('\n', at_);
        std::string line = text_.substr(at_, end == std::string::npos ? std::string::npos : end - at_);
        at_ = end == std::string::npos ? text_.size() : end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return line;
    }

private:
    void skipSpace() {
        while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_]))) ++at_;
    }

    std::string text_;
    std::size_t at_ = 0;
    std::string problem_;
};

bool isBlank(const std::string& line) {
    for (char c : line)
        if (!std::isspace(static_cast<unsigned char>(c))) return false;
    return true;
}

// The text of a name or information line: after its first double quote,
// without its last character.
std::string quotedText(const std::string& line) {
    const std::size_t quote = line.find('"');
    const std::string rest = quote == std::string::npos ? line : line.substr(quote + 1);
    return rest.empty() ? rest : rest.substr(0, rest.size() - 1);
}

// A value with one pair of enclosing double quotes removed.
std::string unquoted(std::string value) {
    while (!value.empty() && std::isspace(static_cast<unsigned char>(value.front()))) value.erase(value.begin());
    while (!value.empty() && std::isspace(static_cast<unsigned char>(value.back()))) value.pop_back();
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    return value;
}

std::int32_t packedColor(std::int32_t red, std::int32_t green, std::int32_t blue) {
    const float packed = static_cast<float>(red) * 65536.0f + static_cast<float>(green) * 256.0f + static_cast<float>(blue);
    return std::fabs(packed) < 2147483520.0f ? static_cast<std::int32_t>(packed) : 0;
}

bool readPatch(PoiText& in, PoiPatch& patch, std::int32_t number) {
    const std::string which = formatText("patch %d", number);
    std::optional<std::string> nameLine;
    do {
        nameLine = in.line();
    } while (nameLine && isBlank(*nameLine));
    const std::optional<std::string> infoLine = in.line();
    if (!nameLine || !infoLine) return in.fail("the file ends before the name and information lines of " + which);
    patch.name = quotedText(*nameLine);
    patch.infoTextFile = quotedText(*infoLine);
    if (!in.skipWord()) return in.fail("the file ends before the colour of " + which);
    const auto red = in.number(), green = in.number(), blue = in.number();
    if (!red || !green || !blue) return in.fail("expected three colour numbers for " + which);
    patch.color = packedColor(*red, *green, *blue);
    if (!in.skipWord()) return in.fail("the file ends before the label vertex of " + which);
    const auto labelVertex = in.number();
    if (!labelVertex) return in.fail("expected the label vertex of " + which);
    if (!in.skipWord()) return in.fail("the file ends before the vertex count of " + which);
    const auto count = in.number();
    if (!count) return in.fail("expected the vertex count of " + which);
    // Each index takes at least one digit and one separator.
    if (*count < 0 || static_cast<std::size_t>(*count) > in.remaining() / 2 + 1)
        return in.fail(formatText("%s counts %d vertices, more than the rest of the file holds", which.c_str(), *count));
    patch.labelVertex = *labelVertex;
    patch.nrOfVertices = *count;
    HugePageVector<std::int32_t>& vertices = patch.vertices.owned();
    vertices.reserve(static_cast<std::size_t>(*count));
    for (std::int32_t k = 0; k < *count; ++k) {
        const auto vertex = in.number();
        if (!vertex) return in.fail(formatText("expected vertex %d of %d of %s", k + 1, *count, which.c_str()));
        vertices.push_back(*vertex);
    }
    return true;
}

bool readText(PoiText& in, PoiData& poi) {
    if (!in.skipWord()) return in.fail("the file is empty");
    const auto version = in.number();
    if (!version) return in.fail("expected the file version");
    if (!in.skipWord()) return in.fail("the file ends before the mesh file name");
    poi.version = *version;
    const std::optional<std::string> mesh = in.line();
    if (!mesh) return in.fail("the file ends before the mesh file name");
    poi.fromMeshFile = unquoted(*mesh);
    if (!in.skipWord()) return in.fail("the file ends before the number of mesh vertices");
    const auto meshVertices = in.number();
    if (!meshVertices) return in.fail("expected the number of mesh vertices");
    if (!in.skipWord()) return in.fail("the file ends before the number of patches");
    const auto count = in.number();
    if (!count) return in.fail("expected the number of patches");
    // Each patch takes at least two lines and eight words.
    if (*count < 0 || static_cast<std::size_t>(*count) > in.remaining() / 8 + 1)
        return in.fail(formatText("the file counts %d patches, more than the rest of it holds", *count));
    poi.nrOfMeshVertices = *meshVertices;
    poi.nrOfPOIs = *count;
    for (std::int32_t p = 0; p < *count; ++p) {
        PoiPatch patch;
        if (!readPatch(in, patch, p + 1)) return false;
        poi.patches.push_back(std::move(patch));
    }
    if (!in.skipWord()) return in.fail("the file ends before the number of patch time courses");
    const auto mtcs = in.number();
    if (!mtcs) return in.fail("expected the number of patch time courses");
    poi.nrOfPOIMTCs = *mtcs;
    return true;
}

std::string fileText(const std::string& path, bool& opened) {
    FilePtr file = openFile(path, "rb");
    opened = file != nullptr;
    std::string text;
    if (!file) return text;
    char block[65536];
    for (std::size_t got; (got = std::fread(block, 1, sizeof block, file.get())) > 0;) text.append(block, got);
    return text;
}

// The counts agree with the lists they count.
bool isConsistent(const PoiData& poi) {
    if (poi.nrOfPOIs != static_cast<std::int32_t>(poi.patches.size())) return false;
    for (const PoiPatch& patch : poi.patches)
        if (patch.nrOfVertices < 0 || patch.vertices.size() != static_cast<std::size_t>(patch.nrOfVertices))
            return false;
    return true;
}

}  // namespace

bool readPoiFile(const std::string& name, PoiData& poi) {
    poi = PoiData{};
    poi.fileName = name;
    if (const std::string foreign = notAFileOfKind(name, "a POI file"); !foreign.empty()) {
        logText(foreign);
        return false;
    }
    bool opened = false;
    bool complete = false;
    std::string problem;
    try {
        PoiText in(fileText(name, opened));
        if (!opened) {
            logText(formatText("%s cannot be opened: %s.", name.c_str(), std::strerror(errno)));
            return false;
        }
        complete = readText(in, poi);
        problem = in.problem();
    } catch (...) {
        complete = false;
        problem = "the file holds more than memory can take";
    }
    if (!complete) {
        logText("Error while reading *.poi file.");
        logReadProblem(name, problem);
        poi = PoiData{};
        poi.fileName = name;
    }
    return complete;
}

PoiData poiFromHost(const HostPoiList& list, std::int32_t nrOfMeshVertices) {
    PoiData poi;
    poi.version = 2;
    poi.fileName = textOfField(list.fileName);
    poi.nrOfMeshVertices = nrOfMeshVertices;
    poi.nrOfPOIs = list.nrOfPOIs;
    poi.nrOfPOIMTCs = list.nrOfPOIMTCs;
    for (std::int32_t i = 0; i < list.nrOfPOIs; ++i) {
        HostPoiInfo info{};
        std::int32_t* vertices = getCurrentPatch(i, info);
        PoiPatch patch;
        patch.nrOfVertices = info.nrOfVertices;
        patch.color = info.color;
        patch.labelVertex = info.labelVertex;
        patch.name = textOfField(info.name);
        patch.infoTextFile = textOfField(info.infoTextFile);
        patch.vertices = HostArray<std::int32_t>::borrowed(vertices, static_cast<std::size_t>(std::max(info.nrOfVertices, 0)));
        poi.patches.push_back(std::move(patch));
    }
    return poi;
}

PoiData loadPoi(const std::string& name, bool fromFile) {
    PoiData poi;
    bool loaded = false;
    if (fromFile) {
        loaded = readPoiFile(name, poi);
    } else if (hostFunctions().ztGetPOI) {
        HostPoiList list{};
        HostSrfInfo surface{};
        if (getCurrentPatchList(list) && getCurrentSurface(surface) && list.nrOfPOIs >= 0) {
            poi = poiFromHost(list, surface.nrOfVertices);
            loaded = isConsistent(poi);
        }
    }
    if (!loaded) {
        poi.version = -1;
        logText("Reading of patch of interest did not succeed.");
    }
    return poi;
}

std::string poiFileText(const PoiData& poi) {
    std::string text;
    appendText(text, "FileVersion:      %d\n\n", poi.version);
    text += "FromMeshFile:     \"" + poi.fromMeshFile + "\"\n\n";
    appendText(text, "NrOfMeshVertices: %d\n\n\n", poi.nrOfMeshVertices);
    appendText(text, "NrOfPOIs:         %d\n\n", poi.nrOfPOIs);
    for (const PoiPatch& patch : poi.patches) {
        text += "NameOfPOI:        \"" + patch.name + "\"\n";
        text += "InfoTextFile:     \"" + patch.infoTextFile + "\"\n";
        const auto color = static_cast<float>(patch.color);
        const auto red = static_cast<std::int32_t>(color / 65536.0f);
        const float rest = color - static_cast<float>(red) * 65536.0f;
        const auto green = static_cast<std::int32_t>(rest / 256.0f);
        const auto blue = static_cast<std::int32_t>(rest - static_cast<float>(green) * 256.0f);
        appendText(text, "ColorOfPOI:       %d %d %d\n", red, green, blue);
        appendText(text, "LabelVertex:      %d\n", patch.labelVertex);
        appendText(text, "NrOfVertices:     %d\n", patch.nrOfVertices);
        for (std::int32_t vertex : patch.vertices) appendText(text, "%d\n", vertex);
        text += "\n";
    }
    appendText(text, "\nNrOfPOIMTCs: %d\n", poi.nrOfPOIMTCs);
    return text;
}

bool writePoiFile(const PoiData& poi) {
    bool written = false;
    try {
        written = isConsistent(poi) && writeFileAtomically(poi.fileName, FileMode::Text, [&](std::FILE* file) {
            const std::string text = poiFileText(poi);
            return std::fwrite(text.data(), 1, text.size(), file) == text.size();
        });
    } catch (...) {
        written = false;
    }
    if (!written) {
        std::cout << "Error while writing POI file" << std::endl;
        logWriteFailure(poi.fileName);
    }
    return written;
}

std::string poiHeaderText(const PoiData& poi) {
    std::string text;
    appendText(text, "\nPOI filename: \n%s\n", poi.fileName.c_str());
    text += "File type: Patch of Interest (*.poi)\n";
    appendText(text, "File version: %d\n", poi.version);
    appendText(text, "From Mesh File: %s\n", poi.fromMeshFile.c_str());
    appendText(text, "Number of vertices: %d\n", poi.nrOfMeshVertices);
    appendText(text, "Number of POIs: %d\n", poi.nrOfPOIs);
    appendText(text, "Number of POI MTCs: %d\n", poi.nrOfPOIMTCs);
    int number = 1;
    for (const PoiPatch& patch : poi.patches) {
        appendText(text, "\nDetails for map nr: %d\n\n", number++);
        appendText(text, "Number of vertices: %d\n", patch.nrOfVertices);
        appendText(text, "POI name: %s\n", patch.name.c_str());
        appendText(text, "Color code: %d\n", patch.color);
        appendText(text, "Reference Vertex: %d\n", patch.labelVertex);
        appendText(text, "Info Text File: %s\n", patch.infoTextFile.c_str());
    }
    return text;
}

bool dumpPoiHeader(const PoiData& poi, bool toFile, bool toLog) {
    return outputHeaderDump(poiHeaderText(poi), poi.fileName, toFile, toLog, FileMode::Binary,
                     "Error while printing POI header data to ascii");
}

bool printPoiFile(bool askForFile, bool toFile, bool toLog) {
    const NativePrintDialog dialog{"Please select the Corvana POI file", "*.poi",
                                   "No POI file was selected. Procedure finished."};
    return printNativeFile(dialog, askForFile, toFile, toLog, loadPoi,
                           [](const PoiData& poi) { return isFailedLoad(poi); }, dumpPoiHeader);
}

}  // namespace meshbridge
