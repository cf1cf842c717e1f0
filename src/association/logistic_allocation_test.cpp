// The logistic fits allocate nothing once a thread has fitted a model of the same shape: they
// run once per SNP per resample. Counted by replacing the global operator new of this test
// program.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "association/logistic_model.h"
#include "dataset/covariate_design.h"
#include "dataset/dataset.h"
#include "test_support/dataset_builder.h"

namespace {
std::atomic<long> allocations{0};
}  // namespace

void* operator new(std::size_t size) {
  ++allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

// 120 individuals over three SNPs (an ordinary one, a rare one, a monomorphic one), with the
// given number of covariates each (one individual's first covariate missing).
void buildData(int covariates) {
  freeDataSet();
  for (int j = 0; j < 3; ++j) {
    snpRecord* snp = testsupport::addSnp("s" + std::to_string(j), 1, 100 * (j + 1));
    snp->allele1 = 'A';
    snp->allele2 = 'G';
  }
  const unsigned codes[] = {homozygousAllele1, heterozygous, homozygousAllele2, heterozygous,
                            homozygousAllele2, missingGenotype, homozygousAllele2};
  for (int i = 0; i < 120; ++i) {
    const unsigned rare = i % 13 == 0 ? heterozygous : homozygousAllele2;
    individualRecord* person = testsupport::addIndividual(
        (i * 7) % 5 < 2 ? 2.0 : 1.0, {codes[i % 7], rare, homozygousAllele1});
    for (int c = 0; c < covariates; ++c)
      person->covariates.push_back(((i * (5 + 6 * c) + c) % 17) / 3.0);
  }
  if (covariates > 0) individuals[10]->covariates[0] = missingValue;
}

// A resample as the sampler lists it: data-set order, some individuals twice, some left out.
std::vector<individualRecord*> resampleOf(const std::vector<individualRecord*>& people) {
  std::vector<individualRecord*> list;
  for (size_t i = 0; i < people.size(); ++i) list.insert(list.end(), i % 3, people[i]);
  return list;
}

TEST(LogisticAllocations, NoneOnceTheThreadHasFittedTheShape) {
  struct allocationCase {
    int covariates;
    bool dataSetTable;  // the data set's covariate table built, as the analysis does
    bool resample;      // a resample with repeats instead of everyone
  };
  const allocationCase cases[] = {
      {0, false, false}, {2, false, false}, {2, true, false}, {2, true, true}, {0, true, true},
  };
  for (const allocationCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.covariates) + " covariates" +
                 (c.dataSetTable ? ", data set's table" : ", own table") +
                 (c.resample ? ", resample" : ", everyone"));
    buildData(c.covariates);
    if (c.dataSetTable) ensureCovariateDesign();
    const std::vector<individualRecord*> list = c.resample ? resampleOf(individuals) : individuals;
    // A warning's text is built when it is printed; the fits counted here print none.
    const std::vector<snpRecord*> quiet = {snps[0], snps[1]};
    std::vector<estimateRecord> out;
    logisticModel model;
    testing::internal::CaptureStdout();
    logisticAllSnps(list, snps, out);  // every shape once, the monomorphic SNP too
    for (snpRecord* snp : quiet) {
      model.setupModel(list, snp);
      model.fit();
    }
    const long before = allocations.load();
    for (int round = 0; round < 20; ++round) {
      logisticAllSnps(list, quiet, out);
      model.setupModel(list, snps[round % 2]);
      model.fit();
    }
    const long during = allocations.load() - before;
    const std::string warnings = testing::internal::GetCapturedStdout();
    EXPECT_EQ(during, 0);
    EXPECT_EQ(model.usesDataSetTable(), c.dataSetTable);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_NE(out[0].effect, missingValue);
    EXPECT_NE(out[1].effect, missingValue);
    // With covariates the constant dose also fails the VIF check.
    EXPECT_EQ(warnings,
              std::string(c.covariates > 0
                              ? "Warning: VIF-based check for multicollinearity failed (snp s2).\n"
                              : "") +
                  "Warning: Could not get odds ratio for SNP s2: its allele dose does not vary\n");
  }
  freeDataSet();
}

}  // namespace
