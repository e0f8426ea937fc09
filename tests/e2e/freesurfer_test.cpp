// FreeSurfer's own files, as nibabel writes them, straight into the host's
// files; their GIFTI exports hold what nibabel reads in the originals.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <tuple>

#include "tests/e2e/process.h"
#include "tests/support/temp_dir.h"

using ::testing::HasSubstr;
using namespace meshbridge::test;

namespace {

void makeFreeSurferFiles(const TempDir& dir, const std::string& level) {
    const ProcessResult made =
        runProcess({kPython, testScript("freesurfer_files.py"), "make", dir.path().string(), level});
    ASSERT_EQ(made.exitCode, 0) << made.err;
}

}  // namespace

TEST(FreeSurferFiles, ImportUnderTheirOwnNamesAndExportWithNibabelsValues) {
    TempDir dir;
    makeFreeSurferFiles(dir, "7");  // 163 842 vertices, as fsaverage
    ProcessResult result = runMeshbridgeOk({"import", dir.file("lh.white")});
    EXPECT_THAT(result.out, HasSubstr("SRF saved as:\n" + dir.file("lh.white.srf") + "\n"));
    EXPECT_THAT(result.out, HasSubstr("FreeSurfer surface successfully imported.\n"));
    result = runMeshbridgeOk({"import", dir.file("lh.thickness"), "--answer", "yes"});
    EXPECT_THAT(result.err, HasSubstr("question \"lh.thickness holds shape values Is this a Cortical Thickness (Yes) "
                                      "or Curvature (No) map\": yes"));
    EXPECT_THAT(result.out, HasSubstr("SMP saved as:\n" + dir.file("lh.thickness.smp") + "\n"));
    runMeshbridgeOk({"import", dir.file("lh.curv"), "--answer", "no", "--answer", "0"});
    // The overlay's values are what the user says: z scores need no more answers.
    result = runMeshbridgeOk({"import", dir.file("lh.sig.mgz"), "--answer", "4"});
    EXPECT_THAT(result.err, HasSubstr("Which values does lh.sig.mgz hold? 1: t statistic"));
    EXPECT_THAT(result.out, HasSubstr("SMP saved as:\n" + dir.file("lh.sig.smp") + "\n"));
    for (const char* overlay : {"lh.stack.mgh", "lh.ints.mgz", "lh.bytes.mgh"})
        runMeshbridgeOk({"import", dir.file(overlay), "--answer", "4"});
    result = runMeshbridgeOk({"import", dir.file("lh.aparc.annot")});
    EXPECT_THAT(result.out, HasSubstr("POI saved as:\n" + dir.file("lh.aparc.poi") + "\n"));
    EXPECT_THAT(result.out, HasSubstr("vertices of " + dir.file("lh.aparc.annot") +
                                      " carry a value that its colour table does not hold: they form the patch \"???\"."));
    runMeshbridgeOk({"import", dir.file("rh.aparc.annot")});
    result = runMeshbridgeOk({"import", dir.file("lh.V1.label"), "--surface", dir.file("lh.white.srf")});
    EXPECT_THAT(result.out, HasSubstr("POI saved as:\n" + dir.file("lh.V1.poi") + "\n"));
    result = runMeshbridgeOk(
        {"import", dir.file("lh.run.mgh"), "--as-time-course", "--surface", dir.file("lh.white.srf")});
    EXPECT_THAT(result.out, HasSubstr("TR 1500 ms from the TR of the MGH header.\n"));

    runMeshbridgeOk({"export", dir.file("lh.white.srf")});
    for (const char* maps :
         {"lh.thickness.smp", "lh.curv.smp", "lh.sig.smp", "lh.stack.smp", "lh.ints.smp", "lh.bytes.smp"})
        runMeshbridgeOk({"export", dir.file(maps), "--binary"});
    for (const char* patches : {"lh.aparc.poi", "rh.aparc.poi"})
        runMeshbridgeOk({"export", dir.file(patches), "--labels-per-vertex"});
    runMeshbridgeOk({"export", dir.file("lh.run.mtc")});
    const ProcessResult check = runProcess({kPython, testScript("freesurfer_files.py"), "check", dir.path().string()});
    EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
}

TEST(FreeSurferFiles, ExportsGoBackAsNibabelReadsThemAndNeverReplaceTheUsersFiles) {
    TempDir dir;
    makeFreeSurferFiles(dir, "7");  // 163 842 vertices, as fsaverage
    runMeshbridgeOk({"import", dir.file("lh.white")});
    runMeshbridgeOk({"import", dir.file("lh.sig.mgz"), "--answer", "4"});
    runMeshbridgeOk({"import", dir.file("lh.run.mgh"), "--as-time-course", "--surface", dir.file("lh.white.srf")});
    runMeshbridgeOk({"import", dir.file("lh.aparc.annot")});

    // Beside the originals, the round trip would replace them: it does not.
    for (const auto& [source, target, kind] :
         {std::tuple{"lh.white.srf", "lh.white", "SRF"}, std::tuple{"lh.sig.smp", "lh.sig.mgz", "SMP"},
          std::tuple{"lh.aparc.poi", "lh.aparc.annot", "POI"}}) {
        const std::string before = readFile(dir.file(target));
        const ProcessResult refused = runMeshbridge({"export", "--freesurfer", dir.file(source)});
        EXPECT_EQ(refused.exitCode, 1);
        EXPECT_THAT(refused.out, HasSubstr(dir.file(target) + " exists and was not written by Meshbridge: it is left "
                                           "as it is; rename the " + kind + " or remove the file to export.\n"));
        EXPECT_EQ(readFile(dir.file(target)), before);
    }

    // In a folder of their own they go out, and nibabel reads the originals' values in them.
    const std::string out = dir.file("out");
    std::filesystem::create_directory(out);
    const char* sources[] = {"lh.white.srf", "lh.sig.smp", "lh.run.mtc", "lh.aparc.poi"};
    for (const char* source : sources) {
        std::filesystem::copy_file(dir.file(source), out + "/" + source);
        const ProcessResult result = runMeshbridgeOk({"export", "--freesurfer", out + "/" + source});
        EXPECT_THAT(result.out, HasSubstr("Exported to FreeSurfer format, name:\n "));
    }
    const ProcessResult check =
        runProcess({kPython, testScript("freesurfer_files.py"), "check-export", dir.path().string(), out});
    EXPECT_EQ(check.exitCode, 0) << check.out << check.err;

    // Imported again, each gives back its source.
    std::map<std::string, std::string> sourceBytes;
    for (const char* source : sources) sourceBytes[source] = readFile(out + "/" + source);
    runMeshbridgeOk({"import", out + "/lh.white"});
    EXPECT_EQ(readFile(out + "/lh.white.srf"), sourceBytes["lh.white.srf"]);
    runMeshbridgeOk({"import", out + "/lh.sig.mgz", "--answer", "4"});
    EXPECT_EQ(readFile(out + "/lh.sig.smp"), sourceBytes["lh.sig.smp"]);
    runMeshbridgeOk({"import", out + "/lh.run.mgz", "--as-time-course", "--surface", out + "/lh.white.srf"});
    EXPECT_EQ(readFile(out + "/lh.run.mtc"), sourceBytes["lh.run.mtc"]);
    std::filesystem::rename(out + "/lh.aparc.poi", out + "/source.poi");
    runMeshbridgeOk({"import", out + "/lh.aparc.annot"});
    const ProcessResult patches = runProcess({kPython, testScript("freesurfer_files.py"), "same-patches",
                                              out + "/source.poi", out + "/lh.aparc.poi"});
    EXPECT_EQ(patches.exitCode, 0) << patches.out << patches.err;

    // Its own files it replaces.
    const ProcessResult replaced = runMeshbridgeOk({"export", "--freesurfer", out + "/lh.white.srf"});
    EXPECT_THAT(replaced.out, HasSubstr(out + "/lh.white was written by Meshbridge: it is replaced.\n"));
}

TEST(FreeSurferFiles, DamagedFilesAreRefusedWithTheirReasonAndNothingWritten) {
    TempDir dir;
    makeFreeSurferFiles(dir, "2");  // 162 vertices
    const auto cut = [&](const char* name, std::size_t keep, const char* as) {
        const std::string bytes = readFile(dir.file(name));
        writeFile(dir.file(as), bytes.substr(0, std::min(keep, bytes.size())));
    };
    cut("lh.white", 300, "lh.short");          // within the coordinates
    cut("lh.aparc.annot", 1000, "lh.cut.annot");  // within the vertex pairs
    cut("lh.stack.mgh", 1000, "lh.cut.mgh");      // within the values
    std::string faces = readFile(dir.file("lh.white"));
    // The last face's last corner: vertex 162 of 162.
    const std::size_t lastCorner = faces.find("\n\n") + 2 + 8 + 162 * 12 + 320 * 12 - 4;
    faces.replace(lastCorner, 4, std::string("\0\0\0\xa2", 4));
    writeFile(dir.file("lh.badface"), faces);
    std::string type = readFile(dir.file("lh.stack.mgh"));
    type[23] = 7;  // no MGH data type: still judged as MGH by its name and version
    writeFile(dir.file("lh.type.mgh"), type);
    std::string checksum = readFile(dir.file("lh.sig.mgz"));
    checksum[checksum.size() - 6] ^= 1;  // the gzip trailer's CRC
    writeFile(dir.file("lh.crc.mgz"), checksum);
    writeFile(dir.file("lh.bad.label"), "#!ascii label\n3\n1 0 0 0 0\n-1 0 0 0 0\n2 0 0 0 0\n");
    writeFile(dir.file("lh.many.label"), "#!ascii label\n2000000000\n1 0 0 0 0\n");

    const std::pair<const char*, const char*> cases[] = {
        {"lh.short", "The FreeSurfer surface in %s cannot be imported: the file ends at byte 300, within the coordinates"},
        {"lh.badface", "cannot be imported: face 319 uses the vertex index 162, outside 0 to 161."},
        {"lh.cut.annot", "The FreeSurfer annotation in %s cannot be imported: the file ends at byte 1000, within the "
                         "vertex and value pairs"},
        {"lh.cut.mgh", "The MGH overlay in %s cannot be imported: the file ends at byte 1000, within the values"},
        {"lh.type.mgh", "The MGH overlay in %s cannot be imported: its data type 7 is none of uchar (0), int (1), "
                        "float (3) or short (4)."},
        {"lh.crc.mgz", "cannot be imported: its compressed data are damaged (their checksum is wrong)."},
        {"lh.bad.label", "cannot be imported: its vertex line 2 names the vertex -1: a label of the volume"},
        {"lh.many.label", "cannot be imported: it claims 2000000000 vertices, more lines than its"},
    };
    for (const auto& [name, message] : cases) {
        const ProcessResult result = runMeshbridge({"import", dir.file(name), "--answer", "4"});
        EXPECT_EQ(result.exitCode, 1) << name << "\n" << result.out << result.err;
        std::string expected = message;
        if (const std::size_t at = expected.find("%s"); at != std::string::npos) expected.replace(at, 2, dir.file(name));
        EXPECT_THAT(result.err, HasSubstr(expected)) << name;
    }
    for (const char* written : {"lh.short.srf", "lh.badface.srf", "lh.cut.poi", "lh.cut.smp", "lh.crc.smp", "lh.type.smp", "lh.bad.poi",
                                "lh.many.poi"})
        EXPECT_FALSE(std::filesystem::exists(dir.file(written))) << written;
}

TEST(FreeSurferFiles, AFolderOrAFifoNamedLikeAFileIsRefusedAtOnceWithWhatItIs) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("lh.aparc.annot"));
    ProcessResult result = runMeshbridge({"import", dir.file("lh.aparc.annot")});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_THAT(result.out, HasSubstr("The FreeSurfer annotation in " + dir.file("lh.aparc.annot") +
                                      " cannot be imported: it is a folder.\n"));
    if (testingWindowsBuild()) return;  // FIFOs are the POSIX build's
    // A FIFO without a writer: every reader would wait for one.
    for (const char* name : {"lh.white", "x.gii", "x.dscalar.nii", "lh.sig.mgz"}) {
        ASSERT_EQ(runProcess({"mkfifo", dir.file(name)}).exitCode, 0);
        result = runMeshbridge({"import", dir.file(name), "--answer", "4"});
        EXPECT_EQ(result.exitCode, 1) << name;
        EXPECT_THAT(result.out, HasSubstr("not a regular file")) << name;
    }
    ASSERT_EQ(runProcess({"mkfifo", dir.file("lh.srf")}).exitCode, 0);
    result = runMeshbridge({"export", dir.file("lh.srf")});
    EXPECT_THAT(result.out, HasSubstr(dir.file("lh.srf") + " is not a regular file, so not an SRF file.\n"));
}

TEST(FreeSurferFiles, AnOverlayBeyondTheMemoryThatCanBeHadIsRefusedNotFatal) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's shadow memory does not start under an address-space limit";
#endif
    if (testingWindowsBuild()) GTEST_SKIP() << "the limit is set with Linux's prlimit";
    TempDir dir;
    // 3 x 10^8 floats: a few MB compressed, 1.2 GB inflated, under a limit of 1 GB.
    const ProcessResult made = runProcess(
        {kPython, "-c",
         "import gzip, struct, sys\n"
         "with gzip.open(sys.argv[1], 'wb', compresslevel=1) as out:\n"
         "    out.write(struct.pack('>7i', 1, 300000000, 1, 1, 1, 3, 0) + bytes(284 - 28))\n"
         "    block = bytes(1 << 24)\n"
         "    for _ in range(1200000000 // len(block)): out.write(block)\n"
         "    out.write(bytes(1200000000 % len(block)))\n",
         dir.file("lh.huge.mgz")});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    const ProcessResult result = runProcess({"prlimit", "--as=1000000000", MESHBRIDGE_BINARY_DIR "/meshbridge", "import",
                                             dir.file("lh.huge.mgz"), "--answer", "4"});
    EXPECT_EQ(result.exitCode, 1) << result.out << result.err;
    EXPECT_THAT(result.out, HasSubstr("The MGZ overlay in " + dir.file("lh.huge.mgz") +
                                      " cannot be imported: its values do not fit in the memory that can be had."));
    EXPECT_FALSE(std::filesystem::exists(dir.file("lh.huge.smp")));
}

TEST(FreeSurferFiles, QuadrangleSurfacesOfBothFormatsImportSplitAsNibabelSplitsThem) {
    TempDir dir;
    // A cube of 8 vertices and 6 quadrangles, in the old format (hundredths,
    // magic 0xFFFFFF, the new morphometry files' magic) and the newer (floats).
    const std::string make =
        "import struct, sys\n"
        "xyz = [(x, y, z) for x in (-1.25, 1.25) for y in (-1, 1) for z in (-1, 1.5)]\n"
        "quads = [(0, 1, 3, 2), (4, 6, 7, 5), (0, 4, 5, 1), (2, 3, 7, 6), (0, 2, 6, 4), (1, 5, 7, 3)]\n"
        "three = lambda n: n.to_bytes(3, 'big')\n"
        "for name, magic, coords in (('lh.quad', 0xFFFFFF, b''.join(struct.pack('>3h', *(round(c * 100) for c in p)) for p in xyz)),\n"
        "                            ('lh.quad4', 0xFFFFFD, b''.join(struct.pack('>3f', *p) for p in xyz))):\n"
        "    with open(sys.argv[1] + '/' + name, 'wb') as out:\n"
        "        out.write(three(magic) + three(len(xyz)) + three(len(quads)) + coords)\n"
        "        out.write(b''.join(three(c) for q in quads for c in q))\n";
    ASSERT_EQ(runProcess({kPython, "-c", make, dir.path().string()}).exitCode, 0);
    for (const char* name : {"lh.quad", "lh.quad4"}) {
        const ProcessResult result = runMeshbridgeOk({"import", dir.file(name)});
        EXPECT_THAT(result.out, HasSubstr("8 vertices, 6 quadrangles, each split into two triangles\n"));
        runMeshbridgeOk({"export", dir.file(std::string(name) + ".srf")});
        const ProcessResult check = runProcess(
            {kPython, "-c",
             "import nibabel, numpy, sys\n"
             "xyz, faces = nibabel.freesurfer.read_geometry(sys.argv[1])\n"
             "ours = nibabel.load(sys.argv[2])\n"
             "print(numpy.array_equal(ours.darrays[0].data, xyz.astype(numpy.float32)),"
             " numpy.array_equal(ours.darrays[1].data, faces))\n",
             dir.file(name), dir.file(std::string(name) + ".surf.gii")});
        EXPECT_EQ(check.out, "True True\n") << name << check.err;
    }
}
