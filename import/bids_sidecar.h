// The repetition time of a time series from its BIDS sidecar: the JSON file
// beside it named as the file up to its first "." (sub-01_task-rest_hemi-L_
// space-fsaverage5_bold.func.gii -> sub-01_task-rest_hemi-L_space-
// fsaverage5_bold.json), else, as BIDS inherits sidecars, a JSON file in the
// same or a parent folder (up to the dataset's root) whose name holds some of
// the file's entities and its suffix (task-rest_bold.json).
#pragma once

#include <optional>
#include <string>

namespace meshbridge {

struct SidecarRepetitionTime {
    double milliseconds = 0.0;  // whole milliseconds
    std::string text;           // the value as the sidecar writes it, in seconds: "2"
    std::string file;           // the sidecar's name
};

// The "RepetitionTime" of the nearest sidecar of `path` that gives a usable
// one; nullopt when none does.
std::optional<SidecarRepetitionTime> repetitionTimeFromSidecar(const std::string& path);

// The number that the top-level key `key` of the JSON object `json` holds, as
// written; nullopt when the text is no JSON object or the key holds no number.
std::optional<std::string> jsonNumber(const std::string& json, const std::string& key);

}  // namespace meshbridge
