#include "web/engine/page_progress.h"

#include "common/support/code_page.h"

#define QUILLON_PAGE_CALL(name) __attribute__((import_module("quillon"), import_name(#name)))

extern "C" {
QUILLON_PAGE_CALL(progress_status) void pageProgressStatus(const char16_t* text, uint32_t chars);
QUILLON_PAGE_CALL(progress_percent) void pageProgressPercent(uint32_t percent);
}

void PageProgress::showStatus(const char16_t* text) {
    pageProgressStatus(text, wideLength(text));
}

void PageProgress::moveBar(uint32_t percent) {
    pageProgressPercent(percent);
}
