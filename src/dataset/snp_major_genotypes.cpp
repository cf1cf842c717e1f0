#include "dataset/snp_major_genotypes.h"

#include <algorithm>

namespace {

// Transposes the codes of rows [first, first + 64) (fewer at the end) for the 32 columns of
// genotype word k into word first / 64 of those columns' planes: the codes of 64 individuals
// for 32 SNPs pass through two small local tables, so every plane word is written once.
void enterBlock(size_t first, size_t k, snpMajorGenotypes& copy) {
  uint64_t low[32] = {};
  uint64_t high[32] = {};
  const size_t last = std::min(first + 64, copy.rows.size());
  for (size_t r = first; r < last; ++r) {
    uint64_t word = copy.rows[r]->genotypes[k];
    const int bit = static_cast<int>(r - first);
    for (int t = 0; t < 32; ++t, word >>= 2) {
      low[t] |= (word & 1u) << bit;
      high[t] |= ((word >> 1) & 1u) << bit;
    }
  }
  const int firstColumn = static_cast<int>(32 * k);
  const int columns = std::min(32, copy.columns - firstColumn);
  for (int t = 0; t < columns; ++t) {
    const size_t at = 2 * copy.wordsPerPlane * static_cast<size_t>(firstColumn + t) + first / 64;
    copy.planes[at] = low[t];
    copy.planes[at + copy.wordsPerPlane] = high[t];
  }
}

}  // namespace

void ensureSnpMajorGenotypes() {
  if (snpMajor.valid) return;
  snpMajorGenotypes& copy = snpMajor;
  copy.columns = nSnps;
  const size_t people = individuals.size();
  copy.wordsPerPlane = ((people + 63) / 64 + 3) / 4 * 4;
  copy.rows.assign(individuals.begin(), individuals.end());
  indexRowsByRecord(individuals, copy.rowByRecord);
  copy.planes.assign(2 * copy.wordsPerPlane * static_cast<size_t>(nSnps), 0);
  copy.controls.assign(copy.wordsPerPlane, 0);
  for (size_t r = 0; r < people; ++r)
    if (individuals[r]->phenotype == 1.0) copy.controls[r / 64] |= 1ULL << (r % 64);
  const size_t genotypeWords = (static_cast<size_t>(nSnps) + 31) / 32;
  // Runs of 8 genotype words (256 columns, a cache line of each individual's words) share out
  // among the threads: each writes the planes of its own columns only.
  constexpr size_t wordsPerRun = 8;
  const long runs = static_cast<long>((genotypeWords + wordsPerRun - 1) / wordsPerRun);
#pragma omp parallel for schedule(dynamic, 1)
  for (long run = 0; run < runs; ++run) {
    const size_t firstWord = wordsPerRun * static_cast<size_t>(run);
    const size_t lastWord = std::min(genotypeWords, firstWord + wordsPerRun);
    for (size_t first = 0; first < people; first += 64) {
      for (size_t k = firstWord; k < lastWord; ++k) enterBlock(first, k, copy);
    }
  }
  copy.valid = true;
}

void invalidateSnpMajorGenotypes() {
  snpMajor.valid = false;
  snpMajor.columns = 0;
  snpMajor.wordsPerPlane = 0;
  // The memory goes back: the copy is as large as the genotype store itself.
  std::vector<const individualRecord*>().swap(snpMajor.rows);
  rowsByRecord().swap(snpMajor.rowByRecord);
  std::vector<uint64_t>().swap(snpMajor.planes);
  std::vector<uint64_t>().swap(snpMajor.controls);
}
