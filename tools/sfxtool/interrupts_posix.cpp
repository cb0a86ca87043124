#include <signal.h>

#include "common/support/stop_request.h"
#include "tools/sfxtool/commands.h"
#include "tools/sfxtool/interrupts.h"

namespace {

bool reported = false;

// Only what is safe in a signal handler: the engine looks at the request at its next read or
// write. A second signal changes nothing; the run is already ending.
extern "C" void onSignal(int signal) {
    requestStop(signal);
}

const char16_t* nameOf(int signal) {
    switch (signal) {
        case SIGINT:
            return u"SIGINT";
        case SIGTERM:
            return u"SIGTERM";
        default:
            return u"SIGHUP";
    }
}

}  // namespace

void catchInterrupts() {
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // Reads and writes the signal breaks into go on: the request is looked at between them.
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        // A signal ignored when sfxtool started stays ignored, as nohup and a shell starting a
        // job in the background ask.
        struct sigaction was {};
        if (sigaction(signal, nullptr, &was) == 0 && was.sa_handler == SIG_IGN) continue;
        sigaction(signal, &action, nullptr);
    }
}

bool interrupted() {
    return stopRequest() != 0;
}

int reportInterrupt(const std::u16string& outcome) {
    reported = true;
    complain(u"interrupted by " + std::u16string(nameOf(stopRequest())) + u": " + outcome);
    return 128 + stopRequest();
}

void endAsInterrupted() {
    if (!reported) return;
    const int signal = stopRequest();
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    raise(signal);
}
