#include "run/exit.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>

#include "run/temp_files.h"

namespace {

// A second thread failing at the same moment waits here for the first to end the process.
std::mutex exiting;

[[noreturn]] void endProcess(int code) {
  std::cout.flush();
  std::fflush(nullptr);
  std::_Exit(code);
}

}  // namespace

void fatalExit(int code) {
  exiting.lock();
  removeTempFiles();
  endProcess(code);
}

void plainExit(int code) {
  exiting.lock();
  endProcess(code);
}
