#include "numerics/eigen.h"

#include <cmath>

#include "numerics/fatal_error.h"
#include "numerics/matrix_shape.h"
#include "numerics/svd.h"

namespace {

constexpr int maxSweeps = 30;

void requireSquare(const matrix& a) {
  if (!isSquare(a))
    fatalError("Internal error: eigen decomposition of a non-square matrix");
}

double withSignOf(double magnitude, double sign) {
  return sign >= 0.0 ? std::fabs(magnitude) : -std::fabs(magnitude);
}

// Householder reduction of rows n-1 down to 1; withVectors keeps what the accumulation of Q
// needs (the scaled Householder vectors above the diagonal and d as the test of each step).
void householderReduction(matrix& a, std::vector<double>& d, std::vector<double>& e,
                          bool withVectors) {
  const int n = static_cast<int>(a.size());
  d.assign(n, 0.0);
  e.assign(n, 0.0);
  for (int i = n - 1; i >= 1; i--) {
    const int l = i - 1;
    double h = 0.0;
    if (l > 0) {
      double scale = 0.0;
      for (int k = 0; k <= l; k++) scale += std::fabs(a[i][k]);
      if (scale == 0.0) {
        e[i] = a[i][l];  // the row is already reduced
      } else {
        for (int k = 0; k <= l; k++) {
          a[i][k] /= scale;
          h += a[i][k] * a[i][k];
        }
        double f = a[i][l];
        double g = f >= 0.0 ? -std::sqrt(h) : std::sqrt(h);
        e[i] = scale * g;
        h -= f * g;
        a[i][l] = f - g;
        f = 0.0;
        for (int j = 0; j <= l; j++) {
          if (withVectors) a[j][i] = a[i][j] / h;
          g = 0.0;
          for (int k = 0; k <= j; k++) g += a[j][k] * a[i][k];
          for (int k = j + 1; k <= l; k++) g += a[k][j] * a[i][k];
          e[j] = g / h;
          f += e[j] * a[i][j];
        }
        const double hh = f / (h + h);
        for (int j = 0; j <= l; j++) {
          f = a[i][j];
          e[j] = g = e[j] - hh * f;
          for (int k = 0; k <= j; k++) a[j][k] -= f * e[k] + g * a[i][k];
        }
      }
    } else {
      e[i] = a[i][l];
    }
    d[i] = h;
  }
  if (n > 0) {
    d[0] = 0.0;
    e[0] = 0.0;
  }
}

// Builds Q in a from the Householder vectors left by the reduction; d takes the diagonal.
void accumulateTransformations(matrix& a, std::vector<double>& d) {
  const int n = static_cast<int>(a.size());
  for (int i = 0; i < n; i++) {
    if (d[i] != 0.0) {
      for (int j = 0; j < i; j++) {
        double g = 0.0;
        for (int k = 0; k < i; k++) g += a[i][k] * a[k][j];
        for (int k = 0; k < i; k++) a[k][j] -= g * a[k][i];
      }
    }
    d[i] = a[i][i];
    a[i][i] = 1.0;
    for (int j = 0; j < i; j++) a[j][i] = a[i][j] = 0.0;
  }
}

// The implicit QL iterations; z (when given) receives every rotation.
void qlIterations(std::vector<double>& d, std::vector<double>& e, matrix* z) {
  const int n = static_cast<int>(d.size());
  if (e.size() != d.size() || (z && !isSquareOfOrder(*z, d.size())))
    fatalError("Internal error: non-conformable arguments in tqli");
  if (n == 0) return;
  // Renumber the subdiagonal so that e[i] links rows i and i + 1.
  for (int i = 1; i < n; i++) e[i - 1] = e[i];
  e[n - 1] = 0.0;
  for (int l = 0; l < n; l++) {
    int iterations = 0;
    int m;
    do {
      // A negligible e[m] splits the matrix: the block from l to m is iterated on.
      for (m = l; m < n - 1; m++) {
        const double dd = std::fabs(d[m]) + std::fabs(d[m + 1]);
        if (std::fabs(e[m]) + dd == dd) break;
      }
      if (m == l) break;
      if (iterations++ == maxSweeps) fatalError("Internal problem in tqli routine");
      double g = (d[l + 1] - d[l]) / (2.0 * e[l]);
      double r = hypotenuse(g, 1.0);
      g = d[m] - d[l] + e[l] / (g + withSignOf(r, g));
      double s = 1.0, c = 1.0, p = 0.0;
      int i;
      for (i = m - 1; i >= l; i--) {
        double f = s * e[i];
        const double b = c * e[i];
        e[i + 1] = r = hypotenuse(f, g);
        if (r == 0.0) {
          // Underflow: take the shift back and iterate again on the same block.
          d[i + 1] -= p;
          e[m] = 0.0;
          break;
        }
        s = f / r;
        c = g / r;
        g = d[i + 1] - p;
        r = (d[i] - g) * s + 2.0 * c * b;
        d[i + 1] = g + (p = s * r);
        g = c * r - b;
        if (z) {
          for (auto& row : *z) {
            f = row[i + 1];
            row[i + 1] = s * row[i] + c * f;
            row[i] = c * row[i] - s * f;
          }
        }
      }
      if (r == 0.0 && i >= l) continue;
      d[l] -= p;
      e[l] = g;
      e[m] = 0.0;
    } while (m != l);
  }
}

}  // namespace

void tridiagonalizeWithVectors(matrix& a, std::vector<double>& d, std::vector<double>& e) {
  requireSquare(a);
  householderReduction(a, d, e, true);
  accumulateTransformations(a, d);
}

void tridiagonalize(matrix& a, std::vector<double>& d, std::vector<double>& e) {
  requireSquare(a);
  householderReduction(a, d, e, false);
  for (size_t i = 0; i < a.size(); i++) d[i] = a[i][i];
}

void tqli(std::vector<double>& d, std::vector<double>& e) { qlIterations(d, e, nullptr); }

void tqliWithVectors(std::vector<double>& d, std::vector<double>& e, matrix& z) {
  qlIterations(d, e, &z);
}

void eigenDecompose(matrix& a, std::vector<double>& values, matrix& vectors) {
  std::vector<double> subdiagonal;
  tridiagonalizeWithVectors(a, values, subdiagonal);
  tqliWithVectors(values, subdiagonal, a);
  vectors = a;
}

std::vector<double> eigenvalues(const matrix& a) {
  matrix work = a;
  std::vector<double> d, e;
  tridiagonalize(work, d, e);
  tqli(d, e);
  return d;
}
