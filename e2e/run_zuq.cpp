#include "run_zuq.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <regex>
#include <sstream>

namespace {

// The work directories of this test process. They go when its tests have passed, so that runs
// leave nothing in the temporary directory; after a failure they stay for inspection.
std::vector<std::string> workDirectories;
std::mutex workDirectoriesLock;  // tests may start runs from several threads

class workDirectoryCleaner : public testing::Environment {
 public:
  void TearDown() override {
    const bool passed = testing::UnitTest::GetInstance()->Passed();
    for (const std::string& directory : workDirectories) {
      if (!passed) {
        std::cerr << "kept for inspection: " << directory << "\n";
        continue;
      }
      std::error_code ignored;
      std::filesystem::remove_all(directory, ignored);
    }
    workDirectories.clear();
  }
};

[[maybe_unused]] testing::Environment* const cleaner =
    testing::AddGlobalTestEnvironment(new workDirectoryCleaner);

}  // namespace

std::string makeWorkDirectory() {
  const char* base = std::getenv("TMPDIR");
  std::string templ = std::string(base && *base ? base : "/tmp") + "/zuq-e2e-XXXXXX";
  std::vector<char> name(templ.begin(), templ.end());
  name.push_back('\0');
  if (mkdtemp(name.data()) == nullptr) std::abort();
  const std::lock_guard<std::mutex> hold(workDirectoriesLock);
  workDirectories.push_back(name.data());
  return name.data();
}

namespace {

void setSoftLimit(int resource, rlim_t value) {
  struct rlimit limit {};
  getrlimit(resource, &limit);
  limit.rlim_cur = value;
  if (setrlimit(resource, &limit) != 0) _exit(126);
}

// In the forked child: the working directory, standard input from /dev/null, output to out and
// err, the termination signals at their default action, the limits; then the program itself.
[[noreturn]] void execProgram(const std::string& program, const std::vector<std::string>& args,
                              const std::string& directory, int out, int err,
                              const zuqLimits& limits) {
  if (chdir(directory.c_str()) != 0) _exit(127);
  const int in = open("/dev/null", O_RDONLY);
  dup2(out, 1);
  dup2(err, 2);
  dup2(in, 0);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) signal(s, SIG_DFL);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  if (limits.addressSpace) {
    setSoftLimit(RLIMIT_STACK, rlim_t{8} << 20);
    setSoftLimit(RLIMIT_AS, *limits.addressSpace);
  }
  if (limits.fileSize) {
    signal(SIGXFSZ, SIG_IGN);
    setSoftLimit(RLIMIT_FSIZE, *limits.fileSize);
  }
  if (limits.seconds) {
    signal(SIGALRM, SIG_DFL);
    alarm(*limits.seconds);  // the alarm outlasts the exec
  }
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  execv(program.c_str(), argv.data());
  _exit(127);
}

// Copies what comes through the two pipes to the two files until both are closed.
void drainPipes(int outPipe, int errPipe, const std::string& outPath, const std::string& errPath) {
  std::ofstream outFile(outPath, std::ios::binary);
  std::ofstream errFile(errPath, std::ios::binary);
  pollfd fds[2] = {{outPipe, POLLIN, 0}, {errPipe, POLLIN, 0}};
  std::ofstream* files[2] = {&outFile, &errFile};
  int open = 2;
  char buffer[65536];
  while (open > 0) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        files[i]->write(buffer, got);
      } else if (got == 0 || errno != EINTR) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
}

// Starts program with the arguments in directory (a new one when empty), its standard output and
// error going to files there.
startedZuq startProgram(const std::string& program, const std::vector<std::string>& args,
                        const std::string& directory) {
  startedZuq started;
  started.directory = directory.empty() ? makeWorkDirectory() : directory;
  const std::string outPath = started.directory + "/.stdout";
  const std::string errPath = started.directory + "/.stderr";
  started.pid = fork();
  if (started.pid == 0) {
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    execProgram(program, args, started.directory, out, err, {});
  }
  return started;
}

}  // namespace

startedZuq startZuq(const std::vector<std::string>& args, const std::string& directory) {
  return startProgram(ZUQ_BINARY, args, directory);
}

zuqRun runZuqLimited(const std::vector<std::string>& args, const zuqLimits& limits,
                     const std::string& directory) {
  startedZuq started;
  started.directory = directory.empty() ? makeWorkDirectory() : directory;
  int outPipe[2];
  int errPipe[2];
  if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) std::abort();
  started.pid = fork();
  if (started.pid == 0) {
    execProgram(ZUQ_BINARY, args, started.directory, outPipe[1], errPipe[1], limits);
  }
  close(outPipe[1]);
  close(errPipe[1]);
  drainPipes(outPipe[0], errPipe[0], started.directory + "/.stdout",
             started.directory + "/.stderr");
  return finishZuq(started);
}

zuqRun finishZuq(const startedZuq& started) {
  zuqRun result;
  result.directory = started.directory;
  int status = 0;
  waitpid(started.pid, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  result.out = readFile(started.directory + "/.stdout");
  result.err = readFile(started.directory + "/.stderr");
  return result;
}

zuqRun runZuq(const std::vector<std::string>& args, const std::string& directory) {
  return finishZuq(startZuq(args, directory));
}

zuqRun runPlink(const std::vector<std::string>& args, const std::string& directory) {
  std::vector<std::string> all = {"--noweb", "--silent", "--allow-no-sex"};
  all.insert(all.end(), args.begin(), args.end());
  return finishZuq(startProgram(plinkPath(), all, directory));
}

std::map<std::string, std::string> plinkResults(const std::string& path, const std::string& test,
                                                const std::string& column) {
  std::map<std::string, std::string> cells;
  const auto rows = tableRows(readFile(path));
  if (rows.empty()) return cells;
  const std::vector<std::string>& header = rows[0];
  auto at = [&header](const std::string& name) {
    return static_cast<size_t>(std::find(header.begin(), header.end(), name) - header.begin());
  };
  const size_t snp = at("SNP"), kind = at("TEST"), wanted = at(column);
  if (snp == header.size() || kind == header.size() || wanted == header.size()) return cells;
  for (size_t i = 1; i < rows.size(); ++i) {
    // A row with a field left empty (plink 1.07's A2 of an untyped SNP) is shorter: skipped.
    if (rows[i].size() == header.size() && rows[i][kind] == test) {
      cells[rows[i][snp]] = rows[i][wanted];
    }
  }
  return cells;
}

std::string maskMachineLines(const std::string& text) {
  static const std::regex processors("machine has [0-9]+ processors");
  static const std::regex tempName("temp\\.zuq\\.[0-9]{7}\\.");
  std::string masked = std::regex_replace(text, processors, "machine has N processors");
  return std::regex_replace(masked, tempName, "temp.zuq.DIGITS.");
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void writeFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

std::string dataPath(const std::string& name) { return std::string(ZUQ_E2E_DATA) + "/" + name; }

std::string plinkPath() { return ZUQ_PLINK; }

std::string textBefore(const std::string& text, const std::string& prefix) {
  size_t at = 0;
  while (at < text.size()) {
    if (text.compare(at, prefix.size(), prefix) == 0) return text.substr(0, at);
    const size_t end = text.find('\n', at);
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return text;
}

std::vector<std::string> words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

std::vector<std::vector<std::string>> tableRows(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) rows.push_back(words(line));
  }
  return rows;
}

std::vector<std::vector<std::string>> phenotypedPedRows(const std::string& pedPath) {
  std::vector<std::vector<std::string>> rows;
  for (const auto& row : tableRows(readFile(pedPath))) {
    if (row[5] == "1" || row[5] == "2") rows.push_back(row);
  }
  return rows;
}

std::vector<std::vector<std::string>> famFields(const std::vector<std::vector<std::string>>& rows) {
  std::vector<std::vector<std::string>> fields;
  for (const auto& row : rows) fields.emplace_back(row.begin(), row.begin() + 6);
  return fields;
}
