#include "numerics/svd_solve.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <string>

#include "numerics/fatal_error_expectation.h"
#include "numerics/linear_algebra_oracles.h"
#include "numerics/svd.h"

namespace {

using namespace oracle;
using numericstest::expectFatal;

struct decomposition {
  matrix U;
  std::vector<double> w;
  matrix V;
};

decomposition decompose(const matrix& a) {
  const int n = a[0].size();
  decomposition d{a, std::vector<double>(n), matrix(n, std::vector<double>(n))};
  svd(d.U, d.w, d.V);
  return d;
}

// Singular values below 1e-12 of the largest set to exactly 0, as a caller does before a
// least-squares solve, and as R's oracle leaves them out.
void dropNegligible(std::vector<double>& w) {
  const double largest = *std::max_element(w.begin(), w.end());
  for (double& x : w)
    if (x < 1e-12 * largest) x = 0;
}

TEST(SvdChecked, SingularValuesMatchR) {
  for (const matrixCase& c : loadCases()) {
    if (c.rows != c.columns) continue;
    SCOPED_TRACE(c.name);
    matrix a = c.a();
    std::vector<double> w(c.rows);
    matrix V(c.rows, std::vector<double>(c.rows));
    svdChecked(a, w, V);
    const std::vector<double> expected = c["svd"];
    const std::vector<double> sorted = sortedDescending(w);
    for (int i = 0; i < c.rows; i++) EXPECT_NEAR(sorted[i], expected[i], 64 * epsilon * expected[0]);
  }
}

TEST(SvdBackSubstitute, SolvesAndFitsLeastSquaresLikeR) {
  int tried = 0;
  for (const matrixCase& c : loadCases()) {
    SCOPED_TRACE(c.name);
    decomposition d = decompose(c.a());
    if (c.has("x")) {
      // The error of a least-squares fit also carries the condition number squared times the
      // relative residual; the tall case is well conditioned.
      const double condition = c.scalar("condition");
      const double tolerance = 64 * epsilon * (c.rows > c.columns ? condition * condition : condition);
      const double error = relativeError(svdBackSubstitute(d.U, d.w, d.V, c["b"]), c["x"]);
      EXPECT_LE(error, tolerance);
      std::cout << "svdBackSubstitute " << c.name << " (condition " << condition << "): error "
                << error << "\n";
      ++tried;
    }
    if (c.has("pseudoSolution")) {
      dropNegligible(d.w);
      const double error = relativeError(svdBackSubstitute(d.U, d.w, d.V, c["b"]), c["pseudoSolution"]);
      EXPECT_LE(error, 1e-12);
      std::cout << "svdBackSubstitute " << c.name << " (rank deficient): error " << error << "\n";
      ++tried;
    }
  }
  EXPECT_GE(tried, 9);
}

TEST(SvdBackSubstitute, ZeroSingularValuesContributeNothing) {
  // diag(2, 0, 4): the middle unknown is left at 0 rather than divided by 0.
  decomposition d = decompose({{2, 0, 0}, {0, 0, 0}, {0, 0, 4}});
  const std::vector<double> x = svdBackSubstitute(d.U, d.w, d.V, {6, 5, 8});
  EXPECT_NEAR(x[0], 3, 1e-15);
  EXPECT_EQ(x[1], 0.0);
  EXPECT_NEAR(x[2], 2, 1e-15);
}

TEST(SvdCovariance, MatchesRAndIsExactlySymmetric) {
  int tried = 0;
  for (const matrixCase& c : loadCases()) {
    SCOPED_TRACE(c.name);
    decomposition d = decompose(c.a());
    const char* key = c.has("covariance") ? "covariance" : "pseudoCovariance";
    if (!c.has("covariance")) dropNegligible(d.w);
    const matrix covariance = svdCovariance(d.V, d.w);
    // (A'A)^-1 has the condition number squared.
    const double condition = c.has("condition") ? c.scalar("condition") : 1.0;
    const double error = relativeError(covariance, c.square(key));
    EXPECT_LE(error, c.has("condition") ? 64 * epsilon * condition * condition : 1e-12);
    EXPECT_EQ(covariance, transpose(covariance));
    std::cout << "svdCovariance " << c.name << ": error " << error << "\n";
    ++tried;
  }
  EXPECT_GE(tried, 10);
}

TEST(MatrixSqrtBySvd, MatchesRsEigenRootAndSquaresBack) {
  int tried = 0;
  for (const matrixCase& c : loadCases()) {
    if (!c.has("sqrt")) continue;
    SCOPED_TRACE(c.name);
    const matrix a = c.a();
    const matrix root = matrixSqrtBySvd(a);
    // A root of a singular matrix moves by sqrt(rounding) in the null directions.
    const bool singular = !c.has("condition");
    const double condition = singular ? 1 : c.scalar("condition");
    const double error = relativeError(root, c.square("sqrt"));
    EXPECT_LE(error, singular ? 1e-7 : 64 * epsilon * condition);
    EXPECT_LE(relativeError(product(root, root), a), 64 * epsilon * c.rows);
    std::cout << "matrixSqrtBySvd " << c.name << ": error " << error << "\n";
    ++tried;
  }
  EXPECT_GE(tried, 4);
}

TEST(SvdSolve, FailuresEndTheRun) {
  const char* sizes = "Internal error: problem in SVD\n";
  std::vector<double> w2(2);
  matrix V2(2, std::vector<double>(2));
  const struct {
    const char* name;
    matrix a;
    std::vector<double> w;
    matrix V;
    std::string message;
  } checked[] = {
      {"no rows", {}, {}, {}, "Internal problem: matrix with no rows (inverse function)"},
      {"2 x 3", {{1, 2, 3}, {4, 5, 6}}, w2, V2, "Internal problem: Cannot invert non-square matrix"},
      {"short row", {{1, 2}, {3}}, w2, V2, "Internal problem: Cannot invert non-square matrix"},
      {"w too short", {{1, 2}, {3, 4}}, {0}, V2, sizes},
      {"w too long", {{1, 2}, {3, 4}}, {0, 0, 0}, V2, sizes},
      {"V with 1 row", {{1, 2}, {3, 4}}, w2, {{0, 0}}, sizes},
      {"V with a short row", {{1, 2}, {3, 4}}, w2, {{0, 0}, {0}}, sizes},
  };
  for (const auto& c : checked) {
    SCOPED_TRACE(c.name);
    expectFatal([&] {
      matrix a = c.a, V = c.V;
      std::vector<double> w = c.w;
      svdChecked(a, w, V);
    }, c.message);
  }
  const decomposition d = decompose({{1, 2}, {3, 4}, {5, 6}});
  expectFatal([&] { svdBackSubstitute(d.U, d.w, d.V, {1, 2}); }, sizes);
  expectFatal([&] { svdBackSubstitute(d.U, {1}, d.V, {1, 2, 3}); }, sizes);
  expectFatal([&] { svdCovariance(d.V, {1, 2, 3}); }, sizes);
  expectFatal([] { matrixSqrtBySvd({{1, 2, 3}}); }, "Internal problem: Cannot invert non-square matrix");
}

}  // namespace
