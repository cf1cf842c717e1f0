// Cluster runs: an instance's share of the bootstraps, its partial-results file, and the join.
#pragma once

#include <string>
#include <vector>

#include "bootstrap/cluster_files.h"
#include "run/output_file.h"

// The partial-results file of a cluster instance; open only in an instance. Level 0 and levels
// 1/2 write into it; closeClusterFile completes it before the instance ends.
inline outputFileStream clusterFile;

// Replicates of instance k of n out of total: total / n, plus one for the instances 1 to
// total mod n, so that the n shares add up to total. Precondition: n > 0.
int clusterShare(int k, int n, int total);
// outFileName + "." + k + "." + n.
std::string clusterFileName(int k, int n);

// Driver step for --cluster k/n with k not 0: removes an old partial-results file and opens the
// new one under its incomplete name (incompleteFileName), takes this instance's share of nL0 and
// nL1, reseeds rng and prints the instance's set-up.
void setUpClusterInstance();
// Flushes and closes the partial-results file, ends it with its last line (the SNP list, this
// instance, and the hash of the content before it) and renames it into place; a file that could
// not be written completely ends the run with an error. Call before the instance ends: its exit
// runs no stream destructor.
void closeClusterFile();
// --join n: runs the naive analysis of its own data set, reads the n partial-results files,
// refusing any that is not a regular file, is damaged, is not the file of the instance its name
// says, repeats the content of another, or whose naive records or SNP list differ from its own,
// warning of any read without its instance and content check, and finishes the analysis.
void joinClusterResults();
// The join after its own naive analysis: ownNaive are the naive records (rank order, with Un)
// of this run's data set; they are checked against the files' and become naiveResults, from
// which the table and Uboot are made.
void joinPartialFiles(int n, const std::vector<resultRecord>& ownNaive);
