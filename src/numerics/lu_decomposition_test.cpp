#include "numerics/lu_decomposition.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <random>
#include <string>
#include <thread>

#include "numerics/fatal_error_expectation.h"
#include "numerics/linear_algebra_oracles.h"

namespace {

using namespace oracle;
using numericstest::expectFatal;

struct factors {
  matrix lu;
  std::vector<int> permutation;
  double parity = 0;
};

factors decompose(const matrix& a) {
  factors f{a, {}, 0};
  ludcmp(f.lu, f.permutation, f.parity);
  return f;
}

// P A: the rows of a exchanged as the permutation records, in order.
matrix permuteRows(matrix a, const std::vector<int>& permutation) {
  for (size_t i = 0; i < permutation.size(); i++) std::swap(a[i], a[permutation[i]]);
  return a;
}

// L U multiplied out from the packed factors (unit diagonal of L implied).
matrix multiplyFactors(const matrix& lu) {
  const int n = lu.size();
  matrix l = identity(n), u(n, std::vector<double>(n, 0.0));
  for (int i = 0; i < n; i++)
    for (int j = 0; j < n; j++) (j < i ? l[i][j] : u[i][j]) = lu[i][j];
  return product(l, u);
}

matrix randomMatrix(int n, unsigned seed) {
  std::mt19937_64 engine(seed);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  matrix a(n, std::vector<double>(n));
  for (auto& row : a)
    for (double& x : row) x = uniform(engine);
  return a;
}

TEST(Lu, InverseSolveAndDeterminantMatchR) {
  double worst = 0;
  std::string worstCase;
  int tried = 0;
  for (const matrixCase& c : loadCases()) {
    if (!c.has("inverse")) continue;
    SCOPED_TRACE(c.name);
    ++tried;
    const matrix a = c.a();
    // Backward-stable: each result is off by at most a small multiple of eps times the
    // condition number.
    const double tolerance = 64 * epsilon * c.scalar("condition");
    const double inverseError = relativeError(inverseByLu(a), c.square("inverse"));
    EXPECT_LE(inverseError, tolerance);

    factors f = decompose(a);
    std::vector<double> x = c["b"];
    luBackSubstitute(f.lu, f.permutation, x);
    const double solveError = relativeError(x, c["x"]);
    EXPECT_LE(solveError, tolerance);

    double determinant = f.parity;
    for (int i = 0; i < c.rows; i++) determinant *= f.lu[i][i];
    const double determinantError = std::fabs(determinant / c.scalar("det") - 1);
    EXPECT_LE(determinantError, c.rows * tolerance);

    for (double e : {inverseError, solveError}) {
      if (e / (epsilon * c.scalar("condition")) > worst) {
        worst = e / (epsilon * c.scalar("condition"));
        worstCase = c.name;
      }
    }
    std::cout << "LU " << c.name << " (condition " << c.scalar("condition")
              << "): inverse error " << inverseError << ", solve error " << solveError
              << ", determinant error " << determinantError << "\n";
  }
  EXPECT_GE(tried, 7);
  std::cout << "LU: largest error " << worst << " eps x condition (" << worstCase << ")\n";
}

TEST(Lu, FactorsReproduceThePermutedMatrixAndSolvesAreBackwardStable) {
  double worstFactor = 0, worstResidual = 0;
  for (int n = 1; n <= 60; n += (n < 10 ? 1 : 7)) {
    for (unsigned seed = 1; seed <= 3; seed++) {
      SCOPED_TRACE("n " + std::to_string(n) + ", seed " + std::to_string(seed));
      const matrix a = randomMatrix(n, 1000 * n + seed);
      const factors f = decompose(a);
      ASSERT_EQ(f.permutation.size(), size_t(n));
      const double factorError = relativeError(multiplyFactors(f.lu), permuteRows(a, f.permutation));
      EXPECT_LE(factorError, 8 * n * epsilon);
      worstFactor = std::max(worstFactor, factorError);
      // The parity follows the number of exchanges.
      int exchanges = 0;
      for (int i = 0; i < n; i++) exchanges += f.permutation[i] != i;
      EXPECT_EQ(f.parity, exchanges % 2 ? -1.0 : 1.0);

      std::vector<double> b(n), x(n);
      for (int i = 0; i < n; i++) b[i] = std::sin(i + seed);
      x = b;
      luBackSubstitute(f.lu, f.permutation, x);
      // |A x - b| relative to |A| |x|: the backward error.
      double residual = 0, scale = largestMagnitude(a) * largestMagnitude({x});
      for (int i = 0; i < n; i++) {
        double r = -b[i];
        for (int j = 0; j < n; j++) r += a[i][j] * x[j];
        residual = std::max(residual, std::fabs(r));
      }
      EXPECT_LE(residual / scale, 8 * n * epsilon);
      worstResidual = std::max(worstResidual, residual / scale);
    }
  }
  std::cout << "LU on random matrices n = 1..60: largest factor error " << worstFactor
            << ", largest backward error " << worstResidual << "\n";
}

TEST(Lu, PivotingChoices) {
  const struct {
    const char* name;
    matrix a;
    std::vector<int> permutation;
    double parity;
    matrix lu;
  } cases[] = {
      // Equal scaled candidates: the later row wins.
      {"tie goes to the later row", {{1, 1}, {1, 0}}, {1, 1}, -1, {{1, 0}, {1, 1}}},
      // Row 0 has the larger element but row 1 the larger one relative to its row.
      {"implicit scaling", {{2, 1e6}, {1, 1}}, {1, 1}, -1, {{1, 1}, {2, 1e6 - 2}}},
      {"no exchange", {{4, 1}, {2, 3}}, {0, 1}, 1, {{4, 1}, {0.5, 2.5}}},
      // Singular without a zero row: the zero pivot becomes 1e-20 and the run goes on.
      {"zero pivot", {{1, 2}, {2, 4}}, {1, 1}, -1, {{2, 4}, {0.5, 1e-20}}},
      {"1 x 1", {{-3}}, {0}, 1, {{-3}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const factors f = decompose(c.a);
    EXPECT_EQ(f.permutation, c.permutation);
    EXPECT_EQ(f.parity, c.parity);
    EXPECT_EQ(f.lu, c.lu);
  }
}

TEST(Lu, ZeroRightHandSideAndLeadingZeros) {
  const matrix a = randomMatrix(6, 42);
  const factors f = decompose(a);
  std::vector<double> zero(6, 0.0);
  luBackSubstitute(f.lu, f.permutation, zero);
  EXPECT_EQ(zero, std::vector<double>(6, 0.0));
  // Every unit vector, including those whose leading elements are zero after the permutation,
  // solves to the matching column of the inverse: A x = e_k checked directly.
  for (int k = 0; k < 6; k++) {
    std::vector<double> x(6, 0.0);
    x[k] = 1;
    luBackSubstitute(f.lu, f.permutation, x);
    for (int i = 0; i < 6; i++) {
      double ax = 0;
      for (int j = 0; j < 6; j++) ax += a[i][j] * x[j];
      EXPECT_NEAR(ax, i == k ? 1.0 : 0.0, 1e-13) << k << ", " << i;
    }
  }
}

TEST(Lu, RunsOnManyThreadsAtOnceWithTheSerialResults) {
  std::vector<matrix> inputs, serial;
  for (int i = 0; i < 400; i++) {
    inputs.push_back(randomMatrix(2 + i % 9, i));
    serial.push_back(inverseByLu(inputs.back()));
  }
  std::vector<int> mismatches(8, 0);
  std::vector<std::thread> pool;
  for (int t = 0; t < 8; t++)
    pool.emplace_back([&, t] {
      for (size_t i = 0; i < inputs.size(); i++) mismatches[t] += inverseByLu(inputs[i]) != serial[i];
    });
  for (auto& thread : pool) thread.join();
  EXPECT_EQ(mismatches, std::vector<int>(8, 0));
}

TEST(Lu, FailuresEndTheRun) {
  std::vector<int> permutation;
  double parity = 0;
  const struct { const char* name; matrix a; const char* message; } decompositions[] = {
      {"a row of zeros", {{1, 2}, {0, 0}}, "singular matrix in ludcmp"},
      {"not square", {{1, 2, 3}, {4, 5, 6}}, "Internal error: non-square matrix in ludcmp"},
      {"a short row", {{1, 2}, {3}}, "Internal error: non-square matrix in ludcmp"},
  };
  for (const auto& c : decompositions) {
    SCOPED_TRACE(c.name);
    expectFatal([&] {
      matrix a = c.a;
      ludcmp(a, permutation, parity);
    }, c.message);
  }
  expectFatal([] { inverseByLu({}); }, "Internal error: matrix with no rows (inverse function)");
  expectFatal([] { inverseByLu({{1, 2}}); }, "Internal error: cannot invert non-square matrix");
  expectFatal([] { inverseByLu({{1, 2}, {3, 4, 5}}); },
              "Internal error: cannot invert non-square matrix");
  expectFatal([] { inverseByLu({{0, 0}, {0, 0}}); }, "singular matrix in ludcmp");

  const factors f = decompose({{4, 1}, {2, 3}});
  const char* conformable = "Internal error: non-conformable arguments in luBackSubstitute()";
  expectFatal([&] {
    std::vector<double> b = {1, 2, 3};
    luBackSubstitute(f.lu, f.permutation, b);
  }, conformable);
  expectFatal([&] {
    std::vector<double> b = {1, 2};
    luBackSubstitute(f.lu, {0, 2}, b);
  }, conformable);
  expectFatal([&] {
    std::vector<double> b = {1, 2};
    luBackSubstitute(f.lu, {0}, b);
  }, conformable);
}

}  // namespace
