#include "numerics/student_t.h"

#include <gtest/gtest.h>

#include <boost/math/distributions/students_t.hpp>
#include <boost/math/special_functions/beta.hpp>

#include <cmath>
#include <limits>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "numerics/accuracy_test_support.h"
#include "numerics/distributions.h"

namespace {

using accuracy::quietPolicy;
const double inf = std::numeric_limits<double>::infinity();
const double nan = std::numeric_limits<double>::quiet_NaN();
const long double pi = 3.14159265358979323846264338327950288L;

struct statusCase {
  const char* name;
  int which;
  double t, df;
  int status;
  double bound;  // expected bound; the preset 1 stays where none is written
};

TEST(StudentTDistribution, ReportsEveryStatusWithItsBound) {
  const statusCase cases[] = {
      {"computed", 1, 2.0, 10.0, 0, 1.0},
      {"every real t is valid", 1, -1e300, 10.0, 0, 1.0},
      {"which 0", 0, 2.0, 10.0, -1, 1.0},
      {"which 4", 4, 2.0, 10.0, -1, 3.0},
      // The inverse modes check P first; the preset P = -1 is outside (0, 1].
      {"inverse mode 2 checks P", 2, 2.0, 10.0, -2, 0.0},
      {"inverse mode 3 checks P", 3, 2.0, 10.0, -2, 0.0},
      {"zero df", 1, 2.0, 0.0, -5, 0.0},
      {"negative df", 1, 2.0, -3.0, -5, 0.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    double P = -1, Q = -1, t = c.t, df = c.df, bound = 1;
    int status = 99;
    studentTDistribution(c.which, P, Q, t, df, status, bound);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(bound, c.bound);
    if (c.status == 0) {
      EXPECT_NEAR(P + Q, 1.0, 1e-15);
    }
  }
}

TEST(TTwoSidedP, GivesMinusNineWhereNoPValueExists) {
  const struct { double t, df; } cases[] = {
      {2, 0}, {2, -3}, {nan, 5}, {inf, 5}, {-inf, 5}, {nan, nan}};
  for (const auto& c : cases) EXPECT_EQ(tTwoSidedP(c.t, c.df), -9) << c.t << ", " << c.df;
}

TEST(TTwoSidedP, EdgeValues) {
  for (double df : {0.5, 1.0, 3.0, 1e6}) EXPECT_EQ(tTwoSidedP(0, df), 1.0) << df;
  for (double df : {1.0, 2.0, 7.0, 1e4})
    for (double t : {1e-9, 0.3, 2.0, 45.0, 1e20})
      EXPECT_EQ(tTwoSidedP(t, df), tTwoSidedP(-t, df)) << t << ", " << df;
  EXPECT_NEAR(tTwoSidedP(1, 1), 0.5, 1e-15);  // the Cauchy case
  EXPECT_NEAR(tTwoSidedP(2, 10), 0.07339, 5e-6);
  // 0 once T^2 overflows (x = 0 gives (0, 1)); a tiny positive number just before.
  EXPECT_GT(tTwoSidedP(1.3e154, 1), 0.0);
  EXPECT_EQ(tTwoSidedP(1.4e154, 1), 0.0);
  EXPECT_EQ(tTwoSidedP(-1e200, 3), 0.0);
  // A df that is not a number passes the front end and gives a result that is none either.
  EXPECT_TRUE(std::isnan(tTwoSidedP(2, nan)));
}

// ---- accuracy against Boost, branch by branch ------------------------------------------

// The branch that the incomplete beta ratio takes for I_x(df/2, 1/2), x = df/(df + T^2).
std::string tBranch(double t, double df) {
  const double tt = t * t, x = df / (df + tt), y = tt / (df + tt);
  if (y == 0) return "T = 0 (y = 0)";
  if (x <= 0.5) return "power series in x";
  // Swapped: a0 = 1/2, b0 = df/2, x0 = y.
  if (df <= 2) return "power series in y (df <= 2)";
  if (y >= 0.3) return "power series on the complement";
  if (y < 0.1 && std::sqrt(y * df / 2) <= 0.7) return "power series in y";
  if (df / 2 > 15) return "large-a expansion";
  return "20 differences + large-a expansion";
}

// 2 Pr(T > |t|) in long double: closed forms for df 1 and 2 (where Boost's ratio loses
// digits for tiny y at a = b = 1/2), else the incomplete beta ratio.
long double exactTwoSided(double t, double df) {
  const long double lt = std::fabs(t), tt = lt * lt;
  if (df == 1) return 2 * std::atan2(1.0L, lt) / pi;
  if (df == 2) {
    const long double s = std::sqrt(2 + tt);
    return 2 / (s * (s + lt));
  }
  const long double x = df / (df + tt), y = tt / (df + tt);
  if (x <= 0.5L) return boost::math::ibeta(0.5L * df, 0.5L, x, quietPolicy());
  return boost::math::ibetac(0.5L, 0.5L * df, y, quietPolicy());
}

const double tDfs[] = {1, 2, 3, 5, 29, 30, 31, 100, 1e4, 1e6};

// Statistics for one df: a geometric walk from 1e-12 to where T^2 overflows, and the switch
// points of the selection (x = 1/2, y = 0.3, y = 0.1, (y df/2)^(1/2) = 0.7) with neighbours.
std::vector<double> tStatistics(double df) {
  std::vector<double> ts;
  accuracy::geometricGrid(1e-12, 1.3e154, 50, [&](double t) { ts.push_back(t); return true; });
  for (double y : {0.5, 0.3, 0.1, 0.98 / df}) {
    if (y >= 1) continue;
    double t = std::sqrt(y * df / (1 - y));
    for (int k = 0; k < 3; ++k) t = std::nextafter(t, 0.0);
    for (int k = 0; k < 6; ++k, t = std::nextafter(t, inf)) ts.push_back(t);
  }
  return ts;
}

std::string where(double t, double df) {
  std::ostringstream s;
  s.precision(17);
  s << "t " << t << " df " << df;
  return s.str();
}

accuracy::branchTable tAccuracy() {
  accuracy::branchTable table;
  for (double df : tDfs) {
    for (double t : tStatistics(df)) {
      const long double exact = exactTwoSided(t, df);
      const double p = tTwoSidedP(t, df);
      if (exact < 1e-300L) {
        EXPECT_LE(p, 1e-290) << "underflow " << where(t, df);
        continue;
      }
      // The deepest tails of the large-a expansion keep about 8e-14 of it: p's relative
      // sensitivity to y = t^2/(df + t^2) is about |ln p|, and y reaches the beta ratio rounded
      // to a double (within half an ulp).
      const double error = accuracy::relativeError(p, exact);
      EXPECT_LE(error, accuracy::flatTolerance) << where(t, df);
      table.add(tBranch(t, df), error, exact, where(t, df));
    }
  }
  return table;
}

TEST(TTwoSidedP, MatchesBoostInEveryBranchDownTo1e300) {
  const accuracy::branchTable table = tAccuracy();
  for (const char* b : {"power series in x", "power series in y (df <= 2)",
                        "power series on the complement", "power series in y",
                        "large-a expansion", "20 differences + large-a expansion"})
    EXPECT_EQ(table.rows().count(b), 1u) << "grid misses " << b;
}

TEST(TTwoSidedP, DISABLED_PrintsTheLargestErrorPerBranch) {
  tAccuracy().print("tTwoSidedP against Boost ibeta/ibetac (long double), p >= 1e-300:");
}

TEST(TTwoSidedP, AgreesWithBoostsStudentsTDistribution) {
  // Ties the incomplete beta oracle to the distribution the tests mean (away from t = 0,
  // where Boost's own complement loses digits).
  for (double df : {1.0, 3.0, 30.0, 1e4}) {
    const boost::math::students_t_distribution<long double, quietPolicy> d(df);
    for (double t : {0.1, 1.0, 2.0, 4.5, 30.0}) {
      const long double exact = 2 * cdf(complement(d, static_cast<long double>(t)));
      EXPECT_LE(accuracy::relativeError(tTwoSidedP(t, df), exact), 1e-13) << t << ", " << df;
    }
  }
}

TEST(StudentTCdf, BothTailsAreComputedSideBySide) {
  // A lower tail that is tiny keeps its relative precision too (never 1 - Q).
  for (double df : {3.0, 30.0, 1e4}) {
    for (double t : {-3.0, -8.0, -30.0}) {
      double P = 0, Q = 0;
      studentTCdf(t, df, P, Q);
      const long double exact = exactTwoSided(t, df) / 2;
      EXPECT_LE(accuracy::relativeError(P, exact), 1e-13) << t << ", " << df;
      EXPECT_NEAR(P + Q, 1.0, 1e-15);
    }
  }
}

TEST(TTwoSidedP, GivesTheSameBitsOnManyThreadsAtOnce) {
  std::vector<std::pair<double, double>> args;
  for (double df : tDfs)
    for (double t : tStatistics(df)) args.emplace_back(t, df);
  accuracy::expectSameBitsOnThreads(args, [](double t, double df) { return tTwoSidedP(t, df); });
}

}  // namespace
