// Fuzz target: the readers of plink's result files. The first byte picks the file kind (.model,
// .assoc.linear, .assoc.logistic, .auto.R), the rest is the file, checked against a data set of
// four SNPs rs1 .. rs4, the last on chromosome Y (whose absence at the end of a .model file
// draws the warning only).
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "association/plink_result_parsers.h"
#include "association/test_records.h"
#include "dataset/dataset.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  if (snps.empty()) {
    buildDataSet(4, 2);
    snps[3]->chromosome = 24;
  }
  const int kind = data[0] % 4;
  std::istringstream file(std::string(reinterpret_cast<const char*>(data + 1), size - 1));
  std::vector<significanceRecord> significance;
  std::vector<estimateRecord> estimates;
  runRefusable([&] {
    switch (kind) {
      case 0:
        readModelRows(file, "t.model", significance);
        break;
      case 1:
        readRegressionRows(file, "t.assoc.linear", plinkRegression::linear, snps, estimates);
        break;
      case 2:
        readRegressionRows(file, "t.assoc.logistic", plinkRegression::logistic, snps, estimates);
        break;
      default:
        readRPluginRows(file, "t.auto.R", snps, estimates);
        break;
    }
  });
  return 0;
}
