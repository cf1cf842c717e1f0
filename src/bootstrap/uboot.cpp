// The bias-reduced estimate per rank from the differences Ud - Ue of the replicates.
#include "bootstrap/uboot.h"

#include <omp.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <unordered_set>

#include "dataset/stats_helpers.h"
#include "run/settings.h"

namespace {

// Zero, subnormal values, infinities and NaN are not normal numbers.
bool isNormalNumber(double x) {
  const double magnitude = std::fabs(x);
  return magnitude >= DBL_MIN && magnitude <= DBL_MAX;
}

// Ue corrected for its correlation with Ud on the replicate's SNP (computed on first use).
// A SNP without a full-data estimate has nothing to correct towards: Ue stays.
double adjustedUe(double ud, double ue, snpRecord& snp) {
  if (adjCor == 0) return ue;
  computeUdUeCorrelation(snp);
  if (snp.absLogOrFull == missingValue) return ue;
  return ue - ((ud - snp.absLogOrFull) * snp.covUdUe) / (snp.sdUd * snp.sdUd);
}

void printReferenceLine(const std::vector<resultRecord>& reference, size_t replicateCount) {
  std::ostringstream text;
  text << "Computing uboot using " << replicateCount << " iterations,,,\n";
  for (const resultRecord& record : reference) text << record.un << " ";
  text << "...\n";
  std::cout << text.str();
}

void printCorrelationLine(const resultRecord& ref, const snpRecord& snp, double ud, double ue,
                          double adjusted) {
  std::ostringstream text;
  text << "COR: " << ref.snp->name << " " << ref.un << " " << snp.name << " "
       << snp.absLogOrFull << " " << ud << " " << ue << " " << adjusted << " " << snp.covUdUe
       << " " << snp.sdUd << "\n";
  std::cout << text.str();
}

// The allele-frequency scale of a SNP's differences; 1 without the correction.
double mafScale(const snpRecord& snp) {
  return mafCorrection != 0 ? genotypeSd(snp.maf) : 1.0;
}

// A scale of 0 (monomorphic) or not a number (no calls) cannot scale anything.
bool usableScale(double scale) { return scale > 0 && std::isfinite(scale); }

// The pairs of one rank that the replicates contribute.
struct rankSamples {
  std::vector<double> differences;
  std::vector<double> uds;
  std::vector<double> ues;
};

rankSamples collectRank(const resultRecord& ref, const std::vector<replicate>& replicates,
                        size_t k) {
  rankSamples samples;
  for (const replicate& records : replicates) {
    if (records.size() <= k) continue;
    const resultRecord& record = records[k];
    const double ud = record.ud;
    const double ue = record.ue;
    if (ud == missingValue || ue == missingValue) continue;
    snpRecord& snp = *record.snp;
    const double adjusted = adjustedUe(ud, ue, snp);
    if (debugLevel != 0) printCorrelationLine(ref, snp, ud, ue, adjusted);
    if (!isNormalNumber(ud) || !isNormalNumber(adjusted)) continue;
    // A SNP with no spread of genotypes (frequency 0 or 1, or no calls) has no scale: its
    // difference would enter the mean as 0 and pull the bias towards none.
    const double scale = mafScale(snp);
    if (!usableScale(scale)) continue;
    samples.uds.push_back(ud);
    samples.ues.push_back(adjusted);
    samples.differences.push_back((ud - adjusted) * scale);
  }
  return samples;
}

void printRankLine(size_t k, const resultRecord& ref, const rankSamples& samples, double value) {
  char text[1024];
  std::snprintf(text, sizeof text,
                "   SNP %3d:%s computed bias using %d samples: Un[k]=%g Uboot=%g Bias=%g "
                "Bias.SD=%g Ud.SD=%g Ue.SD=%g\n",
                static_cast<int>(k), ref.snp->name.c_str(),
                static_cast<int>(samples.differences.size()), ref.un, value, ref.un - value,
                sdIgnoringMissing(samples.differences), sdIgnoringMissing(samples.uds),
                sdIgnoringMissing(samples.ues));
  std::cout << text;
}

}  // namespace

double genotypeSd(double p) { return std::sqrt((p + p) * (1 - p)); }

std::vector<snpRecord*> correlationOrder(const std::vector<resultRecord>& reference,
                                         const std::vector<replicate>& replicates) {
  std::vector<snpRecord*> order;
  std::unordered_set<const snpRecord*> seen;
  for (size_t k = 0; k < reference.size(); ++k) {
    for (const replicate& records : replicates) {
      if (records.size() <= k) continue;
      const resultRecord& record = records[k];
      if (record.ud == missingValue || record.ue == missingValue) continue;
      if (seen.insert(record.snp).second) order.push_back(record.snp);
    }
  }
  return order;
}

std::vector<double> computeUboot(const std::vector<resultRecord>& reference,
                                 const std::vector<replicate>& replicates, int mode) {
  if (debugLevel != 0) printReferenceLine(reference, replicates.size());
  std::vector<double> result(reference.size(), missingValue);
  // The ranks are independent: called alone (not from a worker of a parallel level) they share
  // out among the threads, unless the debugging lines must come in rank order.
  const long ranks = static_cast<long>(reference.size());
  const bool shareRanks = debugLevel == 0 && !omp_in_parallel();
#pragma omp parallel for schedule(dynamic, 8) if (shareRanks)
  for (long rank = 0; rank < ranks; ++rank) {
    const size_t k = static_cast<size_t>(rank);
    const resultRecord& ref = reference[k];
    const rankSamples samples = collectRank(ref, replicates, k);
    // Without a naive estimate or a scale for the rank's own SNP there is no Uboot.
    const double scale = mafScale(*ref.snp);
    if (!samples.differences.empty() && usableScale(scale) && ref.un != missingValue) {
      result[k] = ref.un - meanIgnoringMissing(samples.differences) / scale;
      if (debugLevel != 0) {
        std::ostringstream text;
        text << "DDD bias: " << result[k] << "\n";
        std::cout << text.str();
      }
    }
    if (mode != 0 && debugLevel != 0) printRankLine(k, ref, samples, result[k]);
  }
  return result;
}
