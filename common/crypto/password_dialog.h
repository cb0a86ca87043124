// The password dialog of both deliverables. In encrypt mode it asks for a new password twice and
// rates it while it is typed; in decrypt mode it asks once. It only collects the text: the caller
// keys its job with it when it is not empty. The caller's buffer carries the mode in (its text is
// kEncryptMode, or anything else for decrypt mode) and the password out. One dialog is open at a
// time in a process. Windows only.
#pragma once

#include <windows.h>

#include <cstdint>

#include "common/archive/wide_buf.h"
#include "common/crypto/password_dialog_ids.h"
#include "common/crypto/password_quality.h"

// The template and control ids of one deliverable's password dialog (OK and Cancel are 1 and 2),
// and the meter that rates passwords in encrypt mode. A program that only ever asks for passwords
// to open archives passes no meter (kExtractorDecryptDialog), so the meter and its word list stay
// out of it; in encrypt mode such a dialog would leave the bar empty.
struct PasswordDialogIds {
    uint16_t dialog;
    int passwordLabel;
    int passwordEdit;
    int confirmLabel;
    int confirmEdit;
    int qualityLabel;
    int qualityBar;
    int (*rate)(const uint8_t* ansi);
};

inline constexpr PasswordDialogIds kExtractorPasswordDialog = {
    QUILLON_EXTRACTOR_PASSWORD_DIALOG, QUILLON_EXTRACTOR_PASSWORD_LABEL,
    QUILLON_EXTRACTOR_PASSWORD_EDIT,   QUILLON_EXTRACTOR_CONFIRM_LABEL,
    QUILLON_EXTRACTOR_CONFIRM_EDIT,    QUILLON_EXTRACTOR_QUALITY_LABEL,
    QUILLON_EXTRACTOR_QUALITY_BAR,     rateDialogPassword};
inline constexpr PasswordDialogIds kExtractorDecryptDialog = {
    QUILLON_EXTRACTOR_PASSWORD_DIALOG, QUILLON_EXTRACTOR_PASSWORD_LABEL,
    QUILLON_EXTRACTOR_PASSWORD_EDIT,   QUILLON_EXTRACTOR_CONFIRM_LABEL,
    QUILLON_EXTRACTOR_CONFIRM_EDIT,    QUILLON_EXTRACTOR_QUALITY_LABEL,
    QUILLON_EXTRACTOR_QUALITY_BAR,     nullptr};
inline constexpr PasswordDialogIds kPluginPasswordDialog = {
    QUILLON_PLUGIN_PASSWORD_DIALOG, QUILLON_PLUGIN_PASSWORD_LABEL,
    QUILLON_PLUGIN_PASSWORD_EDIT,   QUILLON_PLUGIN_CONFIRM_LABEL,
    QUILLON_PLUGIN_CONFIRM_EDIT,    QUILLON_PLUGIN_QUALITY_LABEL,
    QUILLON_PLUGIN_QUALITY_BAR,     rateDialogPassword};

// What the callers write into the buffer to choose the mode.
inline constexpr char16_t kEncryptMode[] = u"encrypt";
inline constexpr char16_t kDecryptMode[] = u"decrypt";

// Characters each edit accepts; the password handed back keeps one fewer (63).
inline constexpr int kPasswordEditLimit = 64;

// Runs the dialog `ids.dialog` of `module` modally over `owner`, with `password` (of at least
// kPasswordEditLimit characters) saying the mode. Returns 1 for OK, with the password edit's text
// in the buffer (at most 63 characters, possibly empty), or 2 for Cancel or a closed window, with
// the buffer empty. Returns -1 with the buffer empty when the dialog could not be shown.
[[nodiscard]] int runPasswordDialog(HINSTANCE module, const PasswordDialogIds& ids, HWND owner,
                                    WideBuf& password);

// The dialog procedure; its parameter is the caller's WideBuf. It takes the control ids from the
// slot runPasswordDialog fills.
INT_PTR CALLBACK passwordDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
