#include "run/temp_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <omp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <forward_list>
#include <initializer_list>
#include <mutex>

#include "run/settings.h"

namespace {

// The lock file that claims the prefix's digits in the scratch directory; empty when none could
// be created (a scratch directory that cannot be written, which the plink probe reports).
std::string claimedLockFile;

// Nothing is allocated while the lock is held: a thread that ran out of memory there would keep
// it from the thread that ends the run.
std::mutex extraNamesLock;
std::forward_list<std::string> extraNames;

std::mutex workLock;
std::condition_variable workDone;
int workUnderWay = 0;
bool workStopped = false;
thread_local int workOfThisThread = 0;

std::string sevenDigits(int value) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%07d", value);
  return digits;
}

// "temp.zuq." + digits + ".", claimed by creating its lock file exclusively. The lock file is
// named without the cluster part, so that a cluster instance and a plain run never hold the same
// digits (a plain run's prefix would begin every name of the instance).
std::string claimPrefix(const std::string& directory) {
  // A golden-ratio multiple spreads neighbouring process ids over the digits.
  const unsigned processMix = static_cast<unsigned>(getpid()) * 2654435761u;
  std::string base;
  for (int attempt = 0; attempt < 10000; ++attempt) {
    const unsigned draw = static_cast<unsigned>(std::rand()) ^ processMix;
    base = directory + "temp.zuq." + sevenDigits(static_cast<int>(draw % 1000000u)) + ".";
    std::string lockName = base + "lockfile";
    const int fd = open(lockName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
      close(fd);
      claimedLockFile.swap(lockName);  // no allocation between the claim and its record
      return base;
    }
    if (errno != EEXIST) break;
  }
  return base;
}

// The end of a run may come from an allocation that failed, while other threads go on taking
// whatever memory is freed: nothing from here to removeTempFiles allocates. Names are built in
// buffers on the stack; a name that does not fit is longer than any path the system accepts, so
// no file of that name can exist.
class pathBuffer {
 public:
  // directory (of `length` characters, empty for the working directory) followed by the parts.
  bool set(const char* directory, size_t length, std::initializer_list<const char*> parts) {
    size_ = 0;
    text_[0] = '\0';
    if (!append(directory, length)) return false;
    for (const char* part : parts) {
      if (!append(part, std::strlen(part))) return false;
    }
    return true;
  }
  const char* c_str() const { return text_; }

 private:
  bool append(const char* part, size_t length) {
    if (length >= sizeof text_ - size_) return false;
    std::memcpy(text_ + size_, part, length);
    size_ += length;
    text_[size_] = '\0';
    return true;
  }
  char text_[PATH_MAX + 1];
  size_t size_ = 0;
};

void removeFixedNames() {
  static const char* const stems[] = {"all", "ud", "ue", "un", "Un", "cor_Ud", "cor_Ue"};
  static const char* const extensions[] = {".bed", ".bim", ".fam", ".model", ".assoc.logistic",
                                           ".assoc.linear", ".log", ".cov", ".nosex"};
  // Worker threads are numbered below the runtime's thread count, which can exceed cpuCount
  // when OMP_NUM_THREADS asks for more threads than there are processors.
  const int threads = std::max(cpuCount, omp_get_max_threads());
  const char* const prefix = scratchPrefix.c_str();
  pathBuffer path;
  for (const char* stem : stems) {
    for (const char* extension : extensions) {
      for (int t = threads - 1; t >= 0; --t) {
        char thread[24];
        std::snprintf(thread, sizeof thread, "cpu%d", t);
        if (path.set(prefix, scratchPrefix.size(), {thread, stem, extension})) {
          std::remove(path.c_str());
        }
      }
      if (path.set(prefix, scratchPrefix.size(), {stem, extension})) std::remove(path.c_str());
    }
  }
  for (const char* name : {"plinktest.map", "plinktest.ped", "plinktest.log", "lockfile"}) {
    if (path.set(prefix, scratchPrefix.size(), {name}) && path.c_str() != claimedLockFile) {
      std::remove(path.c_str());
    }
  }
}

bool isClaimedLockFile(const char* directory, size_t length, const char* name) {
  return claimedLockFile.size() == length + std::strlen(name) &&
         claimedLockFile.compare(0, length, directory, length) == 0 &&
         claimedLockFile.compare(length, std::string::npos, name) == 0;
}

// One pass over the directory open as `listing`: unlinks each regular file or link whose name
// begins with start (except the claimed lock file). True when it unlinked any, since a directory
// read while entries go may skip some.
bool unlinkNamesStartingWith(int listing, const char* directory, size_t length,
                             const char* start) {
  const size_t startLength = std::strlen(start);
  bool removed = false;
  alignas(dirent64) char entries[8192];
  lseek(listing, 0, SEEK_SET);
  for (;;) {
    const ssize_t size = getdents64(listing, entries, sizeof entries);
    if (size <= 0) return removed;
    for (ssize_t at = 0; at < size;) {
      const auto* entry = reinterpret_cast<const dirent64*>(entries + at);
      at += entry->d_reclen;
      const char* const name = entry->d_name;
      if (std::strncmp(name, start, startLength) != 0) continue;
      if (isClaimedLockFile(directory, length, name)) continue;
      struct stat status;
      if (fstatat(listing, name, &status, AT_SYMLINK_NOFOLLOW) != 0) continue;
      if (!S_ISREG(status.st_mode) && !S_ISLNK(status.st_mode)) continue;
      if (unlinkat(listing, name, 0) == 0) removed = true;
    }
  }
}

// Every regular file or link in the prefix's directory whose name begins with the prefix's own
// part: plink's by-products (.hh, .nof, .auto.R, a newer plink's .bed/.bim/.fam of the probe)
// and whatever else a step named under the prefix.
void removeNamesUnderPrefix() {
  const size_t slash = scratchPrefix.rfind('/');
  const size_t length = slash == std::string::npos ? 0 : slash + 1;
  const char* const start = scratchPrefix.c_str() + length;
  if (*start == '\0') return;  // never everything in a directory
  pathBuffer directory;
  if (!directory.set(scratchPrefix.c_str(), length, {length == 0 ? "." : ""})) return;
  const int listing = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (listing < 0) return;
  // Passes until one finds nothing more; a bounded number, in case something keeps writing.
  for (int pass = 0; pass < 8; ++pass) {
    if (!unlinkNamesStartingWith(listing, scratchPrefix.c_str(), length, start)) break;
  }
  close(listing);
}

}  // namespace

std::string scratchDirectoryPrefix(const std::string& directory) {
  if (directory.empty() || directory.back() == '/') return directory;
  return directory + "/";
}

void completeScratchPrefix() {
  scratchPrefix = claimPrefix(scratchPrefix);
  if (clusterCount > 0) scratchPrefix += std::to_string(clusterIndex) + ".";
  tempNamesInUse = true;
}

void addTemporaryName(const std::string& path) {
  std::forward_list<std::string> added{path};
  std::lock_guard<std::mutex> lock(extraNamesLock);
  extraNames.splice_after(extraNames.before_begin(), added);
}

void removeTempFiles() {
  // These exist only once created, which may be before the prefix is complete: the partial file
  // of a cluster instance, the lock file of a prefix whose completion ran out of memory. They go
  // even with --debug: they are output files cut short, which only a reader could mistake for
  // results, not the intermediate files kept for inspection.
  {
    std::lock_guard<std::mutex> lock(extraNamesLock);
    // unlink, not remove: a directory that someone put under such a name is not ours to delete.
    for (const std::string& path : extraNames) unlink(path.c_str());
  }
  if (debugLevel != 0) return;
  if (tempNamesInUse) {
    removeFixedNames();
    removeNamesUnderPrefix();
  }
  // Last, so that the digits stay claimed until the files named with them are gone.
  if (!claimedLockFile.empty()) std::remove(claimedLockFile.c_str());
}

temporaryFileWork::temporaryFileWork() {
  std::unique_lock<std::mutex> lock(workLock);
  if (workStopped) {
    lock.unlock();
    for (;;) pause();  // the thread ending the run ends the process
  }
  ++workUnderWay;
  ++workOfThisThread;
}

temporaryFileWork::~temporaryFileWork() {
  {
    std::lock_guard<std::mutex> lock(workLock);
    if (workOfThisThread == 0) return;  // left to the end of the run
    --workUnderWay;
    --workOfThisThread;
  }
  workDone.notify_all();
}

void leaveTemporaryFileWork() {
  {
    std::lock_guard<std::mutex> lock(workLock);
    workUnderWay -= workOfThisThread;
    workOfThisThread = 0;
  }
  workDone.notify_all();
}

void stopTemporaryFileWork() {
  std::unique_lock<std::mutex> lock(workLock);
  workStopped = true;
  // The calling thread may itself be inside such work (a fileset that could not be written). A
  // thread that meets a fatal error of its own inside its work leaves it before it waits for
  // the end; the time limit is for work that does not finish.
  workDone.wait_for(lock, std::chrono::seconds(5),
                    [] { return workUnderWay == workOfThisThread; });
}
