// Effect estimates of a SNP list by the method that estimateType (and --qt) select.
#pragma once

#include <string>
#include <vector>

#include "dataset/dataset.h"
#include "association/test_records.h"

// All of these may run on several worker threads at once. out is emptied and receives one
// record per SNP in the order snps has after the call. The routes through plink put snps in
// chromosome, position order in place and name their files after prefix, so concurrent callers
// pass each call its own list (or one already in that order) and their own prefix.

// ALLELIC, RPLUGIN and DUMMY estimates whatever --qt says; otherwise the regression for a
// quantitative trait and the logistic odds ratio for a binary one.
void computeEstimates(const std::vector<individualRecord*>& individuals,
                      std::vector<snpRecord*>& snps, const std::string& prefix,
                      std::vector<estimateRecord>& out);

// Logistic odds ratios of allele 1: in process unless --useplink.
void runLogistic(const std::string& prefix, const std::vector<individualRecord*>& individuals,
                 std::vector<snpRecord*>& snps, std::vector<estimateRecord>& out);

// Regression of the quantitative phenotype on the allele dose: in process when fast is 1 and no
// covariates are in use, otherwise through plink.
void runQtAssociation(const std::vector<individualRecord*>& individuals,
                      std::vector<snpRecord*>& snps, std::vector<estimateRecord>& out,
                      const std::string& prefix);

// Random estimates for trying the program out: per SNP an odds ratio 1 + U1 and p = U2, both
// drawn from rng. Prints "DUMMY estimation.. n= " and the record count.
void dummyEstimation(std::vector<estimateRecord>& out, const std::vector<snpRecord*>& snps);
