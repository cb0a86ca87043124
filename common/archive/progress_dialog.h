// The progress dialog under which every engine job runs: a small caption-less window with a
// status line, a percentage line and a bar. It starts the job's worker thread when it opens; the
// job updates the three controls with window messages and, as its last act, asks the dialog to
// end. There is no cancel. Both deliverables carry the same template (progress_dialog.rc) under
// their own ids, which the front end names once per deliverable with a ProgressDialogIds.
// Windows only.
#pragma once

#include <windows.h>

#include <cstdint>

#include "common/archive/job_records.h"
#include "common/archive/progress_dialog_ids.h"

// Starts a writer job's worker: what a progress dialog that builds archives is given.
inline ThreadHandle startWriterWorker(ArchiveWriter& writer) {
    return writer.startWorker();
}

// The template and control ids of one deliverable's progress dialog, and how it starts a writer
// job. The extractor never builds archives, so its dialog has no writer starter and the writer,
// with everything it pulls in, stays out of the program; a writer job handed to it fails at once.
struct ProgressDialogIds {
    uint16_t dialog;
    int status;
    int percent;
    int bar;
    ThreadHandle (*startWriter)(ArchiveWriter& writer);
};

inline constexpr ProgressDialogIds kExtractorProgressDialog = {
    QUILLON_EXTRACTOR_PROGRESS_DIALOG, QUILLON_EXTRACTOR_PROGRESS_STATUS,
    QUILLON_EXTRACTOR_PROGRESS_PERCENT, QUILLON_EXTRACTOR_PROGRESS_BAR, nullptr};
inline constexpr ProgressDialogIds kPluginProgressDialog = {
    QUILLON_PLUGIN_PROGRESS_DIALOG, QUILLON_PLUGIN_PROGRESS_STATUS, QUILLON_PLUGIN_PROGRESS_PERCENT,
    QUILLON_PLUGIN_PROGRESS_BAR, startWriterWorker};

// Posted by a job to its progress dialog as its last act, with the dialog's result as the first
// parameter; the dialog ends itself on its own thread (DialogProgress::endDialog).
inline constexpr UINT kEndProgressMessage = WM_APP + 0x51;

// Sent by a reader job before anything is written when the archive cannot be checked for
// changes (first parameter 1: its record is of a later version; 0: it has none). The dialog asks
// the user in a message box, default No, and answers IDYES or IDNO.
inline constexpr UINT kAskUnverifiedMessage = WM_APP + 0x52;

// Runs the progress dialog modally over `owner` (null: centred on the screen) with `job` as its
// parameter, from the template `ids.dialog` in `module`. Returns 1 after a writer job, 0 after a
// reader job or when the job names neither record, -1 when the dialog could not be shown. When
// it returns, the worker thread has ended and its handle is closed (the record's handle is
// cleared, its id kept), so the caller may read and destroy the record at once.
[[nodiscard]] int runProgressDialog(HINSTANCE module, const ProgressDialogIds& ids, HWND owner,
                                    ProgressJob& job);

// The dialog procedure. It takes the control ids from the slot runProgressDialog fills, and
// answers every message with 0 (not handled), also the ones it acts on, except the reader's
// question (kAskUnverifiedMessage), whose answer it returns.
INT_PTR CALLBACK progressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
