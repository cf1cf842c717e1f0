// The tabular outputs: the results table (and psig.txt), zuq.stats, and a p-value listing.
#pragma once

#include <string>
#include <vector>

#include "association/test_records.h"

// The results table on standard output and in the output file; psig.txt with --debug.
void writeResults();
// --stats: per SNP its chromosome, name, position, alleles and minor-allele frequencies.
void writeStatistics();
void writePvalueHistogram(const std::string& fileName,
                          const std::vector<significanceRecord>& records);
