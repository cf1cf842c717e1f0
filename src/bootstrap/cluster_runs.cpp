#include "bootstrap/cluster_runs.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <vector>

#include "bootstrap/analysis_flow.h"
#include "bootstrap/confidence_intervals.h"
#include "bootstrap/correlation.h"
#include "bootstrap/level0.h"
#include "bootstrap/level12.h"
#include "bootstrap/results_writers.h"
#include "bootstrap/uboot.h"
#include "run/exit.h"
#include "run/random_generator.h"
#include "run/settings.h"
#include "run/temp_files.h"

namespace {

// The name clusterFile was opened on, for the error of an incomplete write.
std::string clusterFilePath;

// Set-up errors come before any temporary file exists, and before the temporary-name prefix is
// complete, so they end without the clean-up (which would try names in the working directory).
void checkInstanceArguments(int k, int n) {
  if (n < 1 || k < 1 || k > n) {
    std::cout << "Error: --cluster k/n needs n of at least 1 and k from 1 to n (got " << k << "/"
              << n << ").\n";
    plainExit(1);
  }
  if (keepCount != -1) {
    // The cut renumbers the SNPs of the instance, and the join, which runs no naive scan,
    // would read the stored SNP indexes against the uncut data set.
    std::cout << "Error: --keep cannot be used with --cluster: the join could not find the SNPs "
                 "of the reduced data set.\n";
    plainExit(1);
  }
}

// The naive part that every partial file of one analysis shares.
struct naiveState {
  int significant = 0;
  std::vector<resultRecord> records;
};

bool sameNumber(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

bool sameNaiveRecord(const resultRecord& a, const resultRecord& b) {
  return a.snp == b.snp && a.alleleUn == b.alleleUn && sameNumber(a.p, b.p) &&
         sameNumber(a.un, b.un);
}

// Files of instances that analysed other data, or with other options, must not be pooled.
void checkSameNaiveResults(const naiveState& first, const std::string& firstName,
                           const std::string& name) {
  std::string difference;
  if (nSig != first.significant) {
    difference = std::to_string(first.significant) + " against " + std::to_string(nSig) +
                 " significant SNPs";
  } else {
    for (size_t i = 0; i < naiveResults.size() && difference.empty(); ++i) {
      if (!sameNaiveRecord(naiveResults[i], first.records[i])) {
        difference = "the naive records of rank " + std::to_string(i + 1) + " differ";
      }
    }
  }
  if (difference.empty()) return;
  std::cout << "Error: Cluster results files " << firstName << " and " << name
            << " do not agree (" << difference
            << "): the instances were not run on the same data with the same options.\n";
  fatalExit(1);
}

// Reads the partial files 1 to n in order: level-0 replicates into the list, level-1 rows into
// level1Uboots; nSig and naiveResults are those of the files, which must all agree.
void readPartialFiles(int n, std::vector<replicate>& replicates) {
  naiveState first;
  const std::string firstName = clusterFileName(1, n);
  for (int i = 1; i <= n; ++i) {
    const std::string name = clusterFileName(i, n);
    std::ifstream in(name);
    std::cout << "Reading partial results from file " << name << ".\n";
    if (!in.is_open()) {
      std::cout << "Error: Cannot open cluster results file: " << name << "\n";
      fatalExit(1);
    }
    partialResultsReader reader(in, name);
    readBootstrapState(reader, replicates);
    readLevel1Uboots(reader);
    reader.expectEnd();
    if (i == 1) {
      first = {nSig, naiveResults};
    } else {
      checkSameNaiveResults(first, firstName, name);
    }
  }
}

void truncateNegativeUboots() {
  const size_t ranks = std::min(uboot.size(), static_cast<size_t>(std::max(nSig, 0)));
  for (size_t k = 0; k < ranks; ++k) {
    if (uboot[k] < 0 && uboot[k] != missingValue) uboot[k] = 0;
  }
}

}  // namespace

std::string incompleteClusterFileName(const std::string& fileName) {
  return fileName + ".incomplete";
}

int clusterShare(int k, int n, int total) { return total / n + (total % n >= k ? 1 : 0); }

std::string clusterFileName(int k, int n) {
  return outFileName + "." + std::to_string(k) + "." + std::to_string(n);
}

void setUpClusterInstance() {
  const int k = clusterIndex;
  const int n = clusterCount;
  checkInstanceArguments(k, n);
  clusterFilePath = clusterFileName(k, n);
  // The file is written under a name of its own and renamed into place once complete, so that a
  // join never takes the file of an instance that was stopped half-way for a finished one. An
  // old file goes at once: it belongs to an earlier analysis.
  std::remove(clusterFilePath.c_str());
  clusterFile.open(incompleteClusterFileName(clusterFilePath), std::ios::out | std::ios::trunc);
  if (!clusterFile.is_open()) {
    std::cout << "Error: Cannot create cluster results file: " << clusterFilePath << "\n";
    plainExit(1);
  }
  addTemporaryName(incompleteClusterFileName(clusterFilePath));
  nL0 = clusterShare(k, n, nL0);
  nL1 = clusterShare(k, n, nL1);
  // 32-bit arithmetic that wraps instead of overflowing.
  const int seed = static_cast<int>(static_cast<uint32_t>(k) * 7777u +
                                    static_cast<uint32_t>(runSeed));
  rng.seed(seed);
  std::cout << "Clustering instance " << k << " of " << n << "\n"
            << "  Will run " << nL0 << " level 0 bootstraps.\n"
            << "  Will run " << nL1 << " level 1 bootstraps.\n"
            << "  Using seed " << seed << " for random number generation.\n";
}

void closeClusterFile() {
  if (!clusterFile.is_open()) return;
  clusterFile.close();
  const std::string incomplete = incompleteClusterFileName(clusterFilePath);
  if (clusterFile.fail() || std::rename(incomplete.c_str(), clusterFilePath.c_str()) != 0) {
    std::cout << "Error: Cannot write cluster results file: " << clusterFilePath << "\n";
    fatalExit(1);
  }
}

void joinClusterResults() {
  std::cout << "\nJoining the results from cluster runs..\n";
  const int n = clusterCount;
  if (n < 1) {
    std::cout << "Error: --join needs the number of cluster runs, at least 1 (got " << n
              << ").\n";
    fatalExit(1);
  }
  std::vector<replicate> replicates;
  readPartialFiles(n, replicates);
  // The naive scan does not run here; psig.txt sorts by the p the instances found.
  for (const resultRecord& record : naiveResults) record.snp->naiveP = record.p;

  std::cout << "L0 size is " << replicates.size() << "\n";
  if (!replicates.empty()) std::cout << "L0[0] is " << replicates[0].size() << "\n";

  // No correlation was computed in this run: those that Uboot needs take all threads first, in
  // the order in which it meets them.
  if (adjCor != 0) {
    resetCorrelationState();
    computeCorrelationsInParallel(correlationOrder(naiveResults, replicates));
  }
  uboot = computeUboot(naiveResults, replicates, 1);
  if (noTruncate == 0) truncateNegativeUboots();

  if (adjCimaf != 0 && !level1Uboots.empty()) {
    std::cout << "Warning: Cluster results files carry no level-1 SNPs, so the confidence "
                 "intervals of a join take no MAF factor (as with --adj.cimaf 0).\n";
  }
  computeConfidenceIntervals();
  writeResults();
}
