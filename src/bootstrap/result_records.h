// The unit of the bootstrap: one significant SNP of one scan at its rank, with its oriented log
// estimates, and the orders in which the analysis sorts its records.
#pragma once

#include <vector>

#include "dataset/dataset.h"
#include "association/test_records.h"

struct resultRecord {
  snpRecord* snp = nullptr;  // not owned
  double p = missingValue;   // the selected p of the scan that produced the record
  double un = missingValue;  // naive log estimate; equals ud in a resample record
  char alleleUn = 0;
  char alleleUd = 0;
  char alleleUe = 0;
  double ud = missingValue;  // log estimate on the drawn individuals
  double ue = missingValue;  // log estimate on the individuals never drawn
};

// A replicate: the significant SNPs of one resample in rank order.
using replicate = std::vector<resultRecord>;

// The significant SNPs of the data set in rank order (element k is rank k+1).
inline std::vector<resultRecord> naiveResults;

// The orders. SNP identity is the SNP's index, its position in the data set: every SNP of a list
// sorted by it, or by p (whose ties it breaks, NaN p last), must have its index set and unique.
bool lessResultByP(const resultRecord& a, const resultRecord& b);
bool lessResultBySnp(const resultRecord& a, const resultRecord& b);
bool lessEstimateBySnp(const estimateRecord& a, const estimateRecord& b);
bool lessSignificanceByP(const significanceRecord& a, const significanceRecord& b);
bool lessSnpByPosition(const snpRecord& a, const snpRecord& b);
bool lessSnpByNaiveP(const snpRecord& a, const snpRecord& b);
