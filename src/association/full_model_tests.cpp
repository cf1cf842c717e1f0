// Full-model case-control scan: GENO, TREND, ALLELIC, DOM and REC per SNP.
#include <omp.h>

#include <fstream>
#include <iomanip>
#include <iostream>
#include <string>

#include "dataset/missing_value.h"
#include "numerics/distributions.h"
#include "run/settings.h"
#include "association/association_tests.h"
#include "association/exact_tables.h"
#include "association/full_model_statistics.h"
#include "association/genotype_counts.h"

namespace {

double pearsonTerm(double observed, double expected) {
  const double d = observed - expected;
  return d * d / expected;
}

// Cochran-Armitage trend test with scores 0, 1, 2 for the copies of allele 2.
double trendChiSquare(const genotypeCells& c) {
  const double nCase = c.caseA11 + c.caseA12 + c.caseA22;
  const double nCtrl = c.ctrlA11 + c.ctrlA12 + c.ctrlA22;
  const double n = nCase + nCtrl;
  const double t12 = static_cast<double>(c.caseA12) + c.ctrlA12;
  const double t22 = static_cast<double>(c.caseA22) + c.ctrlA22;
  const double t = 2 * (c.caseA22 * (nCtrl / n) - c.ctrlA22 * (nCase / n)) +
                   (c.caseA12 * (nCtrl / n) - c.ctrlA12 * (nCase / n));
  const double s = 2 * t22 + t12;
  const double varT = nCase * nCtrl * (((4 * t22 + t12) * n - s * s) / (n * n * n));
  return t * t / varT;
}

double allelicChiSquare(const genotypeCells& c) {
  const alleleCounts a = allelesFromCells(c);
  const double nCase = c.caseA11 + c.caseA12 + c.caseA22;
  const double nCtrl = c.ctrlA11 + c.ctrlA12 + c.ctrlA22;
  const double n = nCase + nCtrl;
  const double allele1Total = static_cast<double>(a.caseA1) + a.ctrlA1;
  const double allele2Total = static_cast<double>(a.caseA2) + a.ctrlA2;
  return pearsonTerm(a.caseA1, nCase * allele1Total / n) +
         pearsonTerm(a.ctrlA1, allele1Total * nCtrl / n) +
         pearsonTerm(a.caseA2, nCase * allele2Total / n) +
         pearsonTerm(a.ctrlA2, allele2Total * nCtrl / n);
}

// GENO (3 x 2), DOM and REC (2 x 2) share the expected genotype counts.
void genotypicChiSquares(const genotypeCells& c, fullModelStatistics& s) {
  const double nCase = c.caseA11 + c.caseA12 + c.caseA22;
  const double nCtrl = c.ctrlA11 + c.ctrlA12 + c.ctrlA22;
  const double n = nCase + nCtrl;
  const double t11 = static_cast<double>(c.caseA11) + c.ctrlA11;
  const double t12 = static_cast<double>(c.caseA12) + c.ctrlA12;
  const double t22 = static_cast<double>(c.caseA22) + c.ctrlA22;
  const double eCase11 = nCase * t11 / n, eCase12 = nCase * t12 / n, eCase22 = nCase * t22 / n;
  const double eCtrl11 = nCtrl * t11 / n, eCtrl12 = nCtrl * t12 / n, eCtrl22 = nCtrl * t22 / n;
  s.genoChiSquare = pearsonTerm(c.caseA11, eCase11) + pearsonTerm(c.caseA12, eCase12) +
                    pearsonTerm(c.caseA22, eCase22) + pearsonTerm(c.ctrlA11, eCtrl11) +
                    pearsonTerm(c.ctrlA12, eCtrl12) + pearsonTerm(c.ctrlA22, eCtrl22);
  s.domChiSquare = pearsonTerm(c.caseA11 + c.caseA12, eCase11 + eCase12) +
                   pearsonTerm(c.caseA22, eCase22) +
                   pearsonTerm(c.ctrlA11 + c.ctrlA12, eCtrl11 + eCtrl12) +
                   pearsonTerm(c.ctrlA22, eCtrl22);
  s.recChiSquare = pearsonTerm(c.caseA11, eCase11) +
                   pearsonTerm(c.caseA12 + c.caseA22, eCase12 + eCase22) +
                   pearsonTerm(c.ctrlA11, eCtrl11) +
                   pearsonTerm(c.ctrlA12 + c.ctrlA22, eCtrl12 + eCtrl22);
}

double missingWhenNoP(double p) { return p < -1 ? missingValue : p; }

// The table's statistic cells: "NA" for the chi-square, df and p of a test without a p.
void writeTestRow(std::ostream& file, const snpRecord& snp, const char* test,
                  const std::string& aff, const std::string& unaff, double chiSquare,
                  const char* df, double p) {
  // An unset allele is written as plink writes it, "0", never as a NUL byte.
  const char a1 = snp.allele1 ? snp.allele1 : '0';
  const char a2 = snp.allele2 ? snp.allele2 : '0';
  file << std::setw(4) << snp.chromosome << ' ' << std::setw(snpColumnWidth) << snp.name << ' '
       << std::setw(4) << a1 << ' ' << std::setw(4) << a2 << ' ' << std::setw(8) << test << ' '
       << std::setw(14) << aff << ' ' << std::setw(14) << unaff << ' ';
  const bool noP = p < -1;  // the -9 of chiSquareP
  // Exact p-values have no statistic: their table has no CHISQ and DF columns.
  if (!useFisherExact) {
    file << std::setw(12);
    if (noP) file << "NA"; else file << chiSquare;
    file << ' ' << std::setw(4) << (noP ? "NA" : df) << ' ';
  }
  file << std::setw(12);
  if (noP) file << "NA"; else file << p;
  file << '\n';
}

std::string joined(int a, int b) { return std::to_string(a) + "/" + std::to_string(b); }
std::string joined(int a, int b, int c) { return joined(a, b) + "/" + std::to_string(c); }

void writeSnpRows(std::ostream& file, const snpRecord& snp, const genotypeCells& c,
                  const fullModelStatistics& s) {
  const alleleCounts a = allelesFromCells(c);
  writeTestRow(file, snp, "GENO", joined(c.caseA11, c.caseA12, c.caseA22),
               joined(c.ctrlA11, c.ctrlA12, c.ctrlA22), s.genoChiSquare, "2", s.genoP);
  writeTestRow(file, snp, "TREND", joined(a.caseA1, a.caseA2), joined(a.ctrlA1, a.ctrlA2),
               s.trendChiSquare, "1", s.trendP);
  writeTestRow(file, snp, "ALLELIC", joined(a.caseA1, a.caseA2), joined(a.ctrlA1, a.ctrlA2),
               s.allelicChiSquare, "1", s.allelicP);
  writeTestRow(file, snp, "DOM", joined(c.caseA11 + c.caseA12, c.caseA22),
               joined(c.ctrlA11 + c.ctrlA12, c.ctrlA22), s.domChiSquare, "1", s.domP);
  writeTestRow(file, snp, "REC", joined(c.caseA11, c.caseA12 + c.caseA22),
               joined(c.ctrlA11, c.ctrlA12 + c.ctrlA22), s.recChiSquare, "1", s.recP);
}

void writeHeader(std::ostream& file) {
  file << std::setw(4) << "CHR" << ' ' << std::setw(snpColumnWidth) << "SNP" << ' '
       << std::setw(4) << "A1" << ' ' << std::setw(4) << "A2" << ' ' << std::setw(8) << "TEST"
       << ' ' << std::setw(14) << "AFF" << ' ' << std::setw(14) << "UNAFF" << ' ';
  if (!useFisherExact) file << std::setw(12) << "CHISQ" << ' ' << std::setw(4) << "DF" << ' ';
  file << std::setw(12) << "P" << '\n';
}

}  // namespace

fullModelStatistics fullModelFromCells(const genotypeCells& c, int minCell, unsigned tests) {
  fullModelStatistics s;
  s.cellRuleHolds = c.caseA11 >= minCell && c.caseA12 >= minCell && c.caseA22 >= minCell &&
                    c.ctrlA11 >= minCell && c.ctrlA12 >= minCell && c.ctrlA22 >= minCell;
  if (tests & fullModelTrend) {
    s.trendChiSquare = trendChiSquare(c);
    s.trendP = chiSquareP(s.trendChiSquare, 1);
  }
  if (tests & fullModelAllelic) {
    s.allelicChiSquare = allelicChiSquare(c);
    s.allelicP = chiSquareP(s.allelicChiSquare, 1);
  }
  if (s.cellRuleHolds && (tests & (fullModelGeno | fullModelDom | fullModelRec))) {
    genotypicChiSquares(c, s);
    if (tests & fullModelGeno) s.genoP = chiSquareP(s.genoChiSquare, 2);
    if (tests & fullModelDom) s.domP = chiSquareP(s.domChiSquare, 1);
    if (tests & fullModelRec) s.recP = chiSquareP(s.recChiSquare, 1);
  }
  // Exact tests, when switched on, replace every p but TREND's (nothing in a run does so).
  if (useFisherExact) {
    if (tests & fullModelAllelic) s.allelicP = exactTableP(alleleTable(allelesFromCells(c)));
    if (s.cellRuleHolds) {
      if (tests & fullModelGeno) s.genoP = exactTableP(genoTable(c));
      if (tests & fullModelDom) s.domP = exactTableP(dominantTable(c));
      if (tests & fullModelRec) s.recP = exactTableP(recessiveTable(c));
    }
  }
  return s;
}

void associationTests::fullModelTests(bool writeTable,
                                      const std::vector<individualRecord*>& individuals,
                                      const std::vector<snpRecord*>& snps,
                                      std::vector<significanceRecord>& out,
                                      unsigned tests) const {
  out.clear();
  out.reserve(snps.size());
  std::ofstream table;
  if (writeTable) {
    const std::string fileName = plinkOutName + ".model";
    std::cout << "Full-model association tests, minimum genotype count: --cell " << minCellCount
              << "\n";
    std::cout << "Writing full model association results to [ " << fileName << " ] \n";
    table.open(fileName, std::ios::out | std::ios::trunc);
    writeHeader(table);
  }
  // The table shows all five tests.
  if (writeTable) tests = fullModelAll;
  const cellCounter counter(individuals);
  const auto recordOf = [](snpRecord* snp, const fullModelStatistics& s) {
    significanceRecord record;
    record.snp = snp;
    record.allele = snp->allele1;
    record.trendP = missingWhenNoP(s.trendP);
    record.genoP = s.cellRuleHolds ? missingWhenNoP(s.genoP) : missingValue;
    return record;
  };
  // The scan of the full data set runs alone: its SNPs share out among the threads, each
  // record in its place. Resample scans already run one per thread.
  const long count = static_cast<long>(snps.size());
  if (!writeTable && !omp_in_parallel() && count >= 4096) {
    out.resize(snps.size());
#pragma omp parallel for schedule(static)
    for (long k = 0; k < count; ++k) {
      snpRecord* snp = snps[static_cast<size_t>(k)];
      const genotypeCells cells = counter.cells(snp->index);
      out[static_cast<size_t>(k)] = recordOf(snp, fullModelFromCells(cells, minCellCount, tests));
    }
    return;
  }
  for (snpRecord* snp : snps) {
    const genotypeCells cells = counter.cells(snp->index);
    const fullModelStatistics s = fullModelFromCells(cells, minCellCount, tests);
    out.push_back(recordOf(snp, s));
    if (writeTable) writeSnpRows(table, *snp, cells, s);
  }
}
