// Fuzz target: the alternative-phenotype and covariate readers on a data set of 10 individuals.
// The first byte chooses the reader (even: --pheno, odd: --covar); the rest is the file.
#include <cstddef>
#include <cstdint>

#include "association/plink_runner.h"
#include "dataset/dataset.h"
#include "fuzz_support.h"
#include "test_support/settings_snapshot.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const bool covariates = data[0] & 1;
  memoryFile file(data + 1, size - 1);
  testsupport::settingsSnapshot settings;
  buildDataSet(4, 10);
  runRefusable([&] {
    if (covariates) {
      useCovariates = true;
      covarFileName = file.path();
      plink.readCovariateFile(file.path());
    } else {
      phenoFileName = file.path();
      plink.readAlternativePhenotype(file.path());
    }
    plink.removeMissingPhenotypes();
  });
  freeDataSet();
  return 0;
}
