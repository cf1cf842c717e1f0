// Singular value decomposition, the inverse built on it, and the matrix product, for the small
// dense matrices of the logistic model. All of them are reentrant: no state between calls.
#pragma once

#include <vector>

#include "numerics/matrix.h"

// sqrt(a^2 + b^2) without destructive overflow or underflow.
double hypotenuse(double a, double b);

// Golub-Reinsch decomposition of the m x n matrix a (m >= 1 rows, n = length of row 0):
// afterwards a holds U (m x n), w[0..n-1] the singular values and V (n x n) such that the input
// equals U diag(w) V'. The caller sizes w (at least n) and V (n rows of at least n); their old
// contents are never read. Singular values are not sorted. No rows: fatal error; 30 failed
// splitting tests of one singular value: fatal error. A non-finite input yields NaN throughout
// (a, w and V) instead of a decomposition.
void svd(matrix& a, std::vector<double>& w, matrix& V);
// The same with the caller's work vector for the superdiagonal (no allocation once it is sized).
void svd(matrix& a, std::vector<double>& w, matrix& V, std::vector<double>& superdiagonal);

// Work space of inverseBySvd, reusable from call to call: sized on use, never read before.
struct svdScratch {
  std::vector<double> w;
  std::vector<double> superdiagonal;
  matrix V;
};

// The inverse of the square matrix a through its decomposition; singular values below 1e-24
// times the largest are dropped, which gives the pseudo-inverse of a singular matrix. a is used
// as work space and left holding U scaled by the inverted singular values. No rows or not
// square: fatal error.
matrix inverseBySvd(matrix& a);
// The same into inverse (resized only when its shape differs), with the caller's work space:
// a caller that keeps both allocates nothing after the first call of a size.
void inverseBySvd(matrix& a, matrix& inverse, svdScratch& scratch);

// P becomes A B (any earlier content of P is discarded). A or B without rows, or columns of A
// unequal to rows of B: fatal error.
void multMatrix(const matrix& A, const matrix& B, matrix& P);
