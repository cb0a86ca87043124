#include "tests/gui/process_driver.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "tests/gui/gui_driver.h"

namespace gui {

namespace {

struct Search {
    DWORD processId;
    std::vector<HWND> found;
};

BOOL CALLBACK collect(HWND window, LPARAM lParam) {
    auto* search = reinterpret_cast<Search*>(lParam);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && IsWindowVisible(window)) search->found.push_back(window);
    return TRUE;
}

std::wstring classOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

template <typename Found>
HWND poll(int timeoutMs, Found found) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
        if (HWND w = found()) return w;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < end);
    return nullptr;
}

}  // namespace

Program::~Program() {
    if (info.hProcess != nullptr) {
        if (running()) {
            TerminateProcess(info.hProcess, 1);
            WaitForSingleObject(info.hProcess, 5000);
        }
        CloseHandle(info.hProcess);
        CloseHandle(info.hThread);
    }
}

bool Program::start(const std::wstring& commandLine, const std::wstring& directory,
                    const std::vector<std::wstring>& environment) {
    // The child's environment block: ours, with the given entries replacing same-named ones.
    std::vector<std::wstring> entries;
    if (wchar_t* block = GetEnvironmentStringsW()) {
        for (const wchar_t* p = block; *p != 0; p += wcslen(p) + 1) entries.emplace_back(p);
        FreeEnvironmentStringsW(block);
    }
    for (const std::wstring& add : environment) {
        const std::wstring name = add.substr(0, add.find(L'=') + 1);
        std::erase_if(entries, [&](const std::wstring& e) {
            return _wcsnicmp(e.c_str(), name.c_str(), name.size()) == 0;
        });
        entries.push_back(add);
    }
    std::wstring block;
    for (const std::wstring& e : entries) block += e + L'\0';
    block += L'\0';

    std::wstring line = commandLine;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    return CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                          block.data(), directory.empty() ? nullptr : directory.c_str(), &startup,
                          &info) != 0;
}

long Program::waitForExit(int timeoutMs) {
    if (info.hProcess == nullptr) return -1;
    if (WaitForSingleObject(info.hProcess, static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0) {
        TerminateProcess(info.hProcess, 1);
        WaitForSingleObject(info.hProcess, 5000);
        return -1;
    }
    DWORD status = 0;
    GetExitCodeProcess(info.hProcess, &status);
    return static_cast<long>(status);
}

bool Program::running() const {
    return info.hProcess != nullptr && WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT;
}

std::vector<HWND> windowsOf(DWORD processId) {
    Search search{processId, {}};
    EnumWindows(collect, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND waitForWindow(DWORD processId, const std::wstring& caption, const std::wstring& className,
                   int timeoutMs) {
    return poll(timeoutMs, [&]() -> HWND {
        for (HWND w : windowsOf(processId)) {
            if (!className.empty() && classOf(w) != className) continue;
            if (!caption.empty() && textOf(w) != caption) continue;
            return w;
        }
        return nullptr;
    });
}

HWND waitForNewWindow(DWORD processId, const std::vector<HWND>& known, int timeoutMs) {
    return poll(timeoutMs, [&]() -> HWND {
        for (HWND w : windowsOf(processId))
            if (std::find(known.begin(), known.end(), w) == known.end()) return w;
        return nullptr;
    });
}

std::wstring messageBoxText(HWND window) {
    // A message box's text is the static control with id 0xFFFF.
    if (window == nullptr) return L"";
    HWND text = GetDlgItem(window, 0xFFFF);
    return text != nullptr ? textOf(text) : L"";
}

void press(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

}  // namespace gui
