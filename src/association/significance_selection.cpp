#include "association/significance_selection.h"

#include <algorithm>
#include <iostream>
#include <sstream>
#include <unordered_map>

#include "run/random_generator.h"
#include "run/settings.h"
#include "association/association_tests.h"
#include "association/estimates.h"
#include "association/plink_runner.h"
#include "association/snp_order.h"

namespace {

// Sets every record's flag by the alpha rule and returns the number flagged.
int flagByAlpha(std::vector<significanceRecord>& out) {
  int count = 0;
  for (significanceRecord& record : out) {
    record.significant = passesAlpha(record.p) ? 1 : 0;
    count += record.significant;
  }
  return count;
}

// Records of the tests that name no allele and give one p per estimate.
void recordsFromEstimates(const std::vector<estimateRecord>& estimates,
                          std::vector<significanceRecord>& out) {
  out.clear();
  out.reserve(estimates.size());
  for (const estimateRecord& estimate : estimates) {
    significanceRecord record;
    record.snp = estimate.snp;
    record.p = estimate.p;
    out.push_back(record);
  }
}

// The --debug line after a selection. Written in one piece so that lines of several threads
// do not mix.
void printDebugLine(const char* member, const std::string& prefix, size_t records, int count) {
  if (debugLevel != 1) return;
  std::ostringstream line;
  line << member << ": infile=" << prefix << " out.size()= " << records << " numSig = " << count
       << "\n";
  std::cout << line.str();
}

// The first LOGISTIC scan of a run fixes the screening threshold at ten times the largest TREND
// p among the SNPs that the logistic test finds significant on these individuals (0 when there
// are none, which then screens out every SNP). Each SNP's TREND p is paired with its own logistic
// p by SNP, as the logistic route through plink re-orders the list.
void setScreeningThreshold(const std::string& prefix,
                           const std::vector<individualRecord*>& individuals,
                           std::vector<snpRecord*>& snps) {
  std::cout << "Calculating screening trend test p-value: " << std::flush;
  std::vector<significanceRecord> trend;
  assocTests.fullModelTests(false, individuals, snps, trend, fullModelTrend);
  std::vector<estimateRecord> logistic;
  runLogistic(prefix, individuals, snps, logistic);

  std::unordered_map<const snpRecord*, double> trendBySnp;
  for (const significanceRecord& record : trend) trendBySnp[record.snp] = record.trendP;
  double largest = 0.0;
  for (const estimateRecord& estimate : logistic) {
    if (!(estimate.p < alpha)) continue;
    const auto found = trendBySnp.find(estimate.snp);
    if (found != trendBySnp.end()) largest = std::max(largest, found->second);
  }

  // Set once: a second thread that also found the threshold unset leaves the first one's value.
#pragma omp critical
  {
    if (screeningP.load() == missingValue) {
      screeningP = 10.0 * largest;
      std::ostringstream line;
      line << "Screening SNPs with TREND test at " << screeningP.load() << "\n";
      std::cout << line.str();
    }
  }
}

// The logistic estimates of the SNPs whose TREND p is below the threshold, in list order.
void screenedLogistic(const std::string& prefix,
                      const std::vector<individualRecord*>& individuals,
                      const std::vector<snpRecord*>& snps, std::vector<estimateRecord>& estimates) {
  const double threshold = screeningP.load();
  std::vector<significanceRecord> trend;
  assocTests.fullModelTests(false, individuals, snps, trend, fullModelTrend);
  std::vector<snpRecord*> kept;
  for (const significanceRecord& record : trend) {
    if (record.trendP < threshold) kept.push_back(record.snp);
  }
  std::ostringstream line;
  line << " Screened Snps: " << kept.size() << " out of " << snps.size() << "\tP = " << threshold
       << "\n";
  std::cout << line.str();
  runLogistic(prefix, individuals, kept, estimates);
}

}  // namespace

unsigned fullModelTestsSelecting(int test) {
  if (test == 2) return fullModelGeno;
  if (test == 0) return fullModelTrend | fullModelGeno;
  return fullModelTrend;
}

bool passesAlpha(double p) { return p != missingValue && p <= alpha; }

double selectFullModelP(int test, double trendP, double genoP) {
  if (test == 2) return genoP;
  if (test == 0 && trendP != missingValue && genoP != missingValue && genoP < trendP) {
    return genoP;
  }
  // TREND, and LINEAR on a binary trait: the trend test is the linear-trend test of a
  // case-control status on the allele dose.
  return trendP;
}

int runSignificanceTest(const std::string& prefix,
                        const std::vector<individualRecord*>& individuals,
                        std::vector<snpRecord*>& snps, int newfids,
                        std::vector<significanceRecord>& out) {
  if (testType == 5) return isSignificant_R(prefix, individuals, snps, newfids, out);
  if (quantitativeTrait == 1) return isSignificant_QT(prefix, individuals, snps, newfids, out);
  if (testType == 4) return isSignificant_Allelic(prefix, individuals, snps, newfids, out);
  if (testType == 3) return isSignificant_logistic(prefix, individuals, snps, newfids, out);
  if (testType == 7) return dummyDetection(prefix, individuals, snps, newfids, out);
  return isSignificant(prefix, individuals, snps, newfids, out);
}

int isSignificant(const std::string& prefix, const std::vector<individualRecord*>& individuals,
                  std::vector<snpRecord*>& snps, int newfids,
                  std::vector<significanceRecord>& out) {
  if (fast == 1) {
    assocTests.fullModelTests(false, individuals, snps, out, fullModelTestsSelecting(testType));
  } else {
    // plink reports the SNPs in chromosome, position order whatever the .bim order, and its
    // results are read back row by row against the list: an unsorted .map would end the run.
    sortSnpsByPosition(snps);
    plink.writeBinaryFileset(prefix, individuals, snps, newfids);
    plink.runPlinkModel(prefix, prefix, out);
  }
  for (significanceRecord& record : out) {
    record.p = selectFullModelP(testType, record.trendP, record.genoP);
  }
  const int count = flagByAlpha(out);
  printDebugLine("isSignificant", prefix, out.size(), count);
  return count;
}

int isSignificant_Allelic(const std::string& prefix,
                          const std::vector<individualRecord*>& individuals,
                          std::vector<snpRecord*>& snps, int,
                          std::vector<significanceRecord>& out) {
  std::vector<estimateRecord> estimates;
  assocTests.allelicTest(individuals, snps, estimates);
  recordsFromEstimates(estimates, out);
  const int count = flagByAlpha(out);
  printDebugLine("isSignificant_Allelic", prefix, out.size(), count);
  return count;
}

int isSignificant_QT(const std::string& prefix, const std::vector<individualRecord*>& individuals,
                     std::vector<snpRecord*>& snps, int, std::vector<significanceRecord>& out) {
  std::vector<estimateRecord> estimates;
  runQtAssociation(individuals, snps, estimates, prefix);
  recordsFromEstimates(estimates, out);
  return flagByAlpha(out);
}

int isSignificant_R(const std::string& prefix, const std::vector<individualRecord*>& individuals,
                    std::vector<snpRecord*>& snps, int, std::vector<significanceRecord>& out) {
  // The plug-in's results are read back in .bim order.
  sortSnpsByPosition(snps);
  plink.writeBinaryFileset(prefix, individuals, snps, 1);
  std::vector<estimateRecord> estimates;
  plink.runPlinkRPlugin(prefix, estimates, snps, rScriptFileName);
  recordsFromEstimates(estimates, out);
  return flagByAlpha(out);
}

int isSignificant_logistic(const std::string& prefix,
                           const std::vector<individualRecord*>& individuals,
                           std::vector<snpRecord*>& snps, int,
                           std::vector<significanceRecord>& out) {
  std::vector<estimateRecord> estimates;
  if (trendScreening != 0) {
    if (screeningP.load() == missingValue) setScreeningThreshold(prefix, individuals, snps);
    screenedLogistic(prefix, individuals, snps, estimates);
  } else {
    runLogistic(prefix, individuals, snps, estimates);
  }
  recordsFromEstimates(estimates, out);
  const int count = flagByAlpha(out);
  printDebugLine("isSignificant_logistic", prefix, out.size(), count);
  return count;
}

int dummyDetection(const std::string&, const std::vector<individualRecord*>&,
                   std::vector<snpRecord*>& snps, int, std::vector<significanceRecord>& out) {
  out.clear();
  out.reserve(snps.size());
  int count = 0;
  for (snpRecord* snp : snps) {
    double u;
    // rng is shared by every thread and has no lock of its own.
#pragma omp critical
    u = rng.uniform();
    significanceRecord record;
    record.snp = snp;
    record.allele = 'C';
    record.trendP = record.genoP = record.p = u;
    record.significant = alpha > u ? 1 : 0;
    count += record.significant;
    out.push_back(record);
  }
  std::cout << "DUMMY Detection.. sig= " + std::to_string(count) + "\n";
  return count;
}
