#include "numerics/beta_continued_fraction.h"

#include <cmath>

#include "numerics/fatal_error.h"

namespace {

constexpr int maxIterations = 100;
constexpr double relativeAccuracy = 3e-7;
constexpr double tinyDenominator = 1e-30;

double awayFromZero(double v) { return lentzAwayFromZero(v, tinyDenominator); }

}  // namespace

double logGammaLanczos(double x) {
  static const double coefficients[6] = {76.18009172947146,     -86.50532032941677,
                                         24.01409824083091,     -1.231739572450155,
                                         0.1208650973866179e-2, -0.5395239384953e-5};
  double tmp = x + 5.5;
  tmp -= (x + 0.5) * std::log(tmp);
  double series = 1.000000000190015;
  double y = x;
  for (double c : coefficients) series += c / ++y;
  return -tmp + std::log(2.5066282746310007 * series / x);
}

bool betaFractionLentz(double a, double b, double x, double accuracy, int iterations,
                       double& fraction) {
  const double qab = a + b, qap = a + 1.0, qam = a - 1.0;
  double c = 1.0;
  double d = 1.0 / awayFromZero(1.0 - qab * x / qap);
  double h = d;
  for (int m = 1; m <= iterations; m++) {
    const int m2 = 2 * m;
    // The even step of the fraction, then the odd one.
    double aa = m * (b - m) * x / ((qam + m2) * (a + m2));
    d = 1.0 / awayFromZero(1.0 + aa * d);
    c = awayFromZero(1.0 + aa / c);
    h *= d * c;
    aa = -(a + m) * (qab + m) * x / ((a + m2) * (qap + m2));
    d = 1.0 / awayFromZero(1.0 + aa * d);
    c = awayFromZero(1.0 + aa / c);
    const double del = d * c;
    h *= del;
    if (std::fabs(del - 1.0) < accuracy) {
      fraction = h;
      return true;
    }
  }
  return false;
}

double betacf(double a, double b, double x) {
  double fraction = 0;
  if (betaFractionLentz(a, b, x, relativeAccuracy, maxIterations, fraction)) return fraction;
  fatalError("Internal error in betacf() function (please report)");
}

double betai(double a, double b, double x) {
  // Written so that a NaN x fails too rather than running the fraction on it.
  if (!(x >= 0.0 && x <= 1.0)) fatalError("Internal error: bad x in routine betai");
  const double front =
      x == 0.0 || x == 1.0
          ? 0.0
          : std::exp(logGammaLanczos(a + b) - logGammaLanczos(a) - logGammaLanczos(b) +
                     a * std::log(x) + b * std::log(1.0 - x));
  if (x < (a + 1.0) / (a + b + 2.0)) return front * betacf(a, b, x) / a;
  return 1.0 - front * betacf(b, a, 1.0 - x) / b;
}

double fTestP(int df1, int df2, double F) {
  const double d1 = df1, d2 = df2;
  return betai(0.5 * d2, 0.5 * d1, d2 / (d2 + d1 * F));
}
