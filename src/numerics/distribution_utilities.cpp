#include "numerics/distribution_utilities.h"

#include <climits>
#include <cmath>

#include "numerics/fatal_error.h"
#include "numerics/horner.h"
#include "numerics/math_functions.h"

double logGammaRational(double x) {
  // Rational approximation of Gamma on [2, 3] in x - 2 (Hart et al., Computer Approximations,
  // number 5236) and the Stirling series of ln Gamma beyond 12.
  constexpr double numerator[] = {
      0.62003838007127258804e2, 0.36036772530024836321e2, 0.20782472531792126786e2,
      0.6338067999387272343e1,  0.215994312846059073e1,  0.3980671310203570498e0,
      0.1093115956710439502e0,  0.92381945590275995e-2,  0.29737866448101651e-2};
  constexpr double denominator[] = {0.62003838007126989331e2, 0.9822521104713994894e1,
                                    -0.8906016659497461257e1, 0.1000000000000000000e1};
  constexpr double stirling[] = {0.83333333333333023564e-1, -0.27777777768818808e-2,
                                 0.79365006754279e-3, -0.594997310889e-3, 0.8065880899e-3};
  constexpr double logSqrtTwoPi = 0.91893853320467274178;
  if (x <= 6.0) {
    double product = 1.0, xx = x;
    while (xx > 3.0) {
      xx -= 1.0;
      product *= xx;
    }
    while (xx < 2.0) {
      product /= xx;
      xx += 1.0;
    }
    return std::log(horner(numerator, xx - 2.0) / horner(denominator, xx - 2.0) * product);
  }
  double offset = logSqrtTwoPi, xx = x;
  const long n = truncToLong(12.0 - x);
  if (n > 0) {
    double product = 1.0;
    for (long i = 1; i <= n; ++i) product *= x + static_cast<double>(i - 1);
    offset -= std::log(product);
    xx = x + static_cast<double>(n);
  }
  return horner(stirling, 1.0 / (xx * xx)) / xx + (offset + (xx - 0.5) * std::log(xx) - xx);
}

double DSTREM(double z) {
  // The Stirling series B_2k / (2k (2k - 1) z^(2k - 1)), k = 1..9, summed in powers of 1/z^2.
  constexpr double series[] = {0.0,
                               1.0 / 12.0,
                               -1.0 / 360.0,
                               1.0 / 1260.0,
                               -1.0 / 1680.0,
                               1.0 / 1188.0,
                               -691.0 / 360360.0,
                               1.0 / 156.0,
                               -3617.0 / 122400.0,
                               43867.0 / 244188.0};
  constexpr double logSqrtTwoPi = 0.91893853320467274178;
  if (z <= 0.0) stopWithMessage("Zero or negative argument in DSTREM");
  if (z > 6.0) return horner(series, 1.0 / (z * z)) * z;
  const double stirling = logSqrtTwoPi + (z - 0.5) * std::log(z) - z;
  return logGammaTwin(z) - stirling;
}

double betaStirlingRemainder(double a, double b) {
  return -DSTREM(a + b) + DSTREM(maxDouble(a, b)) + DSTREM(minDouble(a, b));
}

namespace {

constexpr double invSqrtTwoPi = 0.398942280401433;

// a >= 20, x > 0: ln(e^-x x^a / Gamma(a)) minus ln(sqrt(a/(2 pi))), from the Stirling series
// and x/a - 1 - ln(x/a), which keeps the cancellation of a ln x - x - ln Gamma(a) out.
double largeShapeExponent(double a, double x) {
  const double u = x / a;
  const double t = (1.0 / a) * (1.0 / a);
  double t1 = (((0.75 * t - 1.0) * t + 3.5) * t - 105.0) / (a * 1260.0);
  t1 -= a * xMinusOneMinusLog(u);
  return t1;
}

}  // namespace

double gammaFactor(double a, double x) {
  if (a < 20.0) {
    const double t = a * std::log(x) - x;
    if (a < 1.0) return a * std::exp(t) * (1.0 + gammaRecipMinusOne(a));
    return std::exp(t) / gammaFunction(a);
  }
  if (x / a == 0.0) return 0.0;
  return invSqrtTwoPi * std::sqrt(a) * std::exp(largeShapeExponent(a, x));
}

double logGammaFactor(double a, double x) {
  if (x / a == 0.0) return -INFINITY;
  if (a < 20.0) return a * std::log(x) - x - logGamma(a);
  return std::log(invSqrtTwoPi * std::sqrt(a)) + largeShapeExponent(a, x);
}

double logBetaFactor(double a, double b, double x, double y) {
  if (x == 0.0 || y == 0.0) return -INFINITY;
  const double lnx = x <= 0.5 ? std::log(x) : std::log1p(-y);
  const double lny = y <= 0.5 ? std::log(y) : std::log1p(-x);
  return a * lnx + b * lny - logBeta(a, b);
}

double logOnePlusTwin(double a) { return logOnePlus(a); }
double logOneMinus(double a) { return logOnePlusTwin(-a); }
double logGammaTwin(double a) { return logGamma(a); }
double logBetaTwin(double a, double b) { return logBeta(a, b); }
double expMinusOneTwin(double x) { return expMinusOne(x); }

double evalPolynomial(const double* a, int n, double x) {
  if (n < 1) return 0.0;
  return horner(a, static_cast<std::size_t>(n), x);
}

double truncToDouble(double a) { return std::trunc(a); }
double maxDouble(double a, double b) { return a > b ? a : b; }
double minDouble(double a, double b) { return a < b ? a : b; }
double transferSign(double a, double b) { return b < 0.0 ? -std::fabs(a) : std::fabs(a); }

long truncToLong(double a) {
  if (!(a >= 1.0)) return 0;
  // A value beyond the range of long would make the conversion undefined.
  if (a >= static_cast<double>(LONG_MAX)) return LONG_MAX;
  return static_cast<long>(a);
}

long modLong(long a, long b) { return a % b; }
