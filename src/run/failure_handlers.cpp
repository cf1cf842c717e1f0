#include "run/failure_handlers.h"

#include <omp.h>
#include <sys/mman.h>

#include <atomic>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <new>

#include "run/exit.h"

namespace {

// For whatever the C library may need while the run ends (the removal of the files itself
// allocates nothing). Mapped of its own, so that its release gives the room back to the system,
// where any arena or a thread's stack can take it.
constexpr size_t reserveSize = size_t{1} << 20;
std::atomic<void*> reserve = nullptr;

std::terminate_handler libraryTerminate = nullptr;

// Set while startThreads runs, for the exit hook's message.
std::atomic<bool> startingThreads = false;

bool releaseReserve() {
  void* const block = reserve.exchange(nullptr);
  if (block == nullptr) return false;
  munmap(block, reserveSize);
  return true;
}

// The reserve is for the thread that ends the run: once it is released, the threads still at
// work take the room at once. A thread that fails first waits in memoryExit for the end (or
// takes it); only the ending thread, out of memory while it removes the files, gets the reserve
// and tries again.
void outOfMemory() {
  if (endingRunOnThisThread() && releaseReserve()) return;
  memoryExit();
}

// std::bad_array_new_length is a std::bad_alloc that asked for a size no array can have: a
// fault of the program, not memory that ran out.
bool isOutOfMemory(const std::exception_ptr& error) {
  if (!error) return false;
  try {
    std::rethrow_exception(error);
  } catch (const std::bad_array_new_length&) {
    return false;
  } catch (const std::bad_alloc&) {
    return true;
  } catch (...) {
    return false;
  }
}

void reportUncaught() {
  if (libraryTerminate != nullptr) libraryTerminate();
  std::abort();
}

// A std::bad_alloc thrown without the new-handler (an allocator asked for more than it can
// count), or any exception that leaves a thread uncaught.
[[noreturn]] void onTerminate() {
  if (isOutOfMemory(std::current_exception())) memoryExit();
  uncaughtExceptionExit(reportUncaught);
}

// The normal end of main reaches here after finishRun; anything else is a library giving up.
void onExit() {
  if (endingRunOnThisThread()) return;
  if (startingThreads) {
    std::cout << "Error: Cannot start the " << omp_get_max_threads()
              << " threads of the run (the OpenMP runtime's reason is on standard error): too "
                 "little memory, or too many processes; fewer threads (--cpu) need less.\n";
    plainExit(1);
  }
  libraryExit();
}

}  // namespace

void installFailureHandlers() {
  void* const block = mmap(nullptr, reserveSize, PROT_READ | PROT_WRITE,
                           MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (block != MAP_FAILED) reserve = block;
  std::set_new_handler(outOfMemory);
  libraryTerminate = std::set_terminate(onTerminate);
  std::atexit(onExit);
}

void startThreads() {
  startingThreads = true;
  std::atomic<int> started = 0;  // a region with nothing to do would be left out by the compiler
#pragma omp parallel
  started.fetch_add(1);
  startingThreads = false;
}
