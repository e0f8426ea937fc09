#include "standin/input_kinds.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "common/binary_io.h"
#include "formats/freesurfer_files.h"

namespace meshbridge::standin {

namespace {

constexpr std::size_t kFirstBytes = 1 << 16;      // enough to tell every kind but a GIFTI file of long metadata
constexpr std::size_t kGiftiHeadBytes = 1 << 20;  // a GIFTI header and its first arrays' tags
constexpr std::uint64_t kMostCiftiXmlBytes = 64u << 20;

// At most `count` bytes of the file from byte `offset` on (fewer where it
// ends), and its size.
std::vector<unsigned char> fileBytes(const std::string& path, std::uint64_t offset, std::size_t count,
                                     std::int64_t& size) {
    FilePtr file = openFile(path, "rb");
    size = file ? bytesLeftInFile(file.get()) : -1;
    if (size < 0 || offset > static_cast<std::uint64_t>(size) ||
        (offset > 0 && !seekFile(file.get(), static_cast<std::int64_t>(offset))))
        return {};
    std::vector<unsigned char> bytes(static_cast<std::size_t>(std::min<std::uint64_t>(size - offset, count)));
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file.get()));
    return bytes;
}

std::vector<unsigned char> fileHead(const std::string& path, std::size_t count, std::int64_t& size) {
    return fileBytes(path, 0, count, size);
}

// The value of attribute `name` in the tag text `tag`, or empty.
std::string_view attribute(std::string_view tag, std::string_view name) {
    for (std::size_t at = tag.find(name); at != std::string_view::npos; at = tag.find(name, at + 1)) {
        const bool ownName = at > 0 && (tag[at - 1] == ' ' || tag[at - 1] == '\t' || tag[at - 1] == '\n' ||
                                        tag[at - 1] == '\r');
        std::size_t i = at + name.size();
        while (i < tag.size() && (tag[i] == ' ' || tag[i] == '\t' || tag[i] == '\n' || tag[i] == '\r')) ++i;
        if (!ownName || i >= tag.size() || tag[i] != '=') continue;
        ++i;
        while (i < tag.size() && (tag[i] == ' ' || tag[i] == '\t' || tag[i] == '\n' || tag[i] == '\r')) ++i;
        if (i >= tag.size() || (tag[i] != '"' && tag[i] != '\'')) continue;
        const std::size_t end = tag.find(tag[i], i + 1);
        if (end == std::string_view::npos) return {};
        return tag.substr(i + 1, end - i - 1);
    }
    return {};
}

// A GIFTI file's kind from the tags of the data arrays its head holds, as the
// import classifies them: any coordinates or triangles make a surface, then
// a time series, then labels, else maps.
Recognised giftiKind(std::string_view text) {
    Recognised found{InputKind::GiftiMaps};
    bool surface = false, series = false, labels = false;
    std::int64_t firstVertices = -1, seriesVertices = -1;
    for (std::size_t at = text.find("<DataArray"); at != std::string_view::npos; at = text.find("<DataArray", at + 1)) {
        const std::size_t end = text.find('>', at);
        if (end == std::string_view::npos) break;
        const std::string_view tag = text.substr(at, end - at);
        const std::string_view intent = attribute(tag, "Intent");
        const std::string_view dim0 = attribute(tag, "Dim0");
        std::int64_t vertices = -1;
        if (!dim0.empty() && dim0.size() < 12 && dim0.find_first_not_of("0123456789") == std::string_view::npos)
            vertices = std::stoll(std::string(dim0));
        if (firstVertices < 0) firstVertices = vertices;
        surface = surface || intent == "NIFTI_INTENT_POINTSET" || intent == "NIFTI_INTENT_TRIANGLE";
        if (intent == "NIFTI_INTENT_TIME_SERIES" && !series) {
            series = true;
            seriesVertices = vertices;
        }
        labels = labels || intent == "NIFTI_INTENT_LABEL";
        found.namesItsVertices = found.namesItsVertices || intent == "NIFTI_INTENT_NODE_INDEX";
    }
    found.kind = surface  ? InputKind::GiftiSurface
                 : series ? InputKind::GiftiTimeSeries
                 : labels ? InputKind::GiftiLabels
                          : InputKind::GiftiMaps;
    found.vertices = series ? seriesVertices : firstVertices;
    found.namesItsVertices = found.namesItsVertices && found.kind == InputKind::GiftiLabels;
    return found;
}

bool isGiftiText(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n\xEF\xBB\xBF");
    return first != std::string_view::npos && text[first] == '<' &&
           text.substr(0, std::min<std::size_t>(text.size(), 65536)).find("<GIFTI") != std::string_view::npos;
}

std::uint32_t int32At(const std::vector<unsigned char>& bytes, std::size_t at, bool bigEndian) {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        const unsigned char byte = bytes[at + static_cast<std::size_t>(bigEndian ? i : 3 - i)];
        value = (value << 8) | byte;
    }
    return value;
}

// A CIFTI file: a NIfTI-2 (or, refused by the import with a hint, NIfTI-1)
// header followed by an extension of code 32, the CIFTI XML; its kind from
// the XML's index map of the other dimension. NIfTI volumes are no input.
InputKind ciftiKind(const std::string& path, const std::vector<unsigned char>& head) {
    if (head.size() < 352) return InputKind::None;
    const bool nifti2 = std::memcmp(head.data() + 4, "n+2\0\r\n\032\n", 8) == 0;
    const bool nifti1 = std::memcmp(head.data() + 344, "n+1\0", 4) == 0;
    if (!nifti2 && !nifti1) return InputKind::None;
    const bool bigEndian = head[0] == 0;
    const std::size_t extensionAt = nifti2 ? 540 : 348;
    if (head.size() < extensionAt + 12 || head[extensionAt] == 0) return InputKind::None;
    const std::uint32_t extensionSize = int32At(head, extensionAt + 4, bigEndian);
    if (int32At(head, extensionAt + 8, bigEndian) != 32) return InputKind::None;
    if (nifti1) return InputKind::Cifti;
    const std::uint64_t xmlBytes = std::min<std::uint64_t>(extensionSize > 8 ? extensionSize - 8u : 0u, kMostCiftiXmlBytes);
    std::int64_t ignored = 0;
    const std::vector<unsigned char> text = fileBytes(path, extensionAt + 12, static_cast<std::size_t>(xmlBytes), ignored);
    const std::string_view xml(reinterpret_cast<const char*>(text.data()), text.size());
    if (xml.find("CIFTI_INDEX_TYPE_BRAIN_MODELS") == std::string_view::npos) return InputKind::Cifti;
    if (xml.find("CIFTI_INDEX_TYPE_PARCELS") != std::string_view::npos) return InputKind::Cifti;
    if (xml.find("CIFTI_INDEX_TYPE_SCALARS") != std::string_view::npos) return InputKind::CiftiScalars;
    if (xml.find("CIFTI_INDEX_TYPE_SERIES") != std::string_view::npos) return InputKind::CiftiSeries;
    if (xml.find("CIFTI_INDEX_TYPE_LABELS") != std::string_view::npos) return InputKind::CiftiLabels;
    return InputKind::Cifti;
}

}  // namespace

Recognised recogniseInput(const std::string& path) {
    std::int64_t size = 0;
    std::vector<unsigned char> head = fileHead(path, kFirstBytes, size);
    if (head.empty()) return {};
    const bool gzip = head.size() >= 2 && head[0] == 0x1F && head[1] == 0x8B;
    // Most files tell in their first bytes; a GIFTI file whose header is
    // longer is read further for its first data arrays' tags.
    for (std::size_t wanted = kFirstBytes;; wanted = kGiftiHeadBytes) {
        std::vector<unsigned char> inflated;
        if (gzip) {
            std::string problem;
            inflateGzip(std::span(head.data(), std::min(head.size(), wanted / 4)), wanted, inflated, problem);
        }
        const std::vector<unsigned char>& bytes = gzip ? inflated : head;
        const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        if (!isGiftiText(text)) break;
        const bool whole = (gzip ? inflated.size() < wanted : head.size() < wanted) || wanted == kGiftiHeadBytes;
        if (whole || text.find("<DataArray") != std::string_view::npos) return giftiKind(text);
        head = fileHead(path, kGiftiHeadBytes, size);
    }
    if (!gzip)
        if (const InputKind cifti = ciftiKind(path, head); cifti != InputKind::None) return {cifti};
    switch (freeSurferKindOfFile(path)) {
        case FreeSurferKind::Surface:
        case FreeSurferKind::QuadSurface: return {InputKind::FreeSurferSurface};
        case FreeSurferKind::Morphometry: return {InputKind::Morphometry};
        case FreeSurferKind::Overlay:
        case FreeSurferKind::CompressedOverlay: return {InputKind::Overlay};
        case FreeSurferKind::Annotation: return {InputKind::Annotation};
        case FreeSurferKind::Label: return {InputKind::Label, -1, true};
        case FreeSurferKind::None: break;
    }
    return {};
}

const char* inputKindName(InputKind kind) {
    switch (kind) {
        case InputKind::GiftiSurface: return "GIFTI surface";
        case InputKind::GiftiMaps: return "GIFTI maps";
        case InputKind::GiftiTimeSeries: return "GIFTI time series";
        case InputKind::GiftiLabels: return "GIFTI labels";
        case InputKind::FreeSurferSurface: return "FreeSurfer surface";
        case InputKind::Morphometry: return "FreeSurfer morphometry";
        case InputKind::Overlay: return "MGH overlay";
        case InputKind::Annotation: return "FreeSurfer annotation";
        case InputKind::Label: return "FreeSurfer label";
        case InputKind::CiftiScalars: return "CIFTI dense scalars";
        case InputKind::CiftiSeries: return "CIFTI dense time series";
        case InputKind::CiftiLabels: return "CIFTI dense labels";
        case InputKind::Cifti: return "CIFTI";
        case InputKind::None: break;
    }
    return "unknown";
}

bool isSurfaceKind(InputKind kind) { return kind == InputKind::GiftiSurface || kind == InputKind::FreeSurferSurface; }

}  // namespace meshbridge::standin
