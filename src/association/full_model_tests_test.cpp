#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "dataset/dataset.h"
#include "dataset/missing_value.h"
#include "dataset/snp_major_genotypes.h"
#include "run/settings.h"
#include "test_support/dataset_builder.h"
#include "test_support/scratch_files.h"
#include "test_support/settings_snapshot.h"
#include "association/association_tests.h"
#include "association/full_model_statistics.h"
#include "association/genotype_counts.h"
#include "association/testdata/expected_table.h"
#include "association/testdata/synthetic_snp.h"

namespace {

// Every setting a test changes is restored afterwards, and the data set emptied.
class FullModel : public testing::Test {
 protected:
  void TearDown() override { freeDataSet(); }

  testsupport::settingsSnapshot settings;
};

struct modelRun {
  const char* fixture;
  const char* expected;
  int cell;
};

// TREND and GENO of the scan, and ALLELIC, DOM and REC of the same cells, against plink's
// --model (four digits, and its NA) and R's prop.trend.test and chisq.test (full precision).
TEST_F(FullModel, AgreesWithPlinkAndROnFixtures) {
  const modelRun runs[] = {
      {"cc", "model_cc.expected", 5},
      {"cc", "model_cc_cell0.expected", 0},
      {"sparse", "model_sparse_cell0.expected", 0},
      {"sparse", "model_sparse_cell3.expected", 3},
  };
  for (const modelRun& run : runs) {
    SCOPED_TRACE(run.expected);
    oracle::loadFixture(run.fixture);
    const oracle::table expected = oracle::readTable(run.expected);
    minCellCount = run.cell;
    std::vector<significanceRecord> out(3);  // must be emptied first
    assocTests.fullModelTests(false, individuals, snps, out);
    ASSERT_EQ(out.size(), snps.size());
    oracle::worst plinkTrend, plinkGeno, plinkOthers, rTrend, rGeno;
    for (size_t j = 0; j < snps.size(); ++j) {
      const snpRecord& snp = *snps[j];
      const std::string& name = snp.name;
      EXPECT_EQ(out[j].snp, snps[j]);
      EXPECT_EQ(out[j].allele, snp.allele1);
      EXPECT_EQ(out[j].significant, 0);
      EXPECT_EQ(out[j].p, missingValue);
      oracle::expectPlinkValue(out[j].trendP, expected.at(name, "TREND"), missingValue,
                               name + " TREND", plinkTrend);
      oracle::expectPlinkValue(out[j].genoP, expected.at(name, "GENO"), missingValue,
                               name + " GENO", plinkGeno);
      oracle::expectRValue(out[j].trendP, expected.at(name, "R_TREND"), 1e-9, name, rTrend);
      if (expected.at(name, "GENO") != "NA")
        oracle::expectRValue(out[j].genoP, expected.at(name, "R_GENO"), 1e-9, name, rGeno);

      // plink's DOM and REC take its A1 as allele 1; ours take the first letter of the file.
      const fullModelStatistics s =
          fullModelFromCells(countGenotypeCells(individuals, snp.index), run.cell);
      const bool sameAllele = expected.at(name, "A1") == std::string(1, snp.allele1);
      oracle::expectPlinkValue(s.allelicP, expected.at(name, "ALLELIC"), -9, name + " ALLELIC",
                               plinkOthers);
      oracle::expectPlinkValue(s.domP, expected.at(name, sameAllele ? "DOM" : "REC"), -9,
                               name + " DOM", plinkOthers);
      oracle::expectPlinkValue(s.recP, expected.at(name, sameAllele ? "REC" : "DOM"), -9,
                               name + " REC", plinkOthers);
    }
    const std::string label = std::string(run.expected) + " ";
    oracle::report(label + "TREND vs plink", plinkTrend);
    oracle::report(label + "GENO vs plink", plinkGeno);
    oracle::report(label + "ALLELIC/DOM/REC vs plink", plinkOthers);
    oracle::report(label + "TREND vs R", rTrend);
    oracle::report(label + "GENO vs R", rGeno);
    freeDataSet();
  }
}

struct cellCase {
  const char* name;
  synthetic::groupCounts cases, controls;  // A11, A12, A22, missing
  int cell;
  double trendP, genoP;  // R's prop.trend.test and chisq.test, or missingValue
};

TEST_F(FullModel, EdgeCasesOfTheCellsAndTheStatistics) {
  const double na = missingValue;
  const cellCase cases[] = {
      {"all genotypes missing", {0, 0, 0, 7}, {0, 0, 0, 5}, 5, na, na},
      {"one cell below --cell voids GENO only", {4, 20, 30, 0}, {25, 25, 25, 2}, 5,
       0.000555067110484892, na},
      {"the same cell at --cell counts", {4, 20, 30, 0}, {25, 25, 25, 2}, 4,
       0.000555067110484892, 0.00139704386009785},
      {"--cell 0 computes GENO with an empty cell", {10, 5, 0, 1}, {8, 6, 3, 0}, 0,
       0.111440984267528, 0.201832548248113},
      {"--cell 1 voids it", {10, 5, 0, 1}, {8, 6, 3, 0}, 1, 0.111440984267528, na},
      {"a class empty in both groups", {10, 5, 0, 0}, {8, 6, 0, 0}, 0, 0.597370358126139, na},
      {"monomorphic for allele 1", {20, 0, 0, 2}, {15, 0, 0, 0}, 0, na, na},
      {"monomorphic for allele 2", {0, 0, 20, 0}, {0, 0, 15, 3}, 0, na, na},
      {"all heterozygous", {0, 12, 0, 0}, {0, 9, 0, 0}, 0, na, na},
      {"no controls", {10, 5, 3, 0}, {0, 0, 0, 4}, 0, na, na},
  };
  for (const cellCase& c : cases) {
    SCOPED_TRACE(c.name);
    minCellCount = c.cell;
    const auto snp = synthetic::fromCounts(c.cases, c.controls);
    std::vector<significanceRecord> out;
    assocTests.fullModelTests(false, snp->people, snp->snpList, out);
    ASSERT_EQ(out.size(), 1u);
    for (const auto& [ours, theirs] : {std::pair{out[0].trendP, c.trendP},
                                       std::pair{out[0].genoP, c.genoP}}) {
      if (theirs == missingValue) EXPECT_EQ(ours, missingValue);
      else EXPECT_NEAR(ours, theirs, 1e-10 * theirs);
    }
  }
}

TEST_F(FullModel, ARepeatedIndividualCountsOncePerOccurrence) {
  const auto snp = synthetic::fromCounts({10, 15, 6, 1}, {14, 12, 9, 0});
  const auto copied = synthetic::fromCounts({10, 15, 6, 1}, {14, 12, 9, 0});
  // A resample listing person 3 (a case A11) and person 40 (a control) twice more, against a
  // data set holding copies of both.
  std::vector<individualRecord*> resample = snp->people;
  for (int k = 0; k < 2; ++k) resample.push_back(snp->people[3]), resample.push_back(snp->people[40]);
  for (int k = 0; k < 2; ++k)
    copied->add(2.0, homozygousAllele1), copied->add(1.0, genotypeAt(snp->people[40]->genotypes, 37));
  const genotypeCells cells = countGenotypeCells(resample, synthetic::snpColumn::column);
  EXPECT_EQ(cells.caseA11, 12);
  std::vector<significanceRecord> fromResample, fromCopies;
  assocTests.fullModelTests(false, resample, snp->snpList, fromResample);
  assocTests.fullModelTests(false, copied->people, copied->snpList, fromCopies);
  EXPECT_EQ(fromResample[0].trendP, fromCopies[0].trendP);
  EXPECT_EQ(fromResample[0].genoP, fromCopies[0].genoP);
  EXPECT_NE(fromResample[0].trendP, missingValue);
}

TEST_F(FullModel, SwappingTheAllelesKeepsTrendAndGeno) {
  const synthetic::groupCounts tables[][2] = {
      {{10, 15, 6, 1}, {14, 12, 9, 0}}, {{40, 8, 5, 0}, {30, 20, 7, 3}}, {{5, 5, 50, 0}, {9, 9, 9, 9}}};
  for (const auto& t : tables) {
    const auto snp = synthetic::fromCounts(t[0], t[1]);
    const auto swapped = synthetic::fromCounts({t[0][2], t[0][1], t[0][0], t[0][3]},
                                               {t[1][2], t[1][1], t[1][0], t[1][3]});
    std::vector<significanceRecord> a, b;
    assocTests.fullModelTests(false, snp->people, snp->snpList, a);
    assocTests.fullModelTests(false, swapped->people, swapped->snpList, b);
    EXPECT_NEAR(a[0].trendP, b[0].trendP, 1e-12);
    EXPECT_NEAR(a[0].genoP, b[0].genoP, 1e-12);
  }
}

TEST_F(FullModel, OnlyPhenotypeTwoIsACase) {
  const double controlValues[] = {0.0, 1.5, -9.0, 3.0, missingValue};
  const auto reference = synthetic::fromCounts({10, 15, 6, 1}, {14, 12, 9, 0});
  std::vector<significanceRecord> expected;
  assocTests.fullModelTests(false, reference->people, reference->snpList, expected);
  for (const double value : controlValues) {
    SCOPED_TRACE(value);
    const auto snp = synthetic::fromCounts({10, 15, 6, 1}, {14, 12, 9, 0}, value);
    std::vector<significanceRecord> out;
    assocTests.fullModelTests(false, snp->people, snp->snpList, out);
    EXPECT_EQ(out[0].trendP, expected[0].trendP);
    EXPECT_EQ(out[0].genoP, expected[0].genoP);
  }
}

// The records follow the SNP list given, whatever its order, and every thread gets the same.
TEST_F(FullModel, RecordsFollowTheListAndThreadsAgree) {
  oracle::loadFixture("cc");
  std::vector<significanceRecord> forward;
  assocTests.fullModelTests(false, individuals, snps, forward);
  std::vector<snpRecord*> reversed(snps.rbegin(), snps.rend());
  std::vector<std::vector<significanceRecord>> perThread(8);
#pragma omp parallel for num_threads(8)
  for (int t = 0; t < 8; ++t) assocTests.fullModelTests(false, individuals, reversed, perThread[t]);
  for (const auto& out : perThread) {
    ASSERT_EQ(out.size(), snps.size());
    for (size_t k = 0; k < out.size(); ++k) {
      const significanceRecord& f = forward[snps.size() - 1 - k];
      EXPECT_EQ(out[k].snp, reversed[k]);
      EXPECT_EQ(out[k].trendP, f.trendP);
      EXPECT_EQ(out[k].genoP, f.genoP);
    }
  }
}

// The scan of a large data set outside any parallel region shares its SNPs out among threads:
// each record is the one the serial loop gives, in its place, with and without the copy.
TEST_F(FullModel, LargeScanOnAllThreadsGivesTheSerialRecords) {
  constexpr int snpCount = 5000;
  for (int j = 0; j < snpCount; ++j) testsupport::addSnp("s" + std::to_string(j), 1, j + 1);
  std::mt19937 engine(17);
  std::uniform_int_distribution<unsigned> code(0, 3);
  std::vector<unsigned> codes(snpCount);
  for (int i = 0; i < 150; ++i) {
    for (unsigned& c : codes) c = code(engine);
    testsupport::addIndividual(i % 2 == 0 ? 1.0 : 2.0, codes);
  }
  for (bool withCopy : {false, true}) {
    SCOPED_TRACE(withCopy ? "with the SNP-major copy" : "reading each individual");
    if (withCopy) ensureSnpMajorGenotypes();
    std::vector<significanceRecord> serial;
    // Inside an active region the scan keeps to its own thread.
#pragma omp parallel num_threads(2)
#pragma omp single
    assocTests.fullModelTests(false, individuals, snps, serial);
    std::vector<significanceRecord> shared;
    omp_set_num_threads(8);
    assocTests.fullModelTests(false, individuals, snps, shared);
    ASSERT_EQ(shared.size(), serial.size());
    int differing = 0;
    for (size_t k = 0; k < shared.size(); ++k) {
      differing += shared[k].snp != serial[k].snp || shared[k].allele != serial[k].allele ||
                   shared[k].trendP != serial[k].trendP || shared[k].genoP != serial[k].genoP;
    }
    EXPECT_EQ(differing, 0);
  }
}

// A scan computes only the tests its caller reads, each exactly as the full computation does;
// counting through the SNP-major copy changes no value.
TEST_F(FullModel, SelectedTestsAndTheSnpMajorCopyChangeNoValue) {
  oracle::loadFixture("cc");
  std::vector<significanceRecord> walk;
  assocTests.fullModelTests(false, individuals, snps, walk);
  ensureSnpMajorGenotypes();
  ASSERT_TRUE(cellCounter(individuals).usesSnpMajorCopy());
  struct subsetCase {
    unsigned tests;
    bool trend, geno;
  };
  const subsetCase subsets[] = {{fullModelAll, true, true},
                                {fullModelTrend, true, false},
                                {fullModelGeno, false, true},
                                {fullModelTrend | fullModelGeno, true, true}};
  for (const subsetCase& c : subsets) {
    SCOPED_TRACE(c.tests);
    std::vector<significanceRecord> out;
    assocTests.fullModelTests(false, individuals, snps, out, c.tests);
    ASSERT_EQ(out.size(), walk.size());
    for (size_t j = 0; j < out.size(); ++j) {
      EXPECT_EQ(out[j].trendP, c.trend ? walk[j].trendP : missingValue) << j;
      EXPECT_EQ(out[j].genoP, c.geno ? walk[j].genoP : missingValue) << j;
    }
  }
  minCellCount = 0;
  for (const snpRecord* snp : snps) {
    const genotypeCells cells = countGenotypeCells(individuals, snp->index);
    const fullModelStatistics all = fullModelFromCells(cells, 0);
    const std::pair<unsigned, double fullModelStatistics::*> tests[] = {
        {fullModelTrend, &fullModelStatistics::trendP}, {fullModelGeno, &fullModelStatistics::genoP},
        {fullModelAllelic, &fullModelStatistics::allelicP}, {fullModelDom, &fullModelStatistics::domP},
        {fullModelRec, &fullModelStatistics::recP}};
    for (const auto& [bit, p] : tests) {
      const fullModelStatistics one = fullModelFromCells(cells, 0, bit);
      for (const auto& [other, q] : tests) {
        EXPECT_EQ(one.*q, other == bit ? all.*q : -9) << snp->name << " " << bit << " " << other;
      }
    }
  }
}

TEST_F(FullModel, TableHasFiveRowsPerSnp) {
  const auto snp = synthetic::fromCounts({20, 0, 0, 0}, {15, 3, 0, 0});
  snp->snp.name = "rs1";
  snp->snp.chromosome = 3;
  snp->snp.allele2 = 0;  // a monomorphic-looking SNP with an unset second allele
  testsupport::scratchDirectory directory("zuq-model");
  const std::string base = directory.file("plinkout");
  plinkOutName = base;
  std::vector<significanceRecord> out;
  testing::internal::CaptureStdout();
  assocTests.fullModelTests(true, snp->people, snp->snpList, out);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Full-model association tests, minimum genotype count: --cell 5\n"
            "Writing full model association results to [ " + base + ".model ] \n");
  const std::vector<std::string> lines = testsupport::readLines(base + ".model");
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], " CHR        SNP   A1   A2     TEST            AFF          UNAFF        CHISQ"
                      "   DF            P");
  EXPECT_EQ(lines[1], "   3        rs1    A    0     GENO         20/0/0         15/3/0           NA"
                      "   NA           NA");
  EXPECT_EQ(lines[2].substr(0, 64), "   3        rs1    A    0    TREND           40/0           33/3");
  EXPECT_EQ(lines[5].substr(0, 64), "   3        rs1    A    0      REC           20/0           15/3");
}

// The cases of fisher_tests.expected (R's fisher.test, regenerate_fisher_tests.sh): genotype
// counts of cases and controls and the --cell minimum.
struct exactCase {
  std::string name;
  synthetic::groupCounts cases, controls;
  int cell;
};

std::vector<exactCase> exactCases(const oracle::table& expected) {
  std::vector<exactCase> cases;
  for (const auto& [name, fields] : expected.rows) {
    auto count = [&](const char* column) { return std::stoi(expected.at(name, column)); };
    cases.push_back({name,
                     {count("caseA11"), count("caseA12"), count("caseA22"), 0},
                     {count("ctrlA11"), count("ctrlA12"), count("ctrlA22"), 0},
                     count("cell")});
  }
  return cases;
}

// An R value ("NA": no p, -9 here) against ours. Both sides take path lengths within 3.45e-7
// of each other as equal, so they agree to about 1e-6, not to the last digit.
void expectExactP(double ours, const std::string& theirs, const std::string& what) {
  SCOPED_TRACE(what);
  if (theirs == "NA") {
    EXPECT_EQ(ours, -9);
  } else {
    EXPECT_NEAR(ours, std::stod(theirs), 1e-6 * std::stod(theirs));
  }
}

// Exact tests switched on: ALLELIC, GENO, DOM and REC come from Fisher's exact test of the
// allele and genotype tables; TREND stays the chi-square test; an empty table has no p.
TEST_F(FullModel, ExactTestsAgreeWithRFisherTest) {
  const oracle::table expected = oracle::readTable("fisher_tests.expected");
  for (const exactCase& c : exactCases(expected)) {
    SCOPED_TRACE(c.name);
    minCellCount = c.cell;
    const auto snp = synthetic::fromCounts(c.cases, c.controls);
    const genotypeCells cells = countGenotypeCells(snp->people, synthetic::snpColumn::column);
    useFisherExact = 0;
    const fullModelStatistics chiSquare = fullModelFromCells(cells, c.cell);
    useFisherExact = 1;
    const fullModelStatistics s = fullModelFromCells(cells, c.cell);
    expectExactP(s.allelicP, expected.at(c.name, "ALLELIC"), "ALLELIC");
    expectExactP(s.genoP, expected.at(c.name, "GENO"), "GENO");
    expectExactP(s.domP, expected.at(c.name, "DOM"), "DOM");
    expectExactP(s.recP, expected.at(c.name, "REC"), "REC");
    EXPECT_EQ(s.trendP, chiSquare.trendP);

    std::vector<significanceRecord> out;
    assocTests.fullModelTests(false, snp->people, snp->snpList, out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].genoP, s.genoP < -1 ? missingValue : s.genoP);
    EXPECT_EQ(out[0].trendP, chiSquare.trendP < -1 ? missingValue : chiSquare.trendP);
  }
}

// The exact p-values of a fixture scanned on eight threads at once equal the serial ones.
TEST_F(FullModel, ExactTestsOnThreadsGiveTheSerialResults) {
  oracle::loadFixture("cc");
  useFisherExact = 1;
  minCellCount = 0;
  std::vector<significanceRecord> serial;
  assocTests.fullModelTests(false, individuals, snps, serial);
  std::vector<std::vector<significanceRecord>> perThread(8);
#pragma omp parallel for num_threads(8)
  for (int t = 0; t < 8; ++t) assocTests.fullModelTests(false, individuals, snps, perThread[t]);
  int withP = 0;
  for (const auto& out : perThread) {
    ASSERT_EQ(out.size(), serial.size());
    for (size_t k = 0; k < out.size(); ++k) {
      EXPECT_EQ(out[k].genoP, serial[k].genoP);
      withP += out[k].genoP != missingValue;
    }
  }
  EXPECT_GT(withP, 0);
}

TEST_F(FullModel, ExactTableHasNoChiSquareColumns) {
  const oracle::table expected = oracle::readTable("fisher_tests.expected");
  const auto snp = synthetic::fromCounts({20, 0, 0, 0}, {15, 3, 0, 0});
  snp->snp.name = "rs1";
  snp->snp.chromosome = 3;
  snp->snp.allele2 = 0;
  testsupport::scratchDirectory directory("zuq-model");
  const std::string base = directory.file("plinkout");
  plinkOutName = base;
  useFisherExact = 1;
  std::vector<significanceRecord> out;
  testing::internal::CaptureStdout();
  assocTests.fullModelTests(true, snp->people, snp->snpList, out);
  testing::internal::GetCapturedStdout();
  const std::vector<std::string> lines = testsupport::readLines(base + ".model");
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], " CHR        SNP   A1   A2     TEST            AFF          UNAFF"
                      "            P");
  EXPECT_EQ(lines[1], "   3        rs1    A    0     GENO         20/0/0         15/3/0"
                      "           NA");
  char allelic[16];
  std::snprintf(allelic, sizeof allelic, "%12.6g",
                std::stod(expected.at("writer_snp", "ALLELIC")));
  EXPECT_EQ(lines[3], "   3        rs1    A    0  ALLELIC           40/0           33/3 " +
                          std::string(allelic));
  EXPECT_EQ(lines[2].size(), lines[3].size());  // TREND: its p only, too
}

}  // namespace
