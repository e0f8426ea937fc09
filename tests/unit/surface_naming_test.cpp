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
    EXPECT_EQ(getGeometricType("x_SPHERE.srf"), "Spherical");  // GIFTI's value
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
    EXPECT_EQ(getGeometricType("_SPH"), "Spherical");
    EXPECT_EQ(getGeometricType("_SP"), "Unknown");
}

TEST(SurfaceNaming, FreeSurferAndWorkbenchNamesWhereNoTagTells) {
    EXPECT_EQ(getAnatomicalStructurePrimary("/subjects/bert/surf/lh.white.srf"), "CortexLeft");
    EXPECT_EQ(getAnatomicalStructureSecondary("/subjects/bert/surf/lh.white.srf"), "GrayWhite");
    EXPECT_EQ(getGeometricType("/subjects/bert/surf/lh.white.srf"), "Anatomical");
    EXPECT_EQ(getAnatomicalStructurePrimary("C:\\fs\\rh.sphere.reg.srf"), "CortexRight");
    EXPECT_EQ(getGeometricType("C:\\fs\\rh.sphere.reg.srf"), "Spherical");
    EXPECT_EQ(getGeometricType("lh.inflated"), "Inflated");
    EXPECT_EQ(getGeometricType("lh.smoothwm.srf"), "Anatomical");
    EXPECT_EQ(getAnatomicalStructureSecondary("lh.pial"), "Pial");
    EXPECT_EQ(getAnatomicalStructureSecondary("lh.inflated"), "Unknown");

    const std::string workbench = "/hcp/100307.L.midthickness.32k_fs_LR.surf.srf";
    EXPECT_EQ(getAnatomicalStructurePrimary(workbench), "CortexLeft");
    EXPECT_EQ(getAnatomicalStructureSecondary(workbench), "MidThickness");
    EXPECT_EQ(getGeometricType(workbench), "Anatomical");
    EXPECT_EQ(getGeometricType("100307.R.very_inflated.32k_fs_LR.srf"), "VeryInflated");
    EXPECT_EQ(getAnatomicalStructurePrimary("100307.R.very_inflated.32k_fs_LR.srf"), "CortexRight");
    EXPECT_EQ(getGeometricType("100307.L.sphere.32k_fs_LR.srf"), "Spherical");
    EXPECT_EQ(getGeometricType("100307.L.flat.32k_fs_LR.srf"), "Flat");

    // The tags come first; prefixes count only at the start of the file's name.
    EXPECT_EQ(getAnatomicalStructurePrimary("lh.white_RH.srf"), "CortexRight");
    EXPECT_EQ(getGeometricType("lh.white_INFL1000.srf"), "Inflated");
    EXPECT_EQ(getAnatomicalStructurePrimary("/data/lh.x/brain.srf"), "Unknown");
    EXPECT_EQ(getAnatomicalStructurePrimary("flash.white.srf"), "Unknown");

    EXPECT_EQ(anatomicalStructureOfNames({"maps.smp", "rh.white.srf", "x_LH.srf"}), "CortexRight");
    EXPECT_EQ(anatomicalStructureOfNames({"maps.smp", ""}), "Unknown");
}
