// Per-SNP logistic regression of case/control status on the allele-1 dose and the covariates.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "numerics/matrix.h"
#include "numerics/svd.h"
#include "association/genotype_counts.h"
#include "dataset/covariate_design.h"
#include "association/test_records.h"

struct individualRecord;
struct snpRecord;

// The limits of the fit, shared by the per-individual and the cell-count routes.
namespace logisticLimits {
inline constexpr int maxIterations = 20;
inline constexpr double convergenceLimit = 1e-6;  // on the sum of |step|
inline constexpr double correlationLimit = 0.999;  // between two predictors
inline constexpr double vifLimit = 50;
inline constexpr double varianceFloor = 1e-20;     // smallest usable coefficient variance
inline constexpr double coefficientCorrelationLimit = 0.99999;
}  // namespace logisticLimits

// What the record of a fit is made from. Sigma points into the fit's own storage.
struct logisticOutcome {
  snpRecord* snp = nullptr;
  int32_t n = 0;            // individuals used
  int32_t p = 0;            // parameters
  bool vifOk = false;
  bool converged = false;
  bool doseVaries = false;  // the dose takes at least two values over the individuals used
  double beta1 = 0;         // the ADD coefficient
  const matrix* Sigma = nullptr;
};

// One fit of one SNP. setupModel (or useIndividuals and setupSnp) and fit together overwrite
// every field, so one model may be set up again for the next SNP and then holds exactly what a
// fresh model would.
//
// The design is not copied: its rows are the rows of a covariate table (that of the data set
// when it holds the list, else one the model builds from the list) with the SNP's dose in
// column 1, named per row by fixedRows_ and dose_.
class logisticModel {
 public:
  // useIndividuals and setupSnp for one SNP.
  void setupModel(const std::vector<individualRecord*>& people, snpRecord* snpToFit);
  // Finds the covariate row of every listed individual, once for all SNPs fitted on the list.
  // Until the model is given another list, the list must stay unchanged and the data set's
  // table be neither dropped nor built again (the model keeps pointers into its rows).
  void useIndividuals(const std::vector<individualRecord*>& people);
  // Design rows [1, ADD, covariates...] of the individuals with a typed genotype and usable
  // covariates, in list order; then the multicollinearity check (a warning when it fails).
  void setupSnp(snpRecord* snpToFit);
  // True when the predictors (the columns after the intercept) pass the correlation and VIF
  // limits.
  bool checkVIF() const;
  // Newton-Raphson from beta = 0; Sigma is the inverse information at the weights of the start
  // of the last iteration.
  void fit();
  logisticOutcome outcome() const;
  // The n x p design gathered into a matrix: for printing it, and for tests.
  matrix designMatrix() const;
  // Whether the allele dose takes at least two values over the rows of the design.
  bool doseVaries() const;
  // Whether the rows come from the data set's covariate table (not one built for the list).
  bool usesDataSetTable() const { return design_ == &covariateTable; }

  int32_t n = 0;                    // rows of the design (individuals used)
  int32_t p = 0;                    // parameters: intercept, ADD, covariates
  std::vector<double> beta;         // coefficients, in the order of the design columns
  matrix Sigma;                     // p x p estimated covariance of beta
  std::vector<int32_t> y;           // response: 0 for phenotype exactly 1.0, else 1
  std::vector<std::string> labels;  // "INT", "ADD"
  std::vector<double> pi;           // fitted probabilities
  std::vector<double> V;            // weights pi (1 - pi)
  bool vifOk = false;
  bool converged = false;
  snpRecord* snp = nullptr;

 private:
  // The table's row of design row i; its column 1 is not the dose (dose_[i] is).
  const double* fixedRow(int i) const { return fixedRows_[static_cast<size_t>(i)]; }

  // X'VX at the current weights into information (p x p): row by row in design order, each
  // term (x[j] V[i]) x[k], so that it is the product of the weighted transpose with X.
  void sumInformation(matrix& information);
  // The means of the p - 1 predictors (the columns after the intercept) into mean_, and their
  // sums of cross products about the means into the upper triangle of S (row by row, in order).
  void sumPredictorProducts(matrix& S) const;

  const std::vector<individualRecord*>* people_ = nullptr;
  const covariateDesign* design_ = nullptr;
  covariateDesign ownDesign_;         // for a list the data set's table does not hold
  std::vector<int32_t> entryRows_;    // per list entry, its row of design_
  std::vector<double> dose_;          // per design row, the allele-1 dose
  std::vector<const double*> fixedRows_;  // per design row, its row of design_

  // Work space of checkVIF and fit, kept so that a model set up and fitted again for the next
  // SNP allocates nothing.
  mutable std::vector<double> mean_;
  mutable matrix correlation_;
  mutable matrix vif_;
  mutable svdScratch vifScratch_;
  matrix information_;
  matrix inverse_;
  svdScratch scratch_;
  std::vector<double> score_;
};

// Individuals used by a fit without covariates, by allele-1 dose (0, 1, 2), and the cases
// (phenotype other than exactly 1.0) among them. The same individuals as setupModel uses.
struct doseCells {
  int32_t count[3] = {0, 0, 0};
  int32_t cases[3] = {0, 0, 0};
};
doseCells countDoseCells(const std::vector<individualRecord*>& people, const snpRecord& snp);
// The same cells from the scans' genotype cells, which agree with them when every individual
// is a control (1.0) or a case (2.0) and none is dropped for a covariate.
doseCells doseCellsOf(const genotypeCells& cells);

// The cells of the resamples of one list, from draw counts instead of walking the individuals:
// slotPositionsOf groups the list positions by slot (genotype code, + 4 for a case) of the SNP,
// once per SNP; cellsOfDraws then gives the cells of the drawn individuals (each as often as
// drawn) and of those never drawn, exactly as countDoseCells on the two lists would. Only for a
// data set without covariates (nobody is dropped for a missing covariate).
struct slotPositions {
  std::vector<int32_t> positions;  // list positions with a typed genotype, grouped by slot
  int32_t begin[9] = {};           // slot s holds positions[begin[s]] to positions[begin[s + 1]]
};
void slotPositionsOf(const std::vector<individualRecord*>& people, const snpRecord& snp,
                     slotPositions& slots);
void cellsOfDraws(const slotPositions& slots, const std::vector<int>& drawCounts,
                  doseCells& drawn, doseCells& neverDrawn);
// The cells of the whole list the positions were grouped from.
doseCells cellsOfEveryone(const slotPositions& slots);

// The fit without covariates from the cells: the Newton iterations of logisticModel::fit over
// the three dose groups, each weighted by its count, with the same checks and warnings; the
// estimate agrees with the per-individual fit up to rounding. Allocates nothing.
estimateRecord logisticFromCells(const doseCells& cells, snpRecord* snp);

// The fit over the individuals, one design row each (the reference for the cell route, and the
// route with covariates): set up, fitted unless the dose is constant, and made a record.
estimateRecord logisticPerIndividual(const std::vector<individualRecord*>& people,
                                     snpRecord* snp, logisticModel& model);

// The record of a fit: the odds ratio of allele 1 and its Wald p, missingValue where there is
// no usable estimate (always when the dose does not vary), OR 1 and p 1 when the fit did not
// converge. Prints the warnings that say which.
estimateRecord logisticRecord(const logisticOutcome& fit);
// Validity of the fitted covariance: usable variances and no pair of coefficients correlated
// beyond the limit. Reports each collinear pair it meets (at most one per row of Sigma).
bool logisticCovarianceUsable(const logisticOutcome& fit);
void logisticWarnNoConvergence(const snpRecord& snp);
void logisticWarnVif(const snpRecord& snp);

// Fits every SNP of snpList on the given individuals and replaces out by one record per SNP,
// in list order: the odds ratio of allele 1 and its Wald p. Returns the number of SNPs.
// Reentrant: worker threads may call it at once on the same (read-only) data set.
int logisticAllSnps(const std::vector<individualRecord*>& people,
                    const std::vector<snpRecord*>& snpList, std::vector<estimateRecord>& out);
