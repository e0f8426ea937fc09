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
    {"_RECOSM", "Reconstruction"}, {"_SPH", "Sphere"},      {"_SPHERE", "Sphere"}};
constexpr Tag kTopological[] = {{"_FLAT", "FLAT"}};

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
    return classify(fileName, kPrimary, "Unknown");
}

std::string getAnatomicalStructureSecondary(const std::string& fileName) {
    return classify(fileName, kSecondary, "Unknown");
}

std::string getGeometricType(const std::string& fileName) {
    return classify(fileName, kGeometric, "Unknown");
}

std::string getTopologicalType(const std::string& fileName) {
    return classify(fileName, kTopological, "CLOSED");
}

}  // namespace meshbridge
