// Results table, statistics file and psig.txt.
#pragma once

// --stats: per SNP its chromosome, name, position, alleles and minor-allele frequencies.
void writeStatistics();
