// Levels 1 and 2: outer resamples analysed like the data set, each with nL2 inner resamples,
// giving one Uboot vector per accepted outer resample.
#pragma once

#include <atomic>
#include <ctime>
#include <vector>

#include "bootstrap/result_records.h"

// One row per accepted level-1 resample, in the order of acceptance (row j is the same resample
// in all three).
inline std::vector<std::vector<double>> level1Uboots;
inline std::vector<std::vector<resultRecord>> level1Results;
inline std::vector<int> level1SigCounts;

struct level12Shared {
  std::time_t startTime = 0;
  std::atomic<int> done = 0;  // accepted level-1 resamples
  int index = 0;              // level-1 resamples started; touched only under the lock
};

void level12Worker(level12Shared& shared);
void computeLevel12();
