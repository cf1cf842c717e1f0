#include "dataset/dummy_dataset.h"

#include <gtest/gtest.h>

#include <array>

#include "dataset/dataset.h"

namespace {

class DummyDataset : public testing::Test {
 protected:
  void TearDown() override { freeDataSet(); }
  void generate(int people, int markers) {
    testing::internal::CaptureStdout();
    generateDummyDataset(people, markers);
    output = testing::internal::GetCapturedStdout();
  }
  std::string output;
};

TEST_F(DummyDataset, RecordsFollowTheirFixedPattern) {
  generate(4, 2);
  EXPECT_EQ(output, "Generating dummy dataset...\n");
  ASSERT_EQ(nSnps, 2);
  ASSERT_EQ(nIndividuals, 4);
  for (int k = 0; k < 2; ++k) {
    EXPECT_EQ(snps[k]->name, "snp" + std::to_string(k));
    EXPECT_EQ(snps[k]->position, k + 1);
    EXPECT_EQ(snps[k]->chromosome, 1);
    EXPECT_EQ(snps[k]->index, k);
    EXPECT_EQ(snps[k]->allele1, 'C');
    EXPECT_EQ(snps[k]->allele2, 'T');
  }
  for (int i = 0; i < 4; ++i) {
    const individualRecord& p = *individuals[i];
    EXPECT_EQ(p.familyId, std::to_string(i));
    EXPECT_EQ(p.individualId, std::to_string(i));
    EXPECT_EQ(p.fatherId, "0");
    EXPECT_EQ(p.sex, "1");
    EXPECT_EQ(p.phenotype, i % 2 + 1.0);
    EXPECT_EQ(p.genotypes.size(), 2u);
    EXPECT_EQ(p.index, i);
  }
}

TEST_F(DummyDataset, GenotypesAreTheSystemGeneratorsDrawsFromSeedTen) {
  generate(3, 40);
  std::srand(10);
  std::array<int, 4> seen{};
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(individuals[i]->genotypes.size(), 3u);
    for (int j = 0; j < 40; ++j) {
      const unsigned expected = static_cast<unsigned>(std::rand() % 4);
      ASSERT_EQ(genotypeAt(individuals[i]->genotypes, j), expected) << i << "," << j;
      ++seen[expected];
    }
    EXPECT_EQ(individuals[i]->genotypes[2], 0u);  // beyond the last column
  }
  for (int count : seen) EXPECT_GT(count, 0);
}

TEST_F(DummyDataset, NonPositiveCountsCreateNoRecordsOfThatKind) {
  generate(0, 5);
  EXPECT_EQ(nSnps, 5);
  EXPECT_EQ(nIndividuals, 0);
  freeDataSet();
  generate(5, 0);
  EXPECT_EQ(nSnps, 0);
  ASSERT_EQ(nIndividuals, 5);
  EXPECT_EQ(individuals[0]->genotypes, std::vector<uint64_t>(2, 0));
}

}  // namespace
