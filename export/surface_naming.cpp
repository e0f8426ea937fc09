#include "export/surface_naming.h"

#include <span>

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
//  - FreeSurfer: "lh." or "rh." at the start of the file's name, then the
//    surface ("lh.white", "rh.inflated.srf");
//  - Workbench: ".L." or ".R." and the surface between dots
//    ("100307.L.midthickness.32k_fs_LR.surf.gii").
constexpr Tag kOtherToolsPrimary[] = {{"lh.", "CortexLeft"}, {"rh.", "CortexRight"}};
constexpr Tag kWorkbenchPrimary[] = {{".L.", "CortexLeft"}, {".R.", "CortexRight"}};
constexpr Tag kFreeSurferSecondary[] = {{"white", "GrayWhite"}, {"pial", "Pial"}};
constexpr Tag kFreeSurferGeometric[] = {{"white", "Anatomical"},  {"pial", "Anatomical"},   {"orig", "Anatomical"},
                                        {"smoothwm", "Anatomical"}, {"inflated", "Inflated"}, {"sphere", "Spherical"}};
constexpr Tag kWorkbenchSecondary[] = {{".white.", "GrayWhite"}, {".pial.", "Pial"}, {".midthickness.", "MidThickness"}};
constexpr Tag kWorkbenchGeometric[] = {{".white.", "Anatomical"},       {".pial.", "Anatomical"},
                                       {".midthickness.", "Anatomical"}, {".inflated.", "Inflated"},
                                       {".very_inflated.", "VeryInflated"}, {".sphere.", "Spherical"},
                                       {".flat.", "Flat"}};

// The last component of a path, with either kind of separator.
std::string baseName(const std::string& fileName) {
    const std::size_t slash = fileName.find_last_of("/\\");
    return slash == std::string::npos ? fileName : fileName.substr(slash + 1);
}

// FreeSurfer's hemisphere prefix and the surface word after it ("white" of
// "lh.white.srf"); empty when the name does not start with one.
std::string freeSurferSurface(const std::string& base) {
    if (base.rfind("lh.", 0) != 0 && base.rfind("rh.", 0) != 0) return {};
    const std::size_t end = base.find('.', 3);
    return base.substr(3, end == std::string::npos ? std::string::npos : end - 3);
}

const char* lookUp(const std::string& word, std::span<const Tag> table) {
    for (const Tag& tag : table)
        if (word == tag.key) return tag.value;
    return nullptr;
}

// What other tools' naming says, or `fallback`.
std::string fromOtherTools(const std::string& fileName, std::span<const Tag> freeSurfer, std::span<const Tag> workbench,
                           const char* fallback) {
    const std::string base = baseName(fileName);
    if (const char* value = lookUp(freeSurferSurface(base), freeSurfer)) return value;
    for (const Tag& tag : workbench)
        if (base.find(tag.key) != std::string::npos) return tag.value;
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

}  // namespace

std::string getAnatomicalStructurePrimary(const std::string& fileName) {
    const std::string tagged = classify(fileName, kPrimary, "Unknown");
    if (tagged != "Unknown") return tagged;
    const std::string base = baseName(fileName);
    for (const Tag& tag : kOtherToolsPrimary)
        if (base.rfind(tag.key, 0) == 0) return tag.value;
    return fromOtherTools(fileName, {}, kWorkbenchPrimary, "Unknown");
}

std::string getAnatomicalStructureSecondary(const std::string& fileName) {
    const std::string tagged = classify(fileName, kSecondary, "Unknown");
    return tagged != "Unknown" ? tagged : fromOtherTools(fileName, kFreeSurferSecondary, kWorkbenchSecondary, "Unknown");
}

std::string getGeometricType(const std::string& fileName) {
    const std::string tagged = classify(fileName, kGeometric, "Unknown");
    return tagged != "Unknown" ? tagged : fromOtherTools(fileName, kFreeSurferGeometric, kWorkbenchGeometric, "Unknown");
}

std::string anatomicalStructureOfNames(std::initializer_list<std::string> names) {
    for (const std::string& name : names) {
        const std::string structure = getAnatomicalStructurePrimary(name);
        if (structure != "Unknown") return structure;
    }
    return "Unknown";
}

std::string getTopologicalType(const std::string& fileName) {
    return classify(fileName, kTopological, "CLOSED");
}

}  // namespace meshbridge
