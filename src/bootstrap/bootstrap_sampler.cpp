#include "bootstrap/bootstrap_sampler.h"

#include <algorithm>
#include <iostream>
#include <sstream>

#include "run/random_generator.h"
#include "run/settings.h"

bootstrapSampler::bootstrapSampler(const std::vector<individualRecord*>& list)
    : source(&list), nSource(static_cast<int>(list.size())) {
  // Entries of neither stratum come last in draw order; they are never drawn.
  std::vector<int> neither;
  if (studyType != 2) {
    caseIndex.reserve(list.size());
    controlIndex.reserve(list.size());
    for (int i = 0; i < nSource; ++i) {
      if (list[i]->phenotype == 1.0) {
        controlIndex.push_back(i);
        ++nControls;
      } else if (list[i]->phenotype == 2.0) {
        caseIndex.push_back(i);
        ++nCases;
      } else {
        neither.push_back(i);
      }
    }
  }
  // Room for every resample of this sampler, so that repeated attempts never reallocate.
  sample.reserve(list.size());
  notSelected.reserve(list.size());
  counts_.assign(list.size(), 0);
  countsInDrawOrder_.assign(list.size(), 0);
  words_.reserve(list.size());
  drawOrder_.reserve(list.size());
  if (studyType == 2) {
    for (int i = 0; i < nSource; ++i) drawOrder_.push_back(i);
    return;
  }
  drawOrder_.insert(drawOrder_.end(), caseIndex.begin(), caseIndex.end());
  drawOrder_.insert(drawOrder_.end(), controlIndex.begin(), controlIndex.end());
  drawOrder_.insert(drawOrder_.end(), neither.begin(), neither.end());
}

bootstrapSampler::~bootstrapSampler() = default;

void bootstrapSampler::resample() {
  claimResamples(1);
  nextResample();
  buildLists();
}

namespace {

// Words of one resample: every source entry once in a quantitative study, else every case and
// every control once (cases first), so that a seeded run with one thread repeats itself.
int64_t wordsPerResample(const bootstrapSampler& sampler) {
  return studyType == 2 ? sampler.nSource : sampler.nCases + sampler.nControls;
}

}  // namespace

void bootstrapSampler::claimResamples(int resamples) {
  rng.claim(wordsPerResample(*this) * resamples, claimed_);
}

void bootstrapSampler::nextResample() {
  // Only the words are taken here; drawCounts turns them into positions.
  const int count = static_cast<int>(wordsPerResample(*this));
  words_.resize(static_cast<size_t>(count));
  claimed_.take(count, words_.data());
}

const std::vector<int>& bootstrapSampler::drawCounts() {
  std::fill(counts_.begin(), counts_.end(), 0);
  if (studyType == 2) {
    if (nSource == 0) return counts_;
    const indexReducer below(nSource);
    for (uint32_t word : words_) ++counts_[static_cast<size_t>(below(word))];
    return counts_;
  }
  const uint32_t* word = words_.data();
  if (nCases > 0) {
    const indexReducer below(nCases);
    for (int k = 0; k < nCases; ++k) ++counts_[static_cast<size_t>(caseIndex[below(*word++)])];
  }
  if (nControls > 0) {
    const indexReducer below(nControls);
    for (int k = 0; k < nControls; ++k)
      ++counts_[static_cast<size_t>(controlIndex[below(*word++)])];
  }
  return counts_;
}

const std::vector<int>& bootstrapSampler::drawCountsInDrawOrder() {
  std::fill(countsInDrawOrder_.begin(), countsInDrawOrder_.end(), 0);
  int* counts = countsInDrawOrder_.data();
  const uint32_t* word = words_.data();
  // The strata in draw order: all entries in a quantitative study, else cases then controls.
  const int strata[2][2] = {{studyType == 2 ? nSource : nCases, 0},
                            {studyType == 2 ? 0 : nControls, studyType == 2 ? 0 : nCases}};
  for (const auto& [size, first] : strata) {
    if (size == 0) continue;
    const indexReducer below(size);
    int* stratum = counts + first;
    for (int k = 0; k < size; ++k) ++stratum[below(*word++)];
  }
  return countsInDrawOrder_;
}

void bootstrapSampler::buildLists() {
  drawCounts();
  sample.clear();
  notSelected.clear();

  const std::vector<individualRecord*>& entries = *source;
  for (int i = 0; i < nSource; ++i)
    if (counts_[i] == 0) notSelected.push_back(entries[i]);
  for (int i = 0; i < nSource; ++i) sample.insert(sample.end(), counts_[i], entries[i]);

  if (studyType == 2 && debugLevel != 0) {
    std::ostringstream text;
    text << "QTL Bootstrap : Sample=" << sample.size() << " NotSel=" << notSelected.size() << " "
         << static_cast<double>(notSelected.size()) / nSource << "\n";
    std::cout << text.str();
  }
}
