// The results table with psig.txt, the statistics file and the p-value listing.
#include "bootstrap/results_writers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iomanip>
#include <iostream>

#include "bootstrap/analysis_flow.h"
#include "bootstrap/confidence_intervals.h"
#include "bootstrap/level0.h"
#include "bootstrap/result_records.h"
#include "dataset/stats_helpers.h"
#include "run/exit.h"
#include "run/output_file.h"
#include "run/settings.h"

namespace {

using table = std::vector<std::vector<std::string>>;

std::string formatted(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// "NA" for a missing value, and for any value that is no finite number (a frequency of a SNP
// without calls is 0/0): a table cell never shows nan or inf.
std::string formattedOrNa(const char* format, double value) {
  return value == missingValue || !std::isfinite(value) ? "NA" : formatted(format, value);
}

std::string integerCell(int value) { return std::to_string(value); }

// An allele as a one-character cell; an unset allele (code 0) gives an empty cell.
std::string alleleCell(char allele) { return allele == 0 ? std::string() : std::string(1, allele); }

bool onLogScale() { return logScale == 1 || studyType == 2; }

// Un, Uboot and the bounds are stored as logs; the odds-ratio scale prints their exponential.
std::string effectCell(double value) {
  if (value == missingValue || !std::isfinite(value)) return "NA";
  return formattedOrNa("%.4f", onLogScale() ? value : std::exp(value));
}

// Share of the analysed resamples in which the SNP was significant; "NA" when none was analysed.
std::string significantShare(const char* format, const snpRecord& snp) {
  if (replicatesSeen == 0) return "NA";
  return formatted(format, static_cast<double>(snp.sigCount) / static_cast<double>(replicatesSeen));
}

double valueAt(const std::vector<double>& values, size_t i) {
  return i < values.size() ? values[i] : missingValue;
}

void writePsigFile() {
  std::vector<snpRecord*> sorted = snps;
  std::sort(sorted.begin(), sorted.end(),
            [](const snpRecord* a, const snpRecord* b) { return lessSnpByNaiveP(*a, *b); });
  writeOutputFileOrWarn("psig.txt", [&sorted](std::ostream& out) {
    for (const snpRecord* snp : sorted) {
      out << std::setw(10) << snp->name << " " << std::setw(10)
          << formattedOrNa("%.3g", snp->naiveP) << " " << significantShare("%.4f", *snp) << "\n";
    }
  });
}

std::vector<std::string> resultsHeader() {
  std::vector<std::string> header = {"CHR", "   SNP", " BP", " MAF", "A1", "        P"};
  if (studyType == 2) {
    header.push_back("  BETA");
  } else if (logScale == 1) {
    header.push_back("  LOGOR");
  } else {
    header.push_back("     OR");
  }
  header.insert(header.end(), {"  UBOOT", "CI_L", "CI_U"});
  if (debugLevel != 0) header.push_back("PSIG");
  return header;
}

std::vector<std::string> resultsRow(size_t rank) {
  const resultRecord& record = naiveResults[rank];
  const snpRecord& snp = *record.snp;
  std::vector<std::string> row = {integerCell(snp.chromosome),
                                  snp.name,
                                  integerCell(snp.position),
                                  formattedOrNa("%.3f", snp.maf),
                                  alleleCell(record.alleleUn),
                                  formattedOrNa("%.3g", record.p),
                                  effectCell(record.un),
                                  effectCell(valueAt(uboot, rank)),
                                  effectCell(valueAt(ciLower, rank)),
                                  effectCell(valueAt(ciUpper, rank))};
  if (debugLevel != 0) row.push_back(significantShare("%.3f", snp));
  return row;
}

table resultsTable() {
  table rows = {resultsHeader()};
  const size_t ranks = std::min(static_cast<size_t>(std::max(nSig, 0)), naiveResults.size());
  for (size_t i = 0; i < ranks; ++i) rows.push_back(resultsRow(i));
  return rows;
}

std::string alleleOrDash(char allele) { return allele == 0 ? "-" : std::string(1, allele); }

table statisticsTable() {
  table rows = {{"CHR", "      SNP", " BP", "A1", "A2", "MAF", "MAFCases", "MAFControls"}};
  for (const snpRecord* snp : snps) {
    rows.push_back({integerCell(snp->chromosome), snp->name, integerCell(snp->position),
                    alleleOrDash(snp->allele1), alleleOrDash(snp->allele2),
                    formattedOrNa("%.3f", snp->maf), formattedOrNa("%.3f", snp->mafCases),
                    formattedOrNa("%.3f", snp->mafControls)});
  }
  return rows;
}

// Writes the table to the named file, which holds the whole table or is not there at all; false
// when the file could not be created or written, with the system's reason.
bool writeTableFile(const std::string& fileName, const table& rows, std::string& reason) {
  return writeOutputFile(
      fileName, [&rows](std::ostream& out) { printTable(out, rows); }, &reason);
}

}  // namespace

void writeResults() {
  if (debugLevel != 0) writePsigFile();
  std::cout << "\n\nAnalysis finished.\n";
  std::cout << "There were " << nSig << " significant SNPs in original dataset.\n\n";
  const table rows = resultsTable();
  printTable(std::cout, rows);
  // The table on the screen is no substitute for the file the user asked for: a run that
  // cannot write it has failed.
  std::string reason;
  if (!writeTableFile(outFileName, rows, reason)) {
    std::cout << "Error: Cannot write results to file " << outFileName << " (" << reason
              << ").\n";
    fatalExit(1);
  }
}

void writeStatistics() {
  std::cout << "Writing statistics to file 'zuq.stats' .\n";
  std::string reason;
  if (!writeTableFile("zuq.stats", statisticsTable(), reason)) {
    std::cout << "Warning: Cannot write statistics to file zuq.stats (" << reason << ").\n";
  }
}

void writePvalueHistogram(const std::string& fileName,
                          const std::vector<significanceRecord>& records) {
  std::ofstream out(fileName);
  std::vector<double> values;
  values.reserve(records.size());
  for (size_t i = 0; i < records.size(); ++i) {
    out << i << " " << records[i].p << "\n";
    values.push_back(records[i].p);
  }
  out.close();
  writeHistogram(values, 200, fileName + ".hist");
}
