// Ctrl-C, a termination or a hang-up while create or extract write: caught, so that the run ends
// as a failed run does (the engine stops at its next read or write and removes what it made;
// see stop_request.h), then said on standard error, with the status a shell gives a program the
// signal ended: 130 for an interrupt, 143 for a termination, 129 for a hang-up. A run that had
// already finished when the signal came has succeeded, and says so.
#pragma once

#include <string>

// From now on, the signals (Ctrl-C and Ctrl-Break, and the console closing, on Windows) ask the
// engine to stop instead of ending the process.
void catchInterrupts();

// Whether one came.
bool interrupted();

// Says on standard error which signal ended the run and `outcome` (what became of it), and
// returns the exit status for it.
int reportInterrupt(const std::u16string& outcome);

// After a reported interrupt, ends the process as the signal would have (where the system can
// tell the difference, so a shell running a loop stops too); returns otherwise.
void endAsInterrupted();
