#include "run/temp_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <omp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "run/settings.h"

namespace {

// The lock file that claims the prefix's digits in the scratch directory; empty when none could
// be created (a scratch directory that cannot be written, which the plink probe reports).
std::string claimedLockFile;

std::mutex extraNamesLock;
std::vector<std::string> extraNames;

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
    const std::string lockName = base + "lockfile";
    const int fd = open(lockName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
      close(fd);
      claimedLockFile = lockName;
      return base;
    }
    if (errno != EEXIST) break;
  }
  return base;
}

void removeFixedNames() {
  static const char* const stems[] = {"all", "ud", "ue", "un", "Un", "cor_Ud", "cor_Ue"};
  static const char* const extensions[] = {".bed", ".bim", ".fam", ".model", ".assoc.logistic",
                                           ".assoc.linear", ".log", ".cov", ".nosex"};
  // Worker threads are numbered below the runtime's thread count, which can exceed cpuCount
  // when OMP_NUM_THREADS asks for more threads than there are processors.
  const int threads = std::max(cpuCount, omp_get_max_threads());
  for (const char* stem : stems) {
    for (const char* extension : extensions) {
      for (int t = threads - 1; t >= 0; --t) {
        std::remove((scratchPrefix + "cpu" + std::to_string(t) + stem + extension).c_str());
      }
      std::remove((scratchPrefix + stem + extension).c_str());
    }
  }
  for (const char* name : {"plinktest.map", "plinktest.ped", "plinktest.log", "lockfile"}) {
    const std::string path = scratchPrefix + name;
    if (path != claimedLockFile) std::remove(path.c_str());
  }
}

// Every regular file or link in the prefix's directory whose name begins with the prefix's own
// part: plink's by-products (.hh, .nof, .auto.R, a newer plink's .bed/.bim/.fam of the probe)
// and whatever else a step named under the prefix.
void removeNamesUnderPrefix() {
  const size_t slash = scratchPrefix.rfind('/');
  const std::string directory = slash == std::string::npos ? "" : scratchPrefix.substr(0, slash + 1);
  const std::string start = scratchPrefix.substr(directory.size());
  if (start.empty()) return;  // never everything in a directory
  DIR* listing = opendir(directory.empty() ? "." : directory.c_str());
  if (listing == nullptr) return;
  std::vector<std::string> names;
  while (const dirent* entry = readdir(listing)) {
    const std::string name = entry->d_name;
    if (name.compare(0, start.size(), start) == 0 && directory + name != claimedLockFile) {
      names.push_back(directory + name);
    }
  }
  closedir(listing);
  for (const std::string& path : names) {
    struct stat status;
    if (lstat(path.c_str(), &status) == 0 && (S_ISREG(status.st_mode) || S_ISLNK(status.st_mode))) {
      unlink(path.c_str());
    }
  }
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
  std::lock_guard<std::mutex> lock(extraNamesLock);
  extraNames.push_back(path);
}

void removeTempFiles() {
  if (!tempNamesInUse) return;
  // Even with --debug: these are output files cut short, which only a reader could mistake for
  // results, not the intermediate files kept for inspection.
  {
    std::lock_guard<std::mutex> lock(extraNamesLock);
    for (const std::string& path : extraNames) std::remove(path.c_str());
  }
  if (debugLevel != 0) return;
  removeFixedNames();
  removeNamesUnderPrefix();
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
    --workUnderWay;
    --workOfThisThread;
  }
  workDone.notify_all();
}

void stopTemporaryFileWork() {
  std::unique_lock<std::mutex> lock(workLock);
  workStopped = true;
  // The calling thread may itself be inside such work (a fileset that could not be written);
  // a thread that met a fatal error of its own inside its work waits for the end and never
  // finishes it, hence the time limit.
  workDone.wait_for(lock, std::chrono::seconds(5),
                    [] { return workUnderWay == workOfThisThread; });
}
