#include "numerics/table_statistics.h"

#include <gtest/gtest.h>

#include <boost/math/distributions/chi_squared.hpp>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Lines of testdata/table_statistics_oracles.txt (from table_statistics_oracles.R beside it) that
// begin with the given key, the key dropped.
std::vector<std::vector<double>> oracleLines(const std::string& key) {
  std::ifstream in(std::string(ZUQ_SOURCE_DIR) + "/src/numerics/testdata/table_statistics_oracles.txt");
  EXPECT_TRUE(in.good()) << "oracle file missing: run table_statistics_oracles.R";
  std::vector<std::vector<double>> lines;
  std::string text;
  while (std::getline(in, text)) {
    std::istringstream line(text);
    std::string first;
    line >> first;
    if (first != key) continue;
    lines.emplace_back();
    for (double x; line >> x;) lines.back().push_back(x);
  }
  return lines;
}

std::string describe(const std::vector<double>& v) {
  std::ostringstream out;
  for (double x : v) out << x << " ";
  return out.str();
}

TEST(PearsonChiSquare2x2, MatchesRsChisqTestWithoutCorrection) {
  const auto lines = oracleLines("pearson");
  ASSERT_GE(lines.size(), 8u);
  for (const auto& c : lines) {
    SCOPED_TRACE(describe(c));
    const double a = c[0], b = c[1], cc = c[2], d = c[3], expected = c[4];
    const double tolerance = 1e-12 * expected;
    EXPECT_NEAR(pearsonChiSquare2x2(a, b, cc, d), expected, tolerance);
    EXPECT_NEAR(pearsonChiSquare2x2Matrix({{a, b}, {cc, d}}), expected, tolerance);
    if (a == std::floor(a) && b == std::floor(b) && cc == std::floor(cc) && d == std::floor(d)) {
      const intTable table = {{int(a), int(b)}, {int(cc), int(d)}};
      EXPECT_NEAR(pearsonChiSquare2x2Table(table), expected, tolerance);
    }
  }
}

TEST(PearsonChiSquare2x2, EmptyMarginGivesZeroAndSmallTablesMinusOne) {
  const struct { double a, b, c, d; } emptyMargins[] = {
      {0, 0, 3, 4}, {3, 4, 0, 0}, {0, 5, 0, 6}, {5, 0, 6, 0}, {0, 0, 0, 0},
  };
  for (const auto& t : emptyMargins) {
    SCOPED_TRACE(describe({t.a, t.b, t.c, t.d}));
    EXPECT_EQ(pearsonChiSquare2x2(t.a, t.b, t.c, t.d), 0.0);
    EXPECT_EQ(pearsonChiSquare2x2Table({{int(t.a), int(t.b)}, {int(t.c), int(t.d)}}), 0.0);
  }
  // Tables too small to hold a 2 x 2 corner are refused instead of read past their ends.
  const intTable smallTables[] = {{}, {{1, 2}}, {{1, 2}, {3}}, {{1}, {3, 4}}};
  for (const auto& t : smallTables) {
    EXPECT_EQ(pearsonChiSquare2x2Table(t), -1.0);
    matrix m;
    for (const auto& row : t) m.emplace_back(row.begin(), row.end());
    EXPECT_EQ(pearsonChiSquare2x2Matrix(m), -1.0);
  }
  // A larger table: only its top left corner counts.
  EXPECT_NEAR(pearsonChiSquare2x2Table({{10, 20, 99}, {30, 40, 99}, {99, 99, 99}}),
              pearsonChiSquare2x2(10, 20, 30, 40), 1e-15);
}

TEST(SymmetryTest, MatchesRsMcnemarTest) {
  const auto lines = oracleLines("bowker");
  ASSERT_GE(lines.size(), 7u);
  for (const auto& c : lines) {
    SCOPED_TRACE(describe(c));
    const int k = static_cast<int>(c[0]);
    intTable table(k, std::vector<int>(k));
    for (int i = 0; i < k; i++)
      for (int j = 0; j < k; j++) table[i][j] = static_cast<int>(c[1 + i * k + j]);
    const double expected = c.back();
    EXPECT_NEAR(symmetryTest(table), expected, 1e-12 * expected);
  }
}

TEST(SymmetryTest, AgreesWithItsDefinitionOnLargerTables) {
  // Bowker's statistic summed here, its p from Boost's chi-square distribution.
  for (int k = 2; k <= 12; k++) {
    SCOPED_TRACE(k);
    intTable table(k, std::vector<int>(k));
    double statistic = 0;
    for (int i = 0; i < k; i++)
      for (int j = 0; j < k; j++) table[i][j] = 1 + (7 * i + 3 * j * j + i * j) % 23;
    for (int i = 0; i < k; i++)
      for (int j = i + 1; j < k; j++) {
        const double diff = table[i][j] - table[j][i];
        statistic += diff * diff / (table[i][j] + table[j][i]);
      }
    const boost::math::chi_squared_distribution<double> chi(k * (k - 1) / 2.0);
    const double expected = boost::math::cdf(boost::math::complement(chi, statistic));
    EXPECT_NEAR(symmetryTest(table), expected, 1e-12 * expected);
  }
}

TEST(SymmetryTest, UnusableTables) {
  const struct { const char* name; intTable table; double expected; } cases[] = {
      {"no rows", {}, -1},
      {"row 0 too long", {{1, 2, 3}, {4, 5, 6}}, -1},
      {"3 rows of 2", {{1, 2}, {3, 4}, {5, 6}}, -1},
      {"a later row too short", {{1, 2, 3}, {4, 5}, {7, 8, 9}}, -1},
      {"a later row too long", {{1, 2}, {3, 4, 5}}, -1},
      {"an empty pair", {{5, 0, 2}, {0, 3, 4}, {6, 1, 2}}, -9},
      {"1 x 1: no pair, no degree of freedom", {{4}}, -9},
      {"all zero", {{0, 0}, {0, 0}}, -9},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(symmetryTest(c.table), c.expected);
  }
  // A symmetric table has statistic 0 and p 1.
  EXPECT_NEAR(symmetryTest({{5, 2, 7}, {2, 0, 1}, {7, 1, 9}}), 1.0, 1e-15);
}

TEST(ExpectedCounts, AlwaysMinusOne) {
  const intTable tables[] = {{{10, 20}, {30, 40}}, {}, {{1, 2, 3}, {4}}, {{0, 0}, {0, 0}}};
  for (const auto& t : tables) EXPECT_EQ(expectedCounts(t), -1.0);
}

}  // namespace
