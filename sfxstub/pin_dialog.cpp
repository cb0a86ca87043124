// The PIN dialog. It shows what the exchange buffer carries, keeps OK disabled while the PIN edit
// is empty, and on OK writes the PIN over the start of the buffer. The buffer is read through a
// bounded copy, so a buffer without terminators shows cut texts rather than reading past its end.
#include "sfxstub/pin_dialog.h"

#include "common/support/localised_text.h"
#include "common/support/secure_zero.h"
#include "common/support/string_ids.h"
#include "common/support/wide_chars.h"
#include "common/support/window_helpers.h"
#include "sfxstub/resource_ids.h"

namespace {

// The open dialog's exchange buffer; interface thread only.
char16_t* g_exchange = nullptr;

void setText(HWND dialog, int id, uint32_t textId) {
    SetDlgItemTextW(dialog, id, wide(loadText(textId)));
}

// Shows the reader name and the label, the two strings at the start of the buffer, each cut at
// the buffer's end if it runs on.
void showReaderAndLabel(HWND dialog, const char16_t* exchange) {
    char16_t copy[kPinExchangeChars + 1] = {};
    if (exchange != nullptr) {
        for (int i = 0; i < kPinExchangeChars; ++i) copy[i] = exchange[i];
    }
    const char16_t* name = copy;
    const char16_t* label = name;
    while (*label != 0) ++label;
    if (label < copy + kPinExchangeChars) ++label;  // past the name's terminator
    SetDlgItemTextW(dialog, SFX_PIN_READER, wide(name));
    setBoldFont(dialog, SFX_PIN_READER, 10);
    setText(dialog, SFX_PIN_READER_CAPTION, kStrDevice);
    SetDlgItemTextW(dialog, SFX_PIN_LABEL, wide(label));
    secureZeroObject(copy);
}

void showTokenIcon(HWND dialog) {
    // A shared icon of the program's own module: the system frees it, not the dialog.
    const HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(SFX_ICON_TOKEN));
    if (icon != nullptr) {
        SendDlgItemMessageW(dialog, SFX_PIN_ICON, STM_SETIMAGE, IMAGE_ICON,
                            reinterpret_cast<LPARAM>(icon));
    }
}

void onInitDialog(HWND dialog, char16_t* exchange) {
    g_exchange = exchange;
    SetWindowTextW(dialog, L"PIN");
    setText(dialog, SFX_PIN_PROMPT, kStrKeyProtected);
    setText(dialog, SFX_PIN_OK, kStrOk);
    setText(dialog, SFX_PIN_CANCEL, kStrCancel);
    showReaderAndLabel(dialog, exchange);
    setText(dialog, SFX_PIN_LABEL_CAPTION, kStrLabel);
    SetFocus(GetDlgItem(dialog, SFX_PIN_EDIT));
    EnableWindow(GetDlgItem(dialog, SFX_PIN_OK), FALSE);  // the edit is empty
    setText(dialog, SFX_PIN_EDIT_CAPTION, kStrEnterPin);
    SendDlgItemMessageW(dialog, SFX_PIN_EDIT, EM_LIMITTEXT, kPinEditLimit, 0);
    centreWindow(dialog, 0);
    showTokenIcon(dialog);
}

bool pinTyped(HWND dialog) {
    return GetWindowTextLengthW(GetDlgItem(dialog, SFX_PIN_EDIT)) > 0;
}

// The typed PIN must not outlive the dialog in the edit control's memory: it is overwritten in
// place with as many spaces (a text of the same length takes the same storage), then emptied,
// and the edit's undo memory with it.
void clearPin(HWND dialog) {
    const HWND edit = GetDlgItem(dialog, SFX_PIN_EDIT);
    const int length = GetWindowTextLengthW(edit);
    if (length > 0) {
        wchar_t spaces[kPinEditLimit + 1];
        const int n = length < kPinEditLimit ? length : kPinEditLimit;
        for (int i = 0; i < n; ++i) spaces[i] = L' ';
        spaces[n] = 0;
        SetWindowTextW(edit, spaces);
    }
    SetWindowTextW(edit, L"");
    SendMessageW(edit, EM_EMPTYUNDOBUFFER, 0, 0);
}

// OK with an empty edit (the button is disabled then, but a command can still be sent) is
// refused: the empty PIN has already been tried before the dialog opened.
void onOk(HWND dialog) {
    if (!pinTyped(dialog)) return;
    if (g_exchange != nullptr) {
        GetDlgItemTextW(dialog, SFX_PIN_EDIT, wide(g_exchange), kPinEditLimit);
    }
    clearPin(dialog);
    EndDialog(dialog, 1);
}

// True for the commands the dialog handles itself: its two buttons, Escape and the close box.
bool onCommand(HWND dialog, WPARAM wParam) {
    switch (LOWORD(wParam)) {
        case IDCANCEL:
        case SFX_PIN_CANCEL:
            clearPin(dialog);
            EndDialog(dialog, 0);
            return true;
        case SFX_PIN_OK:
            onOk(dialog);
            return true;
        case SFX_PIN_EDIT:
            EnableWindow(GetDlgItem(dialog, SFX_PIN_OK), pinTyped(dialog));
            return false;
        default:
            return false;
    }
}

// The label is drawn in blue on the button face; every other control keeps the system's colours.
INT_PTR onColourStatic(HDC dc, HWND control) {
    if (GetDlgCtrlID(control) != SFX_PIN_LABEL) return FALSE;
    SetTextColor(dc, kPinLabelColour);
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
}

}  // namespace

INT_PTR CALLBACK PinDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            onInitDialog(dialog, reinterpret_cast<char16_t*>(lParam));
            return FALSE;  // the focus stays in the PIN edit
        case WM_COMMAND:
            return onCommand(dialog, wParam) ? TRUE : FALSE;
        case WM_CTLCOLORSTATIC:
            return onColourStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        case WM_DESTROY:
            g_exchange = nullptr;
            return FALSE;
        default:
            return FALSE;
    }
}

// One bold font serves every PIN dialog of the process: a new one per dialog would pile up, one
// for each wrong PIN.
void setBoldFont(HWND dialog, int control, int points) {
    static HFONT font = nullptr;
    static LONG fontHeight = 0;
    const HDC dc = GetDC(dialog);
    const LONG height = -MulDiv(points, GetDeviceCaps(dc, LOGPIXELSY), 72);
    if (font == nullptr || height != fontHeight) {
        font = CreateFontW(height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                           VARIABLE_PITCH | FF_SWISS, L"MS Shell Dlg");
        fontHeight = height;
    }
    SendDlgItemMessageW(dialog, control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    ReleaseDC(dialog, dc);
}
