#include "numerics/beta_continued_fraction.h"

#include <gtest/gtest.h>

#include <boost/math/distributions/fisher_f.hpp>
#include <boost/math/special_functions/beta.hpp>
#include <boost/math/special_functions/gamma.hpp>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "numerics/fatal_error_expectation.h"

namespace {

using numericstest::expectFatal;
const double epsilon = 2.220446049250313e-16;

// The worst error of a sweep and where it was met.
struct worstError {
  double error = 0;
  std::string where;
  void add(double e, const std::string& at) {
    if (e > error) {
      error = e;
      where = at;
    }
  }
};

std::string point(double a, double b, double x) {
  std::ostringstream out;
  out << "a " << a << ", b " << b << ", x " << x;
  return out.str();
}

TEST(LogGammaLanczos, MatchesBoostWithinTheSeriesAccuracy) {
  // The series approximates Gamma to about 2e-10 relative, so ln Gamma to 2e-10 absolute; the
  // terms (x + 0.5) ln(x + 5.5) and x + 5.5 that cancel add their own rounding.
  worstError worst, absolute;
  for (double x = 1e-6; x < 1e7; x *= 1.07) {
    const double expected = boost::math::lgamma(x);
    const double error = std::fabs(logGammaLanczos(x) - expected);
    const double rounding = 4 * epsilon * ((x + 0.5) * std::log(x + 5.5) + x + 5.5);
    ASSERT_LE(error, 2e-10 + rounding) << "x " << x;
    worst.add(error / (2e-10 + rounding), std::to_string(x));
    if (x <= 100) absolute.add(error, std::to_string(x));
  }
  for (int n = 1; n <= 30; n++) {
    // Gamma(n) = (n - 1)!
    double logFactorial = 0;
    for (int k = 2; k < n; k++) logFactorial += std::log(k);
    EXPECT_NEAR(logGammaLanczos(n), logFactorial, 2e-10 + 64 * epsilon * logFactorial) << n;
  }
  std::cout << "logGammaLanczos: largest error " << worst.error
            << " of the bound 2e-10 + rounding, at x " << worst.where
            << "; largest absolute error for x <= 100 " << absolute.error << " at x "
            << absolute.where << "\n";
}

// The side of the symmetry relation that betai computes by the continued fraction: its error
// is what the 3e-7 relative accuracy of the fraction bounds.
double fractionSide(double a, double b, double x, double I) {
  return x < (a + 1) / (a + b + 2) ? I : 1 - I;
}

TEST(Betai, MatchesBoostWithinTheFractionAccuracy) {
  const double shapes[] = {0.05, 0.3, 0.5, 1, 1.5, 2.5, 7, 20, 60, 150, 400, 1000, 2500};
  worstError relative, absolute;
  int points = 0;
  for (double a : shapes)
    for (double b : shapes)
      for (int k = 0; k <= 200; k++) {
        // Even steps in x, packed towards both ends where the tails are.
        const double t = k / 200.0;
        const double x = 0.5 - 0.5 * std::cos(3.141592653589793 * t);
        const double expected = boost::math::ibeta(a, b, x);
        const double side = fractionSide(a, b, x, expected);
        if (side < 1e-300) continue;
        const double value = betai(a, b, x);
        const double error = std::fabs(value - expected);
        // The fraction stops once its last factor is within 3e-7 of 1, which bounds the error
        // only up to the factors still to come: a little above 3e-7 is met next to the switch
        // point x = (a + 1)/(a + b + 2), where the fraction converges slowest. The ln Gamma
        // series adds 6e-10 and the exponent a ln x + b ln(1 - x) its rounding.
        const double exponent = std::fabs(a * std::log(x)) + std::fabs(b * std::log1p(-x));
        const double bound = (5e-7 + 6e-10 + 4 * epsilon * exponent) * side + 2 * epsilon;
        ASSERT_LE(error, bound) << point(a, b, x);
        // Below 1e-6 the last rounding of 1 - side would dominate the relative figure.
        if (side >= 1e-6) relative.add(error / side, point(a, b, x));
        absolute.add(error, point(a, b, x));
        ++points;
      }
  std::cout << "betai over " << points << " points: largest error relative to the fraction's side (>= 1e-6) "
            << relative.error << " (" << relative.where << "), largest absolute error "
            << absolute.error << " (" << absolute.where << ")\n";
}

TEST(Betai, EndsOfTheRange) {
  const struct { double a, b, x, expected; } cases[] = {
      {2, 3, 0, 0}, {2, 3, 1, 1}, {0.5, 0.5, 0, 0}, {0.5, 0.5, 1, 1}, {1, 1, 0.25, 0.25},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(point(c.a, c.b, c.x));
    EXPECT_NEAR(betai(c.a, c.b, c.x), c.expected, 1e-15);
  }
}

TEST(FTestP, MatchesBoostUpperTailOfF) {
  const int dfs[] = {1, 2, 3, 5, 10, 30, 100, 1000};
  worstError worst;
  for (int df1 : dfs)
    for (int df2 : dfs)
      for (double F = 1e-3; F < 1e3; F *= 1.25) {
        const boost::math::fisher_f_distribution<double> f(df1, df2);
        const double expected = boost::math::cdf(boost::math::complement(f, F));
        if (expected < 1e-300) continue;
        const double x = df2 / (df2 + df1 * F);
        // The fraction runs on x or 1 - x: its side of p is what its accuracy bounds.
        const double side = fractionSide(0.5 * df2, 0.5 * df1, x, expected);
        const double error = std::fabs(fTestP(df1, df2, F) - expected);
        ASSERT_LE(error, 5e-7 * side + 2 * epsilon) << df1 << ", " << df2 << ", F " << F;
        if (side >= 1e-6) worst.add(error / side, std::to_string(df1) + ", " + std::to_string(df2) + ", F " +
                                    std::to_string(F));
      }
  EXPECT_EQ(fTestP(3, 7, 0), 1.0);
  EXPECT_EQ(fTestP(3, 7, INFINITY), 0.0);
  std::cout << "fTestP: largest error relative to the fraction's side (>= 1e-6) " << worst.error << " ("
            << worst.where << ")\n";
}

TEST(Betai, RunsOnManyThreadsAtOnceWithTheSerialResults) {
  std::vector<double> serial;
  auto sweep = [](std::vector<double>& out) {
    for (double a : {0.5, 3.0, 40.0})
      for (double x = 0.01; x < 1; x += 0.01) out.push_back(betai(a, 2.5, x));
  };
  sweep(serial);
  std::vector<std::vector<double>> parallel(8);
  std::vector<std::thread> pool;
  for (auto& out : parallel) pool.emplace_back(sweep, std::ref(out));
  for (auto& thread : pool) thread.join();
  for (const auto& out : parallel) EXPECT_EQ(out, serial);
}

TEST(Betai, BadArgumentsEndTheRun) {
  for (double x : {1.5, -0.1, 1 + 2 * epsilon, std::nan("")}) {
    SCOPED_TRACE(x);
    expectFatal([x] { betai(2, 3, x); }, "Internal error: bad x in routine betai");
  }
  // F < 0 gives an x past 1.
  expectFatal([] { fTestP(2, 5, -1); }, "Internal error: bad x in routine betai");
  // The fraction needs about sqrt(max(a, b)) iterations: far more than 100 here.
  expectFatal([] { betai(1e5, 1e5, 0.5); }, "Internal error in betacf() function (please report)");
  expectFatal([] { fTestP(100000, 100000, 1.0); },
              "Internal error in betacf() function (please report)");
}

}  // namespace
