#include "numerics/distribution_utilities.h"

#include <gtest/gtest.h>

#include <boost/math/special_functions/gamma.hpp>
#include <boost/multiprecision/cpp_bin_float.hpp>

#include <algorithm>
#include <climits>
#include <cmath>

#include "numerics/accuracy_test_support.h"
#include "numerics/math_functions.h"

namespace {

using accuracy::quietPolicy;
using accuracy::relativeError;

// Fifty digits: the remainder is a small difference of large logarithms.
using wide = boost::multiprecision::cpp_bin_float_50;

long double stirlingRemainder(wide z) {
  const wide logSqrtTwoPi = log(2 * boost::math::constants::pi<wide>()) / 2;
  return static_cast<long double>(boost::math::lgamma(z) - (logSqrtTwoPi + (z - 0.5) * log(z) - z));
}

TEST(LogGammaRational, MatchesLongDoubleLgamma) {
  for (double x = 1e-6; x < 1e6; x *= 1.07) {
    const long double exact = std::lgamma(static_cast<long double>(x));
    // Near the zeros of ln Gamma (x = 1, 2) only the absolute error is small.
    EXPECT_NEAR(logGammaRational(x), static_cast<double>(exact),
                2e-14 * std::max(1.0L, std::fabs(exact)))
        << x;
  }
  // The rational approximation gives Gamma(2) = 1 + 4.3e-15.
  EXPECT_NEAR(logGammaRational(1.0), 0.0, 5e-15);
  EXPECT_NEAR(logGammaRational(6.0), std::log(120.0), 1e-14);
}

TEST(Dstrem, MatchesTheStirlingRemainder) {
  for (double z = 0.01; z < 1e5; z *= 1.13) {
    const long double exact = stirlingRemainder(z);
    // Below 6 the remainder is a difference of two values of ln Gamma: absolute accuracy.
    const double tolerance = z > 6 ? 1e-13 * std::fabs(static_cast<double>(exact))
                                   : 1e-14 * std::max(1.0, std::fabs(std::lgamma(z)));
    EXPECT_NEAR(DSTREM(z), static_cast<double>(exact), tolerance) << z;
  }
  // Beyond 6 the series: the remainder is 1/(12 z) to leading order.
  EXPECT_NEAR(DSTREM(1e8) * 12e8, 1.0, 1e-15);
}

TEST(Dstrem, StopsOnAZeroOrNegativeArgument) {
  EXPECT_EXIT(DSTREM(0.0), testing::ExitedWithCode(1), "^Zero or negative argument in DSTREM\n$");
  EXPECT_EXIT(DSTREM(-2.5), testing::ExitedWithCode(1), "Zero or negative argument in DSTREM");
}

TEST(BetaStirlingRemainder, IsTheRemainderOfLogBeta) {
  for (double a : {0.5, 3.0, 7.0, 40.0, 1e4}) {
    for (double b : {0.7, 6.5, 100.0}) {
      const long double exact =
          stirlingRemainder(a) + stirlingRemainder(b) - stirlingRemainder(wide(a) + b);
      EXPECT_NEAR(betaStirlingRemainder(a, b), static_cast<double>(exact), 1e-13) << a << " " << b;
      EXPECT_EQ(betaStirlingRemainder(a, b), betaStirlingRemainder(b, a));
    }
  }
}

// e^-x x^a / Gamma(a) is x times the density of the gamma ratio.
TEST(GammaFactor, MatchesBoostsDensityTimesX) {
  double worst = 0;
  for (double a : {0.1, 0.5, 0.99, 1.0, 3.5, 19.9, 20.0, 75.0, 1e3, 1e6}) {
    for (double s : {1e-3, 0.1, 0.5, 0.9, 1.0, 1.1, 2.0, 5.0}) {
      const double x = a * s;
      const long double exact =
          boost::math::gamma_p_derivative(static_cast<long double>(a), static_cast<long double>(x),
                                          quietPolicy()) * x;
      if (exact < 1e-300L) continue;
      const double error = relativeError(gammaFactor(a, x), exact);
      worst = std::max(worst, error);
      // The factor e^(a (1 + ln s - s)) magnifies the rounding of its exponent by a |ln s|.
      EXPECT_LE(error, 1e-15 * std::max(10.0, a * std::fabs(1 - s + std::log(s)) * 5)) << a << " " << x;
    }
  }
  EXPECT_EQ(gammaFactor(50.0, 0.0), 0.0);
  std::printf("gammaFactor worst relative error: %.2e\n", worst);
}

// The logarithms of the gamma and beta factors, far below where the factors underflow, against
// the same logarithms in fifty digits. The rounding of a logarithm is relative to the largest of
// the terms it is formed from.
TEST(LogFactors, MatchFiftyDigitLogarithms) {
  for (double a : {0.25, 1.0, 3.5, 19.9, 20.0, 75.0, 1e3, 1e6}) {
    for (double s : {1e-3, 0.5, 1.0, 2.0, 5.0, 50.0}) {
      const double x = a * s;
      const wide exact = wide(a) * log(wide(x)) - x - boost::math::lgamma(wide(a));
      const double scale =
          std::max(1.0, a * std::fabs(std::log(x)) + x + std::fabs(std::lgamma(a)));
      EXPECT_NEAR(logGammaFactor(a, x), static_cast<double>(exact), 4e-16 * scale)
          << a << " " << x;
    }
  }
  EXPECT_EQ(logGammaFactor(50.0, 0.0), -INFINITY);
  for (double a : {0.5, 1.5, 10.0, 300.0, 5000.0}) {
    for (double b : {0.5, 1.5, 10.0, 300.0, 5000.0}) {
      // x and y = 1 - x, the smaller given exactly, down to the y near 0 of a far upper F tail.
      for (double small : {1e-250, 1e-30, 0.01, 0.3, 0.5}) {
        for (const bool yIsSmall : {true, false}) {
          const double y = yIsSmall ? small : 1.0 - small, x = yIsSmall ? 1.0 - small : small;
          const wide logSmall = log(wide(small)), logLarge = boost::math::log1p(-wide(small));
          const wide lx = yIsSmall ? logLarge : logSmall, ly = yIsSmall ? logSmall : logLarge;
          const wide exact = wide(a) * lx + wide(b) * ly - boost::math::lgamma(wide(a)) -
                             boost::math::lgamma(wide(b)) + boost::math::lgamma(wide(a) + b);
          const double scale =
              std::max(1.0, std::fabs(a * std::log(x)) + std::fabs(b * std::log(y)) +
                                std::fabs(std::lgamma(a + b)));
          EXPECT_NEAR(logBetaFactor(a, b, x, y), static_cast<double>(exact), 4e-16 * scale)
              << a << " " << b << " " << x << " " << y;
        }
      }
    }
  }
  EXPECT_EQ(logBetaFactor(2.0, 3.0, 1.0, 0.0), -INFINITY);
}

TEST(Twins, AreTheSpecialFunctionsThemselves) {
  for (double a : {-0.9, -0.375, -1e-10, 0.0, 1e-12, 0.2, 0.375, 3.0, 1e6}) {
    EXPECT_EQ(logOnePlusTwin(a), logOnePlus(a));
    EXPECT_NEAR(logOnePlusTwin(a), std::log1p(a), 1e-15 * std::max(1.0, std::fabs(std::log1p(a))));
    if (a < 1) {
      EXPECT_EQ(logOneMinus(-a), logOnePlus(a));
    }
    EXPECT_EQ(expMinusOneTwin(a > 700 ? 1.0 : a), expMinusOne(a > 700 ? 1.0 : a));
    if (a > 0) {
      EXPECT_EQ(logGammaTwin(a), logGamma(a));
      EXPECT_EQ(logBetaTwin(a, 2.5), logBeta(a, 2.5));
    }
  }
  EXPECT_NEAR(logOneMinus(0.5), std::log(0.5), 1e-16);
}

TEST(EvalPolynomial, IsHornersRule) {
  const double a[] = {1.0, -2.0, 0.5, 3.0};
  const struct { int n; double x, value; } cases[] = {
      {4, 2.0, 1.0 - 4.0 + 2.0 + 24.0},
      {4, 0.0, 1.0},
      {2, 10.0, -19.0},
      {1, 5.0, 1.0},
      {0, 5.0, 0.0},
  };
  for (const auto& c : cases) EXPECT_EQ(evalPolynomial(a, c.n, c.x), c.value) << c.n;
}

TEST(IntegerHelpers, FollowTheirDefinitions) {
  EXPECT_EQ(truncToDouble(3.9), 3.0);
  EXPECT_EQ(truncToDouble(-3.9), -3.0);
  EXPECT_EQ(truncToDouble(1e300), 1e300);
  EXPECT_EQ(maxDouble(2, -3), 2);
  EXPECT_EQ(minDouble(2, -3), -3);
  const struct { double a, b, value; } signs[] = {
      {3, -1, -3}, {-3, -1, -3}, {-3, 2, 3}, {3, 0, 3}, {-3, 0, 3}};
  for (const auto& c : signs) EXPECT_EQ(transferSign(c.a, c.b), c.value) << c.a << " " << c.b;
  const struct { double a; long value; } truncs[] = {
      {0.99, 0}, {1.0, 1}, {7.7, 7}, {-5.5, 0}, {NAN, 0}, {1e30, LONG_MAX}};
  for (const auto& c : truncs) EXPECT_EQ(truncToLong(c.a), c.value) << c.a;
  EXPECT_EQ(modLong(17, 5), 2);
  EXPECT_EQ(modLong(-17, 5), -2);
}

}  // namespace
