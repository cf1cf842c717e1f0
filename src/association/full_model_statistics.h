// The five case-control statistics of the full-model scan, computed from one SNP's cells.
#pragma once

#include "association/genotype_counts.h"

// Chi-square values and p-values; a p of -9 (and its chi-square) means not computable or,
// for GENO, DOM and REC, voided by the cell rule.
struct fullModelStatistics {
  bool cellRuleHolds = false;  // every cell at least the minimum count
  double genoChiSquare = -9, genoP = -9;
  double trendChiSquare = -9, trendP = -9;
  double allelicChiSquare = -9, allelicP = -9;
  double domChiSquare = -9, domP = -9;
  double recChiSquare = -9, recP = -9;
};

// The p-values a caller reads, as bits; the statistics of the others are not computed and stay
// -9. A chi-square p costs far more than the counting, and a scan reads one or two of five.
enum fullModelTestSet : unsigned {
  fullModelTrend = 1,
  fullModelGeno = 2,
  fullModelAllelic = 4,
  fullModelDom = 8,
  fullModelRec = 16,
  fullModelAll = 31,
};

// GENO, DOM and REC are computed only when all six cells are at least minCell.
fullModelStatistics fullModelFromCells(const genotypeCells& cells, int minCell,
                                       unsigned tests = fullModelAll);
