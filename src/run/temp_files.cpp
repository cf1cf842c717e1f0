#include "run/temp_files.h"

#include <omp.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "run/settings.h"

std::string scratchDirectoryPrefix(const std::string& directory) {
  if (directory.empty() || directory.back() == '/') return directory;
  return directory + "/";
}

void completeScratchPrefix() {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%07d", std::rand() % 1000000);
  scratchPrefix += "temp.zuq.";
  scratchPrefix += digits;
  scratchPrefix += ".";
  if (clusterCount > 0) scratchPrefix += std::to_string(clusterIndex) + ".";
  tempNamesInUse = true;
}

void removeTempFiles() {
  if (debugLevel != 0 || !tempNamesInUse) return;
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
    std::remove((scratchPrefix + name).c_str());
  }
}
