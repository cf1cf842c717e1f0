// The dense real matrix and integer table of the numerical code, with their resizers, trace
// printers and number-to-text helpers. Nothing here keeps state.
#pragma once

#include <string>
#include <vector>

// A vector of rows; the column count is the length of row 0 and every row has that length.
using matrix = std::vector<std::vector<double>>;
// The same layout with integers: contingency tables.
using intTable = std::vector<std::vector<int>>;

// Discards whatever m held, then makes it rows x columns zeros (0 rows: empty; 0 columns: that
// many empty rows). Counts must be 0 or more.
void resizeMatrix(matrix& m, int rows, int columns);
void resizeTable(intTable& t, int rows, int columns);
// m as rows x columns zeros like resizeMatrix, but its storage is kept when it already has that
// shape: work matrices reused from call to call allocate nothing.
void zeroMatrix(matrix& m, int rows, int columns);

// Trace printers on standard output, reals in the stream's current format (they change no
// setting of it). Vectors: "\n", then "index)\tvalue\n" per element, then "\n\n".
void printIntVector(const std::vector<int>& v);
void printRealVector(const std::vector<double>& v);
// "\n", then per row "index)\t" and every element followed by a blank, "\n"; then "\n".
void printMatrix(const matrix& m);

// Decimal text with a fresh stream each call, so no setting of standard output leaks in.
std::string formatInt(int value);
std::string formatLong(long value);
// The default stream notation of a double: 6 significant digits, general format.
std::string formatDouble(double value);
