// The six functions a host calls, by name, with the C calling convention (the caller removes the
// arguments). The first call of the process starts the log. Each chooses the module the texts
// come from, opens one modal dialog over the host's window with a request record built here, and
// returns 0 when it has closed: the outcome is shown to the user by the dialogs, never reported to
// the host. The ANSI forms convert their strings and go through the wide ones.
#include <windows.h>

#include "common/archive/wide_buf.h"
#include "common/support/localised_text.h"
#include "common/support/log.h"
#include "common/support/wide_chars.h"
#include "sfxbuild/com_apartment.h"
#include "sfxbuild/creation_dialog.h"
#include "sfxbuild/extraction_dialog.h"
#include "sfxbuild/library_state.h"
#include "sfxbuild/resource_ids.h"

namespace {

// Starts the log on the first export call of the process, describing the host program and this
// library. Not done at load: the loader's lock is held there (see dll_main.cpp). The exports run
// on the host's interface thread, one at a time, so a plain flag suffices.
void startLogOnce() {
    static bool started = false;
    if (started) return;
    started = true;
    const ModuleHandle modules[1] = {ownModule()};
    initLog(u"zq_sfx", modules, 1);
}

void chooseStringModule(HINSTANCE host, HINSTANCE language) {
    setStringModule(language != nullptr ? language : host);
}

// The text in the system's ANSI code page, converted into `room` (its default 520 characters,
// of which one always stays the terminator), or null for a null text. A text that does not fit
// arrives cut or empty.
const wchar_t* widen(const char* text, WideBuf& room) {
    if (text == nullptr || room.data == nullptr) return nullptr;
    wchar_t* out = wide(room.data);
    MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, -1, out, static_cast<int>(room.capacity) - 1);
    return out;
}

int runCreationExport(HINSTANCE host, HINSTANCE language, HWND owner, const wchar_t* password,
                      HMODULE stubModule) {
    startLogOnce();
    chooseStringModule(host, language);
    CreateRequest request;
    request.password = utf16(password);
    request.stubModule = stubModule;
    const ComApartment com;
    DialogBoxParamW(ownModule(), MAKEINTRESOURCEW(BUILD_CREATE_DIALOG), owner, CreationDialog,
                    reinterpret_cast<LPARAM>(&request));
    return 0;
}

}  // namespace

extern "C" {

int __cdecl create_sfx_archive_w(HINSTANCE host, HINSTANCE language, HWND owner,
                                 const wchar_t* password) {
    return runCreationExport(host, language, owner, password, ownModule());
}

int __cdecl encrypt_w(HINSTANCE host, HINSTANCE language, HWND owner, const wchar_t* password) {
    return runCreationExport(host, language, owner, password, nullptr);
}

int __cdecl decrypt_w(HINSTANCE host, HINSTANCE language, HWND owner, const wchar_t* archivePath,
                      const wchar_t* password) {
    startLogOnce();
    chooseStringModule(host, language);
    ExtractRequest request;
    request.password = utf16(password);
    request.ownerModule = nullptr;
    request.archivePath = utf16(archivePath);
    const ComApartment com;
    DialogBoxParamW(ownModule(), MAKEINTRESOURCEW(BUILD_EXTRACT_DIALOG), owner, ExtractionDialog,
                    reinterpret_cast<LPARAM>(&request));
    return 0;
}

int __cdecl create_sfx_archive_a(HINSTANCE host, HINSTANCE language, HWND owner,
                                 const char* password) {
    startLogOnce();
    WideBuf widePassword;
    return create_sfx_archive_w(host, language, owner, widen(password, widePassword));
}

int __cdecl encrypt_a(HINSTANCE host, HINSTANCE language, HWND owner, const char* password) {
    startLogOnce();
    WideBuf widePassword;
    return encrypt_w(host, language, owner, widen(password, widePassword));
}

int __cdecl decrypt_a(HINSTANCE host, HINSTANCE language, HWND owner, const char* archivePath,
                      const char* password) {
    startLogOnce();
    if (archivePath == nullptr) return 0;
    WideBuf widePath;
    WideBuf widePassword;
    return decrypt_w(host, language, owner, widen(archivePath, widePath),
                     widen(password, widePassword));
}

}  // extern "C"
