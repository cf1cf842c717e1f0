// Test support: one SNP column over individuals built from exact genotype counts.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "dataset/dataset.h"

namespace synthetic {

// Genotype counts of one group: A11 (code 0), A12 (code 2), A22 (code 3), missing (code 1).
using groupCounts = std::array<int, 4>;

// The SNP sits in a column of the second genotype word, with every other column homozygous
// for allele 2, so that reading a neighbouring column shows.
struct snpColumn {
  static constexpr int column = 37;
  std::vector<std::unique_ptr<individualRecord>> owned;
  std::vector<individualRecord*> people;
  snpRecord snp;
  std::vector<snpRecord*> snpList{&snp};

  snpColumn() {
    snp.index = column;
    snp.allele1 = 'A';
    snp.allele2 = 'G';
  }
  individualRecord* add(double phenotype, unsigned code) {
    auto person = std::make_unique<individualRecord>();
    person->index = static_cast<int32_t>(owned.size());
    person->phenotype = phenotype;
    person->genotypes.assign(genotypeWordCount(column + 1), ~uint64_t{0});
    setGenotype(person->genotypes, column, code);
    people.push_back(person.get());
    owned.push_back(std::move(person));
    return people.back();
  }
  void addGroup(double phenotype, const groupCounts& counts) {
    const unsigned codes[4] = {homozygousAllele1, heterozygous, homozygousAllele2,
                               missingGenotype};
    for (int g = 0; g < 4; ++g)
      for (int k = 0; k < counts[g]; ++k) add(phenotype, codes[g]);
  }
};

inline std::unique_ptr<snpColumn> fromCounts(const groupCounts& cases, const groupCounts& controls,
                                             double controlPhenotype = 1.0) {
  auto s = std::make_unique<snpColumn>();
  s->addGroup(2.0, cases);
  s->addGroup(controlPhenotype, controls);
  return s;
}

}  // namespace synthetic
