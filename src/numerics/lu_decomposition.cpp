#include "numerics/lu_decomposition.h"

#include <algorithm>
#include <cmath>

#include "numerics/fatal_error.h"
#include "numerics/matrix_shape.h"

namespace {

constexpr double tinyPivot = 1e-20;

// The reciprocal of the largest magnitude of every row: the implicit scaling of the pivot search.
std::vector<double> rowScales(const matrix& a) {
  std::vector<double> scales(a.size());
  for (size_t i = 0; i < a.size(); i++) {
    double largest = 0.0;
    for (double x : a[i]) largest = std::max(largest, std::fabs(x));
    if (largest == 0.0) fatalError("singular matrix in ludcmp");
    scales[i] = 1.0 / largest;
  }
  return scales;
}

}  // namespace

void ludcmp(matrix& a, std::vector<int>& permutation, double& parity) {
  if (!isSquare(a)) fatalError("Internal error: non-square matrix in ludcmp");
  const int n = static_cast<int>(a.size());
  std::vector<double> scales = rowScales(a);
  permutation.assign(n, 0);
  parity = 1.0;
  for (int j = 0; j < n; j++) {
    for (int i = 0; i < j; i++) {
      double sum = a[i][j];
      for (int k = 0; k < i; k++) sum -= a[i][k] * a[k][j];
      a[i][j] = sum;
    }
    double largest = 0.0;
    int pivot = j;
    for (int i = j; i < n; i++) {
      double sum = a[i][j];
      for (int k = 0; k < j; k++) sum -= a[i][k] * a[k][j];
      a[i][j] = sum;
      const double scaled = scales[i] * std::fabs(sum);
      if (scaled >= largest) {
        largest = scaled;
        pivot = i;
      }
    }
    if (pivot != j) {
      std::swap(a[pivot], a[j]);
      parity = -parity;
      scales[pivot] = scales[j];
    }
    permutation[j] = pivot;
    // A zero pivot means a singular matrix; a tiny one lets the factorisation finish instead.
    if (a[j][j] == 0.0) a[j][j] = tinyPivot;
    if (j != n - 1) {
      const double inverse = 1.0 / a[j][j];
      for (int i = j + 1; i < n; i++) a[i][j] *= inverse;
    }
  }
}

void luBackSubstitute(const matrix& lu, const std::vector<int>& permutation,
                      std::vector<double>& b) {
  const int n = static_cast<int>(lu.size());
  bool conformable = isSquare(lu) && permutation.size() == lu.size() && b.size() == lu.size();
  for (int i = 0; conformable && i < n; i++)
    conformable = permutation[i] >= 0 && permutation[i] < n;
  if (!conformable) fatalError("Internal error: non-conformable arguments in luBackSubstitute()");
  int first = -1;  // the first nonzero element of b once permuted; -1 while none was met
  for (int i = 0; i < n; i++) {
    const int p = permutation[i];
    double sum = b[p];
    b[p] = b[i];
    if (first >= 0) {
      for (int j = first; j < i; j++) sum -= lu[i][j] * b[j];
    } else if (sum != 0.0) {
      first = i;
    }
    b[i] = sum;
  }
  for (int i = n - 1; i >= 0; i--) {
    double sum = b[i];
    for (int j = i + 1; j < n; j++) sum -= lu[i][j] * b[j];
    b[i] = sum / lu[i][i];
  }
}

matrix inverseByLu(const matrix& a) {
  if (a.empty()) fatalError("Internal error: matrix with no rows (inverse function)");
  if (!isSquare(a)) fatalError("Internal error: cannot invert non-square matrix");
  const int n = static_cast<int>(a.size());
  matrix lu = a;
  std::vector<int> permutation;
  double parity = 1.0;
  ludcmp(lu, permutation, parity);
  matrix inverse;
  resizeMatrix(inverse, n, n);
  std::vector<double> column(n);
  for (int j = 0; j < n; j++) {
    std::fill(column.begin(), column.end(), 0.0);
    column[j] = 1.0;
    luBackSubstitute(lu, permutation, column);
    for (int i = 0; i < n; i++) inverse[i][j] = column[i];
  }
  return inverse;
}
