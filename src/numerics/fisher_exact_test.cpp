#include "numerics/fisher_exact.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "numerics/fisher_network.h"
#include "test_support/fatal_output.h"
#include "test_support/scratch_files.h"

namespace {

// One table of fisher_tables.expected (written by testdata/regenerate_fisher.sh from R's
// fisher.test with the same workspace): R's p and the probability of the observed table, or
// the FEXACT error code at which R gave up too.
struct oracleCase {
  std::string name;
  intTable table;
  double p = 0, prt = 0;
  int errorCode = 0;
};

std::vector<oracleCase> readOracleCases() {
  std::ifstream file(std::string(ZUQ_SOURCE_DIR) + "/src/numerics/testdata/fisher_tables.expected");
  std::string line;
  std::getline(file, line);  // header
  std::vector<oracleCase> cases;
  while (std::getline(file, line)) {
    std::istringstream in(line);
    oracleCase c;
    int rows = 0, cols = 0;
    std::string cells, p;
    in >> c.name >> rows >> cols >> cells >> p >> c.prt;
    std::replace(cells.begin(), cells.end(), ',', ' ');
    std::istringstream values(cells);
    c.table.assign(rows, std::vector<int>(cols));
    for (auto& row : c.table)
      for (int& cell : row) values >> cell;
    if (p.rfind("error", 0) == 0) c.errorCode = std::stoi(p.substr(5));
    else c.p = std::stod(p);
    EXPECT_TRUE(values && in) << line;
    cases.push_back(c);
  }
  EXPECT_GT(cases.size(), 20u);
  return cases;
}

// FEXACT on an intTable, column by column; prt and pre.
std::pair<double, double> runFexact(const intTable& t) {
  const int rows = static_cast<int>(t.size()), cols = static_cast<int>(t[0].size());
  std::vector<double> cells;
  for (int j = 0; j < cols; ++j)
    for (int i = 0; i < rows; ++i) cells.push_back(t[i][j]);
  double prt = -1, pre = -1;
  FEXACT(rows, cols, cells.data(), rows, -1, 100, 0, prt, pre, fisherWorkspaceUnits);
  return {prt, pre};
}

double relative(double ours, double theirs) {
  return ours == theirs ? 0 : std::fabs(ours - theirs) / std::fabs(theirs);
}

// Both algorithms take path lengths within 3.45e-7 of each other as equal, so two correct
// implementations agree to about that much, not to the last digit.
TEST(FisherExact, AgreesWithRFisherTest) {
  double worstP = 0, worstPrt = 0;
  std::string worstPAt, worstPrtAt;
  for (const oracleCase& c : readOracleCases()) {
    if (c.errorCode != 0) continue;
    SCOPED_TRACE(c.name);
    const double p = fisherExactP(c.table);
    EXPECT_NEAR(p, c.p, 1e-6 * c.p);
    const auto [prt, pre] = runFexact(c.table);
    EXPECT_EQ(pre, p);
    // log prt is a difference of log factorials up to 1e6 in size: both sides round at 1e-10.
    EXPECT_NEAR(prt, c.prt, 1e-9 * c.prt);
    if (relative(p, c.p) > worstP) worstP = relative(p, c.p), worstPAt = c.name;
    if (relative(prt, c.prt) > worstPrt) worstPrt = relative(prt, c.prt), worstPrtAt = c.name;
  }
  std::printf("[ oracle   ] p   largest relative difference from R %.3g (%s)\n", worstP,
              worstPAt.c_str());
  std::printf("[ oracle   ] prt largest relative difference from R %.3g (%s)\n", worstPrt,
              worstPrtAt.c_str());
}

// Tables small enough to sum by hand: p and the observed probability as fractions.
TEST(FisherExact, KnownFractions) {
  struct fractionCase {
    intTable table;
    double p, prt;
  };
  const fractionCase cases[] = {
      {{{3, 1}, {1, 3}}, 34.0 / 70, 16.0 / 70},
      {{{5, 0}, {0, 5}}, 2.0 / 252, 1.0 / 252},
      {{{1, 0}, {0, 1}}, 1.0, 0.5},   // both tables are equally probable
      {{{2, 0, 0}, {0, 1, 1}}, 1.0 / 3, 1.0 / 6},  // the two fillings of probability 1/6
      {{{1, 1}, {1, 1}, {0, 2}}, 1.0, 4.0 / 15},   // the most probable filling
  };
  for (const fractionCase& c : cases) {
    const auto [prt, pre] = runFexact(c.table);
    EXPECT_NEAR(pre, c.p, 1e-12);
    EXPECT_NEAR(prt, c.prt, 1e-12);
  }
}

TEST(FisherExact, NoRowsOrNoCellsGiveMinusNine) {
  EXPECT_EQ(fisherExactP({}), -9);
  EXPECT_EQ(fisherExactP({{}}), -9);
  EXPECT_EQ(fisherExactP({{}, {1, 2}}), -9);
}

// Problems too large for the workspace end with R's error code, never by running off an array.
TEST(FisherExact, WorkspaceLimitsEndWithTheirCodes) {
  testsupport::scratchDirectory dir("zuq-fisher");
  for (const oracleCase& c : readOracleCases()) {
    if (c.errorCode == 0) continue;
    SCOPED_TRACE(c.name);
    EXPECT_EQ(testsupport::fatalOutput(dir, [&] { fisherExactP(c.table); }),
              "\nERROR: FEXACT error " + std::to_string(c.errorCode) + "\n");
  }
}

TEST(FisherExact, FatalStopsEndWithTheirMessages) {
  struct invalidCase {
    const char* name;
    std::function<void()> call;
    std::string message;
  };
  const intTable tooMany(101, std::vector<int>{1, 1});
  const double cells[] = {1, 2, 3, 4};
  double prt = 0, pre = 0;
  const invalidCase cases[] = {
      {"all cells zero", [] { fisherExactP({{0, 0}, {0, 0}}); }, "FEXACT error 3"},
      {"a negative cell", [] { fisherExactP({{3, -1}, {2, 4}}); }, "FEXACT error 2"},
      {"one column", [] { fisherExactP({{3}, {4}}); }, "FEXACT error 4"},
      {"more rows than the leading dimension",
       [&] { FEXACT(2, 2, cells, 1, -1, 100, 0, prt, pre, fisherWorkspaceUnits); },
       "FEXACT error 1"},
      {"202 cells", [&] { fisherExactP(tooMany); },
       "Fisher exact test: the table has more than 200 cells"},
      {"a short row", [] { fisherExactP({{1, 2, 3}, {4, 5}}); },
       "Fisher exact test: every row of the table must have 3 cells"},
      {"a workspace too small for the log factorials",
       [&] { FEXACT(2, 2, cells, 2, -1, 100, 0, prt, pre, 40); }, "FEXACT error 40"},
      // A stage of the shortest-path search needs more than its 200 nodes (R's fisher.test
      // gives up on this table as well, with its key table full).
      {"the shortest-path table full",
       [] {
         fisherExactP({{6, 6, 0, 1, 7}, {6, 2, 5, 7, 7}, {3, 5, 12, 3, 3}, {9, 2, 3, 10, 0},
                       {5, 6, 8, 0, 4}});
       },
       "Stack length exceeded in f3xact"},
  };
  testsupport::scratchDirectory dir("zuq-fisher");
  for (const invalidCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(testsupport::fatalOutput(dir, c.call), "\nERROR: " + c.message + "\n");
  }
}

// 200 cells is the largest table; it runs (p = 1 here: every filling is equally probable).
TEST(FisherExact, TwoHundredCellsRun) {
  intTable t(2, std::vector<int>(100, 0));
  t[0][0] = 1;
  t[1][1] = 1;
  EXPECT_NEAR(fisherExactP(t), 1.0, 1e-12);
}

// Every call owns its workspace: many threads at once give the serial answers to the bit.
TEST(FisherExact, ThreadsGiveTheSerialResults) {
  std::vector<intTable> tables;
  for (const oracleCase& c : readOracleCases())
    if (c.errorCode == 0) tables.push_back(c.table);
  std::vector<double> serial;
  for (const intTable& t : tables) serial.push_back(fisherExactP(t));
  const int rounds = 4, n = static_cast<int>(tables.size());
  std::vector<double> parallel(static_cast<size_t>(rounds * n));
#pragma omp parallel for num_threads(8) schedule(dynamic)
  for (int k = 0; k < rounds * n; ++k) parallel[k] = fisherExactP(tables[k % n]);
  for (int k = 0; k < rounds * n; ++k) EXPECT_EQ(parallel[k], serial[k % n]) << k;
}

TEST(FisherNetwork, SortIntegersOrdersAnyVector) {
  std::mt19937 random(11);
  std::vector<std::vector<int>> cases = {{}, {5}, {2, 1}, {3, 3, 3},
                                         {9, 8, 7, 6, 5, 4, 3, 2, 1, 0}};
  std::vector<int> descending(200), sawtooth(200), randomValues(200), fewValues(200);
  for (int i = 0; i < 200; ++i) {
    descending[i] = 200 - i;
    sawtooth[i] = i % 17;
    randomValues[i] = static_cast<int>(random() % 100000);
    fewValues[i] = static_cast<int>(random() % 3);
  }
  cases.insert(cases.end(), {descending, sawtooth, randomValues, fewValues});
  for (std::vector<int> v : cases) {
    std::vector<int> expected = v;
    std::sort(expected.begin(), expected.end());
    sortIntegers(static_cast<int>(v.size()), v.data());
    EXPECT_EQ(v, expected);
  }
}

// The daughters of a node are every filling of the next column under the row totals, each
// once.
TEST(FisherNetwork, ColumnGeneratorVisitsEveryFillingOnce) {
  struct generatorCase {
    std::vector<int> rows;
    int total;
  };
  const generatorCase cases[] = {
      {{2, 2}, 2}, {{0, 3, 5}, 4}, {{1, 1, 1, 1}, 2}, {{4, 0, 2}, 6}, {{3, 4, 5}, 0},
      {{2, 3}, 6},  // more than the rows hold: no filling
      {{1, 2, 3, 4}, 5}, {{7}, 7},
  };
  for (const generatorCase& c : cases) {
    std::set<std::vector<int>> expected;
    std::vector<int> x(c.rows.size(), 0);
    std::function<void(size_t, int)> brute = [&](size_t i, int rest) {
      if (i == x.size()) {
        if (rest == 0) expected.insert(x);
        return;
      }
      for (x[i] = 0; x[i] <= c.rows[i] && x[i] <= rest; ++x[i]) brute(i + 1, rest - x[i]);
    };
    brute(0, c.total);
    std::vector<int> cells(c.rows.size());
    columnGenerator gen{static_cast<int>(c.rows.size()), c.rows.data(), cells.data()};
    std::multiset<std::vector<int>> seen;
    for (bool more = gen.first(c.total); more; more = gen.next()) seen.insert(cells);
    EXPECT_EQ(seen, std::multiset<std::vector<int>>(expected.begin(), expected.end()));
  }
}

// The bounds that count or drop whole sub-networks: longestPath never below the longest
// completion (equal to it with two rows), f3xact the shortest one exactly. Checked against
// every completion of small random margins.
TEST(FisherNetwork, PathBoundsHoldOnEveryCompletion) {
  std::vector<double> fact(61, 0.0);
  for (int i = 1; i <= 60; ++i) fact[i] = fact[i - 1] + std::log(i);
  std::mt19937 random(5);
  for (int trial = 0; trial < 300; ++trial) {
    const int nrows = 2 + trial % 3, ncols = 2 + (trial / 3) % 3;
    std::vector<int> cols(ncols);
    int total = 0;
    for (int& c : cols) total += c = static_cast<int>(random() % 7);
    if (total == 0) continue;
    std::vector<int> rows(nrows, 0);  // a random split of the total
    for (int k = 0; k < total; ++k) ++rows[random() % nrows];
    std::sort(rows.begin(), rows.end());
    double longest = -1e300, shortest = 1e300;
    std::vector<int> left = rows;
    // Column by column: every filling of the column under what the rows have left.
    std::function<void(int, double)> byColumn = [&](int j, double path) {
      if (j == ncols) {
        longest = std::max(longest, path);
        shortest = std::min(shortest, path);
        return;
      }
      std::vector<int> x(nrows, 0);
      std::function<void(int, int)> cell = [&](int i, int rest) {
        if (i == nrows) {
          if (rest != 0) return;
          double step = fact[cols[j]];
          for (int r = 0; r < nrows; ++r) step -= fact[x[r]], left[r] -= x[r];
          byColumn(j + 1, path + step);
          for (int r = 0; r < nrows; ++r) left[r] += x[r];
          return;
        }
        for (x[i] = 0; x[i] <= left[i] && x[i] <= rest; ++x[i]) cell(i + 1, rest - x[i]);
      };
      cell(0, cols[j]);
    };
    byColumn(0, 0.0);
    SCOPED_TRACE(testing::Message() << "trial " << trial);
    std::vector<int> work(8 * (nrows + ncols + 1)), ist(400);
    std::vector<double> stv(400);
    std::vector<int> multipliers(nrows);
    multipliers[0] = 1;
    for (int i = 1; i < nrows; ++i) multipliers[i] = multipliers[i - 1] * (rows[i - 1] + 1);
    f3xactTables tables{ist.data(), stv.data(), multipliers.data(), work.data()};
    const double bound =
        longestPath(nrows, rows.data(), ncols, cols.data(), fact.data(), work.data());
    EXPECT_GE(bound, longest - 1e-9);
    if (nrows == 2) {
      EXPECT_NEAR(bound, longest, 1e-9);
    }
    EXPECT_NEAR(f3xact(nrows, rows.data(), ncols, cols.data(), fact.data(), tables), shortest,
                1e-9);
  }
}

// Arrays carved from the workspace: reals start on an even unit, and a carve that does not
// fit ends with code 40 rather than handing out memory beyond the end.
TEST(FisherNetwork, WorkspaceCarvesStayInside) {
  std::vector<double> storage(8, 0.0);
  fexactWorkspace ws{storage.data(), 16, 0};
  EXPECT_EQ(allocWorkspace(ws, 3, 2), 0);
  EXPECT_EQ(allocWorkspace(ws, 2, 4), 4);  // units 3 skipped: 4..7
  EXPECT_EQ(allocWorkspace(ws, 8, 2), 8);  // exactly to the end
  testsupport::scratchDirectory dir("zuq-fisher");
  EXPECT_EQ(testsupport::fatalOutput(dir, [&] { allocWorkspace(ws, 1, 2); }),
            "\nERROR: FEXACT error 40\n");
}

}  // namespace
