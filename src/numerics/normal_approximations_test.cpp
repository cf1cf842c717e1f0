#include "numerics/normal_approximations.h"

#include <gtest/gtest.h>

#include <boost/math/distributions/normal.hpp>

#include <cerrno>
#include <cmath>
#include <iostream>
#include <limits>
#include <string>

namespace {

const double inf = std::numeric_limits<double>::infinity();
const boost::math::normal_distribution<double> standardNormal;

TEST(NormalCdfApprox, WithinTheAbsoluteErrorOfTheApproximation) {
  double worst = 0, worstAt = 0;
  for (int k = -40000; k <= 40000; k++) {
    const double x = k / 1000.0;
    const double error = std::fabs(normalCdfApprox(x) - boost::math::cdf(standardNormal, x));
    ASSERT_LE(error, 7.5e-8) << "x " << x;
    if (error > worst) {
      worst = error;
      worstAt = x;
    }
  }
  std::cout << "normalCdfApprox on x = -40..40 by 0.001: largest absolute error " << worst
            << " at x " << worstAt << "\n";
  EXPECT_NEAR(normalCdfApprox(0), 0.5, 7.5e-8);
  EXPECT_EQ(normalCdfApprox(-inf), 0.0);
  EXPECT_EQ(normalCdfApprox(inf), 1.0);
  EXPECT_EQ(normalCdfApprox(-40), 0.0);
}

struct regionRecord {
  const char* name;
  double worst = 0, at = 0;
  int points = 0;
};

TEST(NormalQuantile, WithinTheRelativeErrorOfAcklamsApproximation) {
  regionRecord regions[3] = {{"lower tail p < 0.02425"}, {"central"}, {"upper tail p > 0.97575"}};
  auto check = [&](double p) {
    const double expected = boost::math::quantile(standardNormal, p);
    const double value = normalQuantile(p);
    ASSERT_EQ(errno, 0) << "p " << p;
    const double error = expected == 0 ? std::fabs(value) : std::fabs(value / expected - 1);
    ASSERT_LE(error, 1.15e-9) << "p " << p;
    regionRecord& r = regions[p < 0.02425 ? 0 : p > 0.97575 ? 2 : 1];
    ++r.points;
    if (error > r.worst) {
      r.worst = error;
      r.at = p;
    }
  };
  // Deep lower tail down to the subnormal range, the central region evenly, and the upper tail
  // as 1 - p for p down to the spacing of doubles below 1 (where 1 - p is exact).
  for (double p = 1e-310; p < 0.5; p *= 1.01) check(p);
  for (int k = 1; k < 100000; k++) check(k / 100000.0);
  for (double q = 1.2e-16; q < 0.5; q *= 1.01) check(1 - q);
  for (double p : {0.02425, 0.97575, std::nextafter(0.02425, 0.0), std::nextafter(0.97575, 1.0)})
    check(p);
  for (const auto& r : regions)
    std::cout << "normalQuantile " << r.name << ": " << r.points << " points, largest relative error "
              << r.worst << " at p " << r.at << "\n";
}

TEST(NormalQuantile, EdgesOfTheRangeAndErrno) {
  const struct { const char* name; double p, expected; int error; } cases[] = {
      {"median", 0.5, 0, 0},
      {"0.975", 0.975, 1.959963984540054, 0},
      {"0.025", 0.025, -1.959963984540054, 0},
      {"0", 0, -inf, ERANGE},
      {"1", 1, inf, ERANGE},
      {"above 1", 1.5, 0, EDOM},
      {"below 0", -0.1, 0, EDOM},
      {"-infinity", -inf, 0, EDOM},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    errno = EINVAL;  // cleared by the call whatever it held
    const double value = normalQuantile(c.p);
    EXPECT_EQ(errno, c.error);
    if (std::isinf(c.expected) || c.expected == 0) {
      EXPECT_EQ(value, c.expected);
    } else {
      EXPECT_NEAR(value, c.expected, 1.15e-9 * std::fabs(c.expected));
    }
  }
  errno = 0;
  EXPECT_TRUE(std::isnan(normalQuantile(std::nan(""))));
  EXPECT_EQ(errno, EDOM);
}

TEST(NormalQuantile, InvertsTheApproximateCdf) {
  // Composing the two approximations returns x to within what their errors allow:
  // |dx| <= 7.5e-8 / density(x) + 1.15e-9 |x|.
  for (double x = -5; x <= 5; x += 0.01) {
    const double density = std::exp(-0.5 * x * x) / std::sqrt(2 * 3.141592653589793);
    EXPECT_NEAR(normalQuantile(normalCdfApprox(x)), x, 7.5e-8 / density * 1.01 + 1.15e-9 * std::fabs(x))
        << "x " << x;
  }
}

}  // namespace
