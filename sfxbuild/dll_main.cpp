// The library entry. Loading the plug-in saves its module handle, which every dialog call and the
// self-extracting export need, and starts the log, whose header then describes the host program
// and this library. Nothing else happens until the host calls an export; nothing at unload.
#include <windows.h>

#include "common/support/log.h"
#include "sfxbuild/library_state.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        setOwnModule(instance);
        const ModuleHandle modules[1] = {instance};
        initLog(u"zq_sfx", modules, 1);
        // The library does no per-thread work.
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}
