#include "run/exit.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>

#include "run/shell_command.h"
#include "run/temp_files.h"

namespace {

// Held by the thread that ends the run: a second thread failing at the same moment (or the
// signal watcher) waits here for the first to end the process.
std::mutex exiting;
thread_local bool endingHere = false;

void takeTheEnd() {
  // Whichever thread ends the run, this one's work on temporary files stops here.
  leaveTemporaryFileWork();
  exiting.lock();
  endingHere = true;
}

// What runs in other threads may still be writing files under the prefix: plink runs are ended
// and the writing of filesets is waited for before anything is removed.
void stopWorkAndRemoveTempFiles() {
  stopChildProcesses();
  stopTemporaryFileWork();
  removeTempFiles();
}

[[noreturn]] void endProcess(int code) {
  std::cout.flush();
  std::fflush(nullptr);
  std::_Exit(code);
}

bool memoryReported = false;  // guarded by exiting
const char memoryMessage[] =
    "\nError: Out of memory: an allocation failed and the run cannot go on.\n";

}  // namespace

void fatalExit(int code) {
  takeTheEnd();
  stopWorkAndRemoveTempFiles();
  endProcess(code);
}

void plainExit(int code) {
  takeTheEnd();
  if (tempNamesInUse) stopWorkAndRemoveTempFiles();
  endProcess(code);
}

void signalExit(int signal) {
  takeTheEnd();
  const char* name = signal == SIGTERM ? "SIGTERM" : signal == SIGHUP ? "SIGHUP" : signal == SIGINT ? "SIGINT" : "";
  std::cout << "\nError: Run stopped by signal " << signal << " (" << name << ").\n";
  stopWorkAndRemoveTempFiles();
  endProcess(128 + signal);
}

void memoryExit() {
  // Only the thread that holds the end comes back here: its clean-up found no memory.
  const bool again = endingHere;
  if (!again) takeTheEnd();
  // A string literal through a stream whose buffer exists already: nothing is allocated.
  if (!memoryReported) std::cout << memoryMessage;
  memoryReported = true;
  if (!again) stopWorkAndRemoveTempFiles();
  endProcess(1);
}

void libraryExit() {
  takeTheEnd();
  std::cout << "\nError: A library ended the run before it was complete (its reason is on "
               "standard error).\n";
  stopWorkAndRemoveTempFiles();
  endProcess(1);
}

void uncaughtExceptionExit(void (*report)()) {
  if (!endingHere) {  // else the clean-up under way threw
    takeTheEnd();
    std::cout.flush();
    stopWorkAndRemoveTempFiles();
  }
  report();
  std::abort();  // report is expected to end the process itself
}

bool endingRunOnThisThread() { return endingHere; }

void finishRun() {
  takeTheEnd();
  removeTempFiles();
}
