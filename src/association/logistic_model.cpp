#include "association/logistic_model.h"

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

constexpr int maxIterations = 20;
constexpr double convergenceLimit = 1e-6;  // on the sum of |step|
constexpr double correlationLimit = 0.999;  // between two predictors
constexpr double vifLimit = 50;
constexpr double varianceFloor = 1e-20;     // smallest usable coefficient variance
constexpr double coefficientCorrelationLimit = 0.99999;

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

bool allFinite(const matrix& m) {
  for (const auto& row : m)
    for (double value : row)
      if (!isRealNumber(value)) return false;
  return true;
}

// A dose that takes one value over the rows (a SNP monomorphic among the individuals used, or all
// heterozygous) has no effect to estimate: its column is the intercept's times a constant, and
// the signed coefficient correlation (-1) would let an arbitrary odds ratio through.
bool doseVaries(const logisticModel& model) {
  for (int i = 1; i < model.n; ++i)
    if (model.X[i][1] != model.X[0][1]) return true;
  return false;
}

// Validity of the fitted covariance: usable variances and no pair of coefficients correlated
// beyond the limit. Reports each collinear pair it meets (at most one per row of Sigma).
bool covarianceUsable(const logisticModel& model) {
  if (!model.vifOk || model.p == 0 || model.n == 0 || !doseVaries(model)) return false;
  const matrix& S = model.Sigma;
  for (int j = 1; j < model.p; ++j)
    if (S[j][j] < varianceFloor || !isRealNumber(S[j][j])) return false;
  bool usable = true;
  for (int j = model.p - 1; j >= 1; --j) {
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

estimateRecord estimateOf(const logisticModel& model) {
  snpRecord* snp = model.snp;
  const bool usable = covarianceUsable(model);
  if (!usable)
    say("Warning: Multi-Collinearity in parameters while performing regression for snp " +
        snp->name + "\n");
  if (traceMatrices) {
    say("Covariance matrix of estimates\n");
    printMatrix(model.Sigma);
  }
  if (!model.converged) {
    say("Warning: Could not get odds ratio for SNP " + snp->name + ". Setting OR to 1.\n");
    return {snp, snp->allele1, 1.0, 1.0};
  }
  const double var = model.Sigma[1][1];
  if (var >= varianceFloor && isRealNumber(var) && usable) {
    const double z = model.beta[1] / std::sqrt(var);
    const double p = chiSquareP(z * z, 1);
    return {snp, snp->allele1, std::exp(model.beta[1]), p == -9 ? missingValue : p};
  }
  std::ostringstream text;
  text << "Var = " << var << " for snp " << snp->name << "\n";
  say(text.str());
  say("Warning: Could not get odds ratio for SNP " + snp->name + "\n");
  return {snp, snp->allele1, missingValue, missingValue};
}

}  // namespace

void logisticModel::setupModel(const std::vector<individualRecord*>& people, snpRecord* snpToFit) {
  snp = snpToFit;
  labels.assign({"INT", "ADD"});
  const size_t covariateCount = people.empty() ? 0 : people[0]->covariates.size();
  p = static_cast<int32_t>(2 + covariateCount);

  // Rows already allocated (a model set up again) are refilled in place.
  X.reserve(people.size());
  y.clear();
  size_t rows = 0;
  for (const individualRecord* person : people) {
    const unsigned code = genotypeAt(person->genotypes, snp->index);
    if (code == missingGenotype) continue;
    // An individual with fewer covariates than the first one lacks values the model needs:
    // they count as missing (a short row would be read past its end).
    const std::vector<double>& covariates = person->covariates;
    if (covariates.size() < covariateCount) continue;
    bool complete = true;
    for (double value : covariates)
      if (value == missingValue) complete = false;
    if (!complete) continue;

    if (rows == X.size()) X.emplace_back();
    std::vector<double>& row = X[rows++];
    row.resize(p);
    row[0] = 1.0;
    row[1] = doseOfCode[code];
    for (size_t c = 0; c < covariateCount; ++c) row[2 + c] = covariates[c];
    y.push_back(person->phenotype == 1.0 ? 0 : 1);
  }
  X.resize(rows);
  n = static_cast<int32_t>(rows);
  pi.assign(n, 0.0);
  V.assign(n, 0.0);
  if (traceMatrices) {
    say("X design matrix\n");
    printMatrix(X);
  }

  vifOk = checkVIF();
  if (!vifOk)
    say("Warning: VIF-based check for multicollinearity failed (snp " + snp->name + ").\n");
}

bool logisticModel::checkVIF() const {
  if (n < 2) return false;
  const int q = p - 1;  // predictors: every column after the intercept
  if (q <= 1) return true;

  std::vector<double> mean(q, 0.0);
  for (const auto& row : X)
    for (int a = 0; a < q; ++a) mean[a] += row[a + 1];
  for (double& m : mean) m /= n;
  matrix S;
  resizeMatrix(S, q, q);
  for (const auto& row : X) {
    for (int a = 0; a < q; ++a) {
      const double da = row[a + 1] - mean[a];
      for (int b = a; b < q; ++b) S[a][b] += da * (row[b + 1] - mean[b]);
    }
  }
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

  const matrix vif = inverseBySvd(S);
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
  resizeMatrix(Sigma, p, p);
  if (p == 0 || n == 0) return;
  if (traceMatrices) traceRows(X, y);

  // Work space for the whole fit; nothing below allocates per row.
  matrix information;
  resizeMatrix(information, p, p);
  matrix inverse;
  std::vector<double> score(p);
  bool finite = true;
  for (int iteration = 0; iteration < maxIterations; ++iteration) {
    for (int i = 0; i < n; ++i) {
      const std::vector<double>& row = X[i];
      double eta = 0;
      for (int j = 0; j < p; ++j) eta += beta[j] * row[j];
      pi[i] = 1 / (std::exp(-eta) + 1);
      V[i] = (1 - pi[i]) * pi[i];
    }

    // X'VX summed exactly as the product of the weighted transpose (X[i][j] V[i]) with X,
    // row by row in order, so the last inverse is the covariance of the estimates as well.
    for (auto& row : information) std::fill(row.begin(), row.end(), 0.0);
    for (int i = 0; i < n; ++i) {
      const std::vector<double>& row = X[i];
      for (int j = 0; j < p; ++j) {
        const double weighted = row[j] * V[i];
        std::vector<double>& target = information[j];
        for (int k = 0; k < p; ++k) target[k] += weighted * row[k];
      }
    }
    // Non-finite information (a covariate of infinity, or a step gone to infinity) decomposes
    // into NaN, and every later iteration gives NaN again: the fit has failed, and stopping
    // here changes nothing but the time spent.
    if (!allFinite(information)) {
      finite = false;
      break;
    }
    inverse = inverseBySvd(information);

    std::fill(score.begin(), score.end(), 0.0);
    for (int i = 0; i < n; ++i) {
      const std::vector<double>& row = X[i];
      const double residual = y[i] - pi[i];
      for (int j = 0; j < p; ++j) score[j] += row[j] * residual;
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
  if (!converged)
    say("Warning: Logistic regression didn't converge after " + std::to_string(maxIterations) +
        " iterations for snp: " + snp->name + ". \n");

  if (finite) {
    Sigma = std::move(inverse);
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

int logisticAllSnps(const std::vector<individualRecord*>& people,
                    const std::vector<snpRecord*>& snpList, std::vector<estimateRecord>& out) {
  out.clear();
  out.reserve(snpList.size());
  logisticModel model;  // set up afresh for every SNP, its storage reused
  for (snpRecord* snp : snpList) {
    model.setupModel(people, snp);
    model.fit();
    out.push_back(estimateOf(model));
  }
  return static_cast<int>(snpList.size());
}
