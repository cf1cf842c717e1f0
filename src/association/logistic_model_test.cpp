#include "association/logistic_model.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "dataset/covariates.h"
#include "dataset/dataset.h"
#include "numerics/svd.h"
#include "test_support/regression_oracle.h"
#include "test_support/scratch_files.h"
#include "association/plink_runner.h"

namespace {

const std::string fixtureDir = std::string(ZUQ_SOURCE_DIR) + "/src/association/testdata/logistic/";

using testsupport::printedHalfUnit;
using testsupport::relativeError;
using OracleRow = testsupport::regressionOracleRow;

std::map<std::string, OracleRow> readOracle(const std::string& name) {
  return testsupport::readRegressionOracle(fixtureDir + name);
}

// The fixture read by the program's own readers, in a scratch directory (the covariate reader
// writes its listing into the working directory).
class LogisticFixture : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(scratch.made()); }
  void TearDown() override {
    freeDataSet();
    covariateHeaderLine.clear();
  }
  void load(bool withCovariates) {
    testing::internal::CaptureStdout();
    plink.readPedAndMap(fixtureDir + "logistic.ped", fixtureDir + "logistic.map");
    if (withCovariates) plink.readCovariateFile(fixtureDir + "logistic.cov");
    testing::internal::GetCapturedStdout();
  }
  std::vector<estimateRecord> fitAll(std::string* output = nullptr) {
    std::vector<estimateRecord> out;
    testing::internal::CaptureStdout();
    EXPECT_EQ(logisticAllSnps(individuals, snps, out), nSnps);
    const std::string text = testing::internal::GetCapturedStdout();
    if (output) *output = text;
    return out;
  }

  testsupport::scratchWorkingDirectory scratch{"logistic_model"};
};

TEST_F(LogisticFixture, MatchesRGlmAndPlink) {
  struct Scenario {
    const char* name;
    bool covariates;
    const char* rFile;
    const char* plinkFile;
  };
  const Scenario scenarios[] = {
      {"without covariates", false, "r_nocov.txt", "plink_nocov.txt"},
      {"with covariates", true, "r_cov.txt", "plink_cov.txt"},
  };
  for (const Scenario& s : scenarios) {
    SCOPED_TRACE(s.name);
    load(s.covariates);
    const auto r = readOracle(s.rFile);
    const auto plinkRows = readOracle(s.plinkFile);
    ASSERT_EQ(static_cast<int>(r.size()), nSnps);
    ASSERT_EQ(static_cast<int>(plinkRows.size()), nSnps);

    std::string output;
    const std::vector<estimateRecord> out = fitAll(&output);
    EXPECT_EQ(output, "");
    ASSERT_EQ(static_cast<int>(out.size()), nSnps);
    double worstOrR = 0, worstPR = 0, worstOrPlink = 0, worstPPlink = 0;
    for (int j = 0; j < nSnps; ++j) {
      const estimateRecord& e = out[j];
      SCOPED_TRACE(e.snp->name);
      EXPECT_EQ(e.snp, snps[j]);
      EXPECT_EQ(e.allele, snps[j]->allele1);

      const OracleRow& expected = r.at(e.snp->name);
      EXPECT_EQ(e.allele, expected.allele);
      logisticModel model;
      testing::internal::CaptureStdout();
      model.setupModel(individuals, e.snp);
      testing::internal::GetCapturedStdout();
      EXPECT_EQ(model.n, expected.rows);
      EXPECT_EQ(model.p, s.covariates ? 4 : 2);
      worstOrR = std::max(worstOrR, relativeError(e.effect, expected.oddsRatio));
      worstPR = std::max(worstPR, relativeError(e.p, expected.p));
      EXPECT_LE(relativeError(e.effect, expected.oddsRatio), 1e-6);
      // The covariance is taken at the weights before the last step (under 1e-6 in all), which
      // moves the variance, and so p, by a few parts in 1e7 more than the estimate itself.
      EXPECT_LE(relativeError(e.p, expected.p), 1e-5);

      // plink reports the OR of its A1, the minor allele, which need not be allele1.
      const OracleRow& printed = plinkRows.at(e.snp->name);
      EXPECT_EQ(printed.rows, expected.rows);
      ASSERT_TRUE(printed.allele == e.snp->allele1 || printed.allele == e.snp->allele2);
      const double oddsRatio = printed.allele == e.snp->allele1 ? e.effect : 1 / e.effect;
      const double orSlack =
          std::fabs(oddsRatio - printed.oddsRatio) / printedHalfUnit(printed.oddsRatio);
      const double pSlack = std::fabs(e.p - printed.p) / printedHalfUnit(printed.p);
      worstOrPlink = std::max(worstOrPlink, orSlack);
      worstPPlink = std::max(worstPPlink, pSlack);
      EXPECT_LE(orSlack, 1.0) << oddsRatio << " printed " << printed.oddsRatio;
      EXPECT_LE(pSlack, 1.0) << e.p << " printed " << printed.p;
    }
    std::printf("[ %s ] largest relative error vs R: OR %.3g, p %.3g; vs plink's printed digits, "
                "in half units of the 4th digit: OR %.3g, p %.3g\n",
                s.name, worstOrR, worstPR, worstOrPlink, worstPPlink);
    freeDataSet();
  }
}

// The covariance of the estimates is (X'VX)^-1 at the weights of the start of the last
// iteration, built as the product of the weighted transpose with X and inverted.
TEST_F(LogisticFixture, SigmaIsTheInverseInformationAtTheLastWeights) {
  load(true);
  for (snpRecord* snp : snps) {
    SCOPED_TRACE(snp->name);
    logisticModel model;
    model.setupModel(individuals, snp);
    model.fit();
    ASSERT_TRUE(model.converged);
    const matrix X = model.designMatrix();
    matrix weightedTranspose;
    resizeMatrix(weightedTranspose, model.p, model.n);
    for (int i = 0; i < model.n; ++i)
      for (int j = 0; j < model.p; ++j) weightedTranspose[j][i] = X[i][j] * model.V[i];
    matrix information;
    multMatrix(weightedTranspose, X, information);
    const matrix expected = inverseBySvd(information);
    EXPECT_EQ(model.Sigma, expected);
    // The weights are those before the last step: close to, but not, the final ones.
    double moved = 0;
    for (int i = 0; i < model.n; ++i) {
      double eta = 0;
      for (int j = 0; j < model.p; ++j) eta += model.beta[j] * X[i][j];
      moved = std::max(moved, std::fabs(1 / (std::exp(-eta) + 1) - model.pi[i]));
    }
    EXPECT_GT(moved, 0.0);
    EXPECT_LT(moved, 1e-5);
  }
}

TEST_F(LogisticFixture, ThreadsAtOnceGiveTheSerialResults) {
  load(true);
  const std::vector<estimateRecord> serial = fitAll();
  const int threads = 8;
  std::vector<std::vector<estimateRecord>> parallel(threads * 4);
#pragma omp parallel for num_threads(threads) schedule(dynamic)
  for (int t = 0; t < static_cast<int>(parallel.size()); ++t)
    logisticAllSnps(individuals, snps, parallel[t]);
  for (const auto& run : parallel) {
    ASSERT_EQ(run.size(), serial.size());
    for (size_t j = 0; j < run.size(); ++j) {
      EXPECT_EQ(run[j].snp, serial[j].snp);
      EXPECT_EQ(run[j].effect, serial[j].effect);
      EXPECT_EQ(run[j].p, serial[j].p);
    }
  }
}

// Small data sets built in memory: one or two SNPs, individuals given by their codes.
struct Person {
  unsigned code;  // genotype code of SNP column 0
  double phenotype;
  std::vector<double> covariates;
  unsigned code2 = 3;  // genotype code of SNP column 1
};

class SmallData {
 public:
  explicit SmallData(const std::vector<Person>& people) {
    for (int j = 0; j < 2; ++j) {
      snp[j].index = j;
      snp[j].name = j == 0 ? "s" : "t";
      snp[j].allele1 = 'A';
      snp[j].allele2 = 'G';
    }
    for (const Person& p : people) add(p);
  }
  void add(const Person& p) {
    auto record = std::make_unique<individualRecord>();
    record->phenotype = p.phenotype;
    record->covariates = p.covariates;
    record->genotypes.assign(genotypeWordCount(2), 0);
    setGenotype(record->genotypes, 0, p.code);
    setGenotype(record->genotypes, 1, p.code2);
    list.push_back(record.get());
    owned.push_back(std::move(record));
  }
  std::vector<individualRecord*> list;
  snpRecord snp[2];

 private:
  std::vector<std::unique_ptr<individualRecord>> owned;
};

// A mixed sample that neither genotype nor covariate separates.
std::vector<Person> mixedPeople(int count, int covariates) {
  const unsigned codes[] = {0, 2, 3, 2, 3, 3, 0};
  std::vector<Person> people;
  for (int i = 0; i < count; ++i) {
    Person p{codes[i % 7], (i * 7) % 5 < 2 ? 2.0 : 1.0, {}};
    for (int c = 0; c < covariates; ++c) p.covariates.push_back(((i * (5 + 6 * c) + c) % 17) / 3.0);
    p.code2 = codes[(i + 3) % 7];
    people.push_back(p);
  }
  return people;
}

std::vector<Person> withCodes(std::vector<Person> people, unsigned code) {
  for (Person& p : people) p.code = code;
  return people;
}

// The first SNP through logisticAllSnps (the route the program takes) and through the
// per-individual reference fit into model; both outputs, each on its own.
estimateRecord fitFirstSnp(SmallData& data, std::string& output, logisticModel& model,
                           std::string& referenceOutput, estimateRecord& reference) {
  std::vector<estimateRecord> out;
  testing::internal::CaptureStdout();
  logisticAllSnps(data.list, {&data.snp[0]}, out);
  output = testing::internal::GetCapturedStdout();
  testing::internal::CaptureStdout();
  reference = logisticPerIndividual(data.list, &data.snp[0], model);
  referenceOutput = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].snp, &data.snp[0]);
  EXPECT_EQ(out[0].allele, 'A');
  return out[0];
}

const std::string vifWarning =
    "Warning: VIF-based check for multicollinearity failed \\(snp s\\)\\.\n";
const std::string collinearWarning =
    "Warning: Multi-Collinearity in parameters while performing regression for snp s\n";
const std::string noConvergence =
    "Warning: Logistic regression didn't converge after 20 iterations for snp: s\\. \n";
const std::string orSetToOne =
    "Warning: Could not get odds ratio for SNP s\\. Setting OR to 1\\.\n";
const std::string noEstimate =
    "Var = [^ ]+ for snp s\nWarning: Could not get odds ratio for SNP s\n";
const std::string doseConstant =
    "Warning: Could not get odds ratio for SNP s: its allele dose does not vary\n";

// The first covariate shifted far below zero: its coefficient moves with the intercept's.
std::vector<Person> shifted(std::vector<Person> people) {
  for (Person& p : people) p.covariates[0] -= 1000;
  return people;
}

TEST(LogisticEdgeCases, Table) {
  struct EdgeCase {
    const char* name;
    std::vector<Person> people;
    int rows;
    bool vifOk;
    bool converged;
    double effect, p;  // NaN: a real estimate is expected
    std::string output;  // regular expression for everything printed (the model's own fit too)
  };
  const double estimate = std::nan("");
  std::vector<Person> duplicated = mixedPeople(40, 1);
  for (Person& p : duplicated) p.covariates.push_back(p.covariates[0]);
  std::vector<Person> mirrored = mixedPeople(40, 1);
  for (Person& p : mirrored) p.covariates.push_back(p.code == 0 ? 0 : p.code == 2 ? 1 : 2);
  std::vector<Person> separated = mixedPeople(40, 0);
  for (Person& p : separated) p.code = p.phenotype == 2.0 ? 0 : 3;
  std::vector<Person> infinite = mixedPeople(40, 1);
  infinite[5].covariates[0] = HUGE_VAL;
  std::vector<Person> shortOfCovariates = mixedPeople(40, 2);
  shortOfCovariates[7].covariates.pop_back();
  shortOfCovariates[9].covariates.clear();

  const EdgeCase cases[] = {
      {"an ordinary sample", mixedPeople(40, 1), 40, true, true, estimate, estimate, ""},
      // A dose without variation has no effect to estimate. The fit is not run: its information
      // matrix is singular, and whether Newton converges on it is left to rounding.
      {"one dose for everybody, with a covariate", withCodes(mixedPeople(40, 1), 0), 40, false,
       false, missingValue, missingValue, vifWarning + doseConstant},
      {"a covariate repeated", duplicated, 40, false, true, missingValue, missingValue,
       vifWarning + collinearWarning + noEstimate},
      {"everybody homozygous for allele 1, no covariate", withCodes(mixedPeople(40, 0), 0), 40,
       true, false, missingValue, missingValue, doseConstant},
      {"everybody heterozygous, no covariate", withCodes(mixedPeople(40, 0), 2), 40, true, false,
       missingValue, missingValue, doseConstant},
      {"everybody homozygous for allele 2, no covariate", withCodes(mixedPeople(40, 0), 3), 40,
       true, false, missingValue, missingValue, doseConstant},
      {"everybody homozygous for allele 2, with covariates", withCodes(mixedPeople(40, 2), 3), 40,
       false, false, missingValue, missingValue, vifWarning + doseConstant},
      {"a covariate far below zero", shifted(mixedPeople(40, 2)), 40, true, true,
       missingValue, missingValue,
       "Error: Collinearity between 2 and 0\n" + collinearWarning + noEstimate},
      // A covariate of 2 - ADD: r = -1 passes the signed limit, and the inverse of the singular
      // correlation matrix drops the null direction, so the VIFs stay small. The fitted
      // covariance is then unusable and the estimate missing.
      {"a covariate mirroring the dose", mirrored, 40, true, true, missingValue, missingValue,
       "(Error: Collinearity between [0-9]+ and [0-9]+\n)*" + collinearWarning + noEstimate},
      {"complete separation", separated, 40, true, false, 1.0, 1.0,
       noConvergence + "(Error: Collinearity between [0-9]+ and [0-9]+\n)*(" + collinearWarning +
           ")?" + orSetToOne},
      // No dose at all, or one individual's: no estimate either.
      {"nobody", {}, 0, false, false, missingValue, missingValue, vifWarning + doseConstant},
      {"every genotype missing", withCodes(mixedPeople(10, 1), 1), 0, false, false, missingValue,
       missingValue, vifWarning + doseConstant},
      {"every genotype missing, no covariate", withCodes(mixedPeople(10, 0), 1), 0, false, false,
       missingValue, missingValue, vifWarning + doseConstant},
      {"one individual", mixedPeople(1, 0), 1, false, false, missingValue, missingValue,
       vifWarning + doseConstant},
      {"a covariate of infinity", infinite, 40, false, false, 1.0, 1.0,
       vifWarning + noConvergence + collinearWarning + orSetToOne},
      {"individuals short of covariates", shortOfCovariates, 38, true, true, estimate, estimate,
       ""},
  };
  for (const EdgeCase& c : cases) {
    SCOPED_TRACE(c.name);
    SmallData data(c.people);
    std::string output, referenceOutput;
    logisticModel model;
    estimateRecord reference;
    const estimateRecord e = fitFirstSnp(data, output, model, referenceOutput, reference);
    EXPECT_EQ(model.n, c.rows);
    EXPECT_EQ(model.vifOk, c.vifOk);
    EXPECT_EQ(model.converged, c.converged);
    EXPECT_TRUE(std::regex_match(output, std::regex(c.output))) << output;
    EXPECT_TRUE(std::regex_match(referenceOutput, std::regex(c.output))) << referenceOutput;
    if (c.effect == missingValue || c.effect == 1.0) {
      EXPECT_EQ(reference.effect, c.effect);
      EXPECT_EQ(reference.p, c.p);
    }
    if (std::isnan(c.effect)) {
      EXPECT_TRUE(model.converged);
      EXPECT_GT(e.effect, 0.0);
      EXPECT_NE(e.effect, missingValue);
      EXPECT_GT(e.p, 0.0);
      EXPECT_LT(e.p, 1.0);
    } else {
      EXPECT_EQ(e.effect, c.effect);
      EXPECT_EQ(e.p, c.p);
    }
  }
}

// Dropping an individual from one SNP's model is exactly fitting without it.
TEST(LogisticEdgeCases, IncompleteIndividualsLeaveTheModelOfTheirSnp) {
  const std::vector<Person> base = mixedPeople(30, 2);
  SmallData reference(base);
  std::vector<estimateRecord> expected;
  testing::internal::CaptureStdout();
  logisticAllSnps(reference.list, {&reference.snp[0], &reference.snp[1]}, expected);

  struct Extra {
    const char* name;
    Person person;
    int rowsOfS, rowsOfT;
  };
  const Extra extras[] = {
      {"missing covariate", {0, 2.0, {1.0, missingValue}, 0}, 30, 30},
      {"missing first covariate", {2, 1.0, {missingValue, 1.0}, 2}, 30, 30},
      {"missing genotype of s", {1, 2.0, {1.0, 2.0}, 0}, 30, 31},
  };
  for (const Extra& x : extras) {
    SCOPED_TRACE(x.name);
    SmallData data(base);
    data.add(x.person);
    std::vector<estimateRecord> out;
    logisticAllSnps(data.list, {&data.snp[0], &data.snp[1]}, out);
    logisticModel s, t;
    s.setupModel(data.list, &data.snp[0]);
    t.setupModel(data.list, &data.snp[1]);
    EXPECT_EQ(s.n, x.rowsOfS);
    EXPECT_EQ(t.n, x.rowsOfT);
    ASSERT_EQ(out.size(), 2u);
    if (x.rowsOfS == 30) {
      EXPECT_EQ(out[0].effect, expected[0].effect);
      EXPECT_EQ(out[0].p, expected[0].p);
    }
    if (x.rowsOfT == 30) {
      EXPECT_EQ(out[1].effect, expected[1].effect);
      EXPECT_EQ(out[1].p, expected[1].p);
    } else {
      EXPECT_NE(out[1].effect, expected[1].effect);
    }
  }
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

// A model set up again for another SNP holds what a fresh model would.
TEST(LogisticEdgeCases, ModelSetUpAgainEqualsAFreshOne) {
  std::vector<Person> people = mixedPeople(25, 1);
  people[3].code = 1;
  people[11].code2 = 1;
  SmallData data(people);
  logisticModel reused;
  reused.setupModel(data.list, &data.snp[0]);
  reused.fit();
  reused.setupModel(data.list, &data.snp[1]);
  reused.fit();
  logisticModel fresh;
  fresh.setupModel(data.list, &data.snp[1]);
  fresh.fit();
  EXPECT_EQ(reused.n, fresh.n);
  EXPECT_EQ(reused.designMatrix(), fresh.designMatrix());
  EXPECT_EQ(reused.y, fresh.y);
  EXPECT_EQ(reused.beta, fresh.beta);
  EXPECT_EQ(reused.Sigma, fresh.Sigma);
  EXPECT_EQ(reused.pi, fresh.pi);
  EXPECT_EQ(reused.V, fresh.V);
  EXPECT_EQ(reused.labels, (std::vector<std::string>{"INT", "ADD"}));
}

// The design row is [1, dose of allele1, covariates]; y is 0 only for phenotype exactly 1.
TEST(LogisticEdgeCases, DesignRowsAndResponses) {
  SmallData data({{0, 1.0, {5.5}}, {1, 2.0, {1.0}}, {2, 1.5, {-2.0}}, {3, 2.0, {0.25}},
                  {2, 0.0, {7.0}}});
  logisticModel model;
  testing::internal::CaptureStdout();
  model.setupModel(data.list, &data.snp[0]);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(model.p, 3);
  EXPECT_EQ(model.designMatrix(), (matrix{{1, 2, 5.5}, {1, 1, -2.0}, {1, 0, 0.25}, {1, 1, 7.0}}));
  EXPECT_EQ(model.y, (std::vector<int32_t>{0, 1, 1, 1}));
  EXPECT_EQ(model.pi, std::vector<double>(4, 0.0));
  EXPECT_EQ(model.V, std::vector<double>(4, 0.0));
  EXPECT_EQ(model.snp, &data.snp[0]);
}

}  // namespace

namespace {

// One row of cells.txt: cases and controls by allele-1 dose, and individuals without genotype.
struct CellCase {
  std::string name;
  int cases[3] = {0, 0, 0};     // by dose 0, 1, 2
  int controls[3] = {0, 0, 0};
  int missing = 0;
};

std::vector<CellCase> readCellCases() {
  std::ifstream in(fixtureDir + "cells.txt");
  std::string header;
  std::getline(in, header);
  std::vector<CellCase> cases;
  CellCase c;
  while (in >> c.name >> c.cases[2] >> c.controls[2] >> c.cases[1] >> c.controls[1] >>
         c.cases[0] >> c.controls[0] >> c.missing)
    cases.push_back(c);
  return cases;
}

// name -> OR, p of R's glm, for the cells where glm found a finite estimate.
std::map<std::string, std::pair<double, double>> readGlmCells() {
  std::ifstream in(fixtureDir + "r_cells.txt");
  std::string header, name;
  std::getline(in, header);
  std::map<std::string, std::pair<double, double>> rows;
  double oddsRatio, p;
  int ok;
  while (in >> name >> oddsRatio >> p >> ok)
    if (ok == 1) rows[name] = {oddsRatio, p};
  return rows;
}

// The individuals of a cell case, their doses and phenotypes interleaved (not sorted by group),
// so that the per-individual sums run in an order unlike the groups'.
std::vector<Person> peopleOf(const CellCase& c) {
  const unsigned codeOfDose[3] = {3, 2, 0};
  std::vector<Person> people;
  int left[6] = {c.cases[0], c.controls[0], c.cases[1], c.controls[1], c.cases[2], c.controls[2]};
  int missing = c.missing;
  for (bool more = true; more;) {
    more = false;
    for (int slot = 0; slot < 6; ++slot) {
      if (left[slot] == 0) continue;
      --left[slot];
      more = true;
      people.push_back({codeOfDose[slot / 2], slot % 2 == 0 ? 2.0 : 1.0, {}});
    }
    if (missing > 0) {
      --missing;
      more = true;
      people.push_back({missingGenotype, 2.0, {}});
    }
  }
  return people;
}

bool agree(double a, double b, double tolerance) {
  if (a == missingValue || b == missingValue) return a == b;
  return std::fabs(a - b) <= tolerance * std::fabs(b);
}

// The fit from the cells is the per-individual fit summed by group: the same record (to 1e-10),
// the same warnings, on cases of every shape; where R's glm has a finite estimate, it agrees
// with that too (to glm's own convergence).
TEST(LogisticCells, AgreeWithThePerIndividualFitAndWithGlm) {
  const std::vector<CellCase> cases = readCellCases();
  const auto glm = readGlmCells();
  ASSERT_GE(cases.size(), 20u);
  ASSERT_GE(glm.size(), 10u);
  size_t glmCompared = 0;
  double worstEffect = 0, worstP = 0;
  for (const CellCase& c : cases) {
    SCOPED_TRACE(c.name);
    SmallData data(peopleOf(c));
    const doseCells cells = countDoseCells(data.list, data.snp[0]);
    for (int dose = 0; dose < 3; ++dose) {
      EXPECT_EQ(cells.count[dose], c.cases[dose] + c.controls[dose]);
      EXPECT_EQ(cells.cases[dose], c.cases[dose]);
    }
    logisticModel model;
    testing::internal::CaptureStdout();
    const estimateRecord reference = logisticPerIndividual(data.list, &data.snp[0], model);
    const std::string referenceOutput = testing::internal::GetCapturedStdout();
    testing::internal::CaptureStdout();
    const estimateRecord fromCells = logisticFromCells(cells, &data.snp[0]);
    const std::string cellsOutput = testing::internal::GetCapturedStdout();

    EXPECT_EQ(cellsOutput, referenceOutput);
    EXPECT_EQ(fromCells.snp, &data.snp[0]);
    EXPECT_EQ(fromCells.allele, 'A');
    EXPECT_TRUE(agree(fromCells.effect, reference.effect, 1e-10))
        << fromCells.effect << " vs " << reference.effect;
    if (reference.effect != missingValue) {
      worstEffect = std::max(worstEffect, relativeError(fromCells.effect, reference.effect));
      worstP = std::max(worstP, relativeError(fromCells.p, reference.p));
    }
    EXPECT_TRUE(agree(fromCells.p, reference.p, 1e-10)) << fromCells.p << " vs " << reference.p;

    // A dose with one value (or none) has no estimate; a fit without a finite estimate ends
    // without convergence, OR 1 and p 1.
    const int groups = (cells.count[0] > 0) + (cells.count[1] > 0) + (cells.count[2] > 0);
    if (groups < 2) {
      EXPECT_EQ(fromCells.effect, missingValue);
      EXPECT_EQ(fromCells.p, missingValue);
    }
    const auto oracle = glm.find(c.name);
    if (oracle != glm.end()) {
      ++glmCompared;
      EXPECT_TRUE(model.converged);
      EXPECT_LE(relativeError(fromCells.effect, oracle->second.first), 1e-7);
      // As for the per-individual fit: the covariance at the weights before the last step.
      EXPECT_LE(relativeError(fromCells.p, oracle->second.second), 1e-5);
    } else if (groups >= 2) {
      EXPECT_FALSE(model.converged);
      EXPECT_EQ(fromCells.effect, 1.0);
      EXPECT_EQ(fromCells.p, 1.0);
    }
  }
  EXPECT_EQ(glmCompared, glm.size());
  std::printf("[ cells ] largest relative difference from the per-individual fit: OR %.3g, p %.3g\n",
              worstEffect, worstP);
}

// The route of logisticAllSnps without covariates is the cell route, which counts exactly the
// individuals the per-individual fit uses: phenotypes other than 1 are cases there, and an
// individual with a missing covariate value (when the first has none) is left out by both.
TEST(LogisticCells, CountTheIndividualsOfThePerIndividualFit) {
  std::vector<Person> people = mixedPeople(60, 0);
  people[4].phenotype = 0.0;
  people[9].phenotype = 1.5;
  people[13].code = missingGenotype;
  people[20].covariates = {missingValue};
  people[21].covariates = {3.0};
  SmallData data(people);
  logisticModel model;
  testing::internal::CaptureStdout();
  const estimateRecord reference = logisticPerIndividual(data.list, &data.snp[0], model);
  std::vector<estimateRecord> out;
  logisticAllSnps(data.list, {&data.snp[0]}, out);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  const doseCells cells = countDoseCells(data.list, data.snp[0]);
  EXPECT_EQ(cells.count[0] + cells.count[1] + cells.count[2], model.n);
  EXPECT_EQ(model.n, 58);
  int cases = 0;
  for (int y : model.y) cases += y;
  EXPECT_EQ(cells.cases[0] + cells.cases[1] + cells.cases[2], cases);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_TRUE(agree(out[0].effect, reference.effect, 1e-10));
  EXPECT_TRUE(agree(out[0].p, reference.p, 1e-10));
}

}  // namespace
