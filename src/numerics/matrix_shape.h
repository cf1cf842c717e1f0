// Shape checks of row-vector matrices and tables, for routines that must not index past a row
// that is shorter than row 0 suggests.
#pragma once

#include <cstddef>
#include <vector>

// Every row of m holds exactly columns elements (true for a matrix without rows).
template <typename T>
bool hasRowsOfLength(const std::vector<std::vector<T>>& m, std::size_t columns) {
  for (const auto& row : m)
    if (row.size() != columns) return false;
  return true;
}

// m has n rows of n elements each.
template <typename T>
bool isSquareOfOrder(const std::vector<std::vector<T>>& m, std::size_t n) {
  return m.size() == n && hasRowsOfLength(m, n);
}

template <typename T>
bool isSquare(const std::vector<std::vector<T>>& m) {
  return isSquareOfOrder(m, m.size());
}
