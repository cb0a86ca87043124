#include "tools/sfxtool/path_forms.h"

#include <algorithm>

#include "common/archive/visible_name.h"
#include "common/support/utf8.h"
#include "tools/sfxtool/console.h"

std::filesystem::path pathOf(const std::u16string& path) {
    std::u16string p = path;
#ifndef _WIN32
    std::replace(p.begin(), p.end(), u'\\', u'/');
#endif
    return std::filesystem::path(p);
}

std::u16string withBackslashes(std::u16string path) {
    std::replace(path.begin(), path.end(), u'/', u'\\');
    return path;
}

std::u16string shownName(std::u16string_view stored) {
    // Invisible formatting characters written out (visible_name.h), so that no name can pass
    // itself off as another in a listing or a message.
    const uint32_t chars = static_cast<uint32_t>(stored.size());
    std::u16string shown(std::size_t{chars} * kVisibleGrowth + 1, u'\0');
    shown.resize(visibleName(stored.data(), chars, shown.data(), chars * kVisibleGrowth + 1));
#ifndef _WIN32
    std::replace(shown.begin(), shown.end(), u'\\', u'/');
#endif
    return shown;
}

std::u16string reasonOf(const std::error_code& error) {
    // The system's own category carries errno, or GetLastError on Windows, which the console
    // words as everywhere else in sfxtool; the library's generic one has its own words.
    if (error.category() == std::system_category()) {
        return systemReason(static_cast<uint32_t>(error.value()));
    }
    return wideFromUtf8(error.message());
}
