// One export call the way a host makes it: the export looked up by name, called through a
// pointer of its exact type with the C calling convention, the module handles and strings
// prepared as the call asks. Windows only.
#pragma once

#include <windows.h>

#include "tools/pluginhost/host_options.h"

// Exit statuses of the host itself, apart from what an export returns (always 0).
enum HostStatus : int {
    kHostBadUsage = 64,
    kHostNoPlugin = 65,  // the plug-in could not be loaded
    kHostNoExport = 66,  // not an export name, or the plug-in lacks it
    kHostNoModule = 67,  // a --language or --host module could not be loaded
};

// Makes `call` on `plugin`. Returns the export's result, or a HostStatus when the call could not
// be made. Modules loaded for the call stay loaded, as a host's would.
int callExport(HMODULE plugin, const HostCall& call);
