// Per-SNP genotype reading kernels of the in-process scans: case/control genotype cells (by
// reading each listed individual's words, or through the data set's SNP-major copy) and the
// allele-1 dosage of every typed individual.
#pragma once

#include <cstdint>
#include <vector>

#include "dataset/dataset.h"
#include "dataset/snp_major_genotypes.h"

// Genotype counts of one SNP column; a case has phenotype exactly 2.0, anyone else counts as
// a control. A11 homozygous allele 1, A12 heterozygous, A22 homozygous allele 2.
struct genotypeCells {
  int32_t caseA11 = 0;
  int32_t caseA12 = 0;
  int32_t caseA22 = 0;
  int32_t ctrlA11 = 0;
  int32_t ctrlA12 = 0;
  int32_t ctrlA22 = 0;
};

// Allele counts derived from the cells: a homozygote carries two copies, a heterozygote one.
struct alleleCounts {
  int32_t caseA1 = 0;
  int32_t caseA2 = 0;
  int32_t ctrlA1 = 0;
  int32_t ctrlA2 = 0;
};

// Counts the genotype cells of one SNP column over a list of individuals (repeats count again,
// missing genotypes not at all). Precondition: every individual holds the column.
// No allocation here: this runs once per SNP per resample, on many threads at once.
inline genotypeCells countGenotypeCells(const std::vector<individualRecord*>& people,
                                        int column) {
  const size_t word = static_cast<size_t>(column) >> 5;
  const unsigned shift = 2u * (static_cast<unsigned>(column) & 31u);
  // Slot = genotype code + 4 for a case: one increment per individual, no branch.
  int32_t slots[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  for (const individualRecord* person : people) {
    const unsigned code = static_cast<unsigned>(person->genotypes[word] >> shift) & 3u;
    ++slots[code + (person->phenotype == 2.0 ? 4u : 0u)];
  }
  genotypeCells cells;
  cells.ctrlA11 = slots[homozygousAllele1];
  cells.ctrlA12 = slots[heterozygous];
  cells.ctrlA22 = slots[homozygousAllele2];
  cells.caseA11 = slots[4 + homozygousAllele1];
  cells.caseA12 = slots[4 + heterozygous];
  cells.caseA22 = slots[4 + homozygousAllele2];
  return cells;
}

// The popcount kernels behind cellCounter that this processor can run, by name; the counter
// uses the fastest. For each weight plane p: sums[3p] counts the rows (among those set in the
// plane) whose high genotype bit is set, sums[3p+1] those whose low bit is set, sums[3p+2]
// those with both. words must be a multiple of 4. Exposed so that tests can hold every
// kernel to the same sums.
using planeKernel = void (*)(const uint64_t* low, const uint64_t* high, const uint64_t* weights,
                             int planes, size_t words, uint32_t* sums);
struct namedPlaneKernel {
  const char* name;
  planeKernel kernel;
};
std::vector<namedPlaneKernel> availablePlaneKernels();

// Genotype cells of any SNP columns over one list of individuals (a resample with its repeats,
// the individuals it left out, or everyone). When the data set's SNP-major copy holds every
// listed individual, the list becomes bit-planes of each individual's multiplicity (how often
// it is listed), split by case and control, and a column's cells are popcounts of its genotype
// planes against them; otherwise each individual's words are read as countGenotypeCells does.
// The counts are the same either way. The list must stay unchanged while the counter is used;
// a counter is one thread's own, and reset reuses its storage.
class cellCounter {
 public:
  cellCounter() = default;
  explicit cellCounter(const std::vector<individualRecord*>& people) { reset(people); }
  void reset(const std::vector<individualRecord*>& people);
  genotypeCells cells(int column) const;
  // cells of snps[k]->index into out[k]; out is resized to the list.
  void cellsOf(const std::vector<snpRecord*>& snps, std::vector<genotypeCells>& out) const;
  bool usesSnpMajorCopy() const { return copy_ != nullptr; }

 private:
  bool takeRows();
  const std::vector<individualRecord*>* people_ = nullptr;
  const snpMajorGenotypes* copy_ = nullptr;
  int bits_ = 0;               // weight planes per group: bits of the largest multiplicity
  int32_t totals_[2] = {0, 0};  // listed entries per group (control, case)
  std::vector<int32_t> entryRows_;      // the copy's row of each listed individual
  std::vector<uint32_t> multiplicity_;  // per row of the copy
  std::vector<uint64_t> weights_;       // [group][bit][word]
};

inline alleleCounts allelesFromCells(const genotypeCells& c) {
  return {2 * c.caseA11 + c.caseA12, 2 * c.caseA22 + c.caseA12,
          2 * c.ctrlA11 + c.ctrlA12, 2 * c.ctrlA22 + c.ctrlA12};
}

// Copies of allele 1 for genotype codes 0, 2 and 3; code 1 (missing) has none and is skipped.
inline constexpr int allele1Dosage[4] = {2, 0, 1, 0};

// Calls visit(dosage, phenotype) for every individual with a known genotype in the column, in
// list order (repeats again). No allocation; the regression runs it twice per SNP.
template <typename Visitor>
inline void forEachTypedDosage(const std::vector<individualRecord*>& people, int column,
                               Visitor&& visit) {
  const size_t word = static_cast<size_t>(column) >> 5;
  const unsigned shift = 2u * (static_cast<unsigned>(column) & 31u);
  for (const individualRecord* person : people) {
    const unsigned code = static_cast<unsigned>(person->genotypes[word] >> shift) & 3u;
    if (code != missingGenotype) visit(static_cast<double>(allele1Dosage[code]), person->phenotype);
  }
}
