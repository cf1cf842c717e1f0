#include "numerics/eigen.h"

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
const double pi = 3.141592653589793;

matrix randomSymmetric(int n, unsigned seed) {
  std::mt19937_64 engine(seed);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  matrix a(n, std::vector<double>(n));
  for (int i = 0; i < n; i++)
    for (int j = 0; j <= i; j++) a[i][j] = a[j][i] = uniform(engine);
  return a;
}

// max over k of |A v_k - lambda_k v_k| and max |V'V - I|, both against |A|.
struct eigenCheck {
  double residual = 0, orthogonality = 0;
};

eigenCheck check(const matrix& a, const std::vector<double>& values, const matrix& vectors) {
  const int n = a.size();
  eigenCheck result;
  const matrix av = product(a, vectors);
  double norm = largestMagnitude(a) * n;  // bounds the 2-norm of a
  for (int k = 0; k < n; k++)
    for (int i = 0; i < n; i++)
      result.residual = std::max(result.residual, std::fabs(av[i][k] - values[k] * vectors[i][k]) / norm);
  const matrix gram = product(transpose(vectors), vectors);
  for (int i = 0; i < n; i++)
    for (int j = 0; j < n; j++)
      result.orthogonality = std::max(result.orthogonality, std::fabs(gram[i][j] - (i == j)));
  return result;
}

TEST(EigenDecompose, MatchesRsEigenOnSymmetricMatrices) {
  int tried = 0;
  for (const matrixCase& c : loadCases()) {
    if (!c.has("eigenvalues")) continue;
    SCOPED_TRACE(c.name);
    const matrix original = c.a();
    matrix a = original;
    std::vector<double> values;
    matrix vectors;
    eigenDecompose(a, values, vectors);
    // Eigenvalues of a symmetric matrix move by at most the size of the perturbation.
    const double norm = c["svd"][0];
    const std::vector<double> sorted = sortedDescending(values);
    const std::vector<double>& expected = c["eigenvalues"];
    double error = 0;
    for (int i = 0; i < c.rows; i++) error = std::max(error, std::fabs(sorted[i] - expected[i]) / norm);
    EXPECT_LE(error, 16 * c.rows * epsilon);
    const eigenCheck e = check(original, values, vectors);
    EXPECT_LE(e.residual, 16 * c.rows * epsilon);
    EXPECT_LE(e.orthogonality, 16 * c.rows * epsilon);
    // The values alone come out the same, and the input is left as it was.
    EXPECT_EQ(eigenvalues(original), values);
    std::cout << "eigen " << c.name << ": eigenvalue error " << error << " x |A|, residual "
              << e.residual << ", orthogonality " << e.orthogonality << "\n";
    ++tried;
  }
  EXPECT_GE(tried, 6);
}

// The tridiagonal Toeplitz matrix with diagonal alpha and off-diagonal beta has the eigenvalues
// alpha + 2 beta cos(k pi/(n + 1)), k = 1..n.
std::vector<double> toeplitzEigenvalues(int n, double alpha, double beta) {
  std::vector<double> values;
  for (int k = 1; k <= n; k++) values.push_back(alpha + 2 * beta * std::cos(k * pi / (n + 1)));
  return sortedDescending(values);
}

TEST(EigenDecompose, TridiagonalToeplitzMatricesHaveTheirClosedFormEigenvalues) {
  const struct { double alpha, beta; } kinds[] = {{2, -1}, {0, 1}, {-3, 0.5}, {1e5, 3e4}};
  double worst = 0;
  for (const auto& k : kinds) {
    for (int n = 1; n <= 60; n++) {
      SCOPED_TRACE("alpha " + std::to_string(k.alpha) + ", beta " + std::to_string(k.beta) + ", n " +
                   std::to_string(n));
      matrix a(n, std::vector<double>(n, 0.0));
      for (int i = 0; i < n; i++) {
        a[i][i] = k.alpha;
        if (i > 0) a[i][i - 1] = a[i - 1][i] = k.beta;
      }
      const std::vector<double> expected = toeplitzEigenvalues(n, k.alpha, k.beta);
      const double norm = std::fabs(k.alpha) + 2 * std::fabs(k.beta);
      // The full path, and tqli on the tridiagonal form handed in directly (e[0] unused).
      std::vector<double> d(n, k.alpha), e(n, k.beta);
      e[0] = 0;
      matrix z = identity(n);
      tqliWithVectors(d, e, z);
      for (const std::vector<double>& values : {eigenvalues(a), d}) {
        const std::vector<double> sorted = sortedDescending(values);
        for (int i = 0; i < n; i++) {
          EXPECT_NEAR(sorted[i], expected[i], 8 * n * epsilon * norm);
          worst = std::max(worst, std::fabs(sorted[i] - expected[i]) / norm);
        }
      }
      const eigenCheck c = check(a, d, z);
      EXPECT_LE(c.residual, 8 * n * epsilon);
      EXPECT_LE(c.orthogonality, 8 * n * epsilon);
    }
  }
  std::cout << "eigen on tridiagonal Toeplitz matrices n = 1..60: largest eigenvalue error "
            << worst << " x |A|\n";
}

TEST(EigenDecompose, RandomSymmetricMatricesKeepTraceAndNorm) {
  double worst = 0;
  for (int n = 1; n <= 80; n += (n < 12 ? 1 : 17)) {
    for (unsigned seed = 1; seed <= 3; seed++) {
      SCOPED_TRACE("n " + std::to_string(n) + ", seed " + std::to_string(seed));
      const matrix original = randomSymmetric(n, 77 * n + seed);
      matrix a = original;
      std::vector<double> values;
      matrix vectors;
      eigenDecompose(a, values, vectors);
      const eigenCheck c = check(original, values, vectors);
      EXPECT_LE(c.residual, 16 * n * epsilon);
      EXPECT_LE(c.orthogonality, 16 * n * epsilon);
      worst = std::max({worst, c.residual, c.orthogonality});
      // The trace is the sum of the eigenvalues and the squared Frobenius norm that of their squares.
      double trace = 0, frobenius = 0, sum = 0, sumOfSquares = 0;
      for (int i = 0; i < n; i++) {
        trace += original[i][i];
        sum += values[i];
        sumOfSquares += values[i] * values[i];
        for (int j = 0; j < n; j++) frobenius += original[i][j] * original[i][j];
      }
      EXPECT_NEAR(sum, trace, 16 * n * epsilon * std::sqrt(frobenius));
      EXPECT_NEAR(sumOfSquares, frobenius, 16 * n * epsilon * frobenius);
    }
  }
  std::cout << "eigen on random symmetric matrices n = 1..80: largest residual or "
               "orthogonality error "
            << worst << "\n";
}

TEST(EigenDecompose, DiagonalMatricesStayInTheirOrder) {
  // Nothing to rotate: the eigenvalues come out unsorted, in the order of the diagonal.
  matrix a = {{3, 0, 0}, {0, 1, 0}, {0, 0, 2}};
  std::vector<double> values;
  matrix vectors;
  eigenDecompose(a, values, vectors);
  EXPECT_EQ(values, (std::vector<double>{3, 1, 2}));
  EXPECT_EQ(vectors, identity(3));
  EXPECT_EQ(eigenvalues({{3, 0, 0}, {0, 1, 0}, {0, 0, 2}}), (std::vector<double>{3, 1, 2}));
  EXPECT_TRUE(eigenvalues({}).empty());
}

TEST(Tridiagonalize, IsAnOrthogonalSimilarityToTheTridiagonalForm) {
  for (int n : {1, 2, 3, 5, 9, 20}) {
    SCOPED_TRACE(n);
    const matrix original = randomSymmetric(n, 500 + n);
    matrix q = original;
    std::vector<double> d, e;
    tridiagonalizeWithVectors(q, d, e);
    ASSERT_EQ(d.size(), size_t(n));
    ASSERT_EQ(e.size(), size_t(n));
    EXPECT_EQ(e[0], 0.0);
    matrix t(n, std::vector<double>(n, 0.0));
    for (int i = 0; i < n; i++) {
      t[i][i] = d[i];
      if (i > 0) t[i][i - 1] = t[i - 1][i] = e[i];
    }
    EXPECT_LE(relativeError(product(product(transpose(q), original), q), t), 16 * n * epsilon);
    EXPECT_LE(relativeError(product(transpose(q), q), identity(n)), 16 * n * epsilon);
    // Without the transformation the same form comes out, bit for bit.
    matrix work = original;
    std::vector<double> d2, e2;
    tridiagonalize(work, d2, e2);
    EXPECT_EQ(d2, d);
    EXPECT_EQ(e2, e);
  }
}

TEST(EigenDecompose, RunsOnManyThreadsAtOnceWithTheSerialResults) {
  std::vector<matrix> inputs;
  std::vector<std::vector<double>> serial;
  for (int i = 0; i < 300; i++) {
    inputs.push_back(randomSymmetric(2 + i % 11, i));
    matrix a = inputs.back(), vectors;
    serial.emplace_back();
    eigenDecompose(a, serial.back(), vectors);
  }
  std::vector<int> mismatches(8, 0);
  std::vector<std::thread> pool;
  for (int t = 0; t < 8; t++)
    pool.emplace_back([&, t] {
      for (size_t i = 0; i < inputs.size(); i++) {
        matrix a = inputs[i], vectors;
        std::vector<double> values;
        eigenDecompose(a, values, vectors);
        mismatches[t] += values != serial[i];
      }
    });
  for (auto& thread : pool) thread.join();
  EXPECT_EQ(mismatches, std::vector<int>(8, 0));
}

TEST(EigenDecompose, FailuresEndTheRun) {
  const char* square = "Internal error: eigen decomposition of a non-square matrix";
  expectFatal([&] {
    matrix a = {{1, 2, 3}, {2, 1, 0}}, vectors;
    std::vector<double> values;
    eigenDecompose(a, values, vectors);
  }, square);
  expectFatal([&] { eigenvalues({{1, 2}, {2}}); }, square);
  // A matrix that holds a NaN never splits: the sweeps run out.
  expectFatal([] { eigenvalues({{1, 2}, {2, std::nan("")}}); }, "Internal problem in tqli routine");
  expectFatal([] {
    matrix a = {{1, 2, 0}, {2, std::nan(""), 1}, {0, 1, 3}}, vectors;
    std::vector<double> values;
    eigenDecompose(a, values, vectors);
  }, "Internal problem in tqli routine");
  const char* conformable = "Internal error: non-conformable arguments in tqli";
  expectFatal([&] {
    std::vector<double> d = {1, 2, 3}, e = {0, 1};
    tqli(d, e);
  }, conformable);
  expectFatal([&] {
    std::vector<double> d = {1, 2}, e = {0, 1};
    matrix z = identity(3);
    tqliWithVectors(d, e, z);
  }, conformable);
}

}  // namespace
