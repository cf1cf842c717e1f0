// Statistics of small contingency tables: Pearson's chi-square of a 2 x 2 table, Bowker's test of
// symmetry of a square table, and the expected counts under independence. All are reentrant and
// report unusable tables with the value -1 (no statistic here is negative).
#pragma once

#include "numerics/matrix.h"

// Pearson's sum of (O - E)^2/E over the table with rows (a, b) and (c, d), E = row total x
// column total / N; 0 when any row or column total is 0.
double pearsonChiSquare2x2(double a, double b, double c, double d);
// The same of the elements [0][0], [0][1], [1][0], [1][1]; -1 when the table is smaller than
// 2 x 2.
double pearsonChiSquare2x2Matrix(const matrix& table);
double pearsonChiSquare2x2Table(const intTable& table);

// The p-value of Bowker's test that a square k x k table is symmetric: the sum over i > j of
// (n_ij - n_ji)^2/(n_ij + n_ji), chi-square with k(k - 1)/2 degrees of freedom. -1 when the table
// has no rows or is not square; -9 (no p-value) when a pair has n_ij + n_ji = 0 or k is 1.
double symmetryTest(const intTable& table);

// Computes the expected counts row total x column total / N of the table into a local matrix
// and keeps nothing: always -1.
double expectedCounts(const intTable& table);
