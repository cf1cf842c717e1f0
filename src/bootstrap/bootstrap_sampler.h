// One bootstrap resample of a list of individuals, stratified by case and control status in a
// case-control study: the drawn individuals with their repeats, and those never drawn.
#pragma once

#include <cstdint>
#include <vector>

#include "dataset/dataset.h"

class bootstrapSampler {
 public:
  // source must outlive the sampler.
  explicit bootstrapSampler(const std::vector<individualRecord*>& source);
  ~bootstrapSampler();
  bootstrapSampler(const bootstrapSampler&) = delete;
  bootstrapSampler& operator=(const bootstrapSampler&) = delete;

  // Draws a new resample from rng. The caller holds the process-wide lock.
  void resample();
  // resample() in two steps, so that the lock covers only the draws: drawIndexes takes the
  // draws of a new resample from rng (the caller holds the process-wide lock) and keeps them;
  // buildLists turns the kept draws into sample and notSelected (no lock needed). The two
  // together give exactly what resample() gives for the same state of rng.
  void drawIndexes();
  void buildLists();
  // How often each source position was drawn by the last drawIndexes (no lock needed). A caller
  // that needs only these counts may skip buildLists.
  const std::vector<int>& drawCounts();

  std::vector<individualRecord*> sample;       // drawn entries, each as often as drawn
  std::vector<individualRecord*> notSelected;  // entries never drawn, in source order
  int nCases = 0;
  int nControls = 0;
  std::vector<int> caseIndex;     // positions of the cases in source
  std::vector<int> controlIndex;  // positions of the controls in source
  const std::vector<individualRecord*>* source;
  int nSource;

 private:
  std::vector<int> counts_;  // draws per source position, reused by every resample
  std::vector<uint32_t> words_;  // generator words of the last draws, in draw order
};
