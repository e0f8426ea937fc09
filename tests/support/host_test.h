// The fixture most in-process tests share: a fresh folder and a fake host.
#pragma once

#include <gtest/gtest.h>

#include "common/plugin_info.h"
#include "export/export_dispatch.h"
#include "import/import_dispatch.h"
#include "tests/support/fake_host.h"
#include "tests/support/temp_dir.h"

namespace meshbridge::test {

struct ExportOptions {
    bool binary = false, colors = false, labelsPerVertex = false;
};

class HostTest : public ::testing::Test {
protected:
    // The plug-in's "Export" of the file at `path`, chosen in its dialog.
    bool exportFile(FileTypeId type, const std::string& path, ExportOptions options = {}) {
        host.dialogAnswers.push_back(path);
        return exportGiftiFile(type, false, options.binary, options.colors, options.labelsPerVertex);
    }

    TempDir dir;
    FakeHost host;
};

// Imports of GIFTI files as the plug-in's "Import" runs them: the file is
// written into the folder and handed over by the first dialog.
struct ImportOptions {
    bool dump = false, open = false, reverse = false, colors = false, asTimeCourse = false;
};

class ImportTest : public HostTest {
protected:
    bool importFile(FileTypeId type, const std::string& name, const std::string& xml, ImportOptions options = {}) {
        writeFile(dir.file(name), xml);
        host.dialogAnswers.push_front(dir.file(name));
        return importGiftiFile(type, options.dump, options.open, options.reverse, options.colors, options.asTimeCourse);
    }
};

}  // namespace meshbridge::test
