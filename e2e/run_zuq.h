// Runs the built zuq binary (and plink, the oracle) in a fresh working directory and captures
// what it prints.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

struct zuqRun {
  int status = -1;         // exit status, or -1 when the process did not exit normally
  int signal = 0;          // the signal that ended the process, 0 when it exited
  std::string out;         // standard output
  std::string err;         // standard error
  std::string directory;   // the working directory the run used (kept for inspecting files)
};

// A new empty directory under the system temporary directory.
std::string makeWorkDirectory();
// Runs zuq with the arguments in directory (a new one when empty). Arguments are passed to the
// program as they stand, without a shell.
zuqRun runZuq(const std::vector<std::string>& args, const std::string& directory = "");
// A run started in the background, to be finished by finishZuq.
struct startedZuq {
  pid_t pid = -1;
  std::string directory;
};
// Starts zuq as runZuq does, without waiting for it. The termination signals have their default
// action in the run, however the tests were started.
startedZuq startZuq(const std::vector<std::string>& args, const std::string& directory = "");
// Waits for a run started by startZuq and collects what it printed.
zuqRun finishZuq(const startedZuq& started);
// Runs plink 1.07 in directory (a new one when empty) with its fixed options --noweb --silent
// --allow-no-sex and these arguments: the oracle of the tests.
zuqRun runPlink(const std::vector<std::string>& args, const std::string& directory = "");
// Of a plink result table (.model, .assoc.logistic), the cell of the named column in each row
// whose TEST column is test, by SNP name.
std::map<std::string, std::string> plinkResults(const std::string& path, const std::string& test,
                                                const std::string& column);
// Soft resource limits set in the run's process before zuq starts; an unset one stays as it is.
// Only the soft limits are set, so a child process of the run (a stand-in plink) can lift them.
struct zuqLimits {
  // RLIMIT_AS in bytes: allocations past it fail. The stack limit is then 8 MiB, so that each
  // thread's stack takes the same room on every machine.
  std::optional<rlim_t> addressSpace = std::nullopt;
  // RLIMIT_FSIZE in bytes: writes past it fail with EFBIG (SIGXFSZ is ignored), as on a full disk.
  std::optional<rlim_t> fileSize = std::nullopt;
  // Seconds of wall-clock time after which SIGALRM ends the run: a run that would wait forever
  // fails its test instead of hanging it.
  std::optional<unsigned> seconds = std::nullopt;
};
// Runs zuq as runZuq does, under the limits. What it prints goes through pipes, so that a
// file-size limit binds only the files that the run writes.
zuqRun runZuqLimited(const std::vector<std::string>& args, const zuqLimits& limits,
                     const std::string& directory = "");
// Lines that depend on the machine (processor count, temporary-name digits) made stable.
std::string maskMachineLines(const std::string& text);
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& text);
// The fixture directory e2e/data, and the plink 1.07 executable found at configure time.
std::string dataPath(const std::string& name);
std::string plinkPath();
// The whitespace-separated words of a line.
std::vector<std::string> words(const std::string& line);
// The rows of a results table (the header included) as whitespace-separated cells.
std::vector<std::vector<std::string>> tableRows(const std::string& text);
// The lines of a .ped file, as words, of the individuals with a phenotype (1 or 2): those that a
// run keeps and hands to plink, in this order.
std::vector<std::vector<std::string>> phenotypedPedRows(const std::string& pedPath);
// The first six fields of .ped rows, as a .fam holds them.
std::vector<std::vector<std::string>> famFields(const std::vector<std::vector<std::string>>& rows);
// The output of a run up to (not including) the first line that starts with prefix.
std::string textBefore(const std::string& text, const std::string& prefix);
