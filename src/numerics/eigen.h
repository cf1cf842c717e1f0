// Eigenvalues and eigenvectors of real symmetric matrices: Householder reduction to tridiagonal
// form, then the QL method with implicit shifts. All of them are reentrant. Eigenvalues come out
// unsorted, in the order the iterations leave them.
#pragma once

#include <vector>

#include "numerics/matrix.h"

// Reduces the symmetric n x n matrix a to tridiagonal form Q' a Q: d becomes the diagonal and e
// the subdiagonal, e[i] linking rows i - 1 and i, e[0] = 0 (both sized here). a is replaced by the
// orthogonal Q. Only the lower triangle of a is read. A matrix that is not square: fatal error.
void tridiagonalizeWithVectors(matrix& a, std::vector<double>& d, std::vector<double>& e);
// The same reduction without accumulating Q; a is left as work space.
void tridiagonalize(matrix& a, std::vector<double>& d, std::vector<double>& e);

// The eigenvalues of the symmetric tridiagonal matrix with diagonal d and subdiagonal e (as the
// reductions above leave them) replace d; e is destroyed. At most 30 implicit QL sweeps per
// eigenvalue: the 31st is a fatal error, as are d and e of different lengths.
void tqli(std::vector<double>& d, std::vector<double>& e);
// The same, also applying every rotation to the columns of z (n x n): started from the Q of
// tridiagonalizeWithVectors, z ends with the eigenvector of d[k] in column k; started from the
// identity, with those of the tridiagonal matrix itself.
void tqliWithVectors(std::vector<double>& d, std::vector<double>& e, matrix& z);

// The eigenvalues and unit eigenvectors (column k belongs to values[k]) of the symmetric matrix
// a, which is overwritten.
void eigenDecompose(matrix& a, std::vector<double>& values, matrix& vectors);
// The eigenvalues alone of the symmetric matrix a.
std::vector<double> eigenvalues(const matrix& a);
