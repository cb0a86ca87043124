// The part of the text lookup that is the same everywhere: the string module and the shared text
// buffer, and the choice of buffer and size that keeps every write inside its buffer.
#include "common/support/localised_text.h"

#include "common/support/text_source.h"

namespace {

ModuleHandle gStringModule = nullptr;

// Used by the user-interface thread and by the worker without a lock: the user-interface thread
// loads no texts while it waits in the progress dialog, so the two never use it at once.
char16_t gSharedText[kSharedTextChars];

}  // namespace

void setStringModule(ModuleHandle module) {
    gStringModule = module;
}

ModuleHandle stringModule() {
    return gStringModule;
}

const char16_t* loadText(uint32_t id, char16_t* buffer, int32_t size) {
    if (size == -1) size = kSharedTextChars;
    // Without room for the terminator nothing can be written, not even the empty string.
    if (size <= 0) return u"";
    if (buffer == nullptr) {
        buffer = gSharedText;
        if (size > kSharedTextChars) size = kSharedTextChars;
    }
    buffer[0] = 0;
    findText(id, buffer, size);
    return buffer;
}

const char16_t* loadTextOrEnglish(uint32_t id) {
    const char16_t* text = loadText(id);
    if (text[0] == 0) findOwnText(id, gSharedText, kSharedTextChars);
    return text;
}
