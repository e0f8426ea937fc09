#include "host/host_functions.h"

#include "host/host_module.h"

namespace meshbridge {

HostFunctions& hostFunctions() {
    static HostFunctions table;
    return table;
}

bool loadHostFunctions() {
    HostFunctions& table = hostFunctions();
    table = HostFunctions{};
    void* module = findHostModule();
    if (!module) return false;

    HostFunctions bound;
#define MESHBRIDGE_BIND(name) \
    bound.name = reinterpret_cast<name##_t*>(findHostSymbol(module, #name));
    MESHBRIDGE_HOST_FUNCTIONS(MESHBRIDGE_BIND)
#undef MESHBRIDGE_BIND
    if (!bound.ztGetVersionOfCorvanaZT) return false;
    table = bound;
    return true;
}

}  // namespace meshbridge
