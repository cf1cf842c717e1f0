#include "bootstrap/level12.h"

#include <omp.h>

#include <algorithm>
#include <iostream>
#include <string>
#include <utility>

#include "bootstrap/analysis_flow.h"
#include "bootstrap/bootstrap_sampler.h"
#include "bootstrap/cluster_runs.h"
#include "bootstrap/level0.h"
#include "bootstrap/merge_results.h"
#include "bootstrap/progress_text.h"
#include "bootstrap/uboot.h"
#include "bootstrap/work_split.h"
#include "run/settings.h"

namespace {

// Fills the nL2 slots with level-2 replicates of the outer resample, each keeping at most
// maxSnps SNPs; a slot is drawn again until its resample finds a significant SNP. Like level 0,
// the draws are bounded (10 x nL2): an outer resample whose inner resamples rarely find anything
// keeps the slots it filled, with a warning. Stops early, leaving the remaining slots empty,
// once enough level-1 resamples are accepted.
void fillLevel2(std::vector<replicate>& slots, bootstrapSampler& inner, int maxSnps,
                int level1Number, const std::string& threadTag, const level12Shared& shared) {
  const long drawBudget = 10L * static_cast<long>(slots.size());
  long draws = 0;
  size_t slot = 0;
  while (slot < slots.size()) {
    if (shared.done.load() >= nL1) return;
    if (draws == drawBudget) {
      std::cout << "Warning: Level-1 resample " + std::to_string(level1Number) + ": only " +
                       std::to_string(slot) + " of " + std::to_string(slots.size()) +
                       " level-2 resamples found a significant SNP in " +
                       std::to_string(drawBudget) + " draws.\n";
      slots.resize(slot);
      return;
    }
    ++draws;
    const std::string levelName =
        "L2_" + std::to_string(level1Number) + "-" + std::to_string(slot);
#pragma omp critical
    inner.resample();
    if (analyzeResample(slots[slot], inner, snps, maxSnps, levelName, threadTag, 2) == 0) {
      continue;
    }
    printResultMatrix("L2[N][M]", "       ", slots[slot]);
    ++slot;
  }
}

// On standard error: the projected remaining time, once two level-1 resamples are accepted.
void printTimeEstimate(const level12Shared& shared) {
  const int done = shared.done.load();
  if (done <= 1) return;
  const long elapsed = static_cast<long>(std::time(nullptr) - shared.startTime);
  std::cerr << "Estimated time to complete analysis: " + timeEstimateText(elapsed, done, nL1) +
                   "\n";
  std::cout.flush();
}

// One level-1 attempt: the outer resample, its level-2 replicates, its Uboot vector.
void level1Attempt(level12Shared& shared, const std::string& threadTag) {
  bootstrapSampler outer(individuals);
  const int level1Number = resampleAndNumber(outer, shared.index);
  replicate outerRecords;
  const int found = analyzeResample(outerRecords, outer, snps, nSig,
                                    "L1-" + std::to_string(level1Number), threadTag, 1);
  if (found == 0) return;
  printResultMatrix("L1[N]", "    ", outerRecords);

  bootstrapSampler inner(outer.sample);
  std::vector<replicate> level2(static_cast<size_t>(std::max(nL2, 0)));
  fillLevel2(level2, inner, found, level1Number, threadTag, shared);
  printTimeEstimate(shared);

  // A resample whose slots were cut short because enough are accepted is dropped.
  if (shared.done.load() >= nL1) return;
  std::vector<double> level1Uboot = computeUboot(outerRecords, level2, 2);
#pragma omp critical
  {
    level1Uboots.push_back(std::move(level1Uboot));
    level1Results.push_back(outerRecords);
    level1SigCounts.push_back(found);
    ++shared.done;
  }
}

}  // namespace

void level12Worker(level12Shared& shared) {
  const int thread = omp_get_thread_num();
  const itemBlock block = threadBlock(5 * nL1, omp_get_num_threads(), thread);
  const std::string threadTag = std::to_string(thread);
  for (int item = block.begin; item < block.end; ++item) {
    if (shared.done.load() < nL1) level1Attempt(shared, threadTag);
  }
}

void computeLevel12() {
  level12Shared shared;
  shared.startTime = std::time(nullptr);
  std::cout << "\nComputing level 1 & 2 quantities...\n";
#pragma omp parallel
  level12Worker(shared);
  if (clusterCount > 0) writeLevel1Uboots(clusterFile);
}
