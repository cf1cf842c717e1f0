// The cluster flows below are still to be written. Until then a run that needs one of them stops with
// a clear error instead of pretending to have analysed anything.
#include <iostream>

#include "bootstrap/analysis_flow.h"
#include "bootstrap/cluster_runs.h"
#include "bootstrap/results_writers.h"
#include "run/exit.h"

namespace {

[[noreturn]] void notAvailable(const char* what) {
  std::cout << "Error: " << what << " is not available in this build of zuq yet.\n";
  fatalExit(1);
}

}  // namespace

void setUpClusterInstance() { notAvailable("--cluster"); }
void joinClusterResults() { notAvailable("--join"); }
