// CIFTI-2 dense files in the "Import" command: each surface structure of the
// file becomes a file of its own, named with the host's hemisphere tags
// (X.dscalar.nii -> X_LH.smp and X_RH.smp; other structures X_CEREBELLUM.smp).
// A dense scalar file gives maps (SMP), a dense time series a time course
// (MTC, written here, since one host surface cannot take both hemispheres), a
// dense label file patches (POI), one file per label map and structure.
// Vertices the file leaves out (the medial wall) hold 0; voxels are left out.
#pragma once

#include <string>

namespace meshbridge {

// Whether `path` is for the CIFTI import: a NIfTI file by its name (".nii",
// ".nii.gz") or by its first bytes (a NIfTI-1 or NIfTI-2 header), so that the
// import says what it is rather than reading it as XML.
bool isCiftiCandidate(const std::string& path);

// The import of the CIFTI file at `path`. With `openInHost`, a file of one
// structure (and one label map) is opened in the host as the other imports
// open theirs.
bool importCiftiFile(const std::string& path, bool printToLogtab, bool openInHost);

// The name of what the import of `path` writes for `structure` (without its
// "CIFTI_STRUCTURE_") and, for label maps beyond one, the map's name:
// ("X.dscalar.nii", "CORTEX_LEFT", "", ".smp") -> "X_LH.smp".
std::string ciftiOutputName(const std::string& path, const std::string& structure, const std::string& mapName,
                            const char* suffix);

}  // namespace meshbridge
