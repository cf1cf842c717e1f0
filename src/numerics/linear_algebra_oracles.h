// Test-only: the matrices of testdata/linear_algebra_oracles.txt with what R computed for them
// (see linear_algebra_oracles.R beside it), and the matrix checks the linear-algebra tests share.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "numerics/matrix.h"

namespace oracle {

constexpr double epsilon = 2.220446049250313e-16;

struct matrixCase {
  std::string name;
  int rows = 0, columns = 0;
  // Keyed by what R computed: a, svd, condition, b, det, x, covariance, inverse, eigenvalues,
  // sqrt. Matrices are row-major.
  std::map<std::string, std::vector<double>> values;

  bool has(const std::string& key) const { return values.count(key) > 0; }
  const std::vector<double>& operator[](const std::string& key) const { return values.at(key); }
  double scalar(const std::string& key) const { return values.at(key).at(0); }
  matrix asMatrix(const std::string& key, int r, int c) const {
    const std::vector<double>& v = values.at(key);
    matrix m(r, std::vector<double>(c));
    for (int i = 0; i < r; i++)
      for (int j = 0; j < c; j++) m[i][j] = v.at(i * c + j);
    return m;
  }
  matrix a() const { return asMatrix("a", rows, columns); }
  matrix square(const std::string& key) const { return asMatrix(key, columns, columns); }
};

inline std::vector<matrixCase> loadCases() {
  std::ifstream in(std::string(ZUQ_SOURCE_DIR) + "/src/numerics/testdata/linear_algebra_oracles.txt");
  EXPECT_TRUE(in.good()) << "oracle file missing: run linear_algebra_oracles.R";
  std::vector<matrixCase> cases;
  std::string text;
  while (std::getline(in, text)) {
    std::istringstream line(text);
    std::string key;
    line >> key;
    if (key == "case") {
      cases.emplace_back();
      line >> cases.back().name >> cases.back().rows >> cases.back().columns;
    } else if (key != "end" && !cases.empty()) {
      std::vector<double>& v = cases.back().values[key];
      for (double x; line >> x;) v.push_back(x);
    }
  }
  return cases;
}

inline double largestMagnitude(const matrix& a) {
  double largest = 0.0;
  for (const auto& row : a)
    for (double x : row) largest = std::max(largest, std::fabs(x));
  return largest;
}

// max |a - b| / max |b|: the error of a against the reference b, relative to b's size.
inline double relativeError(const matrix& a, const matrix& b) {
  double largest = 0.0;
  for (size_t i = 0; i < b.size(); i++)
    for (size_t j = 0; j < b[i].size(); j++)
      largest = std::max(largest, std::fabs(a.at(i).at(j) - b[i][j]));
  return largest / largestMagnitude(b);
}

inline double relativeError(const std::vector<double>& a, const std::vector<double>& b) {
  return relativeError(matrix{a}, matrix{b});
}

// The test's own product and transpose, so that no check leans on the library's.
inline matrix product(const matrix& a, const matrix& b) {
  matrix p(a.size(), std::vector<double>(b[0].size(), 0.0));
  for (size_t i = 0; i < a.size(); i++)
    for (size_t j = 0; j < b[0].size(); j++)
      for (size_t k = 0; k < b.size(); k++) p[i][j] += a[i][k] * b[k][j];
  return p;
}

inline matrix transpose(const matrix& a) {
  matrix t(a[0].size(), std::vector<double>(a.size()));
  for (size_t i = 0; i < a.size(); i++)
    for (size_t j = 0; j < a[0].size(); j++) t[j][i] = a[i][j];
  return t;
}

inline matrix identity(int n) {
  matrix e(n, std::vector<double>(n, 0.0));
  for (int i = 0; i < n; i++) e[i][i] = 1.0;
  return e;
}

inline std::vector<double> sortedDescending(std::vector<double> v) {
  std::sort(v.rbegin(), v.rend());
  return v;
}

}  // namespace oracle
