// The named ways out of the program besides the normal end of main.
#pragma once

// Ends the run from any thread: stops plink runs still under way and waits for temporary files
// being written, removes the temporary files (unless --debug), flushes the output and ends the
// process with the given status. The process ends without running static destructors, so no
// other thread can meet a global being torn down; a second thread ending the run at the same
// time waits for the first.
[[noreturn]] void fatalExit(int code);

// The errors met before any temporary file can exist (command line, options, the plink probe,
// the generator's re-entry guard, the numerical routines). Once the temporary names are in use
// it ends the run as fatalExit does: a numerical error on a worker thread must not leave the
// files of the other threads behind.
[[noreturn]] void plainExit(int code);

// The end of a run stopped by SIGTERM, SIGHUP or SIGINT: says so, then ends as fatalExit does,
// with the status a shell reports for a process killed by the signal (128 + signal).
[[noreturn]] void signalExit(int signal);

// The end of a run that ran out of memory, from any thread: says so, then ends as fatalExit does
// with status 1. A thread that comes here again while it ends the run (its clean-up found no
// memory either) ends the process at once.
[[noreturn]] void memoryExit();

// The end of a run that a library ends by calling exit before the run is complete (the OpenMP
// runtime does when it cannot start a thread): says so, then ends as fatalExit does with status 1.
[[noreturn]] void libraryExit();

// The end of a run stopped by an exception that nothing catches: removes the temporary files as
// fatalExit does, then calls report, which names the exception and ends the process.
[[noreturn]] void uncaughtExceptionExit(void (*report)());

// True on the thread that is ending the run through one of the exits above or finishRun.
bool endingRunOnThisThread();

// The normal end of main: removes the temporary files (unless --debug) and keeps a signal that
// comes later from ending the process while it is being torn down.
void finishRun();
