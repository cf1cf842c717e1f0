#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "dataset/dataset.h"
#include "dataset/snp_filters.h"
#include "dataset/snp_major_genotypes.h"
#include "association/genotype_counts.h"
#include "association/logistic_model.h"
#include "association/plink_runner.h"
#include "test_support/dataset_builder.h"
#include "test_support/settings_snapshot.h"

namespace {

class CellCounter : public testing::Test {
 protected:
  void TearDown() override { freeDataSet(); }

  testsupport::settingsSnapshot settings;
};

// Phenotypes in turn: control, case, missing, a value that is neither (counts as a control),
// case, control, the missing code as a number.
constexpr double phenotypeCycle[] = {1.0, 2.0, missingValue, 1.5, 2.0, 1.0, -9.0};

// n individuals and m SNPs with random codes (missing included); the same for the same seed.
void buildDataSet(int n, int m, unsigned seed) {
  freeDataSet();
  for (int j = 0; j < m; ++j) testsupport::addSnp("s" + std::to_string(j), 1, j + 1);
  std::mt19937 engine(seed);
  std::uniform_int_distribution<unsigned> code(0, 3);
  std::vector<unsigned> codes(static_cast<size_t>(m));
  for (int i = 0; i < n; ++i) {
    for (unsigned& c : codes) c = code(engine);
    testsupport::addIndividual(phenotypeCycle[i % 7], codes);
  }
}

bool sameCells(const genotypeCells& a, const genotypeCells& b) {
  return a.caseA11 == b.caseA11 && a.caseA12 == b.caseA12 && a.caseA22 == b.caseA22 &&
         a.ctrlA11 == b.ctrlA11 && a.ctrlA12 == b.ctrlA12 && a.ctrlA22 == b.ctrlA22;
}

std::string describe(const genotypeCells& c) {
  return std::to_string(c.caseA11) + "/" + std::to_string(c.caseA12) + "/" +
         std::to_string(c.caseA22) + " " + std::to_string(c.ctrlA11) + "/" +
         std::to_string(c.ctrlA12) + "/" + std::to_string(c.ctrlA22);
}

// The lists a scan is given: everyone, a resample with repeats in data-set order and the
// individuals it left out, lists out of order, one individual listed many times (multiplicities
// of many bits), and the empty list.
struct namedList {
  std::string name;
  std::vector<individualRecord*> people;
};

std::vector<namedList> listsOf(const std::vector<individualRecord*>& all, unsigned seed) {
  std::mt19937 engine(seed);
  const int n = static_cast<int>(all.size());
  std::uniform_int_distribution<int> pick(0, n - 1);
  std::vector<int> counts(all.size(), 0);
  for (int k = 0; k < n; ++k) ++counts[static_cast<size_t>(pick(engine))];
  namedList sample{"resample", {}};
  namedList left{"left out", {}};
  for (int i = 0; i < n; ++i) {
    sample.people.insert(sample.people.end(), counts[static_cast<size_t>(i)], all[i]);
    if (counts[static_cast<size_t>(i)] == 0) left.people.push_back(all[i]);
  }
  namedList shuffled{"resample shuffled", sample.people};
  std::shuffle(shuffled.people.begin(), shuffled.people.end(), engine);
  namedList reversed{"everyone reversed", {all.rbegin(), all.rend()}};
  namedList repeated{"one individual 1000 times, the last twice", {}};
  repeated.people.assign(1000, all[static_cast<size_t>(n / 2)]);
  repeated.people.push_back(all.back());
  repeated.people.push_back(all.back());
  return {{"everyone", all}, sample, left, shuffled, reversed, repeated, {"nobody", {}}};
}

// The bit-plane counts against the walk over each listed individual's words, for individual
// counts of every remainder mod 4 and mod 64 and SNP counts around a word of codes.
TEST_F(CellCounter, CountsAsTheWalkOverEachIndividualDoes) {
  for (int m : {1, 31, 32, 33, 64, 65}) {
    for (int n = 1; n <= 130; ++n) {
      buildDataSet(n, m, static_cast<unsigned>(1000 * m + n));
      ensureSnpMajorGenotypes();
      for (const namedList& list : listsOf(individuals, static_cast<unsigned>(n))) {
        SCOPED_TRACE(std::to_string(n) + " individuals, " + std::to_string(m) + " SNPs, " +
                     list.name);
        const cellCounter counter(list.people);
        EXPECT_TRUE(counter.usesSnpMajorCopy());
        std::vector<genotypeCells> cells;
        counter.cellsOf(snps, cells);
        ASSERT_EQ(cells.size(), snps.size());
        for (int j = 0; j < m; ++j) {
          const genotypeCells expected = countGenotypeCells(list.people, j);
          ASSERT_TRUE(sameCells(cells[static_cast<size_t>(j)], expected))
              << "SNP " << j << ": " << describe(cells[static_cast<size_t>(j)]) << " against "
              << describe(expected);
        }
      }
    }
  }
}

// Hand-counted cells of one SNP: codes by individual and phenotype, listed with repeats.
TEST_F(CellCounter, HandCountedResample) {
  testsupport::addSnp("s0", 1, 1);
  // Code: 0 A11, 1 missing, 2 A12, 3 A22.
  individualRecord* caseA11 = testsupport::addIndividual(2.0, {0});
  individualRecord* caseA12 = testsupport::addIndividual(2.0, {2});
  individualRecord* caseMissing = testsupport::addIndividual(2.0, {1});
  individualRecord* ctrlA22 = testsupport::addIndividual(1.0, {3});
  individualRecord* otherA12 = testsupport::addIndividual(missingValue, {2});
  ensureSnpMajorGenotypes();
  const std::vector<individualRecord*> list = {caseA11, caseA11, caseA11, caseA12, caseMissing,
                                               caseMissing, ctrlA22, ctrlA22, otherA12};
  const cellCounter counter(list);
  ASSERT_TRUE(counter.usesSnpMajorCopy());
  const genotypeCells c = counter.cells(0);
  EXPECT_EQ(describe(c), "3/1/0 0/1/2");
}

// Whatever the counter cannot find in the copy it counts by the walk, with the same result.
TEST_F(CellCounter, FallsBackWhereTheCopyDoesNotServe) {
  buildDataSet(70, 33, 5);
  std::vector<individualRecord*> withStranger = individuals;
  individualRecord stranger;
  stranger.phenotype = 2.0;
  stranger.genotypes.assign(genotypeWordCount(33), 0);  // A11 everywhere
  withStranger.push_back(&stranger);
  {
    SCOPED_TRACE("no copy built");
    const cellCounter counter(individuals);
    EXPECT_FALSE(counter.usesSnpMajorCopy());
    for (int j = 0; j < 33; ++j)
      EXPECT_TRUE(sameCells(counter.cells(j), countGenotypeCells(individuals, j)));
  }
  ensureSnpMajorGenotypes();
  {
    SCOPED_TRACE("an individual the copy does not hold");
    const cellCounter counter(withStranger);
    EXPECT_FALSE(counter.usesSnpMajorCopy());
    for (int j = 0; j < 33; ++j)
      EXPECT_TRUE(sameCells(counter.cells(j), countGenotypeCells(withStranger, j)));
  }
}

// Compaction and the removal of individuals replace or delete the records the copy was built
// from: the copy goes with them, and a new one counts the new columns.
TEST_F(CellCounter, CopyIsDroppedWhenTheRecordsChange) {
  buildDataSet(100, 40, 9);
  ensureSnpMajorGenotypes();
  ASSERT_TRUE(snpMajor.valid);
  for (int j = 0; j < 40; j += 3) snps[static_cast<size_t>(j)]->index = -1;
  compactSnps();
  EXPECT_FALSE(snpMajor.valid);
  EXPECT_FALSE(cellCounter(individuals).usesSnpMajorCopy());
  ensureSnpMajorGenotypes();
  const cellCounter counter(individuals);
  ASSERT_TRUE(counter.usesSnpMajorCopy());
  for (int j = 0; j < nSnps; ++j)
    EXPECT_TRUE(sameCells(counter.cells(j), countGenotypeCells(individuals, j))) << j;

  plink.removeMissingPhenotypes();
  EXPECT_FALSE(snpMajor.valid);
  ensureSnpMajorGenotypes();
  freeDataSet();
  EXPECT_FALSE(snpMajor.valid);
}

}  // namespace

namespace {

// Every kernel this processor can run against a bit-by-bit count, over random planes of every
// length up to a few hundred words (the vector kernel adds up its byte counts every 124 words,
// so lengths around that are where it could go wrong).
// The dose cells of a resample and of the individuals it left out, from the draw counts over
// the slot positions of a SNP, are the cells of the two lists, whether the positions come
// from the SNP-major copy or from each individual's words.
TEST_F(CellCounter, CellsOfDrawsAreTheCellsOfTheTwoLists) {
  for (int n : {1, 2, 63, 64, 65, 300}) {
    buildDataSet(n, 37, static_cast<unsigned>(n) + 7);
    std::mt19937 engine(static_cast<unsigned>(n));
    for (bool fromCopy : {false, true}) {
      if (fromCopy) ensureSnpMajorGenotypes();
      for (int round = 0; round < 4; ++round) {
        // Draw counts of every size: most 0 to 2, some individual drawn n times.
        std::vector<int> counts(static_cast<size_t>(n));
        std::uniform_int_distribution<int> draw(0, round == 3 ? n : 2);
        for (int& c : counts) c = draw(engine);
        std::vector<individualRecord*> drawn, neverDrawn;
        for (int i = 0; i < n; ++i) {
          drawn.insert(drawn.end(), counts[static_cast<size_t>(i)], individuals[i]);
          if (counts[static_cast<size_t>(i)] == 0) neverDrawn.push_back(individuals[i]);
        }
        for (const snpRecord* snp : snps) {
          SCOPED_TRACE(std::to_string(n) + " individuals, SNP " + snp->name + ", round " +
                       std::to_string(round) + (fromCopy ? ", from the copy" : ""));
          slotPositions slots;
          slotPositionsOf(individuals, *snp, slots);
          doseCells fromDraws, neverFromDraws;
          cellsOfDraws(slots, counts, fromDraws, neverFromDraws);
          const doseCells expected = countDoseCells(drawn, *snp);
          const doseCells expectedNever = countDoseCells(neverDrawn, *snp);
          for (int dose = 0; dose < 3; ++dose) {
            EXPECT_EQ(fromDraws.count[dose], expected.count[dose]) << dose;
            EXPECT_EQ(fromDraws.cases[dose], expected.cases[dose]) << dose;
            EXPECT_EQ(neverFromDraws.count[dose], expectedNever.count[dose]) << dose;
            EXPECT_EQ(neverFromDraws.cases[dose], expectedNever.cases[dose]) << dose;
          }
        }
      }
    }
  }
}

TEST(PlaneKernels, EveryKernelGivesTheSumsOfABitByBitCount) {
  std::mt19937_64 random(12345);
  const auto kernels = availablePlaneKernels();
  ASSERT_GE(kernels.size(), 1u);
  for (size_t words : {4u, 8u, 120u, 124u, 128u, 248u, 252u, 400u}) {
    for (int planes : {1, 3, 17}) {
      std::vector<uint64_t> low(words), high(words), weights(words * planes);
      for (auto& w : low) w = random();
      for (auto& w : high) w = random();
      for (auto& w : weights) w = random();
      // Some all-ones words, where every byte count is at its largest.
      low[0] = high[0] = weights[0] = ~uint64_t{0};
      std::vector<uint32_t> expected(3 * planes, 0);
      for (int p = 0; p < planes; ++p) {
        for (size_t w = 0; w < words; ++w) {
          for (int bit = 0; bit < 64; ++bit) {
            if (!((weights[p * words + w] >> bit) & 1)) continue;
            const bool h = (high[w] >> bit) & 1, l = (low[w] >> bit) & 1;
            expected[3 * p] += h;
            expected[3 * p + 1] += l;
            expected[3 * p + 2] += h && l;
          }
        }
      }
      for (const auto& k : kernels) {
        SCOPED_TRACE(std::string(k.name) + ", " + std::to_string(words) + " words, " +
                     std::to_string(planes) + " planes");
        std::vector<uint32_t> sums(3 * planes, 7);
        k.kernel(low.data(), high.data(), weights.data(), planes, words, sums.data());
        EXPECT_EQ(sums, expected);
      }
    }
  }
}

}  // namespace
