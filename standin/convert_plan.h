// What a convert run does with the files it finds: where each one's results
// go, which subject it belongs to, which share of a sharded run takes it,
// which surface a file that needs a mesh is paired with, and what one
// conversion's output says about how it went. No process is started here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "standin/input_kinds.h"

namespace meshbridge::standin {

struct PlannedInput {
    std::string path;          // as found: the PATH given, or a file below it
    std::string outputFolder;  // where its results go; empty: beside it
    Recognised recognised;
    std::string subject;       // the files of one subject share this key
    std::string hemisphere;    // "CortexLeft", "CortexRight" or "Unknown", from the name
};

struct FoundInputs {
    std::vector<PlannedInput> inputs;  // recognised files, in a stable order
    std::int64_t unrecognised = 0;     // files skipped as no import's
    std::vector<std::string> missing;  // PATHs that do not exist
};

// Every file below the folders (and every file) of `paths`, with its results
// placed under `outputRoot` in the shape of the folders (a folder's results
// under its own name there), or beside it where `outputRoot` is empty. The
// output root itself is not walked.
FoundInputs findInputs(const std::vector<std::string>& paths, const std::string& outputRoot);

// The subject a file belongs to: its nearest folder named "sub-*", else the
// folder above a FreeSurfer or BIDS folder (surf, label, mri, anat, func, ...),
// else its own folder.
std::string subjectOf(const std::string& path);

// The inputs of share `index` (1 to `count`): whole subjects, dealt in turn
// in the order of their keys, so that files and the surfaces they are paired
// with stay in one share.
std::vector<PlannedInput> shareOf(std::vector<PlannedInput> inputs, int index, int count);

// How a file is named after the values it holds: thickness, curv, sulc, area
// or volume as a word of its name makes shape values.
bool namedAfterShapeValues(const std::string& path);

struct ConvertedSurface {
    std::string source;  // the surface file
    std::string srf;     // its SRF
    std::int64_t vertices;
    std::string subject, hemisphere;
};

// The surface a file that needs a mesh goes with: of its subject and
// hemisphere, with its vertex count where the file names one; white before
// midthickness before pial before any other, then in path order.
std::optional<ConvertedSurface> pairedSurface(const PlannedInput& input, const std::vector<ConvertedSurface>& surfaces);

enum class Status { Converted, Refused, LeftOut };
const char* statusName(Status status);  // "converted", "refused", "left out"

struct Outcome {
    Status status = Status::Refused;
    std::vector<std::string> outputs;
    std::string reason;
};

// What one import run says: its exit status, standard output (the log) and
// standard error (questions, dialogs, messages).
Outcome outcomeOfImport(int exitStatus, const std::string& log, const std::string& errors);

// One row of the report: path, kind, outputs (separated by ";"), status,
// reason and seconds, tab-separated; tabs and line ends in fields become
// spaces.
std::string reportRow(const std::string& path, const std::string& kind, const Outcome& outcome, double seconds);
inline constexpr const char* kReportHeader = "path\tkind\toutputs\tstatus\treason\tseconds";

// The rows of an earlier report whose inputs were converted, by path.
struct EarlierConversion {
    std::string path, kind;
    std::vector<std::string> outputs;
};
std::vector<EarlierConversion> convertedInReport(const std::string& reportText);

}  // namespace meshbridge::standin
