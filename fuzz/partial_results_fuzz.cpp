// Fuzz target: a cluster instance's partial-results file as the join reads it, against a data
// set of 40 SNPs, ending as each version of the file ends: after the level-1 part, with the
// SNP-list line, or with the whole last line whose content hash the reader checks. Seeds:
// fuzz/make_partial_results_corpus.py.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "bootstrap/analysis_flow.h"
#include "bootstrap/cluster_files.h"
#include "bootstrap/level0.h"
#include "bootstrap/level12.h"
#include "bootstrap/result_records.h"
#include "dataset/dataset.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (snps.empty()) buildDataSet(40, 2);
  nSig = 0;
  replicatesSeen = 0;
  naiveResults.clear();
  level1Uboots.clear();
  std::vector<replicate> replicates;
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  runRefusable([&] {
    partialResultsReader reader(in, "out.zuq.1.1");
    readBootstrapState(reader, replicates);
    readLevel1Uboots(reader);
    readLastLine(reader);
  });
  return 0;
}
