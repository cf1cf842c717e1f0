#include "dataset/dummy_dataset.h"

#include <cstdlib>
#include <iostream>
#include <string>

#include "dataset/dataset.h"

void generateDummyDataset(int nInd, int nSnp) {
  std::cout << "Generating dummy dataset...\n";
  std::srand(10);
  const int firstIndex = static_cast<int>(snps.size());
  for (int k = 0; k < nSnp; ++k) {
    auto* snp = new snpRecord;
    snp->chromosome = 1;
    snp->name = "snp" + std::to_string(k);
    snp->allele1 = 'C';
    snp->allele2 = 'T';
    snp->geneticDistance = 0;
    snp->position = k + 1;
    snp->index = firstIndex + k;
    snps.push_back(snp);
  }
  nSnps = static_cast<int>(snps.size());
  for (int i = 0; i < nInd; ++i) {
    auto* person = new individualRecord;
    person->individualId = person->familyId = std::to_string(i);
    person->fatherId = "0";
    person->motherId = "0";
    person->sex = "1";
    person->phenotype = (i % 2) + 1;
    person->genotypes.assign(genotypeWordCount(nSnps), 0);
    for (int j = 0; j < nSnps; ++j) {
      setGenotype(person->genotypes, j, static_cast<unsigned>(std::rand() % 4));
    }
    person->index = static_cast<int>(individuals.size());
    individuals.push_back(person);
  }
  nIndividuals = static_cast<int>(individuals.size());
}
