// The failures that reach the program from outside its own code: an allocation that fails on
// any thread, an exception that nothing catches, a library that ends the process by calling exit.
// Each ends the run through the exits, so that no temporary file (the lock file included) is left.
#pragma once

// Call before anything else in main, before any other thread exists. Keeps a reserve of memory,
// which only the thread that ends the run gets, should its clean-up run out; installs the
// new-handler (ends the run through memoryExit), the terminate handler (a std::bad_alloc through
// memoryExit, any other exception through uncaughtExceptionExit and the library's own report)
// and the exit hook (an exit before the run is complete through libraryExit).
void installFailureHandlers();

// Starts the OpenMP runtime's threads, which it keeps for every later parallel region: a runtime
// that cannot start them ends the process now, before any temporary file exists, and the exit
// hook says why. Call once the thread count is set.
void startThreads();
