// The password dialog. Encrypt mode keeps OK disabled while the two fields differ and rates the
// password on every notification from either edit; decrypt mode hides the confirmation and the
// meter and leaves OK alone. Nothing is reported to the user: a mismatch shows only as a disabled
// OK, weakness only on the bar.
#include "common/crypto/password_dialog.h"

#include "common/archive/byte_buf.h"
#include "common/crypto/password_cipher.h"
#include "common/crypto/password_code_page.h"
#include "common/crypto/quality_bar.h"
#include "common/support/localised_text.h"
#include "common/support/string_ids.h"
#include "common/support/wide_chars.h"
#include "common/support/window_helpers.h"

namespace {

// The one open dialog; written on the interface thread only.
struct OpenDialog {
    PasswordDialogIds ids{};
    WideBuf* buffer = nullptr;
    int fullWidth = 0;  // the bar's full width in encrypt mode; 0 in decrypt mode
    int lastQuality = 0;
    // Set once OK has read the password: ending the dialog moves the focus out of the edit, and
    // the notification that sends must not empty the buffer again.
    bool taken = false;
};
OpenDialog g_open;

bool sameText(const char16_t* a, const char16_t* b) {
    while (*a != 0 && *a == *b) ++a, ++b;
    return *a == *b;
}

bool encryptMode() {
    return g_open.fullWidth != 0;
}

// A usable caller's buffer: there, and large enough for an edit's text.
bool bufferReady() {
    return g_open.buffer != nullptr && g_open.buffer->data != nullptr &&
           g_open.buffer->capacity >= static_cast<uint32_t>(kPasswordEditLimit);
}

void emptyBuffer() {
    if (g_open.buffer != nullptr && g_open.buffer->data != nullptr) g_open.buffer->data[0] = 0;
}

// The edit's text, at most 63 characters and the terminator.
void readEdit(HWND dialog, int id, WideBuf& into) {
    GetDlgItemTextW(dialog, id, wide(into.data), kPasswordEditLimit);
}

void setText(HWND dialog, int id, uint32_t textId) {
    SetDlgItemTextW(dialog, id, wide(loadText(textId)));
}

void hide(HWND dialog, int id) {
    ShowWindow(GetDlgItem(dialog, id), SW_HIDE);
}

// The meter's verdict; 0 (an empty bar) when the dialog has no meter.
int rate(const uint8_t* ansi) {
    return g_open.ids.rate != nullptr ? g_open.ids.rate(ansi) : 0;
}

void onInitDialog(HWND dialog, WideBuf* buffer) {
    const PasswordDialogIds& ids = g_open.ids;
    g_open.buffer = buffer;
    const bool encrypt =
        buffer != nullptr && buffer->data != nullptr && sameText(buffer->data, kEncryptMode);
    g_open.fullWidth = 0;
    if (encrypt) {
        RECT bar;
        GetClientRect(GetDlgItem(dialog, ids.qualityBar), &bar);
        g_open.fullWidth = bar.right - bar.left;
    } else {
        hide(dialog, ids.qualityBar);
        hide(dialog, ids.qualityLabel);
        hide(dialog, ids.confirmEdit);
        hide(dialog, ids.confirmLabel);
    }
    g_open.lastQuality = 0;
    emptyBuffer();

    SendDlgItemMessageW(dialog, ids.passwordEdit, EM_LIMITTEXT, kPasswordEditLimit, 0);
    SendDlgItemMessageW(dialog, ids.confirmEdit, EM_LIMITTEXT, kPasswordEditLimit, 0);
    centreWindow(dialog, 0);

    SetWindowTextW(dialog, wide(loadText(kStrEnterPassword)));
    setText(dialog, ids.passwordLabel, kStrPassword);
    setText(dialog, ids.confirmLabel, kStrConfirmation);
    setText(dialog, ids.qualityLabel, kStrPasswordQuality);
    setText(dialog, IDOK, kStrOk);
    setText(dialog, IDCANCEL, kStrCancel);
}

// Any notification from either edit, focus changes included. The password is read into the
// caller's buffer only to be rated, and emptied again at once: it is read for good on OK.
void onEditChanged(HWND dialog) {
    if (!encryptMode() || !bufferReady() || g_open.taken) return;
    const PasswordDialogIds& ids = g_open.ids;
    WideBuf& password = *g_open.buffer;
    WideBuf confirmation;
    ByteBuf ansi;
    if (confirmation.data == nullptr || !ansi.ensureCapacity(kPasswordAnsiLimit + 1)) return;
    readEdit(dialog, ids.passwordEdit, password);
    readEdit(dialog, ids.confirmEdit, confirmation);
    EnableWindow(GetDlgItem(dialog, IDOK), sameText(password.data, confirmation.data));

    passwordAnsiBytes(password.data, ansi.data);  // the zeroed buffer terminates it
    password.data[0] = 0;
    const int quality = rate(ansi.data);
    const HWND bar = GetDlgItem(dialog, ids.qualityBar);
    if (quality <= 0) {
        g_open.lastQuality = 0;
        paintQualityBar(bar, g_open.fullWidth, 0);
    } else if (quality != g_open.lastQuality) {
        g_open.lastQuality = quality;
        paintQualityBar(bar, g_open.fullWidth, quality);
    }
    // confirmation and ansi are wiped over their whole capacity as they go.
}

// The confirmation is not compared again: in encrypt mode OK is enabled only while the fields
// match. A press that arrives while it is disabled (sent by another program, say) is refused, so
// an unconfirmed password can never be taken.
//
// A new password with characters the code page cannot hold is refused here, with the reason:
// the key is made from its code-page bytes, where they would turn into question marks.
void onOk(HWND dialog) {
    if (encryptMode() && !IsWindowEnabled(GetDlgItem(dialog, IDOK))) return;
    if (bufferReady()) readEdit(dialog, g_open.ids.passwordEdit, *g_open.buffer);
    if (encryptMode() && bufferReady() && !passwordFitsCodePage(g_open.buffer->data)) {
        g_open.buffer->data[0] = 0;
        MessageBoxW(dialog, wide(loadTextOrEnglish(kStrPasswordCodePage)), nullptr,
                    MB_OK | MB_ICONWARNING);
        return;
    }
    g_open.taken = true;
    EndDialog(dialog, IDOK);
}

void onCancel(HWND dialog) {
    emptyBuffer();
    EndDialog(dialog, IDCANCEL);
}

void onCommand(HWND dialog, WPARAM wParam) {
    const int id = LOWORD(wParam);
    if (id == IDOK) {
        onOk(dialog);
    } else if (id == IDCANCEL) {
        onCancel(dialog);
    } else if (id == g_open.ids.passwordEdit || id == g_open.ids.confirmEdit) {
        onEditChanged(dialog);
    }
}

// The quality bar is filled with the colour of the last quality whenever it paints itself.
INT_PTR onColourStatic(HDC dc, HWND control, HWND dialog) {
    if (!encryptMode() || control != GetDlgItem(dialog, g_open.ids.qualityBar)) return FALSE;
    const HBRUSH brush = qualityBarBrush();
    if (brush == nullptr) return FALSE;
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<INT_PTR>(brush);
}

}  // namespace

INT_PTR CALLBACK passwordDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            onInitDialog(dialog, reinterpret_cast<WideBuf*>(lParam));
            return TRUE;  // the system puts the focus on the first control
        case WM_COMMAND:
            onCommand(dialog, wParam);
            return TRUE;
        case WM_CTLCOLORSTATIC:
            return onColourStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam),
                                  dialog);
        default:
            return FALSE;
    }
}

int runPasswordDialog(HINSTANCE module, const PasswordDialogIds& ids, HWND owner,
                      WideBuf& password) {
    g_open = OpenDialog{};
    g_open.ids = ids;
    const INT_PTR result = DialogBoxParamW(module, MAKEINTRESOURCEW(ids.dialog), owner,
                                           passwordDialogProc, reinterpret_cast<LPARAM>(&password));
    if (result != IDOK && password.data != nullptr) password.data[0] = 0;
    resetQualityBar();
    g_open = OpenDialog{};
    return static_cast<int>(result);
}
