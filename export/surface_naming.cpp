#include "export/surface_naming.h"

#include <algorithm>
#include <cctype>
#include <span>

#include "common/replace_extension.h"

namespace meshbridge {

namespace {

struct Tag {
    const char* key;
    const char* value;
};

// Tables in ascending byte order of their keys.
constexpr Tag kPrimary[] = {
    {"_HEAD", "Head"}, {"_LH", "CortexLeft"}, {"_RH", "CortexRight"}, {"_RHLH", "CortexRightAndLeft"}};
constexpr Tag kSecondary[] = {{"_GM", "Pial"}, {"_WM", "GrayWhite"}};
constexpr Tag kGeometric[] = {
    {"_FLAT", "Flat"},       {"_INFL1000", "Inflated"},     {"_INFL1500", "VeryInflated"},
    {"_INFL500", "Inflated"}, {"_INFL_", "Inflated"},        {"_RECO", "Reconstruction"},
    {"_RECOSM", "Reconstruction"}, {"_SPH", "Spherical"},   {"_SPHERE", "Spherical"}};
constexpr Tag kTopological[] = {{"_FLAT", "FLAT"}};

// Other tools' naming, read only where the tags above tell nothing:
//  - FreeSurfer: "lh." or "rh." starting the file's name or a part of it
//    after "_", "-" or ".", then the surface ("lh.white", "sub01_lh.white.srf");
//  - BIDS: the part "hemi-L" or "hemi-R", and the surface as the name's last
//    part ("sub-01_hemi-L_white.srf");
//  - Workbench: ".L." or ".R." and the surface between dots
//    ("100307.L.midthickness.32k_fs_LR.surf.gii").
constexpr Tag kWorkbenchPrimary[] = {{".L.", "CortexLeft"}, {".R.", "CortexRight"}};
constexpr Tag kFreeSurferSecondary[] = {{"white", "GrayWhite"}, {"pial", "Pial"}, {"midthickness", "MidThickness"}};
constexpr Tag kFreeSurferGeometric[] = {{"white", "Anatomical"},    {"pial", "Anatomical"},     {"orig", "Anatomical"},
                                        {"smoothwm", "Anatomical"}, {"midthickness", "Anatomical"},
                                        {"inflated", "Inflated"},   {"very_inflated", "VeryInflated"},
                                        {"sphere", "Spherical"},    {"flat", "Flat"}};
constexpr Tag kWorkbenchSecondary[] = {{".white.", "GrayWhite"}, {".pial.", "Pial"}, {".midthickness.", "MidThickness"}};
constexpr Tag kWorkbenchGeometric[] = {{".white.", "Anatomical"},       {".pial.", "Anatomical"},
                                       {".midthickness.", "Anatomical"}, {".inflated.", "Inflated"},
                                       {".very_inflated.", "VeryInflated"}, {".sphere.", "Spherical"},
                                       {".flat.", "Flat"}};

// Where FreeSurfer's hemisphere prefix ("lh." or "rh.") starts a part of the
// name: at its start or after "_", "-" or "."; npos when it does not.
std::size_t freeSurferHemisphere(const std::string& base) {
    for (std::size_t at = 0; at + 3 <= base.size(); ++at) {
        if (at > 0 && base[at - 1] != '_' && base[at - 1] != '-' && base[at - 1] != '.') continue;
        const char side = static_cast<char>(std::tolower(static_cast<unsigned char>(base[at])));
        const char h = static_cast<char>(std::tolower(static_cast<unsigned char>(base[at + 1])));
        if ((side == 'l' || side == 'r') && h == 'h' && base[at + 2] == '.') return at;  // also "LH.white"
    }
    return std::string::npos;
}

// BIDS's hemisphere part, "hemi-L" or "hemi-R" between "_" (or the name's
// start) and "_" or "."; 0 when there is none.
char bidsHemisphere(const std::string& base) {
    for (const char side : {'L', 'R'}) {
        const std::string part = std::string("hemi-") + side;
        for (std::size_t at = base.find(part); at != std::string::npos; at = base.find(part, at + 1)) {
            const std::size_t end = at + part.size();
            if ((at == 0 || base[at - 1] == '_') && (end == base.size() || base[end] == '_' || base[end] == '.'))
                return side;
        }
    }
    return 0;
}

// The surface word of other tools' naming: after FreeSurfer's hemisphere
// ("white" of "sub01_lh.white.srf"), or BIDS's last part ("white" of
// "sub-01_hemi-L_white.srf"); empty when the name has neither.
std::string freeSurferSurface(const std::string& base) {
    const std::size_t hemisphere = freeSurferHemisphere(base);
    if (hemisphere != std::string::npos) {
        const std::size_t start = hemisphere + 3;
        const std::size_t end = base.find('.', start);
        std::string word = base.substr(start, end == std::string::npos ? std::string::npos : end - start);
        std::transform(word.begin(), word.end(), word.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return word;
    }
    if (!bidsHemisphere(base)) return {};
    const std::size_t end = base.find('.');
    const std::string stem = base.substr(0, end);
    const std::size_t last = stem.rfind('_');
    return last == std::string::npos ? std::string() : stem.substr(last + 1);
}

const char* lookUp(const std::string& word, std::span<const Tag> table) {
    for (const Tag& tag : table)
        if (word == tag.key) return tag.value;
    return nullptr;
}

// Whether Workbench's part `key` (".midthickness.") stands in `base`; in a
// name of Workbench's hemispheres (".L.", ".R.") also with a qualifier after
// an underscore (HCP's "S1200.L.midthickness_MSMAll.32k_fs_LR.surf.gii").
bool hasWorkbenchPart(const std::string& base, const std::string& key) {
    if (base.find(key) != std::string::npos) return true;
    if (base.find(".L.") == std::string::npos && base.find(".R.") == std::string::npos) return false;
    const std::string qualified = key.substr(0, key.size() - 1) + "_";  // ".midthickness_"
    return base.find(qualified) != std::string::npos;
}

// What other tools' naming says, or `fallback`.
std::string fromOtherTools(const std::string& fileName, std::span<const Tag> freeSurfer, std::span<const Tag> workbench,
                           const char* fallback) {
    const std::string base = lastPathComponent(fileName);
    if (const char* value = lookUp(freeSurferSurface(base), freeSurfer)) return value;
    for (const Tag& tag : workbench)
        if (hasWorkbenchPart(base, tag.key)) return tag.value;
    return fallback;
}

std::string classify(const std::string& fileName, std::span<const Tag> table, const char* fallback) {
    const Tag* best = nullptr;
    std::size_t bestLength = 0;
    for (const Tag& tag : table) {
        const std::string key = tag.key;
        if (key.size() > bestLength && fileName.find(key) != std::string::npos) {
            best = &tag;
            bestLength = key.size();
        }
    }
    return best ? best->value : fallback;
}

// The file's own name decides (its tags, then other tools' naming); the tags
// of its folders only where it tells nothing ("study_RHESUS/lh.white.srf" is
// a left hemisphere).
template <class Decide>
std::string ownNameFirst(const std::string& fileName, std::span<const Tag> tags, const char* fallback, Decide decide) {
    const std::string base = lastPathComponent(fileName);
    const std::string tagged = classify(base, tags, fallback);
    if (tagged != fallback) return tagged;
    const std::string named = decide(base);
    return named != fallback ? named : classify(fileName, tags, fallback);
}

}  // namespace

std::string getAnatomicalStructurePrimary(const std::string& fileName) {
    return ownNameFirst(fileName, kPrimary, "Unknown", [](const std::string& base) -> std::string {
        if (const std::size_t at = freeSurferHemisphere(base); at != std::string::npos)
            return std::tolower(static_cast<unsigned char>(base[at])) == 'l' ? "CortexLeft" : "CortexRight";
        if (const char side = bidsHemisphere(base)) return side == 'L' ? "CortexLeft" : "CortexRight";
        return fromOtherTools(base, {}, kWorkbenchPrimary, "Unknown");
    });
}

std::string getAnatomicalStructureSecondary(const std::string& fileName) {
    return ownNameFirst(fileName, kSecondary, "Unknown", [](const std::string& base) {
        return fromOtherTools(base, kFreeSurferSecondary, kWorkbenchSecondary, "Unknown");
    });
}

std::string getGeometricType(const std::string& fileName) {
    return ownNameFirst(fileName, kGeometric, "Unknown", [](const std::string& base) {
        return fromOtherTools(base, kFreeSurferGeometric, kWorkbenchGeometric, "Unknown");
    });
}

std::string anatomicalStructureOfNames(std::initializer_list<std::string> names) {
    for (const std::string& name : names) {
        const std::string structure = getAnatomicalStructurePrimary(name);
        if (structure != "Unknown") return structure;
    }
    return "Unknown";
}

std::string getTopologicalType(const std::string& fileName) {
    return ownNameFirst(fileName, kTopological, "CLOSED", [](const std::string&) { return std::string("CLOSED"); });
}

}  // namespace meshbridge
