// The leading factor e^mu x^a y^b / Beta(a, b) of the incomplete beta expansions.
#include <algorithm>
#include <cmath>

#include "numerics/beta_auxiliary.h"
#include "numerics/exact_arithmetic.h"
#include "numerics/math_functions.h"

namespace {

// e^(mu + w) for a double-double w.
double expSumOf(int mu, doubleDouble w) {
  const double e = expSum(mu, w.hi);
  return e + e * w.lo;
}

// (1 + gammaRecipMinusOne(a + b - 1))/(a + b) or 1 + gammaRecipMinusOne(a + b): 1/Gamma(a + b)
// up to the factor that the callers supply.
double recipGammaSum(double a, double b) {
  const double apb = a + b;
  if (apb > 1.0) return (1.0 + gammaRecipMinusOne(a + b - 1.0)) / apb;
  return 1.0 + gammaRecipMinusOne(apb);
}

// ln(x/x0) for the mean x0 = a/(a + b), given e = x/x0 - 1: near the mean (|e| <= 0.6) as
// ln(1 + e), else as ln x + ln(1 + b/a), both to double-double precision.
doubleDouble logOverMean(double x, double a, double b, doubleDouble e) {
  if (std::fabs(e.hi) <= 0.6) return exactLogOnePlus(e);
  return exactLog(x) + exactLogOnePlus(dividedBy({b, 0.0}, a));
}

// Both parameters at least 8: the Stirling form, with the deviation lambda of x from its mean.
// The exponent a u + b v (u = e - ln(1 + e) at e = -lambda/a, v the same at lambda/b) is
// -(a ln(x/x0) + b ln(y/y0)); it is formed from lambda to double-double precision, as the
// rounding of lambda and of the logarithms would reach the factor magnified by the exponent.
double factorBothLarge(int mu, double a, double b, double x, double y) {
  constexpr double rt2pin = .398942280401433;  // 1/sqrt(2 pi)
  const doubleDouble apb = twoSum(a, b);
  double h = 0, x0 = 0;
  doubleDouble lambda{};
  if (a <= b) {
    h = a / b;
    x0 = h / (1.0 + h);
    lambda = doubleDouble{a, 0.0} - (twoProduct(apb.hi, x) + apb.lo * x);
  } else {
    h = b / a;
    x0 = 1.0 / (1.0 + h);
    lambda = (twoProduct(apb.hi, y) + apb.lo * y) + (-b);
  }
  const doubleDouble lnx = logOverMean(x, a, b, dividedBy(-lambda, a));
  const doubleDouble lny = logOverMean(y, b, a, dividedBy(lambda, b));
  const double z = expSumOf(mu, a * lnx + b * lny);
  return rt2pin * std::sqrt(b * x0) * z * std::exp(-betaCorrection(a, b));
}

// a0 = min(a, b) < 1 < b0 = max(a, b) < 8, z = a ln x + b ln y.
double factorSmallModerate(int mu, double a0, double b0, doubleDouble z) {
  double u = logGammaOnePlus(a0);
  const int n = static_cast<int>(b0) - 1;
  if (n >= 1) {
    double c = 1.0;
    for (int i = 1; i <= n; ++i) {
      b0 -= 1.0;
      c = c * (b0 / (a0 + b0));
    }
    u = std::log(c) + u;
  }
  b0 -= 1.0;
  return a0 * expSumOf(mu, z + (-u)) * (1.0 + gammaRecipMinusOne(b0)) / recipGammaSum(a0, b0);
}

}  // namespace

double betaFactorExp(int mu, double a, double b, double x, double y) {
  const double a0 = std::min(a, b);
  if (a0 >= 8.0) return factorBothLarge(mu, a, b, x, y);
  // ln x and ln y, the one of the number near 1 through ln(1 + v); z = a ln x + b ln y as a
  // double-double, as its rounding would reach the factor magnified by |z|.
  doubleDouble lnx{}, lny{};
  if (x <= 0.375) {
    lnx = logToScale(a, x);
    lny = logOnePlusToScale(b, -x);
  } else if (y <= 0.375) {
    lnx = logOnePlusToScale(a, -y);
    lny = logToScale(b, y);
  } else {
    lnx = logToScale(a, x);
    lny = logToScale(b, y);
  }
  const doubleDouble z = a * lnx + b * lny;
  if (a0 >= 1.0) return expSumOf(mu, z + (-logBeta(a, b)));
  const double b0 = std::max(a, b);
  if (b0 >= 8.0) {
    const double u = logGammaOnePlus(a0) + logGammaRatio(a0, b0);
    return a0 * expSumOf(mu, z + (-u));
  }
  if (b0 > 1.0) return factorSmallModerate(mu, a0, b0, z);
  const double e = expSumOf(mu, z);
  if (e == 0.0) return 0.0;
  const double c = (1.0 + gammaRecipMinusOne(a)) * (1.0 + gammaRecipMinusOne(b)) /
                   recipGammaSum(a, b);
  return e * (a0 * c) / (1.0 + a0 / b0);
}

double betaFactor(double a, double b, double x, double y) {
  if (x == 0.0 || y == 0.0) return 0.0;
  return betaFactorExp(0, a, b, x, y);
}
