#include "numerics/svd_solve.h"

#include <cmath>

#include "numerics/fatal_error.h"
#include "numerics/matrix_shape.h"
#include "numerics/svd.h"

namespace {

const char* const sizeMismatch = "Internal error: problem in SVD\n";

}  // namespace

void svdChecked(matrix& a, std::vector<double>& w, matrix& V) {
  if (a.empty()) fatalError("Internal problem: matrix with no rows (inverse function)");
  const size_t n = a.size();
  if (!isSquare(a)) fatalError("Internal problem: Cannot invert non-square matrix");
  if (w.size() != n || !isSquareOfOrder(V, n)) fatalError(sizeMismatch);
  svd(a, w, V);
}

std::vector<double> svdBackSubstitute(const matrix& U, const std::vector<double>& w,
                                      const matrix& V, const std::vector<double>& b) {
  const size_t m = U.size(), n = w.size();
  if (m == 0 || b.size() != m || !hasRowsOfLength(U, n) || !isSquareOfOrder(V, n))
    fatalError(sizeMismatch);
  std::vector<double> projected(n, 0.0);
  for (size_t j = 0; j < n; j++) {
    if (w[j] == 0.0) continue;
    double sum = 0.0;
    for (size_t i = 0; i < m; i++) sum += U[i][j] * b[i];
    projected[j] = sum / w[j];
  }
  std::vector<double> x(n, 0.0);
  for (size_t j = 0; j < n; j++) {
    double sum = 0.0;
    for (size_t k = 0; k < n; k++) sum += V[j][k] * projected[k];
    x[j] = sum;
  }
  return x;
}

matrix svdCovariance(const matrix& V, const std::vector<double>& w) {
  const size_t n = w.size();
  if (!isSquareOfOrder(V, n)) fatalError(sizeMismatch);
  std::vector<double> weights(n, 0.0);
  for (size_t k = 0; k < n; k++)
    if (w[k] != 0.0) weights[k] = 1.0 / (w[k] * w[k]);
  matrix covariance;
  resizeMatrix(covariance, static_cast<int>(n), static_cast<int>(n));
  for (size_t i = 0; i < n; i++)
    for (size_t j = 0; j <= i; j++) {
      double sum = 0.0;
      for (size_t k = 0; k < n; k++) sum += V[i][k] * V[j][k] * weights[k];
      covariance[i][j] = covariance[j][i] = sum;
    }
  return covariance;
}

matrix matrixSqrtBySvd(const matrix& a) {
  const int n = static_cast<int>(a.size());
  matrix U = a, V;
  std::vector<double> w(n);
  resizeMatrix(V, n, n);
  svdChecked(U, w, V);
  matrix root;
  resizeMatrix(root, n, n);
  for (int i = 0; i < n; i++)
    for (int j = 0; j < n; j++) {
      double sum = 0.0;
      for (int k = 0; k < n; k++) sum += U[i][k] * std::sqrt(w[k]) * V[j][k];
      root[i][j] = sum;
    }
  return root;
}
