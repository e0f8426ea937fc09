// The entries that the plug-in's command dispatch calls, each declared by the
// unit that owns it; each runs one whole command and returns its outcome.
#pragma once

#include "dump/gifti_dump.h"       // printGiftiFile
#include "export/export_dispatch.h"  // exportGiftiFile
#include "formats/mtc_file.h"      // printMtcFile
#include "formats/poi_file.h"      // printPoiFile
#include "formats/smp_file.h"      // printSmpFile
#include "formats/srf_file.h"      // printSrfFile
#include "import/import_dispatch.h"  // importGiftiFile
