#include "numerics/normal.h"

#include <gtest/gtest.h>

#include <boost/math/distributions/normal.hpp>

#include <cmath>
#include <cstdio>
#include <limits>

#include "numerics/accuracy_test_support.h"

namespace {

using accuracy::quietPolicy;
using accuracy::relativeError;
using oracleNormal = boost::math::normal_distribution<long double, quietPolicy>;

// Both tails of the standard normal over the whole range where the smaller one is a normal
// double (|x| up to 37.5), through the three ranges of the approximation.
TEST(NormalCdf, BothTailsMatchBoostDownTo1e300) {
  const oracleNormal oracle;
  double worst[3] = {0, 0, 0};
  for (double x = -37.5; x <= 37.5; x += 0.0173) {
    double P = 0, Q = 0;
    normalCdf(x, P, Q);
    const long double exactP = cdf(oracle, static_cast<long double>(x));
    const long double exactQ = cdf(complement(oracle, static_cast<long double>(x)));
    const int range = std::fabs(x) <= 0.66291 ? 0 : std::fabs(x) <= std::sqrt(32.0) ? 1 : 2;
    for (const auto& [value, exact] : {std::pair{P, exactP}, std::pair{Q, exactQ}}) {
      if (exact < 1e-300L) continue;
      const double error = relativeError(value, exact);
      worst[range] = std::max(worst[range], error);
      EXPECT_LE(error, 1e-13) << "x " << x;
    }
  }
  std::printf("normalCdf worst relative error: |x| <= 0.66291 %.2e, to sqrt(32) %.2e, "
              "beyond %.2e\n", worst[0], worst[1], worst[2]);
}

TEST(NormalCdf, TailsBelowTheSmallestNormalNumberAreZero) {
  double P = 1, Q = 1;
  normalCdf(-38.5, P, Q);
  EXPECT_EQ(P, 0.0);
  EXPECT_EQ(Q, 1.0);
  normalCdf(40.0, P, Q);
  EXPECT_EQ(P, 1.0);
  EXPECT_EQ(Q, 0.0);
  normalCdf(0.0, P, Q);
  EXPECT_EQ(P, 0.5);
  EXPECT_EQ(Q, 0.5);
}

// The quantile over p from 1e-300 to 1 - 1e-16, given either way round.
TEST(NormalInverse, MatchesBoostQuantileOverTheWholeRange) {
  const oracleNormal oracle;
  double worst = 0;
  for (double p = 1e-300; p < 0.5; p *= 1.7) {
    const long double exact = quantile(oracle, static_cast<long double>(p));
    const double lower = normalInverse(p, 1.0 - p);
    const double upper = normalInverse(1.0 - p, p);
    worst = std::max({worst, relativeError(lower, exact), relativeError(upper, -exact)});
    EXPECT_LE(relativeError(lower, exact), 1e-12) << p;
    EXPECT_LE(relativeError(upper, -exact), 1e-12) << p;
  }
  std::printf("normalInverse worst relative error for p in [1e-300, 0.5): %.2e\n", worst);
  EXPECT_NEAR(normalInverse(0.5, 0.5), 0.0, 1e-15);
}

// The published start is good to about 1.5e-8 in x over 1e-20 <= p <= 0.5, and mirrors.
TEST(NormalInverseStart, IsWithinItsPublishedAccuracy) {
  const oracleNormal oracle;
  for (double p = 1e-20; p <= 0.5; p *= 1.3) {
    const long double exact = quantile(oracle, static_cast<long double>(p));
    EXPECT_NEAR(normalInverseStart(p), static_cast<double>(exact), 1.5e-8) << p;
    const double upper = 1.0 - p;
    if (upper == 1.0) continue;
    EXPECT_NEAR(normalInverseStart(upper),
                static_cast<double>(quantile(oracle, static_cast<long double>(upper))), 1.5e-8)
        << upper;
  }
}

TEST(Dlanor, MatchesTheLogarithmOfTheTail) {
  const oracleNormal oracle;
  for (double x : {5.0, 5.5, 7.0, 10.0, 20.0, 37.0, 100.0, 1e3, 1e10}) {
    const long double q = cdf(complement(oracle, static_cast<long double>(x)));
    // Beyond the long double range of the oracle's tail: ln Q = -x^2/2 - ln(x sqrt(2 pi)) - 1/x^2.
    const long double exact =
        q > 0 ? std::log(q)
              : -0.5L * x * x - std::log(static_cast<long double>(x)) -
                    0.91893853320467274178L - 1.0L / (static_cast<long double>(x) * x);
    // An asymptotic series: its error is about the first term left out, 25!!/x^26 of the
    // correction (1.8e-7 of ln Q at x = 5, 2e-11 at 7), down to rounding from 8 on.
    const double omitted = 7.905853580625e12 / std::pow(x, 26.0) / std::fabs(static_cast<double>(exact));
    EXPECT_LE(relativeError(DLANOR(x), exact), std::max(1e-13, omitted)) << x;
    EXPECT_EQ(DLANOR(-x), DLANOR(x));
  }
}

TEST(Dlanor, StopsBelowFiveWithStatusOne) {
  EXPECT_EXIT(DLANOR(4.99), testing::ExitedWithCode(1), "^ Argument too small in DLANOR\n$");
}

struct modeCase {
  const char* name;
  int which;
  double P, Q, x, mean, sd;
  int status;
  double bound;  // the preset 7 stays where none is written
};

TEST(NormalDistribution, ReportsEveryStatusWithItsBound) {
  const modeCase cases[] = {
      {"which 0", 0, 0.3, 0.7, 1, 0, 1, -1, 1},
      {"which 5", 5, 0.3, 0.7, 1, 0, 1, -1, 4},
      {"P zero", 2, 0.0, 1.0, 1, 0, 1, -2, 0},
      {"P above 1", 2, 1.5, 0.7, 1, 0, 1, -2, 1},
      {"Q zero", 3, 1.0, 0.0, 1, 0, 1, -3, 0},
      {"Q above 1", 4, 0.3, 1.2, 1, 0, 1, -3, 1},
      {"P + Q above 1", 2, 0.3, 0.7 + 1e-15, 1, 0, 1, 3, 1},
      {"P + Q below 1", 2, 0.3, 0.7 - 1e-15, 1, 0, 1, 3, 1},
      {"sd zero", 1, 0.3, 0.7, 1, 0, 0, -6, 0},
      {"sd negative in mode 2", 2, 0.3, 0.7, 1, 0, -1, -6, 0},
      {"sd not checked in mode 4", 4, 0.3, 0.7, 1, 0, -1, 0, 7},
      {"P not checked in mode 1", 1, 7.0, -3.0, 1, 0, 1, 0, 7},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    double P = c.P, Q = c.Q, x = c.x, mean = c.mean, sd = c.sd, bound = 7;
    int status = 99;
    normalDistribution(c.which, P, Q, x, mean, sd, status, bound);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(bound, c.bound);
  }
}

// Every mode against the oracle quantile, with a mean and sd that are not 0 and 1.
TEST(NormalDistribution, EveryModeMatchesBoost) {
  const double mean = -3.25, sd = 2.5;
  const boost::math::normal_distribution<long double, quietPolicy> oracle(mean, sd);
  for (double p : {1e-300, 1e-100, 1e-10, 0.001, 0.3, 0.5, 0.9, 1 - 1e-12}) {
    SCOPED_TRACE(p);
    const long double exact = quantile(oracle, static_cast<long double>(p));
    int status = 99;
    double P = p, Q = 1.0 - p, x = 0, m = mean, s = sd, bound = 7;
    normalDistribution(2, P, Q, x, m, s, status, bound);
    EXPECT_EQ(status, 0);
    EXPECT_NEAR(x, static_cast<double>(exact), 1e-12 * std::fabs(static_cast<double>(exact)) + 1e-14);
    // The same point gives the mean and the sd back.
    double found = 0;
    x = static_cast<double>(exact);
    normalDistribution(3, P, Q, x, found, s, status, bound);
    EXPECT_EQ(status, 0);
    EXPECT_NEAR(found, mean, 1e-10 * std::fabs(x - mean) + 1e-12);
    if (p != 0.5) {
      m = mean;
      normalDistribution(4, P, Q, x, m, found, status, bound);
      EXPECT_EQ(status, 0);
      EXPECT_NEAR(found, sd, 1e-10 * sd);
    }
    // And mode 1 gives P and Q back.
    double P1 = 0, Q1 = 0;
    m = mean;
    s = sd;
    normalDistribution(1, P1, Q1, x, m, s, status, bound);
    const long double exactP = cdf(oracle, static_cast<long double>(x));
    // (x - mean)/sd carries a rounding of the standard deviate z, which the tail magnifies by
    // z^2: 1.4e-13 at z = 37.
    EXPECT_LE(relativeError(P1, exactP), 3e-13);
  }
}

}  // namespace
