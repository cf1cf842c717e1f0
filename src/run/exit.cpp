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

}  // namespace

void fatalExit(int code) {
  exiting.lock();
  stopWorkAndRemoveTempFiles();
  endProcess(code);
}

void plainExit(int code) {
  exiting.lock();
  if (tempNamesInUse) stopWorkAndRemoveTempFiles();
  endProcess(code);
}

void signalExit(int signal) {
  exiting.lock();
  const char* name = signal == SIGTERM ? "SIGTERM" : signal == SIGHUP ? "SIGHUP" : signal == SIGINT ? "SIGINT" : "";
  std::cout << "\nError: Run stopped by signal " << signal << " (" << name << ").\n";
  stopWorkAndRemoveTempFiles();
  endProcess(128 + signal);
}

void finishRun() {
  exiting.lock();
  removeTempFiles();
}
