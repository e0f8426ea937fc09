#pragma once

// Marks what the plug-in library exports under its plain names.
#if defined(_WIN32)
#if defined(MESHBRIDGE_BUILDING_PLUGIN)
#define MESHBRIDGE_PLUGIN_API __declspec(dllexport)
#else
#define MESHBRIDGE_PLUGIN_API
#endif
#else
#define MESHBRIDGE_PLUGIN_API __attribute__((visibility("default")))
#endif
