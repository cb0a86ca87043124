// Where a running job reports: a status line, a percentage line, a bar that shows the same
// percentage, and the end of the progress display. On Windows that is the progress
// dialog's controls (DialogProgress); the command-line tool and the tests bring their own.
#pragma once

#include <cstdint>

#include "common/crypto/key_recipe.h"
#include "common/support/platform_types.h"

struct ProgressSink : KeyDerivationWatch {
    virtual ~ProgressSink() = default;

    // What is bound; a job only reports to what is there.
    virtual bool hasDialog() const = 0;
    virtual bool hasStatus() const = 0;
    virtual bool hasPercent() const = 0;
    virtual bool hasBar() const = 0;

    virtual void showStatus(const char16_t* text) = 0;
    virtual void showPercent(const char16_t* text) = 0;
    // Moves the bar to the percentage, at each change of it.
    virtual void moveBar(uint32_t percent) = 0;
    // Asked, before anything is written, whether to go on with an archive that cannot be checked
    // for changes: it has no integrity record, or (`laterVersion`) one of a version this program
    // does not know. Only a sink that can ask the user answers anything but no.
    virtual bool allowUnverified(bool laterVersion) {
        (void)laterVersion;
        return false;
    }
    // A reader's hardened key is being derived (up to a second, before any file): the status
    // line says so. Defined with the reader.
    void derivingKey(const KeyRecipe& recipe) override;
    // The job's last act: ends the progress dialog with this result.
    virtual void endDialog(int result) = 0;
};

// The window handles of a bound progress dialog, reporting through window messages sent from
// the worker thread to the controls (and nothing at all off Windows, where none exist).
struct DialogProgress final : ProgressSink {
    WindowHandle dialog = nullptr;
    WindowHandle status = nullptr;
    WindowHandle percent = nullptr;
    WindowHandle bar = nullptr;

    // Looks the controls up by id in the dialog; an id of 0 gives no control.
    void bind(WindowHandle dialogWindow, int statusId, int percentId, int barId);
    void clear() { dialog = status = percent = bar = nullptr; }

    bool hasDialog() const override { return dialog != nullptr; }
    bool hasStatus() const override { return status != nullptr; }
    bool hasPercent() const override { return percent != nullptr; }
    bool hasBar() const override { return bar != nullptr; }
    void showStatus(const char16_t* text) override;
    void showPercent(const char16_t* text) override;
    void moveBar(uint32_t percent) override;
    // Asks the user in a message box over the dialog, on the dialog's own thread; default No.
    bool allowUnverified(bool laterVersion) override;
    void endDialog(int result) override;
};
