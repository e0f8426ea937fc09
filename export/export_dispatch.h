// The "Export" command: choose the host's file (or take its current document)
// and hand it to the converter of its kind.
#pragma once

namespace meshbridge {

// "Export": one of the host's files (or its current document) becomes a GIFTI
// file; with doExportLabelsPerVertex patches become one label per mesh vertex.
bool exportGiftiFile(int fileTypeId, bool useCurrentFile, bool doBinaryExport, bool doExportColors,
                     bool doExportLabelsPerVertex = false);

}  // namespace meshbridge
