// The parts of the network algorithm behind FEXACT: the workspace carver, the path-length
// bounds, the node generator and the sort. Only the Fisher exact test uses them; they are
// declared here so that the tests can reach the ones with limits of their own.
#pragma once

#include <cstdint>

// Ends the process through the numerical fatal error with "FEXACT error " and the code. The text
// says what the code means at the place that raises it; it is not printed.
[[noreturn]] void fexactError(int code, const char* text);

// Integer units of storage from which FEXACT carves its arrays in a fixed order: an integer
// takes one unit, a real two, and a real array starts on an even unit.
struct fexactWorkspace {
  void* storage = nullptr;  // zero-filled, held as reals
  int64_t units = 0;
  int64_t used = 0;
};

// Carves count integers (type 2) or count reals (type 4) and returns the first unit's offset;
// code 40 when they do not fit.
int64_t allocWorkspace(fexactWorkspace& ws, int64_t count, int type);
int* workspaceInts(fexactWorkspace& ws, int64_t count);
double* workspaceReals(fexactWorkspace& ws, int64_t count);

// Sorts v[0..n) ascending in place with an explicit stack of at most 10 pending segments
// (code 20 if it would need more; it cannot for n below 1024).
void sortIntegers(int n, int* v);

// log of the multinomial coefficient n! / prod x[i]! from the log factorials fact[0..n].
double logMultinomial(int n, int count, const int* x, const double* fact);

// out = in without element `index` (count elements in, count - 1 out).
void removeElement(int count, const int* in, int index, int* out);
// out = the ascending vector in with element `index` removed and value inserted in order.
void insertSorted(int count, const int* in, int index, int value, int* out);

// Enumerates every vector x with 0 <= x[i] <= rows[i] and sum total, last coordinate most
// significant, descending. first() returns false when there is none; next() returns false
// after the last one.
struct columnGenerator {
  int count = 0;
  const int* rows = nullptr;
  int* x = nullptr;
  bool first(int total);
  bool next();
};

// Bounds on the remaining path of a node: rows (ascending, nrows of them, zeros allowed) still
// to be filled by the columns cols[0..ncols). The path of a completion is the sum over its
// columns of log(c! / prod x!). fact holds log factorials; work holds 4 * (nrows + ncols) ints.
// longestPath is at least the largest path (exact with two filled rows); shortestPathSpecial
// is exact when one row or one column is left. f3xact gives the smallest path exactly, keeping
// the nodes of two stages (200 each) in ist/stv (400 slots; -1 marks an empty slot) and ending
// through the numerical fatal error when a stage would need more. Its keys use multipliers[i]
// = product of (bound[l] + 1) over l < i, for rows that never exceed those bounds.
double longestPath(int nrows, const int* rows, int ncols, const int* cols, const double* fact,
                   int* work);
double shortestPathSpecial(int nrows, const int* rows, int ncols, const int* cols,
                           const double* fact);
struct f3xactTables {
  int* ist = nullptr;     // 400 keys
  double* stv = nullptr;  // 400 values
  const int* multipliers = nullptr;
  int* work = nullptr;    // 8 * (nrows + ncols) ints
};
double f3xact(int nrows, const int* rows, int ncols, const int* cols, const double* fact,
              f3xactTables& tables);
