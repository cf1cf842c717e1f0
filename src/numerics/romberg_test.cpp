#include "numerics/romberg.h"

#include <gtest/gtest.h>

#include <boost/math/distributions/gamma.hpp>
#include <boost/math/distributions/normal.hpp>
#include <boost/math/quadrature/gauss_kronrod.hpp>
#include <boost/math/special_functions/beta.hpp>
#include <boost/math/special_functions/erf.hpp>

#include <cmath>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "numerics/fatal_error_expectation.h"

namespace {

using numericstest::expectFatal;
const double pi = 3.141592653589793;

// The composite trapezoidal rule with 2^(n-1) intervals, summed directly.
double trapezoidalRule(const realFunction& f, double a, double b, int n) {
  const long intervals = 1L << (n - 1);
  const double h = (b - a) / intervals;
  double sum = 0.5 * (f(a) + f(b));
  for (long i = 1; i < intervals; i++) sum += f(a + i * h);
  return sum * h;
}

TEST(TrapezoidStep, EachStageIsTheTrapezoidalRuleWithTwiceTheIntervals) {
  // scale: the largest |f| on the interval, against which the rounding of the sums is measured.
  const struct { const char* name; realFunction f; double a, b, scale; } cases[] = {
      {"exp on [0, 1]", [](double x) { return std::exp(x); }, 0, 1, std::exp(1.0)},
      {"cos on [-2, 5]", [](double x) { return std::cos(x); }, -2, 5, 1},
      {"1/(1+x^2) on [3, -1]", [](double x) { return 1 / (1 + x * x); }, 3, -1, 1},
  };
  for (const auto& c : cases) {
    for (int n = 1; n <= 14; n++) {
      SCOPED_TRACE(std::string(c.name) + ", stage " + std::to_string(n));
      EXPECT_NEAR(trapezoidStep(c.f, c.a, c.b, n), trapezoidalRule(c.f, c.a, c.b, n),
                  1e-13 * std::fabs(c.b - c.a) * c.scale);
    }
  }
  // x^2 on [0, 1] with N intervals gives exactly 1/3 + 1/(6 N^2).
  const realFunction square = [](double x) { return x * x; };
  for (int n = 1; n <= 20; n++) {
    const double intervals = std::ldexp(1.0, n - 1);
    // The 2^(n-2) midpoints of a stage are summed with one rounding each.
    EXPECT_NEAR(trapezoidStep(square, 0, 1, n), 1.0 / 3 + 1 / (6 * intervals * intervals),
                intervals * 2e-16)
        << "stage " << n;
  }
}

TEST(TrapezoidStep, EachThreadRefinesItsOwnIntegral) {
  // Several threads step through their own integrals at the same time; each must see the stage
  // values that a lone caller sees.
  const int threads = 8, stages = 12;
  std::vector<std::vector<double>> serial(threads), parallel(threads);
  auto run = [&](int t, std::vector<double>& out) {
    const realFunction f = [t](double x) { return std::exp((t + 1) * x); };
    for (int n = 1; n <= stages; n++) out.push_back(trapezoidStep(f, 0, 1, n));
  };
  for (int t = 0; t < threads; t++) run(t, serial[t]);
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; t++) pool.emplace_back(run, t, std::ref(parallel[t]));
  for (auto& thread : pool) thread.join();
  EXPECT_EQ(parallel, serial);
}

TEST(TrapezoidStep, AStageBeyondTheCountableIsFatal) {
  expectFatal([] { trapezoidStep([](double x) { return x; }, 0, 1, 63); },
              "Internal error: too many stages in trapezoidStep");
  expectFatal([] { trapezoidStep([](double x) { return x; }, 0, 1, 1000); },
              "Internal error: too many stages in trapezoidStep");
}

// Lagrange's formula, the independent check of Neville's scheme.
double lagrange(const std::vector<double>& xa, const std::vector<double>& ya, double x) {
  double sum = 0;
  for (size_t i = 0; i < xa.size(); i++) {
    double term = ya[i];
    for (size_t j = 0; j < xa.size(); j++)
      if (j != i) term *= (x - xa[j]) / (xa[i] - xa[j]);
    sum += term;
  }
  return sum;
}

TEST(Polint, ReproducesPolynomialsAndMatchesLagrange) {
  const auto quartic = [](double x) { return 1 - 2 * x + 3 * x * x - x * x * x + 0.5 * x * x * x * x; };
  const struct { const char* name; std::vector<double> xa, at; } grids[] = {
      {"5 even points", {0, 1, 2, 3, 4}, {-2, 0, 0.3, 1.7, 3.9, 6}},
      {"5 uneven unordered points", {2.5, -1, 0.25, 4, 1}, {-2, 0, 0.3, 1.7, 3.9, 6}},
      {"7 points", {-3, -2, -1, 0, 1, 2, 3}, {-4, -2.5, 0, 0.3, 1.7, 3.9}},
      // Romberg's use: extrapolation from its step sizes to 0.
      {"Romberg's step sizes", {1, 0.25, 0.0625, 0.015625, 0.00390625}, {0, 0.001, 0.1, 0.7}},
  };
  for (const auto& g : grids) {
    std::vector<double> ya;
    for (double x : g.xa) ya.push_back(quartic(x));
    for (double x : g.at) {
      SCOPED_TRACE(std::string(g.name) + " at " + std::to_string(x));
      double y = 0, dy = 1;
      polint(g.xa, ya, x, y, dy);
      const double expected = quartic(x);
      EXPECT_NEAR(y, expected, 1e-12 * std::max(1.0, std::fabs(expected)));
      EXPECT_NEAR(y, lagrange(g.xa, ya, x), 1e-12 * std::max(1.0, std::fabs(expected)));
      // Through more points than the degree needs, the last correction vanishes.
      if (g.xa.size() > 5) {
        EXPECT_NEAR(dy, 0.0, 1e-11 * std::max(1.0, std::fabs(expected)));
      }
    }
  }
  double y = 0, dy = 1;
  polint({0.3}, {7.25}, 5, y, dy);
  EXPECT_EQ(y, 7.25);
  EXPECT_EQ(dy, 0.0);
}

TEST(Polint, ErrorEstimateIsTheLastCorrection) {
  // sin through 4 points: value - estimate is the interpolant through 3 consecutive points of
  // them, whichever pair of the tableau's last column the path went through.
  const std::vector<double> xa = {0.0, 0.5, 1.0, 1.5};
  std::vector<double> ya;
  for (double x : xa) ya.push_back(std::sin(x));
  const std::vector<double> lower = {0, 0.5, 1}, upper = {0.5, 1, 1.5};
  std::vector<double> lowerY, upperY;
  for (double v : lower) lowerY.push_back(std::sin(v));
  for (double v : upper) upperY.push_back(std::sin(v));
  for (double x : {0.1, 0.6, 0.9, 1.2, 1.45}) {
    SCOPED_TRACE(x);
    double y = 0, dy = 0;
    polint(xa, ya, x, y, dy);
    EXPECT_NEAR(y, lagrange(xa, ya, x), 1e-15);
    const double previous = y - dy;
    EXPECT_TRUE(std::fabs(previous - lagrange(lower, lowerY, x)) < 1e-15 ||
                std::fabs(previous - lagrange(upper, upperY, x)) < 1e-15)
        << previous;
    EXPECT_LT(std::fabs(y - std::sin(x)), std::fabs(dy));
  }
}

TEST(Polint, BadPointsEndTheRun) {
  double y = 0, dy = 0;
  expectFatal([&] { polint({0, 1, 1}, {2, 3, 4}, 0.5, y, dy); }, "Error in routine polint");
  expectFatal([&] { polint({}, {}, 0.5, y, dy); },
              "Internal error: polint needs as many ordinates as abscissas, at least one");
  expectFatal([&] { polint({0, 1, 2}, {1, 2}, 0.5, y, dy); },
              "Internal error: polint needs as many ordinates as abscissas, at least one");
}

struct integralCase {
  const char* name;
  realFunction f;
  double a, b, expected;
};

std::vector<integralCase> integralCases() {
  using boost::math::cdf;
  const boost::math::normal_distribution<double> normal;
  const boost::math::gamma_distribution<double> gamma3(3.0);
  const auto normalDensity = [](double x) { return std::exp(-0.5 * x * x) / std::sqrt(2 * pi); };
  const auto wiggly = [](double x) { return std::cos(10 * x) * std::exp(-x); };
  return {
      {"x^2 on [0, 1]", [](double x) { return x * x; }, 0, 1, 1.0 / 3},
      {"x^2 on [1, 0]", [](double x) { return x * x; }, 1, 0, -1.0 / 3},
      {"exp on [0, 1]", [](double x) { return std::exp(x); }, 0, 1, std::exp(1.0) - 1},
      {"sin on [0, pi]", [](double x) { return std::sin(x); }, 0, pi, 2},
      {"1/x on [1, 10]", [](double x) { return 1 / x; }, 1, 10, std::log(10.0)},
      {"1/(1+x^2) on [0, 1]", [](double x) { return 1 / (1 + x * x); }, 0, 1, pi / 4},
      {"exp(-x^2) on [0, 3]", [](double x) { return std::exp(-x * x); }, 0, 3,
       std::sqrt(pi) / 2 * boost::math::erf(3.0)},
      {"normal density on [-1.96, 2.5]", normalDensity, -1.96, 2.5,
       cdf(normal, 2.5) - cdf(normal, -1.96)},
      {"normal density on [4, 9]", normalDensity, 4, 9,
       cdf(complement(normal, 4.0)) - cdf(complement(normal, 9.0))},
      {"gamma(3) density on [0, 7]", [](double x) { return x * x * std::exp(-x) / 2; }, 0, 7,
       cdf(gamma3, 7.0)},
      {"beta(3, 5) density on [0, 0.4]",
       [](double x) { return std::pow(x, 2) * std::pow(1 - x, 4) / boost::math::beta(3.0, 5.0); },
       0, 0.4, boost::math::ibeta(3.0, 5.0, 0.4)},
      {"cos(10x) exp(-x) on [0, 4]", wiggly, 0, 4,
       boost::math::quadrature::gauss_kronrod<double, 61>::integrate(wiggly, 0.0, 4.0, 15, 1e-15)},
      {"1e-30 x^3 on [0, 2]", [](double x) { return 1e-30 * x * x * x; }, 0, 2, 4e-30},
  };
}

TEST(Qromb, IntegratesToTheRequestedAccuracy) {
  double worst = 0;
  std::string worstName;
  for (const auto& c : integralCases()) {
    SCOPED_TRACE(c.name);
    const double value = qromb(c.f, c.a, c.b);
    const double error = std::fabs(value - c.expected) / std::fabs(c.expected);
    EXPECT_LE(error, 1e-10);
    if (error > worst) {
      worst = error;
      worstName = c.name;
    }
  }
  std::cout << "qromb: largest relative error " << worst << " (" << worstName << ")\n";
}

TEST(Qromb, NestedIntegralsKeepTheirOwnSums) {
  // The inner integral runs inside every evaluation of the outer integrand.
  const realFunction outer = [](double x) {
    return qromb([x](double y) { return x * y * y + std::exp(x * y); }, 0, 1);
  };
  // The integral of x y^2 is 1/6; that of e^(xy) over the unit square is the sum of 1/(k k!).
  double exponential = 0, term = 1;
  for (int k = 1; k < 30; k++) {
    term /= k;
    exponential += term / k;
  }
  EXPECT_NEAR(qromb(outer, 0, 1), 1.0 / 6 + exponential, 1e-10);
}

TEST(Qromb, RunsOnManyThreadsAtOnceWithTheSerialResults) {
  const std::vector<integralCase> cases = integralCases();
  std::vector<double> serial;
  for (const auto& c : cases) serial.push_back(qromb(c.f, c.a, c.b));
  std::vector<std::vector<double>> parallel(8);
  std::vector<std::thread> pool;
  for (auto& out : parallel)
    pool.emplace_back([&cases, &out] {
      for (const auto& c : cases) out.push_back(qromb(c.f, c.a, c.b));
    });
  for (auto& thread : pool) thread.join();
  for (const auto& out : parallel) EXPECT_EQ(out, serial);
}

TEST(Qromb, NoConvergenceAfterTwentyStagesEndsTheRun) {
  const char* message = "Internal error: too many steps in routine qromb";
  // A jump: the trapezoidal error falls only like h, which no extrapolation in h^2 removes.
  expectFatal([] { qromb([](double x) { return x < 1.0 / 3 ? 0.0 : 1.0; }, 0, 1); }, message);
  expectFatal([] { qromb([](double) { return std::nan(""); }, 0, 1); }, message);
}

}  // namespace
