#include "numerics/matrix.h"

#include <algorithm>
#include <iostream>
#include <sstream>

namespace {

template <typename T>
void resizeRows(std::vector<std::vector<T>>& m, int rows, int columns) {
  // Every old row goes first, so no old value can survive into the new shape.
  m.clear();
  m.assign(rows, std::vector<T>(columns, T(0)));
}

template <typename T>
void printList(const std::vector<T>& v) {
  std::cout << "\n";
  for (size_t i = 0; i < v.size(); i++) std::cout << i << ")\t" << v[i] << "\n";
  std::cout << "\n\n";
}

template <typename T>
std::string toText(T value) {
  std::ostringstream out;
  out << value;
  return out.str();
}

}  // namespace

void resizeMatrix(matrix& m, int rows, int columns) { resizeRows(m, rows, columns); }

void zeroMatrix(matrix& m, int rows, int columns) {
  if (m.size() != static_cast<size_t>(rows) ||
      (rows > 0 && m[0].size() != static_cast<size_t>(columns))) {
    resizeMatrix(m, rows, columns);
    return;
  }
  for (auto& row : m) std::fill(row.begin(), row.end(), 0.0);
}

void resizeTable(intTable& t, int rows, int columns) { resizeRows(t, rows, columns); }

void printIntVector(const std::vector<int>& v) { printList(v); }

void printRealVector(const std::vector<double>& v) { printList(v); }

void printMatrix(const matrix& m) {
  std::cout << "\n";
  for (size_t i = 0; i < m.size(); i++) {
    std::cout << i << ")\t";
    for (double x : m[i]) std::cout << x << " ";
    std::cout << "\n";
  }
  std::cout << "\n";
}

std::string formatInt(int value) { return toText(value); }

std::string formatLong(long value) { return toText(value); }

std::string formatDouble(double value) { return toText(value); }
