// The driver's start-up print-outs and the preparation of the data set.
#pragma once

// Banner and processor count; sets cpuCount to the processor count.
void printBanner();
// Probes plink (when fast is on) and reports its version; a plink that cannot be run ends here.
void reportPlinkVersion();
// "Analysis parameters:" and the lines that follow, up to "Reading input files.".
void printAnalysisParameters();
// Reads the input files, applies --makefemale and --random, summarises the phenotype, drops
// individuals with a missing phenotype and runs the SNP filters.
void prepareDataSet();
// --debug: summary.txt, one line per SNP with its naive p, rank and rank history; whole or
// absent, with a warning when it cannot be written.
void writeDebugSummary();
