// Test support: records added one at a time to the global data set, which the test empties
// with freeDataSet().
#pragma once

#include <string>
#include <vector>

#include "dataset/dataset.h"

namespace testsupport {

// A SNP in the next column, with nSnps kept in step; other fields are the caller's.
inline snpRecord* addSnp(const std::string& name, int chromosome, int position) {
  auto* snp = new snpRecord;
  snp->index = static_cast<int32_t>(snps.size());
  snp->name = name;
  snp->chromosome = chromosome;
  snp->position = position;
  snps.push_back(snp);
  nSnps = static_cast<int>(snps.size());
  return snp;
}

// An individual in file order, with nIndividuals kept in step: genotype words for the nSnps
// columns, codes[j] in column j and code 0 in the columns past the codes. Ids and the other
// fields are the caller's.
inline individualRecord* addIndividual(double phenotype, const std::vector<unsigned>& codes = {}) {
  auto* person = new individualRecord;
  person->index = static_cast<int32_t>(individuals.size());
  person->phenotype = phenotype;
  person->genotypes.assign(genotypeWordCount(nSnps), 0);
  for (size_t j = 0; j < codes.size(); ++j) {
    setGenotype(person->genotypes, static_cast<int>(j), codes[j]);
  }
  individuals.push_back(person);
  nIndividuals = static_cast<int>(individuals.size());
  return person;
}

}  // namespace testsupport
