// Test support: the result files of the regression oracles (R glm and plink --logistic, one line
// per SNP: SNP A1 NMISS OR P, after a header line) and the tolerances they are compared with.
#pragma once

#include <cmath>
#include <fstream>
#include <map>
#include <string>

namespace testsupport {

struct regressionOracleRow {
  char allele = 0;
  int rows = 0;
  double oddsRatio = 0;
  double p = 0;
};

// The rows of the file by SNP name.
inline std::map<std::string, regressionOracleRow> readRegressionOracle(const std::string& path) {
  std::ifstream in(path);
  std::map<std::string, regressionOracleRow> rows;
  std::string header, snp, allele;
  std::getline(in, header);
  regressionOracleRow row;
  while (in >> snp >> allele >> row.rows >> row.oddsRatio >> row.p) {
    row.allele = allele[0];
    rows[snp] = row;
  }
  return rows;
}

inline double relativeError(double value, double reference) {
  return std::fabs(value - reference) / std::fabs(reference);
}

// Half a unit in the 4th significant digit of a number printed with 4 digits.
inline double printedHalfUnit(double printed) {
  return 0.5 * std::pow(10.0, std::floor(std::log10(std::fabs(printed))) - 3);
}

}  // namespace testsupport
