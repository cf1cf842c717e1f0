#include "numerics/exact_arithmetic.h"

#include <gtest/gtest.h>

#include <boost/multiprecision/cpp_bin_float.hpp>

#include <cfloat>
#include <cmath>
#include <vector>

namespace {

// Fifty digits hold every hi + lo below exactly and the logarithms far beyond 2^-57.
using wide = boost::multiprecision::cpp_bin_float_50;

wide value(doubleDouble d) { return wide(d.hi) + wide(d.lo); }

TEST(ExactArithmetic, SumsAndProductsLoseNothing) {
  const struct { double a, b; } cases[] = {
      {1.0, 1e-20},       {0.1, 0.2},      {1e300, -1e284},      {3.0, -3.0},
      {-2.5e-7, 7.1e-3},  {1.0 / 3, 2.0 / 3}, {0x1.fffffffffffffp0, 0x1.0000000000001p0},
      {40000.25, -31.0},  {1e-150, 3e-151}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.a << ", " << c.b);
    EXPECT_EQ(value(twoSum(c.a, c.b)), wide(c.a) + wide(c.b));
    if (std::fabs(c.a) >= std::fabs(c.b)) {
      EXPECT_EQ(value(fastTwoSum(c.a, c.b)), wide(c.a) + wide(c.b));
    }
    // Exact as long as the product and its error stay normal numbers.
    const double size = std::fabs(c.a * c.b);
    if (size > 1e-280 && size < 1e300) {
      EXPECT_EQ(value(twoProduct(c.a, c.b)), wide(c.a) * wide(c.b));
    }
  }
}

TEST(ExactArithmetic, QuotientIsRoundedWithinHalfAnUlpAndATrace) {
  // t^2/(df + t^2) and df/(df + t^2), the quotients the t p-value needs.
  for (double df : {3.0, 100.0, 1e4, 1e6}) {
    for (double t : {0.7, 3.3, 38.25964024522456, 1e3, 1e7}) {
      const doubleDouble tt = twoProduct(t, t);
      const doubleDouble sum = twoSum(df, tt.hi) + tt.lo;
      for (bool ofSquare : {true, false}) {
        const double q = quotient(ofSquare ? tt : doubleDouble{df, 0.0}, sum);
        const wide square = wide(t) * wide(t);
        const wide exact = (ofSquare ? square : wide(df)) / (wide(df) + square);
        const double ulp = std::nextafter(q, INFINITY) - q;
        EXPECT_LE(static_cast<double>(abs(wide(q) - exact)), 0.5000001 * ulp)
            << "t " << t << " df " << df;
      }
    }
  }
}

// Arguments at the ends of the double range, around the reduction points sqrt(1/2) and sqrt 2,
// next to 1, and a geometric walk over the whole range.
std::vector<double> logArguments() {
  std::vector<double> xs = {4.9406564584124654e-324, 1e-310, DBL_MIN, 1e-300, 0.5,
                            std::nextafter(0.70710678118654752, 0.0), 0.70710678118654752,
                            std::nextafter(0.70710678118654752, 1.0), 1.0 - 0x1p-53, 1.0 + 0x1p-52,
                            std::nextafter(1.41421356237309505, 0.0), 1.41421356237309505,
                            std::nextafter(1.41421356237309505, 2.0), 2.0, 10.0, 1e300, DBL_MAX};
  for (double x = 1e-307; x < 1e307; x *= 1.37) xs.push_back(x);
  for (double d = 1e-15; d < 0.3; d *= 1.9) {
    xs.push_back(1.0 + d);
    xs.push_back(1.0 - d);
  }
  return xs;
}

TEST(ExactArithmetic, LogarithmIsWithin2ToTheMinus57) {
  EXPECT_EQ(exactLog(1.0).hi, 0.0);
  EXPECT_EQ(exactLog(1.0).lo, 0.0);
  for (double x : logArguments()) {
    if (x == 1.0) continue;
    const wide exact = log(wide(x));
    EXPECT_LE(static_cast<double>(abs((value(exactLog(x)) - exact) / exact)), 0x1p-57) << x;
  }
}

TEST(ExactArithmetic, LogOnePlusIsWithin2ToTheMinus57) {
  std::vector<double> vs = {-0.9999999, -0.5, -0.29289321881345254, -0.2928932188134524,
                            0.41421356237309503, 0.41421356237309515, 0.5, 1.0, 1e10, 1e300,
                            1e-300, -1e-300, 0x1p-60, 1e-16, 1.3876840724770301e-16};
  for (double v = 1e-17; v < 0.3; v *= 1.7) {
    vs.push_back(v);
    vs.push_back(-v);
  }
  for (double v : vs) {
    const wide exact = log1p(wide(v));
    EXPECT_LE(static_cast<double>(abs((value(exactLogOnePlus(v)) - exact) / exact)), 0x1p-57)
        << v;
  }
}

TEST(ExactArithmetic, ScaledLogarithmsKeepTheProductWithin4e15) {
  // c ln x and c ln(1 + v) with the product up to about 750 in size, on both sides of the
  // switch to the exact logarithm.
  for (double c : {0.5, 1.0, 2.5, 19.5, 5e3, 5e5}) {
    for (double target : {0.3, 5.0, 15.9, 16.1, 31.9, 32.1, 100.0, 400.0, 745.0}) {
      SCOPED_TRACE(testing::Message() << "c " << c << " |c ln| " << target);
      const double l = target / c;
      if (l > 700) continue;
      for (double x : {std::exp(-l), std::exp(l)}) {
        const wide error = c * value(logToScale(c, x)) - c * log(wide(x));
        EXPECT_LE(static_cast<double>(abs(error)), 4e-15) << x;
      }
      // 1 + v from above 0 (where v is not -1 after rounding) up to large v.
      for (double v : {l < 30 ? std::expm1(-l) : 0.0, std::expm1(l)}) {
        const wide error = c * value(logOnePlusToScale(c, v)) - c * log1p(wide(v));
        EXPECT_LE(static_cast<double>(abs(error)), 4e-15) << v;
      }
    }
  }
}

TEST(ExactArithmetic, ExponentialOfADoubleDoubleKeepsTheLowPart) {
  // lo is far larger than the relative precision of e^hi: it must not be lost.
  const doubleDouble cases[] = {{-700.5, 3e-14}, {-0.25, -1e-17}, {650.0, -5e-14}, {0.0, 1e-16}};
  for (const auto& w : cases) {
    const wide exact = exp(value(w));
    EXPECT_LE(static_cast<double>(abs((wide(expOf(w)) - exact) / exact)), 3e-16) << w.hi;
  }
}

}  // namespace
