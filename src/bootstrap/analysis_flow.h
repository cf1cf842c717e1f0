// The analysis flow: naive selection, naive estimates, level 0, levels 1 and 2, intervals and
// the results table.
#pragma once

#include <vector>

#include "dataset/dataset.h"

// Number of significant SNPs of the data set (after --top); the rank count of every later step.
inline int nSig = 0;

// The whole bias-reduction analysis, from the naive scan to the results table.
void runAnalysis();
// The scan of all individuals: ranks every SNP, sets nSig and naiveResults, applies --top and
// --keep; returns the significant SNPs in ascending order of p.
std::vector<snpRecord*> computeNaiveEstimate();
// Un and alleleUn of naiveResults from the estimates on all individuals.
void computeNaiveOddsRatios(const std::vector<individualRecord*>& people,
                            std::vector<snpRecord*>& significant);
// --single: one PLINK fileset per significant SNP.
void writeSingleSnps();
// --alpha above 3: allelic p-values of resamples for every SNP; ends the process.
[[noreturn]] void debugAllelicBootstrap();
