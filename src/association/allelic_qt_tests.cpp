// Allelic case-control test with its odds ratio, and the quantitative-trait regression on the
// allele-1 dosage; with the small vector routines that share their arithmetic.
#include <cmath>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <string>

#include "dataset/missing_value.h"
#include "numerics/distributions.h"
#include "numerics/machine_constants.h"
#include "run/settings.h"
#include "association/association_tests.h"
#include "association/exact_tables.h"
#include "association/genotype_counts.h"

namespace {

// The base of e^beta, as a double constant.
constexpr double eulerE = 2.718281828459045;

// Pearson chi-square of the 2 x 2 allele table (rows allele 1, allele 2; columns case,
// control), no continuity correction; not finite when a margin is empty.
double alleleTableChiSquare(double caseA1, double caseA2, double ctrlA1, double ctrlA2) {
  const double total = caseA1 + caseA2 + ctrlA1 + ctrlA2;
  const double row1 = caseA1 + ctrlA1, row2 = caseA2 + ctrlA2;
  const double caseTotal = caseA1 + caseA2, ctrlTotal = ctrlA1 + ctrlA2;
  const double cells[4][2] = {{caseA1, row1 * caseTotal / total},
                              {ctrlA1, row1 * ctrlTotal / total},
                              {caseA2, row2 * caseTotal / total},
                              {ctrlA2, row2 * ctrlTotal / total}};
  double chiSquare = 0;
  for (const auto& cell : cells) {
    const double d = cell[0] - cell[1];
    chiSquare += d * d / cell[1];
  }
  return chiSquare;
}

struct regressionResult {
  int n = 0;
  double beta = 0, se = 0, t = 0, p = -9, r2 = 0;
};

// Least-squares regression of y on x in two passes (means, then centred sums). forEachPair
// calls its argument with (x, y) for every observation, the same ones each time.
template <typename PairSource>
regressionResult regressOnDosage(PairSource&& forEachPair) {
  regressionResult r;
  double sumX = 0, sumY = 0;
  forEachPair([&](double x, double y) {
    ++r.n;
    sumX += x;
    sumY += y;
  });
  const double meanX = sumX / r.n, meanY = sumY / r.n;
  double sxx = 0, sxy = 0, syy = 0;
  forEachPair([&](double x, double y) {
    syy += (y - meanY) * (y - meanY);
    sxy += (x - meanX) * (y - meanY);
    sxx += (x - meanX) * (x - meanX);
  });
  const double varX = sxx / (r.n - 1), varY = syy / (r.n - 1), cov = sxy / (r.n - 1);
  r.beta = cov / varX;
  r.se = std::sqrt((varY / varX - cov * cov / (varX * varX)) / (r.n - 2));
  r.t = r.beta / r.se;
  r.p = tTwoSidedP(r.t, r.n - 2);
  r.r2 = cov * cov / (varX * varY);
  return r;
}

void writeQtHeader(std::ostream& file) {
  file << std::setw(4) << "CHR" << ' ' << std::setw(snpColumnWidth) << "SNP" << ' '
       << std::setw(10) << "BP" << ' ' << std::setw(8) << "NMISS" << ' ' << std::setw(10)
       << "BETA" << ' ' << std::setw(10) << "SE" << ' ' << std::setw(10) << "R2" << ' '
       << std::setw(8) << "T" << ' ' << std::setw(12) << "P" << ' ' << '\n';
}

template <typename T>
void writeCell(std::ostream& file, int width, bool available, T value) {
  file << std::setw(width);
  if (available) file << value; else file << "NA";
  file << ' ';
}

void writeQtRow(std::ostream& file, const snpRecord& snp, const regressionResult& r) {
  const bool haveBeta = isRealNumber(r.beta);
  const bool haveP = r.p >= 0;
  file << std::setw(4) << snp.chromosome << ' ' << std::setw(snpColumnWidth) << snp.name << ' '
       << std::setw(10) << snp.position << ' ' << std::setw(8) << r.n << ' ';
  writeCell(file, 10, haveBeta, r.beta);
  writeCell(file, 10, haveBeta, r.se);
  writeCell(file, 10, haveBeta, r.r2);
  writeCell(file, 8, haveP, r.t);
  writeCell(file, 12, haveP, r.p);
  file << '\n';
}

}  // namespace

void associationTests::allelicTest(const std::vector<individualRecord*>& individuals,
                                   const std::vector<snpRecord*>& snps,
                                   std::vector<estimateRecord>& out) const {
  out.clear();
  out.reserve(snps.size());
  const cellCounter counter(individuals);
  for (snpRecord* snp : snps) {
    const alleleCounts a = allelesFromCells(counter.cells(snp->index));
    const double oddsRatio = (a.caseA1 + 0.5) * (a.ctrlA2 + 0.5) /
                             ((a.ctrlA1 + 0.5) * (a.caseA2 + 0.5));
    // Exact tests, when switched on, take the same table (nothing in a run does so).
    const double p =
        useFisherExact
            ? exactTableP(alleleTable(a))
            : chiSquareP(alleleTableChiSquare(a.caseA1, a.caseA2, a.ctrlA1, a.ctrlA2), 1);
    estimateRecord record;
    record.snp = snp;
    record.allele = snp->allele1;
    if (p >= -1 && isRealNumber(oddsRatio)) {
      record.effect = oddsRatio;
      record.p = p;
    }
    out.push_back(record);
  }
}

void associationTests::qtAssociation(bool writeTable,
                                     const std::vector<individualRecord*>& individuals,
                                     const std::vector<snpRecord*>& snps,
                                     std::vector<estimateRecord>& out) const {
  out.clear();
  out.reserve(snps.size());
  std::ofstream table;
  if (writeTable) {
    const std::string fileName = plinkOutName + ".qassoc";
    std::cout << "Writing QT association results to [ " << fileName << " ] \n";
    table.open(fileName, std::ios::out | std::ios::trunc);
    writeQtHeader(table);
  }
  for (snpRecord* snp : snps) {
    const regressionResult r = regressOnDosage([&](auto&& visit) {
      forEachTypedDosage(individuals, snp->index, visit);
    });
    estimateRecord record;
    record.snp = snp;
    record.allele = snp->allele1;
    if (r.p >= 0 && isRealNumber(r.beta)) {
      record.effect = std::pow(eulerE, r.beta);
      record.p = r.p;
    }
    out.push_back(record);
    if (writeTable) writeQtRow(table, *snp, r);
  }
}

double associationTests::allelicPValue(const std::vector<double>& phenotypes,
                                       const std::vector<int8_t>& codes) const {
  double counts[2][2] = {{0, 0}, {0, 0}};  // [case][allele 2]
  for (size_t i = 0; i < phenotypes.size() && i < codes.size(); ++i) {
    const bool isCase = phenotypes[i] == 2.0;
    if (!isCase && phenotypes[i] != 1.0) continue;
    switch (codes[i]) {
      case homozygousAllele1: counts[isCase][0] += 2; break;
      case heterozygous: counts[isCase][0] += 1; counts[isCase][1] += 1; break;
      case homozygousAllele2: counts[isCase][1] += 2; break;
      default: break;
    }
  }
  return chiSquareP(alleleTableChiSquare(counts[1][0], counts[1][1], counts[0][0], counts[0][1]),
                    1);
}

double associationTests::qtTrendTest(const std::vector<double>& phenotypes,
                                     const std::vector<int32_t>& codes) const {
  const size_t count = phenotypes.size() < codes.size() ? phenotypes.size() : codes.size();
  const regressionResult r = regressOnDosage([&](auto&& visit) {
    for (size_t i = 0; i < count; ++i) {
      if (codes[i] == missingGenotype) continue;
      const double dosage = codes[i] == 0 ? 2 : codes[i] == 2 ? 1 : 0;
      visit(dosage, phenotypes[i]);
    }
  });
  return r.p;
}

double associationTests::sumSubMatrix(const matrix& m, int a, int b) const {
  double sum = 0;
  for (int i = a; i <= b; ++i)
    for (int j = a; j <= b; ++j) sum += m[i][j];
  return sum;
}
