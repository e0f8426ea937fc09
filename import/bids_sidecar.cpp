#include "import/bids_sidecar.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "common/binary_io.h"
#include "common/replace_extension.h"

namespace meshbridge {

namespace {

// A sidecar is a few kilobytes; a bigger file is not read whole.
constexpr std::int64_t kMostSidecarBytes = 1 << 20;
// Folders searched: the file's own and its parents, up to the dataset's root.
constexpr int kMostFolders = 4;
// Entities whose subsets are tried as inherited sidecars' names.
constexpr std::size_t kMostEntities = 8;

// A small JSON scanner: values are checked and passed over; only a top-level
// key's number is taken.
class JsonScanner {
public:
    explicit JsonScanner(const std::string& text) : text_(text) {}

    std::optional<std::string> numberOf(const std::string& key) {
        std::optional<std::string> found;
        skipBlanks();
        if (!take('{')) return std::nullopt;
        skipBlanks();
        if (take('}')) return std::nullopt;
        while (true) {
            std::string name;
            skipBlanks();
            if (!string(&name)) return std::nullopt;
            skipBlanks();
            if (!take(':')) return std::nullopt;
            skipBlanks();
            const std::size_t start = at_;
            const bool isNumber = at_ < text_.size() && (text_[at_] == '-' || (text_[at_] >= '0' && text_[at_] <= '9'));
            if (!value(0)) return std::nullopt;
            if (name == key) found = isNumber ? std::optional(text_.substr(start, at_ - start)) : std::nullopt;
            skipBlanks();
            if (take('}')) return found;
            if (!take(',')) return std::nullopt;
        }
    }

private:
    void skipBlanks() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r'))
            ++at_;
    }
    bool take(char c) {
        if (at_ >= text_.size() || text_[at_] != c) return false;
        ++at_;
        return true;
    }
    bool string(std::string* out) {
        if (!take('"')) return false;
        while (at_ < text_.size()) {
            const char c = text_[at_++];
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20) return false;
            if (c == '\\') {
                if (at_ >= text_.size()) return false;
                const char escaped = text_[at_++];
                if (out) *out += escaped == 'n' ? '\n' : escaped == 't' ? '\t' : escaped;
                if (escaped == 'u') {
                    if (text_.size() - at_ < 4) return false;
                    at_ += 4;
                }
                continue;
            }
            if (out) *out += c;
        }
        return false;
    }
    bool number() {
        const char* start = text_.c_str() + at_;
        char* end = nullptr;
        std::strtod(start, &end);
        if (end == start) return false;
        at_ += static_cast<std::size_t>(end - start);
        return true;
    }
    bool literal(const char* word) {
        const std::string w(word);
        if (at_ > text_.size() || text_.compare(at_, w.size(), w) != 0) return false;
        at_ += w.size();
        return true;
    }
    bool value(int depth) {
        if (depth > 64 || at_ >= text_.size()) return false;
        const char c = text_[at_];
        if (c == '"') return string(nullptr);
        if (c == '{' || c == '[') {
            const char close = c == '{' ? '}' : ']';
            ++at_;
            skipBlanks();
            if (take(close)) return true;
            while (true) {
                skipBlanks();
                if (c == '{') {
                    if (!string(nullptr)) return false;
                    skipBlanks();
                    if (!take(':')) return false;
                    skipBlanks();
                }
                if (!value(depth + 1)) return false;
                skipBlanks();
                if (take(close)) return true;
                if (!take(',')) return false;
            }
        }
        if (c == 't') return literal("true");
        if (c == 'f') return literal("false");
        if (c == 'n') return literal("null");
        return number();
    }

    const std::string& text_;
    std::size_t at_ = 0;
};

std::optional<std::string> fileText(const std::string& path) {
    FilePtr file = openFile(path, "rb");
    const std::int64_t size = file ? bytesLeftInFile(file.get()) : -1;
    if (size < 0 || size > kMostSidecarBytes) return std::nullopt;
    std::string text(static_cast<std::size_t>(size), '\0');
    if (std::fread(text.data(), 1, text.size(), file.get()) != text.size()) return std::nullopt;
    return text;
}

std::optional<SidecarRepetitionTime> repetitionTimeIn(const std::string& folder, const std::string& name) {
    const std::optional<std::string> text = fileText(folder + name);
    if (!text) return std::nullopt;
    const std::optional<std::string> number = jsonNumber(*text, "RepetitionTime");
    if (!number) return std::nullopt;
    const double milliseconds = std::round(std::strtod(number->c_str(), nullptr) * 1000.0);
    if (!(milliseconds >= 1.0 && milliseconds < 2.0e9)) return std::nullopt;
    return SidecarRepetitionTime{milliseconds, *number, name};
}

bool fileExists(const std::string& path) { return openFile(path, "rb") != nullptr; }

}  // namespace

std::optional<std::string> jsonNumber(const std::string& json, const std::string& key) {
    return JsonScanner(json).numberOf(key);
}

std::optional<SidecarRepetitionTime> repetitionTimeFromSidecar(const std::string& path) {
    const std::string name = lastPathComponent(path);
    std::string folder = path.substr(0, path.size() - name.size());
    const std::string stem = name.substr(0, name.find('.'));
    if (stem.empty()) return std::nullopt;
    // The name's parts: entities ("sub-01", "task-rest") and its suffix ("bold").
    std::vector<std::string> entities;
    std::string suffix;
    for (std::size_t at = 0; at <= stem.size();) {
        const std::size_t end = std::min(stem.find('_', at), stem.size());
        const std::string part = stem.substr(at, end - at);
        if (end == stem.size() && part.find('-') == std::string::npos) {
            suffix = part;
        } else if (part.find('-') != std::string::npos) {
            entities.push_back(part);
        }
        at = end + 1;
    }
    if (auto own = repetitionTimeIn(folder, stem + ".json")) return own;
    if (suffix.empty() || entities.size() > kMostEntities) return std::nullopt;
    // Inherited sidecars: the entities' subsets in their order, the most
    // specific first, in this folder and then in each parent.
    std::vector<std::vector<std::string>> subsets;
    const std::size_t count = entities.size();
    for (std::size_t mask = 0; mask < (std::size_t{1} << count); ++mask) {
        std::vector<std::string> subset;
        for (std::size_t e = 0; e < count; ++e)
            if (mask & (std::size_t{1} << e)) subset.push_back(entities[e]);
        subsets.push_back(std::move(subset));
    }
    std::stable_sort(subsets.begin(), subsets.end(),
                     [](const auto& a, const auto& b) { return a.size() > b.size(); });
    for (int level = 0; level < kMostFolders; ++level) {
        for (const auto& subset : subsets) {
            std::string candidate;
            for (const std::string& entity : subset) candidate += entity + "_";
            candidate += suffix + ".json";
            if (auto inherited = repetitionTimeIn(folder, candidate)) return inherited;
        }
        if (fileExists(folder + "dataset_description.json") || folder.empty()) break;
        // Up one folder: drop the last component (and its separator).
        const std::string withoutSeparator = folder.substr(0, folder.size() - 1);
        const std::string last = lastPathComponent(withoutSeparator);
        if (last.empty() || last == "." || last == "..") break;
        folder = withoutSeparator.substr(0, withoutSeparator.size() - last.size());
    }
    return std::nullopt;
}

}  // namespace meshbridge
