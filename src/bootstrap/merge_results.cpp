#include "bootstrap/merge_results.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <sstream>

#include "run/exit.h"
#include "run/settings.h"

namespace {

// At most this many large-estimate warnings are printed in a run.
constexpr int largeOrWarningLimit = 200;

// The warning counter is tested and increased in two steps without a lock, so threads that pass
// the test together may print a few warnings beyond the limit.
bool mayWarnLargeOr() { return largeOrWarnings.load() < largeOrWarningLimit; }

[[noreturn]] void countMismatch(const char* what, size_t results, size_t estimates) {
  std::ostringstream text;
  text << "Error: mergeResults: didn't get the same # of snps for the results (" << results
       << ") and the " << what << " (" << estimates << ").\n";
  std::cout << text.str();
  fatalExit(1);
}

// Naive estimate of one record: un >= 0 on the log scale, for the allele it then refers to.
void orientNaive(resultRecord& record) {
  if (record.un == missingValue) return;
  if (record.un < 1) {
    record.un = 1 / record.un;
    record.alleleUn = otherAllele(*record.snp, record.alleleUn);
  }
  record.un = std::log(record.un);
  if (record.un > maxLogOddsRatio && studyType == 1 && mayWarnLargeOr()) {
    std::ostringstream text;
    text << "Warning: Log Odds Ratio > " << maxLogOddsRatio << " found for snp: "
         << record.snp->name << " OR=" << record.un << "\n";
    std::cout << text.str();
    ++largeOrWarnings;
  }
}

// Resample pair of one record: afterwards ud >= 0, ue refers to ud's allele and does not lie on
// the other side of 0 from ud.
void orientPair(resultRecord& record) {
  if (record.ud == missingValue || record.ue == missingValue) {
    record.ud = missingValue;
    record.ue = missingValue;
    return;
  }
  if (record.ud < 0 || record.ue < 0) {
    std::cout << "Negative odds ratio found! \n";
    fatalExit(1);
  }
  if (record.alleleUd != record.alleleUe) {
    record.alleleUe = record.alleleUd;
    record.ue = 1 / record.ue;
  }
  if ((record.ud < 1 && record.ue > 1) || (record.ud > 1 && record.ue < 1)) record.ue = 1;
  if (record.ud < 1) {
    record.ud = 1 / record.ud;
    record.ue = 1 / record.ue;
    record.alleleUd = otherAllele(*record.snp, record.alleleUd);
    record.alleleUe = otherAllele(*record.snp, record.alleleUe);
  }
  record.ud = std::log(record.ud);
  record.ue = std::log(record.ue);
  if ((record.ud > maxLogOddsRatio || record.ue > maxLogOddsRatio) && studyType == 0 &&
      mayWarnLargeOr()) {
    std::ostringstream text;
    text << "Warning: Log Odds Ratio > " << maxLogOddsRatio << " found for snp: "
         << record.snp->name << " UdOR=" << record.ud << " UeOR=" << record.ue << "\n";
    std::cout << text.str();
    ++largeOrWarnings;
  }
}

}  // namespace

char otherAllele(const snpRecord& snp, char allele) {
  if (allele == snp.allele1) return snp.allele2;
  if (allele == snp.allele2) return snp.allele1;
  return allele;
}

void mergeResults(std::vector<resultRecord>& results, std::vector<estimateRecord>& estimates) {
  std::sort(results.begin(), results.end(), lessResultBySnp);
  std::sort(estimates.begin(), estimates.end(), lessEstimateBySnp);
  // One estimate per record is expected; anything else cannot be aligned.
  if (results.size() != estimates.size())
    countMismatch("estimates", results.size(), estimates.size());
  for (size_t i = 0; i < estimates.size(); ++i) {
    resultRecord& record = results[i];
    record.un = estimates[i].effect;
    record.alleleUn = estimates[i].allele;
    if (record.snp != estimates[i].snp) {
      std::cout << "Error: mergeResults: cannot merge results, snp's are not in expected order.\n"
                   "Expected: " + record.snp->name + " Got: " + estimates[i].snp->name + "\n";
      fatalExit(1);
    }
    orientNaive(record);
  }
  std::sort(results.begin(), results.end(), lessResultByP);
}

void mergeResults(std::vector<resultRecord>& results, std::vector<estimateRecord>& dEstimates,
                  std::vector<estimateRecord>& eEstimates) {
  std::sort(results.begin(), results.end(), lessResultBySnp);
  std::sort(dEstimates.begin(), dEstimates.end(), lessEstimateBySnp);
  std::sort(eEstimates.begin(), eEstimates.end(), lessEstimateBySnp);
  if (dEstimates.size() != eEstimates.size()) {
    std::cout << "Error: mergeResults: didn't get the same # of snps for D and E steps.\n";
    fatalExit(1);
  }
  if (results.size() != dEstimates.size())
    countMismatch("D and E steps", results.size(), dEstimates.size());
  for (size_t i = 0; i < results.size(); ++i) {
    resultRecord& record = results[i];
    const estimateRecord& d = dEstimates[i];
    const estimateRecord& e = eEstimates[i];
    record.ud = d.effect;
    record.alleleUd = d.allele;
    record.ue = e.effect;
    record.alleleUe = e.allele;
    if (record.snp != d.snp || record.snp != e.snp) {
      std::cout << "Error: mergeResults: cannot merge, snp's are not in expected order.\n"
                   "Expected: " + record.snp->name + " Got: " + d.snp->name + " " +
                       e.snp->name + "\n";
      fatalExit(1);
    }
    orientPair(record);
    record.un = record.ud;
    record.alleleUn = record.alleleUd;
  }
  std::sort(results.begin(), results.end(), lessResultByP);
}

void printResultMatrix(const std::string& title, const std::string& label,
                       const std::vector<resultRecord>& results) {
  if (silent == 1) return;
  std::cout << "Matrix " + title + "\n";
  // Each line goes out in one write, so lines of threads printing at once do not tear. The
  // buffer grows for a SNP name too long for the usual line.
  std::vector<char> line(1000);
  for (size_t j = 0; j < results.size(); ++j) {
    const resultRecord& r = results[j];
    int length = 0;
    for (;;) {
      length = std::snprintf(
          line.data(), line.size(),
          "%s %4d: %15s p=%12g   UdOR,A1=(%4.3f,%c)   UeOR,A1=(%4.3f,%c)\n", label.c_str(),
          static_cast<int>(j), r.snp->name.c_str(), r.p, std::exp(r.ud), r.alleleUd,
          std::exp(r.ue), r.alleleUe);
      if (length < static_cast<int>(line.size())) break;
      line.resize(static_cast<size_t>(length) + 1);
    }
    // Written by its length: an unset allele is a zero byte, which must not cut the line short.
    std::cout << std::string(line.data(), static_cast<size_t>(length));
  }
}
