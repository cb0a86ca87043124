// No dialogs exist off Windows: binding finds no controls, so a job bound this way reports
// nothing. Front ends there bind a ProgressSink of their own instead.
#include "common/archive/progress_sink.h"

void DialogProgress::bind(WindowHandle, int, int, int) {
    clear();
}
void DialogProgress::showStatus(const char16_t*) {}
void DialogProgress::showPercent(const char16_t*) {}
void DialogProgress::moveBar(uint32_t) {}
bool DialogProgress::allowUnverified(bool) {
    return false;
}
void DialogProgress::endDialog(int) {}
