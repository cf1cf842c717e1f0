// The alternative phenotype (--pheno) and covariate (--covar) files, and the "model.txt"
// listing of what the covariate reader gave every individual.
#include <cstddef>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "dataset/covariates.h"
#include "dataset/dataset.h"
#include "run/exit.h"
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
  std::ifstream file(fileName);
  if (!file) {
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

void plinkRunner::readCovariateFile(const std::string& fileName) {
  std::cout << "Reading covariate file " << fileName << "\n";
  std::ifstream file(fileName);
  if (!file) {
    std::cout << "Error: Cannot open covariates file " << fileName << "\n";
    fatalExit(1);
  }
  const std::map<std::string, int> positions = buildIdKeyMap();
  int lineCounter = 1;
  std::size_t covariateCount = 0;  // values on the last data line of a known individual
  std::string line;
  while (readTextLine(file, line)) {
    const std::vector<std::string> words = splitWords(line);
    if (words.size() < 2) {
      ++lineCounter;
      continue;
    }
    const auto found = positions.find(words[0] + "," + words[1]);
    if (found != positions.end()) {
      std::vector<double>& values = individuals[found->second]->covariates;
      for (std::size_t k = 2; k < words.size(); ++k) {
        values.push_back(parseValueOrMissing(words[k].c_str()));
      }
      covariateCount = words.size() - 2;
    } else if (lineCounter == 1) {
      // Only the first line can be the header, and only when its ids name nobody.
      std::cout << "Covariates header line: " << line << "\n";
      covariateHeaderLine = line;
    } else {
      std::cout << "Warning: Individual (" << words[0] << "," << words[1]
                << ") present in covariates file does not appear in genotype data.\n";
    }
    ++lineCounter;
  }
  std::cout << "Number of covariates: " << covariateCount << "\n";
  for (individualRecord* person : individuals) {
    if (!person->covariates.empty()) continue;
    std::cout << "Warning: Cannot find covariates for individual " << person->familyId << ","
              << person->individualId << "\n";
    person->covariates.assign(covariateCount, missingValue);
  }
  writeModelListing();
}
