// What a file found by `meshbridge convert` is, told by its content: the
// files the plug-in's import takes, and what each needs before it can be
// converted without a question.
#pragma once

#include <cstdint>
#include <string>

namespace meshbridge::standin {

enum class InputKind {
    None,  // not a file the import takes: skipped
    GiftiSurface,
    GiftiMaps,
    GiftiTimeSeries,
    GiftiLabels,
    FreeSurferSurface,
    Morphometry,
    Overlay,
    Annotation,
    Label,
    CiftiScalars,
    CiftiSeries,
    CiftiLabels,
    Cifti,  // a CIFTI-2 file of another kind: the import says why it refuses it
};

struct Recognised {
    InputKind kind = InputKind::None;
    std::int64_t vertices = -1;  // the vertex count the file names, where it does (a GIFTI file's first array)
    bool namesItsVertices = false;  // labels of some vertices only, which need the mesh's vertex count
};

// The kind of the file at `path`, from its first bytes (a gzip'ed GIFTI file's
// inflated first bytes; a CIFTI file's XML).
Recognised recogniseInput(const std::string& path);

// What the report calls a kind: "GIFTI surface", "FreeSurfer annotation".
const char* inputKindName(InputKind kind);

// Surfaces are converted first: the files that need a mesh are paired with them.
bool isSurfaceKind(InputKind kind);

}  // namespace meshbridge::standin
