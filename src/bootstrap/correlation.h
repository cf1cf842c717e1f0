// The Ud/Ue correlation step: the once-per-run state of every SNP and the steps on one pair.
#pragma once

#include <string>
#include <vector>

#include "dataset/dataset.h"

// Sizes the per-SNP state table to the SNPs of the data set; a SNP counts as computed when its
// covUdUe is already set. Call on the main thread with no worker running, after the last
// compaction (the table is indexed by snpRecord::index). A SNP outside the table is still
// computed once, serialised under a lock of its own.
void resetCorrelationState();

// Both raw odds ratios present and within [1e-20, 1e10].
bool usableCorrelationPair(double ud, double ue);

// Points Ue at Ud's allele, sets Ue to exactly 1 when it lies on the other side of 1 from Ud,
// inverts both when Ud < 1, and takes logs: afterwards ud >= 0 and alleleUe == alleleUd.
void orientCorrelationPair(double& ud, double& ue, char alleleUd, char& alleleUe);

// Estimate name prefix of the calling thread: scratchPrefix + "cpu" + thread number + stem,
// so that concurrent correlation estimates through plink never share a file.
std::string correlationPrefix(const char* stem);

// The correlations of the SNPs of the list that are not computed yet, in parallel threads (each
// taking the next SNP of the list when it comes free). Called on the main thread outside any
// parallel region.
void computeCorrelationsInParallel(const std::vector<snpRecord*>& list);
