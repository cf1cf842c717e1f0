// Fisher exact p-values of the case-control tables of one SNP: one row per genotype (or
// allele) group, the columns case and control in this order.
#pragma once

#include "numerics/fisher_exact.h"
#include "numerics/matrix.h"
#include "association/genotype_counts.h"

// Fisher exact p of a table, or -9 when it holds no individual at all: a SNP that nobody in
// the sample is typed for has no p, as with the chi-square, and must not end the run.
inline double exactTableP(const intTable& table) {
  for (const auto& row : table)
    for (int cell : row)
      if (cell != 0) return fisherExactP(table);
  return -9;
}

inline intTable genoTable(const genotypeCells& c) {
  return {{c.caseA11, c.ctrlA11}, {c.caseA12, c.ctrlA12}, {c.caseA22, c.ctrlA22}};
}
inline intTable dominantTable(const genotypeCells& c) {
  return {{c.caseA11 + c.caseA12, c.ctrlA11 + c.ctrlA12}, {c.caseA22, c.ctrlA22}};
}
inline intTable recessiveTable(const genotypeCells& c) {
  return {{c.caseA11, c.ctrlA11}, {c.caseA12 + c.caseA22, c.ctrlA12 + c.ctrlA22}};
}
inline intTable alleleTable(const alleleCounts& a) {
  return {{a.caseA1, a.ctrlA1}, {a.caseA2, a.ctrlA2}};
}
