#include "numerics/svd.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "numerics/fatal_error.h"

namespace {

// |x| with the sign of y (y = -0.0 counts as positive).
double sign(double x, double y) { return y >= 0.0 ? std::fabs(x) : -std::fabs(x); }

// The state of one decomposition; it lives on the caller's stack for one call only.
struct svdWork {
  matrix& a;
  std::vector<double>& w;
  matrix& V;
  int m;
  int n;
  std::vector<double>& r;  // the superdiagonal of the bidiagonal form; r[0] stays 0
  double anorm = 0.0;     // norm estimate: the scale of the exact "negligible" tests below
};

// The largest magnitude of an entry, or NaN when some entry is not finite.
double largestMagnitude(const svdWork& s) {
  double largest = 0.0;
  for (int i = 0; i < s.m; i++)
    for (int j = 0; j < s.n; j++) {
      if (!std::isfinite(s.a[i][j])) return std::numeric_limits<double>::quiet_NaN();
      largest = std::max(largest, std::fabs(s.a[i][j]));
    }
  return largest;
}

// The shift squares elements of the bidiagonal form, which overflows (or underflows) for entries
// beyond about 1e154 (or below 1e-154) and then never converges. Outside [1e-100, 1e100] the
// decomposition runs on the matrix scaled by a power of two, which is exact and leaves U and V
// as they are; w is scaled back afterwards. Inside that range nothing changes.
int rescalingExponent(double largest) {
  if (largest > 1e100 || (largest > 0.0 && largest < 1e-100)) return std::ilogb(largest);
  return 0;
}

void scaleEntries(svdWork& s, int exponent) {
  for (int i = 0; i < s.m; i++)
    for (int j = 0; j < s.n; j++) s.a[i][j] = std::ldexp(s.a[i][j], exponent);
}

// The decomposition of a matrix with an infinity or NaN has no meaning: every result is NaN, so
// the callers' finiteness checks see it instead of the run ending on a non-convergence.
void fillWithNaN(svdWork& s) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (int i = 0; i < s.m; i++) std::fill(s.a[i].begin(), s.a[i].begin() + s.n, nan);
  for (int i = 0; i < s.n; i++) {
    s.w[i] = nan;
    std::fill(s.V[i].begin(), s.V[i].begin() + s.n, nan);
  }
}

// Householder reflections from the left (columns) and the right (rows) reduce a to upper
// bidiagonal form: diagonal in w, superdiagonal in r; a keeps the Householder vectors.
void bidiagonalize(svdWork& s) {
  matrix& a = s.a;
  const int m = s.m, n = s.n;
  double g = 0.0, scale = 0.0;
  for (int i = 0; i < n; i++) {
    const int l = i + 1;
    s.r[i] = scale * g;
    g = 0.0;
    scale = 0.0;
    double sum = 0.0;
    if (i < m) {
      for (int k = i; k < m; k++) scale += std::fabs(a[k][i]);
      if (scale != 0.0) {
        for (int k = i; k < m; k++) {
          a[k][i] /= scale;
          sum += a[k][i] * a[k][i];
        }
        double f = a[i][i];
        g = -sign(std::sqrt(sum), f);
        const double h = f * g - sum;
        a[i][i] = f - g;
        for (int j = l; j < n; j++) {
          double t = 0.0;
          for (int k = i; k < m; k++) t += a[k][i] * a[k][j];
          f = t / h;
          for (int k = i; k < m; k++) a[k][j] += f * a[k][i];
        }
        for (int k = i; k < m; k++) a[k][i] *= scale;
      }
    }
    s.w[i] = scale * g;
    g = 0.0;
    scale = 0.0;
    sum = 0.0;
    if (i < m && i != n - 1) {
      for (int k = l; k < n; k++) scale += std::fabs(a[i][k]);
      if (scale != 0.0) {
        for (int k = l; k < n; k++) {
          a[i][k] /= scale;
          sum += a[i][k] * a[i][k];
        }
        const double f = a[i][l];
        g = -sign(std::sqrt(sum), f);
        const double h = f * g - sum;
        a[i][l] = f - g;
        for (int k = l; k < n; k++) s.r[k] = a[i][k] / h;
        for (int j = l; j < m; j++) {
          double t = 0.0;
          for (int k = l; k < n; k++) t += a[j][k] * a[i][k];
          for (int k = l; k < n; k++) a[j][k] += t * s.r[k];
        }
        for (int k = l; k < n; k++) a[i][k] *= scale;
      }
    }
    s.anorm = std::max(s.anorm, std::fabs(s.w[i]) + std::fabs(s.r[i]));
  }
}

// Builds V from the right-hand Householder vectors kept in the rows of a.
void accumulateRight(svdWork& s) {
  matrix& a = s.a;
  matrix& V = s.V;
  const int n = s.n;
  for (int i = n - 1; i >= 0; i--) {
    const int l = i + 1;
    if (i < n - 1) {
      const double g = s.r[l];
      if (g != 0.0) {
        // Two divisions, in this order, to avoid a possible underflow of a[i][l] * g.
        for (int j = l; j < n; j++) V[j][i] = (a[i][j] / a[i][l]) / g;
        for (int j = l; j < n; j++) {
          double t = 0.0;
          for (int k = l; k < n; k++) t += a[i][k] * V[k][j];
          for (int k = l; k < n; k++) V[k][j] += t * V[k][i];
        }
      }
      for (int j = l; j < n; j++) V[i][j] = V[j][i] = 0.0;
    }
    V[i][i] = 1.0;
  }
}

// Turns a into U from the left-hand Householder vectors kept in its columns.
void accumulateLeft(svdWork& s) {
  matrix& a = s.a;
  const int m = s.m, n = s.n;
  for (int i = std::min(m, n) - 1; i >= 0; i--) {
    const int l = i + 1;
    double g = s.w[i];
    for (int j = l; j < n; j++) a[i][j] = 0.0;
    if (g != 0.0) {
      g = 1.0 / g;
      for (int j = l; j < n; j++) {
        double t = 0.0;
        for (int k = l; k < m; k++) t += a[k][i] * a[k][j];
        const double f = (t / a[i][i]) * g;
        for (int k = i; k < m; k++) a[k][j] += f * a[k][i];
      }
      for (int j = i; j < m; j++) a[j][i] *= g;
    } else {
      for (int j = i; j < m; j++) a[j][i] = 0.0;
    }
    a[i][i] += 1.0;
  }
}

// The plane rotation of columns j and i of M over its first rows rows.
void rotateColumns(matrix& M, int rows, int j, int i, double c, double s) {
  for (int row = 0; row < rows; row++) {
    const double p = M[row][j];
    const double q = M[row][i];
    M[row][j] = p * c + q * s;
    M[row][i] = q * c - p * s;
  }
}

// w[l - 1] is negligible: rotations from the left chase r[l] (and what it spills into) out of
// rows l..k, so the block splits there.
void cancelSuperdiagonal(svdWork& s, int l, int k) {
  const int nm = l - 1;
  double c = 0.0, sn = 1.0;
  for (int i = l; i <= k; i++) {
    const double f = sn * s.r[i];
    s.r[i] = c * s.r[i];
    if (std::fabs(f) + s.anorm == s.anorm) break;
    const double g = s.w[i];
    double h = hypotenuse(f, g);
    s.w[i] = h;
    h = 1.0 / h;
    c = g * h;
    sn = -f * h;
    rotateColumns(s.a, s.m, nm, i, c, sn);
  }
}

// One implicit-shift QR sweep over the block l..k, shifted by the eigenvalue of the bottom
// 2 x 2 minor that is closer to its last element.
void qrSweep(svdWork& s, int l, int k) {
  std::vector<double>& w = s.w;
  std::vector<double>& r = s.r;
  double z = w[k];
  double x = w[l];
  const int nm = k - 1;
  double y = w[nm];
  double g = r[nm];
  double h = r[k];
  double f = ((y - z) * (y + z) + (g - h) * (g + h)) / (2.0 * h * y);
  g = hypotenuse(f, 1.0);
  f = ((x - z) * (x + z) + h * ((y / (f + sign(g, f))) - h)) / x;
  double c = 1.0, sn = 1.0;
  for (int j = l; j <= nm; j++) {
    const int i = j + 1;
    g = r[i];
    y = w[i];
    h = sn * g;
    g = c * g;
    z = hypotenuse(f, h);
    r[j] = z;
    c = f / z;
    sn = h / z;
    f = x * c + g * sn;
    g = g * c - x * sn;
    h = y * sn;
    y *= c;
    rotateColumns(s.V, s.n, j, i, c, sn);
    z = hypotenuse(f, h);
    w[j] = z;
    if (z != 0.0) {
      z = 1.0 / z;
      c = f * z;
      sn = h * z;
    }
    f = c * g + sn * y;
    x = c * y - sn * g;
    rotateColumns(s.a, s.m, j, i, c, sn);
  }
  r[l] = 0.0;
  r[k] = f;
  w[k] = x;
}

// Diagonalises the bidiagonal form, one singular value at a time from the bottom.
void diagonalize(svdWork& s) {
  for (int k = s.n - 1; k >= 0; k--) {
    for (int iteration = 0;; iteration++) {
      // Find the top l of the unreduced block ending at k. r[0] is always 0, so l = 0 ends
      // the search without a test (which also keeps w[-1] out of reach).
      int l = k;
      bool cancel = false;
      for (; l > 0; l--) {
        if (std::fabs(s.r[l]) + s.anorm == s.anorm) break;
        if (std::fabs(s.w[l - 1]) + s.anorm == s.anorm) {
          cancel = true;
          break;
        }
      }
      if (cancel) cancelSuperdiagonal(s, l, k);
      if (l == k) {
        // Converged: make the singular value non-negative.
        if (s.w[k] < 0.0) {
          s.w[k] = -s.w[k];
          for (int j = 0; j < s.n; j++) s.V[j][k] = -s.V[j][k];
        }
        break;
      }
      if (iteration == 29) fatalError("SVD function cannot converge: multicollinearity issues?");
      qrSweep(s, l, k);
    }
  }
}

}  // namespace

double hypotenuse(double a, double b) {
  const double p = std::fabs(a), q = std::fabs(b);
  if (p > q) {
    const double ratio = q / p;
    return p * std::sqrt(1.0 + ratio * ratio);
  }
  if (q == 0.0) return 0.0;
  const double ratio = p / q;
  return q * std::sqrt(1.0 + ratio * ratio);
}

void svd(matrix& a, std::vector<double>& w, matrix& V) {
  std::vector<double> superdiagonal;
  svd(a, w, V, superdiagonal);
}

void svd(matrix& a, std::vector<double>& w, matrix& V, std::vector<double>& superdiagonal) {
  if (a.empty()) fatalError("Internal problem in SVD function (no observations left?)");
  svdWork s{a, w, V, static_cast<int>(a.size()), static_cast<int>(a[0].size()), superdiagonal};
  s.r.assign(s.n, 0.0);
  const double largest = largestMagnitude(s);
  if (std::isnan(largest)) {
    fillWithNaN(s);
    return;
  }
  const int exponent = rescalingExponent(largest);
  if (exponent != 0) scaleEntries(s, -exponent);
  bidiagonalize(s);
  accumulateRight(s);
  accumulateLeft(s);
  diagonalize(s);
  if (exponent != 0)
    for (int i = 0; i < s.n; i++) w[i] = std::ldexp(w[i], exponent);
}

matrix inverseBySvd(matrix& a) {
  matrix inverse;
  svdScratch scratch;
  inverseBySvd(a, inverse, scratch);
  return inverse;
}

void inverseBySvd(matrix& a, matrix& inverse, svdScratch& scratch) {
  if (a.empty()) fatalError("Internal problem: matrix with no rows (inverse function)");
  const int n = static_cast<int>(a.size());
  if (a[0].size() != a.size()) fatalError("Internal problem: Cannot invert non-square matrix");
  std::vector<double>& w = scratch.w;
  w.assign(n, 0.0);
  matrix& V = scratch.V;
  zeroMatrix(V, n, n);
  svd(a, w, V, scratch.superdiagonal);

  // Singular values far below the largest carry no information: dropping them turns the
  // inverse of a singular matrix into its pseudo-inverse.
  double wmax = 0.0;
  for (double x : w)
    if (x > wmax) wmax = x;
  const double threshold = wmax * 1e-24;
  for (double& x : w) x = x < threshold ? 0.0 : 1.0 / x;
  for (auto& row : a)
    for (int l = 0; l < n; l++) row[l] *= w[l];

  zeroMatrix(inverse, n, n);
  for (int i = 0; i < n; i++)
    for (int k = 0; k < n; k++)
      for (int l = 0; l < n; l++) inverse[i][k] += V[i][l] * a[k][l];
}

void multMatrix(const matrix& A, const matrix& B, matrix& P) {
  if (A.empty() || B.empty()) fatalError("Internal error: multiplying 0-sized matrices");
  if (A[0].size() != B.size()) fatalError("Internal error: non-conformable matrices in multMatrix()");
  const int rows = static_cast<int>(A.size());
  const int inner = static_cast<int>(B.size());
  const int columns = static_cast<int>(B[0].size());
  // Built apart and moved in, so that P may even be A or B.
  matrix product;
  resizeMatrix(product, rows, columns);
  // Loop order i, k, j walks the rows of B; each element still sums over k in order.
  for (int i = 0; i < rows; i++)
    for (int k = 0; k < inner; k++) {
      const double aik = A[i][k];
      for (int j = 0; j < columns; j++) product[i][j] += aik * B[k][j];
    }
  P = std::move(product);
}
