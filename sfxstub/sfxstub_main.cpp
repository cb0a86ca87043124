// Program entry of the extractor, the program every self-extracting archive is a copy of. It
// puts the token library on disk and binds it, runs the main dialog until the user closes it,
// and then takes the library away again. The exit status is always 0.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include "common/support/log.h"
#include "sfxstub/self_extract_dialog.h"
#include "sfxstub/token_library.h"

namespace {

// Libraries the system loads later by bare name (the shell's, for the folder browser) come from
// the system directory only, never from the archive's own folder, where anybody may have left a
// file. Looked up at run time: systems without the call keep their usual search order.
void searchLibrariesInSystemDirectoryOnly() {
    constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
    using SetDirectories = BOOL(WINAPI*)(DWORD);
    const auto setDirectories = reinterpret_cast<SetDirectories>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (setDirectories != nullptr) setDirectories(kSearchSystem32);
}

// The main dialog with what it needs around it: COM for the shell's folder browser, and the
// common controls (the manifest asks for version 6, whose dialogs need them registered).
void runMainDialog(HINSTANCE instance) {
    const HRESULT com = CoInitialize(nullptr);
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    runSelfExtractDialog(instance);
    if (SUCCEEDED(com)) CoUninitialize();
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    searchLibrariesInSystemDirectoryOnly();
    const ModuleHandle logged[1] = {instance};
    initLog(u"zq_sfx", logged, 1);
    // Neither result is looked at here: without a bound library the token simply yields no
    // password and Extract goes straight to the typed one.
    TokenLibraryFile library = writeTokenLibrary(instance);
    HMODULE tokenModule = nullptr;
    bindTokenLibrary(library, &tokenModule);
    runMainDialog(instance);
    // The file can only be deleted once nothing has it loaded.
    if (tokenModule != nullptr) FreeLibrary(tokenModule);
    removeTokenLibrary(library);
    return 0;
}
