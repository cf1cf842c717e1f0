// The in-process single-SNP scans: full-model case-control tests, the allelic test and the
// quantitative-trait regression, plus three small routines on plain vectors.
#pragma once

#include <cstdint>
#include <vector>

#include "dataset/dataset.h"
#include "numerics/matrix.h"
#include "association/full_model_statistics.h"
#include "association/test_records.h"

// Stateless: every member reads only its arguments and the run settings, so many threads may
// scan the same data set at once.
class associationTests {
 public:
  // One record per SNP, in the order of snps, with trendP and genoP (missingValue where not
  // computable, or where tests leaves the TREND or GENO test out); out is emptied first.
  // writeTable also writes plinkOutName + ".model", with every test.
  void fullModelTests(bool writeTable, const std::vector<individualRecord*>& individuals,
                      const std::vector<snpRecord*>& snps, std::vector<significanceRecord>& out,
                      unsigned tests = fullModelAll) const;
  // Odds ratio of allele 1 (0.5 added to every cell) and the allelic chi-square p, per SNP.
  void allelicTest(const std::vector<individualRecord*>& individuals,
                   const std::vector<snpRecord*>& snps, std::vector<estimateRecord>& out) const;
  // Regression of the phenotype on the allele-1 dosage: effect e^beta and its t-test p, per
  // SNP. writeTable also writes plinkOutName + ".qassoc".
  void qtAssociation(bool writeTable, const std::vector<individualRecord*>& individuals,
                     const std::vector<snpRecord*>& snps, std::vector<estimateRecord>& out) const;

  // Allelic chi-square p of one SNP given as parallel vectors: phenotype 1.0 control, 2.0
  // case, others skipped; codes 0, 2, 3 counted, others skipped. -9 when not computable.
  double allelicPValue(const std::vector<double>& phenotypes,
                       const std::vector<int8_t>& codes) const;
  // Regression p of the phenotypes on the dosage of the codes (code 1 left out); -9 when not
  // computable.
  double qtTrendTest(const std::vector<double>& phenotypes,
                     const std::vector<int32_t>& codes) const;
  // Sum of m[i][j] over a <= i, j <= b; 0 when b < a.
  double sumSubMatrix(const matrix& m, int a, int b) const;
};

inline associationTests assocTests;
