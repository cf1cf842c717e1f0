#include "bootstrap/level0.h"

#include <omp.h>

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "bootstrap/analysis_flow.h"
#include "bootstrap/bias_files.h"
#include "bootstrap/cluster_runs.h"
#include "bootstrap/correlation.h"
#include "bootstrap/merge_results.h"
#include "bootstrap/progress_text.h"
#include "bootstrap/uboot.h"
#include "bootstrap/work_split.h"
#include "run/settings.h"
#include "association/estimates.h"
#include "association/significance_selection.h"
#include "association/snp_order.h"

namespace {

// --debug: the rank of every SNP in this resample, and whether it came out significant.
// Called with the scan sorted by p; takes the process-wide lock for the shared SNP records.
void recordRankHistory(const std::vector<significanceRecord>& sorted) {
#pragma omp critical
  {
    for (size_t i = 0; i < sorted.size(); ++i) {
      snpRecord* snp = sorted[i].snp;
      snp->rankHistory.push_back(static_cast<double>(i + 1));
      if (sorted[i].significant != 0) ++snp->sigCount;
    }
    ++replicatesSeen;
  }
}

// The progress line of one resample, written with a single call so that lines of concurrent
// threads do not interleave.
void printSignificantCount(const std::string& levelName, int count) {
  char text[1024];
  std::snprintf(text, sizeof text, "Level %s:  significant snps=%d \n", levelName.c_str(), count);
  std::cout << std::string(text);
}

}  // namespace

int resampleAndNumber(bootstrapSampler& sampler, int& counter) {
  int number = 0;
#pragma omp critical
  {
    sampler.claimResamples(1);
    number = counter++;
  }
  sampler.nextResample();
  sampler.buildLists();
  return number;
}

int analyzeResample(std::vector<resultRecord>& out, bootstrapSampler& sampler,
                    std::vector<snpRecord*>& snpList, int maxSnps, const std::string& levelName,
                    const std::string& threadTag, int mode) {
  const std::string prefix = scratchPrefix + "cpu" + threadTag;
  std::vector<significanceRecord> scan;
  const int count = runSignificanceTest(prefix + "all", sampler.sample, snpList, 1, scan);
  if (mode != 2) printSignificantCount(levelName, count);
  if (count == 0) return 0;

  std::sort(scan.begin(), scan.end(), lessSignificanceByP);
  if (debugLevel != 0) recordRankHistory(scan);

  // The estimate list is this thread's own: the plink routes re-order the list they are given.
  std::vector<snpRecord*> estimateList;
  out.clear();
  out.reserve(static_cast<size_t>(count));
  for (const significanceRecord& record : scan) {
    if (record.significant == 0) continue;
    if (maxSnps != -1 && static_cast<int>(out.size()) >= maxSnps) break;
    estimateList.push_back(record.snp);
    resultRecord result;
    result.snp = record.snp;
    result.p = record.p;
    out.push_back(result);
  }
  sortSnpsByPosition(estimateList);

  std::vector<estimateRecord> dEstimates;
  std::vector<estimateRecord> eEstimates;
  computeEstimates(sampler.sample, estimateList, prefix + "ud", dEstimates);
  computeEstimates(sampler.notSelected, estimateList, prefix + "ue", eEstimates);
  mergeResults(out, dEstimates, eEstimates);
  return static_cast<int>(out.size());
}

void level0Worker(level0Shared& shared) {
  const int thread = omp_get_thread_num();
  const itemBlock block = threadBlock(10 * nL0, omp_get_num_threads(), thread);
  const std::string threadTag = std::to_string(thread);
  for (int item = block.begin; item < block.end; ++item) {
    // Attempts already under way when the stop count is reached still finish.
    if (shared.sigBoots.load() >= nL0) continue;
    bootstrapSampler sampler(individuals);
    const int attempt = resampleAndNumber(sampler, shared.attempts);
    replicate records;
    const int found = analyzeResample(records, sampler, snps, nSig, "L0-" + std::to_string(attempt),
                                      threadTag, 0);
    if (found == 0) continue;
#pragma omp critical
    {
      // A replicate short of nSig records still serves the ranks it has.
      shared.replicates->push_back(records);
      if (found >= nSig) ++shared.sigBoots;
      printResultMatrix("L0[N]", "  ", records);
      std::cout.flush();
    }
  }
}

void computeLevel0() {
  std::cout << "Computing Level 0 quantities.\n\n";
  std::vector<replicate> replicates;
  replicates.reserve(static_cast<size_t>(std::max(nL0, 0)) + 10);
  level0Shared shared;
  shared.replicates = &replicates;
#pragma omp parallel
  level0Worker(shared);

  std::cout << "\n" << level0CompletionLine(shared.sigBoots.load(), shared.attempts);

  if (clusterCount > 0) {
    // A cluster instance stores its replicates for the join instead.
    writeBootstrapState(clusterFile, replicates);
    return;
  }

  // computeUboot would compute the missing correlations one after the other on this thread;
  // computed here first, in the order it meets them, they take all threads (and with one thread
  // the draws come in the same order, so the results are the same).
  if (adjCor != 0) computeCorrelationsInParallel(correlationOrder(naiveResults, replicates));
  uboot = computeUboot(naiveResults, replicates, 1);
  if (noTruncate == 0) {
    const size_t ranks = std::min(uboot.size(), static_cast<size_t>(std::max(nSig, 0)));
    for (size_t k = 0; k < ranks; ++k) {
      if (uboot[k] < 0 && uboot[k] != missingValue) uboot[k] = 0;
    }
  }
  if (allBias == 1) writeBiasFiles(replicates);
  std::cout.flush();
}
