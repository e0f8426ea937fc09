// CIFTI-2 dense files (.dscalar.nii, .dtseries.nii, .dlabel.nii): a NIfTI-2
// header of 540 bytes in either byte order, the CIFTI XML in a header
// extension of code 32, and at vox_offset a matrix of brainordinates by maps
// (or frames, or label maps). Along the matrix's dimension 0 (the header's
// dim[5], which varies fastest in the file) lie the maps; along dimension 1
// (dim[6]) the brainordinates, each a vertex of a surface or a voxel of a
// volume structure. Each brainordinate's values lie together in the file.
// Everything a file claims is checked against its size before anything is
// allocated for it.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory_resource>
#include <string>
#include <vector>

namespace meshbridge {

enum class CiftiKind { Scalars, Series, Labels };

struct CiftiLabel {
    std::int32_t key = 0;
    std::string name;                  // UTF-8, as the XML holds it
    std::array<float, 4> rgba{};       // 0 to 1
};

struct CiftiBrainModel {
    CiftiBrainModel() = default;
    explicit CiftiBrainModel(std::pmr::memory_resource* indexMemory) : vertexIndices(indexMemory) {}

    std::string structure;             // without its "CIFTI_STRUCTURE_": "CORTEX_LEFT"
    bool surface = false;              // else a model of voxels
    std::int64_t indexOffset = 0;      // its first brainordinate
    std::int64_t indexCount = 0;
    std::int32_t surfaceVertices = 0;  // of a surface model: the vertices of the whole surface
    std::pmr::vector<std::int32_t> vertexIndices;  // of a surface model: the vertex of each of its brainordinates
    bool verticesInOrder = false;             // whether they increase from each brainordinate to the next
};

struct CiftiHeader {
    CiftiKind kind = CiftiKind::Scalars;
    std::int64_t rows = 0;             // maps, frames or label maps (dim[5])
    std::int64_t brainordinates = 0;   // dim[6]
    std::int16_t datatype = 0;         // a NIfTI datatype code
    bool bigEndian = false;
    double slope = 1.0, intercept = 0.0;  // applied unless they are 1 and 0 (or the slope is 0)
    std::int64_t matrixOffset = 0;     // vox_offset
    std::vector<std::string> mapNames;              // scalars and labels: one a row
    std::vector<std::vector<CiftiLabel>> labelTables;  // labels: one a row
    double seriesStep = 0.0;           // series: SeriesStep x 10^SeriesExponent, in seriesUnit
    std::string seriesUnit;            // "SECOND", "HERTZ", "METER", "RADIAN"
    std::vector<CiftiBrainModel> models;  // surface and voxel models, in the order of their brainordinates
};

// What messages call a kind: "dense scalar file".
const char* ciftiKindName(CiftiKind kind);

// The header and XML of the file open in `file` (at its start), which holds
// `size` bytes: false with the problem ("its XML is not well-formed: ...",
// "it is a NIfTI-1 volume, not a CIFTI file") when it is no dense CIFTI-2 file
// this reader takes.
bool readCiftiHeader(std::FILE* file, std::uint64_t size, CiftiHeader& header, std::string& problem);

// The memory an import reads a file's XML into and then reuses for its maps:
// for a large XML a whole huge page (which costs as much to touch first as
// the XML alone), never moved while it lives. The XML and later the maps lie
// at its bottom; the surface models' vertex indices are made at its top (it
// is their memory resource) and live as long as the room, which must outlive
// the header they belong to. What does not fit comes from the heap.
class CiftiRoom final : public std::pmr::memory_resource {
public:
    CiftiRoom() = default;
    ~CiftiRoom() override;
    CiftiRoom(const CiftiRoom&) = delete;
    CiftiRoom& operator=(const CiftiRoom&) = delete;

    // Room for the XML's `bytes` at the bottom; made once, before anything
    // else. Throws std::bad_alloc when there is no memory.
    char* makeForXml(std::size_t bytes);
    // `count` floats at the bottom, below the vertex indices (where the XML
    // was), or null when they do not fit.
    float* floats(std::size_t count);

private:
    void* do_allocate(std::size_t bytes, std::size_t alignment) override;
    void do_deallocate(void* at, std::size_t bytes, std::size_t alignment) override;
    bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override { return this == &other; }

    unsigned char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t bottom_ = 0;  // bytes used at the bottom
    std::size_t top_ = 0;     // the first byte of the vertex indices
};

// The same, with the XML read into `room` and the vertex indices made in it.
bool readCiftiHeader(std::FILE* file, std::uint64_t size, CiftiHeader& header, std::string& problem,
                     CiftiRoom& room);

// The values of brainordinates first to first + count - 1, each's `rows`
// values in turn, as floats with the header's scaling applied.
bool readCiftiValues(std::FILE* file, const CiftiHeader& header, std::int64_t first, std::int64_t count,
                     float* values, std::string& problem);

// The bytes of a dense file's header, extension included, for the XML `xml`
// and a float32 matrix of rows x brainordinates, which follows them.
std::vector<unsigned char> ciftiHeaderBytes(CiftiKind kind, std::int64_t rows, std::int64_t brainordinates,
                                            const std::string& xml);

// The XML of a dense file of one surface model that holds every vertex of
// `structure` ("CORTEX_LEFT"); `rowsXml` is the MatrixIndicesMap of
// dimension 0.
std::string ciftiDenseXml(const std::string& rowsXml, const std::string& structure, std::int32_t vertices);

// Writes a dense file of float32 values, `rows` for each of `vertices`
// brainordinates, at `path` (complete or not at all): `fill` gives the values
// of brainordinates first to first + count - 1, each's rows in turn.
bool writeCiftiFile(const std::string& path, CiftiKind kind, std::int64_t rows, std::int32_t vertices,
                    const std::string& xml,
                    const std::function<void(std::int64_t first, std::int64_t count, float* values)>& fill);

// Text escaped for an XML attribute or element.
std::string xmlEscaped(const std::string& text);

}  // namespace meshbridge
