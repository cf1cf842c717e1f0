// LU decomposition of a square matrix by Crout's method with partial pivoting, the solve over
// it, and the inverse built on both. All of them are reentrant.
#pragma once

#include <vector>

#include "numerics/matrix.h"

// Replaces the n x n matrix a by the LU factors of a row permutation of it (L below the
// diagonal with unit diagonal implied, U on and above it). permutation[i] is the row exchanged
// with row i at step i (the vector is sized here); parity is +1 or -1 by the number of exchanges,
// so the determinant is parity times the product of the diagonal. Pivots are chosen by the
// largest element relative to the largest of its row (ties go to the later row); a pivot of
// exactly 0 is replaced by 1e-20. A row of zeros: fatal error "singular matrix in ludcmp"; a
// matrix that is not square: fatal error.
void ludcmp(matrix& a, std::vector<int>& permutation, double& parity);

// Solves A x = b from the factors and permutation of ludcmp; b is replaced by x. The forward
// sums start at the first nonzero element of b. Sizes that do not match the factors: fatal error.
void luBackSubstitute(const matrix& lu, const std::vector<int>& permutation,
                      std::vector<double>& b);

// The inverse of the n x n matrix a, one solve per unit column. No rows or not square: fatal
// error.
matrix inverseByLu(const matrix& a);
