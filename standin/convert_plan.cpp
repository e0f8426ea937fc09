#include "standin/convert_plan.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iomanip>
#include <map>
#include <set>
#include <sstream>

#include "export/surface_naming.h"

namespace meshbridge::standin {

namespace fs = std::filesystem;

namespace {

constexpr int kDeepestFolder = 40;

std::string lowered(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool sameFolder(const fs::path& a, const fs::path& b) {
    std::error_code error;
    return !b.empty() && fs::equivalent(a, b, error);
}

PlannedInput planned(const fs::path& file, const fs::path& outputFolder) {
    PlannedInput input;
    input.path = file.string();
    input.outputFolder = outputFolder.string();
    input.subject = subjectOf(input.path);
    input.hemisphere = getAnatomicalStructurePrimary(file.filename().string());
    return input;
}

// A folder's own name, also for "." and names that end in a separator.
fs::path folderName(const fs::path& folder) {
    fs::path name = folder.filename();
    if (name.empty() || name == "." || name == "..") {
        std::error_code error;
        name = fs::weakly_canonical(fs::absolute(folder, error), error).filename();
    }
    if (name.empty()) name = folder.has_parent_path() ? folder.parent_path().filename() : fs::path("root");
    return name;
}

}  // namespace

std::string subjectOf(const std::string& path) {
    const fs::path folder = fs::path(path).parent_path();
    for (fs::path at = folder; !at.empty() && at.has_filename(); at = at.parent_path()) {
        if (at.filename().string().rfind("sub-", 0) == 0) return at.generic_string();
        if (at == at.parent_path()) break;
    }
    static const std::set<std::string> kDataFolders = {"surf", "label", "mri", "stats", "anat", "func", "fmap", "dwi",
                                                        "xhemi", "xfm"};
    if (kDataFolders.count(folder.filename().string())) return folder.parent_path().generic_string();
    return folder.generic_string();
}

FoundInputs findInputs(const std::vector<std::string>& paths, const std::string& outputRoot) {
    FoundInputs found;
    const fs::path root = outputRoot;
    std::set<fs::path> taken;  // a file given twice (itself, and within a folder given) is converted once
    for (const std::string& given : paths) {
        std::error_code error;
        const fs::path path = given;
        const fs::file_status status = fs::status(path, error);
        std::vector<std::pair<fs::path, fs::path>> files;  // each file and its output folder
        if (fs::is_directory(status)) {
            const fs::path base = root.empty() ? fs::path() : root / folderName(path);
            // Links to folders are followed (FreeSurfer's fsaverage is often
            // one), each folder walked once, so that a loop ends.
            std::set<fs::path> walked{fs::weakly_canonical(path, error)};
            fs::recursive_directory_iterator walk(
                path, fs::directory_options::skip_permission_denied | fs::directory_options::follow_directory_symlink,
                error);
            for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
                const fs::directory_entry& entry = *walk;
                std::error_code entryError;
                if (entry.is_directory(entryError)) {
                    const bool fresh = walked.insert(fs::weakly_canonical(entry.path(), entryError)).second;
                    // Deeper than any study, a loop the canonical paths did not show.
                    if (!fresh || walk.depth() >= kDeepestFolder || sameFolder(entry.path(), root))
                        walk.disable_recursion_pending();
                    continue;
                }
                if (!entry.is_regular_file(entryError)) continue;
                const fs::path relative = entry.path().lexically_relative(path).parent_path();
                files.emplace_back(entry.path(), base.empty() ? fs::path() : (base / relative).lexically_normal());
            }
            std::sort(files.begin(), files.end());
        } else if (fs::is_regular_file(status)) {
            files.emplace_back(path, root);
        } else {
            found.missing.push_back(given);
            continue;
        }
        for (const auto& [file, folder] : files) {
            std::error_code canonicalError;
            if (!taken.insert(fs::weakly_canonical(file, canonicalError)).second) continue;
            PlannedInput input = planned(file, folder);
            input.recognised = recogniseInput(input.path);
            if (input.recognised.kind == InputKind::None) {
                ++found.unrecognised;
                continue;
            }
            found.inputs.push_back(std::move(input));
        }
    }
    return found;
}

std::vector<PlannedInput> shareOf(std::vector<PlannedInput> inputs, int index, int count) {
    if (count <= 1) return inputs;
    std::set<std::string> subjects;
    for (const PlannedInput& input : inputs) subjects.insert(input.subject);
    std::map<std::string, int> shareOfSubject;
    int turn = 0;
    for (const std::string& subject : subjects) shareOfSubject[subject] = turn++ % count + 1;
    std::erase_if(inputs, [&](const PlannedInput& input) { return shareOfSubject[input.subject] != index; });
    return inputs;
}

bool namedAfterShapeValues(const std::string& path) {
    const std::string name = lowered(fs::path(path).filename().string());
    std::string word;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        if (i < name.size() && std::isalnum(static_cast<unsigned char>(name[i]))) {
            word += name[i];
            continue;
        }
        const bool endsInThickness = word.size() >= 9 && word.compare(word.size() - 9, 9, "thickness") == 0;
        if (endsInThickness || word == "curv" || word == "curvature" || word == "sulc" || word == "area" ||
            word == "volume")
            return true;
        word.clear();
    }
    return false;
}

std::optional<ConvertedSurface> pairedSurface(const PlannedInput& input, const std::vector<ConvertedSurface>& surfaces) {
    const auto rank = [](const ConvertedSurface& surface) {
        const std::string name = lowered(fs::path(surface.source).filename().string());
        if (name.find("white") != std::string::npos) return 0;
        if (name.find("midthickness") != std::string::npos) return 1;
        if (name.find("pial") != std::string::npos) return 2;
        return 3;
    };
    std::optional<ConvertedSurface> best;
    for (const ConvertedSurface& surface : surfaces) {
        if (surface.subject != input.subject || surface.hemisphere != input.hemisphere) continue;
        if (input.recognised.vertices >= 0 && surface.vertices != input.recognised.vertices) continue;
        if (!best || rank(surface) < rank(*best) || (rank(surface) == rank(*best) && surface.source < best->source))
            best = surface;
    }
    return best;
}

const char* statusName(Status status) {
    switch (status) {
        case Status::Converted: return "converted";
        case Status::Refused: return "refused";
        case Status::LeftOut: return "left out";
    }
    return "";
}

namespace {

// The messages that begin with `marker` in the standard error of a run; a
// message runs to the next line of the stand-in's own.
std::vector<std::string> messagesAfter(const std::string& errors, const std::string& marker) {
    std::vector<std::string> found;
    for (std::size_t at = errors.find(marker); at != std::string::npos; at = errors.find(marker, at + 1)) {
        const std::size_t start = at + marker.size();
        std::size_t end = errors.find("\nmeshbridge: ", start);
        if (end == std::string::npos) end = errors.size();
        std::string text = errors.substr(start, end - start);
        while (!text.empty() && text.back() == '\n') text.pop_back();
        std::replace(text.begin(), text.end(), '\n', ' ');
        found.push_back(text);
    }
    return found;
}

std::string reasonForQuestion(const std::string& question) {
    if (question.rfind("Which values does ", 0) == 0)
        return "what its values are (t, r, F, z or shape) is not told by the file or its name: give --map-type";
    if (question.find("degrees of freedom") != std::string::npos)
        return "its maps' degrees of freedom are not told by the file: give --dof";
    if (question.find("repetition time") != std::string::npos)
        return "neither the file nor a BIDS sidecar gives its repetition time: give --tr";
    return "the question \"" + question + "\" was not answered";
}

std::string fieldText(std::string text) {
    for (char& c : text)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return text;
}

}  // namespace

Outcome outcomeOfImport(int exitStatus, const std::string& log, const std::string& errors) {
    Outcome outcome;
    std::istringstream lines(log);
    bool next = false;
    for (std::string line; std::getline(lines, line);) {
        if (next && !line.empty()) outcome.outputs.push_back(line);
        next = line.size() > 10 && line.compare(line.size() - 10, 10, " saved as:") == 0;
    }
    if (exitStatus == 0) {
        outcome.status = Status::Converted;
        return outcome;
    }
    for (const std::string& question : messagesAfter(errors, "meshbridge: question \"")) {
        // A question no answer was given for: a yes/no question goes on as no, others cancel.
        const std::string cancelled = "\": cancelled (no answer given)";
        const std::size_t end = question.size() >= cancelled.size() ? question.size() - cancelled.size() : 0;
        if (question.compare(end, std::string::npos, cancelled) != 0) continue;
        outcome.status = Status::LeftOut;
        outcome.reason = reasonForQuestion(question.substr(0, end));
        return outcome;
    }
    outcome.status = Status::Refused;
    if (exitStatus >= 128) {
        outcome.reason = "the import ended abnormally (status " + std::to_string(exitStatus) + ")";
    } else if (exitStatus == 2 && log.empty()) {  // the stand-in refused what it was given: its first line says why
        outcome.reason = errors.substr(0, errors.find('\n'));
        if (outcome.reason.rfind("meshbridge: ", 0) == 0) outcome.reason.erase(0, 12);
    } else if (const auto boxes = messagesAfter(errors, "meshbridge: [message box] "); !boxes.empty()) {
        outcome.reason = boxes.front();
    } else {
        std::istringstream all(log.empty() ? errors : log);
        for (std::string line; std::getline(all, line);)
            if (!line.empty()) outcome.reason = line;
    }
    return outcome;
}

std::string reportRow(const std::string& path, const std::string& kind, const Outcome& outcome, double seconds) {
    std::string outputs;
    for (const std::string& output : outcome.outputs) outputs += (outputs.empty() ? "" : ";") + output;
    std::ostringstream time;
    time << std::fixed << std::setprecision(2) << seconds;
    return fieldText(path) + "\t" + fieldText(kind) + "\t" + fieldText(outputs) + "\t" + statusName(outcome.status) +
           "\t" + fieldText(outcome.reason) + "\t" + time.str();
}

std::vector<EarlierConversion> convertedInReport(const std::string& reportText) {
    std::vector<EarlierConversion> converted;
    std::istringstream lines(reportText);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::size_t start = 0;
        for (std::size_t tab = line.find('\t'); tab != std::string::npos; tab = line.find('\t', start)) {
            fields.push_back(line.substr(start, tab - start));
            start = tab + 1;
        }
        fields.push_back(line.substr(start));
        if (fields.size() != 6 || fields[3] != "converted") continue;
        EarlierConversion row{fields[0], fields[1], {}};
        std::istringstream outputs(fields[2]);
        for (std::string output; std::getline(outputs, output, ';');)
            if (!output.empty()) row.outputs.push_back(output);
        converted.push_back(std::move(row));
    }
    return converted;
}

}  // namespace meshbridge::standin
