#include "bootstrap/analysis_flow.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <unordered_set>

#include "bootstrap/cluster_runs.h"
#include "bootstrap/confidence_intervals.h"
#include "bootstrap/level0.h"
#include "bootstrap/level12.h"
#include "bootstrap/merge_results.h"
#include "bootstrap/result_records.h"
#include "bootstrap/results_writers.h"
#include "bootstrap/uboot.h"
#include "dataset/snp_filters.h"
#include "dataset/covariate_design.h"
#include "dataset/phenotype_groups.h"
#include "dataset/snp_major_genotypes.h"
#include "run/exit.h"
#include "run/output_file.h"
#include "run/settings.h"
#include "association/association_tests.h"
#include "association/estimates.h"
#include "association/plink_runner.h"
#include "association/significance_selection.h"

namespace {

// rank and naiveP of every SNP the scan returned a record for, significant or not.
void recordRanks(const std::vector<significanceRecord>& sorted) {
  for (size_t i = 0; i < sorted.size(); ++i) sorted[i].snp->rank = static_cast<int32_t>(i + 1);
  for (const significanceRecord& record : sorted) record.snp->naiveP = record.p;
}

// --top: only the first topCount flagged records stay flagged.
void applyTopCount(std::vector<significanceRecord>& sorted) {
  std::cout << "Selecting only the top " << topCount << " significant SNPs\n";
  int kept = 0;
  for (significanceRecord& record : sorted) {
    if (record.significant == 0) continue;
    if (kept < topCount) {
      ++kept;
    } else {
      record.significant = 0;
    }
  }
  nSig = kept;
}

// --keep: cuts the data set to the keepCount SNPs of smallest p; no other SNP stays.
void keepBestSnps(const std::vector<significanceRecord>& sorted) {
  std::cout << "Keeping only " << keepCount << " SNPs to speed up computation.\n";
  if (keepCount < nSig) {
    std::cout << "Error: Cannot keep less than the number of significant SNPs\n";
    fatalExit(1);
  }
  // Every SNP outside the first keepCount records goes, also those the scan returned no
  // record for (the logistic test's TREND screening passes over most SNPs).
  std::unordered_set<const snpRecord*> kept;
  for (size_t i = 0; i < sorted.size() && i < static_cast<size_t>(keepCount); ++i) {
    kept.insert(sorted[i].snp);
  }
  for (snpRecord* snp : snps) {
    if (kept.count(snp) == 0) snp->index = -1;
  }
  compactSnps();
  std::cout << "Number of snps now is " << snps.size() << "\n";
  keepCount = -1;
}

std::vector<snpRecord*> significantSnps(const std::vector<significanceRecord>& sorted) {
  if (debugLevel > 0) {
    std::cout << "Significant SNPs:\n";
    for (const significanceRecord& record : sorted) {
      if (record.significant == 0) continue;
      char text[1024];
      std::snprintf(text, sizeof text, "%s(%g) ", record.snp->name.c_str(), record.p);
      std::cout << text;
    }
    std::cout << "\n\n";
  }
  std::vector<snpRecord*> list;
  for (const significanceRecord& record : sorted) {
    if (record.significant == 0) continue;
    list.push_back(record.snp);
    resultRecord naive;
    naive.snp = record.snp;
    naive.p = record.p;
    naiveResults.push_back(naive);
  }
  return list;
}

}  // namespace

std::vector<snpRecord*> computeNaiveEstimate() {
  // Said before the scan, which on such a data set finds nothing (or, through plink, fails).
  std::cout << phenotypeShortfallWarning();
  for (;;) {
    // Every scan from here on counts genotype cells through the copy; a --keep cut below
    // drops it with the records, and the next round builds it for the reduced set.
    ensureSnpMajorGenotypes();
    // The in-process logistic fits with covariates take their design rows from this table.
    ensureCovariateDesign();
    std::cout << "Computing naive estimate...\n\n";
    std::vector<significanceRecord> records;
    nSig = runSignificanceTest(scratchPrefix + "all", individuals, snps, 0, records);
    if (nSig == 0) {
      std::cout << "\nNo Significant SNPs in input file. Nothing to do.\n";
      fatalExit(1);
    }
    std::sort(records.begin(), records.end(), lessSignificanceByP);
    recordRanks(records);
    std::printf("Original dataset: # of significant snps = %d \n", nSig);
    if (topCount != -1) applyTopCount(records);
    if (keepCount == -1) return significantSnps(records);
    // The records point into the SNP list that the cut rebuilds: scan the reduced set again.
    keepBestSnps(records);
  }
}

void computeNaiveOddsRatios(const std::vector<individualRecord*>& people,
                            std::vector<snpRecord*>& significant) {
  std::vector<estimateRecord> estimates;
  computeEstimates(people, significant, scratchPrefix + "Un", estimates);
  mergeResults(naiveResults, estimates);
  if (silent != 0) return;
  std::cout << "Naive p-values and OR:\n";
  for (const resultRecord& record : naiveResults) {
    char text[100];
    std::snprintf(text, sizeof text, "%s %g %g (%c)\n", record.snp->name.c_str(), record.p,
                  std::exp(record.un), record.alleleUn);
    std::cout << text;
  }
  std::cout << "\n\n";
}

void runAnalysis() {
  if (alpha > 3.0) debugAllelicBootstrap();
  removeOldOutputFile();
  std::vector<snpRecord*> significant = computeNaiveEstimate();
  if (adjCor != 0) computeCorrelations();
  computeNaiveOddsRatios(individuals, significant);
  computeLevel0();
  computeLevel12();
  if (clusterCount > 0) {
    closeClusterFile();
    std::cout << "\n\nCluster iteration " << clusterIndex << " finished.\n"
              << "Use --join when all instances are done to get the final results.\n";
    fatalExit(0);
  }
  computeConfidenceIntervals();
  writeResults();
}

void writeSingleSnps() {
  const std::vector<snpRecord*> significant = computeNaiveEstimate();
  for (size_t i = 0; i < significant.size(); ++i) {
    std::cout << "Writing single SNP : " << significant[i]->name << "\n";
    plink.writeWholeFileset("snp-" + std::to_string(i), individuals, {significant[i]}, 0);
  }
}

void debugAllelicBootstrap() {
  std::vector<double> phenotypes(individuals.size());
  std::vector<int8_t> codes(individuals.size());
  for (const snpRecord* snp : snps) {
    for (size_t i = 0; i < individuals.size(); ++i) {
      phenotypes[i] = individuals[i]->phenotype;
      codes[i] = static_cast<int8_t>(genotypeAt(individuals[i]->genotypes, snp->index));
    }
    std::cout << "**" << snp->name << " " << assocTests.allelicPValue(phenotypes, codes) << "\n";
    double sum = 0;
    std::vector<double> drawnPhenotypes(individuals.size());
    std::vector<int8_t> drawnCodes(individuals.size());
    for (int b = 0; b < 100; ++b) {
      for (size_t i = 0; i < individuals.size(); ++i) {
        const size_t k = static_cast<size_t>(std::rand() % nIndividuals);
        drawnPhenotypes[i] = phenotypes[k];
        drawnCodes[i] = codes[k];
      }
      sum += assocTests.allelicPValue(drawnPhenotypes, drawnCodes);
    }
    std::cout << sum / 1000.0 << "\n";
  }
  plainExit(0);
}
