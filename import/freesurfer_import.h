// FreeSurfer's own files in the "Import" command: each is read into the GIFTI
// image its GIFTI counterpart would give, which the same conversions take.
#pragma once

#include <string>

#include "common/gifti.h"
#include "formats/freesurfer_files.h"

namespace meshbridge {

// What kind of FreeSurfer file `path` is, by its content; None for GIFTI
// files, other files and files that cannot be read.
FreeSurferKind freeSurferFileKind(const std::string& path);

// The file at `path`, of `kind`, as a GIFTI image: a surface as its pointset
// and triangles, a morphometry file as one shape array, an overlay as one
// array per frame of the map type the user picks (or of no intent with
// `asTimeCourse`, its TR as TimeStep), an annotation as one label per vertex
// with the labels the vertices use, a label file as a node-index array with
// one label named after the file. Null when it is refused or the user
// cancels; the log and a message say why.
GiftiImagePtr readFreeSurferFile(const std::string& path, FreeSurferKind kind, bool asTimeCourse);

// The name of what the import of FreeSurfer file `path` writes: `suffix`
// (".srf") appended, except that it replaces ".annot", ".label", ".mgh" and
// ".mgz": lh.white -> lh.white.srf, lh.aparc.annot -> lh.aparc.poi.
std::string freeSurferOutputName(const std::string& path, const std::string& suffix);

}  // namespace meshbridge
