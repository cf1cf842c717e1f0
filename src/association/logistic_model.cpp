#include "association/logistic_model.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <limits>
#include <sstream>

#include "dataset/dataset.h"
#include "numerics/distributions.h"
#include "numerics/machine_constants.h"
#include "numerics/svd.h"
#include "run/settings.h"

namespace {

using namespace logisticLimits;

// Allele-1 dose by genotype code; the missing code 1 is never looked up.
constexpr double doseOfCode[4] = {2.0, 0.0, 1.0, 0.0};

// One message, one write: lines of different threads may interleave but are never torn.
void say(const std::string& text) {
  std::cout.write(text.data(), static_cast<std::streamsize>(text.size()));
}

void traceRows(const matrix& X, const std::vector<int32_t>& y) {
  std::ostringstream text;
  for (size_t i = 0; i < X.size(); ++i) {
    for (double value : X[i]) text << value << '\t';
    text << y[i] << '\n';
  }
  say(text.str());
}

// target[k] += weight * x[k] over the design row x: the intercept's 1, the dose, then the
// covariates read straight from the table row. Term by term as a loop over x would add them
// (a product with the intercept's 1 is the other factor exactly, so it is not formed). p is at
// least 2.
inline void addDesignRow(double* target, double weight, const double* fixed, double dose, int p) {
  target[0] += weight;
  target[1] += weight * dose;
  for (int k = 2; k < p; ++k) target[k] += weight * fixed[k];
}

bool allFinite(const matrix& m) {
  for (const auto& row : m)
    for (double value : row)
      if (!isRealNumber(value)) return false;
  return true;
}

}  // namespace

bool logisticCovarianceUsable(const logisticOutcome& fit) {
  if (!fit.vifOk || fit.p == 0 || fit.n == 0) return false;
  const matrix& S = *fit.Sigma;
  for (int j = 1; j < fit.p; ++j)
    if (S[j][j] < varianceFloor || !isRealNumber(S[j][j])) return false;
  bool usable = true;
  for (int j = fit.p - 1; j >= 1; --j) {
    for (int k = j - 1; k >= 0; --k) {
      const double c = S[j][k] / std::sqrt(S[j][j] * S[k][k]);
      if (c > coefficientCorrelationLimit) {
        say("Error: Collinearity between " + std::to_string(j) + " and " + std::to_string(k) +
            "\n");
        usable = false;
        break;
      }
    }
  }
  return usable;
}

estimateRecord logisticRecord(const logisticOutcome& fit) {
  snpRecord* snp = fit.snp;
  // Decided before anything that depends on the fit: the fit of a constant dose ends on rounding
  // alone (an exactly singular information matrix), and its outcome must not.
  if (!fit.doseVaries) {
    say("Warning: Could not get odds ratio for SNP " + snp->name +
        ": its allele dose does not vary\n");
    return {snp, snp->allele1, missingValue, missingValue};
  }
  const bool usable = logisticCovarianceUsable(fit);
  if (!usable)
    say("Warning: Multi-Collinearity in parameters while performing regression for snp " +
        snp->name + "\n");
  if (traceMatrices) {
    say("Covariance matrix of estimates\n");
    printMatrix(*fit.Sigma);
  }
  if (!fit.converged) {
    say("Warning: Could not get odds ratio for SNP " + snp->name + ". Setting OR to 1.\n");
    return {snp, snp->allele1, 1.0, 1.0};
  }
  const double var = (*fit.Sigma)[1][1];
  if (var >= varianceFloor && isRealNumber(var) && usable) {
    const double z = fit.beta1 / std::sqrt(var);
    const double p = chiSquareP(z * z, 1);
    return {snp, snp->allele1, std::exp(fit.beta1), p == -9 ? missingValue : p};
  }
  std::ostringstream text;
  text << "Var = " << var << " for snp " << snp->name << "\n";
  say(text.str());
  say("Warning: Could not get odds ratio for SNP " + snp->name + "\n");
  return {snp, snp->allele1, missingValue, missingValue};
}

void logisticWarnNoConvergence(const snpRecord& snp) {
  say("Warning: Logistic regression didn't converge after " + std::to_string(maxIterations) +
      " iterations for snp: " + snp.name + ". \n");
}

void logisticWarnVif(const snpRecord& snp) {
  say("Warning: VIF-based check for multicollinearity failed (snp " + snp.name + ").\n");
}

logisticOutcome logisticModel::outcome() const {
  return {snp, n, p, vifOk, converged, doseVaries(), beta.size() > 1 ? beta[1] : 0.0, &Sigma};
}

// A dose that takes one value over the rows (a SNP monomorphic among the individuals used, or all
// heterozygous), or no rows at all: the dose column is the intercept's times a constant, or
// absent, so there is no effect to estimate.
bool logisticModel::doseVaries() const {
  for (size_t i = 1; i < dose_.size(); ++i)
    if (dose_[i] != dose_[0]) return true;
  return false;
}

matrix logisticModel::designMatrix() const {
  matrix X(static_cast<size_t>(n), std::vector<double>(static_cast<size_t>(p)));
  for (int i = 0; i < n; ++i) {
    const double* fixed = fixedRow(i);
    for (int j = 0; j < p; ++j) X[i][j] = j == 1 ? dose_[i] : fixed[j];
  }
  return X;
}

void logisticModel::setupModel(const std::vector<individualRecord*>& people, snpRecord* snpToFit) {
  useIndividuals(people);
  setupSnp(snpToFit);
}

void logisticModel::useIndividuals(const std::vector<individualRecord*>& people) {
  people_ = &people;
  // The data set's table serves when it holds everyone listed with the list's covariate count
  // (the count of a list's first individual decides, as it always has); any other list gets a
  // table of its own, one row per entry.
  const size_t covariateCount = covariateCountOf(people);
  const covariateDesign& table = covariateTable;
  if (table.valid && table.covariates == covariateCount && table.rowsOfList(people, entryRows_)) {
    design_ = &table;
  } else {
    ownDesign_.build(people, covariateCount);
    entryRows_.resize(people.size());
    for (size_t k = 0; k < people.size(); ++k) entryRows_[k] = static_cast<int32_t>(k);
    design_ = &ownDesign_;
  }
  fixedRows_.reserve(people.size());
  dose_.reserve(people.size());
  y.reserve(people.size());
}

void logisticModel::setupSnp(snpRecord* snpToFit) {
  snp = snpToFit;
  labels.assign({"INT", "ADD"});
  p = static_cast<int32_t>(design_->width);
  fixedRows_.clear();
  dose_.clear();
  y.clear();
  const std::vector<individualRecord*>& people = *people_;
  for (size_t k = 0; k < people.size(); ++k) {
    const int32_t row = entryRows_[k];
    if (design_->usable[static_cast<size_t>(row)] == 0) continue;
    const individualRecord* person = people[k];
    const unsigned code = genotypeAt(person->genotypes, snp->index);
    if (code == missingGenotype) continue;
    fixedRows_.push_back(design_->row(row));
    dose_.push_back(doseOfCode[code]);
    y.push_back(person->phenotype == 1.0 ? 0 : 1);
  }
  n = static_cast<int32_t>(fixedRows_.size());
  pi.assign(n, 0.0);
  V.assign(n, 0.0);
  if (traceMatrices) {
    say("X design matrix\n");
    printMatrix(designMatrix());
  }

  vifOk = checkVIF();
  if (!vifOk) logisticWarnVif(*snp);
}

namespace {

// X'VX for a design of P columns, P known when compiled so that the loops over the columns
// unroll and the sums stay in a local array; the same terms in the same order as the loop of
// logisticModel::sumInformation.
template <int P>
void informationOfWidth(int n, const double* const* fixedRows, const double* dose,
                        const double* V, matrix& information) {
  double sums[P][P] = {};
  for (int i = 0; i < n; ++i) {
    const double* fixed = fixedRows[i];
    for (int j = 0; j < P; ++j) {
      const double weighted = j == 0 ? V[i] : (j == 1 ? dose[i] : fixed[j]) * V[i];
      sums[j][0] += weighted;
      sums[j][1] += weighted * dose[i];
      for (int k = 2; k < P; ++k) sums[j][k] += weighted * fixed[k];
    }
  }
  for (int j = 0; j < P; ++j)
    for (int k = 0; k < P; ++k) information[j][k] = sums[j][k];
}

}  // namespace

void logisticModel::sumInformation(matrix& information) {
  const double* const* rows = fixedRows_.data();
  switch (p) {
    case 2: return informationOfWidth<2>(n, rows, dose_.data(), V.data(), information);
    case 3: return informationOfWidth<3>(n, rows, dose_.data(), V.data(), information);
    case 4: return informationOfWidth<4>(n, rows, dose_.data(), V.data(), information);
    case 5: return informationOfWidth<5>(n, rows, dose_.data(), V.data(), information);
    case 6: return informationOfWidth<6>(n, rows, dose_.data(), V.data(), information);
    case 7: return informationOfWidth<7>(n, rows, dose_.data(), V.data(), information);
    case 8: return informationOfWidth<8>(n, rows, dose_.data(), V.data(), information);
    default: break;
  }
  for (auto& row : information) std::fill(row.begin(), row.end(), 0.0);
  for (int i = 0; i < n; ++i) {
    const double* fixed = rows[i];
    const double dose = dose_[i];
    addDesignRow(information[0].data(), V[i], fixed, dose, p);
    addDesignRow(information[1].data(), dose * V[i], fixed, dose, p);
    for (int j = 2; j < p; ++j)
      addDesignRow(information[j].data(), fixed[j] * V[i], fixed, dose, p);
  }
}

namespace {

// predictorProducts for Q predictors, Q known when compiled so that the loops over them unroll
// and the sums stay in local arrays; the same terms in the same order as the general loops.
template <int Q>
void predictorProductsOfWidth(int n, const double* const* fixedRows, const double* dose,
                              std::vector<double>& mean, matrix& S) {
  double m[Q] = {};
  for (int i = 0; i < n; ++i) {
    m[0] += dose[i];
    for (int a = 1; a < Q; ++a) m[a] += fixedRows[i][a + 1];
  }
  for (int a = 0; a < Q; ++a) m[a] /= n;
  double sums[Q][Q] = {};
  for (int i = 0; i < n; ++i) {
    const double* fixed = fixedRows[i];
    for (int a = 0; a < Q; ++a) {
      const double da = (a == 0 ? dose[i] : fixed[a + 1]) - m[a];
      for (int b = a; b < Q; ++b) sums[a][b] += da * ((b == 0 ? dose[i] : fixed[b + 1]) - m[b]);
    }
  }
  mean.assign(m, m + Q);
  for (int a = 0; a < Q; ++a)
    for (int b = 0; b < Q; ++b) S[a][b] = sums[a][b];
}

}  // namespace

void logisticModel::sumPredictorProducts(matrix& S) const {
  const int q = p - 1;
  std::vector<double>& mean = mean_;
  zeroMatrix(S, q, q);
  const double* const* rows = fixedRows_.data();
  switch (q) {
    case 2: return predictorProductsOfWidth<2>(n, rows, dose_.data(), mean, S);
    case 3: return predictorProductsOfWidth<3>(n, rows, dose_.data(), mean, S);
    case 4: return predictorProductsOfWidth<4>(n, rows, dose_.data(), mean, S);
    case 5: return predictorProductsOfWidth<5>(n, rows, dose_.data(), mean, S);
    case 6: return predictorProductsOfWidth<6>(n, rows, dose_.data(), mean, S);
    case 7: return predictorProductsOfWidth<7>(n, rows, dose_.data(), mean, S);
    default: break;
  }
  mean.assign(q, 0.0);
  // Predictor a is design column a + 1: the dose, then the covariates. The dose is taken apart
  // from the table's columns so that their loops read the table row straight through.
  for (int i = 0; i < n; ++i) {
    const double* fixed = rows[i];
    mean[0] += dose_[i];
    for (int a = 1; a < q; ++a) mean[a] += fixed[a + 1];
  }
  for (double& m : mean) m /= n;
  for (int i = 0; i < n; ++i) {
    const double* fixed = rows[i];
    const double d0 = dose_[i] - mean[0];
    S[0][0] += d0 * (dose_[i] - mean[0]);
    for (int b = 1; b < q; ++b) S[0][b] += d0 * (fixed[b + 1] - mean[b]);
    for (int a = 1; a < q; ++a) {
      const double da = fixed[a + 1] - mean[a];
      for (int b = a; b < q; ++b) S[a][b] += da * (fixed[b + 1] - mean[b]);
    }
  }
}

bool logisticModel::checkVIF() const {
  if (n < 2) return false;
  const int q = p - 1;  // predictors: every column after the intercept
  if (q <= 1) return true;

  matrix& S = correlation_;
  sumPredictorProducts(S);
  for (int a = 0; a < q; ++a) {
    for (int b = a; b < q; ++b) {
      S[a][b] /= (n - 1);
      S[b][a] = S[a][b];
    }
  }

  // The test is on the signed correlation: a strong negative one is left to the VIF limit.
  for (int a = 0; a < q; ++a) {
    for (int b = a + 1; b < q; ++b) {
      const double r = S[a][b] / std::sqrt(S[a][a] * S[b][b]);
      S[a][b] = r;
      S[b][a] = r;
      if (r > correlationLimit) {
        if (traceMatrices) say("individual element > 0.999, skipping VIF\n");
        return false;
      }
    }
  }
  for (int m = 0; m < q; ++m)
    if (S[m][m] == 0 || !isRealNumber(S[m][m])) return false;
  for (int m = 0; m < q; ++m) S[m][m] = 1.0;

  matrix& vif = vif_;
  inverseBySvd(S, vif, vifScratch_);
  if (traceMatrices) {
    say("VIF on diagonals\n");
    printMatrix(vif);
  }
  for (int m = 0; m < q; ++m)
    if (vif[m][m] > vifLimit) return false;
  return true;
}

void logisticModel::fit() {
  converged = false;
  beta.assign(p, 0.0);
  zeroMatrix(Sigma, p, p);
  if (p == 0 || n == 0) return;
  if (traceMatrices) traceRows(designMatrix(), y);

  // Work space kept by the model: a model fitted again allocates nothing.
  matrix& information = information_;
  zeroMatrix(information, p, p);
  matrix& inverse = inverse_;
  std::vector<double>& score = score_;
  score.assign(p, 0.0);
  bool finite = true;
  for (int iteration = 0; iteration < maxIterations; ++iteration) {
    for (int i = 0; i < n; ++i) {
      const double* fixed = fixedRow(i);
      double eta = 0;
      eta += beta[0];  // times the intercept's 1
      eta += beta[1] * dose_[i];
      for (int j = 2; j < p; ++j) eta += beta[j] * fixed[j];
      pi[i] = 1 / (std::exp(-eta) + 1);
      V[i] = (1 - pi[i]) * pi[i];
    }

    // X'VX summed exactly as the product of the weighted transpose (X[i][j] V[i]) with X,
    // row by row in order, so the last inverse is the covariance of the estimates as well.
    sumInformation(information);
    // Non-finite information (a covariate of infinity, or a step gone to infinity) decomposes
    // into NaN, and every later iteration gives NaN again: the fit has failed, and stopping
    // here changes nothing but the time spent.
    if (!allFinite(information)) {
      finite = false;
      break;
    }
    inverseBySvd(information, inverse, scratch_);

    std::fill(score.begin(), score.end(), 0.0);
    for (int i = 0; i < n; ++i) {
      const double residual = y[i] - pi[i];
      addDesignRow(score.data(), residual, fixedRow(i), dose_[i], p);
    }
    double stepSize = 0;
    for (int j = 0; j < p; ++j) {
      double step = 0;
      for (int k = 0; k < p; ++k) step += inverse[j][k] * score[k];
      beta[j] += step;
      stepSize += std::fabs(step);
    }
    if (stepSize < convergenceLimit) {  // a NaN sum never converges
      converged = true;
      break;
    }
  }
  if (!converged) logisticWarnNoConvergence(*snp);

  if (finite) {
    Sigma = inverse;  // same shape: the rows are copied into place
  } else {
    const double notANumber = std::numeric_limits<double>::quiet_NaN();
    for (auto& row : Sigma) std::fill(row.begin(), row.end(), notANumber);
  }
  if (traceMatrices) {
    say("beta\n");
    printRealVector(beta);
    say("Sigma\n");
    printMatrix(Sigma);
  }
}

namespace {

// One SNP on the list the model uses: set up, fitted unless the dose is constant, and made a
// record. A constant or absent dose has no estimate whatever the fit would do: it is not run.
estimateRecord fitSnp(logisticModel& model, snpRecord* snp) {
  model.setupSnp(snp);
  if (model.doseVaries()) {
    model.fit();
  } else {
    model.converged = false;
    model.beta.assign(model.p, 0.0);
    resizeMatrix(model.Sigma, model.p, model.p);
  }
  return logisticRecord(model.outcome());
}

}  // namespace

estimateRecord logisticPerIndividual(const std::vector<individualRecord*>& people,
                                     snpRecord* snp, logisticModel& model) {
  model.useIndividuals(people);
  return fitSnp(model, snp);
}

int logisticAllSnps(const std::vector<individualRecord*>& people,
                    const std::vector<snpRecord*>& snpList, std::vector<estimateRecord>& out) {
  out.clear();
  out.reserve(snpList.size());
  // Without covariates the fit needs only the six dose x response cells. The trace of the
  // matrices shows the design of every individual, so it keeps the per-individual fit.
  const bool covariates = covariateCountOf(people) != 0;
  if (!covariates && traceMatrices == 0) {
    // The scans' counter reads the SNP-major copy instead of every individual's words; its
    // cells are the fit's when each phenotype is exactly a control's or a case's.
    const bool scanCellsServe = std::all_of(people.begin(), people.end(), [](const auto* person) {
      return person->phenotype == 1.0 || person->phenotype == 2.0;
    });
    if (scanCellsServe) {
      thread_local cellCounter counter;
      counter.reset(people);
      for (snpRecord* snp : snpList)
        out.push_back(logisticFromCells(doseCellsOf(counter.cells(snp->index)), snp));
    } else {
      for (snpRecord* snp : snpList)
        out.push_back(logisticFromCells(countDoseCells(people, *snp), snp));
    }
    return static_cast<int>(snpList.size());
  }
  // One model per thread, its storage reused from SNP to SNP and from call to call.
  thread_local logisticModel model;
  model.useIndividuals(people);
  for (snpRecord* snp : snpList) out.push_back(fitSnp(model, snp));
  return static_cast<int>(snpList.size());
}
