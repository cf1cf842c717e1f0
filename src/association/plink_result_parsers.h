// The readers of plink's result files, apart from the plink runs that write them: each takes the
// open file and its name (for the messages) and checks every row against the SNP list. Any
// disagreement ends the run, as in the runPlink* operations of plinkRunner, which call these.
#pragma once

#include <istream>
#include <string>
#include <vector>

#include "dataset/dataset.h"
#include "association/test_records.h"

// .model: appends one record per SNP of the data set's snps (in that order), with its GENO and
// TREND p; SNPs of the haploid chromosomes missing at the end draw a warning only.
void readModelRows(std::istream& file, const std::string& fileName,
                   std::vector<significanceRecord>& out);

enum class plinkRegression { linear, logistic };

// .assoc.linear (the effect is e^BETA) or .assoc.logistic (the effect is OR): appends one record
// per ADD row, which must name the SNPs of snpList in order, every one of them.
void readRegressionRows(std::istream& file, const std::string& fileName, plinkRegression kind,
                        const std::vector<snpRecord*>& snpList, std::vector<estimateRecord>& out);

// .auto.R of the R plug-in: appends one record per row, which must name the SNPs of snpList in
// order, every one of them.
void readRPluginRows(std::istream& file, const std::string& fileName,
                     const std::vector<snpRecord*>& snpList, std::vector<estimateRecord>& out);
