// Map types of SMP files and the GIFTI intents they travel as, in one table
// that the map import and the map export both read.
#pragma once

#include <cstdint>
#include <optional>

#include "common/gifti.h"
#include "formats/smp_file.h"

namespace meshbridge {

struct MapTypeRow {
    std::int32_t mapType;
    int intent;
    int distributionParameters;  // degrees of freedom the map type has
    bool importedFromIntent;     // the import gives this map type for the intent
};

// Map type 3 (cross-correlation) goes out as a correlation but comes back as
// map type 2; shape arrays come back as thickness (13) or curvature (1), as
// the user answers.
inline constexpr MapTypeRow kMapTypes[] = {
    {1, NIFTI_INTENT_TTEST, 1, true},
    {2, NIFTI_INTENT_CORREL, 1, true},
    {kMapTypeCrossCorrelation, NIFTI_INTENT_CORREL, 1, false},
    {4, NIFTI_INTENT_FTEST, 2, true},
    {5, NIFTI_INTENT_ZSCORE, 0, true},
    {13, NIFTI_INTENT_SHAPE, 0, false},
    {14, NIFTI_INTENT_CHISQ, 1, true},
    {15, NIFTI_INTENT_BETA, 2, true},
    {kMapTypePolarAngle, kIntentRetinotopyPolar, 0, true},
    {kMapTypeEccentricity, kIntentRetinotopyEccentricity, 0, true},
    {kMapTypeFieldSign, kIntentRetinotopyFieldSign, 0, true},
};

// The intent a map type is exported as; NIFTI_INTENT_NONE for other types.
constexpr int intentForMapType(std::int32_t mapType) {
    for (const MapTypeRow& row : kMapTypes)
        if (row.mapType == mapType) return row.intent;
    return NIFTI_INTENT_NONE;
}

// The map type the import gives an intent, where the table says.
constexpr std::optional<std::int32_t> mapTypeOfIntent(int intent) {
    for (const MapTypeRow& row : kMapTypes)
        if (row.intent == intent && row.importedFromIntent) return row.mapType;
    return std::nullopt;
}

// How many distribution parameters (degrees of freedom) a map type has.
constexpr int numberOfDistributionParameters(std::int32_t mapType) {
    for (const MapTypeRow& row : kMapTypes)
        if (row.mapType == mapType) return row.distributionParameters;
    return 0;
}

}  // namespace meshbridge
