// The "Export" command: choose the host's file (or take its current document)
// and hand it to the converter of its kind.
#pragma once

namespace meshbridge {

// "Export": one of the host's files (or its current document) becomes a GIFTI
// file; with doExportLabelsPerVertex patches become one label per mesh vertex;
// with doExportRetinotopyAsReal polar angle and eccentricity maps made from
// lags become two plain arrays (angle in degrees, correlation); with
// doExportCifti maps, time courses and patches become CIFTI-2 dense files;
// with doExportFreeSurfer every kind goes out in FreeSurfer's own format.
bool exportGiftiFile(int fileTypeId, bool useCurrentFile, bool doBinaryExport, bool doExportColors,
                     bool doExportLabelsPerVertex = false, bool doExportRetinotopyAsReal = false,
                     bool doExportCifti = false, bool doExportFreeSurfer = false);

}  // namespace meshbridge
