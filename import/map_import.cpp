#include "import/map_import.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "common/replace_extension.h"
#include "common/text.h"
#include "common/text_encoding.h"
#include "host/host_calls.h"
#include "import/import_support.h"

namespace meshbridge {

namespace {

constexpr int kMaxMaps = 32767;  // nrOfMaps is an int16

const giiDataArray& arrayAt(const gifti_image& image, int i) { return *image.darray[i]; }

// Truncated toward zero; 0 for values no int32 can hold.
std::int32_t truncatedToInt32(float value) {
    return std::fabs(value) < 2147483520.0f ? static_cast<std::int32_t>(value) : 0;
}

}  // namespace

std::optional<int> askMapIntent(const std::string& path) {
    struct Choice {
        const char* text;
        int intent;
    };
    static constexpr Choice kChoices[] = {{"t statistic", NIFTI_INTENT_TTEST},
                                          {"correlation (r)", NIFTI_INTENT_CORREL},
                                          {"F statistic", NIFTI_INTENT_FTEST},
                                          {"z score", NIFTI_INTENT_ZSCORE},
                                          {"thickness or curvature", NIFTI_INTENT_SHAPE}};
    std::string question = formatText("Which values does %s hold?", lastPathComponent(path).c_str());
    for (std::size_t i = 0; i < std::size(kChoices); ++i)
        question += formatText("\n%zu: %s", i + 1, kChoices[i].text);
    const int answer = askInteger(question, 1, 1, static_cast<int>(std::size(kChoices)));
    if (answer < 1 || answer > static_cast<int>(std::size(kChoices))) return std::nullopt;
    return kChoices[answer - 1].intent;
}

std::int32_t mapTypeForIntent(int intent, MapAnswers* answers) {
    if (intent != NIFTI_INTENT_SHAPE) return mapTypeOfIntent(intent).value_or(1);
    if (answers && answers->shapeMapType) return *answers->shapeMapType;
    const std::string question = answers && !answers->shapeQuestion.empty()
                                     ? answers->shapeQuestion
                                     : "GIFTI type is 'Shape'\n\nIs this a Cortical Thickness (Yes) or Curvature (No) map";
    const std::int32_t type = askYesNo(question) ? 13 : 1;
    if (answers) answers->shapeMapType = type;
    return type;
}

const char* intentName(int intent) {
    switch (intent) {
        case 2: return "Correlation statistic";
        case 3: return "T-statistic";
        case 4: return "F-statistic";
        case 5: return "Z-score";
        case 6: return "Chi-squared distribution";
        case 7: return "Beta distribution";
        case 8: return "Binomial distribution";
        case 9: return "Gamma distribution";
        case 10: return "Poisson distribution";
        case 11: return "Normal distribution";
        case 12: return "F-statistic noncentral";
        case 13: return "Chi-squared noncentral";
        case 14: return "Logistic distribution";
        case 15: return "Laplace distribution";
        case 16: return "Uniform distribition";
        case 17: return "T-statistic noncentral";
        case 18: return "Weibull distribution";
        case 19: return "Chi distribution";
        case 20: return "Inverse Gaussian distribution";
        case 21: return "Extreme Value distribution";
        case 22: return "P-value";
        case 23: return "Log P-value";
        case 24: return "Log10 P-value";
        case 1001: return "Estimate";
        case 1002: return "Label index";
        case 1003: return "NeuroNames index";
        case 1004: return "General matrix";
        case 1005: return "Symmetric matrix";
        case 1006: return "Displacement vector";
        case 1007: return "Vector";
        case 1008: return "Pointset";
        case 1009: return "Triangle";
        case 1010: return "Quaternion";
        case 1011: return "Dimensionless number";
        default: return "Unknown";
    }
}

std::string mapNameFromMetadata(const gifti_image& image, int i) {
    const giiDataArray& array = arrayAt(image, i);
    std::string name = intentName(array.intent);
    for (int k = 0; k < array.meta.length; ++k) {
        const char* key = array.meta.name ? array.meta.name[k] : nullptr;
        if (!key || (std::strcmp(key, "Name") != 0 && std::strcmp(key, "name") != 0)) continue;
        name = fromXmlText(textOrEmpty(array.meta.value ? array.meta.value[k] : nullptr));
        logText(formatText("Found Name: '%s' for Map: %i", name.c_str(), i));
    }
    return name;
}

bool getDistributionParameters(const gifti_image& image, int i, std::int32_t mapType,
                               std::array<float, 3>& params, MapAnswers* answers) {
    params = {0.0f, 0.0f, 0.0f};
    const giiDataArray& array = arrayAt(image, i);
    const char* names[3] = {"intent_p1", "intent_p2", "intent_p3"};
    bool foundFirst = false;
    for (int k = 0; k < array.meta.length; ++k) {
        const char* key = array.meta.name ? array.meta.name[k] : nullptr;
        if (!key) continue;
        for (int p = 0; p < 3; ++p) {
            if (std::strcmp(key, names[p]) != 0) continue;
            params[static_cast<std::size_t>(p)] =
                static_cast<float>(std::atof(textOrEmpty(array.meta.value ? array.meta.value[k] : nullptr).c_str()));
            if (p == 0) {
                foundFirst = true;
                logText(formatText("Found distribution parameter 1: '%f' of intent '%s'",
                                   static_cast<double>(params[0]), intentName(array.intent)));
            }
        }
    }
    if (foundFirst) return true;
    const int wanted = numberOfDistributionParameters(mapType);
    if (wanted == 0) return true;
    if (answers) {
        if (const auto known = answers->parameters.find(mapType); known != answers->parameters.end()) {
            params = known->second;
            return true;
        }
    }
    const float first =
        askFloat("Please enter the first degrees of freedom parameter (see manual for help)", 0.0f, -1000.0f, 1000.0f);
    if (first == static_cast<float>(kHostInputCancelled)) return false;
    params[0] = first;
    if (wanted == 2) {
        const float second = askFloat("Please enter the second degrees of freedom parameter ", 0.0f, -1000.0f, 1000.0f);
        if (second == static_cast<float>(kHostInputCancelled)) return false;
        params[1] = second;
    }
    if (answers) answers->parameters[mapType] = params;
    return true;
}

bool createSmpInHost(const SmpData& smp) {
    HostSrfInfo surface{};
    if (!getCurrentSurface(surface) || surface.nrOfVertices != smp.nrOfVertices) {
        messageBox("The number of vertices of the map is not equal to number of vertices in surface. Process terminated.");
        return false;
    }
    if (!requireHostFunctions({MESHBRIDGE_REQUIRE(ztCreateSMPForCurrentSRF), MESHBRIDGE_REQUIRE(ztGetSMPOfCurrentSRF),
                               MESHBRIDGE_REQUIRE(ztSetSMPParametersOfCurrentSRF),
                               MESHBRIDGE_REQUIRE(ztGetSMPsOfCurrentSRF)}))
        return false;
    // The new maps follow those the surface has already.
    HostSmpList list{};
    const int first = getCurrentMapList(list) ? std::max(list.nrOfMaps, 0) : 0;
    for (std::size_t i = 0; i < smp.maps.size(); ++i) {
        const SmpMap& map = smp.maps[i];
        const int index = first + static_cast<int>(i);
        hostFunctions().ztCreateSMPForCurrentSRF();
        HostSmpInfo info{};
        getCurrentMap(index, info);
        info.mapType = map.mapType;
        if (info.name) {
            const std::size_t length = std::min(map.name.size(), kHostMapNameCapacity - 1);
            std::memcpy(info.name, map.name.data(), length);
            info.name[length] = '\0';
        }
        info.df1 = map.df1;
        info.df2 = map.df2;
        info.importedFlag = 1.0f;
        hostFunctions().ztSetSMPParametersOfCurrentSRF(index, &info);
    }
    getCurrentMapList(list);
    return true;
}

bool importSurfaceMap(gifti_image& image, const std::string& path, bool printToLogtab, bool openInHost,
                      const std::string& outputName, MapAnswers* answers) {
    if (image.numDA < 1) return refuseImport("The maps", path, "it has no data arrays");
    if (image.numDA > kMaxMaps)
        return refuseImport("The maps", path, formatText("it has more than %d data arrays", kMaxMaps));

    SmpData smp;
    smp.fileName = outputName.empty() ? replaceExtension(outputBaseFor(path), ".smp") : outputName;
    smp.nrOfVertices = arrayAt(image, 0).dims[0];
    smp.nrOfMaps = static_cast<std::int16_t>(image.numDA);
    smp.version = 5;
    smp.srfFileName = "untitled.srf";
    // Every array must hold one plain number per vertex, as many as the first.
    // Float32 values are written from the image's own arrays (which outlive
    // the write); others are converted.
    std::vector<HostArray<float>> values(static_cast<std::size_t>(image.numDA));
    for (int i = 0; i < image.numDA; ++i) {
        std::string problem;
        HugePageVector<float> converted;
        std::span<float> stored;
        if (!perVertexFloats(*image.darray[i], i, smp.nrOfVertices, converted, stored, problem))
            return refuseImport("The maps", path, problem);
        HostArray<float>& map = values[static_cast<std::size_t>(i)];
        if (converted.empty())
            map = HostArray<float>::borrowed(stored.data(), stored.size());
        else
            map = std::move(converted);
    }

    smp.maps.resize(static_cast<std::size_t>(image.numDA));
    for (int i = 0; i < image.numDA; ++i) {
        SmpMap& map = smp.maps[static_cast<std::size_t>(i)];
        map.mapType = mapTypeForIntent(arrayAt(image, i).intent, answers);
        map.name = mapNameFromMetadata(image, i);
        map.data = std::move(values[static_cast<std::size_t>(i)]);
        map.clusterSize = 25;
        map.enableClusterCheck = 1;
        map.thresholdMin = 2.282f;
        map.thresholdMax = 8.0f;
        map.optionV4 = 1;
        map.optionV5 = 3;
        map.bonferroni = 0;
        map.criticalColor = {192, 0, 0};
        map.maxColor = {255, 192, 0};
        map.criticalColorNeg = {0, 0, 128};
        map.maxColorNeg = {0, 128, 255};
        map.useVmpColor = 0;
        map.transparentColorFactor = 1.0f;
        std::array<float, 3> params{};
        if (!getDistributionParameters(image, i, map.mapType, params, answers)) {
            logText("Distribution parameters missing. Set to zero!");
            logText(formatText("The import of %s is cancelled: no file was written.", path.c_str()));
            return false;
        }
        map.df1 = truncatedToInt32(params[0]);
        map.df2 = truncatedToInt32(params[1]);
        map.lutFileName = "<default>";
    }

    if (!writeSmpFile(smp)) return false;
    logText(formatText("SMP saved as:\n%s", smp.fileName.c_str()));
    if (printToLogtab) dumpSmpHeader(smp, false, true);
    if (!openInHost) return true;
    if (!createSmpInHost(smp)) return false;
    if (!loadMapsInHost(smp.fileName))
        messageBox("Surface map (SMP) could not be loaded on current surface (SRF).");
    return true;
}

}  // namespace meshbridge
