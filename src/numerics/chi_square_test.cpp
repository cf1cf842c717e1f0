#include "numerics/chi_square.h"

#include <gtest/gtest.h>

#include <boost/math/distributions/chi_squared.hpp>
#include <boost/math/special_functions/gamma.hpp>

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "numerics/accuracy_test_support.h"
#include "numerics/distributions.h"
#include "numerics/incomplete_gamma.h"
#include "numerics/math_functions.h"

namespace {

using accuracy::quietPolicy;
const double inf = std::numeric_limits<double>::infinity();
const double nan = std::numeric_limits<double>::quiet_NaN();

// ---- front end and p-value: statuses and the -9 paths ----------------------------------

struct statusCase {
  const char* name;
  int which;
  double x, df;
  int status;
  double bound;  // expected bound; the preset 1 stays where none is written
};

TEST(ChiSquareDistribution, ReportsEveryStatusWithItsBound) {
  const statusCase cases[] = {
      {"computed", 1, 3.0, 2.0, 0, 1.0},
      {"which 0", 0, 3.0, 2.0, -1, 1.0},
      {"which negative", -7, 3.0, 2.0, -1, 1.0},
      {"which 4", 4, 3.0, 2.0, -1, 3.0},
      // The inverse modes check P first; the preset P = -1 is outside [0, 1].
      {"inverse mode 2 checks P", 2, 3.0, 2.0, -2, 0.0},
      {"inverse mode 3 checks P", 3, 3.0, 2.0, -2, 0.0},
      {"negative statistic", 1, -0.5, 1.0, -4, 0.0},
      {"statistic checked before df", 1, -0.5, -1.0, -4, 0.0},
      {"zero df", 1, 3.0, 0.0, -5, 0.0},
      {"negative df", 1, 3.0, -1.0, -5, 0.0},
      // Astronomically large shapes at x = a: the Temme expansion is indeterminate.
      {"ratio failure at x = a", 1, 2e30, 2e30, 10, 1.0},
      {"ratio failure beside x = a", 1, 2e40 * (1 + std::ldexp(1.0, -52)), 2e40, 10, 1.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    double P = -1, Q = -1, x = c.x, df = c.df, bound = 1;
    int status = 99;
    chiSquareDistribution(c.which, P, Q, x, df, status, bound);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(bound, c.bound);
    if (c.status == 0) {
      EXPECT_NEAR(P + Q, 1.0, 1e-15);
    }
    if (c.status == 10) {
      EXPECT_EQ(P, 2.0);  // the ratio routine's error value
    }
  }
}

TEST(ChiSquareP, GivesMinusNineWhereNoPValueExists) {
  const struct { double x, df; } cases[] = {
      {nan, 1}, {inf, 1}, {-inf, 1}, {-0.5, 1}, {3, 0}, {3, -1}, {2e30, 2e30}, {nan, nan}};
  for (const auto& c : cases) EXPECT_EQ(chiSquareP(c.x, c.df), -9) << c.x << ", " << c.df;
}

TEST(ChiSquareP, EdgeValues) {
  for (double df : {0.5, 1.0, 2.0, 100.0, 1e5}) EXPECT_EQ(chiSquareP(0, df), 1.0) << df;
  EXPECT_NEAR(chiSquareP(3.84146, 1), 0.05, 5e-7);
  EXPECT_NEAR(chiSquareP(5.99146, 2), 0.05, 5e-7);
  // Two degrees of freedom: the finite sum is e^(-x/2) itself from 2 to 62, and the
  // asymptotic series beyond sums to 0, leaving e^(-x/2) up to rounding.
  for (double x = 2; x < 62; x += 0.37) EXPECT_EQ(chiSquareP(x, 2), std::exp(-x / 2)) << x;
  for (double x = 62; x < 1400; x *= 1.1)
    EXPECT_NEAR(chiSquareP(x, 2) / std::exp(-x / 2), 1.0, 1e-13) << x;
  // Large statistics give 0, never -9: one degree of freedom once (x/2) exceeds the exponent
  // limit of erfc, two once e^(ln(x/2) - x/2) underflows.
  EXPECT_GT(chiSquareP(2 * 708.38, 1), 0.0);
  EXPECT_EQ(chiSquareP(2 * 708.39, 1), 0.0);
  EXPECT_GT(chiSquareP(1480, 2), 0.0);
  EXPECT_EQ(chiSquareP(1520, 2), 0.0);
  for (double df : {1.0, 2.0, 3.0, 41.0, 1e5}) {
    EXPECT_EQ(chiSquareP(1e300, df), 0.0) << df;
    EXPECT_EQ(chiSquareP(std::numeric_limits<double>::max(), df), 0.0) << df;
  }
  // A df that is not a number passes the front end's ordered comparisons.
  EXPECT_TRUE(std::isnan(chiSquareP(3, nan)));
}

TEST(IncompleteGammaRatio, ErrorsAndDegenerateArguments) {
  double P = 7, Q = 7;
  incompleteGammaRatio(-1, 2, P, Q, 0);
  EXPECT_EQ(P, 2.0);
  EXPECT_EQ(Q, 7.0);  // not written
  P = 7;
  incompleteGammaRatio(1, -2, P, Q, 0);
  EXPECT_EQ(P, 2.0);
  P = 7;
  incompleteGammaRatio(0, 0, P, Q, 0);
  EXPECT_EQ(P, 2.0);
  incompleteGammaRatio(0, 2, P, Q, 0);
  EXPECT_EQ(P, 1.0);
  EXPECT_EQ(Q, 0.0);
  incompleteGammaRatio(3, 0, P, Q, 0);
  EXPECT_EQ(P, 0.0);
  EXPECT_EQ(Q, 1.0);
  gammaCdf(-1, 3, P, Q);
  EXPECT_EQ(P, 0.0);
  EXPECT_EQ(Q, 1.0);
}

// ---- accuracy against Boost, branch by branch ------------------------------------------

// The branch that the ratio's selection takes for shape a and argument x (ind 0).
std::string gammaBranch(double a, double x) {
  if (a * x == 0) return "a x = 0";
  if (!(a >= 1)) {
    if (a == 0.5) return x >= 0.25 ? "a = 1/2, erfc" : "a = 1/2, erf";
    return x < 1.1 ? "a < 1, Taylor series" : "a < 1, continued fraction";
  }
  const auto series = [&](const char* prefix) {
    std::string p = prefix;
    if (x <= std::max(a, 2.30258509299405)) return p + "Taylor series P/r";
    if (x < 31) return p + "continued fraction Q/r";
    return p + "asymptotic series Q/r";
  };
  if (a < 20) {
    const double twoa = a + a;
    if (a <= x && x < 31 && twoa == std::floor(twoa)) return "1 <= a < 20, finite sum";
    return series("1 <= a < 20, ");
  }
  const double l = x / a;
  const double s = 0.5 + (0.5 - l);
  if (xMinusOneMinusLog(l) >= 700 / a) return "a >= 20, limit beyond 700/a";
  if (std::fabs(s) <= 2.5e-4 / std::sqrt(a)) return "a >= 20, Temme at l = 1";
  if (std::fabs(s) <= 1e-3) return "a >= 20, Temme short";
  if (std::fabs(s) <= 0.4) return "a >= 20, Temme full";
  return series("a >= 20, ");
}

const double chiSquareDfs[] = {1, 2, 3, 4, 7, 10, 39, 40, 41, 100, 1000, 1e5};

// Offsets s of x from the mean df (x = df (1 + s)): the Temme regions are |s| <= 2.5e-4 /
// sqrt(df/2), <= 1e-3 and <= 0.4.
const double meanOffsets[] = {0,     1e-9,   1e-8, 1e-7, 3e-7, 1e-6, 3e-6, 1e-5, 2e-5,
                              5e-5,  1e-4,   2e-4, 5e-4, 8e-4, 1e-3, 1.2e-3, 3e-3, 1e-2,
                              3e-2,  0.1,    0.2,  0.3,  0.39, 0.41, 0.5,  0.7,  0.9};

// Statistics for one df: a geometric walk from 1e-12, the neighbourhood of the mean, and the
// switch points of the selection (x/2 = 0.25, 1.1, ln 10, 31, a) with their neighbours.
std::vector<double> chiSquareStatistics(double df) {
  std::vector<double> xs;
  accuracy::geometricGrid(1e-12, 2e6, 50, [&](double x) { xs.push_back(x); return true; });
  for (double s : meanOffsets) {
    xs.push_back(df * (1 + s));
    if (s < 1) xs.push_back(df * (1 - s));
  }
  for (double half : {0.25, 1.1, 2.30258509299405, 31.0, df / 2}) {
    double x = 2 * half;
    for (int k = 0; k < 3; ++k) x = std::nextafter(x, 0.0);
    for (int k = 0; k < 6; ++k, x = std::nextafter(x, inf)) xs.push_back(x);
  }
  return xs;
}

std::string where(const char* name, double x, double df) {
  std::ostringstream s;
  s.precision(17);
  s << name << " x " << x << " df " << df;
  return s.str();
}

// Walks the chi-square grid: every p >= 1e-300 within the flat tolerance, however deep in the
// tail; p-values that underflow in the oracle must be tiny here too.
accuracy::branchTable chiSquareAccuracy() {
  accuracy::branchTable table;
  for (double df : chiSquareDfs) {
    for (double x : chiSquareStatistics(df)) {
      const long double exact = boost::math::gamma_q(0.5L * df, 0.5L * x, quietPolicy());
      const double p = chiSquareP(x, df);
      if (exact < 1e-300L) {
        EXPECT_LE(p, 1e-290) << where("underflow", x, df);
        continue;
      }
      const double error = accuracy::relativeError(p, exact);
      EXPECT_LE(error, accuracy::flatTolerance) << where("chiSquareP", x, df);
      table.add(gammaBranch(df / 2, x / 2), error, exact, where("", x, df));
    }
  }
  return table;
}

// Every branch the integer degrees of freedom can reach. The continued fraction of 1 <= a < 20
// is not among them: there x > max(a, ln 10) and x < 31 always meet the finite sum.
TEST(ChiSquareP, MatchesBoostInEveryBranchDownTo1e300) {
  const accuracy::branchTable table = chiSquareAccuracy();
  const char* branches[] = {"a = 1/2, erf",
                            "a = 1/2, erfc",
                            "1 <= a < 20, finite sum",
                            "1 <= a < 20, Taylor series P/r",
                            "1 <= a < 20, asymptotic series Q/r",
                            "a >= 20, Temme at l = 1",
                            "a >= 20, Temme short",
                            "a >= 20, Temme full",
                            "a >= 20, Taylor series P/r",
                            "a >= 20, continued fraction Q/r",
                            "a >= 20, asymptotic series Q/r",
                            "a >= 20, limit beyond 700/a"};
  for (const char* b : branches) EXPECT_EQ(table.rows().count(b), 1u) << "grid misses " << b;
}

TEST(ChiSquareP, DISABLED_PrintsTheLargestErrorPerBranch) {
  chiSquareAccuracy().print("chiSquareP against Boost gamma_q (long double), p >= 1e-300:");
}

TEST(ChiSquareP, AgreesWithBoostsChiSquaredDistribution) {
  // The oracle above is the gamma ratio; this ties it to the distribution the tests mean.
  for (double df : {1.0, 2.0, 7.0, 100.0}) {
    const boost::math::chi_squared_distribution<long double, quietPolicy> d(df);
    for (double x : {0.01, 0.5, 3.84146, 10.0, 60.0, 300.0}) {
      const long double exact = cdf(complement(d, static_cast<long double>(x)));
      EXPECT_LE(accuracy::relativeError(chiSquareP(x, df), exact), 1e-13) << x << ", " << df;
    }
  }
}

// Shapes that the integer degrees of freedom never give: below 1 but not 1/2, and moderate
// shapes that are no half-integers (the r route instead of the finite sum).
const double otherShapes[] = {1e-3, 0.1, 0.3, 0.75, 0.99, 1.3, 2.7, 7.2, 19.9, 20.3, 60.7};

// The tolerance of the ratio for one tail and branch: the flat one, except for the lower tail
// of Temme's full expansion, whose truncation (not a rounding: evaluated exactly, the truncated
// expansion is 1.05e-13 off there) reaches 1.06e-13 at a = 20.3, x/a = 0.62, next to the
// smallest a and the widest |1 - x/a| that the expansion serves.
double ratioTolerance(const std::string& branch, bool lower) {
  return lower && branch == "a >= 20, Temme full" ? 1.5e-13 : accuracy::flatTolerance;
}

accuracy::branchTable ratioAccuracy() {
  accuracy::branchTable table;
  for (double a : otherShapes) {
    std::vector<double> xs;
    accuracy::geometricGrid(1e-12, 2e3, 40, [&](double x) { xs.push_back(x); return true; });
    for (double s : meanOffsets) xs.push_back(a * (1 + s));
    for (double x : xs) {
      double P = 0, Q = 0;
      incompleteGammaRatio(a, x, P, Q, 0);
      const long double exactP = boost::math::gamma_p(static_cast<long double>(a), x,
                                                      quietPolicy());
      const long double exactQ = boost::math::gamma_q(static_cast<long double>(a), x,
                                                      quietPolicy());
      const std::string branch = gammaBranch(a, x);
      if (exactQ >= 1e-300L) {
        const double e = accuracy::relativeError(Q, exactQ);
        EXPECT_LE(e, ratioTolerance(branch, false)) << where("Q", x, 2 * a);
        table.add(branch + " (Q)", e, exactQ, where("", x, 2 * a));
      }
      if (exactP >= 1e-300L) {
        const double e = accuracy::relativeError(P, exactP);
        EXPECT_LE(e, ratioTolerance(branch, true)) << where("P", x, 2 * a);
        table.add(branch + " (P)", e, exactP, where("", x, 2 * a));
      }
    }
  }
  return table;
}

TEST(IncompleteGammaRatio, BothTailsMatchBoostForShapesOffTheHalfIntegers) {
  const accuracy::branchTable table = ratioAccuracy();
  for (const char* b : {"a < 1, Taylor series (Q)", "a < 1, continued fraction (Q)",
                        "1 <= a < 20, continued fraction Q/r (Q)",
                        "1 <= a < 20, Taylor series P/r (P)"})
    EXPECT_EQ(table.rows().count(b), 1u) << "grid misses " << b;
}

TEST(IncompleteGammaRatio, DISABLED_PrintsTheLargestErrorPerBranch) {
  ratioAccuracy().print("incompleteGammaRatio (P and Q) against Boost gamma_p/gamma_q:");
}

TEST(IncompleteGammaRatio, LowerAccuracyColumnsMeetTheirDigits) {
  // ind 1 asks for six significant digits, any other value for three.
  const struct { int ind; double tolerance; } columns[] = {{1, 5e-6}, {2, 5e-3}, {7, 5e-3}};
  for (const auto& c : columns) {
    for (double a : {0.3, 5.0, 15.0, 25.0, 300.0, 1e4}) {
      for (double s : {-0.3, -0.01, -1e-4, 0.0, 1e-4, 0.01, 0.3, 2.0}) {
        const double x = a * (1 + s);
        double P = 0, Q = 0;
        incompleteGammaRatio(a, x, P, Q, c.ind);
        const long double exactQ = boost::math::gamma_q(static_cast<long double>(a), x,
                                                        quietPolicy());
        if (exactQ < 1e-300L) continue;
        EXPECT_LE(accuracy::relativeError(Q, exactQ), c.tolerance)
            << "ind " << c.ind << " a " << a << " x " << x;
      }
    }
  }
}

TEST(IncGammaSmallA, MatchesBoostGivenItsPrefactor) {
  for (double a : {1e-3, 0.1, 0.5, 0.9, 1.0}) {
    for (double x : {1e-6, 0.01, 0.2, 0.3, 1.0, 1.2, 5.0, 30.0, 200.0}) {
      const long double la = a;
      const long double r =
          std::exp(-static_cast<long double>(x) + la * std::log(static_cast<long double>(x))) /
          boost::math::tgamma(la, quietPolicy());
      double P = 0, Q = 0;
      incGammaSmallA(a, x, static_cast<double>(r), P, Q, 1e-15);
      const long double exactQ = boost::math::gamma_q(la, x, quietPolicy());
      const long double exactP = boost::math::gamma_p(la, x, quietPolicy());
      EXPECT_LE(accuracy::relativeError(Q, exactQ), 1e-13) << a << ", " << x;
      EXPECT_LE(accuracy::relativeError(P, exactP), 1e-13) << a << ", " << x;
    }
  }
}

TEST(ChiSquareP, GivesTheSameBitsOnManyThreadsAtOnce) {
  std::vector<std::pair<double, double>> args;
  for (double df : chiSquareDfs)
    for (double x : chiSquareStatistics(df)) args.emplace_back(x, df);
  accuracy::expectSameBitsOnThreads(args, [](double x, double df) { return chiSquareP(x, df); });
}

}  // namespace
