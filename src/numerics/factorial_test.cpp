#include "numerics/factorial.h"

#include <gtest/gtest.h>

#include <boost/math/special_functions/factorials.hpp>
#include <boost/math/special_functions/gamma.hpp>

#include <cfloat>
#include <cmath>
#include <iostream>
#include <string>

namespace {

// n! in exact 128-bit integer arithmetic, up to 34!.
unsigned __int128 exactFactorial(int n) {
  unsigned __int128 product = 1;
  for (int k = 2; k <= n; k++) product *= k;
  return product;
}

TEST(Factorial, OneForZeroOneAndNegativeArguments) {
  for (int n : {-1000, -3, -1, 0, 1}) {
    SCOPED_TRACE(n);
    EXPECT_EQ(factorial(n), 1.0L);
  }
}

TEST(Factorial, ExactWhereLongDoubleHoldsTheProduct) {
  EXPECT_EQ(factorial(20), 2432902008176640000.0L);
  // Up to 25! the odd part of n! fits the 64-bit significand, so every product is exact.
  for (int n = 2; n <= 25; n++) {
    SCOPED_TRACE(n);
    EXPECT_EQ(factorial(n), static_cast<long double>(exactFactorial(n)));
  }
  for (int n = 26; n <= 34; n++) {
    SCOPED_TRACE(n);
    const long double exact = static_cast<long double>(exactFactorial(n));
    EXPECT_LE(std::fabs(factorial(n) - exact) / exact, n * LDBL_EPSILON);
  }
}

TEST(Factorial, MatchesBoostOverTheWholeLongDoubleRange) {
  // Boost tabulates n! up to 170 and gives Gamma(n + 1) in long double beyond, to a few units in
  // the last place; each of our n - 1 multiplications rounds once. 1754! is the largest finite one.
  double worst = 0;
  int worstAt = 0;
  for (int n = 2; n <= 1754; n++) {
    const long double expected = n <= 170 ? boost::math::unchecked_factorial<long double>(n)
                                          : boost::math::tgamma<long double>(n + 1);
    const double error = static_cast<double>(std::fabs(factorial(n) - expected) / expected);
    if (error > worst) {
      worst = error;
      worstAt = n;
    }
    ASSERT_LE(error, (n + 8) * LDBL_EPSILON) << "n " << n;
  }
  std::cout << "factorial: largest relative error " << worst << " at n " << worstAt
            << " over n = 2..1754\n";
  EXPECT_TRUE(std::isinf(factorial(1755)));
  EXPECT_TRUE(std::isinf(factorial(100000)));
}

}  // namespace
