// Parsing the plug-in test host's command line (see host_options.h).
#include "tools/pluginhost/host_options.h"

const wchar_t kHostUsage[] =
    L"usage: pluginhost [--plugin PATH] EXPORT [--password P] [--archive PATH]\n"
    L"                  [--language DLL] [--host DLL | --null-host] [-- EXPORT ...]\n"
    L"EXPORT: create_sfx_archive_w, create_sfx_archive_a, encrypt_w, encrypt_a,\n"
    L"        decrypt_w, decrypt_a\n";

namespace {

// The option's value: the next argument, which must exist.
bool takeValue(const std::vector<std::wstring>& args, size_t& i, std::wstring& value) {
    if (i + 1 >= args.size()) return false;
    value = args[++i];
    return true;
}

}  // namespace

std::wstring parseHostOptions(const std::vector<std::wstring>& args, HostOptions& out) {
    out = HostOptions{};
    HostCall* call = nullptr;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring& a = args[i];
        bool ok = true;
        if (a == L"--") {
            call = nullptr;
            continue;
        }
        if (a == L"--plugin") {
            ok = takeValue(args, i, out.plugin);
        } else if (a.starts_with(L"--") && call == nullptr) {
            return L"an option before its export: " + a;
        } else if (a == L"--password") {
            ok = call->hasPassword = takeValue(args, i, call->password);
        } else if (a == L"--archive") {
            ok = call->hasArchive = takeValue(args, i, call->archive);
        } else if (a == L"--language") {
            ok = takeValue(args, i, call->language);
        } else if (a == L"--host") {
            ok = takeValue(args, i, call->host);
        } else if (a == L"--null-host") {
            call->nullHost = true;
        } else if (a.starts_with(L"--")) {
            return L"unknown option " + a;
        } else if (call == nullptr) {
            out.calls.emplace_back();
            call = &out.calls.back();
            call->exportName = a;
        } else {
            return L"unexpected argument " + a + L" (separate calls with --)";
        }
        if (!ok) return L"missing value after " + a;
    }
    if (out.calls.empty()) return L"no export named";
    return L"";
}
