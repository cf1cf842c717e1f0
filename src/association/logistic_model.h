// Per-SNP logistic regression of case/control status on the allele-1 dose and the covariates.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "numerics/matrix.h"
#include "association/test_records.h"

struct individualRecord;
struct snpRecord;

// One fit of one SNP. setupModel and fit together overwrite every field, so one model may be
// set up again for the next SNP and then holds exactly what a fresh model would.
class logisticModel {
 public:
  // Design rows [1, ADD, covariates...] of the individuals with a typed genotype and no missing
  // covariate, in list order; then the multicollinearity check (a warning when it fails).
  void setupModel(const std::vector<individualRecord*>& people, snpRecord* snpToFit);
  // True when the predictors (the columns after the intercept) pass the correlation and VIF
  // limits.
  bool checkVIF() const;
  // Newton-Raphson from beta = 0; Sigma is the inverse information at the weights of the start
  // of the last iteration.
  void fit();

  int32_t n = 0;                    // rows of the design (individuals used)
  int32_t p = 0;                    // parameters: intercept, ADD, covariates
  std::vector<double> beta;         // coefficients, in the order of the design columns
  matrix Sigma;                     // p x p estimated covariance of beta
  std::vector<int32_t> y;           // response: 0 for phenotype exactly 1.0, else 1
  matrix X;                         // n x p design, one row per individual used
  std::vector<std::string> labels;  // "INT", "ADD"
  std::vector<double> pi;           // fitted probabilities
  std::vector<double> V;            // weights pi (1 - pi)
  bool vifOk = false;
  bool converged = false;
  snpRecord* snp = nullptr;
};

// Fits every SNP of snpList on the given individuals and replaces out by one record per SNP,
// in list order: the odds ratio of allele1 and its Wald p. Returns the number of SNPs.
// Reentrant: worker threads may call it at once on the same (read-only) data set.
int logisticAllSnps(const std::vector<individualRecord*>& people,
                    const std::vector<snpRecord*>& snpList, std::vector<estimateRecord>& out);
