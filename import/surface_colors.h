// Colour words of an imported surface from a GIFTI label table and label array.
#pragma once

#include <cstdint>
#include <vector>

#include "common/gifti.h"
#include "common/huge_pages.h"

namespace meshbridge {

// One colour word per vertex (`nrOfVertices` of them) from the label table of
// `source` and its first label (or intent-less) array. Vertices without a
// colour get 0, the convex curvature colour. Never fails.
HugePageVector<std::int32_t> convertGiftiColors(const gifti_image& source, std::int32_t nrOfVertices);

// The colour word of a label-table colour: 0x3F000000 plus the 8-bit red,
// green and blue, or 0x3F000000 (black) for a transparent colour.
std::int32_t colorWordFromRgba(float red, float green, float blue, float alpha);

}  // namespace meshbridge
