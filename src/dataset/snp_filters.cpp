// Compaction of marked SNPs, the --chr selection and the --exclude / --extract lists.
#include "dataset/snp_filters.h"

#include <cstddef>
#include <fstream>
#include <iostream>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "dataset/dataset.h"
#include "dataset/input_files.h"
#include "dataset/covariate_design.h"
#include "dataset/snp_major_genotypes.h"
#include "run/exit.h"
#include "run/settings.h"

namespace {

// A copy of person whose genotypes hold only the columns of the unmarked SNPs, in list order.
// Each kept SNP's code is read at its own column (its index), not at its position: the plink
// routes may have put the list in chromosome, position order since the columns were laid.
individualRecord* compactedCopy(const individualRecord& person, int keptCount) {
  auto* copy = new individualRecord;
  copy->index = person.index;
  copy->familyId = person.familyId;
  copy->individualId = person.individualId;
  copy->fatherId = person.fatherId;
  copy->motherId = person.motherId;
  copy->sex = person.sex;
  copy->phenotype = person.phenotype;
  copy->covariates = person.covariates;
  copy->genotypes.assign(genotypeWordCount(keptCount), 0);
  int next = 0;
  for (const snpRecord* snp : snps) {
    if (snp->index == -1) continue;
    setGenotype(copy->genotypes, next++, genotypeAt(person.genotypes, snp->index));
  }
  return copy;
}

[[noreturn]] void cannotOpenList(const std::string& fileName) {
  std::cout << "Error: Cannot open file " << fileName << "\n";
  fatalExit(1);
}

// Marks the SNPs named in the file that are not marked yet; returns how many it marked.
int excludeListed(std::ifstream& file) {
  std::unordered_map<std::string, std::vector<snpRecord*>> byName;
  for (snpRecord* snp : snps) byName[snp->name].push_back(snp);
  int excluded = 0;
  std::string word;
  while (file >> word) {
    const auto found = byName.find(word);
    if (found == byName.end()) continue;
    for (snpRecord* snp : found->second) {
      if (snp->index == -1) continue;
      snp->index = -1;
      ++excluded;
    }
  }
  return excluded;
}

// Marks every SNP the file does not name, counting also those marked already.
int extractListed(std::ifstream& file) {
  std::set<std::string> kept;
  std::string word;
  while (file >> word) kept.insert(word);
  int deleted = 0;
  for (snpRecord* snp : snps) {
    if (kept.count(snp->name) != 0) continue;
    snp->index = -1;
    ++deleted;
  }
  return deleted;
}

}  // namespace

void compactSnps() {
  int marked = 0;
  for (const snpRecord* snp : snps) {
    if (snp->index == -1) ++marked;
  }
  if (marked == 0) return;
  if (debugLevel > 0) std::cout << "Removing " << marked << " snps.\n";
  const int keptCount = static_cast<int>(snps.size()) - marked;
  invalidateSnpMajorGenotypes();  // its rows name the records replaced below
  invalidateCovariateDesign();    // so do this table's
  for (individualRecord*& person : individuals) {
    individualRecord* copy = compactedCopy(*person, keptCount);
    delete person;
    person = copy;
  }
  std::size_t kept = 0;
  for (snpRecord* snp : snps) {
    if (snp->index == -1) {
      delete snp;
    } else {
      snps[kept++] = snp;
    }
  }
  snps.resize(kept);
  nSnps = static_cast<int>(snps.size());
  for (int j = 0; j < nSnps; ++j) snps[j]->index = j;
  if (debugLevel > 0) std::cout << "   Done (" << nSnps << " snps left)\n";
}

void selectChromosome(int c) {
  std::cout << "Selecting only chromosome " << c << " for analysis.\n";
  for (snpRecord* snp : snps) {
    if (snp->index != -1 && (snp->chromosome != c || snp->position == 0)) snp->index = -1;
  }
  compactSnps();
}

void applySnpLists() {
  int excluded = 0;
  int deleted = 0;
  if (!excludeFileName.empty()) {
    std::ifstream file;
    const bool opened = openInputFile(file, excludeFileName);
    std::cout << "Reading list of SNPs to exclude from file " << excludeFileName << "\n";
    if (!opened) cannotOpenList(excludeFileName);
    excluded = excludeListed(file);
  }
  if (!extractFileName.empty()) {
    std::cout << "Reading list of SNPs to keep from file " << extractFileName << "\n";
    std::ifstream file;
    if (!openInputFile(file, extractFileName)) cannotOpenList(extractFileName);
    deleted = extractListed(file);
  }
  if (excluded != 0) {
    std::cout << excluded << " SNPs were excluded from file " << excludeFileName << "\n";
  }
  if (deleted != 0) {
    std::cout << deleted << " SNPs were deleted, not present in file " << extractFileName << "\n";
  }
  compactSnps();
  std::cout.flush();
}
