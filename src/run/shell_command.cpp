#include "run/shell_command.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <string_view>
#include <thread>

extern char** environ;

namespace {

// Nothing is allocated while the lock is held: a thread that ran out of memory there would keep
// it from the thread that ends the run.
std::mutex childrenLock;
std::condition_variable stopping;
std::set<pid_t> children;  // each child leads its own process group
bool stopped = false;

// The most children the end of the run waits for; any more are signalled all the same.
constexpr size_t waitedGroupsMax = 1024;

// The thread that stops the children ends the process; the others wait here for that.
[[noreturn]] void waitForTheEnd() {
  for (;;) pause();
}

bool safeInWord(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::string_view("_./,:=+@%-").find(c) != std::string_view::npos;
}

pid_t spawnShell(const std::string& command) {
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  // The run's threads block the termination signals (a thread of their own waits for them);
  // the child must not inherit that.
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);
  const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
  pid_t pid = -1;
  const int error = posix_spawn(&pid, "/bin/sh", nullptr, &attributes,
                                const_cast<char* const*>(argv), environ);
  posix_spawnattr_destroy(&attributes);
  return error == 0 ? pid : -1;
}

bool isTerminationSignal(int signal) {
  return signal == SIGTERM || signal == SIGINT || signal == SIGHUP;
}

// The shell itself killed, or reporting (as 128 + signal) that the program it ran was.
bool endedByTerminationSignal(int status) {
  if (WIFSIGNALED(status)) return isTerminationSignal(WTERMSIG(status));
  return WIFEXITED(status) && WEXITSTATUS(status) > 128 &&
         isTerminationSignal(WEXITSTATUS(status) - 128);
}

bool groupAlive(pid_t group) { return kill(-group, 0) == 0 || errno == EPERM; }

// Waits until every group is gone or the time is up; returns how many are still there, first
// in groups. Allocates nothing: the end of a run may come from memory that ran out.
size_t waitForGroups(pid_t* groups, size_t count, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    size_t alive = 0;
    for (size_t k = 0; k < count; ++k) {
      if (groupAlive(groups[k])) groups[alive++] = groups[k];
    }
    count = alive;
    if (count == 0 || std::chrono::steady_clock::now() >= deadline) return count;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace

std::string shellWord(const std::string& text) {
  bool plain = !text.empty();
  for (char c : text) plain = plain && safeInWord(c);
  if (plain) return text;
  std::string word = "'";
  for (char c : text) {
    if (c == '\'') {
      word += "'\\''";
    } else {
      word += c;
    }
  }
  return word + "'";
}

std::string doubleQuotedShellWord(const std::string& text) {
  std::string word = "\"";
  for (char c : text) {
    if (c == '$' || c == '`' || c == '"' || c == '\\') word += '\\';
    word += c;
  }
  return word + "\"";
}

int runShellCommand(const std::string& command) {
  std::set<pid_t> made{0};  // the child's entry, allocated before the lock
  std::set<pid_t>::node_type entry = made.extract(made.begin());
  std::unique_lock<std::mutex> lock(childrenLock);
  if (stopped) {
    lock.unlock();
    waitForTheEnd();
  }
  const pid_t pid = spawnShell(command);
  if (pid < 0) return -1;
  entry.value() = pid;
  children.insert(std::move(entry));
  lock.unlock();
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  lock.lock();
  children.erase(pid);
  // A scheduler that stops a job signals every process of it: the child may go a moment before
  // this process hears of its own signal. Its end is then no failure of the child to report.
  if (!stopped && endedByTerminationSignal(status)) {
    stopping.wait_for(lock, std::chrono::seconds(2), [] { return stopped; });
  }
  if (stopped) {
    lock.unlock();
    waitForTheEnd();
  }
  return status;
}

void stopChildProcesses() {
  pid_t groups[waitedGroupsMax];
  size_t count = 0;
  {
    std::lock_guard<std::mutex> lock(childrenLock);
    stopped = true;
    for (pid_t group : children) {
      kill(-group, SIGTERM);
      if (count < waitedGroupsMax) groups[count++] = group;
    }
  }
  stopping.notify_all();
  count = waitForGroups(groups, count, std::chrono::seconds(2));
  for (size_t k = 0; k < count; ++k) kill(-groups[k], SIGKILL);
  waitForGroups(groups, count, std::chrono::seconds(1));
}
