// The host's surfaces, maps, time courses and patches in FreeSurfer's own
// formats, for freeview, mri_surf2surf, mri_segstats and group analyses:
// SRF -> a triangle surface named after the SRF without ".srf" (lh.white.srf
// -> lh.white), SMP -> NAME.mgz (one frame a map), MTC -> NAME.mgz (one frame
// a volume, the TR in the header), POI -> NAME.annot (one colour-table entry
// a patch). A file that is already there is replaced only when this plug-in
// wrote it: the round trip of a FreeSurfer file (lh.white -> lh.white.srf ->
// lh.white) never overwrites the reconstruction's own.
#pragma once

#include <string>

namespace meshbridge {

// The export of the file `name` (or, with fromFile false, the host's current
// document) of kind `fileTypeId` (SRF, SMP, MTC or POI) to FreeSurfer.
bool exportFreeSurferFile(int fileTypeId, const std::string& name, bool fromFile);

}  // namespace meshbridge
