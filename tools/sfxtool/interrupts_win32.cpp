#include <windows.h>

#include "common/support/stop_request.h"
#include "tools/sfxtool/commands.h"
#include "tools/sfxtool/interrupts.h"

namespace {

// The reasons given to the stop request, numbered as the POSIX signals they stand for, so the
// exit status is the same on both systems. Ctrl-Break interrupts as Ctrl-C does.
constexpr int kInterrupt = 2;
constexpr int kBreak = 21;
constexpr int kHangUp = 1;

// Runs on a thread of its own that the system starts. Ctrl-C and Ctrl-Break are answered at
// once: the main thread ends the run. When the console closes, the system ends the process
// once this returns (or after a few seconds): the thread waits for the main thread to finish
// removing what the run made and end the process itself.
BOOL WINAPI onConsoleEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
            requestStop(kInterrupt);
            return TRUE;
        case CTRL_BREAK_EVENT:
            requestStop(kBreak);
            return TRUE;
        case CTRL_CLOSE_EVENT:
            requestStop(kHangUp);
            Sleep(5000);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

void catchInterrupts() {
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

bool interrupted() {
    return stopRequest() != 0;
}

int reportInterrupt(const std::u16string& outcome) {
    const int reason = stopRequest();
    complain(std::u16string(u"interrupted by ") +
             (reason == kBreak    ? u"Ctrl-Break"
              : reason == kHangUp ? u"the console closing"
                                  : u"Ctrl-C") +
             u": " + outcome);
    return reason == kBreak ? 128 + kInterrupt : 128 + reason;
}

void endAsInterrupted() {}
