// The alternative phenotype (--pheno) and covariate (--covar) files, and the "model.txt"
// listing of what the covariate reader gave every individual.
#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "dataset/covariate_design.h"
#include "dataset/covariate_selection.h"
#include "dataset/covariates.h"
#include "dataset/dataset.h"
#include "dataset/input_files.h"
#include "run/exit.h"
#include "run/settings.h"
#include "association/plink_runner.h"

namespace {

// "familyId,individualId" to position in individuals; with a shared key the later one owns it.
std::map<std::string, int> buildIdKeyMap() {
  std::map<std::string, int> positions;
  for (int i = 0; i < static_cast<int>(individuals.size()); ++i) {
    positions[individuals[i]->familyId + "," + individuals[i]->individualId] = i;
  }
  return positions;
}

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// Whitespace-separated words; a carriage return counts as whitespace.
std::vector<std::string> splitWords(const std::string& line) {
  std::vector<std::string> words;
  std::size_t at = 0;
  while (at < line.size()) {
    while (at < line.size() && isBlank(line[at])) ++at;
    const std::size_t start = at;
    while (at < line.size() && !isBlank(line[at])) ++at;
    if (at > start) words.push_back(line.substr(start, at - start));
  }
  return words;
}

// Reads the next line whole, without its newline or the carriage return of a Windows file.
bool readTextLine(std::istream& in, std::string& line) {
  if (!std::getline(in, line)) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

void writeValueOrNa(std::FILE* out, double value, const char* after) {
  if (value == missingValue) {
    std::fprintf(out, "NA%s", after);
  } else {
    std::fprintf(out, "%g%s", value, after);
  }
}

// One line per individual: ids, number of covariates, phenotype " ~ G " covariates.
void writeModelListing() {
  std::FILE* out = std::fopen("model.txt", "w");
  if (!out) return;  // a listing for the user only; the run does not depend on it
  for (const individualRecord* person : individuals) {
    std::fprintf(out, "%s %s %zu\t", person->familyId.c_str(), person->individualId.c_str(),
                 person->covariates.size());
    writeValueOrNa(out, person->phenotype, "");
    std::fputs(" ~ G ", out);
    for (double value : person->covariates) writeValueOrNa(out, value, " ");
    std::fputs("\n", out);
  }
  std::fclose(out);
}

}  // namespace

void plinkRunner::readAlternativePhenotype(const std::string& fileName) {
  std::cout << "Reading alternative phenotype from file " << fileName << "\n";
  std::ifstream file;
  if (!openInputFile(file, fileName)) {
    std::cout << "Error: Cannot read file " << fileName << "\n";
    fatalExit(1);
  }
  const std::map<std::string, int> positions = buildIdKeyMap();
  for (individualRecord* person : individuals) person->phenotype = missingValue;
  // Lines naming nobody (a header, unknown individuals) are ignored; the last line wins.
  std::string line;
  while (readTextLine(file, line)) {
    const std::vector<std::string> words = splitWords(line);
    if (words.size() < 2) continue;
    const auto found = positions.find(words[0] + "," + words[1]);
    if (found == positions.end()) continue;
    individuals[found->second]->phenotype =
        parseValueOrMissing(words.size() > 2 ? words[2].c_str() : "");
  }
  int missing = 0;
  for (const individualRecord* person : individuals) {
    if (person->phenotype == missingValue) ++missing;
  }
  std::cout << "Read alternative phenotype for " << nIndividuals - missing << " individuals\n";
  if (missing != 0) std::cout << "Warning: " << missing << " individuals with no phenotype.\n";
}

namespace {

// The rows of the covariate file, before they are handed to the individuals.
struct covariateRows {
  std::vector<std::vector<double>> values;  // per position in individuals
  std::vector<bool> named;                  // the file has a data line for the individual
  std::vector<std::string> headerWords;     // empty when the file has no header line
};

void readCovariateLines(std::istream& file, covariateRows& rows) {
  const std::map<std::string, int> positions = buildIdKeyMap();
  rows.values.assign(individuals.size(), {});
  rows.named.assign(individuals.size(), false);
  int lineCounter = 1;
  std::string line;
  while (readTextLine(file, line)) {
    const std::vector<std::string> words = splitWords(line);
    if (words.size() < 2) {
      ++lineCounter;
      continue;
    }
    const auto found = positions.find(words[0] + "," + words[1]);
    if (found != positions.end()) {
      const int at = found->second;
      if (rows.named[at]) {
        std::cout << "Warning: Individual (" << words[0] << "," << words[1]
                  << ") appears more than once in covariates file; its last line is used.\n";
      }
      rows.named[at] = true;
      std::vector<double>& values = rows.values[at];
      values.clear();
      for (std::size_t k = 2; k < words.size(); ++k) {
        values.push_back(plink.parseValueOrMissing(words[k].c_str()));
      }
    } else if (lineCounter == 1) {
      // Only the first line can be the header, and only when its ids name nobody.
      std::cout << "Covariates header line: " << line << "\n";
      covariateHeaderLine = line;
      rows.headerWords = words;
    } else {
      std::cout << "Warning: Individual (" << words[0] << "," << words[1]
                << ") present in covariates file does not appear in genotype data.\n";
    }
    ++lineCounter;
  }
}

// The file's number of covariates: the number of values most data lines give (the earliest
// individual's on a tie), so that one short or long line, the first included, does not set it;
// 0 when no line names an individual.
int commonValueCount(const covariateRows& rows) {
  std::map<std::size_t, int> lines;
  int most = 0;
  for (std::size_t i = 0; i < rows.values.size(); ++i) {
    if (rows.named[i]) most = std::max(most, ++lines[rows.values[i].size()]);
  }
  for (std::size_t i = 0; i < rows.values.size(); ++i) {
    if (rows.named[i] && lines[rows.values[i].size()] == most) {
      return static_cast<int>(rows.values[i].size());
    }
  }
  return 0;
}

// Every individual gets exactly count values. A line with another number of values cannot say
// which column a value belongs to, so all of its values count as missing, as for an individual
// the file does not name: the fits leave such an individual out, whoever comes first.
void completeRows(covariateRows& rows, int count) {
  for (std::size_t i = 0; i < individuals.size(); ++i) {
    const individualRecord& person = *individuals[i];
    std::vector<double>& values = rows.values[i];
    if (!rows.named[i]) {
      std::cout << "Warning: Cannot find covariates for individual " << person.familyId << ","
                << person.individualId << "\n";
    } else if (static_cast<int>(values.size()) != count) {
      std::cout << "Warning: Individual (" << person.familyId << "," << person.individualId
                << ") has " << values.size() << " covariate values in covariates file, not "
                << count << "; its covariates are taken as missing.\n";
    } else {
      continue;
    }
    values.assign(static_cast<std::size_t>(count), missingValue);
  }
}

// --covar-number / --covar-name: only the chosen columns stay, for the in-process fits and in
// the .cov files handed to plink alike, so both routes fit the same model; plink then takes
// every column it is given.
void keepChosenColumns(covariateRows& rows, int count, const std::string& fileName) {
  std::vector<std::string> names;
  if (rows.headerWords.size() == static_cast<std::size_t>(count) + 2) {
    names.assign(rows.headerWords.begin() + 2, rows.headerWords.end());
  }
  std::vector<int> columns;
  std::string problem;
  if (!selectCovariateColumns(covarSelection, covarNumberGiven, names, count, columns,
                              problem)) {
    std::cout << "Error: " << problem << " (covariates file " << fileName << ")\n";
    fatalExit(1);
  }
  for (std::vector<double>& values : rows.values) {
    std::vector<double> chosen;
    for (const int c : columns) chosen.push_back(values[static_cast<std::size_t>(c)]);
    values = std::move(chosen);
  }
  std::cout << "Using " << columns.size() << " of " << count << " covariates:";
  for (const int c : columns) {
    std::cout << " " << (names.empty() ? std::to_string(c + 1) : names[c]);
  }
  std::cout << "\n";
  if (!covariateHeaderLine.empty()) {
    std::string header = rows.headerWords[0] + " " + rows.headerWords[1];
    for (const int c : columns) {
      header += " " + (names.empty() ? "COV" + std::to_string(c + 1) : names[c]);
    }
    covariateHeaderLine = header;
  }
  plinkCovarArgs.clear();
}

}  // namespace

void plinkRunner::readCovariateFile(const std::string& fileName) {
  std::cout << "Reading covariate file " << fileName << "\n";
  std::ifstream file;
  if (!openInputFile(file, fileName)) {
    std::cout << "Error: Cannot open covariates file " << fileName << "\n";
    fatalExit(1);
  }
  covariateRows rows;
  readCovariateLines(file, rows);
  // The number of covariates is that of the file, fixed once: a fit takes its parameter count
  // from whichever individual comes first, so every individual must carry the same number.
  const int count = commonValueCount(rows);
  std::cout << "Number of covariates: " << count << "\n";
  completeRows(rows, count);
  if (!covarSelection.empty()) keepChosenColumns(rows, count, fileName);
  invalidateCovariateDesign();  // built from the values replaced here
  for (std::size_t i = 0; i < individuals.size(); ++i) {
    individuals[i]->covariates = std::move(rows.values[i]);
  }
  writeModelListing();
}
