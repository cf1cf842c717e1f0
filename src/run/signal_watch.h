// Termination signals (SIGTERM and SIGHUP from a scheduler or a closed session, SIGINT from the
// keyboard) end the run like a fatal error, temporary files and plink runs included.
#pragma once

// Call first in main, before any other thread exists: blocks the signals in the calling thread,
// so in every thread started later, and hands them to a thread of its own that ends the run
// through signalExit. A signal ignored when the program started (nohup, a background job of a
// non-interactive shell) stays ignored.
void watchTerminationSignals();
