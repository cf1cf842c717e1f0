// Confidence intervals of Uboot, formed on the log of the shifted level-1 Uboot values.
#include "bootstrap/confidence_intervals.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

#include "bootstrap/analysis_flow.h"
#include "bootstrap/level0.h"
#include "bootstrap/level12.h"
#include "bootstrap/result_records.h"
#include "bootstrap/uboot.h"
#include "dataset/stats_helpers.h"
#include "run/settings.h"

namespace {

constexpr double normalQuantile95 = 1.959964;
// Every shifted value is at least this, so that its logarithm exists.
const double smallestShifted = std::exp(-3.0);

double valueAt(const std::vector<double>& values, size_t i) {
  return i < values.size() ? values[i] : missingValue;
}

bool usableLevel1Value(double x) { return x != missingValue && std::isfinite(x); }

void printCorrelationCount() {
  size_t computedCount = 0;
  for (const snpRecord* snp : snps) {
    if (snp->covUdUe != missingValue) ++computedCount;
  }
  std::cout << "Computed correllation for " << computedCount << " / " << snps.size()
            << " snps\n";
}

void printMatrixSizes() {
  std::ostringstream text;
  text << "Matrix Sizes:\n " << "\n\nL1:";
  for (const auto& row : level1Results) text << row.size() << " ";
  text << "\n" << "\n\nS1:";
  for (int count : level1SigCounts) text << count << " ";
  text << "\n" << "\nL2: \n" << "\n\n";
  text << "Sn = " << nSig << "\n";
  text << "UBOOT SIZE: " << level1Uboots.size() << " ";
  if (level1Uboots.empty()) {
    text << " NA \n";
  } else {
    text << level1Uboots[0].size() << "\n";
  }
  for (size_t r = 0; r < level1Uboots.size(); ++r) {
    text << "Uboot[ " << r << "] : ";
    for (double value : level1Uboots[r]) {
      if (value == missingValue) {
        text << "NA";
      } else {
        char cell[64];
        std::snprintf(cell, sizeof cell, "%8.2g", value);
        text << cell;
      }
      text << " ";
    }
    text << "\n";
  }
  text << "\n\n";
  std::cout << text.str();
}

void printStreamList(const char* title, const std::vector<double>& values) {
  std::ostringstream text;
  text << title;
  for (double value : values) text << value << " ";
  text << "\n";
  std::cout << text.str();
}

void printValueLine(const std::vector<double>& values) {
  std::string text;
  char cell[64];
  for (double value : values) {
    std::snprintf(cell, sizeof cell, "%6.2f ", value);
    text += cell;
  }
  std::cout << text + "\n";
}

// MAF factor of row j at rank i: the level-1 SNP's genotype SD over the reference SNP's. A row
// without its result records (a joined run carries only the Uboot rows) gets no factor.
double mafFactor(size_t row, size_t rank, double referenceSd) {
  if (row >= level1Results.size() || rank >= level1Results[row].size()) return 1.0;
  const snpRecord* snp = level1Results[row][rank].snp;
  if (snp == nullptr) return 1.0;
  return genotypeSd(snp->maf) / referenceSd;
}

// Level-1 Uboot values of one rank (B) with their MAF factors (fc). With the factors in use, a
// value whose factor is no number (a reference SNP without genotype SD, a level-1 SNP without
// calls) cannot be scaled and is left out.
void collectLevel1Values(size_t rank, std::vector<double>& values,
                         std::vector<double>& factors) {
  const double referenceSd = genotypeSd(naiveResults[rank].snp->maf);
  for (size_t j = 0; j < level1Uboots.size(); ++j) {
    const double value = valueAt(level1Uboots[j], rank);
    if (!usableLevel1Value(value)) continue;
    const double factor = mafFactor(j, rank, referenceSd);
    if (adjCimaf != 0 && !std::isfinite(factor)) continue;
    values.push_back(value);
    factors.push_back(factor);
  }
}

void appendInterval(size_t rank) {
  const bool debug = debugLevel != 0;
  const double ubootValue = valueAt(uboot, rank);
  if (rank >= naiveResults.size()) {
    ciLower.push_back(missingValue);
    ciUpper.push_back(missingValue);
    return;
  }
  if (debug) std::cout << "** SNP: " + naiveResults[rank].snp->name + "\n";
  std::vector<double> values;
  std::vector<double> factors;
  collectLevel1Values(rank, values, factors);
  if (debug) {
    printStreamList("DDD B[] : ", values);
    printStreamList("DDD fc[]: ", factors);
  }
  const double mean = meanIgnoringMissing(values);
  if (debug) {
    char text[256];
    std::snprintf(text, sizeof text, "mean = %f uboot0 = %f \n", mean, ubootValue);
    std::cout << text;
    printValueLine(values);
  }
  if (adjCimaf != 0) {
    for (size_t j = 0; j < values.size(); ++j) values[j] *= factors[j];
  }
  if (debug) printValueLine(values);
  // The mean taken off is that of the unscaled values, even when they were scaled.
  for (double& value : values) value = value - mean + ubootValue;
  if (debug) {
    std::cout << "Adjusted b*:\n";
    printValueLine(values);
  }
  double shift = 0;
  for (double value : values) shift = std::min(shift, value - smallestShifted);
  if (debug) {
    char text[64];
    std::snprintf(text, sizeof text, "shift = %f\n", shift);
    std::cout << text;
  }
  for (double& value : values) value -= shift;
  if (debug) printValueLine(values);
  for (double& value : values) value = std::log(value);
  const double sd = sdIgnoringMissing(values);
  const double logUboot = std::log(ubootValue);
  if (debug) {
    char text[256];
    std::snprintf(text, sizeof text, "ub0=%f std=%f ci=%f %f\n", logUboot, sd,
                  logUboot - normalQuantile95 * sd, logUboot + normalQuantile95 * sd);
    std::cout << text;
  }
  double lower = missingValue;
  double upper = missingValue;
  if (sd != missingValue && ubootValue != missingValue) {
    // The shift stays inside the exponential: the interval around ln Uboot scaled by e^shift.
    lower = std::exp(logUboot - normalQuantile95 * sd + shift);
    upper = std::exp(logUboot + normalQuantile95 * sd + shift);
  }
  // A negative Uboot (kept by --notruncate) has no logarithm, and a bound beyond the largest
  // double is no bound: no interval rather than NaN or infinity.
  if (!std::isfinite(lower) || !std::isfinite(upper)) {
    lower = missingValue;
    upper = missingValue;
  }
  if (debug) {
    char text[256];
    std::snprintf(text, sizeof text, "ub0=%f std=%f ci=%f %f\n", ubootValue, sd, lower, upper);
    std::cout << text;
  }
  ciLower.push_back(lower);
  ciUpper.push_back(upper);
  if (debug) {
    std::ostringstream text;
    text << "\n" << "mean = " << meanIgnoringMissing(values) << "\n";
    std::cout << text.str();
  }
}

}  // namespace

void computeConfidenceIntervals() {
  ciLower.clear();
  ciUpper.clear();
  if (adjCor != 0) printCorrelationCount();
  if (debugLevel != 0) printMatrixSizes();
  for (int i = 0; i < nSig; ++i) appendInterval(static_cast<size_t>(i));
}
