// The option table: every option looked up in its fixed order, the combination checks that
// follow, and the usage text of --help.
#pragma once

class options;

// Runs the fifty-four lookups in table order, setting the run settings.
void parseOptions(options& store);
// Counts that size the work (--L0, --L1, --L2, --B1, --B2, --top, --adj.nsample) must be in a
// range that can run: otherwise an error, status 1.
void checkCountRanges();
// Input files, covariate file and the switch to the logistic test, in this order.
void checkOptionCombinations();
// --join against --cluster, after the echo of the command line.
void checkJoinAgainstCluster();
void printUsage();
