// The arithmetic of the bias correction: the Ud/Ue correlation of a SNP, the bias-reduced
// estimate Uboot per rank, and the allele-frequency scale.
#pragma once

#include <vector>

#include "bootstrap/result_records.h"

// sqrt(2p(1-p)): the standard deviation of a genotype count with allele frequency p.
double genotypeSd(double p);
// Fills covUdUe, sdUd and absLogOrFull of the SNP from adjNsample resamples. Computes each SNP
// once per run however many threads ask for it at the same time.
void computeUdUeCorrelation(snpRecord& snp);
// The correlations of every SNP of naiveResults, in parallel threads.
void computeCorrelations();
void correlationWorker();
// The SNPs whose correlation computeUboot needs, in the order in which it first meets them.
std::vector<snpRecord*> correlationOrder(const std::vector<resultRecord>& reference,
                                         const std::vector<replicate>& replicates);
// Uboot of every rank of the reference list from the replicates; missingValue for a rank that
// no usable replicate reaches, or (with the MAF correction) whose SNP has a genotype SD of 0
// or none. Replicate SNPs without a genotype SD contribute nothing. mode nonzero enables the
// per-rank debug line.
std::vector<double> computeUboot(const std::vector<resultRecord>& reference,
                                 const std::vector<replicate>& replicates, int mode);
