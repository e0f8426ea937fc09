// The host's maps, time courses and patches as CIFTI-2 dense files, for
// Workbench and the tools of HCP's and fMRIPrep's pipelines: SMP ->
// NAME.dscalar.nii, MTC -> NAME.dtseries.nii (SeriesStep = TR / 1000 s),
// POI -> NAME.dlabel.nii (one label per vertex, key 0 "???" for vertices in
// no patch). Each holds one surface model with every vertex of the mesh; its
// structure comes from the file's name, as the GIFTI exports read it, else
// from the host's current surface.
#pragma once

#include <string>

namespace meshbridge {

// The export of the file `name` (or, with fromFile false, the host's current
// document) of kind `fileTypeId` (SMP, MTC or POI) as a CIFTI-2 dense file.
bool exportCiftiFile(int fileTypeId, const std::string& name, bool fromFile);

// The CIFTI structure ("CORTEX_LEFT") of a GIFTI primary structure
// ("CortexLeft"); empty for "Unknown".
std::string ciftiStructureOf(const std::string& giftiStructure);

}  // namespace meshbridge
