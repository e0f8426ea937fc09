// What a surface is, read from tags in its file name ("_RH", "_WM",
// "_INFL1000", ...), for the metadata of an exported GIFTI surface; where the
// tags tell nothing, from the naming of FreeSurfer ("lh.white",
// "sub01_lh.white"), BIDS ("sub-01_hemi-L_white") and Workbench
// ("subject.L.midthickness.32k_fs_LR.surf.gii").
#pragma once

#include <initializer_list>
#include <string>

namespace meshbridge {

// Each takes the whole file name (folders and extension included) and gives
// the value of the longest tag of its table that occurs in the name; between
// tags of equal length the first in the table's order; without a tag its
// default. Tags are case-sensitive.
std::string getAnatomicalStructurePrimary(const std::string& fileName);    // default "Unknown"
std::string getAnatomicalStructureSecondary(const std::string& fileName);  // default "Unknown"
std::string getGeometricType(const std::string& fileName);                 // default "Unknown"
std::string getTopologicalType(const std::string& fileName);               // default "CLOSED"

// The primary structure told by the first of `names` that tells one, else "Unknown".
std::string anatomicalStructureOfNames(std::initializer_list<std::string> names);

}  // namespace meshbridge
