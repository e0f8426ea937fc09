#include "export/map_export.h"

#include <cmath>
#include <cstring>

#include "common/map_types.h"
#include "common/plugin_info.h"
#include "common/replace_extension.h"
#include "common/text.h"
#include "export/gifti_writing.h"
#include "host/host_calls.h"

namespace meshbridge {

namespace {

// The lag of a cross-correlation value, lag * 1000 + r with r from -1 to 1:
// the nearest whole number of thousands (truncation would take lag -2 with
// a positive r, -1999.9, for lag -1 with r -999.9); 0 for values no int32
// lag can hold.
std::int32_t lagOfValue(float x) {
    const double lag = std::nearbyint(static_cast<double>(x) / 1000.0);
    return std::fabs(lag) < 2147483520.0 ? static_cast<std::int32_t>(lag) : 0;
}

bool isRetinotopyAngle(std::int32_t mapType) { return mapType == kMapTypePolarAngle || mapType == kMapTypeEccentricity; }

// Complex values for a polar angle or eccentricity map that has lags to turn
// into angles; without lags its values go out unchanged.
bool writesComplex(const SmpMap& map) { return isRetinotopyAngle(map.mapType) && map.nrOfLags > 0; }

// The first map, a cross-correlation map, may be exported as polar angle or
// eccentricity. False when the question was cancelled.
bool askCrossCorrelationType(SmpMap& first) {
    const int answer = askInteger(
        "Cross-correlation data detected. Please select the map type:\n\n1 = Cross-correlation\n2 = Polar angle\n3 = Eccentricity\n",
        1, 1, 3);
    const std::int32_t chosen = answer == 2   ? kMapTypePolarAngle
                                : answer == 3 ? kMapTypeEccentricity
                                              : kMapTypeCrossCorrelation;
    if (chosen != kMapTypeCrossCorrelation && first.nrOfLags <= 0) {
        logText(formatText("Map '%s' has no lags (number of lags %d) and cannot be turned into %s values; it is "
                           "exported as a cross-correlation map.",
                           first.name.c_str(), first.nrOfLags,
                           chosen == kMapTypePolarAngle ? "polar angle" : "eccentricity"));
    } else {
        first.mapType = chosen;
    }
    return answer >= 1;
}

// A map made from lags as two plain arrays from index `i` on: the lag's angle
// in degrees and the correlation.
bool fillRealArrays(gifti_image& image, int i, const SmpMap& map, std::int32_t nrOfVertices, bool compressed) {
    const char* what = map.mapType == kMapTypePolarAngle ? "polar angle" : "eccentricity";
    giiDataArray& angles = *image.darray[i];
    giiDataArray& correlations = *image.darray[i + 1];
    setArrayFields(angles, NIFTI_INTENT_NONE, NIFTI_TYPE_FLOAT32, {nrOfVertices}, compressed);
    setArrayFields(correlations, NIFTI_INTENT_CORREL, NIFTI_TYPE_FLOAT32, {nrOfVertices}, compressed);
    addArrayMetadata(angles, "Name", formatText("%s %s (degrees)", map.name.c_str(), what));
    addArrayMetadata(angles, "minLag", formatText("%i", map.minLag));
    addArrayMetadata(correlations, "Name", formatText("%s correlation r", map.name.c_str()));
    addArrayMetadata(correlations, "intent_p1", formatText("%i", map.df1));
    if (nrOfVertices == 0) return true;
    auto* degrees = static_cast<float*>(allocateArrayData(image, i));
    auto* r = static_cast<float*>(allocateArrayData(image, i + 1));
    if (!degrees || !r) return false;
    // The parts of complexFromLagMap's pairs: each value is lag number * 1000 + r.
    const float step = 360.0f / static_cast<float>(map.nrOfLags);
    for (std::size_t v = 0; v < static_cast<std::size_t>(nrOfVertices); ++v) {
        const float x = map.data[v];
        const std::int32_t k = lagOfValue(x);
        degrees[v] = static_cast<float>(k - map.minLag) * step;
        r[v] = x - static_cast<float>(static_cast<std::int64_t>(k) * 1000);
    }
    return true;
}

// Map i as one array; with `retinotopyAsReal` a retinotopy map of plain
// values (polar angle or eccentricity without lags, field sign) goes out
// without its retinotopy intent, which other readers refuse.
bool fillArray(gifti_image& image, LentValues& lent, int i, const SmpMap& map, std::int32_t nrOfVertices,
               bool compressed, bool retinotopyAsReal) {
    giiDataArray& array = *image.darray[i];
    const bool complex = writesComplex(map);
    const int intent = intentForMapType(map.mapType);
    const bool retinotopy = intent == kIntentRetinotopyPolar || intent == kIntentRetinotopyEccentricity ||
                            intent == kIntentRetinotopyFieldSign;
    setArrayFields(array, retinotopy && retinotopyAsReal ? NIFTI_INTENT_NONE : intent,
                   complex ? NIFTI_TYPE_COMPLEX64 : NIFTI_TYPE_FLOAT32, {nrOfVertices}, compressed);
    const int parameters = numberOfDistributionParameters(map.mapType);
    addArrayMetadata(array, "Name", map.name);
    if (parameters >= 1) addArrayMetadata(array, "intent_p1", formatText("%i", map.df1));
    if (parameters >= 2) addArrayMetadata(array, "intent_p2", formatText("%i", map.df2));
    if (map.mapType == kMapTypeCrossCorrelation || isRetinotopyAngle(map.mapType))
        addArrayMetadata(array, "minLag", formatText("%i", map.minLag));
    if (nrOfVertices == 0) return true;
    if (!complex) {
        lent.lend(i, map.data.data());
        return true;
    }
    void* data = allocateArrayData(image, i);
    if (!data) return false;
    const std::vector<std::complex<float>> pairs = complexFromLagMap(map, nrOfVertices);
    std::memcpy(data, pairs.data(), pairs.size() * sizeof(std::complex<float>));
    return true;
}

}  // namespace

std::vector<std::complex<float>> complexFromLagMap(const SmpMap& map, std::int32_t nrOfVertices) {
    const float step = 6.2831855f / static_cast<float>(map.nrOfLags);
    std::vector<std::complex<float>> pairs(static_cast<std::size_t>(std::max(nrOfVertices, 0)));
    for (std::size_t v = 0; v < pairs.size(); ++v) {
        const float x = map.data[v];
        const std::int32_t k = lagOfValue(x);
        const float angle = static_cast<float>(k - map.minLag) * step;
        const float r = x - static_cast<float>(static_cast<std::int64_t>(k) * 1000);
        pairs[v] = {r * std::cos(angle), r * std::sin(angle)};
    }
    return pairs;
}

bool exportSurfaceMap(const std::string& name, bool fromFile, bool doBinaryExport, bool retinotopyAsReal) {
    SmpData smp = loadSmp(name, fromFile);
    if (isFailedLoad(smp)) return false;
    dumpSmpHeader(smp, false, true);

    bool answered = true;
    if (!smp.maps.empty() && smp.maps[0].mapType == kMapTypeCrossCorrelation)
        answered = askCrossCorrelationType(smp.maps[0]);

    // With retinotopy as plain values, each map made from lags takes two arrays.
    int arrays = smp.nrOfMaps;
    for (const SmpMap& map : smp.maps) arrays += retinotopyAsReal && writesComplex(map) ? 1 : 0;
    GiftiImagePtr image = createExportImage(arrays);
    LentValues lent(image.get());  // maps of plain values are written straight from the record
    bool built = image != nullptr;
    if (built) {
        addImageMetadata(*image, kVersionMetadataName, kPluginVersion);
        addStructureMetadata(*image, {smp.srfFileName, smp.fileName});
        for (int i = 0, array = 0; i < smp.nrOfMaps && built; ++i) {
            logText(formatText("Adding map number: %d", i + 1));
            const SmpMap& map = smp.maps[static_cast<std::size_t>(i)];
            if (retinotopyAsReal && writesComplex(map)) {
                built = fillRealArrays(*image, array, map, smp.nrOfVertices, doBinaryExport);
                array += 2;
            } else {
                built = fillArray(*image, lent, array++, map, smp.nrOfVertices, doBinaryExport, retinotopyAsReal);
            }
        }
    }
    const std::string path = replaceExtension(smp.fileName, ".func.gii");
    logText(path);
    const bool written = writeExportedImage(image.get(), built, path);
    return written && answered;
}

}  // namespace meshbridge
