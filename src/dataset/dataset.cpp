#include "dataset/dataset.h"

void freeDataSet() {
  for (individualRecord* person : individuals) delete person;
  individuals.clear();
  nIndividuals = 0;
  for (snpRecord* snp : snps) delete snp;
  snps.clear();
  nSnps = 0;
}
