// The plug-in's library-wide values (see library_state.h).
#include "sfxbuild/library_state.h"

namespace {

HINSTANCE g_ownModule = nullptr;
char16_t g_selectionFolder[kSelectionFolderChars];

}  // namespace

HINSTANCE ownModule() {
    return g_ownModule;
}

void setOwnModule(HINSTANCE module) {
    g_ownModule = module;
}

char16_t* selectionFolder() {
    return g_selectionFolder;
}
