// The plug-in's identity and the numbering of file kinds shared by all commands.
#pragma once

namespace meshbridge {

inline constexpr const char* kPluginVersion = "1.6";
inline constexpr const char* kPluginName = "Meshbridge (v1.6)";
inline constexpr const char* kGuiScript = "meshbridge_v16.js";
inline constexpr const char* kHelpFile = "MeshbridgeHelp/index.html";

// Metadata name under which every exported GIFTI file carries kPluginVersion.
inline constexpr const char* kVersionMetadataName = "GIFTI plugin version";

// "FileTypeId": the kind of file of a command.
enum FileTypeId : int {
    kFileTypeGifti = 1,
    kFileTypeSrf = 2,
    kFileTypeMtc = 3,
    kFileTypeSmp = 4,
    kFileTypePoi = 5,
};

}  // namespace meshbridge
