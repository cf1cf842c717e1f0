// plink runs on a fileset just written, and their result files read back into one record per
// SNP: the full-model table (.model), the regression tables (.assoc.linear, .assoc.logistic) and
// the rows of the R plug-in (.auto.R). Every file is checked row by row against the SNP list;
// any disagreement ends the run.
//
// plink 1.07 reports several failures as success (exit status 0): a result file it did not write,
// a table of another regression, an R plug-in without Rserve. So nothing here trusts the exit
// status alone: a stale file is removed before the run, and a missing file, a missing row (other
// than the SNPs that plink leaves out by design) or a row without values ends the run naming the
// file.
//
// Reentrant: worker threads call these at once, each on its own base name; the only shared data
// read is the data set's SNP list, which nothing changes while they run.
#include "association/plink_result_parsers.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "dataset/dataset.h"
#include "dataset/missing_value.h"
#include "run/exit.h"
#include "run/shell_command.h"
#include "run/settings.h"
#include "association/plink_runner.h"
#include "association/test_records.h"

namespace {

const char* const sortAdvice =
    "zuq input files should be sorted according to chr/bp. Please recode input file with plink "
    "(plink --recode) and run zuq again.";

// Prints the whole message in one write, so that lines of threads failing together do not mix,
// and ends the run.
[[noreturn]] void failWith(const std::string& message) {
  std::cout << message << std::flush;
  fatalExit(1);
}

// ---------------------------------------------------------------------------------------------
// Lines and columns

// The columns of one result line, read by a layout of 'd' (a decimal integer: optional sign and
// at least one digit) and 's' (a word: a run of non-blank characters). Blanks before a column are
// skipped; an integer column ends after its last digit, so the next column may follow at once.
// Returns how many columns could be read, in order; the rest of the line is ignored.
size_t scanColumns(const std::string& line, const char* layout, std::vector<std::string>& columns) {
  columns.clear();
  size_t at = 0;
  for (const char* kind = layout; *kind != '\0'; ++kind) {
    while (at < line.size() && std::isspace(static_cast<unsigned char>(line[at]))) ++at;
    const size_t start = at;
    if (*kind == 'd') {
      if (at < line.size() && (line[at] == '+' || line[at] == '-')) ++at;
      const size_t digits = at;
      while (at < line.size() && std::isdigit(static_cast<unsigned char>(line[at]))) ++at;
      if (at == digits) break;
    } else {
      while (at < line.size() && !std::isspace(static_cast<unsigned char>(line[at]))) ++at;
      if (at == start) break;
    }
    columns.push_back(line.substr(start, at - start));
  }
  return columns.size();
}

// A value column: "NA" is missingValue, anything else the decimal real at its start (0 when it
// starts with none).
double valueOrMissing(const std::string& word) {
  if (word == "NA") return missingValue;
  return std::strtod(word.c_str(), nullptr);
}

// A P column: "NA" is missingValue; anything else must read whole as a number from 0 to 1.
// False for any other word, which would otherwise count as p 0 (or never as significant).
bool readPValue(const std::string& word, double& p) {
  if (word == "NA") {
    p = missingValue;
    return true;
  }
  char* end = nullptr;
  const double value = std::strtod(word.c_str(), &end);
  if (end == word.c_str() || *end != '\0' || !(value >= 0 && value <= 1)) return false;
  p = value;
  return true;
}

// lineNumber counts the file's lines from 1, the header included.
[[noreturn]] void badPValue(const std::string& fileName, long lineNumber, const std::string& word,
                            const std::string& line) {
  std::ostringstream message;
  message << "Error: P value \"" << word << "\" in plink output file " << fileName << " line "
          << lineNumber << " is not a number from 0 to 1\n"
          << "Offending line is: " << line << "\n\n";
  failWith(message.str());
}

// Opens a result file; a file that plink did not write ends the run naming it.
void openResultFile(std::ifstream& file, const std::string& fileName, const std::string& error) {
  file.open(fileName);
  if (!file) failWith(error + fileName + "\n");
}

// plink leaves an earlier file of the same name alone when it writes none, and the worker threads
// reuse their names from one resample to the next: an old result must never be read as new.
void removeStaleResult(const std::string& fileName) { std::remove(fileName.c_str()); }

// plinkCovarArgs is "--covar-number V" or "--covar-name V" (or empty); V, the user's text, goes
// to the shell as one word.
std::string covariateSelection() {
  const size_t blank = plinkCovarArgs.find(' ');
  if (blank == std::string::npos) return plinkCovarArgs;
  return plinkCovarArgs.substr(0, blank + 1) + shellWord(plinkCovarArgs.substr(blank + 1));
}

// " --covar B.cov " and the covariate selection, when covariates are in use.
std::string covariateArguments(const std::string& base) {
  if (!useCovariates) return "";
  return " --covar " + shellWord(base + ".cov") + " " + covariateSelection();
}

[[noreturn]] void tooFewColumns(const char* kind, const std::string& fileName, long lineCount,
                                const std::string& line, const std::string& hint = "") {
  std::ostringstream message;
  message << "Error: Cannot read enough items from " << kind << " file " << fileName << " line "
          << lineCount << "\n"
          << "Offending line is: " << line << "\n\n"
          << hint;
  failWith(message.str());
}

// The file named on its own line after an error that names only the counts.
std::string fileLine(const std::string& fileName) {
  return "  output file was '" + fileName + "'\n";
}

[[noreturn]] void regressionOutOfOrder(const std::string& fileName, size_t i,
                                       const std::string& expected, const std::string& got) {
  std::ostringstream message;
  message << "Error: SNP's out of order on output file " << fileName << "    line:" << i
          << "  expected:" << expected << "  got: " << got << "\n"
          << sortAdvice << "\n";
  failWith(message.str());
}

[[noreturn]] void additionalSnps(const std::string& fileName) {
  failWith("Error: Additional SNPs in output file: " + fileName + "!\n");
}

// Checks the row's SNP against entry i of the list; i is the number of rows taken so far.
void checkRowSnp(const std::string& fileName, const std::vector<snpRecord*>& snpList, size_t i,
                 const std::string& snpName) {
  if (i >= snpList.size()) additionalSnps(fileName);
  if (snpList[i]->name != snpName) regressionOutOfOrder(fileName, i, snpList[i]->name, snpName);
}

// ---------------------------------------------------------------------------------------------
// .model: five rows per SNP (GENO TREND ALLELIC DOM REC), the SNPs in the order of the data set.

struct modelRow {
  std::string snp, a1, test, p;
};

bool isModelTestName(const std::string& word) {
  return word == "GENO" || word == "TREND" || word == "ALLELIC" || word == "DOM" || word == "REC";
}

// CHR SNP A1 A2 TEST AFF UNAFF CHISQ DF P. For a SNP without any typed genotype plink 1.07
// leaves A2 blank, so that row has nine words with the test name fourth: A2 is then empty.
bool parseModelRow(const std::string& line, modelRow& row) {
  std::vector<std::string> c;
  size_t n = scanColumns(line, "dsssssssss", c);
  if (n == 9 && isModelTestName(c[3])) {
    c.insert(c.begin() + 3, std::string());
    n = 10;
  }
  if (n < 10) return false;
  row = {c[1], c[2], c[4], c[9]};
  return true;
}

// plink's full-model test leaves out the SNPs of the haploid chromosomes, Y (24) and MT (26),
// which sort last; their absence at the end of the file is expected.
bool onlyHaploidSnpsFrom(size_t first) {
  for (size_t j = first; j < static_cast<size_t>(nSnps); ++j) {
    if (snps[j]->chromosome != 24 && snps[j]->chromosome != 26) return false;
  }
  return true;
}

[[noreturn]] void modelOutOfOrder(const std::string& first) {
  failWith(first + sortAdvice + " \n");
}

}  // namespace

// The groups of rows, one per SNP, matched in order to the data set's SNP list.
void readModelRows(std::istream& file, const std::string& fileName,
                   std::vector<significanceRecord>& out) {
  std::string line;
  std::getline(file, line);  // header
  significanceRecord record;
  bool open = false;
  std::string previous;
  long i = -1;
  long lineCount = 0;
  modelRow row;
  while (std::getline(file, line)) {
    ++lineCount;
    if (!parseModelRow(line, row)) tooFewColumns("model", fileName, lineCount, line);
    double x = missingValue;
    const bool used = row.test == "GENO" || row.test == "TREND";
    if (used && !readPValue(row.p, x)) badPValue(fileName, lineCount + 1, row.p, line);
    if (row.snp != previous) {
      if (open) out.push_back(record);
      ++i;
      open = false;
      if (i >= nSnps) {
        std::ostringstream message;
        message << "Error: SNP's out of order on output file " << fileName << " line "
                << lineCount << " expected snp " << row.snp << "\n";
        modelOutOfOrder(message.str());
      }
      record = significanceRecord{};
      record.snp = snps[i];
      previous = row.snp;
    }
    if (record.snp->name != row.snp) {
      std::ostringstream message;
      message << "Error: SNP's out of order on output file " << fileName << ", line " << i << " "
              << record.snp->name << "\n";
      modelOutOfOrder(message.str());
    }
    record.allele = row.a1[0];
    open = true;
    if (row.test == "GENO") record.genoP = x;
    if (row.test == "TREND") record.trendP = x;
  }
  if (open) out.push_back(record);
  if (out.size() == static_cast<size_t>(nSnps)) return;
  std::ostringstream message;
  if (onlyHaploidSnpsFrom(out.size())) {
    message << "Warning:   " << nSnps - out.size() << " SNPs were filtered based on maf.\n";
    std::cout << message.str();
    return;
  }
  // Any other SNP missing at the end means a file that plink did not write in full: its p would
  // be lost from the scan without a trace.
  message << "Error: Cannot read all full-model test results from plink (got " << out.size()
          << " expected " << nSnps << " )\n"
          << fileLine(fileName);
  failWith(message.str());
}

// ---------------------------------------------------------------------------------------------
// .assoc.linear and .assoc.logistic: CHR SNP BP A1 TEST NMISS BETA-or-OR STAT P, one ADD row per
// SNP (further rows per covariate term), the SNPs in .bim order.

namespace {

using regression = plinkRegression;

estimateRecord estimateFromAddRow(regression kind, snpRecord* snp,
                                  const std::vector<std::string>& c, double p) {
  estimateRecord record;
  record.snp = snp;
  record.allele = c[3][0];
  const double value = valueOrMissing(c[6]);
  if (kind == regression::logistic) {
    record.effect = value;
  } else {
    // The bootstrap takes the logarithm of every effect, so a coefficient travels as e^beta.
    record.effect = value == missingValue ? missingValue : std::pow(2.718281828459045, value);
  }
  record.p = p;
  return record;
}

}  // namespace

void readRegressionRows(std::istream& file, const std::string& fileName, regression kind,
                        const std::vector<snpRecord*>& snpList, std::vector<estimateRecord>& out) {
  std::string line;
  std::getline(file, line);  // header
  long lineCount = 1;
  std::vector<std::string> c;
  while (std::getline(file, line)) {
    ++lineCount;
    if (scanColumns(line, "dsdssssss", c) < 9) tooFewColumns("output", fileName, lineCount, line);
    if (c[4] != "ADD") continue;
    checkRowSnp(fileName, snpList, out.size(), c[1]);
    double p = missingValue;
    if (!readPValue(c[8], p)) badPValue(fileName, lineCount, c[8], line);
    out.push_back(estimateFromAddRow(kind, snpList[out.size()], c, p));
  }
  if (out.size() != snpList.size()) {
    std::ostringstream message;
    message << "Error: Cannot read all " << (kind == regression::linear ? "linear" : "logistic")
            << " test results from plink (got " << out.size() << " expected " << snpList.size()
            << " )\n"
            << fileLine(fileName);
    failWith(message.str());
  }
}

namespace {

void runRegression(plinkRunner& runner, regression kind, const std::string& base,
                   std::vector<estimateRecord>& out, const std::vector<snpRecord*>& snpList) {
  out.clear();
  // plink writes no table at all for a fileset without SNPs.
  if (snpList.empty()) return;
  const char* option = kind == regression::linear ? "--linear" : "--logistic";
  const std::string fileName =
      base + (kind == regression::linear ? ".assoc.linear" : ".assoc.logistic");
  removeStaleResult(fileName);
  const std::string name = doubleQuotedShellWord(base);
  runner.run("--bfile " + name + " " + option + " --out " + name + covariateArguments(base));
  std::ifstream file;
  openResultFile(file, fileName, "Cannot open plink output file: ");
  readRegressionRows(file, fileName, kind, snpList, out);
}

// ---------------------------------------------------------------------------------------------
// .auto.R: no header; CHR SNP BP A1, then the values the script returned (the effect on the log
// scale, then its p), each followed by a TAB.

// Without Rserve (or when the script fails in R) plink writes a single NA after the first four
// columns of every row and still reports success.
std::string noValuesHint(const std::string& line) {
  std::vector<std::string> c;
  if (scanColumns(line, "dsdsss", c) != 5 || c[4] != "NA") return "";
  return "Error: plink's R plug-in returned no values for SNP " + c[1] +
         ": is Rserve running on port 6311, and does the script run without error?\n";
}

}  // namespace

void readRPluginRows(std::istream& file, const std::string& fileName,
                     const std::vector<snpRecord*>& snpList, std::vector<estimateRecord>& out) {
  std::string line;
  std::vector<std::string> c;
  while (std::getline(file, line)) {
    const size_t i = out.size();
    if (scanColumns(line, "dsdsss", c) < 6) {
      tooFewColumns("output", fileName, static_cast<long>(i) + 2, line, noValuesHint(line));
    }
    const std::string& v = c[4];
    const std::string& p = c[5];
    double pValue = missingValue;
    if (!readPValue(p, pValue)) {
      failWith("Error: p-value from R-plugin is not between 0,1 : " + p + "\n");
    }
    if (debugLevel != 0) std::cout << c[1] + " " + c[3] + " " + v + " " + p + "\n";
    checkRowSnp(fileName, snpList, i, c[1]);
    estimateRecord record{snpList[i], c[3][0], missingValue, missingValue};
    if (v != "NA" && p != "NA") {
      record.effect = std::exp(valueOrMissing(v));
      record.p = pValue;
    }
    out.push_back(record);
  }
  if (out.size() != snpList.size()) {
    std::ostringstream message;
    message << "Error: Cannot read all test results from plink (got " << out.size()
            << " results while expecting " << snpList.size() << " )\n"
            << fileLine(fileName);
    failWith(message.str());
  }
}

void plinkRunner::runPlinkModel(const std::string& base, const std::string& outName,
                                std::vector<significanceRecord>& out) {
  out.clear();
  const std::string fileName = outName + ".model";
  removeStaleResult(fileName);
  run("--bfile " + doubleQuotedShellWord(base) + " --model --out " +
      doubleQuotedShellWord(outName) + " ");
  std::ifstream file;
  openResultFile(file, fileName, "Error: Cannot open plink output file: ");
  readModelRows(file, fileName, out);
}

void plinkRunner::runPlinkLinear(const std::string& base, std::vector<estimateRecord>& out,
                                 const std::vector<snpRecord*>& snpList) {
  runRegression(*this, regression::linear, base, out, snpList);
}

void plinkRunner::runPlinkLogistic(const std::string& base, std::vector<estimateRecord>& out,
                                   const std::vector<snpRecord*>& snpList) {
  runRegression(*this, regression::logistic, base, out, snpList);
}

void plinkRunner::runPlinkRPlugin(const std::string& base, std::vector<estimateRecord>& out,
                                  const std::vector<snpRecord*>& snpList, std::string scriptName) {
  out.clear();
  if (snpList.empty()) return;
  const std::string fileName = base + ".auto.R";
  removeStaleResult(fileName);
  const std::string name = doubleQuotedShellWord(base);
  run("--bfile " + name + " --R " + shellWord(scriptName) + " --out " + name +
      covariateArguments(base));
  std::ifstream file;
  openResultFile(file, fileName, "Cannot open plink output file: ");
  readRPluginRows(file, fileName, snpList, out);
}
