// One bootstrap resample of a list of individuals, stratified by case and control status in a
// case-control study: the drawn individuals with their repeats, and those never drawn.
#pragma once

#include <cstdint>
#include <vector>

#include "dataset/dataset.h"
#include "run/random_generator.h"

class bootstrapSampler {
 public:
  // source must outlive the sampler.
  explicit bootstrapSampler(const std::vector<individualRecord*>& source);
  ~bootstrapSampler();
  bootstrapSampler(const bootstrapSampler&) = delete;
  bootstrapSampler& operator=(const bootstrapSampler&) = delete;

  // Draws a new resample from rng. The caller holds the process-wide lock.
  void resample();
  // resample() in steps, so that the lock covers only the claim of the draws: claimResamples
  // sets aside the draws of the next `resamples` resamples from rng (the caller holds the
  // process-wide lock; a claim of several takes them in the order as many single claims would);
  // nextResample then makes the next claimed resample the current one and buildLists turns it
  // into sample and notSelected (no lock needed for either). Together they give exactly what
  // resample() gives for the same state of rng.
  void claimResamples(int resamples);
  void nextResample();
  void buildLists();
  // How often each source position was drawn in the current resample (no lock needed). A caller
  // that needs only these counts may skip buildLists.
  const std::vector<int>& drawCounts();
  // The same counts in draw order: position p counts the entry drawOrder()[p]. The draws land
  // there without a lookup of the entry, which makes these the cheaper counts for a caller
  // that only sums them.
  const std::vector<int>& drawCountsInDrawOrder();
  // The source positions in draw order: the cases as caseIndex lists them, then the controls
  // as controlIndex does, then the entries of neither stratum (never drawn); in a quantitative
  // study the source order.
  const std::vector<int>& drawOrder() const { return drawOrder_; }

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
  std::vector<int> countsInDrawOrder_;
  std::vector<int> drawOrder_;
  std::vector<uint32_t> words_;  // generator words of the current resample, in draw order
  claimedWords claimed_;         // words of the claimed resamples not yet taken
};
