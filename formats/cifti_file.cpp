#include "formats/cifti_file.h"

#include <expat.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "common/atomic_file.h"
#include "common/binary_io.h"
#include "common/huge_pages.h"
#include "common/text.h"

namespace meshbridge {

namespace {

constexpr std::size_t kNifti2HeaderSize = 540;
constexpr std::size_t kNifti1HeaderSize = 348;
constexpr unsigned char kNifti2Magic[8] = {'n', '+', '2', '\0', '\r', '\n', 0x1A, '\n'};
constexpr std::int32_t kCiftiExtensionCode = 32;
constexpr std::size_t kReadBlock = 1 << 20;
// An XML of this size and more is read into the room of one huge page
// (touched first in about the time of 600 KB in small pages), which the
// import reuses for its values.
constexpr std::size_t kXmlInHugePage = 256 << 10;
constexpr std::size_t kHugePageBytes = 2 << 20;

// Offsets in the NIfTI-2 header.
constexpr std::size_t kDatatypeAt = 12, kDimAt = 16, kVoxOffsetAt = 168, kSlopeAt = 176, kInterceptAt = 184,
                      kIntentCodeAt = 504, kIntentNameAt = 508;

template <class T>
T byteSwapped(T value) {
    unsigned char raw[sizeof(T)];
    std::memcpy(raw, &value, sizeof(T));
    std::reverse(raw, raw + sizeof(T));
    std::memcpy(&value, raw, sizeof(T));
    return value;
}

// The header's numbers, in the byte order of the file.
class HeaderBytes {
public:
    HeaderBytes(const unsigned char* bytes, bool swapped) : bytes_(bytes), swapped_(swapped) {}
    template <class T>
    T at(std::size_t offset) const {
        T value;
        std::memcpy(&value, bytes_ + offset, sizeof(T));
        return swapped_ ? byteSwapped(value) : value;
    }

private:
    const unsigned char* bytes_;
    bool swapped_;
};

// Bytes of one value of a NIfTI datatype this reader takes; 0 for others.
std::size_t bytesOfDatatype(std::int16_t datatype) {
    switch (datatype) {
        case 2: case 256: return 1;             // UINT8, INT8
        case 4: case 512: return 2;             // INT16, UINT16
        case 8: case 16: case 768: return 4;    // INT32, FLOAT32, UINT32
        case 64: case 1024: case 1280: return 8;  // FLOAT64, INT64, UINT64
        default: return 0;
    }
}

const char* datatypeRefusal(std::int16_t datatype) {
    switch (datatype) {
        case 32: case 1792: case 2048: return "complex";
        case 128: case 2304: return "colour (RGB)";
        case 1536: return "128-bit float";
        default: return nullptr;
    }
}

const char* attribute(const XML_Char** attributes, const char* name) {
    for (int i = 0; attributes[i]; i += 2)
        if (std::strcmp(attributes[i], name) == 0) return attributes[i + 1];
    return nullptr;
}

bool parseInteger(const char* text, std::int64_t& value) {
    if (!text) return false;
    while (*text == ' ' || *text == '\t' || *text == '\n' || *text == '\r') ++text;
    if (*text == '\0') return false;
    char* end = nullptr;
    errno = 0;
    const long long number = std::strtoll(text, &end, 10);
    if (errno != 0 || end == text) return false;
    while (*end == ' ' || *end == '\t' || *end == '\n' || *end == '\r') ++end;
    if (*end != '\0') return false;
    value = number;
    return true;
}

bool parseReal(const char* text, double& value) {
    if (!text) return false;
    char* end = nullptr;
    const double number = std::strtod(text, &end);
    if (end == text || !std::isfinite(number)) return false;
    while (*end == ' ' || *end == '\t' || *end == '\n' || *end == '\r') ++end;
    if (*end != '\0') return false;
    value = number;
    return true;
}

std::string withoutPrefix(const char* text, const char* prefix) {
    const std::string value = textOrEmpty(text);
    const std::size_t length = std::strlen(prefix);
    return value.compare(0, length, prefix) == 0 ? value.substr(length) : value;
}

// What the CIFTI XML says, gathered by expat's handlers. The first problem
// found stops the parse.
struct XmlReading {
    explicit XmlReading(CiftiHeader& target) : header(target) {}
    CiftiHeader& header;
    XML_Parser parser = nullptr;
    std::string problem;
    std::string version;
    bool sawRoot = false;
    std::string typeOfDimension[2];
    std::int64_t seriesPoints = -1;
    int mapDimensions = 0;  // of the MatrixIndicesMap being read: bit 0 dimension 0, bit 1 dimension 1
    std::string collecting;  // the element whose text is collected; empty: none
    std::string text;
    const std::vector<std::string_view>* cutVertexTexts = nullptr;  // the VertexIndices' texts, kept from the parser
    std::size_t nextCut = 0;
    std::optional<std::string_view> cutText;  // the collected element's text where it was kept out, else in `text`
    std::pmr::memory_resource* indexMemory = std::pmr::get_default_resource();  // for the vertex indices
    CiftiLabel label;

    void fail(const std::string& what) {
        if (problem.empty()) problem = what;
        XML_StopParser(parser, XML_FALSE);
    }
    void collect(const char* element) {
        collecting = element;
        text.clear();
        cutText.reset();
    }
};

void startMatrixIndicesMap(XmlReading& r, const XML_Char** attributes) {
    const std::string dimensions = textOrEmpty(attribute(attributes, "AppliesToMatrixDimension"));
    const std::string type = withoutPrefix(attribute(attributes, "IndicesMapToDataType"), "CIFTI_INDEX_TYPE_");
    r.mapDimensions = 0;
    std::size_t at = 0;
    while (at <= dimensions.size()) {
        const std::size_t comma = std::min(dimensions.find(',', at), dimensions.size());
        std::int64_t dimension = -1;
        if (!parseInteger(dimensions.substr(at, comma - at).c_str(), dimension) || dimension < 0 || dimension > 1)
            return r.fail(formatText("a MatrixIndicesMap applies to the dimensions \"%s\"; a dense file has the "
                                     "dimensions 0 and 1",
                                     dimensions.c_str()));
        const auto d = static_cast<std::size_t>(dimension);
        if (!r.typeOfDimension[d].empty())
            return r.fail(formatText("two MatrixIndicesMaps apply to dimension %zu", d));
        r.typeOfDimension[d] = type.empty() ? "(none)" : type;
        r.mapDimensions |= 1 << d;
        at = comma + 1;
    }
    if (type == "SERIES" && (r.mapDimensions & 1)) {
        std::int64_t exponent = 0, points = 0;
        double step = 0.0;
        if (!parseReal(attribute(attributes, "SeriesStep"), step) ||
            !parseInteger(attribute(attributes, "SeriesExponent"), exponent) || exponent < -30 || exponent > 30)
            return r.fail("its series has no readable SeriesStep and SeriesExponent");
        r.header.seriesStep = step * std::pow(10.0, static_cast<double>(exponent));
        r.header.seriesUnit = textOrEmpty(attribute(attributes, "SeriesUnit"));
        if (parseInteger(attribute(attributes, "NumberOfSeriesPoints"), points)) r.seriesPoints = points;
    }
}

void startBrainModel(XmlReading& r, const XML_Char** attributes) {
    if (r.mapDimensions != 2 || r.typeOfDimension[1] != "BRAIN_MODELS") return;
    CiftiBrainModel model(r.indexMemory);
    const std::string type = withoutPrefix(attribute(attributes, "ModelType"), "CIFTI_MODEL_TYPE_");
    model.structure = withoutPrefix(attribute(attributes, "BrainStructure"), "CIFTI_STRUCTURE_");
    const std::size_t number = r.header.models.size();
    if (!parseInteger(attribute(attributes, "IndexOffset"), model.indexOffset) ||
        !parseInteger(attribute(attributes, "IndexCount"), model.indexCount) || model.indexOffset < 0 ||
        model.indexCount < 1)
        return r.fail(formatText("brain model %zu (%s) has no valid IndexOffset and IndexCount", number,
                                 model.structure.c_str()));
    if (type == "SURFACE") {
        std::int64_t vertices = 0;
        if (!parseInteger(attribute(attributes, "SurfaceNumberOfVertices"), vertices) || vertices < 1 ||
            vertices > std::numeric_limits<std::int32_t>::max())
            return r.fail(formatText("the surface model %zu (%s) has no valid SurfaceNumberOfVertices", number,
                                     model.structure.c_str()));
        model.surface = true;
        model.surfaceVertices = static_cast<std::int32_t>(vertices);
        if (model.indexCount > vertices)
            return r.fail(formatText("the surface model %s has %lld brainordinates for a surface of %lld vertices",
                                     model.structure.c_str(), static_cast<long long>(model.indexCount),
                                     static_cast<long long>(vertices)));
    } else if (type != "VOXELS") {
        return r.fail(formatText("brain model %zu (%s) has the unknown ModelType \"%s\"", number,
                                 model.structure.c_str(), type.c_str()));
    }
    r.header.models.push_back(std::move(model));
}

// The vertex indices of the last surface model, from the collected text.
void endVertexIndices(XmlReading& r) {
    if (r.header.models.empty() || !r.header.models.back().surface) return;
    CiftiBrainModel& model = r.header.models.back();
    if (!model.vertexIndices.empty()) return r.fail("the surface model " + model.structure + " has two VertexIndices");
    const std::string_view all = r.cutText ? *r.cutText : std::string_view(r.text);
    // Digits read here, a character at a time without calls: strtoll's locale
    // and sign handling cost more than the rest of the parse.
    const char* p = all.data();
    const char* const last = p + all.size();
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    const auto most = static_cast<std::size_t>(model.indexCount);
    std::pmr::vector<std::int32_t>& indices = model.vertexIndices;
    const auto vertices = static_cast<std::uint64_t>(std::max(model.surfaceVertices, 0));
    std::size_t count = 0;
    indices.resize(most);
    // Lists run on by one for long stretches (a whole surface, or all of it
    // but the medial wall), so the next number's text is known before it is
    // read: after "1233 " comes "1234 ". The vertex `next` as its digits and
    // a space, in the order they lie in the text, with the mask of their
    // bytes (0: nothing expected, when it would be beyond the surface or take
    // more than eight bytes).
    std::uint64_t next = 0, expected = 0, expectedMask = 0;
    int expectedBytes = 0;
    const auto maskOf = [](int bytes) { return bytes == 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << 8 * bytes) - 1; };
    const auto expect = [&](std::uint64_t vertex) {
        next = vertex;
        expectedMask = 0;
        if (vertex >= vertices || vertex > 9999999) return;
        expected = 0;
        expectedBytes = 1;
        for (;; vertex /= 10) {
            expected = expected << 8 | ('0' + vertex % 10);
            ++expectedBytes;
            if (vertex < 10) break;
        }
        expected |= std::uint64_t{' '} << 8 * (expectedBytes - 1);
        expectedMask = maskOf(expectedBytes);
    };
    // From the vertex expected to the one after it: its last digit goes up
    // by one, unless it is a 9 (or the vertex after is beyond the surface).
    const auto expectTheNext = [&] {
        const int lastDigit = 8 * (expectedBytes - 2);
        if ((expected >> lastDigit & 0xFF) == '9' || next + 1 >= vertices) return expect(next + 1);
        expected += std::uint64_t{1} << lastDigit;
        ++next;
    };
    while (true) {
        // Most numbers are one to seven digits and a blank: read eight
        // bytes at a time, without a branch for each digit, blanks passed
        // over. Anything else (and a vertex beyond the surface, to be named)
        // is read below, a number at a time, and the rest here again.
        while (last - p >= 8 && count < most) {
            std::uint64_t word;
            std::memcpy(&word, p, 8);
            if constexpr (std::endian::native == std::endian::big) word = byteSwapped(word);
            if ((word & expectedMask) == expected && expectedMask != 0) {
                indices[count++] = static_cast<std::int32_t>(next);
                p += expectedBytes;
                expectTheNext();
                continue;
            }
            // Digits become 0 to 9; the first byte that was none has its top
            // bit set in `stop` (bytes after it may be changed by borrows).
            const std::uint64_t digits = word - 0x3030303030303030u;
            const std::uint64_t stop = (digits | (digits + 0x7676767676767676u)) & 0x8080808080808080u;
            if (stop == 0) break;
            const int length = std::countr_zero(stop) / 8;
            if (length == 0 && blank(*p)) {
                ++p;
                continue;
            }
            if (length == 0 || !blank(p[length])) break;
            // The digits moved to the top (zeros before them), then summed in
            // pairs, fours and eights.
            std::uint64_t index = digits << (64 - 8 * length);
            index = (index * 10 + (index >> 8)) & 0x00FF00FF00FF00FFu;
            index = (index * 100 + (index >> 16)) & 0x0000FFFF0000FFFFu;
            index = (index * 10000 + (index >> 32)) & 0xFFFFFFFFu;
            if (index >= vertices) break;
            indices[count++] = static_cast<std::int32_t>(index);
            p += length + 1;
            // The number's own text (leading zeros too), with a space.
            next = index;
            expectedBytes = length + 1;
            expectedMask = maskOf(expectedBytes);
            expected = (word & maskOf(length)) | std::uint64_t{' '} << 8 * length;
            expectTheNext();
        }
        while (p != last && blank(*p)) ++p;
        if (p == last) break;
        const bool negative = *p == '-';
        if (negative || *p == '+') ++p;
        const char* const digits = p;
        std::uint64_t index = 0;
        for (unsigned digit; p != last && (digit = static_cast<unsigned>(*p - '0')) <= 9; ++p)
            index = index * 10 + digit;
        // The sum is exact up to 19 digits, and leading zeros add nothing to it;
        // more than ten digits besides them are beyond every vertex.
        if (p - digits > 10) {
            const char* first = digits;
            while (first + 1 < p && *first == '0') ++first;
            if (p - first > 10) index = UINT64_MAX;
        }
        if (index > INT32_MAX)
            return r.fail(formatText("the VertexIndices of %s name a vertex beyond %d", model.structure.c_str(),
                                     model.surfaceVertices - 1));
        if (p == digits || (p != last && !blank(*p)))
            return r.fail("the VertexIndices of " + model.structure + " hold something other than whole numbers");
        if (index >= vertices || (negative && index > 0))
            return r.fail(formatText("the VertexIndices of %s name the vertex %s%llu, outside 0 to %d",
                                     model.structure.c_str(), negative ? "-" : "",
                                     static_cast<unsigned long long>(index), model.surfaceVertices - 1));
        if (count == most)
            return r.fail(formatText("the VertexIndices of %s hold more than its IndexCount of %lld vertices",
                                     model.structure.c_str(), static_cast<long long>(model.indexCount)));
        indices[count++] = static_cast<std::int32_t>(index);
        expect(index + 1);
    }
    indices.resize(count);
}

void XMLCALL startElement(void* data, const XML_Char* name, const XML_Char** attributes) {
    XmlReading& r = *static_cast<XmlReading*>(data);
    if (!r.sawRoot) {
        r.sawRoot = true;
        if (std::strcmp(name, "CIFTI") != 0)
            return r.fail(formatText("its XML is no CIFTI XML (it starts with <%s>)", name));
        r.version = textOrEmpty(attribute(attributes, "Version"));
        if (r.version.empty() || r.version[0] != '2')
            return r.fail(formatText("it is a CIFTI-%s file: only CIFTI-2 is read; convert it with wb_command "
                                     "-file-convert -cifti-version-convert FILE 2 NEW_FILE",
                                     r.version.empty() ? "?" : r.version.c_str()));
        return;
    }
    if (std::strcmp(name, "MatrixIndicesMap") == 0) return startMatrixIndicesMap(r, attributes);
    const bool rowsMap = r.mapDimensions == 1;
    if (std::strcmp(name, "NamedMap") == 0 && rowsMap) {
        r.header.mapNames.emplace_back();
        r.header.labelTables.emplace_back();
    } else if (std::strcmp(name, "MapName") == 0 && rowsMap && !r.header.mapNames.empty()) {
        r.collect(name);
    } else if (std::strcmp(name, "Label") == 0 && rowsMap && !r.header.labelTables.empty()) {
        std::int64_t key = 0;
        if (!parseInteger(attribute(attributes, "Key"), key) || key < INT32_MIN || key > INT32_MAX)
            return r.fail("a Label has no valid Key");
        r.label = CiftiLabel{};
        r.label.key = static_cast<std::int32_t>(key);
        const char* names[4] = {"Red", "Green", "Blue", "Alpha"};
        for (std::size_t c = 0; c < 4; ++c) {
            double component = c == 3 ? 1.0 : 0.0;
            if (const char* value = attribute(attributes, names[c]); value && !parseReal(value, component))
                return r.fail(formatText("the %s of the label of key %lld is no number", names[c], static_cast<long long>(key)));
            r.label.rgba[c] = static_cast<float>(std::clamp(component, 0.0, 1.0));
        }
        r.collect(name);
    } else if (std::strcmp(name, "BrainModel") == 0) {
        startBrainModel(r, attributes);
    } else if (std::strcmp(name, "VertexIndices") == 0) {
        std::optional<std::string_view> cut;
        if (r.cutVertexTexts && r.nextCut < r.cutVertexTexts->size()) cut = (*r.cutVertexTexts)[r.nextCut++];
        if (r.mapDimensions == 2) {
            r.collect(name);
            r.cutText = cut;
        }
    }
}

void XMLCALL endElement(void* data, const XML_Char* name) {
    XmlReading& r = *static_cast<XmlReading*>(data);
    if (std::strcmp(name, "MatrixIndicesMap") == 0) r.mapDimensions = 0;
    // Only the end of the element whose text is collected (elements nested in
    // it end before it).
    if (r.collecting.empty() || r.collecting != name) return;
    r.collecting.clear();
    if (std::strcmp(name, "MapName") == 0) {
        r.header.mapNames.back() = r.text;
    } else if (std::strcmp(name, "Label") == 0) {
        r.label.name = r.text;
        r.header.labelTables.back().push_back(r.label);
    } else if (std::strcmp(name, "VertexIndices") == 0) {
        endVertexIndices(r);
    }
}

void XMLCALL characters(void* data, const XML_Char* text, int length) {
    XmlReading& r = *static_cast<XmlReading*>(data);
    if (!r.collecting.empty()) r.text.append(text, static_cast<std::size_t>(length));
}

// The index lists are the bulk of a CIFTI XML (HCP's: 59 412 vertex and
// 95 610 voxel numbers), which the XML parser would look at a character at a
// time. Where that is safe (no comments, CDATA sections, declarations or
// references in the document, and every list written plainly) their text is
// kept from the parser, which is given the pieces between: the vertex
// indices' to be read here, in order, the voxels' (not needed) skipped. Else
// the parser is given the whole document.
std::vector<std::string_view> piecesWithoutIndexLists(std::string_view xml, std::vector<std::string_view>& vertexTexts) {
    if (xml.find("<!") != std::string_view::npos || xml.find('&') != std::string_view::npos) return {xml};
    std::vector<std::string_view> pieces;
    std::size_t copied = 0;
    // The next list of each kind: found again only once it is passed (the
    // file's other kind may lie far ahead, or nowhere).
    std::size_t vertex = xml.find("<VertexIndices"), voxel = xml.find("<VoxelIndicesIJK");
    for (std::size_t at = 0;;) {
        if (vertex < at) vertex = xml.find("<VertexIndices", at);
        if (voxel < at) voxel = xml.find("<VoxelIndicesIJK", at);
        const std::size_t start = std::min(vertex, voxel);
        if (start == std::string_view::npos) break;
        const bool isVertex = start == vertex;
        // Only a plain start tag, text without markup and its end tag.
        const std::size_t textStart = start + (isVertex ? 15 : 17);
        const std::size_t end = xml.find('<', textStart);
        const std::string_view endTag = isVertex ? "</VertexIndices>" : "</VoxelIndicesIJK>";
        if (xml.substr(textStart - 1, 1) != ">" || end == std::string_view::npos ||
            xml.substr(end, endTag.size()) != endTag) {
            vertexTexts.clear();
            return {xml};
        }
        if (isVertex) vertexTexts.push_back(xml.substr(textStart, end - textStart));
        pieces.push_back(xml.substr(copied, textStart - copied));
        copied = end;
        at = end;
    }
    pieces.push_back(xml.substr(copied));
    return pieces;
}

bool parseCiftiXml(std::string_view whole, CiftiHeader& header, std::pmr::memory_resource* indexMemory,
                   std::string& problem) {
    // The extension may be padded with zero bytes after the XML.
    whole = whole.substr(0, std::min(whole.size(), whole.find('\0')));
    std::vector<std::string_view> vertexTexts;
    const std::vector<std::string_view> pieces = piecesWithoutIndexLists(whole, vertexTexts);
    XmlReading reading(header);
    reading.indexMemory = indexMemory;
    reading.cutVertexTexts = &vertexTexts;
    std::unique_ptr<std::remove_pointer_t<XML_Parser>, decltype(&XML_ParserFree)> parser(XML_ParserCreate(nullptr),
                                                                                        &XML_ParserFree);
    if (!parser) {
        problem = "there is no memory to read its XML";
        return false;
    }
    reading.parser = parser.get();
    XML_SetUserData(parser.get(), &reading);
    XML_SetElementHandler(parser.get(), startElement, endElement);
    XML_SetCharacterDataHandler(parser.get(), characters);
    bool parsed = true;
    for (std::size_t i = 0; parsed && i < pieces.size(); ++i) {
        parsed = XML_Parse(parser.get(), pieces[i].data(), static_cast<int>(pieces[i].size()),
                           i + 1 == pieces.size() ? XML_TRUE : XML_FALSE) == XML_STATUS_OK;
    }
    if (!reading.problem.empty()) {
        problem = reading.problem;
        return false;
    }
    if (!parsed) {
        problem = formatText("its CIFTI XML is not well-formed: %s at line %lu",
                             XML_ErrorString(XML_GetErrorCode(parser.get())),
                             static_cast<unsigned long>(XML_GetCurrentLineNumber(parser.get())));
        return false;
    }
    const std::string& rows = reading.typeOfDimension[0];
    const std::string& columns = reading.typeOfDimension[1];
    if (rows == "PARCELS" || columns == "PARCELS") {
        problem = "it is a parcels file (its brainordinates are grouped into parcels): only dense files "
                  "(.dscalar.nii, .dtseries.nii, .dlabel.nii) are imported";
        return false;
    }
    if (columns != "BRAIN_MODELS" || (rows != "SCALARS" && rows != "SERIES" && rows != "LABELS")) {
        problem = formatText("its dimensions hold %s and %s: only dense scalar, series and label files (maps, frames "
                             "or label maps by brain models) are imported",
                             rows.empty() ? "nothing" : rows.c_str(), columns.empty() ? "nothing" : columns.c_str());
        return false;
    }
    header.kind = rows == "SERIES" ? CiftiKind::Series : rows == "LABELS" ? CiftiKind::Labels : CiftiKind::Scalars;
    if (header.kind == CiftiKind::Series) {
        header.mapNames.clear();
        header.labelTables.clear();
        if (reading.seriesPoints >= 0 && reading.seriesPoints != header.rows) {
            problem = formatText("its series has %lld points, its matrix %lld rows",
                                 static_cast<long long>(reading.seriesPoints), static_cast<long long>(header.rows));
            return false;
        }
    } else if (static_cast<std::int64_t>(header.mapNames.size()) != header.rows) {
        problem = formatText("it names %zu maps, its matrix has %lld", header.mapNames.size(),
                             static_cast<long long>(header.rows));
        return false;
    }
    if (header.kind != CiftiKind::Labels) header.labelTables.clear();
    // Each structure once (its file is named after it).
    std::vector<std::string> structures;
    for (const CiftiBrainModel& model : header.models) structures.push_back(model.structure);
    std::sort(structures.begin(), structures.end());
    if (const auto twice = std::adjacent_find(structures.begin(), structures.end()); twice != structures.end()) {
        problem = "its brain models name the structure " + *twice + " twice";
        return false;
    }
    // The models must cover the brainordinates, each once, in order.
    std::vector<CiftiBrainModel*> byOffset;
    for (CiftiBrainModel& model : header.models) byOffset.push_back(&model);
    std::sort(byOffset.begin(), byOffset.end(),
              [](const CiftiBrainModel* a, const CiftiBrainModel* b) { return a->indexOffset < b->indexOffset; });
    std::int64_t next = 0;
    for (CiftiBrainModel* model : byOffset) {
        if (model->indexOffset != next) {
            problem = formatText("its brain models do not tile its %lld brainordinates: %s starts at %lld, where "
                                 "%lld was due",
                                 static_cast<long long>(header.brainordinates), model->structure.c_str(),
                                 static_cast<long long>(model->indexOffset), static_cast<long long>(next));
            return false;
        }
        next += model->indexCount;
        if (model->surface && static_cast<std::int64_t>(model->vertexIndices.size()) != model->indexCount) {
            problem = formatText("the surface model %s has %zu VertexIndices for its IndexCount of %lld",
                                 model->structure.c_str(), model->vertexIndices.size(),
                                 static_cast<long long>(model->indexCount));
            return false;
        }
        const auto& indices = model->vertexIndices;
        model->verticesInOrder = std::is_sorted(indices.begin(), indices.end(), std::less_equal<std::int32_t>());
        if (model->surface && !model->verticesInOrder) {
            // Sorted, a vertex named twice stands beside itself.
            std::vector<std::int32_t> sorted(indices.begin(), indices.end());
            std::sort(sorted.begin(), sorted.end());
            if (const auto twice = std::adjacent_find(sorted.begin(), sorted.end()); twice != sorted.end()) {
                problem = formatText("the VertexIndices of %s name the vertex %d twice", model->structure.c_str(),
                                     *twice);
                return false;
            }
        }
    }
    if (next != header.brainordinates) {
        problem = formatText("its brain models cover %lld brainordinates, its matrix has %lld",
                             static_cast<long long>(next), static_cast<long long>(header.brainordinates));
        return false;
    }
    return true;
}

// The text of the CIFTI extension, read from the extensions between the
// header and the matrix.
bool readCiftiExtension(std::FILE* file, const CiftiHeader& header, bool swapped, CiftiRoom& room,
                        std::string_view& xml, std::string& problem) {
    unsigned char extender[4] = {};
    if (!seekFile(file, static_cast<std::int64_t>(kNifti2HeaderSize)) || header.matrixOffset < 548 ||
        std::fread(extender, 1, 4, file) != 4 || extender[0] == 0) {
        problem = "it has no header extensions, so no CIFTI XML: it is a NIfTI-2 volume, not a CIFTI file";
        return false;
    }
    std::int64_t at = kNifti2HeaderSize + 4;
    while (at + 8 <= header.matrixOffset) {
        unsigned char head[8];
        if (!seekFile(file, at) || std::fread(head, 1, 8, file) != 8) break;
        const HeaderBytes numbers(head, swapped);
        const auto size = numbers.at<std::int32_t>(0);
        const auto code = numbers.at<std::int32_t>(4);
        if (size < 8 || at + size > header.matrixOffset) {
            problem = formatText("its header extension at byte %lld claims %d bytes, %s",
                                 static_cast<long long>(at), size,
                                 size < 8 ? "fewer than its own 8" : "beyond the start of the matrix (vox_offset)");
            return false;
        }
        if (code == kCiftiExtensionCode) {
            const auto bytes = static_cast<std::size_t>(size) - 8;
            char* text = room.makeForXml(bytes);
            if (std::fread(text, 1, bytes, file) != bytes) {
                problem = "its CIFTI extension cannot be read";
                return false;
            }
            xml = {text, bytes};
            return true;
        }
        at += size;
    }
    problem = "it has no CIFTI extension (code 32): it is a NIfTI-2 volume, not a CIFTI file";
    return false;
}

void putBytes(std::vector<unsigned char>& out, std::size_t offset, const void* value, std::size_t size) {
    std::memcpy(out.data() + offset, value, size);
    if constexpr (std::endian::native == std::endian::big) std::reverse(out.data() + offset, out.data() + offset + size);
}

template <class T>
void put(std::vector<unsigned char>& out, std::size_t offset, T value) {
    putBytes(out, offset, &value, sizeof(T));
}

}  // namespace

const char* ciftiKindName(CiftiKind kind) {
    switch (kind) {
        case CiftiKind::Scalars: return "dense scalar file";
        case CiftiKind::Series: return "dense time series";
        case CiftiKind::Labels: return "dense label file";
    }
    return "CIFTI file";
}

CiftiRoom::~CiftiRoom() {
    if (data_) releaseHugePageBuffer(data_, size_);
}

char* CiftiRoom::makeForXml(std::size_t bytes) {
    if (data_) throw std::logic_error("the room of a CIFTI file's XML is made once");
    const std::size_t size = bytes >= kXmlInHugePage ? std::max(bytes, kHugePageBytes) : std::max<std::size_t>(bytes, 1);
    data_ = static_cast<unsigned char*>(allocateHugePageBuffer(size));
    size_ = size;
    bottom_ = bytes;
    top_ = size;
    return reinterpret_cast<char*>(data_);
}

float* CiftiRoom::floats(std::size_t count) {
    if (!data_ || count > top_ / sizeof(float)) return nullptr;
    bottom_ = std::max(bottom_, count * sizeof(float));
    return reinterpret_cast<float*>(data_);
}

void* CiftiRoom::do_allocate(std::size_t bytes, std::size_t alignment) {
    if (data_ && bytes <= top_ && alignment <= alignof(std::max_align_t)) {
        const std::size_t at = (top_ - bytes) / alignment * alignment;
        if (at >= bottom_) {
            top_ = at;
            return data_ + at;
        }
    }
    return std::pmr::new_delete_resource()->allocate(bytes, alignment);
}

void CiftiRoom::do_deallocate(void* at, std::size_t bytes, std::size_t alignment) {
    const auto* byte = static_cast<unsigned char*>(at);
    if (data_ && byte >= data_ && byte < data_ + size_) return;  // the room goes as a whole
    std::pmr::new_delete_resource()->deallocate(at, bytes, alignment);
}

namespace {

bool readHeaderAndXml(std::FILE* file, std::uint64_t size, CiftiHeader& header, std::string& problem,
                      CiftiRoom& room, std::pmr::memory_resource* indexMemory) {
    header = CiftiHeader{};
    unsigned char bytes[kNifti2HeaderSize] = {};
    const std::size_t got = std::fread(bytes, 1, sizeof bytes, file);
    if (got >= 2 && bytes[0] == 0x1F && bytes[1] == 0x8B) {
        problem = "it is gzip-compressed: CIFTI files are read uncompressed (unpack it with gunzip first)";
        return false;
    }
    if (got >= 4) {
        std::int32_t first = 0;
        std::memcpy(&first, bytes, 4);
        const auto nifti1 = static_cast<std::int32_t>(kNifti1HeaderSize);
        if (first == nifti1 || byteSwapped(first) == nifti1) {
            problem = "it is a NIfTI-1 volume, not a CIFTI file";
            return false;
        }
    }
    if (got < sizeof bytes) {
        problem = formatText("it holds %zu bytes, fewer than a NIfTI-2 header's 540", got);
        return false;
    }
    std::int32_t first = 0;
    std::memcpy(&first, bytes, 4);
    const auto nifti2 = static_cast<std::int32_t>(kNifti2HeaderSize);
    if ((first != nifti2 && byteSwapped(first) != nifti2) || std::memcmp(bytes + 4, kNifti2Magic, 8) != 0) {
        problem = "it is no NIfTI-2 file (its header does not start with 540 and the magic \"n+2\")";
        return false;
    }
    const bool swapped = first != nifti2;
    header.bigEndian = (std::endian::native == std::endian::little) == swapped;
    const HeaderBytes numbers(bytes, swapped);
    header.datatype = numbers.at<std::int16_t>(kDatatypeAt);
    if (const char* refused = datatypeRefusal(header.datatype)) {
        problem = formatText("its values are %s (datatype %d): only integer and real values are read", refused,
                             header.datatype);
        return false;
    }
    const std::size_t valueBytes = bytesOfDatatype(header.datatype);
    if (valueBytes == 0) {
        problem = formatText("its datatype %d is no NIfTI datatype of numbers", header.datatype);
        return false;
    }
    std::int64_t dim[8];
    for (std::size_t i = 0; i < 8; ++i) dim[i] = numbers.at<std::int64_t>(kDimAt + 8 * i);
    const bool shaped = dim[0] >= 6 && dim[0] <= 7 && dim[1] == 1 && dim[2] == 1 && dim[3] == 1 && dim[4] == 1 &&
                        dim[5] >= 1 && dim[6] >= 1 && (dim[0] == 6 || dim[7] == 1);
    if (!shaped) {
        problem = formatText("its dims [%lld, %lld, %lld, %lld, %lld, %lld, %lld] are no CIFTI matrix (6 dimensions, "
                             "the first four 1)",
                             static_cast<long long>(dim[0]), static_cast<long long>(dim[1]),
                             static_cast<long long>(dim[2]), static_cast<long long>(dim[3]),
                             static_cast<long long>(dim[4]), static_cast<long long>(dim[5]),
                             static_cast<long long>(dim[6]));
        return false;
    }
    header.rows = dim[5];
    header.brainordinates = dim[6];
    header.matrixOffset = numbers.at<std::int64_t>(kVoxOffsetAt);
    const auto fileSize = static_cast<std::int64_t>(std::min<std::uint64_t>(size, INT64_MAX));
    if (header.matrixOffset < static_cast<std::int64_t>(kNifti2HeaderSize) || header.matrixOffset > fileSize) {
        problem = formatText("its matrix starts at byte %lld (vox_offset), outside its %lld bytes",
                             static_cast<long long>(header.matrixOffset), static_cast<long long>(fileSize));
        return false;
    }
    const auto left = static_cast<std::uint64_t>(fileSize - header.matrixOffset);
    const auto rows = static_cast<std::uint64_t>(header.rows);
    const auto columns = static_cast<std::uint64_t>(header.brainordinates);
    if (rows > left / valueBytes / columns) {
        problem = formatText("its matrix of %lld x %lld values of %zu bytes does not fit in the %llu bytes after "
                             "byte %lld",
                             static_cast<long long>(header.rows), static_cast<long long>(header.brainordinates),
                             valueBytes, static_cast<unsigned long long>(left),
                             static_cast<long long>(header.matrixOffset));
        return false;
    }
    header.slope = numbers.at<double>(kSlopeAt);
    header.intercept = numbers.at<double>(kInterceptAt);
    if (!std::isfinite(header.slope) || header.slope == 0.0) header.slope = 1.0;
    if (!std::isfinite(header.intercept)) header.intercept = 0.0;
    // The kind comes from the XML's maps, not from the intent code.
    std::string_view xml;
    if (!readCiftiExtension(file, header, swapped, room, xml, problem)) return false;
    return parseCiftiXml(xml, header, indexMemory, problem);
}

}  // namespace

bool readCiftiHeader(std::FILE* file, std::uint64_t size, CiftiHeader& header, std::string& problem) {
    // The XML in a room of its own; the vertex indices from the heap, as
    // the header outlives the room.
    CiftiRoom room;
    return readHeaderAndXml(file, size, header, problem, room, std::pmr::get_default_resource());
}

bool readCiftiHeader(std::FILE* file, std::uint64_t size, CiftiHeader& header, std::string& problem,
                     CiftiRoom& room) {
    return readHeaderAndXml(file, size, header, problem, room, &room);
}

bool readCiftiValues(std::FILE* file, const CiftiHeader& header, std::int64_t first, std::int64_t count,
                     float* values, std::string& problem) {
    const std::size_t valueBytes = bytesOfDatatype(header.datatype);
    const auto total = static_cast<std::size_t>(count) * static_cast<std::size_t>(header.rows);
    const std::int64_t offset = header.matrixOffset + first * header.rows * static_cast<std::int64_t>(valueBytes);
    const bool swapped = header.bigEndian == (std::endian::native == std::endian::little);
    const bool scaled = header.slope != 1.0 || header.intercept != 0.0;
    if (header.datatype == 16 && !swapped) {
        if (!readBytesAt(file, offset, values, total * sizeof(float))) {
            problem = "its matrix cannot be read (the file ends early or cannot be read)";
            return false;
        }
    } else {
        if (!seekFile(file, offset)) {
            problem = "its matrix cannot be read";
            return false;
        }
        std::vector<unsigned char> block(std::min(total * valueBytes, kReadBlock));
        const std::size_t perBlock = block.size() / valueBytes;
        for (std::size_t done = 0; done < total;) {
            const std::size_t now = std::min(perBlock, total - done);
            if (std::fread(block.data(), valueBytes, now, file) != now) {
                problem = "its matrix cannot be read (the file ends early or cannot be read)";
                return false;
            }
            const unsigned char* p = block.data();
            float* out = values + done;
            const auto convert = [&](auto zero) {
                using T = decltype(zero);
                for (std::size_t i = 0; i < now; ++i) {
                    T value;
                    std::memcpy(&value, p + i * sizeof(T), sizeof(T));
                    if (swapped) value = byteSwapped(value);
                    out[i] = static_cast<float>(value);
                }
            };
            switch (header.datatype) {
                case 2: convert(std::uint8_t{}); break;
                case 256: convert(std::int8_t{}); break;
                case 4: convert(std::int16_t{}); break;
                case 512: convert(std::uint16_t{}); break;
                case 8: convert(std::int32_t{}); break;
                case 768: convert(std::uint32_t{}); break;
                case 16: convert(float{}); break;
                case 64: convert(double{}); break;
                case 1024: convert(std::int64_t{}); break;
                default: convert(std::uint64_t{}); break;
            }
            done += now;
        }
    }
    if (scaled) {
        for (std::size_t i = 0; i < total; ++i)
            values[i] = static_cast<float>(static_cast<double>(values[i]) * header.slope + header.intercept);
    }
    return true;
}

bool writeCiftiFile(const std::string& path, CiftiKind kind, std::int64_t rows, std::int32_t vertices,
                    const std::string& xml,
                    const std::function<void(std::int64_t first, std::int64_t count, float* values)>& fill) {
    const std::vector<unsigned char> header = ciftiHeaderBytes(kind, rows, vertices, xml);
    const std::int64_t perBlock = std::max<std::int64_t>(1, static_cast<std::int64_t>(kReadBlock) / 4 / rows);
    return writeFileAtomically(path, FileMode::Binary, [&](std::FILE* file) {
        BinaryWriter out(file);
        out.writeArray(header.data(), header.size());
        std::vector<float> block(static_cast<std::size_t>(std::min<std::int64_t>(perBlock, vertices) * rows));
        for (std::int64_t first = 0; first < vertices; first += perBlock) {
            const std::int64_t count = std::min<std::int64_t>(perBlock, vertices - first);
            fill(first, count, block.data());
            out.writeArray(block.data(), static_cast<std::size_t>(count * rows));
        }
        return out.flush();
    });
}

std::string xmlEscaped(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&apos;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string ciftiDenseXml(const std::string& rowsXml, const std::string& structure, std::int32_t vertices) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<CIFTI Version=\"2\">\n  <Matrix>\n";
    xml += rowsXml;
    appendText(xml,
               "    <MatrixIndicesMap AppliesToMatrixDimension=\"1\" IndicesMapToDataType=\"CIFTI_INDEX_TYPE_BRAIN_"
               "MODELS\">\n      <BrainModel IndexOffset=\"0\" IndexCount=\"%d\" ModelType=\"CIFTI_MODEL_TYPE_"
               "SURFACE\" BrainStructure=\"CIFTI_STRUCTURE_%s\" SurfaceNumberOfVertices=\"%d\">\n        "
               "<VertexIndices>",
               vertices, structure.c_str(), vertices);
    xml.reserve(xml.size() + static_cast<std::size_t>(vertices) * 7 + 200);
    for (std::int32_t v = 0; v < vertices; ++v) appendText(xml, v == 0 ? "%d" : " %d", v);
    xml += "</VertexIndices>\n      </BrainModel>\n    </MatrixIndicesMap>\n  </Matrix>\n</CIFTI>\n";
    return xml;
}

std::vector<unsigned char> ciftiHeaderBytes(CiftiKind kind, std::int64_t rows, std::int64_t brainordinates,
                                            const std::string& xml) {
    // The extension: its size and code, the XML and zero bytes up to a multiple of 16.
    const std::size_t extensionSize = (8 + xml.size() + 1 + 15) / 16 * 16;
    std::vector<unsigned char> out(kNifti2HeaderSize + 4 + extensionSize, 0);
    put<std::int32_t>(out, 0, static_cast<std::int32_t>(kNifti2HeaderSize));
    std::memcpy(out.data() + 4, kNifti2Magic, 8);
    put<std::int16_t>(out, kDatatypeAt, 16);  // FLOAT32
    put<std::int16_t>(out, 14, 32);           // bitpix
    const std::int64_t dim[8] = {6, 1, 1, 1, 1, rows, brainordinates, 1};
    for (std::size_t i = 0; i < 8; ++i) put<std::int64_t>(out, kDimAt + 8 * i, dim[i]);
    for (std::size_t i = 0; i < 8; ++i) put<double>(out, 104 + 8 * i, 1.0);  // pixdim
    put<std::int64_t>(out, kVoxOffsetAt, static_cast<std::int64_t>(out.size()));
    put<double>(out, kSlopeAt, 1.0);
    put<double>(out, kInterceptAt, 0.0);
    const std::int32_t intent = kind == CiftiKind::Series ? 3002 : kind == CiftiKind::Labels ? 3007 : 3006;
    const char* intentName = kind == CiftiKind::Series   ? "ConnDenseSeries"
                             : kind == CiftiKind::Labels ? "ConnDenseLabel"
                                                         : "ConnDenseScalar";
    put<std::int32_t>(out, kIntentCodeAt, intent);
    std::memcpy(out.data() + kIntentNameAt, intentName, std::strlen(intentName));
    out[kNifti2HeaderSize] = 1;  // extensions follow
    put<std::int32_t>(out, kNifti2HeaderSize + 4, static_cast<std::int32_t>(extensionSize));
    put<std::int32_t>(out, kNifti2HeaderSize + 8, kCiftiExtensionCode);
    std::memcpy(out.data() + kNifti2HeaderSize + 12, xml.data(), xml.size());
    return out;
}

}  // namespace meshbridge
