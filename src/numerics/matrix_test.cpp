#include "numerics/matrix.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <iostream>
#include <sstream>

#include "numerics/fatal_error.h"

namespace {

// Captures what a call writes on std::cout.
template <typename F>
std::string coutOf(F call) {
  std::ostringstream captured;
  std::streambuf* old = std::cout.rdbuf(captured.rdbuf());
  call();
  std::cout.rdbuf(old);
  return captured.str();
}

TEST(Matrix, ResizeDiscardsOldContentAndZeroFills) {
  struct ResizeCase { matrix before; int rows, columns; };
  const ResizeCase cases[] = {
      {{{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}, 2, 4},  // fewer rows, longer rows
      {{{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}, 0, 5},  // no rows at all
      {{{1}}, 3, 2},                             // grows
      {{}, 2, 0},                                // rows without elements
      {{{5, 5}, {5}}, 2, 2},                     // ragged before
  };
  for (const ResizeCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.rows) + " x " + std::to_string(c.columns));
    matrix m = c.before;
    resizeMatrix(m, c.rows, c.columns);
    ASSERT_EQ(m.size(), static_cast<size_t>(c.rows));
    for (const auto& row : m) EXPECT_EQ(row, std::vector<double>(c.columns, 0.0));
  }
}

TEST(Matrix, ResizeTableGivesZerosWhateverItHeld) {
  for (intTable t : {intTable{}, intTable{{9, 9, 9}}, intTable{{1, 2}, {3, 4}, {5, 6}, {7, 8}}}) {
    resizeTable(t, 3, 2);
    EXPECT_EQ(t, (intTable{{0, 0}, {0, 0}, {0, 0}}));
  }
}

TEST(Matrix, VectorPrintersUseTheListFormat) {
  EXPECT_EQ(coutOf([] { printIntVector({5, 7}); }), "\n0)\t5\n1)\t7\n\n\n");
  EXPECT_EQ(coutOf([] { printIntVector({}); }), "\n\n\n");
  EXPECT_EQ(coutOf([] { printRealVector({0.5, 1234567.0, -2}); }),
            "\n0)\t0.5\n1)\t1.23457e+06\n2)\t-2\n\n\n");
  EXPECT_EQ(coutOf([] { printRealVector({}); }), "\n\n\n");
}

TEST(Matrix, MatrixPrinterUsesTheMatrixFormat) {
  EXPECT_EQ(coutOf([] { printMatrix({{1.5, 2}}); }), "\n0)\t1.5 2 \n\n");
  EXPECT_EQ(coutOf([] { printMatrix({{1, 2}, {3, 4}}); }), "\n0)\t1 2 \n1)\t3 4 \n\n");
  EXPECT_EQ(coutOf([] { printMatrix({}); }), "\n\n");
}

TEST(Matrix, PrintersFollowTheStreamFormatAndLeaveItAlone) {
  std::ostringstream captured;
  std::streambuf* old = std::cout.rdbuf(captured.rdbuf());
  std::streamsize oldPrecision = std::cout.precision(3);
  printRealVector({3.14159});
  printMatrix({{2.71828}});
  EXPECT_EQ(std::cout.precision(), 3);
  std::cout.precision(oldPrecision);
  std::cout.rdbuf(old);
  EXPECT_EQ(captured.str(), "\n0)\t3.14\n\n\n\n0)\t2.72 \n\n");
}

TEST(Matrix, FormattersIgnoreTheSettingsOfStandardOutput) {
  std::ios_base::fmtflags oldFlags = std::cout.flags();
  std::cout << std::hex << std::showpos << std::fixed;
  std::cout.precision(2);
  struct { std::string text, expected; } cases[] = {
      {formatInt(-12), "-12"},
      {formatInt(0), "0"},
      {formatInt(2147483647), "2147483647"},
      {formatLong(-9007199254740993L), "-9007199254740993"},
      {formatDouble(0.5), "0.5"},
      {formatDouble(0.1), "0.1"},
      {formatDouble(0.00001), "1e-05"},
      {formatDouble(1234567), "1.23457e+06"},
      {formatDouble(123456789), "1.23457e+08"},
      {formatDouble(1e81), "1e+81"},
  };
  std::cout.flags(oldFlags);
  std::cout.precision(6);
  for (const auto& c : cases) EXPECT_EQ(c.text, c.expected);
}

TEST(MatrixDeathTest, FatalErrorPrintsOnStandardOutputAndEndsWithStatus1) {
  EXPECT_EXIT(
      {
        dup2(STDERR_FILENO, STDOUT_FILENO);
        fatalError("x");
      },
      testing::ExitedWithCode(1), testing::Eq("\nERROR: x\n"));
}

}  // namespace
