// The analysis flows that the driver hands the prepared data set to.
#pragma once

// Number of significant SNPs of the data set (after --top); the rank count of every later step.
inline int nSig = 0;

// The whole bias-reduction analysis, from the naive scan to the results table.
void runAnalysis();
// --single: one PLINK fileset per significant SNP.
void writeSingleSnps();
