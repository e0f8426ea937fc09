#include "fuzz/gifti_differential.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "common/gifti.h"
#include "common/gifti_codecs.h"
#include "fuzz/gifti_digest.h"

extern char** environ;

namespace meshbridge::fuzz {

namespace {

// Refusals the plug-in means to make, by what its reader says (a part of the
// reason); the reference reads such files, with zeros or garbage in place of
// what is missing or damaged, or walks into a structure it only reported.
struct Reason {
    const char* found;
    const char* why;
};
constexpr Reason kIntendedRefusals[] = {
    {"more than the file holds", "Dims that ask for more values than the file's bytes can give"},
    {"ASCII numbers", "ASCII data with fewer or more numbers than its Dims give"},
    {"is not a number", "a word in ASCII data that is no number"},
    {"is not a whole number", "a word in integer ASCII data that is no number of the type"},
    {"ASCII data of type", "ASCII data of a type that has no ASCII form"},
    {"bad base64 chars", "characters outside Base64's alphabet"},
    {"its Base64 data gives", "Base64 data of another size than the Dims give"},
    {"compressed data is damaged", "compressed data that is damaged or cut short"},
    {"uncompressed buf is", "compressed data of another size than the Dims give"},
    {"uncompress fails", "compressed data that does not inflate"},
    {"bad parent", "an element in a parent where it does not belong"},
    {"nested deeper", "elements nested deeper than the reader's stack"},
    {"MatrixData of DataArray", "a transform without its 16 numbers"},
    {"ArrayIndexingOrder", "an indexing order that is neither row- nor column-major"},
    {"has 0 rows", "an array without values"},
    {"holds no values", "an array without values"},
    {"external file", "external data outside the GIFTI file's folder"},
};

// Values the reference reads wrong, by the array's encoding and type and the
// file's text: whether the difference is one of them.
// Whether the text of some Data element holds a character outside Base64's
// alphabet (a blank, a line end).
bool dataTextSkipsCharacters(const std::string& input) {
    for (std::size_t at = input.find("<Data>"); at != std::string::npos; at = input.find("<Data>", at + 1)) {
        const std::size_t end = std::min(input.find("</Data>", at), input.size());
        for (std::size_t i = at + 6; i < end; ++i) {
            const char c = input[i];
            if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '/' || c == '=')) return true;
        }
    }
    return false;
}

bool referenceMisreads(int encoding, int type, const std::string& input) {
    // It looks for external data from the working folder, not the GIFTI
    // file's, and keeps zeros where it finds none.
    if (encoding == GIFTI_ENCODING_EXTBIN) return true;
    // It skips blanks and line ends in Base64 data, but then carries the last
    // characters of a piece to the next from where they would stand had
    // nothing been skipped: the values shift.
    if (encoding == GIFTI_ENCODING_B64BIN || encoding == GIFTI_ENCODING_B64GZ) return dataTextSkipsCharacters(input);
    if (encoding != GIFTI_ENCODING_ASCII) return false;
    // It cannot decode these types from ASCII and keeps zeros (complex64 and
    // complex128 are also read as their pairs here).
    if (type == NIFTI_TYPE_UINT32 || type == NIFTI_TYPE_UINT64 || type == NIFTI_TYPE_COMPLEX64 ||
        type == NIFTI_TYPE_COMPLEX128)
        return true;
    // A piece of text that starts with the start of a number ("-", ".", "in")
    // is taken for the previous number read again: the parser ends pieces at
    // character references and CDATA sections (and at buffer ends, which the
    // reference's one-piece buffer avoids), and so the values shift.
    return input.find('&') != std::string::npos || input.find("CDATA") != std::string::npos;
}

bool intended(const std::string& reason) {
    return std::any_of(std::begin(kIntendedRefusals), std::end(kIntendedRefusals),
                       [&](const Reason& r) { return reason.find(r.found) != std::string::npos; });
}

std::string digestOf(const gifti_image& image) {
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    if (!out) throw std::runtime_error("open_memstream");
    meshbridge_gifti_digest(&image, out);
    std::fclose(out);
    std::string digest(text, size);
    std::free(text);
    return digest;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> all;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) all.push_back(line);
    return all;
}

std::string dataOf(const std::string& line) { return line.substr(line.rfind(" data=") + 6); }
std::string attributesOf(const std::string& line) { return line.substr(0, line.rfind(" data=")); }

struct OurRead {
    GiftiImagePtr image;
    std::string reason;  // why it was refused, or what gifticlib printed
};

OurRead readOurs(const std::string& path) {
    OurRead read;
    std::string problem;
    read.image = readGiftiImage(path, true, &problem);
    read.reason = problem + "\n" + meshbridge_gifti_messages();
    return read;
}

}  // namespace

ReferenceReader::ReferenceReader(const std::string& program) : program_(program) { start(); }

ReferenceReader::~ReferenceReader() { stop(); }

void ReferenceReader::stop() {
    if (to_) std::fclose(to_);
    if (from_) std::fclose(from_);
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
    to_ = from_ = nullptr;
    pid_ = -1;
}

void ReferenceReader::start() {
    std::signal(SIGPIPE, SIG_IGN);  // a reference that crashed is started again, not followed
    const std::string& program = program_;
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    for (int fd : {in[0], in[1], out[0], out[1]}) posix_spawn_file_actions_addclose(&actions, fd);
    std::string serve = "serve";
    char* argv[] = {const_cast<char*>(program.c_str()), serve.data(), nullptr};
    const int spawned = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    if (spawned != 0) throw std::runtime_error("cannot start " + program);
    to_ = fdopen(in[1], "w");
    from_ = fdopen(out[0], "r");
}

std::string ReferenceReader::digest(const std::string& path) {
    std::fprintf(to_, "%s\n", path.c_str());
    std::fflush(to_);
    std::string digest;
    char* line = nullptr;
    std::size_t room = 0;
    ssize_t got;
    while ((got = getline(&line, &room, from_)) > 0) {
        if (std::string(line, static_cast<std::size_t>(got)) == "end\n") break;
        digest.append(line, static_cast<std::size_t>(got));
    }
    std::free(line);
    if (got <= 0) {  // it crashed on this file (some files that crash it are kept in fuzz/regressions)
        restart();
        return "refused\n";
    }
    return digest;
}

std::string referenceProgram(const char* argv0) {
    if (const char* set = std::getenv("MESHBRIDGE_GIFTI_REFERENCE")) return set;
    return (std::filesystem::path(argv0).parent_path() / "gifti_reference").string();
}

std::string ourDigest(const std::string& path) {
    const OurRead ours = readOurs(path);
    if (!ours.image) return "refused: " + ours.reason.substr(0, ours.reason.find('\n')) + "\n";
    return digestOf(*ours.image);
}

namespace {

std::string differenceOnce(const std::string& path, const std::string& input, ReferenceReader& reference) {
    const std::string theirs = reference.digest(path);
    OurRead ours = readOurs(path);
    if (theirs == "refused\n") return {};  // what the reference refuses, the plug-in may read
    if (!ours.image) return intended(ours.reason) ? std::string() : "refused, reference reads it: " + ours.reason;
    const std::vector<std::string> want = lines(theirs), got = lines(digestOf(*ours.image));
    if (want.size() != got.size() || want[0] != got[0]) return "other structure:\n" + theirs + "ours:\n" + got[0];
    for (std::size_t i = 1; i < want.size(); ++i) {
        if (want[i].rfind("array ", 0) != 0) {
            if (want[i] != got[i] && input.find("CDATA") == std::string::npos)  // texts over several CDATA sections
                return "labels differ: " + want[i] + " / " + got[i];
            continue;
        }
        if (attributesOf(want[i]) != attributesOf(got[i])) return "attributes differ: " + want[i] + " / " + got[i];
        if (dataOf(want[i]) == "none" || dataOf(want[i]) == dataOf(got[i])) continue;
        const int index = std::stoi(want[i].substr(6));
        const giiDataArray& array = *ours.image->darray[index];
        if (dataOf(got[i]) == "none") {
            // External data that is missing, cut short or outside the folder:
            // the reference keeps zeros.
            if (array.encoding == GIFTI_ENCODING_EXTBIN) continue;
            const std::string why = arrayReadProblem(array) + "\n" + ours.reason;
            if (intended(why)) continue;
            return "data dropped, reference reads it: " + want[i] + "\n" + why;
        }
        if (!referenceMisreads(array.encoding, array.datatype, input))
            return "values differ: " + want[i] + " / " + got[i];
    }
    return {};
}

}  // namespace

std::string unexplainedDifference(const std::string& path, const std::string& input, ReferenceReader& reference) {
    if (differenceOnce(path, input, reference).empty()) return {};
    reference.restart();
    return differenceOnce(path, input, reference);
}

}  // namespace meshbridge::fuzz
