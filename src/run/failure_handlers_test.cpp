#include "run/failure_handlers.h"

#include <gtest/gtest.h>
#include <omp.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>

#include "run/exit.h"
#include "run/settings.h"
#include "run/shell_command.h"
#include "run/signal_watch.h"
#include "run/temp_files.h"
#include "test_support/scratch_files.h"
#include "test_support/settings_snapshot.h"

namespace {

namespace fs = std::filesystem;

const std::string outOfMemory =
    "\nError: Out of memory: an allocation failed and the run cannot go on.\n";

// Kept where the compiler cannot drop the allocation that is stored in it.
void* volatile kept = nullptr;
void* volatile keptBlocks = nullptr;

// More than any machine has: the allocation fails at once, without a limit.
void allocateTooMuch() { kept = ::operator new(size_t{1} << 50); }

// Standard output of the death-test child goes to a file of the test's directory.
void captureOutput(const std::string& path) {
  if (!std::freopen(path.c_str(), "w", stdout)) std::_Exit(2);
}

// Runs fail on the second thread of an OpenMP team while the first waits for it.
void failOnAWorkerThread(const std::function<void()>& fail) {
#pragma omp parallel num_threads(2)
  {
    if (omp_get_thread_num() == 1) fail();
  }
}

// The address space the process holds now, in bytes.
rlim_t addressSpaceInUse() {
  std::ifstream statm("/proc/self/statm");
  rlim_t pages = 0;
  statm >> pages;
  return pages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE));
}

// Lets the process grow by only `room` bytes more.
void limitAddressSpace(rlim_t room) {
  const struct rlimit limit = {addressSpaceInUse() + room, RLIM_INFINITY};
  if (setrlimit(RLIMIT_AS, &limit) != 0) std::_Exit(3);
}

// Takes every byte the allocator can still give (under a limit of the room in use now), so that
// the next allocation of any size fails. The blocks are kept in a list threaded through them.
void exhaustMemory() {
  limitAddressSpace(0);
  void* chain = nullptr;
  for (size_t size = size_t{1} << 24; size >= sizeof(void*); size /= 2) {
    while (void* block = std::malloc(size)) {
      *static_cast<void**>(block) = chain;
      chain = block;
    }
  }
  keptBlocks = chain;
}

// Any allocation from here on ends the process with this status.
constexpr int allocatedWhileEnding = 4;
void refuseAllocations() {
  std::set_new_handler([] { std::_Exit(allocatedWhileEnding); });
}

class FailureHandlersDeathTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(directory.made());
    scratchPrefix = directory.path() + "/";
    debugLevel = 0;
    completeScratchPrefix();
    ASSERT_TRUE(fs::exists(scratchPrefix + "lockfile")) << scratchPrefix;
  }
  // The lock file (claimed above) and a file of a worker thread's scan, as a run has them.
  void makeTemporaryFiles() const {
    testsupport::writeWholeFile(scratchPrefix + "lockfile", "");
    testsupport::writeWholeFile(scratchPrefix + "cpu1ud.bed", "x");
  }
  void TearDown() override { removeTempFiles(); }
  std::string output() const { return testsupport::readWholeFile(directory.file("stdout.txt")); }
  bool temporaryFilesLeft() const {
    return fs::exists(scratchPrefix + "lockfile") || fs::exists(scratchPrefix + "cpu1ud.bed");
  }

  testsupport::settingsSnapshot settings;
  testsupport::scratchDirectory directory{"zuq-failure"};
};

// Whatever fails on a worker thread, the run ends through the exits that remove its files; only
// what is memory says so.
TEST_F(FailureHandlersDeathTest, AFailureOnAWorkerThreadEndsTheRunAndLeavesNoFiles) {
  struct failureCase {
    const char* what;
    bool throughTheNewHandler;
    std::function<void()> fail;
    std::function<bool(int)> ends;
    const char* standardError;  // a regular expression
    std::string standardOutput;
  };
  const failureCase cases[] = {
      {"an allocation that fails", true, allocateTooMuch, testing::ExitedWithCode(1), "^$",
       outOfMemory},
      {"a std::bad_alloc thrown past the new-handler", false, [] { throw std::bad_alloc(); },
       testing::ExitedWithCode(1), "^$", outOfMemory},
      // Faults of the program, not memory: the library names them and aborts, as without the
      // handlers, but the files go first.
      {"a std::length_error", false, [] { throw std::length_error("vector::reserve"); },
       testing::KilledBySignal(SIGABRT), "instance of 'std::length_error'.*vector::reserve", ""},
      {"a std::bad_array_new_length", false, [] { throw std::bad_array_new_length(); },
       testing::KilledBySignal(SIGABRT), "instance of 'std::bad_array_new_length'", ""},
      // What the OpenMP runtime does when it cannot go on.
      {"a library that calls exit", false, [] { std::exit(3); }, testing::ExitedWithCode(1), "^$",
       "\nError: A library ended the run before it was complete (its reason is on standard "
       "error).\n"},
  };
  for (const failureCase& c : cases) {
    SCOPED_TRACE(c.what);
#ifdef ZUQ_SANITIZED
    // The sanitizers' allocator answers a failed allocation itself, without the new-handler.
    if (c.throughTheNewHandler) continue;
#endif
    makeTemporaryFiles();
    const std::string capture = directory.file("stdout.txt");
    std::fflush(stdout);
    EXPECT_EXIT(
        {
          captureOutput(capture);
          installFailureHandlers();
          failOnAWorkerThread(c.fail);
        },
        c.ends, c.standardError);
    EXPECT_EQ(output(), c.standardOutput);
    EXPECT_FALSE(temporaryFilesLeft());
  }
}

// A thread that runs out of memory while another ends the run waits for the end.
void failOnAnotherThread() {
  std::atomic<bool> failing = false;
  std::thread([&] {
    failing = true;
    std::get_new_handler()();
  }).detach();
  while (!failing) {
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
}

// The thread that ends the run and runs out of memory while it removes the files gets the
// reserve once and tries again; with none left it ends the run at once, saying why. The reserve
// is the ending thread's even when other threads run out of memory at the same time.
TEST_F(FailureHandlersDeathTest, TheEndingThreadGetsTheReserveOnce) {
  struct reserveCase {
    const char* what;
    bool anotherThreadFails;
  };
  const reserveCase cases[] = {{"alone", false}, {"while another thread fails too", true}};
  for (const reserveCase& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string capture = directory.file("stdout.txt");
    std::fflush(stdout);
    EXPECT_EXIT(
        {
          captureOutput(capture);
          installFailureHandlers();
          finishRun();  // this thread now holds the end
          if (c.anotherThreadFails) failOnAnotherThread();
          const std::new_handler handler = std::get_new_handler();
          handler();
          std::fputs("retried\n", stdout);
          handler();
        },
        testing::ExitedWithCode(1), "^$");
    EXPECT_EQ(output(), "retried\n" + outOfMemory);
  }
}

// While one thread ends the run, the others go on and take whatever memory is freed: the end
// itself (stopping plink, waiting for files being written, removing every temporary file) must
// need none. Here nothing at all is left, and an allocation would end the process.
TEST_F(FailureHandlersDeathTest, TheEndOfARunNeedsNoMemory) {
#ifdef ZUQ_SANITIZED
  GTEST_SKIP() << "the sanitizers reserve far more address space than any limit here allows";
#endif
  makeTemporaryFiles();
  // Found only by listing the directory: a by-product of plink's that no fixed list names.
  const std::string byProduct = scratchPrefix + "cpu1ud.hh";
  testsupport::writeWholeFile(byProduct, "x");
  const std::string partialFile = directory.file("out.zuq.1.2.incomplete");
  testsupport::writeWholeFile(partialFile, "x");
  addTemporaryName(partialFile);
  const std::string started = directory.file("child started");
  EXPECT_EXIT(
      {
        // A plink run under way, which the end must stop.
        std::thread([&] { runShellCommand("touch '" + started + "'; exec sleep 10"); }).detach();
        while (!fs::exists(started)) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        // On a thread of its own: its stack is mapped in full when it starts.
        std::thread([] {
          exhaustMemory();
          refuseAllocations();
          fatalExit(7);
        }).join();
      },
      testing::ExitedWithCode(7), "");
  EXPECT_FALSE(temporaryFilesLeft());
  EXPECT_FALSE(fs::exists(byProduct));
  EXPECT_FALSE(fs::exists(partialFile));
}

TEST(ThreadStartDeathTest, ThreadsThatCannotStartEndTheRunSayingSo) {
#ifdef ZUQ_SANITIZED
  GTEST_SKIP() << "the sanitizers reserve far more address space than any limit here allows";
#endif
  testsupport::scratchDirectory directory{"zuq-threads"};
  const std::string capture = directory.file("stdout.txt");
  struct startCase {
    const char* what;
    std::function<void()> start;
    std::string message;
  };
  const startCase cases[] = {
      {"the signal watcher", watchTerminationSignals,
       "Error: Cannot start a thread (Resource temporarily unavailable): too little memory, or "
       "too many processes.\n"},
      {"64 OpenMP threads",
       [] {
         omp_set_num_threads(64);
         startThreads();
       },
       "Error: Cannot start the 64 threads of the run (the OpenMP runtime's reason is on "
       "standard error): too little memory, or too many processes; fewer threads (--cpu) need "
       "less.\n"},
  };
  for (const startCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::fflush(stdout);
    EXPECT_EXIT(
        {
          captureOutput(capture);
          installFailureHandlers();
          limitAddressSpace(rlim_t{1} << 20);  // room for allocations, not for a thread's stack
          c.start();
        },
        testing::ExitedWithCode(1), "");
    EXPECT_EQ(testsupport::readWholeFile(capture), c.message);
  }
}

}  // namespace
