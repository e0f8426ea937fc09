// Windows: the host is the module "Corvana.exe", already loaded in the process.
#include "host/host_module.h"

#include <windows.h>

namespace meshbridge {

void* findHostModule() {
    return reinterpret_cast<void*>(GetModuleHandleA("Corvana.exe"));
}

void* findHostSymbol(void* module, const char* name) {
    if (!module) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

}  // namespace meshbridge
