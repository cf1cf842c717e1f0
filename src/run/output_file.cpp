#include "run/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>

#include "run/exit.h"
#include "run/settings.h"
#include "run/temp_files.h"

namespace {

bool isReplaceable(const struct stat& status) {
  return S_ISREG(status.st_mode) || S_ISLNK(status.st_mode);
}

std::string parentDirectory(const std::string& name) {
  const size_t slash = name.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return name.substr(0, slash);
}

std::string systemReason() { return std::strerror(errno); }

void removeIfReplaceable(const std::string& name) {
  struct stat status {};
  if (lstat(name.c_str(), &status) != 0 || !isReplaceable(status)) return;
  std::remove(name.c_str());
}

// An existing file or link is replaced by a new file renamed over it, which needs the directory.
// A file that cannot be written is refused all the same: it opens for appending when it can be
// (nothing is changed).
std::string existingProblem(const std::string& name, const struct stat& status) {
  if (access(parentDirectory(name).c_str(), W_OK | X_OK) != 0) return systemReason();
  if (S_ISLNK(status.st_mode)) return "";
  const int fd = open(name.c_str(), O_WRONLY | O_APPEND | O_NOCTTY);
  if (fd < 0) return systemReason();
  close(fd);
  return "";
}

// A new file: create it, then remove it again.
std::string newFileProblem(const std::string& name) {
  const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY, 0666);
  if (fd < 0) return systemReason();
  close(fd);
  std::remove(name.c_str());
  return "";
}

}  // namespace

std::string outputFileProblem(const std::string& name) {
  if (name.empty()) return "no file name";
  struct stat status {};
  if (lstat(name.c_str(), &status) == 0) {
    if (!isReplaceable(status)) {
      return S_ISDIR(status.st_mode) ? "it is a directory" : "it is not a regular file";
    }
    return existingProblem(name, status);
  }
  if (errno != ENOENT) return systemReason();
  return newFileProblem(name);
}

void checkOutputFile() {
  const std::string problem = outputFileProblem(outFileName);
  if (problem.empty()) return;
  std::cout << "Error: Cannot write results to file " << outFileName << " (" << problem
            << ").\n";
  plainExit(1);
}

void removeOldOutputFile() { removeIfReplaceable(outFileName); }

std::string incompleteFileName(const std::string& name) { return name + ".incomplete"; }

bool writeOutputFile(const std::string& name, const std::function<void(std::ostream&)>& write) {
  const std::string incomplete = incompleteFileName(name);
  const temporaryFileWork work;
  // An old file goes first: it belongs to an earlier run, whatever becomes of this one.
  removeIfReplaceable(name);
  addTemporaryName(incomplete);
  removeIfReplaceable(incomplete);  // a link left there would be written through
  std::ofstream out(incomplete, std::ios::out | std::ios::trunc);
  if (!out) return false;
  write(out);
  out.close();
  if (!out.fail() && std::rename(incomplete.c_str(), name.c_str()) == 0) return true;
  std::remove(incomplete.c_str());
  return false;
}
