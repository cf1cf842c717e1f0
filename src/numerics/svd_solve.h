// What a singular value decomposition serves beyond the inverse: the checked decomposition of a
// square matrix, least-squares solves, the covariance of fitted parameters and the square root of
// a positive semi-definite matrix. All of them are reentrant.
#pragma once

#include <vector>

#include "numerics/matrix.h"

// svd of the n x n matrix a after checking the shapes: no rows, a not square, or w and V not
// n and n x n are fatal errors.
void svdChecked(matrix& a, std::vector<double>& w, matrix& V);

// The solution x = V diag(1/w) U' b of A x = b from the decomposition U diag(w) V' of the m x n
// matrix A; a w_j of exactly 0 contributes nothing (zero the negligible ones first to get the
// least-squares solution of smallest norm). b has m elements, x n. Shapes that do not match:
// fatal error.
std::vector<double> svdBackSubstitute(const matrix& U, const std::vector<double>& w,
                                      const matrix& V, const std::vector<double>& b);

// The covariance matrix of the parameters fitted through the decomposition: element (i, j) is the
// sum over k of V[i][k] V[j][k] / w_k^2, a w_k of exactly 0 contributing nothing. Shapes that do
// not match: fatal error.
matrix svdCovariance(const matrix& V, const std::vector<double>& w);

// The square root U diag(sqrt(w)) V' of a symmetric positive semi-definite n x n matrix, through
// svdChecked (its shape errors are fatal); no singular value is dropped.
matrix matrixSqrtBySvd(const matrix& a);
