#include "numerics/svd.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <iostream>
#include <limits>
#include <random>
#include <string>
#include <thread>

namespace {

const double inf = std::numeric_limits<double>::infinity();

std::string shape(const matrix& a) {
  return std::to_string(a.size()) + " x " + std::to_string(a.empty() ? 0 : a[0].size());
}

matrix randomMatrix(int rows, int columns, unsigned seed) {
  std::mt19937_64 engine(seed);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  matrix a(rows, std::vector<double>(columns));
  for (auto& row : a)
    for (double& x : row) x = uniform(engine);
  return a;
}

// The test's own product and transpose, so that no check leans on multMatrix.
matrix product(const matrix& a, const matrix& b) {
  matrix p(a.size(), std::vector<double>(b[0].size(), 0.0));
  for (size_t i = 0; i < a.size(); i++)
    for (size_t j = 0; j < b[0].size(); j++)
      for (size_t k = 0; k < b.size(); k++) p[i][j] += a[i][k] * b[k][j];
  return p;
}

matrix transpose(const matrix& a) {
  matrix t(a[0].size(), std::vector<double>(a.size()));
  for (size_t i = 0; i < a.size(); i++)
    for (size_t j = 0; j < a[0].size(); j++) t[j][i] = a[i][j];
  return t;
}

matrix identity(int n) {
  matrix e(n, std::vector<double>(n, 0.0));
  for (int i = 0; i < n; i++) e[i][i] = 1.0;
  return e;
}

double largestMagnitude(const matrix& a) {
  double largest = 0.0;
  for (const auto& row : a)
    for (double x : row) largest = std::max(largest, std::fabs(x));
  return largest;
}

// max |a - b| / max |b|: the relative error of a against the reference b.
double relativeError(const matrix& a, const matrix& b) {
  double largest = 0.0;
  for (size_t i = 0; i < b.size(); i++)
    for (size_t j = 0; j < b[i].size(); j++) largest = std::max(largest, std::fabs(a[i][j] - b[i][j]));
  return largest / largestMagnitude(b);
}

struct decomposition {
  matrix U;
  std::vector<double> w;
  matrix V;
};

decomposition decompose(matrix a) {
  const size_t n = a[0].size();
  decomposition d{a, std::vector<double>(n), matrix(n, std::vector<double>(n))};
  svd(d.U, d.w, d.V);
  return d;
}

matrix reconstruct(const decomposition& d) {
  matrix scaled = d.U;
  for (auto& row : scaled)
    for (size_t l = 0; l < d.w.size(); l++) row[l] *= d.w[l];
  return product(scaled, transpose(d.V));
}

// Inverse by Gauss-Jordan elimination with partial pivoting: the independent check.
matrix gaussJordanInverse(matrix a) {
  const int n = a.size();
  matrix inverse = identity(n);
  for (int c = 0; c < n; c++) {
    int pivot = c;
    for (int r = c + 1; r < n; r++)
      if (std::fabs(a[r][c]) > std::fabs(a[pivot][c])) pivot = r;
    std::swap(a[c], a[pivot]);
    std::swap(inverse[c], inverse[pivot]);
    const double p = a[c][c];
    for (int j = 0; j < n; j++) {
      a[c][j] /= p;
      inverse[c][j] /= p;
    }
    for (int r = 0; r < n; r++) {
      if (r == c) continue;
      const double f = a[r][c];
      for (int j = 0; j < n; j++) {
        a[r][j] -= f * a[c][j];
        inverse[r][j] -= f * inverse[c][j];
      }
    }
  }
  return inverse;
}

// Information matrix X'VX of a logistic design: intercept plus k - 1 predictors over n rows.
matrix informationMatrix(int n, int k, unsigned seed) {
  matrix x = randomMatrix(n, k, seed);
  std::mt19937_64 engine(seed + 1);
  std::uniform_real_distribution<double> probability(0.05, 0.95);
  for (auto& row : x) {
    row[0] = 1.0;
    const double p = probability(engine);
    for (double& v : row) v *= std::sqrt(p * (1 - p));
  }
  return product(transpose(x), x);
}

// Runs a statement that must end the process through fatalError with the given message.
void expectFatal(const std::function<void()>& statement, const std::string& message) {
  EXPECT_EXIT(
      {
        dup2(STDERR_FILENO, STDOUT_FILENO);
        statement();
      },
      testing::ExitedWithCode(1), testing::Eq("\nERROR: " + message + "\n"));
}

TEST(Hypotenuse, AvoidsOverflowAndUnderflow) {
  struct { double a, b, expected; } cases[] = {
      {3, 4, 5}, {-4, 3, 5}, {0, 0, 0}, {0, -2.5, 2.5}, {-7, 0, 7},
      {1e200, 1e200, std::hypot(1e200, 1e200)},
      {1e-200, 3e-200, std::hypot(1e-200, 3e-200)},
      {1e300, 1, 1e300},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.a) + ", " + std::to_string(c.b));
    EXPECT_NEAR(hypotenuse(c.a, c.b), c.expected, 2e-16 * c.expected);
  }
  EXPECT_NEAR(hypotenuse(1e200, 1e200), 1.4142135623730951e200, 1e185);
}

TEST(Svd, ReconstructsRandomMatricesOfManyShapes) {
  struct { int rows, columns; double scale; } shapes[] = {
      {1, 1, 1},    {2, 2, 1},     {3, 2, 1},   {2, 3, 1},      {3, 7, 1},   {1, 4, 1},
      {4, 1, 1},    {5, 5, 1},     {10, 10, 1}, {11, 10, 1},    {50, 7, 1},  {500, 5, 1},
      {500, 10, 1}, {6, 6, 1e200}, {6, 4, 1e-200}, {8, 8, 1e90}, {7, 3, 1e-90},
  };
  double worst = 0.0;
  for (const auto& s : shapes) {
    for (unsigned seed = 1; seed <= 5; seed++) {
      matrix a = randomMatrix(s.rows, s.columns, seed * 1000 + s.rows * 10 + s.columns);
      for (auto& row : a)
        for (double& x : row) x *= s.scale;
      SCOPED_TRACE(shape(a) + " times " + std::to_string(s.scale) + ", seed " + std::to_string(seed));
      const decomposition d = decompose(a);
      for (double x : d.w) EXPECT_GE(x, 0.0);
      const double error = relativeError(reconstruct(d), a);
      EXPECT_LE(error, 1e-12);
      worst = std::max(worst, error);
      // Reconstruction with orthonormal factors makes w the singular values.
      EXPECT_LE(relativeError(product(transpose(d.V), d.V), identity(s.columns)), 1e-12);
      if (s.rows >= s.columns) {
        EXPECT_LE(relativeError(product(transpose(d.U), d.U), identity(s.columns)), 1e-12);
      }
    }
  }
  RecordProperty("largestRelativeReconstructionError", std::to_string(worst));
  std::cout << "largest relative reconstruction error: " << worst << "\n";
}

TEST(Svd, SingularValuesMatchR) {
  // R: svd(m)$d; our order is whatever the diagonalisation leaves, so both are sorted.
  struct { matrix a; std::vector<double> expected; } cases[] = {
      {{{1, 2, 3}, {4, 5, 6}}, {9.50803200069572441, 0.77286963567348443, 0.0}},
      {{{2, -1, 0}, {1, 3, 2}, {0, 1, 4}, {5, 2, 1}},
       {6.5366910757189212, 4.3148714533932973, 2.1572098000213664}},
      {{{1, 2, 3}, {4, 5, 6}, {7, 8, 10}}, {17.41250516680859306, 0.87516135011043639, 0.19686652111743000}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(shape(c.a));
    std::vector<double> w = decompose(c.a).w;
    std::sort(w.rbegin(), w.rend());
    for (size_t i = 0; i < w.size(); i++) EXPECT_NEAR(w[i], c.expected[i], 1e-14 * c.expected[0]);
  }
}

TEST(Svd, LeavesSingularValuesUnsortedAndNonNegative) {
  struct { matrix a; std::vector<double> w; } cases[] = {
      {{{-2, 0}, {0, 3}}, {2, 3}},
      {{{3, 0}, {0, -2}}, {3, 2}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.a[0][0]);
    const decomposition d = decompose(c.a);
    EXPECT_DOUBLE_EQ(d.w[0], c.w[0]);
    EXPECT_DOUBLE_EQ(d.w[1], c.w[1]);
    EXPECT_LE(relativeError(reconstruct(d), c.a), 1e-15);
  }
  // A 2 x 3 matrix has a third singular value of exactly 0, and it stays last.
  const decomposition wide = decompose({{1, 2, 3}, {4, 5, 6}});
  EXPECT_NEAR(wide.w[0], 9.50803200069572441, 1e-13);
  EXPECT_NEAR(wide.w[1], 0.77286963567348443, 1e-14);
  EXPECT_EQ(wide.w[2], 0.0);
}

TEST(Svd, NeverReadsTheOldContentsOfWAndV) {
  const matrix a = randomMatrix(6, 4, 7);
  matrix u = a;
  std::vector<double> w(4, std::nan(""));
  matrix V(4, std::vector<double>(4, std::nan("")));
  svd(u, w, V);
  EXPECT_LE(relativeError(reconstruct({u, w, V}), a), 1e-13);
  EXPECT_EQ(decompose(a).w, w);
}

TEST(Svd, EmptyRowZeroDoesNothing) {
  matrix a(3);
  std::vector<double> w = {7};
  matrix V = {{8}};
  svd(a, w, V);
  EXPECT_EQ(a, matrix(3));
  EXPECT_EQ(w, std::vector<double>{7});
  EXPECT_EQ(V, (matrix{{8}}));
}

TEST(Svd, NonFiniteInputGivesNaNWithoutEndingTheRun) {
  for (double bad : {inf, -inf, std::nan("")}) {
    SCOPED_TRACE(bad);
    matrix a = {{1, 2}, {3, bad}, {5, 6}};
    const decomposition d = decompose(a);
    for (const matrix& m : {d.U, d.V})
      for (const auto& row : m)
        for (double x : row) EXPECT_TRUE(std::isnan(x));
    for (double x : d.w) EXPECT_TRUE(std::isnan(x));
  }
}

TEST(InverseBySvd, MatchesClosedFormsAndR) {
  struct { matrix a, inverse; } cases[] = {
      {identity(1), identity(1)},
      {identity(4), identity(4)},
      {{{4}}, {{0.25}}},
      // [[a, b], [b, d]]^-1 = [[d, -b], [-b, a]] / (ad - b^2)
      {{{4, 2}, {2, 3}}, {{3.0 / 8, -2.0 / 8}, {-2.0 / 8, 4.0 / 8}}},
      {{{2, -1}, {-1, 2}}, {{2.0 / 3, 1.0 / 3}, {1.0 / 3, 2.0 / 3}}},
      // R: solve(matrix(c(4, 1, 0.5, 1, 3, 0.2, 0.5, 0.2, 2), 3))
      {{{4, 1, 0.5}, {1, 3, 0.2}, {0.5, 0.2, 2}},
       {{0.279943635509628919, -0.089243776420854862, -0.061061531235321737},
        {-0.089243776420854862, 0.364020666979802732, -0.014091122592766557},
        {-0.061061531235321743, -0.014091122592766559, 0.516674495068107031}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(shape(c.a) + " starting " + std::to_string(c.a[0][0]));
    matrix a = c.a;
    EXPECT_LE(relativeError(inverseBySvd(a), c.inverse), 1e-15);
  }
}

TEST(InverseBySvd, MatchesGaussJordanOnRandomAndInformationMatrices) {
  for (int n = 1; n <= 10; n++) {
    for (unsigned seed = 1; seed <= 5; seed++) {
      SCOPED_TRACE("n " + std::to_string(n) + ", seed " + std::to_string(seed));
      const matrix general = randomMatrix(n, n, 100 * n + seed);
      matrix a = general;
      EXPECT_LE(relativeError(inverseBySvd(a), gaussJordanInverse(general)), 1e-11);

      const matrix information = informationMatrix(500, n, 200 * n + seed);
      a = information;
      const matrix inverse = inverseBySvd(a);
      EXPECT_LE(relativeError(inverse, gaussJordanInverse(information)), 1e-11);
      EXPECT_LE(relativeError(inverse, transpose(inverse)), 1e-13);
    }
  }
}

TEST(InverseBySvd, IllConditionedHilbertMatricesMatchTheirExactInverse) {
  auto binomial = [](int n, int k) {
    double c = 1;
    for (int i = 1; i <= k; i++) c = c * (n - k + i) / i;
    return c;
  };
  // Condition numbers (2-norm) of the Hilbert matrices of order 4 to 8.
  const double condition[] = {1.55e4, 4.77e5, 1.50e7, 4.75e8, 1.53e10};
  for (int n = 4; n <= 8; n++) {
    SCOPED_TRACE(n);
    matrix hilbert(n, std::vector<double>(n)), exact(n, std::vector<double>(n));
    for (int i = 1; i <= n; i++)
      for (int j = 1; j <= n; j++) {
        hilbert[i - 1][j - 1] = 1.0 / (i + j - 1);
        const double c = binomial(i + j - 2, i - 1);
        exact[i - 1][j - 1] = ((i + j) % 2 ? -1 : 1) * (i + j - 1) * binomial(n + i - 1, n - j) *
                              binomial(n + j - 1, n - i) * c * c;
      }
    EXPECT_LE(relativeError(inverseBySvd(hilbert), exact), 1e-14 * condition[n - 4]);
  }
}

TEST(InverseBySvd, NearlySingularMatrixIsStillInverted) {
  const double d = 1 + 1e-10;
  const double det = d - 1;  // exact: the determinant of the stored matrix
  matrix a = {{1, 1}, {1, d}};
  const matrix exact = {{d / det, -1 / det}, {-1 / det, 1 / det}};
  EXPECT_LE(relativeError(inverseBySvd(a), exact), 1e-5);  // condition number 4e10
}

TEST(InverseBySvd, ExactlySingularMatricesGiveThePseudoInverse) {
  struct { matrix a, pseudoInverse; } cases[] = {
      {{{1, 1}, {1, 1}}, {{0.25, 0.25}, {0.25, 0.25}}},
      {{{1, 0, 0}, {0, 0, 0}, {0, 0, 2}}, {{1, 0, 0}, {0, 0, 0}, {0, 0, 0.5}}},
      {{{2, 0, 1}, {0, 0, 0}, {1, 0, 2}}, {{2.0 / 3, 0, -1.0 / 3}, {0, 0, 0}, {-1.0 / 3, 0, 2.0 / 3}}},
      {{{1, 1, 0}, {1, 1, 0}, {0, 0, 4}}, {{0.25, 0.25, 0}, {0.25, 0.25, 0}, {0, 0, 0.25}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(shape(c.a) + " starting " + std::to_string(c.a[0][1]));
    matrix work = c.a;
    const matrix plus = inverseBySvd(work);
    EXPECT_LE(relativeError(plus, c.pseudoInverse), 1e-15);
    // The Penrose conditions define the pseudo-inverse by themselves.
    EXPECT_LE(relativeError(product(product(c.a, plus), c.a), c.a), 1e-15);
    EXPECT_LE(relativeError(product(product(plus, c.a), plus), plus), 1e-15);
    const matrix ap = product(c.a, plus), pa = product(plus, c.a);
    EXPECT_LE(relativeError(transpose(ap), ap), 1e-15);
    EXPECT_LE(relativeError(transpose(pa), pa), 1e-15);
  }
}

TEST(InverseBySvd, DropsOnlySingularValuesBelow1e24TimesTheLargest) {
  struct { double large, small, invertedSmall; } cases[] = {
      {1, 1e-20, 1e20},  // tiny but kept
      {4, 5e-24, 2e23},  // just above the threshold 4e-24
      {4, 3e-24, 0},     // just below it
      {1, 1e-25, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.small));
    matrix a = {{c.large, 0}, {0, c.small}};
    const matrix inverse = inverseBySvd(a);
    EXPECT_NEAR(inverse[0][0], 1 / c.large, 1e-16);
    EXPECT_NEAR(inverse[1][1], c.invertedSmall, 1e-15 * c.invertedSmall);
    EXPECT_EQ(inverse[0][1], 0.0);
    EXPECT_EQ(inverse[1][0], 0.0);
  }
}

TEST(InverseBySvd, ZeroMatrixDropsNothingAndGivesNonFiniteEntries) {
  matrix zero = {{0}};
  EXPECT_EQ(inverseBySvd(zero), (matrix{{inf}}));
  matrix zeros = {{0, 0}, {0, 0}};
  for (const auto& row : inverseBySvd(zeros))
    for (double x : row) EXPECT_FALSE(std::isfinite(x));
}

TEST(InverseBySvd, NonFiniteInputGivesNaN) {
  matrix a = {{1, inf}, {0, 1}};
  for (const auto& row : inverseBySvd(a))
    for (double x : row) EXPECT_TRUE(std::isnan(x));
}

TEST(MultMatrix, ProductReplacesWhateverPHeld) {
  const matrix a = {{1, 2, 3}, {4, 5, 6}}, b = {{1}, {0}, {-1}};
  matrix p = {{9, 9, 9}, {9, 9, 9}, {9, 9, 9}};
  multMatrix(a, b, p);
  EXPECT_EQ(p, (matrix{{-2}, {-2}}));

  const matrix tall = randomMatrix(500, 7, 3), wide = transpose(randomMatrix(500, 7, 4));
  multMatrix(wide, tall, p);
  EXPECT_EQ(p, product(wide, tall));  // the same sums in the same order

  const matrix noColumns(3);
  multMatrix(a, noColumns, p);
  EXPECT_EQ(p, matrix(2));
}

TEST(MultMatrix, ResultMayBeOneOfTheOperands) {
  matrix a = {{1, 2}, {3, 4}};
  multMatrix(a, a, a);
  EXPECT_EQ(a, (matrix{{7, 10}, {15, 22}}));
}

TEST(MatrixRoutines, RunOnManyThreadsAtOnceWithTheSerialResults) {
  const int threads = 8, perThread = 300;
  std::vector<matrix> inputs, expected;
  for (int i = 0; i < threads * perThread; i++) {
    inputs.push_back(informationMatrix(40, 2 + i % 8, i));
    matrix a = inputs.back();
    expected.push_back(inverseBySvd(a));
  }
  std::vector<int> mismatches(threads, 0);
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; t++)
    pool.emplace_back([&, t] {
      for (int i = t * perThread; i < (t + 1) * perThread; i++) {
        matrix a = inputs[i], square;
        multMatrix(a, identity(a.size()), square);
        if (inverseBySvd(square) != expected[i]) mismatches[t]++;
      }
    });
  for (auto& thread : pool) thread.join();
  for (int t = 0; t < threads; t++) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
}

TEST(MatrixRoutinesDeathTest, FailuresEndWithTheirMessages) {
  struct { std::function<void()> call; std::string message; } cases[] = {
      {[] { matrix a, V; std::vector<double> w; svd(a, w, V); },
       "Internal problem in SVD function (no observations left?)"},
      {[] { matrix a; inverseBySvd(a); }, "Internal problem: matrix with no rows (inverse function)"},
      {[] { matrix a = {{1, 2, 3}, {4, 5, 6}}; inverseBySvd(a); },
       "Internal problem: Cannot invert non-square matrix"},
      {[] { matrix a = {{1, 2}}; inverseBySvd(a); }, "Internal problem: Cannot invert non-square matrix"},
      {[] { matrix p; multMatrix({}, {{1}}, p); }, "Internal error: multiplying 0-sized matrices"},
      {[] { matrix p; multMatrix({{1}}, {}, p); }, "Internal error: multiplying 0-sized matrices"},
      {[] { matrix p; multMatrix({{1, 2, 3}, {4, 5, 6}}, {{1, 2, 3}, {4, 5, 6}}, p); },
       "Internal error: non-conformable matrices in multMatrix()"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    expectFatal(c.call, c.message);
  }
}

}  // namespace
