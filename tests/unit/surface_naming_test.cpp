#include "export/surface_naming.h"

#include <gtest/gtest.h>

using namespace meshbridge;

namespace {

// "PRIMARY SECONDARY GEOMETRIC TOPOLOGICAL" of a file name.
std::string namesOf(const std::string& name) {
    return getAnatomicalStructurePrimary(name) + " " + getAnatomicalStructureSecondary(name) + " " +
           getGeometricType(name) + " " + getTopologicalType(name);
}

}  // namespace

TEST(SurfaceNaming, TagsOfTheFileName) {
    const std::pair<const char*, const char*> cases[] = {
        {"brain_LH_WM_INFL1000.srf", "CortexLeft GrayWhite Inflated CLOSED"},
        {"brain_RH_FLAT.srf", "CortexRight Unknown Flat FLAT"},
        {"x_HEAD_GM_RECO.srf", "Head Pial Reconstruction CLOSED"},
        {"x_INFL500.srf", "Unknown Unknown Inflated CLOSED"},
        {"x_INFL_2.srf", "Unknown Unknown Inflated CLOSED"},
        {"x_INFL1500.srf", "Unknown Unknown VeryInflated CLOSED"},
        // The longest tag wins; of equal length, the first in the table.
        {"both_RHLH.srf", "CortexRightAndLeft Unknown Unknown CLOSED"},
        {"x_SPHERE.srf", "Unknown Unknown Spherical CLOSED"},
        {"x_RECOSM.srf", "Unknown Unknown Reconstruction CLOSED"},
        {"brain_SPH_FLAT.srf", "Unknown Unknown Flat FLAT"},
        {"brain_GM_WM.srf", "Unknown Pial Unknown CLOSED"},
        {"subject_RH2_LH.srf", "CortexLeft Unknown Unknown CLOSED"},
        // Defaults, case, folders.
        {"", "Unknown Unknown Unknown CLOSED"},
        {"brain_lh_wm.srf", "Unknown Unknown Unknown CLOSED"},
        {"/data/S1_RH/brain.srf", "CortexRight Unknown Unknown CLOSED"},
        {"D:\\data\\brain_RH.srf", "CortexRight Unknown Unknown CLOSED"},
        {"_SP", "Unknown Unknown Unknown CLOSED"},
        // FreeSurfer, BIDS and Workbench names where no tag tells; tags come
        // first, hemisphere prefixes count at the start of the name or of a
        // part of it.
        {"/subjects/bert/surf/lh.white.srf", "CortexLeft GrayWhite Anatomical CLOSED"},
        {"C:\\fs\\rh.sphere.reg.srf", "CortexRight Unknown Spherical CLOSED"},
        {"lh.inflated", "CortexLeft Unknown Inflated CLOSED"},
        {"lh.smoothwm.srf", "CortexLeft Unknown Anatomical CLOSED"},
        {"lh.pial", "CortexLeft Pial Anatomical CLOSED"},
        {"/hcp/100307.L.midthickness.32k_fs_LR.surf.srf", "CortexLeft MidThickness Anatomical CLOSED"},
        {"100307.R.very_inflated.32k_fs_LR.srf", "CortexRight Unknown VeryInflated CLOSED"},
        {"100307.L.sphere.32k_fs_LR.srf", "CortexLeft Unknown Spherical CLOSED"},
        {"100307.L.flat.32k_fs_LR.srf", "CortexLeft Unknown Flat CLOSED"},
        {"lh.white_RH_INFL1000.srf", "CortexRight Unknown Inflated CLOSED"},
        {"/data/lh.x/brain.srf", "Unknown Unknown Unknown CLOSED"},
        {"flash.white.srf", "Unknown GrayWhite Anatomical CLOSED"},
        {"sub01_lh.white.srf", "CortexLeft GrayWhite Anatomical CLOSED"},
        {"run1-rh.pial.srf", "CortexRight Pial Anatomical CLOSED"},
        {"sub-01_hemi-L_white.srf", "CortexLeft GrayWhite Anatomical CLOSED"},
        {"/bids/sub-01/anat/sub-01_ses-1_hemi-R_midthickness.surf.srf", "CortexRight MidThickness Anatomical CLOSED"},
        {"sub-01_hemi-L_inflated.srf", "CortexLeft Unknown Inflated CLOSED"},
        {"sub-01_nothemi-L_white.srf", "Unknown Unknown Unknown CLOSED"},
        {"sub-01_hemi-Lx_white.srf", "Unknown Unknown Unknown CLOSED"},
        // HCP's qualified names and FreeSurfer's upper-case hemispheres.
        {"S1200.L.midthickness_MSMAll.32k_fs_LR.surf.srf", "CortexLeft MidThickness Anatomical CLOSED"},
        {"S1200.R.very_inflated_MSMAll.32k_fs_LR.srf", "CortexRight Unknown VeryInflated CLOSED"},
        {"LH.white", "CortexLeft GrayWhite Anatomical CLOSED"},
        {"Rh.Pial.srf", "CortexRight Pial Anatomical CLOSED"},
        // The file's own name decides; a folder's tags only where it tells nothing.
        {"/data/study_RHESUS/lh.white.srf", "CortexLeft GrayWhite Anatomical CLOSED"},
        {"/scans_HEADCOIL/rh.pial.srf", "CortexRight Pial Anatomical CLOSED"},
        {"/S1_RH_FLAT/lh.sphere.srf", "CortexLeft Unknown Spherical FLAT"},
        {"/data/fsaverage.lh.white.srf", "CortexLeft GrayWhite Anatomical CLOSED"},
    };
    for (const auto& [name, expected] : cases) EXPECT_EQ(namesOf(name), expected) << name;
    EXPECT_EQ(anatomicalStructureOfNames({"maps.smp", "rh.white.srf", "x_LH.srf"}), "CortexRight");
    EXPECT_EQ(anatomicalStructureOfNames({"maps.smp", ""}), "Unknown");
}
