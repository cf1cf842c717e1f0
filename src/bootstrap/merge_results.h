// Turning effect estimates (odds ratios, or e^beta) into the oriented log estimates of result
// records, and the verbose print-out of a replicate.
#pragma once

#include <string>
#include <vector>

#include "bootstrap/result_records.h"

// Naive variant: un and alleleUn of every record of results (naiveResults) from the estimates
// on all individuals; results ends sorted by p. Both vectors are reordered.
void mergeResults(std::vector<resultRecord>& results, std::vector<estimateRecord>& estimates);
// Resample variant: ud/ue (and un = ud) from the estimates on the drawn and on the never-drawn
// individuals; results ends sorted by p. All three vectors are reordered.
void mergeResults(std::vector<resultRecord>& results, std::vector<estimateRecord>& dEstimates,
                  std::vector<estimateRecord>& eEstimates);
// Prints one replicate unless silent.
void printResultMatrix(const std::string& title, const std::string& label,
                       const std::vector<resultRecord>& results);
// The SNP's other allele: allele1 <-> allele2, any other character unchanged.
char otherAllele(const snpRecord& snp, char allele);
