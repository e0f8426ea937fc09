#include "export/surface_naming.h"

#include <gtest/gtest.h>

using namespace meshbridge;

TEST(SurfaceNaming, EachTableFindsItsTags) {
    EXPECT_EQ(getAnatomicalStructurePrimary("brain_LH_WM_INFL1000.srf"), "CortexLeft");
    EXPECT_EQ(getAnatomicalStructureSecondary("brain_LH_WM_INFL1000.srf"), "GrayWhite");
    EXPECT_EQ(getGeometricType("brain_LH_WM_INFL1000.srf"), "Inflated");
    EXPECT_EQ(getTopologicalType("brain_LH_WM_INFL1000.srf"), "CLOSED");
    EXPECT_EQ(getAnatomicalStructurePrimary("brain_RH_FLAT.srf"), "CortexRight");
    EXPECT_EQ(getAnatomicalStructureSecondary("brain_RH_FLAT.srf"), "Unknown");
    EXPECT_EQ(getGeometricType("brain_RH_FLAT.srf"), "Flat");
    EXPECT_EQ(getTopologicalType("brain_RH_FLAT.srf"), "FLAT");
    EXPECT_EQ(getAnatomicalStructurePrimary("x_HEAD.srf"), "Head");
    EXPECT_EQ(getAnatomicalStructureSecondary("x_GM.srf"), "Pial");
    EXPECT_EQ(getGeometricType("x_RECO.srf"), "Reconstruction");
    EXPECT_EQ(getGeometricType("x_INFL500.srf"), "Inflated");
    EXPECT_EQ(getGeometricType("x_INFL_2.srf"), "Inflated");
    EXPECT_EQ(getGeometricType("x_INFL1500.srf"), "VeryInflated");
}

TEST(SurfaceNaming, LongestTagWins) {
    EXPECT_EQ(getAnatomicalStructurePrimary("both_RHLH.srf"), "CortexRightAndLeft");
    EXPECT_EQ(getGeometricType("x_SPHERE.srf"), "Sphere");
    EXPECT_EQ(getGeometricType("x_RECOSM.srf"), "Reconstruction");
    EXPECT_EQ(getGeometricType("brain_SPH_FLAT.srf"), "Flat");       // _FLAT is longer than _SPH
    EXPECT_EQ(getAnatomicalStructureSecondary("brain_GM_WM.srf"), "Pial");  // equal length: table order
    EXPECT_EQ(getAnatomicalStructurePrimary("subject_RH2_LH.srf"), "CortexLeft");  // table order
}

TEST(SurfaceNaming, DefaultsCaseAndPaths) {
    for (const char* name : {"", "brain.srf", "brain_lh_wm.srf"}) {
        EXPECT_EQ(getAnatomicalStructurePrimary(name), "Unknown") << name;
        EXPECT_EQ(getAnatomicalStructureSecondary(name), "Unknown") << name;
        EXPECT_EQ(getGeometricType(name), "Unknown") << name;
        EXPECT_EQ(getTopologicalType(name), "CLOSED") << name;
    }
    EXPECT_EQ(getAnatomicalStructurePrimary("/data/S1_RH/brain.srf"), "CortexRight");
    EXPECT_EQ(getAnatomicalStructurePrimary("D:\\data\\brain_RH.srf"), "CortexRight");
    EXPECT_EQ(getGeometricType("_SPH"), "Sphere");
    EXPECT_EQ(getGeometricType("_SP"), "Unknown");
}
