#include "dataset/stats_helpers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iomanip>
#include <iostream>

#include "dataset/missing_value.h"

double meanIgnoringMissing(const std::vector<double>& v) {
  if (v.empty()) return missingValue;
  double sum = 0;
  int m = 0;
  for (double x : v) {
    if (x == missingValue) continue;
    sum += x;
    ++m;
  }
  return sum / m;
}

double sdIgnoringMissing(const std::vector<double>& v) {
  if (v.empty()) return missingValue;
  double sum = 0;
  double squares = 0;
  int m = 0;
  for (double x : v) {
    if (x == missingValue) continue;
    sum += x;
    squares += x * x;
    ++m;
  }
  if (m <= 1) return missingValue;
  const double mean = sum / m;
  // Rounding can take the variance of equal values a little below 0; their SD is 0, not NaN.
  const double variance = ((squares / m - mean * mean) * m) / (m - 1);
  return variance < 0 ? 0.0 : std::sqrt(variance);
}

void printTable(std::ostream& out, const std::vector<std::vector<std::string>>& table) {
  if (table.empty()) return;
  std::vector<size_t> widths(table[0].size(), 0);
  for (const auto& row : table) {
    for (size_t c = 0; c < row.size() && c < widths.size(); ++c) {
      widths[c] = std::max(widths[c], row[c].size());
    }
  }
  for (const auto& row : table) {
    for (size_t c = 0; c < row.size(); ++c) {
      const int width = c < widths.size() ? static_cast<int>(widths[c]) : 0;
      if (c == 0) {
        out << std::left << std::setw(width) << row[c];
      } else {
        out << std::right << std::setw(width) << row[c];
      }
      out << "  ";
    }
    out << "\n";
  }
  out << std::right;
}

std::string intToString(int value) { return std::to_string(value); }

void printVector(const std::vector<double>& v) {
  for (double x : v) {
    if (x == missingValue) {
      std::printf("NA ");
    } else {
      std::printf("%.5g ", x);
    }
  }
  std::printf("\n");
}

void writeHistogram(const std::vector<double>& v, int bins, const std::string& fileName) {
  if (v.empty() || bins < 1) return;
  const auto [low, high] = std::minmax_element(v.begin(), v.end());
  const double width = (*high - *low) / bins;
  std::vector<int> counts(bins, 0);
  for (double x : v) {
    int bin = width > 0 ? static_cast<int>((x - *low) / width) : 0;
    counts[std::min(bin, bins - 1)] += 1;
  }
  std::ofstream out(fileName);
  for (int b = 0; b < bins; ++b) out << *low + b * width << " " << counts[b] << "\n";
}
