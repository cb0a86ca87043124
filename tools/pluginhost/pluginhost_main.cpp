// The plug-in test host: a small Windows program that loads sfxbuild.dll and calls its exports
// by name, as a host application would, so that people and the GUI tests can open the plug-in's
// dialogs from a command line. It carries the string table in its own resources, as a host does,
// so texts the plug-in looks up in the host come from here. The exit status is the first non-zero
// result of the calls, or one of the host's own statuses (plugin_calls.h).
#include <windows.h>

#include <shellapi.h>

#include <string>
#include <vector>

#include "tools/pluginhost/host_options.h"
#include "tools/pluginhost/plugin_calls.h"

namespace {

// Writes to the standard output when there is one (a console, a pipe, a file); a person who
// started the host without one sees `text` in a message box when it is an error.
void tell(const std::wstring& text, bool error) {
    const HANDLE out = GetStdHandle(error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    if (out == nullptr || out == INVALID_HANDLE_VALUE) {
        if (error) MessageBoxW(nullptr, text.c_str(), L"pluginhost", MB_OK | MB_ICONERROR);
        return;
    }
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return;
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, bytes.data(), size, nullptr, nullptr);
    DWORD written = 0;
    WriteFile(out, bytes.data(), static_cast<DWORD>(size - 1), &written, nullptr);
}

std::vector<std::wstring> argumentsAfterProgram() {
    int count = 0;
    wchar_t** list = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> args;
    for (int i = 1; list != nullptr && i < count; ++i) args.emplace_back(list[i]);
    LocalFree(list);
    return args;
}

std::wstring pluginBesideHost() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    folder.resize(folder.find_last_of(L"\\/") + 1);
    return folder + L"sfxbuild.dll";
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    HostOptions options;
    const std::wstring wrong = parseHostOptions(argumentsAfterProgram(), options);
    if (!wrong.empty()) {
        tell(L"pluginhost: " + wrong + L"\n" + kHostUsage, true);
        return kHostBadUsage;
    }

    const std::wstring path = options.plugin.empty() ? pluginBesideHost() : options.plugin;
    const HMODULE plugin = LoadLibraryW(path.c_str());
    if (plugin == nullptr) {
        tell(L"pluginhost: cannot load " + path + L"\n", true);
        return kHostNoPlugin;
    }

    int status = 0;
    for (const HostCall& call : options.calls) {
        const int result = callExport(plugin, call);
        if (result == kHostNoExport || result == kHostNoModule) {
            tell(L"pluginhost: cannot call " + call.exportName + L"\n", true);
        } else {
            tell(call.exportName + L" returned " + std::to_wstring(result) + L"\n", false);
        }
        if (status == 0) status = result;
    }
    FreeLibrary(plugin);
    return status;
}
