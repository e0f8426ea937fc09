// Files that other tools write, at the sizes people use, in every encoding
// and layout: each imports with every value that nibabel reads in it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "tests/e2e/process.h"
#include "tests/support/temp_dir.h"

using ::testing::HasSubstr;
using namespace meshbridge::test;

namespace {

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) lines.push_back(line);
    return lines;
}

// Writes files with foreign_gifti.py; their names.
std::vector<std::string> foreignFiles(const TempDir& dir, const std::vector<std::string>& arguments) {
    std::vector<std::string> command = {kPython, testScript("foreign_gifti.py")};
    command.insert(command.end(), arguments.begin(), arguments.end());
    const ProcessResult made = runProcess(command);
    EXPECT_EQ(made.exitCode, 0) << made.err;
    std::vector<std::string> paths;
    for (const std::string& name : linesOf(made.out)) paths.push_back(dir.file(name));
    return paths;
}

// Imports each map file, exports its SMP compressed, and has nibabel compare
// the values of both, bit for bit.
void expectMapsKeepTheirValues(const std::vector<std::string>& maps) {
    std::vector<std::string> command = {kPython, testScript("foreign_gifti.py"), "same-values"};
    for (const std::string& map : maps) {
        const std::string stem = map.substr(0, map.size() - 4);
        const ProcessResult imported = runMeshbridge({"import", map});
        ASSERT_EQ(imported.exitCode, 0) << map << "\n" << imported.out << imported.err;
        runMeshbridgeOk({"export", stem + ".smp", "--binary"});
        command.insert(command.end(), {map, stem + ".func.gii"});
    }
    const ProcessResult compared = runProcess(command);
    EXPECT_EQ(compared.exitCode, 0) << compared.out << compared.err;
}

}  // namespace

TEST(ForeignFiles, SurfacesAndMapsOfFsaverageSizeInEveryEncodingImportExactly) {
    TempDir dir;
    const std::vector<std::string> files = foreignFiles(dir, {"sizes", dir.path().string()});
    ASSERT_EQ(files.size(), 11u);
    std::vector<std::string> maps, surfaces;
    for (const std::string& gii : files) {
        if (gii.ends_with(".map.gii")) {
            maps.push_back(gii);
        } else {
            runMeshbridgeOk({"import", gii});
            surfaces.push_back(gii.substr(0, gii.size() - 4) + ".srf");
        }
    }
    // Every binary encoding and layout of one surface gives the same SRF
    // bytes (nibabel's ASCII keeps six decimals).
    const std::string base64Srf = readFile(dir.file("base64.surf.srf"));
    ASSERT_GT(base64Srf.size(), 163842u * 12);
    for (const std::string& srf : surfaces) {
        if (!srf.ends_with("ascii.surf.srf")) {
            EXPECT_TRUE(readFile(srf) == base64Srf) << srf << " differs from base64.surf.srf";
        }
    }
    // And those bytes are nibabel's coordinates and triangles, to the bit.
    std::filesystem::copy_file(dir.file("ascii.surf.srf"), dir.file("ascii_LH.srf"));
    runMeshbridgeOk({"export", dir.file("ascii_LH.srf"), "--binary"});
    const ProcessResult check = runProcess({kPython, testScript("check_surface_export.py"), dir.file("ascii.surf.gii"),
                                            dir.file("ascii_LH.surf.gii"), "GZipBase64Binary"});
    EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
    expectMapsKeepTheirValues(maps);
}

TEST(ForeignFiles, AsciiInAnyLayoutAndSplitAnywhereReadsAsNibabelReadsIt) {
    TempDir dir;
    const std::vector<std::string> maps = foreignFiles(dir, {"layouts", dir.path().string(), "40", "2026"});
    ASSERT_EQ(maps.size(), 40u);
    expectMapsKeepTheirValues(maps);
}
