// Fisher's exact test of an r x c contingency table by the network algorithm of Mehta and
// Patel. Reentrant: every call keeps its state in its own workspace, so many threads may test
// at once.
#pragma once

#include "numerics/matrix.h"

// Workspace of one call, in integer units (a real takes two).
inline constexpr int fisherWorkspaceUnits = 300000;
// Largest table, in cells, that fisherExactP accepts.
inline constexpr int fisherMaxCells = 200;

// p of Fisher's exact test: the total probability, given both margins, of the tables whose
// probability does not exceed that of the observed one (within a relative tolerance of about
// 3.5e-7). -9 when the table has no rows or its first row has no cells. The column count is the
// length of row 0; every row must have it. Fatal errors (numerical fatal exit, status 1): a
// negative cell, all cells 0, one column, more than 200 cells, a problem too large for the
// workspace ("FEXACT error " and the code).
double fisherExactP(const intTable& table);

// The network algorithm on nrow x ncol counts held column by column in table (leading dimension
// ldtabl >= nrow). prt receives the probability of the observed table and pre the p-value.
// expect, percnt and emin belong to the large-sample approximation of sub-tables, which is not
// built here: every p is exact whatever they say. workspace is in integer units.
void FEXACT(int nrow, int ncol, const double* table, int ldtabl, double expect, double percnt,
            double emin, double& prt, double& pre, int workspace);
