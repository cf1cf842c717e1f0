#include "dataset/dataset.h"

#include "dataset/covariate_design.h"
#include "dataset/snp_major_genotypes.h"

void freeDataSet() {
  invalidateSnpMajorGenotypes();
  invalidateCovariateDesign();
  for (individualRecord* person : individuals) delete person;
  individuals.clear();
  nIndividuals = 0;
  for (snpRecord* snp : snps) delete snp;
  snps.clear();
  nSnps = 0;
}
