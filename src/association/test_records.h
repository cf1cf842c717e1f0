// The records in which the association tests hand their per-SNP results to the bootstrap.
#pragma once

#include <cstdint>

#include "dataset/dataset.h"
#include "dataset/missing_value.h"

// Outcome of a significance scan for one SNP; the selection that called the scan sets
// significant and p, the full-model scan fills trendP and genoP.
struct significanceRecord {
  snpRecord* snp = nullptr;       // not owned
  int32_t significant = 0;        // 1 when p is not missingValue and p <= alpha
  char allele = 0;                // allele the test refers to; 0 where it names none
  double trendP = missingValue;
  double genoP = missingValue;
  double p = missingValue;        // the selected p; the bootstrap sorts a scan by it
};

// One effect estimate for one SNP.
struct estimateRecord {
  snpRecord* snp = nullptr;       // not owned
  char allele = 0;                // allele whose effect is given
  double effect = missingValue;   // odds ratio of allele; e^beta for a quantitative trait
  double p = missingValue;
};
