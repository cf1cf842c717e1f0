#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "dataset/dataset.h"
#include "dataset/missing_value.h"
#include "numerics/matrix.h"
#include "run/settings.h"
#include "test_support/scratch_files.h"
#include "test_support/settings_snapshot.h"
#include "association/association_tests.h"
#include "association/testdata/expected_table.h"
#include "association/testdata/synthetic_snp.h"

namespace {

class AllelicAndQt : public testing::Test {
 protected:
  void TearDown() override { freeDataSet(); }

  testsupport::settingsSnapshot settings;
};

// The allelic p against plink's --assoc (four digits) and R's chisq.test without correction.
TEST_F(AllelicAndQt, AllelicPAgreesWithPlinkAndR) {
  for (const char* fixture : {"cc", "sparse"}) {
    SCOPED_TRACE(fixture);
    oracle::loadFixture(fixture);
    const oracle::table expected = oracle::readTable(std::string("assoc_") + fixture + ".expected");
    std::vector<estimateRecord> out(2);
    assocTests.allelicTest(individuals, snps, out);
    ASSERT_EQ(out.size(), snps.size());
    oracle::worst plinkP, rP;
    for (size_t j = 0; j < snps.size(); ++j) {
      const std::string& name = snps[j]->name;
      EXPECT_EQ(out[j].snp, snps[j]);
      EXPECT_EQ(out[j].allele, snps[j]->allele1);
      oracle::expectPlinkValue(out[j].p, expected.at(name, "P"), missingValue, name, plinkP);
      oracle::expectRValue(out[j].p, expected.at(name, "R_P"), 1e-9, name, rP);
      // plink's odds ratio has no 0.5 added and refers to its minor allele: only its presence
      // is compared.
      EXPECT_EQ(out[j].effect == missingValue, out[j].p == missingValue) << name;
    }
    oracle::report(std::string("assoc_") + fixture + " ALLELIC p vs plink", plinkP);
    oracle::report(std::string("assoc_") + fixture + " ALLELIC p vs R", rP);
    freeDataSet();
  }
}

struct alleleCase {
  const char* name;
  synthetic::groupCounts cases, controls;  // genotype counts giving the allele table
  double oddsRatio, p;                     // by hand, and R's chisq.test; or missingValue
};

TEST_F(AllelicAndQt, OddsRatioWithHalfAddedToEveryCell) {
  const double na = missingValue;
  const alleleCase cases[] = {
      // caseA1 10, caseA2 0, ctrlA1 5, ctrlA2 5: 10.5 * 5.5 / (5.5 * 0.5)
      {"an empty cell", {5, 0, 0, 1}, {2, 1, 2, 0}, 21.0, 0.00982327450751926},
      // 30, 10, 20, 20: 30.5 * 20.5 / (20.5 * 10.5)
      {"no empty cell", {12, 6, 2, 0}, {6, 8, 6, 1}, 30.5 / 10.5, 0.020921335337794},
      // the same with the alleles swapped: the reciprocal
      {"alleles swapped", {2, 6, 12, 0}, {6, 8, 6, 1}, 10.5 / 30.5, 0.020921335337794},
      {"all cells zero", {0, 0, 0, 4}, {0, 0, 0, 3}, na, na},
      {"monomorphic", {9, 0, 0, 0}, {7, 0, 0, 0}, na, na},
      {"no controls", {5, 3, 1, 0}, {0, 0, 0, 0}, na, na},
  };
  for (const alleleCase& c : cases) {
    SCOPED_TRACE(c.name);
    const auto snp = synthetic::fromCounts(c.cases, c.controls);
    std::vector<estimateRecord> out;
    assocTests.allelicTest(snp->people, snp->snpList, out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].allele, 'A');
    if (c.p == missingValue) {
      EXPECT_EQ(out[0].effect, missingValue);
      EXPECT_EQ(out[0].p, missingValue);
    } else {
      EXPECT_NEAR(out[0].effect, c.oddsRatio, 1e-13 * c.oddsRatio);
      EXPECT_NEAR(out[0].p, c.p, 1e-10 * c.p);
    }
  }
}

TEST_F(AllelicAndQt, AllelicPValueOnVectorsSkipsOtherPhenotypesAndCodes) {
  // The 30/10 against 20/20 table of the case above, plus entries that must be skipped.
  std::vector<double> phenotypes;
  std::vector<int8_t> codes;
  const auto add = [&](double y, int8_t code, int times) {
    for (int k = 0; k < times; ++k) phenotypes.push_back(y), codes.push_back(code);
  };
  add(2, 0, 12), add(2, 2, 6), add(2, 3, 2);
  add(1, 0, 6), add(1, 2, 8), add(1, 3, 6), add(1, 1, 4);
  add(0, 0, 9), add(1.5, 3, 9), add(missingValue, 2, 3), add(2, -1, 5), add(1, 7, 5);
  EXPECT_NEAR(assocTests.allelicPValue(phenotypes, codes), 0.020921335337794, 1e-12);
  EXPECT_EQ(assocTests.allelicPValue({}, {}), -9);
}

// The regression against R's lm (full precision, beta for R's counted allele) and plink's
// --linear (four digits, beta for its minor allele A1).
TEST_F(AllelicAndQt, QtRegressionAgreesWithLmAndPlink) {
  oracle::loadFixture("qt");
  const oracle::table expected = oracle::readTable("linear_qt.expected");
  std::vector<estimateRecord> out(5);
  assocTests.qtAssociation(false, individuals, snps, out);
  ASSERT_EQ(out.size(), snps.size());
  oracle::worst rBeta, rP, plinkBeta, plinkP;
  for (size_t j = 0; j < snps.size(); ++j) {
    const snpRecord& snp = *snps[j];
    const std::string& name = snp.name;
    SCOPED_TRACE(name);
    EXPECT_EQ(out[j].snp, snps[j]);
    EXPECT_EQ(out[j].allele, snp.allele1);
    if (expected.at(name, "R_P") == "NA") {
      // No p from lm: a constant dosage, no typed individual, or no residual degree of freedom.
      EXPECT_EQ(out[j].effect, missingValue);
      EXPECT_EQ(out[j].p, missingValue);
      continue;
    }
    ASSERT_NE(out[j].effect, missingValue);
    const double beta = std::log(out[j].effect);
    const double rSign = expected.at(name, "R_ALLELE") == std::string(1, snp.allele1) ? 1 : -1;
    const double plinkSign = expected.at(name, "A1") == std::string(1, snp.allele1) ? 1 : -1;
    oracle::expectRValue(rSign * beta, expected.at(name, "R_BETA"), 1e-9, name, rBeta);
    oracle::expectRValue(out[j].p, expected.at(name, "R_P"), 1e-9, name, rP);
    oracle::expectPlinkValue(plinkSign * beta, expected.at(name, "BETA"), missingValue, name,
                             plinkBeta);
    oracle::expectPlinkValue(out[j].p, expected.at(name, "P"), missingValue, name, plinkP);
  }
  oracle::report("linear_qt beta vs R lm", rBeta);
  oracle::report("linear_qt p vs R lm", rP);
  oracle::report("linear_qt beta vs plink --linear", plinkBeta);
  oracle::report("linear_qt p vs plink --linear", plinkP);
}

// R: x <- c(2,1,0,NA,1,2,0,1,NA,2); y <- c(3.1,2.0,1.2,9.9,2.5,3.6,0.7,1.9,-4,2.8);
// summary(lm(y ~ x)): estimate 1.1025641025641, p 0.000338986516266366 on 6 df.
TEST_F(AllelicAndQt, MissingGenotypesLeaveTheRegression) {
  const double ys[] = {3.1, 2.0, 1.2, 9.9, 2.5, 3.6, 0.7, 1.9, -4, 2.8};
  const int32_t codes[] = {0, 2, 3, 1, 2, 0, 3, 2, 1, 0};
  synthetic::snpColumn snp;
  for (int i = 0; i < 10; ++i) snp.add(ys[i], static_cast<unsigned>(codes[i]));
  std::vector<estimateRecord> out;
  assocTests.qtAssociation(false, snp.people, snp.snpList, out);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_NEAR(std::log(out[0].effect), 1.1025641025641, 1e-12);
  EXPECT_NEAR(out[0].p, 0.000338986516266366, 1e-15);
  const std::vector<double> phenotypes(std::begin(ys), std::end(ys));
  const std::vector<int32_t> codeList(std::begin(codes), std::end(codes));
  EXPECT_NEAR(assocTests.qtTrendTest(phenotypes, codeList), 0.000338986516266366, 1e-15);
}

struct qtCase {
  const char* name;
  std::vector<std::pair<double, unsigned>> people;  // phenotype, genotype code
};

TEST_F(AllelicAndQt, RegressionsWithoutAResultAreMissing) {
  const qtCase cases[] = {
      {"all heterozygous", {{1.0, 2}, {2.5, 2}, {0.3, 2}, {4.0, 1}, {1.1, 2}}},
      {"no typed individual", {{1.0, 1}, {2.0, 1}, {3.0, 1}}},
      {"two typed individuals", {{1.0, 0}, {2.0, 3}, {3.0, 1}}},
      {"no individuals", {}},
  };
  for (const qtCase& c : cases) {
    SCOPED_TRACE(c.name);
    synthetic::snpColumn snp;
    std::vector<double> phenotypes;
    std::vector<int32_t> codes;
    for (const auto& [y, code] : c.people) {
      snp.add(y, code);
      phenotypes.push_back(y);
      codes.push_back(static_cast<int32_t>(code));
    }
    std::vector<estimateRecord> out;
    assocTests.qtAssociation(false, snp.people, snp.snpList, out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].effect, missingValue);
    EXPECT_EQ(out[0].p, missingValue);
    EXPECT_EQ(assocTests.qtTrendTest(phenotypes, codes), -9);
  }
}

TEST_F(AllelicAndQt, QtTableRowsShowNaWithoutAResult) {
  synthetic::snpColumn snp;
  snp.snp.name = "rs7";
  snp.snp.chromosome = 2;
  snp.snp.position = 4500;
  for (double y : {1.0, 2.5, 0.3}) snp.add(y, heterozygous);
  testsupport::scratchDirectory directory("zuq-qassoc");
  const std::string base = directory.file("plinkout");
  plinkOutName = base;
  std::vector<estimateRecord> out;
  testing::internal::CaptureStdout();
  assocTests.qtAssociation(true, snp.people, snp.snpList, out);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Writing QT association results to [ " + base + ".qassoc ] \n");
  const std::vector<std::string> lines = testsupport::readLines(base + ".qassoc");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], " CHR        SNP         BP    NMISS       BETA         SE         R2        T"
                      "            P ");
  EXPECT_EQ(lines[1], "   2        rs7       4500        3         NA         NA         NA       NA"
                      "           NA ");
}

TEST_F(AllelicAndQt, SumSubMatrix) {
  const matrix m = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
  EXPECT_EQ(assocTests.sumSubMatrix(m, 1, 2), 5 + 6 + 8 + 9);
  EXPECT_EQ(assocTests.sumSubMatrix(m, 0, 0), 1);
  EXPECT_EQ(assocTests.sumSubMatrix(m, 2, 1), 0);
}

// Exact tests switched on: the allelic p is Fisher's exact p of the allele table (R's
// fisher.test, fisher_tests.expected); the odds ratio is unchanged; an empty table has no p.
TEST_F(AllelicAndQt, ExactAllelicPAgreesWithRFisherTest) {
  const oracle::table expected = oracle::readTable("fisher_tests.expected");
  for (const auto& [name, fields] : expected.rows) {
    SCOPED_TRACE(name);
    auto count = [&](const char* column) { return std::stoi(expected.at(name, column)); };
    const auto snp = synthetic::fromCounts(
        {count("caseA11"), count("caseA12"), count("caseA22"), 2},
        {count("ctrlA11"), count("ctrlA12"), count("ctrlA22"), 1});
    useFisherExact = 0;
    std::vector<estimateRecord> chiSquare, exact;
    assocTests.allelicTest(snp->people, snp->snpList, chiSquare);
    useFisherExact = 1;
    assocTests.allelicTest(snp->people, snp->snpList, exact);
    ASSERT_EQ(exact.size(), 1u);
    const std::string& theirs = expected.at(name, "ALLELIC");
    if (theirs == "NA") {
      EXPECT_EQ(exact[0].p, missingValue);
      EXPECT_EQ(exact[0].effect, missingValue);
    } else {
      // Both sides take path lengths within 3.45e-7 of each other as equal.
      EXPECT_NEAR(exact[0].p, std::stod(theirs), 1e-6 * std::stod(theirs));
      const double oddsRatio = (2.0 * count("caseA11") + count("caseA12") + 0.5) *
                               (2.0 * count("ctrlA22") + count("ctrlA12") + 0.5) /
                               ((2.0 * count("ctrlA11") + count("ctrlA12") + 0.5) *
                                (2.0 * count("caseA22") + count("caseA12") + 0.5));
      EXPECT_NEAR(exact[0].effect, oddsRatio, 1e-12 * oddsRatio);
    }
  }
}

}  // namespace
