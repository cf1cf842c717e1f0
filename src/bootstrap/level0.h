// The resample analysis that every bootstrap level repeats, and level 0.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "bootstrap/bootstrap_sampler.h"
#include "bootstrap/result_records.h"

// Uboot per rank of naiveResults: the result of level 0.
inline std::vector<double> uboot;
// Resamples analysed (counted only with --debug).
inline int replicatesSeen = 0;

// Draws the sampler's next resample and takes the next attempt number from counter: the draws
// and the number under the process-wide lock, the lists built from the draws after it.
int resampleAndNumber(bootstrapSampler& sampler, int& counter);

// Scans the sampler's resample, ranks its significant SNPs by p (at most maxSnps, -1 no limit)
// and estimates each on the drawn and on the never-drawn individuals. Returns the number of
// records placed in out (0, out untouched, when nothing is significant).
int analyzeResample(std::vector<resultRecord>& out, bootstrapSampler& sampler,
                    std::vector<snpRecord*>& snpList, int maxSnps, const std::string& levelName,
                    const std::string& threadTag, int mode);

struct level0Shared {
  std::vector<replicate>* replicates = nullptr;
  int attempts = 0;              // resamples started; touched only under the lock
  std::atomic<int> sigBoots = 0;  // replicates with at least nSig records: the stop count
};

void level0Worker(level0Shared& shared);
// Level 0 in parallel threads, then uboot (or the cluster file in a cluster instance).
void computeLevel0();
