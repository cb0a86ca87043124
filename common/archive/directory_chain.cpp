#include "common/archive/directory_chain.h"

#include "common/archive/stored_name.h"
#include "common/archive/wide_buf.h"
#include "common/support/file_io.h"

void createDirectoryChain(const char16_t* path) {
    WideBuf prefix;
    prefix.assign(path);
    if (prefix.data == nullptr) return;
    char16_t* p = prefix.data;
    const uint32_t chars = prefix.length();
    // Every prefix that ends just before a separator past the root, then the whole path; a
    // failure (most often: it exists) is no reason to stop.
    for (uint32_t i = pathRootLength(p, chars); i < chars; ++i) {
        if (!isPathSeparator(p[i]) || i == 0 || isPathSeparator(p[i - 1])) continue;
        const char16_t separator = p[i];
        p[i] = 0;
        createFolder(p);
        p[i] = separator;
    }
    if (chars > pathRootLength(p, chars)) createFolder(p);
}
