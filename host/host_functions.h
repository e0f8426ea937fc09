// The table of host functions the plug-in calls, bound by name at initialisation.
#pragma once

#include "host/host_api.h"

namespace meshbridge {

struct HostFunctions {
#define MESHBRIDGE_SLOT(name) name##_t* name = nullptr;
    MESHBRIDGE_HOST_FUNCTIONS(MESHBRIDGE_SLOT)
#undef MESHBRIDGE_SLOT
};

// The bound table. Empty until loadHostFunctions succeeds; tests may fill it
// with functions of their own.
HostFunctions& hostFunctions();

// Binds every host function by name in the host module. Fails only when the
// module or ztGetVersionOfCorvanaZT cannot be found; any other missing function
// leaves its slot empty. On failure the table is left empty.
bool loadHostFunctions();

}  // namespace meshbridge
