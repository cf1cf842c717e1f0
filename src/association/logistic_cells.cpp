// The logistic fit without covariates from the dose x response cells. The model has two
// parameters, and every individual of a dose group has the same design row, fitted probability
// and weight: the sums over individuals of the per-individual fit become sums over the (at most
// three) groups weighted by their counts, with the same iterations, limits and warnings.
#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include "association/genotype_counts.h"
#include "association/logistic_model.h"
#include "dataset/dataset.h"
#include "dataset/snp_major_genotypes.h"
#include "numerics/machine_constants.h"
#include "numerics/svd.h"

using namespace logisticLimits;

namespace {

// The dose groups that hold individuals, in the order dose 2, 1, 0.
struct doseGroups {
  int size = 0;
  double dose[3] = {0, 0, 0};
  double count[3] = {0, 0, 0};
  double cases[3] = {0, 0, 0};
};

doseGroups groupsOf(const doseCells& cells) {
  doseGroups groups;
  for (int dose = 2; dose >= 0; --dose) {
    if (cells.count[dose] == 0) continue;
    groups.dose[groups.size] = dose;
    groups.count[groups.size] = cells.count[dose];
    groups.cases[groups.size] = cells.cases[dose];
    ++groups.size;
  }
  return groups;
}

// The inverse of the symmetric 2 x 2 information [[a, b], [b, c]]. In closed form while the
// matrix is far from singular (there the closed form and the decomposition agree to rounding);
// near singularity through the decomposition, whose dropping of negligible singular values the
// per-individual fit relies on.
void invertInformation(double a, double b, double c, matrix& inverse) {
  const double determinant = a * c - b * b;
  if (determinant > 1e-6 * a * c && std::isfinite(determinant) && a > 0 && c > 0) {
    inverse[0][0] = c / determinant;
    inverse[0][1] = -b / determinant;
    inverse[1][0] = -b / determinant;
    inverse[1][1] = a / determinant;
    return;
  }
  thread_local matrix information;
  thread_local svdScratch scratch;
  zeroMatrix(information, 2, 2);
  information[0][0] = a;
  information[0][1] = b;
  information[1][0] = b;
  information[1][1] = c;
  inverseBySvd(information, inverse, scratch);
}

}  // namespace

doseCells countDoseCells(const std::vector<individualRecord*>& people, const snpRecord& snp) {
  doseCells cells;
  const size_t covariateCount = covariateCountOf(people);
  for (const individualRecord* person : people) {
    const unsigned code = genotypeAt(person->genotypes, snp.index);
    if (code == missingGenotype) continue;
    // The individuals that setupModel drops: short of covariates, or with a missing one.
    if (!hasUsableCovariates(*person, covariateCount)) continue;
    const int dose = allele1Dosage[code];
    ++cells.count[dose];
    if (person->phenotype != 1.0) ++cells.cases[dose];
  }
  return cells;
}

doseCells doseCellsOf(const genotypeCells& c) {
  doseCells cells;
  cells.cases[2] = c.caseA11;
  cells.cases[1] = c.caseA12;
  cells.cases[0] = c.caseA22;
  cells.count[2] = c.caseA11 + c.ctrlA11;
  cells.count[1] = c.caseA12 + c.ctrlA12;
  cells.count[0] = c.caseA22 + c.ctrlA22;
  return cells;
}

namespace {

// Slot of a typed genotype: code 0, 2 or 3, + 4 for a case (phenotype other than exactly 1.0).
constexpr int typedSlots[6] = {homozygousAllele1, heterozygous, homozygousAllele2,
                               4 + homozygousAllele1, 4 + heterozygous, 4 + homozygousAllele2};

// From the data set's SNP-major copy when its rows are the list: the positions of a slot are
// the set bits of a mask of the column's two planes and the copy's control plane, 4 cache
// lines per 256 individuals instead of one per individual.
void slotPositionsFromPlanes(const snpMajorGenotypes& copy, int column, slotPositions& slots) {
  const uint64_t* low = copy.lowPlane(column);
  const uint64_t* high = copy.highPlane(column);
  const size_t rows = copy.rows.size();
  const size_t words = (rows + 63) / 64;
  int32_t filled = 0;
  for (int slot = 0; slot < 9; ++slot) {
    slots.begin[slot] = filled;
    if (slot == 8 || (slot & 3) == missingGenotype) continue;
    const bool isCase = slot >= 4;
    const unsigned code = static_cast<unsigned>(slot & 3);
    for (size_t w = 0; w < words; ++w) {
      const uint64_t rowMask = w + 1 < words || rows % 64 == 0 ? ~0ULL : (1ULL << (rows % 64)) - 1;
      const uint64_t lowBits = (code & 1u) != 0 ? low[w] : ~low[w];
      const uint64_t highBits = (code & 2u) != 0 ? high[w] : ~high[w];
      const uint64_t group = isCase ? ~copy.controls[w] : copy.controls[w];
      for (uint64_t m = lowBits & highBits & group & rowMask; m != 0; m &= m - 1)
        slots.positions[static_cast<size_t>(filled++)] =
            static_cast<int32_t>(64 * w + static_cast<size_t>(std::countr_zero(m)));
    }
  }
  slots.positions.resize(static_cast<size_t>(filled));
}

bool copyHoldsList(const snpMajorGenotypes& copy, const std::vector<individualRecord*>& people) {
  return copy.valid && copy.rows.size() == people.size() &&
         std::equal(people.begin(), people.end(), copy.rows.begin());
}

}  // namespace

void slotPositionsOf(const std::vector<individualRecord*>& people, const snpRecord& snp,
                     slotPositions& slots) {
  slots.positions.resize(people.size());
  if (copyHoldsList(snpMajor, people) && snp.index >= 0 && snp.index < snpMajor.columns) {
    slotPositionsFromPlanes(snpMajor, snp.index, slots);
    return;
  }
  // Counting sort of the positions by slot, reading each individual's words.
  int32_t sizes[8] = {};
  thread_local std::vector<uint8_t> slotOf;
  slotOf.resize(people.size());
  for (size_t i = 0; i < people.size(); ++i) {
    const unsigned code = genotypeAt(people[i]->genotypes, snp.index);
    slotOf[i] = static_cast<uint8_t>(code + (people[i]->phenotype != 1.0 ? 4u : 0u));
    ++sizes[slotOf[i]];
  }
  int32_t next[8];
  int32_t filled = 0;
  for (int slot = 0; slot < 9; ++slot) {
    slots.begin[slot] = filled;
    if (slot == 8) break;
    next[slot] = filled;
    if ((slot & 3) != missingGenotype) filled += sizes[slot];
  }
  for (size_t i = 0; i < people.size(); ++i) {
    const int slot = slotOf[i];
    if ((slot & 3) == missingGenotype) continue;
    slots.positions[static_cast<size_t>(next[slot]++)] = static_cast<int32_t>(i);
  }
  slots.positions.resize(static_cast<size_t>(filled));
}

namespace {

// The cells from individuals per slot (code + 4 * case); dose of allele 1 by code: 0 -> 2,
// 2 -> 1, 3 -> 0 (1 is missing).
doseCells cellsOfSlotCounts(const int32_t* slot) {
  doseCells cells;
  const int codeOfDose[3] = {homozygousAllele2, heterozygous, homozygousAllele1};
  for (int dose = 0; dose < 3; ++dose) {
    cells.cases[dose] = slot[codeOfDose[dose] + 4];
    cells.count[dose] = slot[codeOfDose[dose]] + cells.cases[dose];
  }
  return cells;
}

}  // namespace

doseCells cellsOfEveryone(const slotPositions& slots) {
  int32_t sizes[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  for (int slot : typedSlots) sizes[slot] = slots.begin[slot + 1] - slots.begin[slot];
  return cellsOfSlotCounts(sizes);
}

void cellsOfDraws(const slotPositions& slots, const std::vector<int>& drawCounts,
                  doseCells& drawn, doseCells& neverDrawn) {
  int32_t times[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  int32_t never[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  // One running sum per slot over its own positions: no two updates wait on the same counter.
  for (int slot : typedSlots) {
    int32_t sum = 0;
    int32_t zeros = 0;
    for (int32_t k = slots.begin[slot]; k < slots.begin[slot + 1]; ++k) {
      const int count = drawCounts[static_cast<size_t>(slots.positions[static_cast<size_t>(k)])];
      sum += count;
      zeros += count == 0 ? 1 : 0;
    }
    times[slot] = sum;
    never[slot] = zeros;
  }
  drawn = cellsOfSlotCounts(times);
  neverDrawn = cellsOfSlotCounts(never);
}

estimateRecord logisticFromCells(const doseCells& cells, snpRecord* snp) {
  const doseGroups g = groupsOf(cells);
  thread_local matrix Sigma;
  thread_local matrix inverse;
  zeroMatrix(Sigma, 2, 2);
  zeroMatrix(inverse, 2, 2);

  logisticOutcome fit;
  fit.snp = snp;
  fit.n = cells.count[0] + cells.count[1] + cells.count[2];
  fit.p = 2;
  // The VIF check with the dose as the only predictor asks for two individuals, no more.
  fit.vifOk = fit.n >= 2;
  if (!fit.vifOk) logisticWarnVif(*snp);
  fit.doseVaries = g.size >= 2;
  fit.Sigma = &Sigma;
  if (!fit.doseVaries) return logisticRecord(fit);

  double beta[2] = {0, 0};
  double pi[3];
  double weight[3];
  bool finite = true;
  for (int iteration = 0; iteration < maxIterations; ++iteration) {
    for (int k = 0; k < g.size; ++k) {
      double eta = 0;
      eta += beta[0] * 1.0;
      eta += beta[1] * g.dose[k];
      pi[k] = 1 / (std::exp(-eta) + 1);
      weight[k] = g.count[k] * ((1 - pi[k]) * pi[k]);
    }
    double a = 0, b = 0, c = 0;  // X'VX = [[a, b], [b, c]]
    for (int k = 0; k < g.size; ++k) {
      a += weight[k];
      b += weight[k] * g.dose[k];
      c += g.dose[k] * weight[k] * g.dose[k];
    }
    // Non-finite information never recovers (see the per-individual fit).
    if (!isRealNumber(a) || !isRealNumber(b) || !isRealNumber(c)) {
      finite = false;
      break;
    }
    invertInformation(a, b, c, inverse);

    double score[2] = {0, 0};
    for (int k = 0; k < g.size; ++k) {
      const double residual = g.cases[k] - g.count[k] * pi[k];
      score[0] += residual;
      score[1] += g.dose[k] * residual;
    }
    double stepSize = 0;
    for (int j = 0; j < 2; ++j) {
      const double step = inverse[j][0] * score[0] + inverse[j][1] * score[1];
      beta[j] += step;
      stepSize += std::fabs(step);
    }
    if (stepSize < convergenceLimit) {  // a NaN sum never converges
      fit.converged = true;
      break;
    }
  }
  if (!fit.converged) logisticWarnNoConvergence(*snp);
  if (finite) {
    Sigma = inverse;
  } else {
    const double notANumber = std::numeric_limits<double>::quiet_NaN();
    for (auto& row : Sigma) std::fill(row.begin(), row.end(), notANumber);
  }
  fit.beta1 = beta[1];
  return logisticRecord(fit);
}
