#include "numerics/table_statistics.h"

#include "numerics/distributions.h"
#include "numerics/matrix_shape.h"

namespace {

bool holds2x2(const auto& table) {
  return table.size() >= 2 && table[0].size() >= 2 && table[1].size() >= 2;
}

}  // namespace

double pearsonChiSquare2x2(double a, double b, double c, double d) {
  const double row1 = a + b, row2 = c + d, column1 = a + c, column2 = b + d;
  if (row1 == 0 || row2 == 0 || column1 == 0 || column2 == 0) return 0;
  const double n = row1 + row2;
  const double observed[4] = {a, b, c, d};
  const double expected[4] = {row1 * column1 / n, row1 * column2 / n, row2 * column1 / n,
                              row2 * column2 / n};
  double statistic = 0;
  for (int i = 0; i < 4; i++)
    statistic += (observed[i] - expected[i]) * (observed[i] - expected[i]) / expected[i];
  return statistic;
}

double pearsonChiSquare2x2Matrix(const matrix& table) {
  if (!holds2x2(table)) return -1;
  return pearsonChiSquare2x2(table[0][0], table[0][1], table[1][0], table[1][1]);
}

double pearsonChiSquare2x2Table(const intTable& table) {
  if (!holds2x2(table)) return -1;
  return pearsonChiSquare2x2(table[0][0], table[0][1], table[1][0], table[1][1]);
}

double symmetryTest(const intTable& table) {
  // Every row is checked, not only row 0: a shorter later row would be read past its end.
  if (table.empty() || !isSquare(table)) return -1;
  const int k = static_cast<int>(table.size());
  double statistic = 0;
  for (int i = 1; i < k; i++)
    for (int j = 0; j < i; j++) {
      const double difference = static_cast<double>(table[i][j]) - table[j][i];
      // An empty pair gives 0/0: the statistic is then not a number and chiSquareP answers -9.
      statistic += difference * difference / (static_cast<double>(table[i][j]) + table[j][i]);
    }
  return chiSquareP(statistic, k * (k - 1) / 2.0);
}

double expectedCounts(const intTable& table) {
  if (table.empty()) return -1;
  const size_t columns = table[0].size();
  if (!hasRowsOfLength(table, columns)) return -1;
  std::vector<double> rowTotals(table.size(), 0.0), columnTotals(columns, 0.0);
  double n = 0;
  for (size_t i = 0; i < table.size(); i++)
    for (size_t j = 0; j < columns; j++) {
      rowTotals[i] += table[i][j];
      columnTotals[j] += table[i][j];
      n += table[i][j];
    }
  matrix expected;
  resizeMatrix(expected, static_cast<int>(table.size()), static_cast<int>(columns));
  for (size_t i = 0; i < table.size(); i++)
    for (size_t j = 0; j < columns; j++) expected[i][j] = rowTotals[i] * columnTotals[j] / n;
  return -1;
}
