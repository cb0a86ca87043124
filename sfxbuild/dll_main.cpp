// The library entry. Loading the plug-in saves its module handle, which every dialog call and the
// self-extracting export need. Nothing else happens until the host calls an export; nothing at
// unload.
//
// The log is not started here but by the first export call: starting it reads version resources
// and looks up optional functions, which loads libraries, and loading a library while the loader
// runs this entry (holding its lock) can deadlock the host.
#include <windows.h>

#include "sfxbuild/library_state.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        setOwnModule(instance);
        // The library does no per-thread work.
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}
