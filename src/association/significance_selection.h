// One significance scan of a SNP list: the test chosen by testType, then the alpha rule.
#pragma once

#include <string>
#include <vector>

#include "dataset/dataset.h"
#include "association/test_records.h"

// Every scan below may run on several worker threads at once on the same data set. Arguments:
// prefix names this scan's plink files (distinct per thread); newfids is 0 for a scan of all
// individuals, 1 for a resample (only the plink fileset of isSignificant reads it); out is
// emptied and receives one record per SNP tested. Each returns the number of records flagged.
//
// isSignificant_R puts snps in chromosome, position order in place, and so does
// isSignificant_logistic when the logistic estimates go through plink; a list already in that
// order is left untouched, so a shared list may be passed once it has been ordered.
int runSignificanceTest(const std::string& prefix,
                        const std::vector<individualRecord*>& individuals,
                        std::vector<snpRecord*>& snps, int newfids,
                        std::vector<significanceRecord>& out);

// TREND, GENO, minTRENDGENO (and LINEAR without --qt): the full-model scan, in process when
// fast is 1, else through plink.
int isSignificant(const std::string& prefix, const std::vector<individualRecord*>& individuals,
                  std::vector<snpRecord*>& snps, int newfids,
                  std::vector<significanceRecord>& out);
// The allelic chi-square test.
int isSignificant_Allelic(const std::string& prefix,
                          const std::vector<individualRecord*>& individuals,
                          std::vector<snpRecord*>& snps, int newfids,
                          std::vector<significanceRecord>& out);
// --qt: the regression of the phenotype on the allele dose.
int isSignificant_QT(const std::string& prefix, const std::vector<individualRecord*>& individuals,
                     std::vector<snpRecord*>& snps, int newfids,
                     std::vector<significanceRecord>& out);
// --R: the user's script through plink's R plug-in.
int isSignificant_R(const std::string& prefix, const std::vector<individualRecord*>& individuals,
                    std::vector<snpRecord*>& snps, int newfids,
                    std::vector<significanceRecord>& out);
// LOGISTIC: the logistic Wald test, on the SNPs that pass the TREND screening when it is on.
// SNPs screened out get no record. The first call of a run sets screeningP.
int isSignificant_logistic(const std::string& prefix,
                           const std::vector<individualRecord*>& individuals,
                           std::vector<snpRecord*>& snps, int newfids,
                           std::vector<significanceRecord>& out);
// DUMMY: one uniform draw from rng per SNP, significant when alpha exceeds it. Reads only snps.
int dummyDetection(const std::string& prefix, const std::vector<individualRecord*>& individuals,
                   std::vector<snpRecord*>& snps, int newfids,
                   std::vector<significanceRecord>& out);

// The p that the full-model test types select from the TREND and GENO p: GENO (2) the GENO p;
// minTRENDGENO (0) the smaller of the two when both exist, else the TREND p; any other type the
// TREND p.
double selectFullModelP(int test, double trendP, double genoP);

// The full-model tests (fullModelTestSet bits) whose p selectFullModelP reads for a test type.
unsigned fullModelTestsSelecting(int test);

// The significance rule: p exists and p <= alpha (a NaN p never passes).
bool passesAlpha(double p);
