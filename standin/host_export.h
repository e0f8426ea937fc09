#pragma once

// Marks the zt* functions that the stand-in exports from its executable, where
// the plug-in finds them by name.
#if defined(_WIN32)
#define MESHBRIDGE_HOST_API __declspec(dllexport)
#else
#define MESHBRIDGE_HOST_API __attribute__((visibility("default")))
#endif
