// The leading factor e^mu x^a y^b / Beta(a, b) of the incomplete beta expansions.
#include <algorithm>
#include <cmath>

#include "numerics/beta_auxiliary.h"
#include "numerics/special_functions.h"

namespace {

// (1 + gammaRecipMinusOne(a + b - 1))/(a + b) or 1 + gammaRecipMinusOne(a + b): 1/Gamma(a + b)
// up to the factor that the callers supply.
double recipGammaSum(double a, double b) {
  const double apb = a + b;
  if (apb > 1.0) return (1.0 + gammaRecipMinusOne(a + b - 1.0)) / apb;
  return 1.0 + gammaRecipMinusOne(apb);
}

// Both parameters at least 8: the Stirling form, with the deviation lambda of x from its mean.
double factorBothLarge(int mu, double a, double b, double x, double y) {
  constexpr double rt2pin = .398942280401433;  // 1/sqrt(2 pi)
  double h = 0, x0 = 0, y0 = 0, lambda = 0;
  if (a <= b) {
    h = a / b;
    x0 = h / (1.0 + h);
    y0 = 1.0 / (1.0 + h);
    lambda = a - (a + b) * x;
  } else {
    h = b / a;
    x0 = 1.0 / (1.0 + h);
    y0 = h / (1.0 + h);
    lambda = (a + b) * y - b;
  }
  double e = -lambda / a;
  const double u = std::fabs(e) > 0.6 ? e - std::log(x / x0) : xMinusLogOnePlus(e);
  e = lambda / b;
  const double v = std::fabs(e) > 0.6 ? e - std::log(y / y0) : xMinusLogOnePlus(e);
  const double z = expSum(mu, -(a * u + b * v));
  return rt2pin * std::sqrt(b * x0) * z * std::exp(-betaCorrection(a, b));
}

// a0 = min(a, b) < 1 < b0 = max(a, b) < 8, z = a ln x + b ln y.
double factorSmallModerate(int mu, double a0, double b0, double z) {
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
  z -= u;
  b0 -= 1.0;
  return a0 * expSum(mu, z) * (1.0 + gammaRecipMinusOne(b0)) / recipGammaSum(a0, b0);
}

}  // namespace

double betaFactorExp(int mu, double a, double b, double x, double y) {
  const double a0 = std::min(a, b);
  if (a0 >= 8.0) return factorBothLarge(mu, a, b, x, y);
  // ln x and ln y, the one of the number near 1 through logOnePlus.
  double lnx = 0, lny = 0;
  if (x <= 0.375) {
    lnx = std::log(x);
    lny = logOnePlus(-x);
  } else if (y <= 0.375) {
    lnx = logOnePlus(-y);
    lny = std::log(y);
  } else {
    lnx = std::log(x);
    lny = std::log(y);
  }
  const double z = a * lnx + b * lny;
  if (a0 >= 1.0) return expSum(mu, z - logBeta(a, b));
  const double b0 = std::max(a, b);
  if (b0 >= 8.0) {
    const double u = logGammaOnePlus(a0) + logGammaRatio(a0, b0);
    return a0 * expSum(mu, z - u);
  }
  if (b0 > 1.0) return factorSmallModerate(mu, a0, b0, z);
  const double e = expSum(mu, z);
  if (e == 0.0) return 0.0;
  const double c = (1.0 + gammaRecipMinusOne(a)) * (1.0 + gammaRecipMinusOne(b)) /
                   recipGammaSum(a, b);
  return e * (a0 * c) / (1.0 + a0 / b0);
}

double betaFactor(double a, double b, double x, double y) {
  if (x == 0.0 || y == 0.0) return 0.0;
  return betaFactorExp(0, a, b, x, y);
}
