#include "bootstrap/level12.h"

#include <omp.h>

#include <algorithm>
#include <atomic>
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

// One level-2 slot of an outer resample: inner resamples of the outer sample are drawn until one
// finds a significant SNP, whose records (at most maxSnps) fill the slot. Gives up, leaving the
// slot empty, once enough level-1 resamples are accepted or the outer resample's draws (shared by
// its slots) are spent. Runs on whichever thread takes it; the temporary names carry that
// thread's number.
void fillSlot(replicate& slot, const std::vector<individualRecord*>& outerSample, int maxSnps,
              const std::string& levelName, const level12Shared& shared,
              std::atomic<long>& drawsLeft) {
  bootstrapSampler inner(outerSample);
  const std::string threadTag = std::to_string(omp_get_thread_num());
  while (shared.done.load() < nL1) {
    if (drawsLeft.fetch_sub(1) <= 0) return;
    // Only the claim of the draws holds the lock; the draws and lists come after it.
#pragma omp critical
    inner.claimResamples(1);
    inner.nextResample();
    inner.buildLists();
    if (analyzeResample(slot, inner, snps, maxSnps, levelName, threadTag, 2) > 0) {
      printResultMatrix("L2[N][M]", "       ", slot);
      return;
    }
  }
}

// Fills the nL2 slots with level-2 replicates of the outer resample. Each slot is a task that any
// thread of the region may take: a thread whose own outer resample waits here, or that has no
// outer resample left, works on the slots of the others, so the last outer resamples of a run
// do not leave threads idle. With one thread every slot runs at once, in slot order, so the
// draws come in the order of a serial run. Like level 0, the draws are bounded (10 x nL2): an
// outer resample whose inner resamples rarely find anything keeps the slots it filled, with a
// warning.
void fillLevel2(std::vector<replicate>& slots, const std::vector<individualRecord*>& outerSample,
                int maxSnps, int level1Number, const level12Shared& shared) {
  const bool deferred = omp_get_num_threads() > 1;
  const long drawBudget = 10L * static_cast<long>(slots.size());
  std::atomic<long> drawsLeft = drawBudget;
  for (size_t m = 0; m < slots.size(); ++m) {
    const std::string levelName = "L2_" + std::to_string(level1Number) + "-" + std::to_string(m);
#pragma omp task default(none) firstprivate(m, levelName, maxSnps) \
    shared(slots, outerSample, shared, drawsLeft) if (deferred)
    fillSlot(slots[m], outerSample, maxSnps, levelName, shared, drawsLeft);
  }
#pragma omp taskwait
  if (shared.done.load() >= nL1 || drawsLeft.load() > 0) return;
  const auto empty = [](const replicate& slot) { return slot.empty(); };
  const size_t filled = slots.size() - static_cast<size_t>(
                                           std::count_if(slots.begin(), slots.end(), empty));
  if (filled == slots.size()) return;
  std::cout << "Warning: Level-1 resample " + std::to_string(level1Number) + ": only " +
                   std::to_string(filled) + " of " + std::to_string(slots.size()) +
                   " level-2 resamples found a significant SNP in " +
                   std::to_string(drawBudget) + " draws.\n";
  slots.erase(std::remove_if(slots.begin(), slots.end(), empty), slots.end());
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

  std::vector<replicate> level2(static_cast<size_t>(std::max(nL2, 0)));
  fillLevel2(level2, outer.sample, found, level1Number, shared);
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
