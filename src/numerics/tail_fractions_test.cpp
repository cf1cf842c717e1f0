#include "numerics/tail_fractions.h"

#include <gtest/gtest.h>

#include <boost/math/special_functions/beta.hpp>
#include <boost/math/special_functions/gamma.hpp>
#include <boost/multiprecision/cpp_bin_float.hpp>

#include <cmath>

#include "numerics/accuracy_test_support.h"

namespace {

using accuracy::quietPolicy;
// Fifty digits with an exponent range that holds the tails that underflow even in long double.
using wide = boost::multiprecision::cpp_bin_float_50;

double relativeError(double value, const wide& exact) {
  return static_cast<double>(abs((wide(value) - exact) / exact));
}

// Q(a, x) over e^-x x^a / Gamma(a), the latter x times Boost's density.
TEST(UpperGammaOverFactor, MatchesBoostsTailOverItsFactor) {
  for (double a : {0.25, 1.5, 10.0, 500.0, 4500.0}) {
    for (double k : {0.5, 3.0, 30.0, 300.0, 1e5}) {
      const double x = a + 1.0 + k * std::sqrt(a + 1.0);
      const wide wa = a, wx = x;
      const wide exact = boost::math::gamma_q(wa, wx, quietPolicy()) /
                         (boost::math::gamma_p_derivative(wa, wx, quietPolicy()) * wx);
      EXPECT_LE(relativeError(upperGammaOverFactor(a, x), exact), 1e-14) << a << " " << x;
    }
  }
  // Next to a huge shape the fraction needs about sqrt(a) terms: more than it may take.
  EXPECT_TRUE(std::isnan(upperGammaOverFactor(1e12, 1e12 + 2.0)));
}

// I_x(a, b) over x^a (1 - x)^b / (a Beta(a, b)), the latter a x (1 - x) times Boost's density
// over a, for x up to 0.9 of the bound (a + 1)/(a + b + 2) of the fraction's fast convergence.
TEST(LowerBetaOverFactor, MatchesBoostsRatioOverItsFactor) {
  for (double a : {0.5, 4.0, 25.0, 200.0}) {
    for (double b : {0.5, 4.0, 1000.0, 5000.0}) {
      for (double share : {1e-200, 1e-6, 0.01, 0.5, 0.9}) {
        const double x = share * (a + 1.0) / (a + b + 2.0);
        const wide wa = a, wb = b, wx = x;
        const wide exact = boost::math::ibeta(wa, wb, wx, quietPolicy()) * wa /
                           (boost::math::ibeta_derivative(wa, wb, wx, quietPolicy()) * wx * (1 - wx));
        EXPECT_LE(relativeError(lowerBetaOverFactor(a, b, x), exact), 1e-13)
            << a << " " << b << " " << x;
      }
    }
  }
  // Likewise at the mean of a huge a and b.
  EXPECT_TRUE(std::isnan(lowerBetaOverFactor(1e12, 1e12, 0.4999999999)));
}

}  // namespace
