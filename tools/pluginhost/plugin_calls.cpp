// Calling the plug-in's exports (see plugin_calls.h).
#include "tools/pluginhost/plugin_calls.h"

#include <string>

namespace {

using CreateWide = int(__cdecl*)(HINSTANCE, HINSTANCE, HWND, const wchar_t*);
using CreateAnsi = int(__cdecl*)(HINSTANCE, HINSTANCE, HWND, const char*);
using DecryptWide = int(__cdecl*)(HINSTANCE, HINSTANCE, HWND, const wchar_t*, const wchar_t*);
using DecryptAnsi = int(__cdecl*)(HINSTANCE, HINSTANCE, HWND, const char*, const char*);

struct ExportShape {
    const char* name;
    bool decrypt;  // takes an archive path before the password
    bool ansi;
};

constexpr ExportShape kExports[] = {
    {"create_sfx_archive_a", false, true},
    {"create_sfx_archive_w", false, false},
    {"decrypt_a", true, true},
    {"decrypt_w", true, false},
    {"encrypt_a", false, true},
    {"encrypt_w", false, false},
};

const ExportShape* shapeOf(const std::wstring& name) {
    for (const ExportShape& e : kExports) {
        if (name == std::wstring(e.name, e.name + strlen(e.name))) return &e;
    }
    return nullptr;
}

std::string ansiOf(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? static_cast<size_t>(size) : 1, '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
    out.resize(strlen(out.c_str()));
    return out;
}

// The module a name gives, loaded for the rest of the process; `fallback` for no name.
bool moduleFor(const std::wstring& path, HINSTANCE fallback, HINSTANCE& module) {
    module = path.empty() ? fallback : LoadLibraryW(path.c_str());
    return path.empty() || module != nullptr;
}

template <typename Function>
Function typed(FARPROC address) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(address));
}

}  // namespace

int callExport(HMODULE plugin, const HostCall& call) {
    const ExportShape* shape = shapeOf(call.exportName);
    if (shape == nullptr) return kHostNoExport;
    const FARPROC address = GetProcAddress(plugin, shape->name);
    if (address == nullptr) return kHostNoExport;

    HINSTANCE host = nullptr;
    HINSTANCE language = nullptr;
    if (!moduleFor(call.host, call.nullHost ? nullptr : GetModuleHandleW(nullptr), host) ||
        !moduleFor(call.language, nullptr, language)) {
        return kHostNoModule;
    }
    const HWND owner = nullptr;

    if (shape->ansi) {
        const std::string password = ansiOf(call.password);
        const std::string archive = ansiOf(call.archive);
        const char* p = call.hasPassword ? password.c_str() : nullptr;
        const char* a = call.hasArchive ? archive.c_str() : nullptr;
        if (shape->decrypt) return typed<DecryptAnsi>(address)(host, language, owner, a, p);
        return typed<CreateAnsi>(address)(host, language, owner, p);
    }
    const wchar_t* p = call.hasPassword ? call.password.c_str() : nullptr;
    const wchar_t* a = call.hasArchive ? call.archive.c_str() : nullptr;
    if (shape->decrypt) return typed<DecryptWide>(address)(host, language, owner, a, p);
    return typed<CreateWide>(address)(host, language, owner, p);
}
