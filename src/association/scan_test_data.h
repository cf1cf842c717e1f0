// Test support for the scan and estimate dispatchers: a small case-control data set in the
// global data set, and a guard that puts back every setting the dispatchers read.
#pragma once

#include <random>
#include <string>
#include <vector>

#include "dataset/dataset.h"
#include "run/random_generator.h"
#include "run/settings.h"
#include "test_support/dataset_builder.h"
#include "test_support/settings_snapshot.h"

namespace scantest {

// Puts back every setting, with an empty data set, at the end.
class settingsGuard {
 public:
  ~settingsGuard() { freeDataSet(); }

 private:
  testsupport::settingsSnapshot settings_;
};

// Frequency of allele 2 in cases and in controls for one SNP of the generated data set.
struct snpDesign {
  double caseFrequency;
  double controlFrequency;
};

// Twelve SNPs: strong, moderate and weak associations, a rare SNP (cells below --cell, so GENO
// is voided) and null SNPs, in chromosome, position order.
inline const std::vector<snpDesign> defaultDesign = {
    {0.30, 0.50}, {0.40, 0.40}, {0.38, 0.46}, {0.45, 0.45}, {0.04, 0.05}, {0.25, 0.42},
    {0.50, 0.50}, {0.35, 0.35}, {0.42, 0.36}, {0.30, 0.30}, {0.55, 0.55}, {0.20, 0.20},
};

// Fills the global data set: nPeople individuals, alternately control (1.0) and case
// (caseValue), genotypes drawn in Hardy-Weinberg proportions from the design with about 2%
// missing. The draws come from a fixed-seed Mersenne twister, so the data set is the same in
// every run.
inline void buildDataSet(int nPeople, const std::vector<snpDesign>& design = defaultDesign,
                         double caseValue = 2.0, unsigned seed = 2024) {
  freeDataSet();
  const int nMarkers = static_cast<int>(design.size());
  for (int j = 0; j < nMarkers; ++j) {
    snpRecord* snp =
        testsupport::addSnp("rs" + std::to_string(j), 1 + j / 6, 1000 * (j % 6 + 1));
    snp->allele1 = 'A';
    snp->allele2 = 'G';
  }
  std::mt19937 engine(seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int i = 0; i < nPeople; ++i) {
    const bool isCase = i % 2 == 1;
    std::vector<unsigned> codes(static_cast<size_t>(nMarkers));
    for (int j = 0; j < nMarkers; ++j) {
      const double q = isCase ? design[j].caseFrequency : design[j].controlFrequency;
      const int copies = (unit(engine) < q) + (unit(engine) < q);
      unsigned code = copies == 0 ? homozygousAllele1
                                  : copies == 1 ? heterozygous : homozygousAllele2;
      if (unit(engine) < 0.02) code = missingGenotype;
      codes[static_cast<size_t>(j)] = code;
    }
    individualRecord* person = testsupport::addIndividual(isCase ? caseValue : 1.0, codes);
    person->familyId = person->individualId = "p" + std::to_string(i);
    person->fatherId = person->motherId = "0";
    person->sex = "1";
  }
}

// The uniform draws a generator seeded with s yields, by the formula (x >> 1) / 2147483647.
inline std::vector<double> uniformDraws(int s, int count) {
  randomGenerator g(s);
  std::vector<double> draws;
  for (int k = 0; k < count; ++k) draws.push_back((g.next() >> 1) / 2147483647.0);
  return draws;
}

}  // namespace scantest
