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
#include <vector>

extern char** environ;

namespace {

std::mutex childrenLock;
std::condition_variable stopping;
std::set<pid_t> children;  // each child leads its own process group
bool stopped = false;

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

// Waits until every group is gone or the time is up; returns the groups still there.
std::vector<pid_t> waitForGroups(std::vector<pid_t> groups, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    std::vector<pid_t> alive;
    for (pid_t group : groups) {
      if (groupAlive(group)) alive.push_back(group);
    }
    if (alive.empty() || std::chrono::steady_clock::now() >= deadline) return alive;
    groups = alive;
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
  std::unique_lock<std::mutex> lock(childrenLock);
  if (stopped) {
    lock.unlock();
    waitForTheEnd();
  }
  const pid_t pid = spawnShell(command);
  if (pid < 0) return -1;
  children.insert(pid);
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
  std::vector<pid_t> groups;
  {
    std::lock_guard<std::mutex> lock(childrenLock);
    stopped = true;
    groups.assign(children.begin(), children.end());
  }
  stopping.notify_all();
  for (pid_t group : groups) kill(-group, SIGTERM);
  groups = waitForGroups(groups, std::chrono::seconds(2));
  for (pid_t group : groups) kill(-group, SIGKILL);
  waitForGroups(groups, std::chrono::seconds(1));
}
