// The entries that the plug-in's command dispatch calls; each runs one whole
// command and returns its outcome.
#pragma once

namespace meshbridge {

// "Import": a GIFTI file becomes one of the host's own files.
bool importGiftiFile(int fileTypeId, bool printToLogtab, bool openInHost, bool reverseWinding,
                     bool addColorsFile);

// "Export": one of the host's files (or its current document) becomes a GIFTI
// file; with doExportLabelsPerVertex patches become one label per mesh vertex.
bool exportGiftiFile(int fileTypeId, bool useCurrentFile, bool doBinaryExport, bool doExportColors,
                     bool doExportLabelsPerVertex = false);

// "Print" of the host's own file kinds; askForFile false takes the current document.
bool printSrfFile(bool askForFile, bool toFile, bool toLog);
bool printMtcFile(bool askForFile, bool toFile, bool toLog);
bool printSmpFile(bool askForFile, bool toFile, bool toLog);
bool printPoiFile(bool askForFile, bool toFile, bool toLog);

}  // namespace meshbridge
