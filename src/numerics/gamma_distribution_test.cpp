#include "numerics/gamma_distribution.h"

#include <gtest/gtest.h>

#include <boost/math/distributions/beta.hpp>
#include <boost/math/distributions/gamma.hpp>
#include <boost/math/special_functions/beta.hpp>
#include <boost/math/special_functions/gamma.hpp>

#include <cmath>
#include <cstdio>

#include "numerics/accuracy_test_support.h"
#include "numerics/machine_constants.h"
#include "numerics/search_test_support.h"

namespace {

using accuracy::quietPolicy;
using accuracy::relativeError;
using search::relativeDistance;
using search::searchTolerance;

const double shapes[] = {1e-3, 0.05, 0.3, 0.5, 0.9, 1.0, 1.5, 4.0, 25.0, 400.0, 600.0, 1e5};
const double tails[] = {1e-300, 1e-100, 1e-30, 1e-10, 1e-3, 0.05, 0.3, 0.5};

// The inverse aims at ten significant digits: every start of the published method (small and
// large shapes, both tails) against Boost's inverse of the gamma ratio.
TEST(IncompleteGammaInverse, MatchesBoostToTenDigits) {
  double worst = 0;
  for (double a : shapes) {
    for (double p : tails) {
      for (const bool lower : {true, false}) {
        const long double exact =
            lower ? boost::math::gamma_p_inv(static_cast<long double>(a), static_cast<long double>(p), quietPolicy())
                  : boost::math::gamma_q_inv(static_cast<long double>(a), static_cast<long double>(p), quietPolicy());
        if (exact < 1e-300L) continue;
        SCOPED_TRACE(testing::Message() << "a " << a << " p " << p << " lower " << lower);
        double x = 0;
        int error = 99;
        const double P = lower ? p : 1.0 - p, Q = lower ? 1.0 - p : p;
        incompleteGammaInverse(a, x, -1.0, P, Q, error);
        // The iteration cannot run on a tail below 1e10 times the smallest normal number: the
        // start is returned with error -8 (unless the start is already final).
        if (p <= 1e10 * machineDouble(2) && error == -8) continue;
        ASSERT_GE(error, 0);
        const double distance = relativeDistance(x, exact);
        worst = std::max(worst, distance);
        EXPECT_LE(distance, 1e-9);
      }
    }
  }
  std::printf("incompleteGammaInverse worst relative error: %.2e\n", worst);
}

TEST(IncompleteGammaInverse, EdgesAndErrors) {
  const struct {
    const char* name;
    double a, P, Q, x0;
    int error;
    double x;  // -1: not checked
  } cases[] = {
      {"a zero", 0.0, 0.5, 0.5, -1, -2, 0},
      {"P + Q not 1", 2.0, 0.5, 0.5 + 1e-15, -1, -4, 0},
      {"P zero", 2.0, 0.0, 1.0, -1, 0, 0},
      {"Q zero", 2.0, 1.0, 0.0, -1, 0, machineDouble(3)},
      {"a one: the exponential", 1.0, 0.75, 0.25, -1, 0, std::log(4.0)},
      {"a one, small P", 1.0, 0.05, 0.95, -1, 0, -std::log1p(-0.05)},
      {"a start given", 3.0, 0.5, 0.5, 2.5, 1, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    double x = -7;
    int error = 99;
    incompleteGammaInverse(c.a, x, c.x0, c.P, c.Q, error);
    if (c.error > 0) {
      EXPECT_GT(error, 0);
    } else {
      EXPECT_EQ(error, c.error);
    }
    if (c.x >= 0) {
      EXPECT_NEAR(x, c.x, 1e-15 * c.x);
    }
  }
}

struct gammaStatusCase {
  const char* name;
  int which;
  double P, Q, x, shape, scale;
  int status;
  double bound;
};

TEST(GammaDistribution, ReportsEveryStatusWithItsBound) {
  const gammaStatusCase cases[] = {
      {"which 5", 5, 0.5, 0.5, 1, 2, 3, -1, 4},
      {"P negative", 2, -0.5, 0.5, 1, 2, 3, -2, 0},
      {"Q above 1", 4, 0.5, 1.5, 1, 2, 3, -3, 1},
      {"x negative", 1, 0.5, 0.5, -1, 2, 3, -4, 0},
      {"shape zero", 2, 0.5, 0.5, 1, 0, 3, -5, 0},
      {"scale zero", 3, 0.5, 0.5, 1, 2, 0, -6, 0},
      {"P + Q not 1", 2, 0.5, 0.4, 1, 2, 3, 3, 1},
      // Q(shape, 3) shrinks with the shape and is still 1.3e-302 at 1e-300.
      {"shape below the range", 3, 1.0, 1e-305, 1, 2, 3, 1, 1e-300},
      // The ratio's Temme expansion is indeterminate at x = a for astronomically large a.
      {"ratio failure", 1, 0.5, 0.5, 1e30, 1e30, 1, 10, 7},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    double P = c.P, Q = c.Q, x = c.x, shape = c.shape, scale = c.scale, bound = 7;
    int status = 99;
    gammaDistribution(c.which, P, Q, x, shape, scale, status, bound);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(bound, c.bound);
  }
}

// The gamma front end's variate enters the ratio as x times scale, so mode 2 gives the
// quantile of the gamma distribution with scale 1/scale.
TEST(GammaDistribution, EveryModeMatchesBoost) {
  for (double shape : {0.2, 3.0, 80.0}) {
    for (double scale : {0.25, 4.0}) {
      const boost::math::gamma_distribution<long double, quietPolicy> oracle(shape, 1.0 / scale);
      for (double p : {1e-50, 1e-5, 0.2, 0.7, 1 - 1e-9}) {
        SCOPED_TRACE(testing::Message() << shape << " " << scale << " " << p);
        const long double exact = quantile(oracle, static_cast<long double>(p));
        double P = p, Q = 1 - p, x = 0, sh = shape, sc = scale, bound = 7;
        int status = 99;
        gammaDistribution(2, P, Q, x, sh, sc, status, bound);
        ASSERT_EQ(status, 0);
        EXPECT_LE(relativeDistance(x, exact), 1e-9);
        x = static_cast<double>(exact);
        sc = 0;
        gammaDistribution(4, P, Q, x, sh, sc, status, bound);
        ASSERT_EQ(status, 0);
        EXPECT_LE(relativeDistance(sc, scale), 1e-9);
        // The shape: the oracle solves its own cdf at this x.
        sh = 0;
        sc = scale;
        gammaDistribution(3, P, Q, x, sh, sc, status, bound);
        ASSERT_EQ(status, 0);
        EXPECT_LE(relativeDistance(sh, shape), 2 * searchTolerance);
        double P1 = 0, Q1 = 0;
        sh = shape;
        gammaDistribution(1, P1, Q1, x, sh, sc, status, bound);
        EXPECT_EQ(status, 0);
        EXPECT_LE(relativeError(P1, cdf(oracle, static_cast<long double>(x))), 1e-12);
        EXPECT_LE(relativeError(Q1, cdf(complement(oracle, static_cast<long double>(x)))), 1e-12);
      }
    }
  }
}

TEST(BetaDistribution, ReportsEveryStatusWithItsBound) {
  const struct {
    const char* name;
    int which;
    double P, Q, x, y, a, b;
    int status;
    double bound;
  } cases[] = {
      {"which 0", 0, 0.5, 0.5, 0.3, 0.7, 2, 3, -1, 1},
      {"P above 1", 2, 1.5, 0.5, 0.3, 0.7, 2, 3, -2, 1},
      {"Q zero", 2, 1.0, 0.0, 0.3, 0.7, 2, 3, -3, 0},
      {"x negative", 1, 0.5, 0.5, -0.3, 1.3, 2, 3, -4, 0},
      {"y above 1", 3, 0.5, 0.5, 0.3, 1.3, 2, 3, -5, 1},
      {"a zero", 1, 0.5, 0.5, 0.3, 0.7, 0, 3, -6, 0},
      {"b negative", 3, 0.5, 0.5, 0.3, 0.7, 2, -3, -7, 0},
      {"P + Q not 1", 4, 0.5, 0.6, 0.3, 0.7, 2, 3, 3, 1},
      {"x + y not 1", 1, 0.5, 0.5, 0.3, 0.71, 2, 3, 4, 1},
      {"x + y not checked in mode 2", 2, 0.5, 0.5, 0.3, 0.71, 2, 3, 0, 7},
      // 1 - I_0.3(a, 3) shrinks with a and is still about 1e-300 at a = 1e-300.
      {"a below the range", 3, 1.0, 1e-305, 0.3, 0.7, 2, 3, 1, 1e-300},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    double P = c.P, Q = c.Q, x = c.x, y = c.y, a = c.a, b = c.b, bound = 7;
    int status = 99;
    betaDistribution(c.which, P, Q, x, y, a, b, status, bound);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(bound, c.bound);
  }
}

// ln I_x(a, b) for the lower tail, ln I_y(b, a) = ln(1 - I_x(a, b)) for the upper one: Boost's
// own inverses and complements lose the far tails, the plain ratio in logarithms keeps them.
// A ratio that underflows even long double counts as e^-20000, below every target, so that the
// root finder never meets an infinite end.
long double logTail(bool lower, long double a, long double b, long double x, long double y) {
  const long double r = lower ? boost::math::ibeta(a, b, x, quietPolicy())
                              : boost::math::ibeta(b, a, y, quietPolicy());
  return r > 0 ? std::log(r) : -20000.0L;
}

TEST(BetaDistribution, EveryModeMatchesBoost) {
  double worst = 0;
  for (double a : {0.3, 2.0, 50.0}) {
    for (double b : {0.5, 7.0, 400.0}) {
      for (double p : {1e-200, 1e-20, 1e-4, 0.3, 0.5}) {
        for (const bool lower : {true, false}) {
          // At the median both tails are equal and the search runs on x, as for the lower one.
          if (p == 0.5 && !lower) continue;
          SCOPED_TRACE(testing::Message() << a << " " << b << " " << p << " " << lower);
          const double P = lower ? p : 1 - p, Q = lower ? 1 - p : p;
          const long double logP = std::log(static_cast<long double>(p));
          // The variate of the smaller tail (x for the lower one, y for the upper one).
          // Solved in ln v, so that the root's bracket spans the whole exponent range quickly.
          const long double exact = std::exp(search::oracleRoot(
              [&](long double u) {
                const long double v = std::exp(u);
                return logTail(lower, a, b, v, v) - logP;
              },
              -9000.0L, 0.0L));
          double Pv = P, Qv = Q, x = 0, y = 0, av = a, bv = b, bound = 7;
          int status = 99;
          betaDistribution(2, Pv, Qv, x, y, av, bv, status, bound);
          ASSERT_EQ(status, 0);
          const double found = lower ? x : y;
          if (exact > 1e-42L) worst = std::max(worst, relativeDistance(found, exact));
          EXPECT_TRUE(search::withinSearchTolerance(found, exact)) << found << " " << exact;
          EXPECT_EQ(x + y, 1.0);
          // a and b back from a point whose smaller variate is a normal double.
          if (exact < 1e-300L) continue;
          const double small = static_cast<double>(exact);
          x = lower ? small : 1.0 - small;
          y = lower ? 1.0 - small : small;
          const double xv = x, yv = y;
          const auto solve = [&](bool forA) {
            return search::oracleRoot(
                [&](long double v) {
                  return logTail(lower, forA ? v : a, forA ? b : v, xv, yv) - logP;
                },
                (forA ? a : b) / 1e3, (forA ? a : b) * 1e3);
          };
          av = 0;
          betaDistribution(3, Pv, Qv, x, y, av, bv, status, bound);
          ASSERT_EQ(status, 0);
          EXPECT_LE(relativeDistance(av, solve(true)), searchTolerance);
          av = a;
          bv = 0;
          betaDistribution(4, Pv, Qv, x, y, av, bv, status, bound);
          ASSERT_EQ(status, 0);
          EXPECT_LE(relativeDistance(bv, solve(false)), searchTolerance);
        }
      }
    }
  }
  std::printf("beta mode 2 worst relative error (variates above 1e-42): %.2e\n", worst);
}

}  // namespace
