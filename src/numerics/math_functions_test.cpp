#include "numerics/math_functions.h"

#include <gtest/gtest.h>

#include <boost/math/special_functions/beta.hpp>
#include <boost/math/special_functions/digamma.hpp>
#include <boost/math/special_functions/gamma.hpp>
#include <boost/math/special_functions/log1p.hpp>
#include <boost/multiprecision/cpp_bin_float.hpp>

#include <cfloat>
#include <cmath>
#include <functional>
#include <limits>
#include <vector>

#include "numerics/accuracy_test_support.h"
#include "numerics/machine_constants.h"

namespace {

using accuracy::quietPolicy;
using oracleFn = std::function<long double(long double)>;
// Fifty digits, for the functions that are differences of large logarithms of Gamma.
using wide = boost::multiprecision::cpp_bin_float_50;

wide lgammaWide(double x) { return boost::math::lgamma(wide(x)); }

// The largest error of f against its oracle over a set of arguments, and where it was met.
struct worstPoint { double error = 0, at = 0; };

// Relative error, or absolute error where the exact value is below 1 in magnitude and the
// function crosses zero (there only absolute precision is meaningful).
worstPoint worstError(const std::function<double(double)>& f, const oracleFn& exact,
                      const std::vector<double>& args, bool absoluteBelowOne) {
  worstPoint w;
  for (double x : args) {
    const long double o = exact(x);
    const long double scale = absoluteBelowOne ? std::max(std::fabs(o), 1.0L) : std::fabs(o);
    const double e = scale == 0 ? std::fabs(f(x))
                                : static_cast<double>(std::fabs(f(x) - o) / scale);
    if (e > w.error) w = {e, x};
  }
  return w;
}

std::vector<double> linearGrid(double lo, double hi, int n) {
  std::vector<double> v;
  for (int i = 0; i <= n; ++i) v.push_back(lo + (hi - lo) * i / n);
  return v;
}

std::vector<double> geometric(double lo, double hi, int perDecade) {
  std::vector<double> v;
  accuracy::geometricGrid(lo, hi, perDecade, [&](double x) { v.push_back(x); return true; });
  return v;
}

std::vector<double> joined(std::vector<std::vector<double>> parts) {
  std::vector<double> v;
  for (auto& p : parts) v.insert(v.end(), p.begin(), p.end());
  return v;
}

std::vector<double> negated(std::vector<double> v) {
  for (double& x : v) x = -x;
  return v;
}

// Gamma(1 + a) - 1 to long double precision, the oracle of the functions near Gamma(1).
long double gamma1pm1(long double a) { return boost::math::tgamma1pm1(a, quietPolicy()); }

TEST(MachineConstants, AreThoseOfIeeeDoublePrecision) {
  const int integers[] = {2, 31, 2147483647, 2, 24, -125, 128, 53, -1021, 1024};
  for (int i = 1; i <= 10; ++i) EXPECT_EQ(machineInteger(i), integers[i - 1]) << "entry " << i;
  EXPECT_EQ(machineDouble(1), std::ldexp(1.0, -52));
  EXPECT_EQ(machineDouble(0), std::ldexp(1.0, -52));
  EXPECT_EQ(machineDouble(2), DBL_MIN);
  EXPECT_EQ(machineDouble(3), DBL_MAX);
  EXPECT_EQ(machineDouble(7), DBL_MAX);
  // Formed with the stored ln 2 of the published routines, not a full-precision one.
  EXPECT_EQ(expArgLimit(0), 0.99999 * (1024 * .69314718055995));
  EXPECT_EQ(expArgLimit(1), 0.99999 * (-1022 * .69314718055995));
  EXPECT_NEAR(expArgLimit(0), 709.7756150662599, 1e-12);
  EXPECT_NEAR(expArgLimit(-5), -708.3893345680835, 1e-12);
}

TEST(MachineConstants, IsRealNumberRejectsOnlyNanAndInfinities) {
  const double inf = std::numeric_limits<double>::infinity();
  for (double x : {0.0, -0.0, 1e-310, 1e308, -1e308, 3.5}) EXPECT_TRUE(isRealNumber(x)) << x;
  for (double x : {std::nan(""), inf, -inf}) EXPECT_FALSE(isRealNumber(x)) << x;
}

TEST(SpecialFunctions, LimitValues) {
  EXPECT_EQ(gammaFunction(1000), 0.0);
  EXPECT_EQ(gammaFunction(-1000.5), 0.0);
  EXPECT_EQ(gammaFunction(-3), 0.0);
  EXPECT_EQ(gammaFunction(0), 0.0);
  EXPECT_DOUBLE_EQ(gammaFunction(5), 24.0);
  EXPECT_EQ(gammaFunction(std::nan("")), 0.0);
  EXPECT_EQ(errorFunction(6), 1.0);
  EXPECT_EQ(errorFunction(-6), -1.0);
  EXPECT_EQ(erfcScaled(0, 27), 0.0);   // 27^2 = 729 beyond the exponent limit
  EXPECT_EQ(erfcScaled(0, 101), 0.0);
  EXPECT_EQ(erfcScaled(0, -6), 2.0);
  EXPECT_DOUBLE_EQ(erfcScaled(1, -6), 2.0 * std::exp(36.0));
  EXPECT_EQ(digamma(0), 0.0);
  EXPECT_EQ(digamma(-4), 0.0);
  EXPECT_EQ(digamma(-3e9), 0.0);       // beyond the largest argument the reduction takes
  EXPECT_EQ(digamma(1e12), std::log(1e12));
  EXPECT_EQ(gammaRecipMinusOne(0), 0.0);
  EXPECT_EQ(gammaRecipMinusOne(1), 0.0);
}

struct oneArgumentCase {
  const char* name;
  std::function<double(double)> f;
  oracleFn exact;
  std::vector<double> args;
  double tolerance;
  bool absoluteBelowOne;
};

TEST(SpecialFunctions, AgreeWithBoostAcrossTheirBreakPoints) {
  using boost::math::erfc;
  const std::vector<oneArgumentCase> cases = {
      {"logGammaOnePlus", logGammaOnePlus,
       [](long double a) { return boost::math::log1p(gamma1pm1(a), quietPolicy()); },
       joined({linearGrid(-0.2, 1.25, 2000), geometric(1e-12, 0.2, 20),
               negated(geometric(1e-12, 0.2, 20))}),
       3e-15, false},
      {"logGamma", logGamma, [](long double a) { return std::lgamma(a); },
       joined({geometric(1e-12, 1e6, 100), linearGrid(0.7, 12, 2000)}), 2e-15, true},
      {"gammaRecipMinusOne", gammaRecipMinusOne,
       [](long double a) { return -gamma1pm1(a) / (1 + gamma1pm1(a)); },
       joined({linearGrid(-0.5, 1.5, 2000), geometric(1e-12, 0.5, 20),
               negated(geometric(1e-12, 0.5, 20))}),
       3e-15, false},
      // Beyond 15 Gamma is e^w with |w| up to 706, and the reflection uses pi to 14 digits.
      {"gammaFunction", gammaFunction,
       [](long double a) { return boost::math::tgamma(a, quietPolicy()); },
       joined({linearGrid(-14.95, 14.95, 2991), linearGrid(15, 170, 311),
               linearGrid(-170.3, -15.3, 156), geometric(1e-12, 1, 20)}),
       4e-13, false},
      // From 2^31 - 1 on the published routine returns ln x alone (tested above); below 0.5 the
      // reflection's pi/4 is stored to 15 digits.
      {"digamma", digamma, [](long double x) { return boost::math::digamma(x, quietPolicy()); },
       joined({linearGrid(-20.05, 0.45, 411), linearGrid(0.5, 3, 1000), geometric(3, 2.1e9, 50),
               negated(geometric(1e-12, 1e-8, 10))}),
       1e-14, true},
      {"logOnePlus", logOnePlus, [](long double a) { return std::log1p(a); },
       joined({linearGrid(-0.99, 1, 2000), geometric(1e-12, 1e10, 20),
               negated(geometric(1e-12, 0.9, 20))}),
       2e-15, false},
      {"xMinusLogOnePlus", xMinusLogOnePlus,
       [](long double x) { return -boost::math::log1pmx(x, quietPolicy()); },
       joined({linearGrid(-0.99, 1, 2000), geometric(1e-8, 1e10, 20),
               negated(geometric(1e-8, 0.9, 20))}),
       2e-15, false},
      {"xMinusOneMinusLog", xMinusOneMinusLog,
       [](long double x) {
         if (x > 0.5L && x < 2.0L) return -boost::math::log1pmx(x - 1, quietPolicy());
         return (x - 1) - std::log(x);
       },
       joined({linearGrid(0.01, 2.5, 2000), geometric(1e-12, 1e10, 20)}), 2e-15, false},
      {"expMinusOne", expMinusOne, [](long double x) { return std::expm1(x); },
       joined({linearGrid(-1, 1, 2000), geometric(1e-12, 700, 20),
               negated(geometric(1e-12, 700, 20))}),
       2e-15, false},
      {"errorFunction", errorFunction, [](long double x) { return std::erf(x); },
       joined({linearGrid(-6.5, 6.5, 2600), geometric(1e-12, 0.5, 20)}), 2e-15, false},
      // e^(-x^2) and e^(x^2) from the exact square: no loss growing with x^2 (up to 700, where
      // erfc is still a normal number).
      {"erfcScaled(0, .)", [](double x) { return erfcScaled(0, x); },
       [](long double x) { return std::erfc(x); },
       joined({linearGrid(-6.5, 26.45, 3295), geometric(1e-12, 0.5, 20)}), 3e-15, false},
      {"erfcScaled(1, .)", [](double x) { return erfcScaled(1, x); },
       [](long double x) { return std::exp(x * x) * std::erfc(x); },
       joined({linearGrid(-6.5, 26.6, 3311), geometric(26, 1e4, 20)}), 3e-15, false},
      // The argument's own square root is rounded; e^-x must not carry that rounding. Up to
      // 700, where erfc is still a normal number.
      {"erfcOfRoot", erfcOfRoot, [](long double x) { return std::erfc(std::sqrt(x)); },
       joined({geometric(1e-12, 700, 40), linearGrid(650, 700, 200),
               {0.25, std::nextafter(0.25, 0.0), 16.0, std::nextafter(16.0, 17.0)}}),
       3e-15, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const worstPoint w = worstError(c.f, c.exact, c.args, c.absoluteBelowOne);
    EXPECT_LE(w.error, c.tolerance) << "at " << w.at;
  }
}

struct twoArgumentCase {
  const char* name;
  std::function<double(double, double)> f;
  std::function<wide(double, double)> exact;
  std::vector<double> as, bs;
  double tolerance;
  bool absoluteBelowOne;  // for the functions that cross zero
};

TEST(SpecialFunctions, TwoArgumentFunctionsAgreeWithFiftyDigitLogGamma) {
  const auto lbeta = [](double a, double b) {
    return lgammaWide(a) + lgammaWide(b) - boost::math::lgamma(wide(a) + wide(b));
  };
  // del(a) + del(b) - del(a + b), del(x) = ln Gamma(x) - (x - 0.5) ln x + x - 0.5 ln(2 pi).
  const auto del = [](const wide& x) {
    return boost::math::lgamma(x) - (x - 0.5) * log(x) + x -
           0.5 * log(2 * boost::math::constants::pi<wide>());
  };
  const std::vector<twoArgumentCase> cases = {
      {"logGammaSum", logGammaSum,
       [](double a, double b) { return boost::math::lgamma(wide(a) + wide(b)); },
       linearGrid(1, 2, 40), linearGrid(1, 2, 40), 2e-15, true},
      {"logGammaRatio", logGammaRatio,
       [](double a, double b) { return lgammaWide(b) - boost::math::lgamma(wide(a) + wide(b)); },
       joined({geometric(1e-10, 1e6, 8), {0.5, 1, 2.5, 7.9, 8, 8.1}}),
       joined({geometric(8, 1e8, 8), {8, 8.5, 12}}), 2e-15, false},
      {"logBeta", logBeta, lbeta,
       joined({geometric(1e-10, 1e6, 8), {0.5, 1, 1.5, 2, 2.5, 7.9, 8, 999, 1001}}),
       joined({geometric(1e-10, 1e7, 8), {0.5, 1, 2, 2.5, 7.9, 8, 999, 1001}}), 2e-15, true},
      {"betaCorrection", betaCorrection,
       [&](double a, double b) { return del(wide(a)) + del(wide(b)) - del(wide(a) + wide(b)); },
       joined({geometric(8, 1e7, 8), {8, 8.5, 12}}), joined({geometric(8, 1e7, 8), {8, 8.5}}),
       2e-15, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    double worst = 0, worstA = 0, worstB = 0;
    for (double a : c.as) {
      for (double b : c.bs) {
        const wide o = c.exact(a, b);
        const wide scale = c.absoluteBelowOne ? std::max(wide(abs(o)), wide(1)) : wide(abs(o));
        const double e = static_cast<double>(abs(wide(c.f(a, b)) - o) / scale);
        if (e > worst) worst = e, worstA = a, worstB = b;
      }
    }
    EXPECT_LE(worst, c.tolerance) << "at a = " << worstA << ", b = " << worstB;
  }
}

}  // namespace
