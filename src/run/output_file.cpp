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

void removeFileOrLink(const std::string& name) {
  struct stat status {};
  if (lstat(name.c_str(), &status) != 0 || !isReplaceable(status)) return;
  std::remove(name.c_str());
}

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

void removeOldOutputFile() { removeFileOrLink(outFileName); }

std::string incompleteFileName(const std::string& name) { return name + ".incomplete"; }

// Why the incomplete file could not be written and put in place; empty when it was.
std::string writtenInPlace(const std::string& incomplete, const std::string& name,
                           const std::function<void(std::ostream&)>& write) {
  outputFileStream out;
  out.open(incomplete);
  if (!out.fail()) write(out);
  out.close();
  if (!out.failure().empty()) return out.failure();
  if (std::rename(incomplete.c_str(), name.c_str()) != 0) return systemReason();
  return "";
}

bool writeOutputFile(const std::string& name, const std::function<void(std::ostream&)>& write,
                     std::string* reason) {
  const std::string incomplete = incompleteFileName(name);
  const temporaryFileWork work;
  // An old file goes first: it belongs to an earlier run, whatever becomes of this one.
  removeFileOrLink(name);
  addTemporaryName(incomplete);
  removeFileOrLink(incomplete);  // a link left there would be written through
  const std::string problem = writtenInPlace(incomplete, name, write);
  if (problem.empty()) return true;
  std::remove(incomplete.c_str());
  if (reason != nullptr) *reason = problem;
  return false;
}

void writeOutputFileOrWarn(const std::string& name,
                           const std::function<void(std::ostream&)>& write) {
  std::string reason;
  if (writeOutputFile(name, write, &reason)) return;
  std::cout << "Warning: Cannot write to output file " << name << " (" << reason << ").\n";
}

outputFileStream::outputFileStream() : std::ostream(nullptr) { rdbuf(&buffer); }

void outputFileStream::open(const std::string& name, std::ios::openmode mode) {
  buffer.firstError = 0;
  errno = 0;
  if (buffer.open(name, mode | std::ios::out) != nullptr) {
    clear();
    return;
  }
  buffer.noteFailure();
  setstate(std::ios::failbit);
}

void outputFileStream::close() {
  if (buffer.close() == nullptr) {
    if (buffer.firstError == 0) buffer.noteFailure();
    setstate(std::ios::failbit);
  }
}

std::string outputFileStream::failure() const {
  if (!fail()) return "";
  if (buffer.firstError == 0) return "the stream failed";  // set by its writer, not the system
  return std::strerror(buffer.firstError);
}

// A failure with errno unset (a short write without an error) is reported as an I/O error.
void outputFileStream::reasonKeepingBuffer::noteFailure() {
  if (firstError == 0) firstError = errno != 0 ? errno : EIO;
}

outputFileStream::reasonKeepingBuffer::int_type outputFileStream::reasonKeepingBuffer::overflow(
    int_type c) {
  const int_type result = std::filebuf::overflow(c);
  if (traits_type::eq_int_type(result, traits_type::eof())) noteFailure();
  return result;
}

std::streamsize outputFileStream::reasonKeepingBuffer::xsputn(const char_type* s,
                                                              std::streamsize n) {
  const std::streamsize written = std::filebuf::xsputn(s, n);
  if (written < n) noteFailure();
  return written;
}

int outputFileStream::reasonKeepingBuffer::sync() {
  const int result = std::filebuf::sync();
  if (result != 0) noteFailure();
  return result;
}
