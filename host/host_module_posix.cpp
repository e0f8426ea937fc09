// POSIX: the host is the program that loaded the plug-in; its exported
// functions are found among the program's global symbols.
#include "host/host_module.h"

#include <dlfcn.h>

namespace meshbridge {

void* findHostModule() {
    return dlopen(nullptr, RTLD_NOW);
}

void* findHostSymbol(void* module, const char* name) {
    return module ? dlsym(module, name) : nullptr;
}

}  // namespace meshbridge
