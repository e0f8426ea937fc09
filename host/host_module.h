// The platform's way of finding the host module and the functions it exports.
#pragma once

namespace meshbridge {

// Handle of the host module, or null when it is not loaded in this process.
void* findHostModule();

// Address of the exported function `name` of the host module, or null.
void* findHostSymbol(void* module, const char* name);

}  // namespace meshbridge
