// Cluster runs: an instance's share of the bootstraps, its partial-results file, and the join.
#pragma once

// Driver step for --cluster k/n with k not 0: opens the partial-results file, takes this
// instance's share of nL0 and nL1, reseeds rng and prints the instance's set-up.
void setUpClusterInstance();
// --join n: reads the n partial-results files and finishes the analysis.
void joinClusterResults();
