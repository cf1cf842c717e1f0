// Minor-allele frequencies of every SNP (overall, controls, cases) and the --maf filter.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iostream>
#include <vector>

#include "dataset/dataset.h"
#include "dataset/snp_filters.h"
#include "run/settings.h"

namespace {

enum phenotypeGroup { otherGroup = 0, controlGroup = 1, caseGroup = 2 };

// Allele-1 and allele-2 copies of each SNP column within one phenotype group.
struct alleleCounts {
  std::vector<int64_t> allele1;
  std::vector<int64_t> allele2;
};

// Copies of allele 1 and allele 2 by genotype code: 0 hom. allele 1, 1 missing, 2 het., 3 hom.
constexpr int allele1Copies[4] = {2, 0, 1, 0};
constexpr int allele2Copies[4] = {0, 0, 1, 2};

phenotypeGroup groupOf(double phenotype) {
  if (phenotype == 1.0) return controlGroup;
  if (phenotype == 2.0) return caseGroup;
  return otherGroup;
}

// Counts every individual's codes, word by word; runs once over all SNPs and individuals.
// Precondition: column j of every genotypes vector is the SNP at position j of snps.
void countAlleles(alleleCounts (&groups)[3]) {
  const int columns = static_cast<int>(snps.size());
  for (alleleCounts& g : groups) {
    g.allele1.assign(columns, 0);
    g.allele2.assign(columns, 0);
  }
  // Blocks of genotype words are shared out among the threads: every column is counted by one
  // thread, over all individuals, so the counts are those of a serial run.
  constexpr int wordsPerBlock = 16;
  const int words = (columns + 31) / 32;
  const int blocks = (words + wordsPerBlock - 1) / wordsPerBlock;
#pragma omp parallel for schedule(dynamic, 1)
  for (int block = 0; block < blocks; ++block) {
    const int firstWord = block * wordsPerBlock;
    const int lastWord = std::min(words, firstWord + wordsPerBlock);
    for (const individualRecord* person : individuals) {
      alleleCounts& g = groups[groupOf(person->phenotype)];
      for (int k = firstWord; k < lastWord; ++k) {
        uint64_t word = person->genotypes[static_cast<size_t>(k)];
        const int base = 32 * k;
        const int end = std::min(base + 32, columns);
        for (int column = base; column < end; ++column, word >>= 2) {
          const unsigned code = static_cast<unsigned>(word & 3u);
          g.allele1[static_cast<size_t>(column)] += allele1Copies[code];
          g.allele2[static_cast<size_t>(column)] += allele2Copies[code];
        }
      }
    }
  }
}

// The smaller allele frequency; 0/0 (no typed allele) gives a quiet NaN, kept as it is.
double minorFrequency(int64_t count1, int64_t count2) {
  const double total = static_cast<double>(count1) + static_cast<double>(count2);
  const double f1 = static_cast<double>(count1) / total;
  const double f2 = static_cast<double>(count2) / total;
  return f1 < f2 ? f1 : f2;
}

// Strict comparisons: a frequency equal to its threshold passes, and NaN fails no test.
bool failsMafThresholds(const snpRecord& snp) {
  return mafThreshold > snp.maf || mafThresholdCases > snp.mafCases ||
         mafThresholdControls > snp.mafControls;
}

}  // namespace

void filterMaf() {
  if (debugLevel > 0) {
    std::cout << "Filtering SNPs based on maf = " << mafThreshold << " "
              << " maf in cases = " << mafThresholdCases
              << " maf in controls = " << mafThresholdControls << "\n";
  }
  alleleCounts groups[3];
  countAlleles(groups);
  int marked = 0;
  for (std::size_t j = 0; j < snps.size(); ++j) {
    snpRecord& snp = *snps[j];
    const alleleCounts& other = groups[otherGroup];
    const alleleCounts& controls = groups[controlGroup];
    const alleleCounts& cases = groups[caseGroup];
    snp.maf = minorFrequency(other.allele1[j] + controls.allele1[j] + cases.allele1[j],
                             other.allele2[j] + controls.allele2[j] + cases.allele2[j]);
    snp.mafCases = minorFrequency(cases.allele1[j], cases.allele2[j]);
    snp.mafControls = minorFrequency(controls.allele1[j], controls.allele2[j]);
    // In a case-control study the controls' frequency stands for the SNP from here on.
    if (studyType == 1) snp.maf = snp.mafControls;
    if (failsMafThresholds(snp)) {
      snp.index = -1;
      ++marked;
    }
  }
  if (marked > 0) {
    std::cout << "Deleting " << marked << " SNPs failing maf frequency test (maf < "
              << mafThreshold << ").\n";
    compactSnps();
  }
  std::cout.flush();
}
