// The PLINK text data set: the .map and .ped readers, and the removal of individuals whose
// phenotype is missing.
#include <omp.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <span>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "dataset/covariate_design.h"
#include "dataset/dataset.h"
#include "dataset/map_reader_messages.h"
#include "dataset/ped_file_readers.h"
#include "dataset/ped_line_scanner.h"
#include "dataset/ped_record.h"
#include "dataset/snp_major_genotypes.h"
#include "run/exit.h"
#include "run/settings.h"
#include "association/plink_runner.h"

namespace {

[[noreturn]] void cannotOpen(const std::string& fileName) {
  std::cout << "Error: Cannot open input file " << fileName << "\n";
  fatalExit(1);
}

// A directory opens for reading on Linux and then reads as empty: it would pass for a data set
// without SNPs or individuals.
bool isDirectory(const std::string& fileName) {
  std::error_code ignored;
  return std::filesystem::is_directory(fileName, ignored);
}

// Pipes, terminals and the like can be read only once and only in order.
bool isRegularFile(FILE* file) {
  struct stat status {};
  return fstat(fileno(file), &status) == 0 && S_ISREG(status.st_mode);
}

std::string wholeText(std::ifstream& file) {
  std::ostringstream text;
  text << file.rdbuf();
  return std::move(text).str();
}

}  // namespace

void cannotReadPedFile(const std::string& fileName) {
  std::cout << "Error: Cannot read input file " << fileName << "\n";
  fatalExit(1);
}

void plinkRunner::readPedAndMap(const std::string& pedFileName, const std::string& mapFileName) {
  // The .ped reader needs nSnps.
  readMapFile(mapFileName);
  readPedFile(pedFileName);
}

void plinkRunner::readMapFile(const std::string& fileName) {
  std::ifstream file(fileName);
  if (!file || isDirectory(fileName)) cannotOpen(fileName);
  // Records are not lines: a whitespace-token stream, ended by the first token that does not
  // read (end of file, or a chromosome that is no whole number such as X). The text is read
  // whole so that the warning can say where the reading stopped.
  std::istringstream text(wholeText(file));
  const size_t first = snps.size();
  size_t recordStart = 0;  // where the record being read begins in the text
  for (;;) {
    recordStart = static_cast<size_t>(text.rdbuf()->pubseekoff(0, std::ios_base::cur,
                                                               std::ios_base::in));
    auto* snp = new snpRecord;
    if (!(text >> snp->chromosome >> snp->name >> snp->geneticDistance >> snp->position)) {
      delete snp;
      break;
    }
    snp->index = static_cast<int32_t>(snps.size());  // after any SNPs already there
    snps.push_back(snp);
  }
  std::cout << mapStopWarning(text.view(), recordStart, fileName);
  nSnps = static_cast<int>(snps.size());
  std::cout << "Map file contains " << nSnps << " SNP ids. \n";
  std::cout << repeatedSnpIdWarning(std::span(snps).subspan(first), fileName);
  std::cout << sexChromosomeWarning(std::span(snps).subspan(first), fileName);
}

void readPedLinesInOrder(FILE* file, const std::string& fileName, pedAlleleColumns& alleles) {
  pedLineBuffer buffer;
  allocPedLineBuffers(buffer, file);
  pedLineText& line = buffer.line;
  pedMessageSink messages;
  while (readPedLine(buffer) >= 0) {
    individualRecord* person = nullptr;
    const pedLineFault fault = readPedRecord(line, alleles, messages, person);
    if (fault != pedLineFault::none) {
      std::cout << pedFaultMessage(fault, fileName, line.lineNumber);
      fatalExit(1);
    }
    person->index = static_cast<int32_t>(individuals.size());
    individuals.push_back(person);
    // Counted by the line read, so every message names the line it is about.
    if (line.length > 0 && line.text[line.length - 1] == '\n') ++line.lineNumber;
  }
  // A read error looks like the end of the file to the line reader; the individuals after it
  // would be lost without a word. So does a line longer than the memory left for it, which sets
  // neither flag of the stream.
  if (std::ferror(file)) cannotReadPedFile(fileName);
  if (!std::feof(file)) memoryExit();
  freePedLineBuffers(buffer);
}

void plinkRunner::readPedFile(const std::string& fileName) {
  FILE* file = std::fopen(fileName.c_str(), "r");
  if (!file || isDirectory(fileName)) cannotOpen(fileName);
  pedAlleleColumns alleles{std::vector<char>(nSnps, 0), std::vector<char>(nSnps, 0)};
  // One thread reads as fast in order, and a file that is not regular can only be read so.
  const int threads = omp_get_max_threads();
  if (threads > 1 && isRegularFile(file)) {
    readPedBlocksOnThreads(fileno(file), fileName, alleles, defaultPedBlockSize, threads);
  } else {
    readPedLinesInOrder(file, fileName, alleles);
  }
  nIndividuals = static_cast<int>(individuals.size());
  for (int j = 0; j < nSnps; ++j) {
    snps[j]->allele1 = alleles.allele1[j];
    snps[j]->allele2 = alleles.allele2[j];
  }
  std::cout << "Pedigree file contains " << nIndividuals << " individuals.\n";
  std::fclose(file);
}

double plinkRunner::parseValueOrMissing(const char* text) const {
  if (missingPhenotype == text) return missingValue;
  double value = 0;
  if (std::sscanf(text, "%lf", &value) != 1) return missingValue;
  // "nan", "inf", "infinity" and the like read as numbers, but no fit can use them.
  if (!std::isfinite(value)) return missingValue;
  return value;
}

void plinkRunner::removeMissingPhenotypes() {
  invalidateSnpMajorGenotypes();  // its rows may name records deleted here
  invalidateCovariateDesign();    // so may this table's
  std::vector<individualRecord*> kept;
  kept.reserve(individuals.size());
  int removed = 0;
  for (individualRecord* person : individuals) {
    if (person->phenotype == missingValue) {
      delete person;
      ++removed;
    } else {
      kept.push_back(person);  // keeps its index: no renumbering
    }
  }
  if (removed != 0) {
    std::cout << "Warning: Deleting " << removed << " individuals with missing phenotype.\n\n";
  }
  individuals = std::move(kept);
  nIndividuals = static_cast<int>(individuals.size());
}
