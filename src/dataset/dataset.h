// The data set in memory: SNP and individual records and the packed 2-bit genotype store.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dataset/missing_value.h"

// 2-bit genotype codes, the PLINK .bed coding with allele1/allele2 as the .bim allele columns.
enum genotypeCode : unsigned {
  homozygousAllele1 = 0,
  missingGenotype = 1,
  heterozygous = 2,
  homozygousAllele2 = 3,
};

struct snpRecord {
  int32_t index = 0;             // column in every genotypes vector; -1 marks it for removal
  int32_t chromosome = 0;
  double geneticDistance = 0.0;
  int32_t position = 0;
  std::string name;
  char allele1 = 0;              // first allele letter met in the .ped file; 0 not set
  char allele2 = 0;              // the other letter; 0 not set (monomorphic or untyped)
  int32_t rank = 0;              // 1-based rank by p in the scan of all individuals
  std::vector<double> rankHistory;  // rank in every analysed resample (debugging)
  int32_t sigCount = 0;          // resamples in which the SNP was significant (debugging)
  double naiveP = missingValue;  // p in the scan of all individuals
  double maf = missingValue;     // overall minor-allele frequency; controls' in case-control
  double mafCases = missingValue;
  double mafControls = missingValue;
  double covUdUe = missingValue;  // covariance of log Ud and log Ue
  double sdUd = missingValue;     // SD of log Ud
  double absLogOrFull = missingValue;  // |log OR| on all individuals
};

struct individualRecord {
  int32_t index = 0;  // position in file order when created; kept when others are removed
  std::string familyId;
  std::string individualId;
  std::string fatherId;
  std::string motherId;
  std::string sex;
  double phenotype = missingValue;
  std::vector<double> covariates;
  std::vector<uint64_t> genotypes;  // 32 codes per word, column j at bits 2*(j mod 32)
};

// Words an individual holds for n SNP columns: one or two more than the codes need.
inline size_t genotypeWordCount(int n) { return static_cast<size_t>(n / 32 + 2); }

inline unsigned genotypeAt(const std::vector<uint64_t>& words, int column) {
  return static_cast<unsigned>(words[column >> 5] >> (2 * (column & 31))) & 3u;
}

inline void setGenotype(std::vector<uint64_t>& words, int column, unsigned code) {
  const int shift = 2 * (column & 31);
  uint64_t& word = words[column >> 5];
  word = (word & ~(uint64_t{3} << shift)) | (uint64_t{code & 3u} << shift);
}

// The data set; loops use nSnps and nIndividuals as bounds, so they stay in step with the lists.
inline std::vector<snpRecord*> snps;
inline int nSnps = 0;
inline std::vector<individualRecord*> individuals;
inline int nIndividuals = 0;

// Deletes every individual and SNP record (normal end of a run).
void freeDataSet();
