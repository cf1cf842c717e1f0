// Test support: a guard for the bootstrap's shared results, which every stage leaves behind for
// the next one.
#pragma once

#include "bootstrap/analysis_flow.h"
#include "bootstrap/confidence_intervals.h"
#include "bootstrap/level0.h"
#include "bootstrap/level12.h"
#include "bootstrap/result_records.h"

namespace testsupport {

// Saves nSig and replicatesSeen; at the end puts them back and empties every result list.
class bootstrapSnapshot {
 public:
  bootstrapSnapshot() : nSig_(nSig), replicatesSeen_(replicatesSeen) {}
  ~bootstrapSnapshot() {
    nSig = nSig_;
    replicatesSeen = replicatesSeen_;
    naiveResults.clear();
    uboot.clear();
    level1Uboots.clear();
    level1Results.clear();
    level1SigCounts.clear();
    ciLower.clear();
    ciUpper.clear();
  }
  bootstrapSnapshot(const bootstrapSnapshot&) = delete;
  bootstrapSnapshot& operator=(const bootstrapSnapshot&) = delete;

 private:
  int nSig_;
  int replicatesSeen_;
};

}  // namespace testsupport
