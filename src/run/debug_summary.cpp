#include <algorithm>
#include <ostream>
#include <vector>

#include "bootstrap/analysis_flow.h"
#include "dataset/dataset.h"
#include "dataset/stats_helpers.h"
#include "run/output_file.h"
#include "run/start_up.h"

namespace {

void writeSnpSummary(std::ostream& out, const snpRecord& snp) {
  const std::vector<double>& history = snp.rankHistory;
  double smallest = missingValue;
  double largest = missingValue;
  if (!history.empty()) {
    smallest = largest = history[0];
    for (double rank : history) {
      if (rank == missingValue) continue;
      smallest = std::min(smallest, rank);
      largest = std::max(largest, rank);
    }
  }
  const auto withinSig = std::count_if(history.begin(), history.end(),
                                       [](double rank) { return rank <= nSig; });
  out << snp.name << " " << snp.naiveP << " " << snp.rank << " " << smallest << " " << largest
      << " " << meanIgnoringMissing(history) << " " << sdIgnoringMissing(history) << " "
      << withinSig << "\n";
}

}  // namespace

void writeDebugSummary() {
  writeOutputFileOrWarn("summary.txt", [](std::ostream& out) {
    for (const snpRecord* snp : snps) writeSnpSummary(out, *snp);
  });
}
