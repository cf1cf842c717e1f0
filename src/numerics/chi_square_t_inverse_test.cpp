#include <gtest/gtest.h>

#include <boost/math/distributions/chi_squared.hpp>
#include <boost/math/distributions/students_t.hpp>
#include <boost/math/special_functions/beta.hpp>
#include <boost/math/special_functions/gamma.hpp>

#include <cmath>
#include <cstdio>
#include <limits>

#include "numerics/accuracy_test_support.h"
#include "numerics/chi_square.h"
#include "numerics/search_test_support.h"
#include "numerics/student_t.h"

namespace {

using accuracy::quietPolicy;
using search::relativeDistance;
using search::searchTolerance;
const double nan = std::numeric_limits<double>::quiet_NaN();

struct inverseStatusCase {
  const char* name;
  int which;
  double P, Q, x, df;
  int status;
  double bound;  // the preset 7 stays where none is written
};

TEST(ChiSquareDistribution, InverseModesReportEveryStatusWithItsBound) {
  const inverseStatusCase cases[] = {
      {"P negative", 2, -0.1, 0.5, 1, 3, -2, 0},
      {"P above 1", 3, 1.1, 0.5, 1, 3, -2, 1},
      {"P zero is allowed", 2, 0.0, 1.0, 1, 3, 0, 7},
      {"Q zero", 2, 1.0, 0.0, 1, 3, -3, 0},
      {"Q above 1", 2, 0.5, 1.5, 1, 3, -3, 1},
      {"x negative in mode 3", 3, 0.5, 0.5, -1, 3, -4, 0},
      {"x not checked in mode 2", 2, 0.5, 0.5, -1, 3, 0, 7},
      {"df zero in mode 2", 2, 0.5, 0.5, 1, 0, -5, 0},
      {"df not checked in mode 3", 3, 0.5, 0.5, 1, -3, 0, 7},
      {"P + Q above 1", 2, 0.5, 0.5 + 1e-15, 1, 3, 3, 1},
      {"P + Q below 1", 3, 0.5, 0.5 - 1e-15, 1, 3, 3, 1},
      {"P + Q within three epsilons", 2, 0.5, 0.5 + 6e-16, 1, 3, 0, 7},
      // df = 1e302: every x up to 1e300 lies far below the mean, where Q = 1.
      {"x above the range", 2, 0.5, 0.5, 1, 1e302, 2, 1e300},
      // x = 1: Q(1; df) grows with df and is 2.8e-301 at df = 1e-300.
      {"df below the range", 3, 1.0, 1e-305, 1, 3, 1, 1e-300},
      // df = 1e300 at x = 1e300 = the mean: the ratio's Temme expansion is indeterminate.
      {"ratio failure during the search", 2, 0.5, 0.5, 1, 1e300, 10, 7},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    double P = c.P, Q = c.Q, x = c.x, df = c.df, bound = 7;
    int status = 99;
    chiSquareDistribution(c.which, P, Q, x, df, status, bound);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(bound, c.bound);
  }
}

TEST(StudentTDistribution, InverseModesReportEveryStatusWithItsBound) {
  const inverseStatusCase cases[] = {
      {"P zero", 2, 0.0, 1.0, 1, 3, -2, 0},
      {"P above 1", 3, 1.1, 0.5, 1, 3, -2, 1},
      {"Q zero", 2, 1.0, 0.0, 1, 3, -3, 0},
      {"Q above 1", 2, 0.5, 1.5, 1, 3, -3, 1},
      {"df zero in mode 2", 2, 0.5, 0.5, 1, 0, -5, 0},
      {"df not checked in mode 3", 3, 0.5, 0.5, 1, -3, 0, 7},
      {"P + Q above 1", 2, 0.5, 0.5 + 1e-15, 1, 3, 3, 1},
      // With df = 1e-300 the start overflows; it is held inside the range rather than ending
      // the search. (The cdf reaches 0 and 1 where t^2 overflows, so t always has an answer.)
      {"start beyond the range", 2, 0.9, 0.1, 1, 1e-300, 0, 7},
      // Pr(T <= 2) never exceeds Phi(2) = 0.977 however large df is.
      {"df above the range", 3, 0.99, 0.01, 2, 3, 2, 1e10},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    double P = c.P, Q = c.Q, t = c.x, df = c.df, bound = 7;
    int status = 99;
    studentTDistribution(c.which, P, Q, t, df, status, bound);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(bound, c.bound);
  }
}

const double tailProbabilities[] = {1e-300, 1e-200, 1e-100, 1e-30, 1e-10, 1e-4, 0.01, 0.2, 0.5};

// x from P and Q against Boost's chi-square quantile, given from either tail.
TEST(ChiSquareDistribution, QuantileMatchesBoost) {
  double worst = 0;
  for (double df : {0.5, 1.0, 2.0, 3.0, 10.0, 100.0, 1e4}) {
    const boost::math::chi_squared_distribution<long double, quietPolicy> oracle(df);
    for (double p : tailProbabilities) {
      for (const bool lower : {true, false}) {
        SCOPED_TRACE(testing::Message() << "df " << df << " p " << p << " lower " << lower);
        const long double exact = lower ? quantile(oracle, static_cast<long double>(p))
                                        : quantile(complement(oracle, static_cast<long double>(p)));
        double P = lower ? p : 1.0 - p, Q = lower ? 1.0 - p : p, x = 0, d = df, bound = 7;
        int status = 99;
        chiSquareDistribution(2, P, Q, x, d, status, bound);
        ASSERT_EQ(status, 0);
        if (exact > 1e-42L) worst = std::max(worst, relativeDistance(x, exact));
        EXPECT_TRUE(search::withinSearchTolerance(x, exact)) << x << " " << exact;
      }
    }
  }
  std::printf("chi-square mode 2 worst relative error (quantiles above 1e-42): %.2e\n", worst);
}

// df from P, Q and x: the oracle solves Boost's gamma ratio for df.
TEST(ChiSquareDistribution, DegreesOfFreedomSolveBoostsCdf) {
  double worst = 0;
  for (double x : {0.01, 1.0, 3.84, 30.0, 1000.0}) {
    for (double df : {0.3, 1.0, 7.5, 60.0, 900.0}) {
      const long double q = boost::math::gamma_q(0.5L * df, 0.5L * x, quietPolicy());
      if (q < 1e-280L || q > 1 - 1e-15L) continue;
      const double Q = static_cast<double>(q);
      const long double exact = search::oracleRoot(
          [&](long double d) { return boost::math::gamma_q(0.5L * d, 0.5L * x, quietPolicy()) - Q; },
          1e-300L, 1e6L);
      SCOPED_TRACE(testing::Message() << "x " << x << " df " << df);
      double P = 1.0 - Q, Qv = Q, xv = x, d = 0, bound = 7;
      int status = 99;
      chiSquareDistribution(3, P, Qv, xv, d, status, bound);
      ASSERT_EQ(status, 0);
      const double distance = relativeDistance(d, exact);
      worst = std::max(worst, distance);
      EXPECT_LE(distance, searchTolerance);
    }
  }
  std::printf("chi-square mode 3 worst relative error: %.2e\n", worst);
}

TEST(ChiSquareQuantile, MatchesBoostAndItsEdges) {
  for (double df : {1.0, 2.0, 5.0}) {
    const boost::math::chi_squared_distribution<long double, quietPolicy> oracle(df);
    for (double p : {1e-300, 1e-12, 0.05, 0.5, 0.99}) {
      const long double exact = quantile(complement(oracle, static_cast<long double>(p)));
      EXPECT_TRUE(search::withinSearchTolerance(chiSquareQuantile(p, df), exact)) << df << " " << p;
    }
  }
  EXPECT_EQ(chiSquareQuantile(1.0, 3), 0.0);
  EXPECT_EQ(chiSquareQuantile(1.5, 3), 0.0);
  EXPECT_EQ(chiSquareQuantile(nan, 3), -9);
  EXPECT_EQ(chiSquareQuantile(INFINITY, 3), -9);
  EXPECT_EQ(chiSquareQuantile(0.0, 3), -9);   // Q = 0: no x
  EXPECT_EQ(chiSquareQuantile(-0.1, 3), -9);  // P above 1
  EXPECT_EQ(chiSquareQuantile(0.05, 0), -9);  // df <= 0
  EXPECT_NEAR(chiSquareQuantile(0.05, 1), 3.841458820694124, 4e-8);
}

TEST(StudentTDistribution, QuantileMatchesBoost) {
  double worst = 0;
  for (double df : {0.2, 1.0, 2.0, 3.0, 10.0, 100.0, 1e6}) {
    const boost::math::students_t_distribution<long double, quietPolicy> oracle(df);
    for (double p : tailProbabilities) {
      for (const bool lower : {true, false}) {
        // Beyond |t| = 1.3e154 t^2 overflows and the cdf is 0 or 1 (heavy tails of a small df):
        // quantiles out there cannot be found.
        const long double exact = lower ? quantile(oracle, static_cast<long double>(p))
                                        : quantile(complement(oracle, static_cast<long double>(p)));
        if (std::fabs(exact) > 1e154L) continue;
        SCOPED_TRACE(testing::Message() << "df " << df << " p " << p << " lower " << lower);
        double P = lower ? p : 1.0 - p, Q = lower ? 1.0 - p : p, t = 0, d = df, bound = 7;
        int status = 99;
        studentTDistribution(2, P, Q, t, d, status, bound);
        ASSERT_EQ(status, 0);
        const double distance = relativeDistance(t, exact);
        worst = std::max(worst, distance);
        // The median's exact quantile is 0, where the tolerance is the absolute one.
        if (p == 0.5) EXPECT_LE(std::fabs(t), 1e-8);
        else EXPECT_LE(distance, searchTolerance);
      }
    }
  }
  std::printf("Student t mode 2 worst relative error: %.2e\n", worst);
}

TEST(StudentTDistribution, DegreesOfFreedomSolveBoostsCdf) {
  double worst = 0;
  for (double t : {-30.0, -2.5, 1.0, 4.0, 50.0}) {
    for (double df : {0.5, 1.0, 4.0, 30.0, 300.0}) {
      const auto tailOf = [&](long double d) {
        const boost::math::students_t_distribution<long double, quietPolicy> o(d);
        return t < 0 ? cdf(o, static_cast<long double>(t))
                     : cdf(complement(o, static_cast<long double>(t)));
      };
      const double target = static_cast<double>(tailOf(df));
      if (target < 1e-280) continue;
      const long double exact =
          search::oracleRoot([&](long double d) { return tailOf(d) - target; }, 1e-3L, 1e9L);
      SCOPED_TRACE(testing::Message() << "t " << t << " df " << df);
      double P = t < 0 ? target : 1.0 - target, Q = t < 0 ? 1.0 - target : target, tv = t,
             d = 0, bound = 7;
      int status = 99;
      studentTDistribution(3, P, Q, tv, d, status, bound);
      ASSERT_EQ(status, 0);
      const double distance = relativeDistance(d, exact);
      worst = std::max(worst, distance);
      EXPECT_LE(distance, searchTolerance);
    }
  }
  std::printf("Student t mode 3 worst relative error: %.2e\n", worst);
}

TEST(TInverseStart, IsTheCornishFisherExpansion) {
  // Four terms in 1/df: the error is about the first term left out, g5(x)/df^5 (Abramowitz
  // and Stegun 26.7.5), taken here with all its coefficients positive and doubled.
  const auto firstOmitted = [](double x, double df) {
    const double xx = x * x;
    const double g5 =
        (((((27 * xx + 339) * xx + 930) * xx + 1782) * xx + 765) * xx + 17955) * std::fabs(x) /
        368640;
    return 2 * g5 / std::pow(df, 5.0);
  };
  for (double df : {20.0, 100.0, 1e4}) {
    const boost::math::students_t_distribution<long double, quietPolicy> oracle(df);
    for (double p : {1e-6, 0.01, 0.3, 0.7, 0.999}) {
      const long double exact = quantile(oracle, static_cast<long double>(p));
      const double x = static_cast<double>(exact);
      EXPECT_NEAR(tInverseStart(p, 1.0 - p, df), x, firstOmitted(x, df) + 1e-13 * std::fabs(x))
          << df << " " << p;
    }
  }
}

}  // namespace
