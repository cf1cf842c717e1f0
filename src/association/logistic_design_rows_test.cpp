// The logistic fit reads its design through the covariate table (the data set's, or one built
// for a list the data set does not hold) and must give, bit for bit, what the fit gave when every
// fit copied its rows [1, dose, covariates...] into a matrix of its own: the same rows, the same
// sums in the same order, the same warnings and trace. The former computation is kept below as
// the reference.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "association/logistic_model.h"
#include "dataset/covariate_design.h"
#include "dataset/dataset.h"
#include "numerics/machine_constants.h"
#include "numerics/svd.h"
#include "run/settings.h"
#include "test_support/dataset_builder.h"
#include "test_support/settings_snapshot.h"

namespace {

using namespace logisticLimits;

// The fit as it was: a design matrix filled per SNP per list, and the loops over its rows.
struct perRowFit {
  int32_t n = 0, p = 0;
  matrix X;
  std::vector<int32_t> y;
  std::vector<double> beta, pi, V;
  matrix Sigma;
  bool vifOk = false, converged = false;

  void setup(const std::vector<individualRecord*>& people, const snpRecord& snp) {
    const double doseOfCode[4] = {2.0, 0.0, 1.0, 0.0};
    const size_t covariateCount = people.empty() ? 0 : people[0]->covariates.size();
    p = static_cast<int32_t>(2 + covariateCount);
    for (const individualRecord* person : people) {
      const unsigned code = genotypeAt(person->genotypes, snp.index);
      if (code == missingGenotype) continue;
      if (!hasUsableCovariates(*person, covariateCount)) continue;
      std::vector<double> row = {1.0, doseOfCode[code]};
      for (size_t c = 0; c < covariateCount; ++c) row.push_back(person->covariates[c]);
      X.push_back(row);
      y.push_back(person->phenotype == 1.0 ? 0 : 1);
    }
    n = static_cast<int32_t>(X.size());
    pi.assign(n, 0.0);
    V.assign(n, 0.0);
    if (traceMatrices) {
      std::cout << "X design matrix\n";
      printMatrix(X);
    }
    vifOk = checkVIF();
    if (!vifOk) logisticWarnVif(snp);
  }

  bool checkVIF() const {
    if (n < 2) return false;
    const int q = p - 1;
    if (q <= 1) return true;
    std::vector<double> mean(q, 0.0);
    for (const auto& row : X)
      for (int a = 0; a < q; ++a) mean[a] += row[a + 1];
    for (double& m : mean) m /= n;
    matrix S;
    zeroMatrix(S, q, q);
    for (const auto& row : X)
      for (int a = 0; a < q; ++a) {
        const double da = row[a + 1] - mean[a];
        for (int b = a; b < q; ++b) S[a][b] += da * (row[b + 1] - mean[b]);
      }
    for (int a = 0; a < q; ++a)
      for (int b = a; b < q; ++b) {
        S[a][b] /= (n - 1);
        S[b][a] = S[a][b];
      }
    for (int a = 0; a < q; ++a)
      for (int b = a + 1; b < q; ++b) {
        const double r = S[a][b] / std::sqrt(S[a][a] * S[b][b]);
        S[a][b] = r;
        S[b][a] = r;
        if (r > correlationLimit) {
          if (traceMatrices) std::cout << "individual element > 0.999, skipping VIF\n";
          return false;
        }
      }
    for (int m = 0; m < q; ++m)
      if (S[m][m] == 0 || !isRealNumber(S[m][m])) return false;
    for (int m = 0; m < q; ++m) S[m][m] = 1.0;
    matrix vif;
    svdScratch scratch;
    inverseBySvd(S, vif, scratch);
    if (traceMatrices) {
      std::cout << "VIF on diagonals\n";
      printMatrix(vif);
    }
    for (int m = 0; m < q; ++m)
      if (vif[m][m] > vifLimit) return false;
    return true;
  }

  void fit(const snpRecord& snp) {
    converged = false;
    beta.assign(p, 0.0);
    zeroMatrix(Sigma, p, p);
    if (p == 0 || n == 0) return;
    if (traceMatrices) {
      std::ostringstream text;
      for (size_t i = 0; i < X.size(); ++i) {
        for (double value : X[i]) text << value << '\t';
        text << y[i] << '\n';
      }
      std::cout << text.str();
    }
    matrix information, inverse;
    zeroMatrix(information, p, p);
    svdScratch scratch;
    std::vector<double> score(p, 0.0);
    bool finite = true;
    for (int iteration = 0; iteration < maxIterations; ++iteration) {
      for (int i = 0; i < n; ++i) {
        double eta = 0;
        for (int j = 0; j < p; ++j) eta += beta[j] * X[i][j];
        pi[i] = 1 / (std::exp(-eta) + 1);
        V[i] = (1 - pi[i]) * pi[i];
      }
      for (auto& row : information) std::fill(row.begin(), row.end(), 0.0);
      for (int i = 0; i < n; ++i)
        for (int j = 0; j < p; ++j) {
          const double weighted = X[i][j] * V[i];
          for (int k = 0; k < p; ++k) information[j][k] += weighted * X[i][k];
        }
      for (const auto& row : information)
        for (double value : row) finite = finite && isRealNumber(value);
      if (!finite) break;
      inverseBySvd(information, inverse, scratch);
      std::fill(score.begin(), score.end(), 0.0);
      for (int i = 0; i < n; ++i)
        for (int j = 0; j < p; ++j) score[j] += X[i][j] * (y[i] - pi[i]);
      double stepSize = 0;
      for (int j = 0; j < p; ++j) {
        double step = 0;
        for (int k = 0; k < p; ++k) step += inverse[j][k] * score[k];
        beta[j] += step;
        stepSize += std::fabs(step);
      }
      if (stepSize < convergenceLimit) {
        converged = true;
        break;
      }
    }
    if (!converged) logisticWarnNoConvergence(snp);
    if (finite) {
      Sigma = inverse;
    } else {
      for (auto& row : Sigma) std::fill(row.begin(), row.end(), std::nan(""));
    }
    if (traceMatrices) {
      std::cout << "beta\n";
      printRealVector(beta);
      std::cout << "Sigma\n";
      printMatrix(Sigma);
    }
  }

  bool doseVaries() const {
    for (size_t i = 1; i < X.size(); ++i)
      if (X[i][1] != X[0][1]) return true;
    return false;
  }

  estimateRecord record(snpRecord* snp) {
    if (doseVaries()) {
      fit(*snp);
    } else {
      converged = false;
      beta.assign(p, 0.0);
      resizeMatrix(Sigma, p, p);
    }
    return logisticRecord({snp, n, p, vifOk, converged, doseVaries(),
                           beta.size() > 1 ? beta[1] : 0.0, &Sigma});
  }
};

// Equal as stored bits: NaN equals the same NaN, and 0 is not -0.
uint64_t bits(double value) { return std::bit_cast<uint64_t>(value); }

void expectSameBits(const std::vector<double>& a, const std::vector<double>& b, const char* what) {
  ASSERT_EQ(a.size(), b.size()) << what;
  for (size_t i = 0; i < a.size(); ++i) EXPECT_EQ(bits(a[i]), bits(b[i])) << what << "[" << i << "]";
}

void expectSameBits(const matrix& a, const matrix& b, const char* what) {
  ASSERT_EQ(a.size(), b.size()) << what;
  for (size_t i = 0; i < a.size(); ++i) expectSameBits(a[i], b[i], what);
}

// SNP columns: an ordinary one with missing genotypes, a monomorphic one, one that separates
// cases from controls, and a rare one.
enum column { ordinary, monomorphic, separating, rare, columns };

// The covariate values of a data set of `count` individuals.
using covariateMaker = std::vector<std::vector<double>> (*)(int count);

std::vector<std::vector<double>> threeWithMissing(int count) {
  std::vector<std::vector<double>> rows;
  for (int i = 0; i < count; ++i)
    rows.push_back({((i * 5) % 17) / 3.0, static_cast<double>(i % 2), ((i * 11 + 3) % 13) - 6.5});
  rows[4][0] = missingValue;
  rows[9][2] = missingValue;
  rows[23] = {missingValue, missingValue, missingValue};
  return rows;
}

std::vector<std::vector<double>> repeatedColumn(int count) {
  std::vector<std::vector<double>> rows = threeWithMissing(count);
  for (auto& row : rows) row[1] = row[0];
  return rows;
}

std::vector<std::vector<double>> infiniteValue(int count) {
  std::vector<std::vector<double>> rows = threeWithMissing(count);
  rows[12][1] = HUGE_VAL;
  return rows;
}

// More columns than the fit has loops unrolled for.
std::vector<std::vector<double>> sevenColumns(int count) {
  std::vector<std::vector<double>> rows = threeWithMissing(count);
  for (int i = 0; i < count; ++i)
    for (int c = 3; c < 7; ++c) rows[i].push_back(((i * (3 + 2 * c) + c) % 19) / 4.0 - 2);
  return rows;
}

std::vector<std::vector<double>> none(int count) {
  return std::vector<std::vector<double>>(count);
}

// The first individual with one covariate fewer: a fit takes the first one's count.
std::vector<std::vector<double>> raggedFirst(int count) {
  std::vector<std::vector<double>> rows = threeWithMissing(count);
  rows[0].pop_back();
  rows[7].pop_back();
  rows[8].clear();
  return rows;
}

void buildDataSet(int count, covariateMaker covariates) {
  freeDataSet();
  for (int j = 0; j < columns; ++j) {
    snpRecord* snp = testsupport::addSnp("s" + std::to_string(j), 1, 100 * (j + 1));
    snp->allele1 = 'A';
    snp->allele2 = 'G';
  }
  const unsigned codes[] = {homozygousAllele1, heterozygous, homozygousAllele2, heterozygous,
                            homozygousAllele2, missingGenotype, homozygousAllele2};
  const std::vector<std::vector<double>> values = covariates(count);
  for (int i = 0; i < count; ++i) {
    const double phenotype = (i * 7) % 5 < 2 ? 2.0 : 1.0;
    const unsigned separated = phenotype == 2.0 ? homozygousAllele1 : homozygousAllele2;
    const unsigned rareCode = i % 11 == 0 ? heterozygous : homozygousAllele2;
    individualRecord* person = testsupport::addIndividual(
        phenotype, {codes[i % 7], homozygousAllele1, separated, rareCode});
    person->covariates = values[static_cast<size_t>(i)];
  }
}

// Lists a fit is given: everyone, a resample (data-set order, with repeats), those it left out,
// a list in another order, and copies of the records that the data set does not hold.
struct listCase {
  const char* name;
  bool dataSetTable;  // whether the data set's table serves the list
};

std::vector<individualRecord*> listOf(const std::string& name,
                                      std::vector<std::unique_ptr<individualRecord>>& copies) {
  std::vector<individualRecord*> list;
  const int count = static_cast<int>(individuals.size());
  if (name == "everyone") return individuals;
  if (name == "resample" || name == "left out") {
    for (int i = 0; i < count; ++i) {
      const int drawn = (i * 37 + 11) % 7 < 3 ? 0 : (i * 13) % 3 + 1;
      if (name == "resample") list.insert(list.end(), drawn, individuals[i]);
      if (name == "left out" && drawn == 0) list.push_back(individuals[i]);
    }
  } else if (name == "reversed with repeats") {
    for (int i = count - 1; i >= 0; --i) list.insert(list.end(), i % 3 == 0 ? 2 : 1, individuals[i]);
  } else if (name == "outside the data set") {
    for (int i = 0; i < count; i += 2) {
      copies.push_back(std::make_unique<individualRecord>(*individuals[i]));
      list.push_back(copies.back().get());
      list.push_back(copies.back().get());
    }
  }
  return list;
}

struct fitResult {
  std::string output;
  estimateRecord record;
};

TEST(LogisticDesignRows, TheFitThroughTheTableIsTheFormerPerRowFitBitForBit) {
  testsupport::settingsSnapshot settings;
  struct dataCase {
    const char* name;
    covariateMaker covariates;
    bool tableServes;  // the list's covariate count is the data set's
  };
  const dataCase dataCases[] = {
      {"three covariates, some missing", threeWithMissing, true},
      {"a covariate repeated (VIF check fails)", repeatedColumn, true},
      {"a covariate of infinity", infiniteValue, true},
      {"no covariates", none, true},
      {"seven covariates", sevenColumns, true},
      {"ragged rows, the first short", raggedFirst, true},
  };
  const listCase listCases[] = {
      {"everyone", true},
      {"resample", true},
      {"left out", true},
      {"reversed with repeats", true},
      {"outside the data set", false},
  };
  for (const dataCase& d : dataCases) {
    SCOPED_TRACE(d.name);
    buildDataSet(60, d.covariates);
    ensureCovariateDesign();
    for (const listCase& l : listCases) {
      SCOPED_TRACE(l.name);
      std::vector<std::unique_ptr<individualRecord>> copies;
      const std::vector<individualRecord*> list = listOf(l.name, copies);
      for (int trace : {0, 1}) {
        traceMatrices = trace;
        for (snpRecord* snp : snps) {
          SCOPED_TRACE(snp->name + (trace ? ", traced" : ""));
          perRowFit reference;
          testing::internal::CaptureStdout();
          reference.setup(list, *snp);
          const estimateRecord expected = reference.record(snp);
          const std::string expectedOutput = testing::internal::GetCapturedStdout();

          logisticModel model;
          testing::internal::CaptureStdout();
          const estimateRecord got = logisticPerIndividual(list, snp, model);
          const std::string output = testing::internal::GetCapturedStdout();
          // A ragged first row leaves the list's count unlike the data set's: own table then.
          const bool sameCount = covariateCountOf(list) == covariateTable.covariates;
          EXPECT_EQ(model.usesDataSetTable(), l.dataSetTable && sameCount);

          EXPECT_EQ(output, expectedOutput);
          EXPECT_EQ(model.n, reference.n);
          EXPECT_EQ(model.p, reference.p);
          expectSameBits(model.designMatrix(), reference.X, "X");
          EXPECT_EQ(model.y, reference.y);
          EXPECT_EQ(model.vifOk, reference.vifOk);
          EXPECT_EQ(model.converged, reference.converged);
          expectSameBits(model.beta, reference.beta, "beta");
          expectSameBits(model.pi, reference.pi, "pi");
          expectSameBits(model.V, reference.V, "V");
          expectSameBits(model.Sigma, reference.Sigma, "Sigma");
          EXPECT_EQ(got.snp, expected.snp);
          EXPECT_EQ(got.allele, expected.allele);
          EXPECT_EQ(bits(got.effect), bits(expected.effect));
          EXPECT_EQ(bits(got.p), bits(expected.p));

          // The route of the program: every SNP of the list on one thread's model (without
          // covariates it fits from the dose cells instead, equal only to rounding).
          if (snp == snps.back() && trace == 0 && covariateCountOf(list) != 0) {
            std::vector<estimateRecord> all;
            testing::internal::CaptureStdout();
            logisticAllSnps(list, snps, all);
            testing::internal::GetCapturedStdout();
            ASSERT_EQ(all.size(), snps.size());
            EXPECT_EQ(bits(all.back().effect), bits(expected.effect));
            EXPECT_EQ(bits(all.back().p), bits(expected.p));
          }
        }
      }
    }
  }
  freeDataSet();
}

// The cases above must reach what they are named for, or the comparison proves little.
TEST(LogisticDesignRows, TheCasesReachTheirShapes) {
  testsupport::settingsSnapshot settings;
  buildDataSet(60, threeWithMissing);
  ensureCovariateDesign();
  logisticModel model;
  testing::internal::CaptureStdout();
  logisticPerIndividual(individuals, snps[ordinary], model);
  EXPECT_TRUE(model.converged);
  EXPECT_TRUE(model.vifOk);
  int typed = 0;
  for (const individualRecord* person : individuals)
    typed += genotypeAt(person->genotypes, ordinary) != missingGenotype;
  EXPECT_LT(typed, 60);
  EXPECT_LT(model.n, typed);  // missing covariates drop individuals too
  EXPECT_EQ(logisticPerIndividual(individuals, snps[monomorphic], model).effect, missingValue);
  EXPECT_FALSE(model.doseVaries());
  logisticPerIndividual(individuals, snps[separating], model);
  EXPECT_FALSE(model.converged);
  buildDataSet(60, repeatedColumn);
  ensureCovariateDesign();
  logisticPerIndividual(individuals, snps[ordinary], model);
  EXPECT_FALSE(model.vifOk);
  testing::internal::GetCapturedStdout();
  freeDataSet();
}

}  // namespace
